#pragma once
// The few file operations the MQTT queue needs, on POSIX and on Windows:
// descriptors (ints) for appending, reading at an offset, cutting back and
// making durable, and a lock on a folder. Files are opened so that another
// handle may remove them meanwhile (on Windows too). Failures return false
// or -1 with *error in the system's words.
#include <QString>
#include <cstdint>

namespace qm::queuefiles {

int OpenAppend(const QString& path, QString* error);  // created when missing
int OpenRead(const QString& path, QString* error);
void Close(int fd);
// Writes all `size` bytes or fails (a short write is a failure: "No space left").
bool WriteAll(int fd, const char* data, int64_t size, QString* error);
bool ReadAt(int fd, char* data, int64_t size, uint64_t offset, QString* error);
bool CutTo(int fd, uint64_t size);
bool CutFile(const QString& path, uint64_t size);
// Makes the file's bytes durable (fdatasync; FlushFileBuffers on Windows).
bool SyncFile(const QString& path, QString* error);
// Makes new names in the folder durable (POSIX; nothing on Windows).
void SyncFolder(const QString& folder);
// Takes the lock file `path` for this process alone. -1 when another holds
// it (*busy) or it cannot be made.
int LockFile(const QString& path, bool* busy, QString* error);

}  // namespace qm::queuefiles
