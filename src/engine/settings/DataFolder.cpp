#include "engine/settings/DataFolder.h"

#include <QDir>

namespace qm {

namespace {
// "C:\..." or "\\server\share...", either separator.
bool IsWindowsAbsolute(const QString& path) {
    const auto sep = [&](qsizetype i) { return path.at(i) == u'\\' || path.at(i) == u'/'; };
    if (path.size() >= 3 && path.at(0).isLetter() && path.at(0).unicode() < 0x80 && path.at(1) == u':' && sep(2))
        return true;
    return path.size() >= 3 && sep(0) && sep(1) && !sep(2);
}

QString WindowsDataDir(const QString& programData) {
    QString base = IsWindowsAbsolute(programData) ? programData : QStringLiteral("C:\\ProgramData");
    base.replace(u'/', u'\\');
    while (base.endsWith(u'\\')) base.chop(1);
    return base + QStringLiteral("\\Quillmeter");
}

// `base` + `rest` without a doubled "/" (cleanPath keeps a leading "//" on
// Windows, where the Unix rules are also tested).
QString UnixJoin(QString base, const QString& rest) {
    while (base.endsWith(u'/')) base.chop(1);
    return QDir::cleanPath(base + rest);
}
}  // namespace

QString DataDirFor(HostSystem system, const HostFolders& folders) {
    if (system == HostSystem::Windows) return WindowsDataDir(folders.programData);
    if (folders.xdgDataHome.startsWith(u'/')) return UnixJoin(folders.xdgDataHome, QStringLiteral("/Quillmeter"));
    return UnixJoin(folders.home, QStringLiteral("/.local/share/Quillmeter"));
}

QString DefaultDataDir() {
#ifdef Q_OS_WIN
    return DataDirFor(HostSystem::Windows, {qEnvironmentVariable("ProgramData"), {}, {}});
#else
    return DataDirFor(HostSystem::Unix, {{}, qEnvironmentVariable("XDG_DATA_HOME"), QDir::homePath()});
#endif
}

QString OutputFolderIn(const QString& dataFolder, const QString& folder) {
    if (folder.isEmpty() || !QDir::isRelativePath(folder)) return folder;
    return QDir::toNativeSeparators(QDir(dataFolder).filePath(folder));
}

}  // namespace qm
