#pragma once
// How the run asks the user. Every question blocks the worker thread that asks
// it, never the GUI; a stop or abort ends the wait (as Cancel). The window
// shows real boxes titled "確認"; --assume-yes and --headless answer at once.
#include <QCoreApplication>
#include <QString>

namespace qm {

class StopToken;

// The title of the boxes, in the user's language.
inline QString ConfirmTitle() { return QCoreApplication::translate("Questions", "確認"); }

class Questions {
public:
    virtual ~Questions() = default;
    // OK / Cancel. True for OK; Cancel, closing the box or a stop give false.
    virtual bool askOkCancel(const QString& text, const qm::StopToken& stop) = 0;
    // The connection failed (再試行 / キャンセル). True for 再試行.
    virtual bool askRetryConnect(const QString& text, const qm::StopToken& stop) = 0;
    // A message that does not hold up the run.
    virtual void notify(const QString& text) = 0;
    // A file the run was to write is not on disk; the status said so already
    // (the window leaves it at that).
    virtual void fileNotWritten(const QString& /*text*/) {}
};

// --assume-yes and the headless logger: every question is answered OK at
// once (a failed connection is not tried again); messages go to stderr.
class AutoQuestions : public Questions {
public:
    bool askOkCancel(const QString&, const qm::StopToken&) override { return true; }
    bool askRetryConnect(const QString& text, const qm::StopToken&) override;
    void notify(const QString& text) override;
    void fileNotWritten(const QString& text) override { notify(text); }
};

}  // namespace qm
