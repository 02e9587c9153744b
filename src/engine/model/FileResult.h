#pragma once
// What became of writing a file: the one answer of every file writer and of
// the run's file outputs. Written (ok), or not: then it names the file, the
// system's reason ("No space left on device") and the text that tells the
// user both. (Not the link's qm::WriteResult, which is about the instrument.)
#include <QString>

namespace qm {

struct FileResult {
    QString file;          // the file that was to be written
    QString reason;        // why it is not (the system's words); empty when written
    QString message;       // the user's text, naming the file and the reason
    bool endsRun = false;  // the output cannot go on: the run ends with `message`

    bool ok() const { return reason.isEmpty() && message.isEmpty(); }

    static FileResult written(const QString& file) { return {file, {}, {}, false}; }
    static FileResult failed(const QString& file, const QString& reason, const QString& message) {
        return {file, reason, message, false};
    }
};

}  // namespace qm
