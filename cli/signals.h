#pragma once
// SIGINT and SIGTERM as events: the handler only notes the signal and writes a byte into a pipe,
// and a QSocketNotifier on that pipe calls back inside the event loop (also inside the serial
// receive routine's local loop), where the transfer in progress can be aborted.

#include <QObject>
#include <QSocketNotifier>

#include <functional>

namespace qlx::cli {

class StopSignals : public QObject {
public:
    explicit StopSignals(std::function<void()> onStop);
    ~StopSignals() override;

    // The signal that arrived first; 0 while none did.
    int received() const;
    // The exit status for it: 128 plus the signal number.
    int exitStatus() const { return 128 + received(); }
    // Waits until `fd` has input (or its end) to read; false, at once, when a stop signal arrives.
    bool waitForInput(int fd) const;

private:
    std::function<void()> m_onStop;
    QSocketNotifier* m_notifier = nullptr;
};

// A file-size limit then makes the write fail instead of ending the process.
void ignoreFileSizeSignal();

} // namespace qlx::cli
