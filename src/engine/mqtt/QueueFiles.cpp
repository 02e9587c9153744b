#include "engine/mqtt/QueueFiles.h"

#include "engine/text/WinApi.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>

#ifdef _WIN32
#include <io.h>
#else
#include <sys/file.h>
#include <unistd.h>
#endif

// The context of this file's texts in the translation catalogues.
namespace {
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(QueueFiles)
};
}  // namespace

namespace qm::queuefiles {

namespace {
QString Errno(int e) { return QString::fromLocal8Bit(std::strerror(e)); }
void Set(QString* error, const QString& text) {
    if (error) *error = text;
}
#ifdef _WIN32
QString LastError() { return qt_error_string(int(GetLastError())); }
// A handle others may read, write and remove while it is open.
int OpenHandle(const QString& path, DWORD access, DWORD creation, DWORD share, int flags, QString* error) {
    const std::wstring w = QDir::toNativeSeparators(path).toStdWString();
    HANDLE h = CreateFileW(w.c_str(), access, share, nullptr, creation, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        Set(error, LastError());
        return -1;
    }
    const int fd = _open_osfhandle(intptr_t(h), flags | _O_BINARY);
    if (fd < 0) {
        CloseHandle(h);
        Set(error, Errno(errno));
    }
    return fd;
}
constexpr DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
#endif
}  // namespace

int OpenAppend(const QString& path, QString* error) {
#ifdef _WIN32
    return OpenHandle(path, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS, ShareAll, _O_APPEND, error);
#else
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) Set(error, Errno(errno));
    return fd;
#endif
}

int OpenRead(const QString& path, QString* error) {
#ifdef _WIN32
    return OpenHandle(path, GENERIC_READ, OPEN_EXISTING, ShareAll, _O_RDONLY, error);
#else
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) Set(error, Errno(errno));
    return fd;
#endif
}

void Close(int fd) {
    if (fd < 0) return;
#ifdef _WIN32
    ::_close(fd);
#else
    ::close(fd);
#endif
}

bool WriteAll(int fd, const char* data, int64_t size, QString* error) {
    while (size > 0) {
#ifdef _WIN32
        const int n = ::_write(fd, data, unsigned(std::min<int64_t>(size, 1 << 30)));
#else
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0 && errno == EINTR) continue;
#endif
        if (n <= 0) {
            Set(error, Errno(n < 0 ? errno : ENOSPC));
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

bool ReadAt(int fd, char* data, int64_t size, uint64_t offset, QString* error) {
#ifdef _WIN32
    if (::_lseeki64(fd, int64_t(offset), SEEK_SET) < 0) {
        Set(error, Errno(errno));
        return false;
    }
#endif
    while (size > 0) {
#ifdef _WIN32
        const int n = ::_read(fd, data, unsigned(std::min<int64_t>(size, 1 << 30)));
#else
        const ssize_t n = ::pread(fd, data, size_t(size), off_t(offset));
        if (n < 0 && errno == EINTR) continue;
#endif
        if (n <= 0) {
            Set(error, n < 0 ? Errno(errno) : Texts::tr("短いファイル"));
            return false;
        }
        data += n;
        size -= n;
        offset += uint64_t(n);
    }
    return true;
}

bool CutTo(int fd, uint64_t size) {
#ifdef _WIN32
    return ::_chsize_s(fd, int64_t(size)) == 0;
#else
    return ::ftruncate(fd, off_t(size)) == 0;
#endif
}

bool CutFile(const QString& path, uint64_t size) {
#ifdef _WIN32
    const int fd = OpenHandle(path, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING, ShareAll, 0, nullptr);
    if (fd < 0) return false;
    const bool ok = CutTo(fd, size);
    Close(fd);
    return ok;
#else
    return ::truncate(QFile::encodeName(path).constData(), off_t(size)) == 0;
#endif
}

bool SyncFile(const QString& path, QString* error) {
#ifdef _WIN32
    const int fd = OpenHandle(path, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING, ShareAll, 0, nullptr);
    if (fd < 0) return true;  // removed meanwhile: nothing of it is needed
    const bool ok = ::_commit(fd) == 0;
#else
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return true;
    const bool ok = ::fdatasync(fd) == 0;
#endif
    if (!ok) Set(error, Errno(errno));
    Close(fd);
    return ok;
}

void SyncFolder(const QString& folder) {
#ifndef _WIN32
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
#else
    Q_UNUSED(folder);
#endif
}

int LockFile(const QString& path, bool* busy, QString* error) {
    *busy = false;
#ifdef _WIN32
    // Shared with nobody: a second program's open fails.
    const std::wstring w = QDir::toNativeSeparators(path).toStdWString();
    HANDLE h = CreateFileW(w.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        *busy = code == ERROR_SHARING_VIOLATION;
        Set(error, qt_error_string(int(code)));
        return -1;
    }
    const int fd = _open_osfhandle(intptr_t(h), _O_BINARY);
    if (fd < 0) CloseHandle(h);
    return fd;
#else
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        Set(error, Errno(errno));
        return -1;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        *busy = errno == EWOULDBLOCK;
        Set(error, Errno(errno));
        ::close(fd);
        return -1;
    }
    return fd;
#endif
}

}  // namespace qm::queuefiles
