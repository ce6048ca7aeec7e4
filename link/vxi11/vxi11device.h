#pragma once
// The tester behind a LAN-GPIB gateway, spoken to natively over the core channel of VXI-11: the
// gateway's portmapper gives the channel's port, create_link opens the device ("gpib0,20"), each
// command is one device_write with END, an answer is device_read repeated until the END reason
// (a gateway answers in pieces of its own size), device_clear resynchronises, device_local is the
// go-to-local, and destroy_link ends the link when the device goes.

#include "link/gpibdevice.h"
#include "link/vxi11/rpcclient.h"

#include <memory>

namespace qlx {

struct Vxi11Timing {
    int ioTimeoutMs = 10000; // the device time-out, as on the other roads
    int connectMs = 3000;    // a gateway that does not accept by then is not there
};

class Vxi11Device : public GpibDevice {
public:
    // The link to `device` on the gateway at `host`, or null with the reason in *error.
    static std::unique_ptr<Vxi11Device> open(const QString& host, const QByteArray& device, QString* error,
                                             const Vxi11Timing& timing = Vxi11Timing());
    ~Vxi11Device() override;

    void write(const QByteArray& command) override;
    qint64 read(char* into, qint64 length) override;
    bool endSeen() const override { return m_end; }
    void clear() override;
    void goToLocal() override;
    void abort() override { m_rpc->abort(); }
    bool aborted() const override { return m_rpc->aborted(); }

private:
    Vxi11Device(std::unique_ptr<rpc::RpcClient> rpc, qint32 link, quint32 maxWrite, const Vxi11Timing& timing);
    std::optional<QByteArray> call(quint32 procedure, const QByteArray& arguments, int ms);

    std::unique_ptr<rpc::RpcClient> m_rpc;
    qint32 m_link;
    quint32 m_maxWrite;
    Vxi11Timing m_timing;
    bool m_end = true;
    bool m_deaf = false; // the last command timed out: nobody there has anything to say
};

} // namespace qlx
