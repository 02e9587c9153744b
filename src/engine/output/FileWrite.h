#pragma once
// The one way the file outputs put bytes into a file, so that a write that
// fails says why in the system's own words.
#include <QByteArray>
#include <QString>

class QFileDevice;

namespace qm {

// Writes `size` bytes from `data` to `file`, which should be open unbuffered
// (with a buffer, a failure shows only at the flush). A write cut short (a
// full disk, a size limit) is tried on for the rest, so that the system's
// reason for the shortfall ("No space left on device") is what gets
// reported. Returns the empty string once every byte is out, else that
// reason; how much got out is then unknown to the caller.
QString WriteAll(QFileDevice& file, const char* data, qint64 size);
inline QString WriteAll(QFileDevice& file, const QByteArray& bytes) {
    return WriteAll(file, bytes.constData(), bytes.size());
}

}  // namespace qm
