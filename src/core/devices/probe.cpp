#include "core/devices/probe.h"

#include "core/app/i18n.h"
#include "core/log/format.h"
#include "core/log/safetext.h"
#include "core/protocols/hwg/packets.h"
#include "core/protocols/orvex/packets.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QUdpSocket>

#include <algorithm>
#include <array>

std::optional<std::string> AskFirmwareRevision(const std::string& host, int waitMs)
{
    // A socket of its own rather than a TUDPServer: this waits on the calling thread, which may
    // be one of several transfer threads without an event loop, and only this device's answers
    // must reach it.
    const QHostAddress address(QString::fromStdString(host));
    QUdpSocket socket;
    if (address.isNull() || !socket.bind(QHostAddress(QHostAddress::AnyIPv4), 0))
        return std::nullopt;
    const std::vector<uint8_t> orvex = BuildOrvexInfoRequest();
    socket.writeDatagram(reinterpret_cast<const char*>(orvex.data()), qint64(orvex.size()), address, Orvex::kPort);
    socket.writeDatagram(reinterpret_cast<const char*>(Hwg::kInfoRequest.data()), qint64(Hwg::kInfoRequest.size()),
                         address, Hwg::kPort);
    QElapsedTimer timer;
    timer.start();
    std::array<uint8_t, 8192> buffer;
    for (;;) {
        while (socket.hasPendingDatagrams()) {
            QHostAddress sender;
            quint16 port = 0;
            const qint64 size =
                socket.readDatagram(reinterpret_cast<char*>(buffer.data()), qint64(buffer.size()), &sender, &port);
            if (size <= 0 || sender.toIPv4Address() != address.toIPv4Address())
                continue;
            // Each family answers from its own port.
            std::unique_ptr<TProduct> device;
            if (port == Hwg::kPort)
                device = DecodeHwgInfoAnswer(buffer.data(), size_t(size), host);
            else if (port == Orvex::kPort)
                device = DecodeOrvexInfoAnswer(buffer.data(), size_t(size), host);
            if (device)
                return device->Info.FirmwareRev;
        }
        const qint64 left = waitMs - timer.elapsed();
        if (left <= 0 || !socket.waitForReadyRead(int(left)))
            if (!socket.hasPendingDatagrams())
                return std::nullopt;
    }
}

TUpgradeCheck VerifyUpgrade(const std::optional<std::string>& before, int seconds,
                            const std::function<std::optional<std::string>(int ms)>& ask,
                            const std::function<int64_t()>& now, const std::function<void(int ms)>& sleep)
{
    TUpgradeCheck check;
    check.Before = before;
    if (!before) {
        check.Error = _("not verified: the device did not answer discovery before the upgrade");
        return check;
    }
    const int64_t deadline = now() + int64_t(seconds) * 1000;
    bool wentSilent = false;
    for (;;) {
        const int64_t sent = now();
        if (sent >= deadline)
            break;
        const int wait = int(std::min<int64_t>(kVerifyPollSeconds * 1000, deadline - sent));
        const std::optional<std::string> revision = ask(wait);
        if (!revision) {
            wentSilent = true;
        } else {
            check.After = revision;
            if (*revision != *before) {
                check.Verified = true;
                return check;
            }
            if (wentSilent)
                break;  // restarted, and came back as it was
        }
        const int64_t next = sent + kVerifyPollSeconds * 1000;
        const int64_t pause = std::min(next, deadline) - now();
        if (pause > 0)
            sleep(int(pause));
    }
    if (check.After)
        check.Error = Format(_("not verified: the firmware revision is still %s"), SafeText(*check.After).c_str());
    else
        check.Error = Format(_("not verified: no answer to discovery within %d s"), seconds);
    return check;
}
