#include "engine/web/WebTexts.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>

namespace qm {

namespace {
struct PageText {
    const char* key;
    const char* text;
};
// The keys are the page's (src/engine/web/page/index.html).
const PageText kTexts[] = {
    //: The page's language code (the lang attribute of its <html>): ja, en ...
    {"lang", QT_TRANSLATE_NOOP("WebPage", "ja")},
    {"cycle", QT_TRANSLATE_NOOP("WebPage", "サイクル")},
    {"download", QT_TRANSLATE_NOOP("WebPage", "ログファイル (CSV)")},
    {"item", QT_TRANSLATE_NOOP("WebPage", "測定項目")},
    {"last", QT_TRANSLATE_NOOP("WebPage", "最新")},
    {"count", QT_TRANSLATE_NOOP("WebPage", "数")},
    {"noValue", QT_TRANSLATE_NOOP("WebPage", "値なし")},
    {"min", QT_TRANSLATE_NOOP("WebPage", "最小")},
    {"max", QT_TRANSLATE_NOOP("WebPage", "最大")},
    {"mean", QT_TRANSLATE_NOOP("WebPage", "平均")},
    {"sd", QT_TRANSLATE_NOOP("WebPage", "標準偏差")},
    {"lower", QT_TRANSLATE_NOOP("WebPage", "下限")},
    {"upper", QT_TRANSLATE_NOOP("WebPage", "上限")},
    {"outside", QT_TRANSLATE_NOOP("WebPage", "範囲外")},
    {"screen", QT_TRANSLATE_NOOP("WebPage", "DS画面")},
    {"noScreen", QT_TRANSLATE_NOOP("WebPage", "DS画面 (まだありません)")},
    {"pcTime", QT_TRANSLATE_NOOP("WebPage", "PC 時刻")},
    {"started", QT_TRANSLATE_NOOP("WebPage", "開始")},
    //: %1: whole seconds
    {"nextIn", QT_TRANSLATE_NOOP("WebPage", "次の測定まで %1 秒")},
    {"question", QT_TRANSLATE_NOOP("WebPage", "確認待ち")},
    {"trigger", QT_TRANSLATE_NOOP("WebPage", "トリガ待ち")},
    {"connLost", QT_TRANSLATE_NOOP("WebPage", "接続が切れました。再接続しています")},
    {"idle", QT_TRANSLATE_NOOP("WebPage", "待機")},
    {"running", QT_TRANSLATE_NOOP("WebPage", "測定中")},
    {"waiting", QT_TRANSLATE_NOOP("WebPage", "次の測定待ち")},
    {"stopped", QT_TRANSLATE_NOOP("WebPage", "中断")},
    {"ended", QT_TRANSLATE_NOOP("WebPage", "完了")},
    {"linkLost", QT_TRANSLATE_NOOP("WebPage", "接続断")},
    {"reconnecting", QT_TRANSLATE_NOOP("WebPage", "再接続中")},
};
}  // namespace

QByteArray WebTextsJson() {
    QJsonObject o;
    for (const PageText& t : kTexts) o.insert(QLatin1String(t.key), QCoreApplication::translate("WebPage", t.text));
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

}  // namespace qm
