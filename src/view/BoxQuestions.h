#pragma once
// The run's questions as message boxes titled "確認". The worker that asks
// waits on its own thread; the box is shown on the GUI thread without a
// nested event loop (QMessageBox::open), and its answer wakes the worker. A
// stop closes a box that is still open.
#include "engine/run/Questions.h"

#include <QObject>
#include <QPointer>
#include <condition_variable>
#include <mutex>

class QMessageBox;
class QWidget;

namespace qm {

class BoxQuestions : public QObject, public Questions {
    Q_OBJECT
public:
    explicit BoxQuestions(QWidget* parent);
    bool askOkCancel(const QString& text, const qm::StopToken& stop) override;
    bool askRetryConnect(const QString& text, const qm::StopToken& stop) override;
    void notify(const QString& text) override;

private:
    enum class Kind { OkCancel, Retry };
    bool ask(Kind kind, const QString& text, const qm::StopToken& stop);
    void showOnGuiThread(Kind kind, const QString& text, quint64 id);
    void answer(quint64 id, bool yes);

    QWidget* parent_;
    std::mutex mutex_;
    std::condition_variable answered_;
    quint64 nextId_ = 0;
    quint64 answeredId_ = 0;
    bool answer_ = false;
    QPointer<QMessageBox> box_;
    QPointer<QMessageBox> notifyBox_;
};

}  // namespace qm
