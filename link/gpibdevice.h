#pragma once
// The tester on the IEEE bus as the transport talks to it, whichever way the bus is reached: the
// NI-488.2 library (gpiblibrary.h) or a "++" protocol adapter (gpibadapter.h).

#include "link/answers.h"

#include <QByteArray>
#include <QString>

namespace qlx {

// Why a call on the bus failed, where the device can tell: on the tester's side (nobody listens,
// no answer in time) or on the PC's (the GPIB board or its driver: no cable or tester setting
// helps).
struct GpibFault {
    enum Side { None, Tester, Pc };
    Side side = None;
    QString text; // the cause in words, for a message
};

class GpibDevice {
public:
    virtual ~GpibDevice() = default;

    // Sends one command; the device adds nothing but the end of the message.
    virtual void write(const QByteArray& command) = 0;
    // How this road ends an answer (answers.h).
    virtual AnswerEnd answerEnd() const { return kGpibEnd; }
    // One text answer, read whole (TextReader): here in pieces of `maxLength` bytes until END. With
    // `debug`, what the read received is shown there as well.
    virtual QByteArray readText(int maxLength, TransportObserver* debug);
    // Up to `length` bytes of the answer in progress; fewer only when the answer ended (END), the
    // device timed out or went away. Returns the count.
    virtual qint64 read(char* into, qint64 length) = 0;
    // True when the last byte the previous read() delivered is known to have carried END.
    virtual bool endSeen() const { return false; }
    // After the data of a block: reads its line end into `block`, on a road without END with
    // whatever follows it before the line has been quiet for a moment. Here a byte at a time,
    // each with its END.
    virtual void finishBlock(BlockReader& block);
    // Device clear: the tester drops what it still had to say, and nothing of it waits in the
    // link, so that a late answer can never be taken for the next one.
    virtual void clear() {}
    virtual void goToLocal() = 0;
    // Ends a wait in progress at once (when the device waits in an event loop); the operation
    // then reports aborted().
    virtual void abort() {}
    virtual bool aborted() const { return false; }
    // The first call that failed since the last write() or clear(), where the device can tell.
    virtual GpibFault fault() const { return {}; }
};

} // namespace qlx
