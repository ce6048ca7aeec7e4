#include "cli/watch.h"

#include "cli/offload.h"
#include "cli/report.h"

#include <QCoreApplication>
#include <QTimer>

namespace qlx::cli {
namespace {

class Watch {
public:
    explicit Watch(const Run& run) : m_run(run), m_offload(run) {}

    // One round: connect if need be, read the directory, copy or move what is new. A tester that
    // stops answering is reported once, and connected again on the next rounds.
    void tick()
    {
        DirectoryFailure failure;
        std::optional<QList<Hardcopy>> hardcopies;
        if (!m_connected)
            failure.text = m_run.session.connect(m_run.address).failureText;
        if (failure.text.isEmpty())
            hardcopies = listHardcopies(m_run.session, failure);
        if (m_run.stop.received())
            return;
        m_connected = hardcopies.has_value();
        if (!hardcopies) {
            if (!m_awayReported)
                message(
                    QStringLiteral("%1; trying again every %2 s").arg(failure.text).arg(m_run.options.watchSeconds));
            m_awayReported = true;
            return;
        }
        if (m_awayReported)
            note(m_run.options.quiet, QStringLiteral("the tester answers again"));
        m_awayReported = false;
        m_offload.pass(*hardcopies);
    }

private:
    const Run& m_run;
    Offload m_offload;
    bool m_connected = false;
    bool m_awayReported = false;
};

} // namespace

int watchCommand(const Run& run)
{
    Watch watch(run);
    QTimer timer;
    timer.setInterval(run.options.watchSeconds * 1000);
    QObject::connect(&timer, &QTimer::timeout, [&] { watch.tick(); });
    watch.tick();
    if (run.stop.received())
        return Done;
    timer.start();
    QCoreApplication::exec();
    return Done;
}

} // namespace qlx::cli
