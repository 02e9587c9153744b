#pragma once
// Failures that end a run. They carry the text shown to the user.
#include <QString>
#include <stdexcept>

namespace qm {

struct QuillError : std::runtime_error {
    explicit QuillError(const QString& message)
        : std::runtime_error(message.toStdString()), text(message) {}
    QString text;
};

// The link to the instrument is lost or unusable (dropped connection,
// serial device gone, a block that stops half-way, a write that cannot go out).
struct LinkError : QuillError {
    using QuillError::QuillError;
};

// The stop token gave up a wait on the instrument: a stop the user asked for
// (the run ends as stopped) or an abort (the program is closing: nothing more
// is sent or written).
struct RunInterrupted : std::exception {
    explicit RunInterrupted(bool abort) : aborted(abort) {}
    bool aborted;
    const char* what() const noexcept override { return aborted ? "run aborted" : "run stopped"; }
};

}  // namespace qm
