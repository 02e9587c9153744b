#pragma once
// Modal questions and failure messages, all titled "確認". The main window
// provides the real boxes; tests and --assume-yes provide scripted answers.
#include <QString>

class Prompter {
public:
    virtual ~Prompter() = default;
    // OK/Cancel question. True for OK; Cancel or closing the box gives false.
    virtual bool AskOkCancel(const QString& text, const QString& title) = 0;
    // A failure message (Cancel/Try Again/Continue or plain OK): the answer is not used.
    virtual void ShowFailure(const QString& text, const QString& title) = 0;
};

inline const QString kConfirmTitle = QStringLiteral("確認");
