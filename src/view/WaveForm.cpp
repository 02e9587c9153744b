#include "view/WaveForm.h"

#include <QCloseEvent>
#include <QImage>
#include <QLabel>
#include <QPixmap>

namespace qm {

WaveForm::WaveForm() : QWidget(nullptr), picture_(new QLabel(this)) {
    setWindowTitle(tr("DSO 画面"));
    setObjectName(QStringLiteral("WaveForm"));
    setFixedSize(ClientWidth, ClientHeight);
    // Closing the main window ends the application even while this one is shown.
    setAttribute(Qt::WA_QuitOnClose, false);

    picture_->setObjectName(QStringLiteral("DsScreen"));
    picture_->setGeometry(ScreenBox);
    picture_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    picture_->setScaledContents(false);
    picture_->setFrameShape(QFrame::NoFrame);
    picture_->setContentsMargins(0, 0, 0, 0);
}

WaveForm::~WaveForm() = default;

bool WaveForm::showImage(const QByteArray& bytes) {
    QImage image;
    if (!bytes.isEmpty()) image.loadFromData(bytes);
    if (image.isNull()) {
        picture_->clear();
        return false;
    }
    picture_->setPixmap(QPixmap::fromImage(image));
    return true;
}

void WaveForm::closeEvent(QCloseEvent* event) {
    picture_->clear();
    event->accept();
    hide();
    emit closedByUser();
}

}  // namespace qm
