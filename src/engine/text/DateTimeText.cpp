#include "engine/text/DateTimeText.h"

#include <QLocale>

namespace qm {
namespace {
QString NoComma(QString s) {
    s.replace(QLatin1Char(','), QLatin1Char(' '));
    return s.simplified();
}
}  // namespace

QString ShortDateText(const QDate& d) {
    QLocale loc = QLocale::system();
    QString fmt = loc.dateFormat(QLocale::ShortFormat);
    // The C locale's short format spells the month as a word; use digits.
    if (loc.language() == QLocale::C || fmt.contains(QLatin1String("MMM"))) fmt = QStringLiteral("yyyy/MM/dd");
    return NoComma(d.toString(fmt));
}

QString LongTimeText(const QTime& t) {
    QString fmt = QLocale::system().timeFormat(QLocale::LongFormat);
    fmt.remove(QLatin1Char('t'));  // no time-zone name
    fmt = fmt.trimmed();
    if (!fmt.contains(QLatin1Char('s'))) fmt = QStringLiteral("HH:mm:ss");
    return NoComma(QLocale::system().toString(t, fmt));
}

QString DateTimeText(const QDateTime& when) {
    return ShortDateText(when.date()) + QLatin1Char(' ') + LongTimeText(when.time());
}

QString NowDateTimeText() { return DateTimeText(QDateTime::currentDateTime()); }
}  // namespace qm
