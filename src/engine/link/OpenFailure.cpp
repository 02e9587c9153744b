// The reasons a link could not be opened, as the user reads them.
#include "engine/link/Transport.h"
#include <QCoreApplication>

// The context of this file's texts in the translation catalogues.
namespace {
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(OpenFailure)
};
}  // namespace

namespace qm {

QString OpenFailureText(OpenFailure failure, const QString& systemText) {
    QString text;
    switch (failure) {
    case OpenFailure::Refused: text = Texts::tr("接続を拒否されました"); break;
    case OpenFailure::TimedOut: text = Texts::tr("応答がありません"); break;
    case OpenFailure::HostNotFound: text = Texts::tr("ホスト名が見つかりません"); break;
    case OpenFailure::Unreachable: text = Texts::tr("ネットワーク上で装置に到達できません"); break;
    case OpenFailure::PortMissing: text = Texts::tr("ポートがありません"); break;
    case OpenFailure::PortBusy: text = Texts::tr("ポートは他のプログラムが使用中です"); break;
    case OpenFailure::NoPermission: text = Texts::tr("ポートを開く権限がありません"); break;
    case OpenFailure::None:
    case OpenFailure::Other: return systemText.isEmpty() ? Texts::tr("開けません") : systemText;
    }
    return systemText.isEmpty() ? text : text + QStringLiteral(" (") + systemText + QLatin1Char(')');
}

QString OpenFailureHint(OpenFailure failure, bool serial) {
    if (!serial) return Texts::tr("装置の電源と IP アドレスを確認してください");
    switch (failure) {
    case OpenFailure::PortBusy: return Texts::tr("このポートを使っている他のプログラムを終了してください");
    case OpenFailure::NoPermission:
        return Texts::tr("このユーザにポートを使う権限があるか確認してください (Linux では dialout グループ)");
    default: return Texts::tr("装置の電源と USB ケーブル、COM ポート番号を確認してください");
    }
}

OpenResult OpenFailed(const QString& where, OpenFailure failure, const QString& systemText) {
    OpenResult r;
    r.failure = failure;
    r.error = where + QStringLiteral(": ") + OpenFailureText(failure, systemText);
    return r;
}

}  // namespace qm
