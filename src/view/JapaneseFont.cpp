#include "view/JapaneseFont.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>

namespace qm {

namespace {
// A family as listed, without the "[foundry]" the database adds when two
// foundries have a family of the same name.
QStringView FamilyName(const QString& listed) {
    QStringView name(listed);
    if (name.endsWith(u']')) {
        const qsizetype open = name.lastIndexOf(u'[');
        if (open > 0) name = name.first(open);
    }
    return name.trimmed();
}
}  // namespace

QString PickFamily(const QStringList& preferred, const QStringList& available) {
    for (const QString& want : preferred) {
        if (want.isEmpty()) continue;
        for (const QString& have : available)
            if (FamilyName(have).compare(want, Qt::CaseInsensitive) == 0) return have;
    }
    return {};
}

QStringList JapaneseUiFamilies() {
#ifdef Q_OS_WIN
    return {QStringLiteral("Yu Gothic UI"), QStringLiteral("Meiryo UI"),       QStringLiteral("MS UI Gothic"),
            QStringLiteral("Meiryo"),       QStringLiteral("メイリオ"),        QStringLiteral("ＭＳ Ｐゴシック"),
            QStringLiteral("MS PGothic")};
#else
    return {QStringLiteral("Noto Sans CJK JP")};
#endif
}

void UseJapaneseUiFont(QApplication& app) {
    const QString family = PickFamily(JapaneseUiFamilies(), QFontDatabase::families());
    if (family.isEmpty()) return;
    QFont font = app.font();
    font.setFamily(family);
    app.setFont(font);
}

}  // namespace qm
