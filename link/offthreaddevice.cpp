#include "link/offthreaddevice.h"

#include "link/ni488/niglobal.h"
#include "link/wait.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

namespace qlx {
namespace {

using Job = std::function<void(std::unique_ptr<GpibDevice>&)>;

// What the caller and the worker thread share.
struct Worker {
    std::mutex mutex;
    std::condition_variable wake;     // a job came, or the device is being closed
    std::condition_variable finished; // a job ended
    std::deque<Job> jobs;
    bool closing = false;               // end once the jobs are done
    Waiter* waiter = nullptr;           // the caller's, while it waits: told of each job's end
    std::unique_ptr<GpibDevice> device; // touched by the worker thread only

    void post(Job job)
    {
        std::lock_guard lock(mutex);
        jobs.push_back(std::move(job));
        wake.notify_one();
    }

    void serve()
    {
        for (;;) {
            Job job;
            {
                std::unique_lock lock(mutex);
                wake.wait(lock, [this] { return closing || !jobs.empty(); });
                if (jobs.empty())
                    break;
                job = std::move(jobs.front());
                jobs.pop_front();
            }
            job(device);
            std::lock_guard lock(mutex);
            if (waiter)
                waiter->wakeQueued();
            finished.notify_all();
        }
        device.reset(); // closed on the thread that used it
    }
};

// One call's result, handed back under the worker's lock.
template <typename T>
struct Reply {
    bool done = false;
    T value{};
    ni::Status status;
    bool aborted = false; // the device's own aborted() after the call
    bool endSeen = true;
    GpibFault fault;
};

struct TextRead {
    QByteArray answer;
    bool debugged = false; // what the read received, for the debug display
    QByteArray fullBuffer;
    long count = 0;
    QByteArray cut;
    QString failedCall;
};

struct BytesRead {
    QByteArray bytes;
    qint64 count = 0;
};

struct Opening {
    bool opened = false;
    qint16 handle = -1;
    QString error;
    GpibFault fault;
};

// Records the debug display of a read on the worker, to be shown on the caller's thread.
struct DebugRecorder : TransportObserver {
    TextRead& into;
    explicit DebugRecorder(TextRead& read) : into(read) {}
    void gpibTextRead(const QByteArray& fullBuffer, long ibcntl, const QByteArray& answer,
                      const QString& failedCall) override
    {
        into.debugged = true;
        into.fullBuffer = fullBuffer;
        into.count = ibcntl;
        into.cut = answer;
        into.failedCall = failedCall;
    }
};

class OffThreadDevice : public GpibDevice {
public:
    OffThreadDevice() : m_worker(std::make_unique<Worker>())
    {
        m_thread = std::thread([worker = m_worker.get()] { worker->serve(); });
    }

    // A call that abort() left behind ends first (the closing window is hidden by then), so no
    // thread outlives the device and what it uses.
    ~OffThreadDevice() override
    {
        {
            std::lock_guard lock(m_worker->mutex);
            m_worker->closing = true;
            m_worker->wake.notify_one();
        }
        m_thread.join();
    }

    Opening open(std::function<OpenedDevice()> opener)
    {
        const auto opening = call<Opening>([opener = std::move(opener)](std::unique_ptr<GpibDevice>& device) {
            OpenedDevice opened = opener();
            device = std::move(opened.device);
            return Opening{device != nullptr, opened.handle, opened.error, opened.fault};
        });
        return opening.value_or(Opening{});
    }

    // A write, a go-to-local or a clear starts anew after abort(); the reads of an exchange that
    // was abandoned give nothing at once.
    void write(const QByteArray& command) override
    {
        m_aborted = false;
        call<bool>([command](std::unique_ptr<GpibDevice>& d) {
            d->write(command);
            return true;
        });
    }

