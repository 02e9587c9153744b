#pragma once
// The screen window: shows the instrument's screen image, unscaled, from the
// top-left corner of its picture box.
#include <QRect>
#include <QString>
#include <QWidget>

class QCloseEvent;
class QLabel;

class WaveForm : public QWidget {
    Q_OBJECT
public:
    // Client area and picture box, in pixels.
    static constexpr int kClientWidth = 668;
    static constexpr int kClientHeight = 506;
    static constexpr QRect kScreenBox{8, 8, 649, 481};

    // A top-level window of its own (no owner).
    WaveForm();
    ~WaveForm() override;

    // Loads the image file (BMP or PNG, told by its content, not its name)
    // into the picture box. An empty name, a missing file or a file that is
    // not a readable image gives an empty picture.
    // Returns true when a picture is shown.
    bool LoadPicture(const QString& file);
    // The same from an image file's bytes (BMP or PNG), as the instrument sent them.
    bool LoadPictureBytes(const QByteArray& bytes);

    // The picture box.
    QLabel* DsScreen() const { return dsScreen_; }

signals:
    // The user closed the window (it is hidden and its picture dropped).
    void Unloaded();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QLabel* dsScreen_;
};
