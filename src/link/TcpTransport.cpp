#include "link/TcpTransport.h"

#include "engine/text/Errors.h"
#include "common/EventWait.h"
#include "link/CommandLink.h"
#include "link/SockControl.h"

#include <QDeadlineTimer>
#include <QTcpSocket>
#include <cmath>

namespace {
void CheckLost(SockControl& wins) {
    if (wins.Lost())
        throw LinkError(QStringLiteral("装置との接続が切れました (%1:%2): %3")
                            .arg(wins.RemoteHost())
                            .arg(wins.RemotePort())
                            .arg(wins.ErrorText()));
}
}  // namespace

int16_t LinkToSLA(SockControl& wins, const QString& address, const QString& port) {
    if (wins.State() != SockControl::sckClosed) wins.Close();
    if (wins.State() == SockControl::sckClosed) {
        wins.SetRemoteHost(address);
        wins.SetRemotePort(port.trimmed().toInt());
        wins.Connect();
        const auto pending = [&] {
            const int16_t s = wins.State();
            return s == SockControl::sckResolvingHost || s == SockControl::sckHostResolved || s == SockControl::sckConnecting;
        };
        // Bounded: a host that never answers counts as an error.
        if (!qm::WaitUntil([&] { return !pending(); }, QDeadlineTimer(kConnectTimeoutMs))) {
            wins.Close();
            return SockControl::sckError;
        }
    }
    return wins.State();
}

void SendToSLA(SockControl& wins, const QString& command) {
    CheckLost(wins);
    wins.SendData(command.toLatin1() + '\n');
    const bool sent = qm::WaitUntil([&] { return wins.BytesToWrite() == 0 || wins.Lost(); },
                                    QDeadlineTimer(kSendTimeoutMs));
    CheckLost(wins);
    if (!sent) throw LinkError(QStringLiteral("装置へ送信できません (送信が %1 秒以上止まっています)").arg(kSendTimeoutMs / 1000));
}

QString GetRespSLA(SockControl& wins, const QString& command, int32_t maxbytes, float timeout) {
    CheckLost(wins);
    wins.SendData(command.toLatin1() + '\n');
    const qint64 limit = maxbytes > 0 ? maxbytes : 1;
    const auto complete = [&] {
        return wins.Lost() || wins.BytesReceived() >= limit || wins.socket()->canReadLine();
    };
    const qint64 ms = std::isfinite(timeout) && timeout > 0 ? static_cast<qint64>(std::ceil(timeout * 1000.0)) : 0;
    const bool got = qm::WaitUntil(complete, QDeadlineTimer(ms));
    if (!got) {
        // Silence: like the serial link, the answer is "Timeout" and a
        // partial answer is discarded.
        wins.GetDataBytes(wins.BytesReceived());
        return kTimeoutReply;
    }
    if (wins.BytesReceived() < limit && !wins.socket()->canReadLine()) CheckLost(wins);
    return GPTrim(wins.GetDataText(limit));
}
