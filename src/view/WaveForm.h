#pragma once
// The screen window "DSO 画面": shows the instrument's screen image, unscaled,
// from the top-left corner of its picture box.
#include <QRect>
#include <QWidget>

class QCloseEvent;
class QLabel;

namespace qm {

class WaveForm : public QWidget {
    Q_OBJECT
public:
    // Client area and picture box, in pixels.
    static constexpr int ClientWidth = 668;
    static constexpr int ClientHeight = 506;
    static constexpr QRect ScreenBox{8, 8, 649, 481};

    // A top-level window of its own (no owner).
    WaveForm();
    ~WaveForm() override;

    // Shows an image file's bytes (BMP or PNG, told by the content) as the
    // instrument sent them. Bytes that are no readable image, or none, give
    // an empty picture. True when a picture is shown.
    bool showImage(const QByteArray& bytes);

    // The picture box.
    QLabel& picture() const { return *picture_; }

signals:
    // The user closed the window (it is hidden and its picture dropped).
    void closedByUser();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QLabel* picture_;
};

}  // namespace qm
