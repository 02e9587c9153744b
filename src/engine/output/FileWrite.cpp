#include "engine/output/FileWrite.h"

#include <QCoreApplication>
#include <QFileDevice>

// The context of this file's texts in the translation catalogues.
namespace {
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(FileWrite)
};
}  // namespace

qm::FileResult qm::WriteAll(QFileDevice& file, const char* data, qint64 size) {
    qint64 written = 0;
    while (written < size) {
        const qint64 n = file.write(data + written, size - written);
        if (n <= 0) {
            // An unbuffered device sets the system's reason with the failed
            // write; a device that wrote nothing without one still fails.
            if (file.error() == QFileDevice::NoError)
                return {file.fileName(), Texts::tr("%1 / %2 バイトしか書けません").arg(written).arg(size), {}, false};
            return {file.fileName(), file.errorString(), {}, false};
        }
        written += n;
    }
    return FileResult::written(file.fileName());
}
