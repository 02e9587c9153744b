#include "engine/settings/DataFolder.h"

#include <QDir>

QString DefaultDataDir() {
#ifdef Q_OS_WIN
    return QStringLiteral("C:\\ProgramData\\Quillmeter");
#else
    const QByteArray xdg = qgetenv("XDG_DATA_HOME");
    if (!xdg.isEmpty()) return QDir(QString::fromLocal8Bit(xdg)).filePath(QStringLiteral("Quillmeter"));
    return QDir::home().filePath(QStringLiteral(".local/share/Quillmeter"));
#endif
}

