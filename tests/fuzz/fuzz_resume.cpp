// Fuzz target: the resume file loader on any bytes. Besides not crashing and
// not allocating without bound, it checks what the program relies on: a load
// that is not whole tells a line and a reason, the warning for it holds no
// control character, and settings that were read save and read back the same.
#include "engine/settings/ResumeSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>

using namespace qm;

namespace {
QStringList Texts(const qm::ResumeSettings& s) {
    return {s.ipAddress, s.repeat, s.interval, s.folder, s.header};
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Copying a damaged file aside syncs it to disk: on a memory file system
    // that costs nothing.
    static QTemporaryDir dir(QFileInfo(QStringLiteral("/dev/shm")).isDir() ? QStringLiteral("/dev/shm/fuzz_resume-XXXXXX")
                                                                         : QDir::tempPath() + QStringLiteral("/fuzz_resume-XXXXXX"));
    const QString file = dir.filePath(QStringLiteral("Resume302.txt"));
    {
        QFile f(file);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) std::abort();
        f.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    qm::ResumeSettings s;
    const qm::ResumeLoad load = qm::LoadResumeFile(file, s);
    if (load.applied < 0 || load.applied > qm::kResumeFieldCount) std::abort();
    if (load.applied < 12 && !load.damaged()) std::abort();  // a saved file has twelve lines
    if (load.damaged() && (load.badLine < 1 || load.badLine > qm::kResumeFieldCount)) std::abort();

    const qm::DamagedResume kept = qm::KeepDamagedResumeFile(file, load);
    if (load.damaged() != !kept.warning.isEmpty()) std::abort();
    for (const QChar c : kept.warning)
        if (c.unicode() < 0x20) std::abort();

    // What was read is saved as read, unless a value is too long for a line.
    bool fits = true;
    for (const QString& t : Texts(s)) fits = fits && t.size() < 32000;
    if (fits) {
        // The bytes a save writes.
        const QString again = dir.filePath(QStringLiteral("again.txt"));
        QFile f(again);
        const QByteArray saved = qm::ResumeFileBytes(s);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(saved) != saved.size()) std::abort();
        f.close();
        qm::ResumeSettings t;
        const qm::ResumeLoad reload = qm::LoadResumeFile(again, t);
        if (reload.damaged() || reload.applied != 12 || Texts(t) != Texts(s)) std::abort();
        if (t.usb != s.usb || t.comIndex != s.comIndex || t.manual != s.manual) std::abort();
        if (qm::ResumeFileBytes(t) != saved) std::abort();  // grey check lines too
    }
    return 0;
}
