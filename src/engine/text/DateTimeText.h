#pragma once
// The PC's date and time as the log shows them: the system's short date, one
// blank, the system's long time (with seconds, without a time-zone name and
// never with a comma, so the CSV keeps six cells).
#include <QDateTime>
#include <QString>

namespace qm {
QString DateTimeText(const QDateTime& when);
QString NowDateTimeText();
QString ShortDateText(const QDate& d);
QString LongTimeText(const QTime& t);
}  // namespace qm