    QByteArray readText(int maxLength, TransportObserver* debug) override
    {
        if (m_aborted)
            return {};
        const bool debugging = debug != nullptr;
        const auto read = call<TextRead>([maxLength, debugging](std::unique_ptr<GpibDevice>& d) {
            TextRead result;
            DebugRecorder recorder(result);
            result.answer = d->readText(maxLength, debugging ? &recorder : nullptr);
            return result;
        });
        if (!read)
            return {};
        if (debug && read->debugged)
            debug->gpibTextRead(read->fullBuffer, read->count, read->cut, read->failedCall);
        return read->answer;
    }

    // The worker reads into a buffer of its own: the caller's may be gone when a call left
    // behind ends.
    qint64 read(char* into, qint64 length) override
    {
        if (m_aborted)
            return 0;
        const auto read = call<BytesRead>([length](std::unique_ptr<GpibDevice>& d) {
            BytesRead result;
            result.bytes.resize(length);
            result.count = std::clamp<qint64>(d->read(result.bytes.data(), length), 0, length);
            return result;
        });
        if (!read)
            return 0;
        std::memcpy(into, read->bytes.constData(), size_t(read->count));
        return read->count;
    }

    bool endSeen() const override { return m_endSeen; }
    void clear() override
    {
        m_aborted = false;
        run(&GpibDevice::clear);
    }
    void goToLocal() override
    {
        m_aborted = false;
        run(&GpibDevice::goToLocal);
    }

    void abort() override
    {
        m_aborted = true;
        m_waiter.abort();
    }
    bool aborted() const override { return m_aborted || m_deviceAborted; }
    GpibFault fault() const override { return m_fault; }

private:
    void run(void (GpibDevice::*operation)())
    {
        call<bool>([operation](std::unique_ptr<GpibDevice>& d) {
            (d.get()->*operation)();
            return true;
        });
    }

    // Runs `work` on the worker and waits for it; nullopt when abort() ended the wait.
    template <typename T, typename Work>
    std::optional<T> call(Work work)
    {
        auto reply = std::make_shared<Reply<T>>();
        Worker* worker = m_worker.get();
        m_worker->post([worker, reply, work = std::move(work)](std::unique_ptr<GpibDevice>& device) mutable {
            T value = work(device);
            std::lock_guard lock(worker->mutex);
            reply->value = std::move(value);
            reply->status = ni::status();
            reply->aborted = device && device->aborted();
            reply->endSeen = !device || device->endSeen();
            if (device)
                reply->fault = device->fault();
            reply->done = true;
        });
        if (!waitFor([&reply] { return reply->done; }))
            return std::nullopt;
        ni::status() = reply->status;
        m_deviceAborted = reply->aborted;
        m_endSeen = reply->endSeen;
        m_fault = reply->fault;
        return std::move(reply->value);
    }

    // Waits in a local event loop until `done` holds (tested under the worker's lock) or abort().
    // A call that abort() left behind ends the wait too when it ends; the wait then goes on.
    template <typename Done>
    bool waitFor(Done done)
    {
        for (;;) {
            {
                std::lock_guard lock(m_worker->mutex);
                if (m_aborted || done())
                    return !m_aborted;
                m_worker->waiter = &m_waiter;
            }
            const Waiter::End end = m_waiter.wait(-1);
            std::unique_lock lock(m_worker->mutex);
            m_worker->waiter = nullptr;
            // With no window left to keep alive, the call is waited for as the blocking call it is.
            if (end == Waiter::End::Quitting) {
                m_worker->finished.wait(lock, done);
                return true;
            }
        }
    }

    Waiter m_waiter{Waiter::OnQuit::Report};
    std::unique_ptr<Worker> m_worker;
    std::thread m_thread;
    bool m_aborted = false;
    bool m_deviceAborted = false;
    bool m_endSeen = true;
    GpibFault m_fault;
};

} // namespace

OpenedDevice openOffThread(std::function<OpenedDevice()> open)
{
    auto device = std::make_unique<OffThreadDevice>();
    Opening opening = device->open(std::move(open));
    OpenedDevice result;
    result.handle = opening.handle;
    result.error = opening.error;
    result.fault = opening.fault;
    if (opening.opened)
        result.device = std::move(device);
    return result;
}

} // namespace qlx
