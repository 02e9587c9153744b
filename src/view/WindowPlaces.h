#pragma once
// Where the windows were: each window's place and size, by its object name,
// kept from one start to the next (the app keeps them in the program's
// settings file). A kept place that lies on no screen any more (a screen was
// taken away or its resolution lowered) is moved onto one.
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSet>
#include <QString>
#include <QWidget>

namespace qm {

class WindowPlaces : public QObject {
    Q_OBJECT
public:
    // The places kept at the last close, by object name (QWidget::saveGeometry()).
    explicit WindowPlaces(const QMap<QString, QByteArray>& kept, QObject* parent = nullptr);

    // Follows `w` (a top-level window with an object name): puts it where it
    // was at the last close, when a place was kept, and notes every showing.
    void watch(QWidget& w);
    // True when the window has a place of its own: a kept one, or it has been
    // shown before. The program places a window only while it has none.
    bool placed(const QWidget& w) const;
    // True when the window was put where it was at the last close.
    bool kept(const QWidget& w) const { return restored_.contains(w.objectName()); }

    // The places to keep: those of the watched windows that have one, and
    // what was kept before for the others.
    QMap<QString, QByteArray> places() const;

private:
    bool eventFilter(QObject* watched, QEvent* event) override;

    QMap<QString, QByteArray> kept_;
    QList<QPointer<QWidget>> windows_;
    QSet<QString> placed_;
    QSet<QString> restored_;
};

// Moves a window whose title bar lies on no screen (not enough of it to be
// taken with the mouse) onto the nearest part of the primary screen, cut to
// that screen's size.
void KeepOnScreen(QWidget& w);

// Puts a window not yet shown to the right of `anchor` (tops aligned), cut to
// the room left on that screen, but never narrower or lower than its minimum;
// one taller than the room under the anchor's top moves up as far as needed.
void PlaceBeside(QWidget& w, const QRect& anchor);

}  // namespace qm
