#include "engine/text/AnsiText.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace qm {
QByteArray ToAnsi(const QString& text) {
    QStringEncoder enc("Shift_JIS");
    if (!enc.isValid()) return text.toLocal8Bit();
    QByteArray out = enc.encode(text);
    return out;
}

QString FromAnsi(const QByteArray& bytes) {
    QStringDecoder dec("Shift_JIS");
    if (!dec.isValid()) return QString::fromLocal8Bit(bytes);
    QString out = dec.decode(bytes);
    return out;
}

QString PathSep() {
#ifdef Q_OS_WIN
    return QStringLiteral("\\");
#else
    return QStringLiteral("/");
#endif
}
}  // namespace qm
