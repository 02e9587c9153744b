#include "view/BoxQuestions.h"

#include "engine/link/StopToken.h"

#include <QMessageBox>
#include <QMetaObject>
#include <QPushButton>
#include <chrono>

namespace qm {

BoxQuestions::BoxQuestions(QWidget* parent) : QObject(parent), parent_(parent) {}

bool BoxQuestions::askOkCancel(const QString& text, const qm::StopToken& stop) {
    return ask(Kind::OkCancel, text, stop);
}

bool BoxQuestions::askRetryConnect(const QString& text, const qm::StopToken& stop) {
    return ask(Kind::Retry, text, stop);
}

bool BoxQuestions::ask(Kind kind, const QString& text, const qm::StopToken& stop) {
    quint64 id;
    {
        std::lock_guard lock(mutex_);
        id = ++nextId_;
    }
    QMetaObject::invokeMethod(this, [this, kind, text, id] { showOnGuiThread(kind, text, id); }, Qt::QueuedConnection);
    std::unique_lock lock(mutex_);
    // The stop is looked at every 20 ms while the user thinks.
    while (answeredId_ != id) {
        if (stop.stopRequested()) {
            lock.unlock();
            QMetaObject::invokeMethod(this, [this, id] {
                if (box_ && box_->property("questionId").toULongLong() == id) box_->reject();
            }, Qt::QueuedConnection);
            return false;
        }
        answered_.wait_for(lock, std::chrono::milliseconds(20));
    }
    return answer_;
}

void BoxQuestions::showOnGuiThread(Kind kind, const QString& text, quint64 id) {
    auto* box = new QMessageBox(parent_);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowTitle(ConfirmTitle());
    box->setText(text);
    box->setProperty("questionId", id);
    if (kind == Kind::OkCancel) {
        box->setIcon(QMessageBox::Question);
        box->setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
    } else {
        // Try again, or give up: nothing else can be done without a link.
        box->setIcon(QMessageBox::Warning);
        box->setStandardButtons(QMessageBox::Retry | QMessageBox::Cancel);
        box->button(QMessageBox::Retry)->setText(tr("再試行"));
        box->button(QMessageBox::Cancel)->setText(tr("キャンセル"));
        box->setDefaultButton(QMessageBox::Retry);
    }
    connect(box, &QMessageBox::finished, this, [this, box, kind, id](int) {
        auto* clicked = box->clickedButton();
        const QMessageBox::StandardButton b = clicked ? box->standardButton(clicked) : QMessageBox::Cancel;
        answer(id, kind == Kind::OkCancel ? b == QMessageBox::Ok : b == QMessageBox::Retry);
    });
    box_ = box;
    box->open();
}

void BoxQuestions::answer(quint64 id, bool yes) {
    {
        std::lock_guard lock(mutex_);
        answeredId_ = id;
        answer_ = yes;
    }
    answered_.notify_all();
}

void BoxQuestions::notify(const QString& text) {
    QMetaObject::invokeMethod(this, [this, text] {
        if (!notifyBox_) {
            notifyBox_ = new QMessageBox(QMessageBox::Warning, ConfirmTitle(), text, QMessageBox::Ok, parent_);
            notifyBox_->setModal(false);
        }
        notifyBox_->setText(text);
        notifyBox_->show();
    }, Qt::QueuedConnection);
}

}  // namespace qm
