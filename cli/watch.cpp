#include "cli/watch.h"

#include "cli/commands.h"
#include "cli/report.h"

#include <QCoreApplication>
#include <QHash>
#include <QTimer>

namespace qlx::cli {
namespace {

class Watch {
public:
    Watch(Session& session, const Options& options, const StopSignals& stop)
        : m_session(session), m_options(options), m_stop(stop)
    {
    }

    // One round: connect if need be, read the directory, copy what the folder lacks. A tester
    // that stops answering is reported once, and connected again on the next rounds.
    void tick()
    {
        QString error;
        std::optional<QList<Hardcopy>> hardcopies;
        if (m_connected || (error = m_session.connect()).isEmpty())
            hardcopies = m_session.readDirectory(error);
        if (m_stop.received())
            return;
        m_connected = hardcopies.has_value();
        if (!hardcopies) {
            if (!m_awayReported)
                message(QStringLiteral("%1; trying again every %2 s").arg(error).arg(m_options.watchSeconds));
            m_awayReported = true;
            return;
        }
        if (m_awayReported)
            note(m_options.quiet, QStringLiteral("the tester answers again"));
        m_awayReported = false;
        syncOnce(m_session, *hardcopies, m_options, m_stop, &m_skip);
    }

private:
    Session& m_session;
    const Options& m_options;
    const StopSignals& m_stop;
    bool m_connected = false;
    bool m_awayReported = false;
    QHash<QString, qint64> m_skip; // kept or refused files, by name and listed size
};

} // namespace

void watchCommand(Session& session, const Options& options, const StopSignals& stop)
{
    Watch watch(session, options, stop);
    QTimer timer;
    timer.setInterval(options.watchSeconds * 1000);
    QObject::connect(&timer, &QTimer::timeout, [&] { watch.tick(); });
    watch.tick();
    if (stop.received())
        return;
    timer.start();
    QCoreApplication::exec();
}

} // namespace qlx::cli
