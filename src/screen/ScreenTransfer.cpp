#include "screen/ScreenTransfer.h"

#include "engine/text/Errors.h"
#include "link/BlockRead.h"
#include "link/CommPort.h"
#include "link/CommandLink.h"
#include "link/SockControl.h"

#include <QSaveFile>

namespace {

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
        if (linkLost) *linkLost = LinkLost(link);
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
