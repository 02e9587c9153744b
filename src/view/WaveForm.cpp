#include "view/WaveForm.h"

#include <QCloseEvent>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QPixmap>

WaveForm::WaveForm() : QWidget(nullptr), dsScreen_(new QLabel(this)) {
    setWindowTitle(QStringLiteral("DSO 画面"));
    setObjectName(QStringLiteral("WaveForm"));
    setFixedSize(kClientWidth, kClientHeight);
    // Closing the main window ends the application even while this one is shown.
    setAttribute(Qt::WA_QuitOnClose, false);

    dsScreen_->setObjectName(QStringLiteral("DsScreen"));
    dsScreen_->setGeometry(kScreenBox);
    dsScreen_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    dsScreen_->setScaledContents(false);
    dsScreen_->setFrameShape(QFrame::NoFrame);
    dsScreen_->setContentsMargins(0, 0, 0, 0);
}

WaveForm::~WaveForm() = default;

bool WaveForm::LoadPicture(const QString& file) {
    QImage image;
    if (!file.isEmpty()) {
        // The instrument's own file: the format is told by its content.
        QImageReader reader(file);
        reader.setDecideFormatFromContent(true);
        reader.setAutoTransform(false);
        image = reader.read();
    }
    if (image.isNull()) {
        dsScreen_->clear();
        return false;
    }
    dsScreen_->setPixmap(QPixmap::fromImage(image));
    return true;
}

bool WaveForm::LoadPictureBytes(const QByteArray& bytes) {
    QImage image;
    if (!bytes.isEmpty()) image.loadFromData(bytes);
    if (image.isNull()) {
        dsScreen_->clear();
        return false;
    }
    dsScreen_->setPixmap(QPixmap::fromImage(image));
    return true;
}

void WaveForm::closeEvent(QCloseEvent* event) {
    dsScreen_->clear();
    event->accept();
    hide();
    emit Unloaded();
}
