#pragma once
// The one way the file outputs put bytes into a file, so that a write that
// fails says why in the system's own words.
#include "engine/model/FileResult.h"

#include <QByteArray>
#include <QString>

class QFileDevice;

namespace qm {

// Writes `size` bytes from `data` to `file`, which should be open unbuffered
// (with a buffer, a failure shows only at the flush). A write cut short (a
// full disk, a size limit) is tried on for the rest, so that the system's
// reason for the shortfall ("No space left on device") is what gets
// reported. Ok once every byte is out; else the result names the file and
// that reason (its message is left to the caller); how much got out is then
// unknown to the caller.
FileResult WriteAll(QFileDevice& file, const char* data, qint64 size);
inline FileResult WriteAll(QFileDevice& file, const QByteArray& bytes) {
    return WriteAll(file, bytes.constData(), bytes.size());
}

}  // namespace qm
