#include "screen/ScreenTransfer.h"

#include "common/Errors.h"
#include "common/EventWait.h"
#include "link/BlockRead.h"
#include "link/CommPort.h"
#include "link/CommandLink.h"
#include "link/SockControl.h"

#include <QDeadlineTimer>
#include <QSaveFile>
#include <QSerialPort>

#include <algorithm>

namespace {

// How long input is discarded after a spoiled block: until the line has been
// quiet this long, and never longer than the cap.
constexpr int kDrainQuietMs = 150;
constexpr int kDrainCapMs = 2000;

bool TcpGone(SockControl& dso) { return dso.Lost() || dso.State() != SockControl::sckConnected; }

bool SerialGone(CommPort& port) {
    if (!port.PortOpen()) return true;
    const auto err = port.port()->error();
    return err == QSerialPort::ResourceError || err == QSerialPort::PermissionError ||
           err == QSerialPort::DeviceNotFoundError;
}

bool LinkGone(Link& link) {
    // The request went out on TCP for any nonzero selector; the block was read
    // from the serial port unless the selector is exactly 1.
    if (link.CommMode != 0 && TcpGone(link.dso)) return true;
    if (link.CommMode == 0 && SerialGone(link.MSComm1)) return true;
    return false;
}

// After a block that went wrong (bad header, too long, stalled) the rest of it
// may still be on its way. Left alone, it would be taken as the answer to the
// next query, so it is read and dropped until the line falls quiet.
void DrainInput(Link& link) {
    const bool tcp = link.CommMode != 0;
    const auto waiting = [&]() -> qint64 {
        if (tcp) return link.dso.BytesReceived();
        return link.MSComm1.InBufferCount();
    };
    const auto discard = [&] {
        if (tcp) {
            link.dso.GetDataBytes(link.dso.BytesReceived());
        } else {
            link.MSComm1.SetInputLen(0);
            link.MSComm1.SetInputMode(CommPort::comInputModeBinary);
            link.MSComm1.InputBytes();
        }
    };
    try {
        const QDeadlineTimer cap(kDrainCapMs);
        for (;;) {
            if (waiting() > 0) discard();
            if (cap.hasExpired()) return;
            QDeadlineTimer quiet(std::min<qint64>(kDrainQuietMs, cap.remainingTime()));
            if (!qm::WaitUntil([&] { return waiting() > 0; }, quiet)) return;
        }
    } catch (const LinkError&) {
        // The link failed meanwhile; the caller looks at that.
    }
}

void Fail(QString* error, const QString& text) {
    if (error) *error = text;
}

}  // namespace

int32_t TransferScreen(Link& link, const QString& fileName, const QString& formatWord, QString* error,
                       bool* linkLost) {
    if (error) error->clear();
    if (linkLost) *linkLost = false;

    QByteArray bd;
    int32_t n = 0;
    try {
        SendToDSO(link, QStringLiteral("TSCRN? ") + formatWord);
        if (link.CommMode != 0) {
            n = ReadBlockTcp(link.dso, bd, kScreenBlockLimit);
        } else {
            // A closed port would read nothing and report 0 bytes: that is no
            // image, and the request just sent has not been answered here.
            if (!link.MSComm1.PortOpen()) throw LinkError(QStringLiteral("シリアルポートが開いていません"));
            n = ReadBinFromComm(link.MSComm1, bd, kScreenBlockLimit);
        }
    } catch (const LinkError& e) {
        const bool gone = LinkGone(link);
        if (linkLost) *linkLost = gone;
        if (!gone) DrainInput(link);
        Fail(error, QStringLiteral("DS画面を受信できません: %1").arg(e.text));
        return 0;
    }

    if (n <= 0 || bd.size() != n) {
        Fail(error, QStringLiteral("装置から画面データが届きませんでした (%1 バイト)").arg(n));
        return 0;
    }

    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        Fail(error, QStringLiteral("DS画面のファイル \"%1\" を作成できません: %2").arg(fileName, file.errorString()));
        return 0;
    }
    if (file.write(bd) != bd.size()) {
        Fail(error, QStringLiteral("DS画面のファイル \"%1\" に書き込めません: %2").arg(fileName, file.errorString()));
        file.cancelWriting();
        return 0;
    }
    if (!file.commit()) {
        Fail(error, QStringLiteral("DS画面のファイル \"%1\" を保存できません: %2").arg(fileName, file.errorString()));
        return 0;
    }
    return n;
}
