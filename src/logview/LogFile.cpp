#include "logview/LogFile.h"

#include "engine/text/AnsiText.h"
#include "logview/FlexGrid.h"
#include "logview/GridOps.h"

#include <QDir>
#include <QFile>

namespace {
constexpr int LogCells = 6;

void AppendLine(QString& out, FlexGrid& grid, int row) {
    for (int c = 0; c < LogCells; ++c) {
        if (c > 0) out += QLatin1Char(',');
        out += GetGridCell(grid, row, c);
    }
    out += QLatin1String("\r\n");
}

bool Fail(QString* error, const QString& text) {
    if (error) *error = text;
    return false;
}
}  // namespace

bool AppendLogRowToFile(const QString& fileName, FlexGrid& grid, int32_t logGridRow, QString* error) {
    const QString shown = QDir::toNativeSeparators(fileName);
    if (logGridRow < 0 || logGridRow >= grid.Rows())
        return Fail(error, QStringLiteral("ログファイル %1 に書けません: 行 %2 はログの行ではありません")
                               .arg(shown)
                               .arg(logGridRow));

    bool isNew = true;
    {
        QFile probe(fileName);
        if (probe.open(QIODevice::ReadOnly)) {
            isNew = false;
            probe.close();
        }
    }

    QString text;
    if (isNew)
        for (int r = 0; r <= 3; ++r) AppendLine(text, grid, r);
    AppendLine(text, grid, logGridRow);
    const QByteArray bytes = qm::ToAnsi(text);

    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return Fail(error, QStringLiteral("ログファイル %1 を開けません: %2").arg(shown, file.errorString()));
    const qint64 written = file.write(bytes);
    const bool flushed = file.flush();
    QString reason = file.errorString();
    file.close();
    if (file.error() != QFileDevice::NoError) reason = file.errorString();
    if (written != bytes.size() || !flushed || file.error() != QFileDevice::NoError)
        return Fail(error, QStringLiteral("ログファイル %1 に書けません: %2").arg(shown, reason));
    if (error) error->clear();
    return true;
}
