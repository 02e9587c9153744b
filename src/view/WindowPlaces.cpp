#include "view/WindowPlaces.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace qm {

namespace {
// How much of a window's top edge must lie on a screen for it to be taken
// with the mouse.
constexpr int kGripWidth = 64;
constexpr int kGripHeight = 16;

bool OnSomeScreen(const QRect& frame) {
    const QRect grip(frame.left(), frame.top(), frame.width(), std::min(frame.height(), 2 * kGripHeight));
    const int needW = std::min(kGripWidth, frame.width());
    const int needH = std::min(kGripHeight, grip.height());
    for (const QScreen* s : QGuiApplication::screens()) {
        const QRect seen = grip & s->availableGeometry();
        if (seen.width() >= needW && seen.height() >= needH) return true;
    }
    return false;
}

QRect AvailableAt(const QPoint& p) {
    const QScreen* s = QGuiApplication::screenAt(p);
    if (!s) s = QGuiApplication::primaryScreen();
    return s ? s->availableGeometry() : QRect();
}
}  // namespace

WindowPlaces::WindowPlaces(const QMap<QString, QByteArray>& kept, QObject* parent) : QObject(parent), kept_(kept) {}

void WindowPlaces::watch(QWidget& w) {
    Q_ASSERT(!w.objectName().isEmpty());
    windows_.append(&w);
    w.installEventFilter(this);
    const QString name = w.objectName();
    const auto it = kept_.constFind(name);
    if (it == kept_.constEnd() || !w.restoreGeometry(*it)) return;
    KeepOnScreen(w);
    placed_.insert(name);
    restored_.insert(name);
}

bool WindowPlaces::placed(const QWidget& w) const { return placed_.contains(w.objectName()); }

bool WindowPlaces::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Show) placed_.insert(watched->objectName());
    return QObject::eventFilter(watched, event);
}

QMap<QString, QByteArray> WindowPlaces::places() const {
    QMap<QString, QByteArray> places = kept_;
    for (const QPointer<QWidget>& w : windows_)
        if (w && placed_.contains(w->objectName())) places.insert(w->objectName(), w->saveGeometry());
    return places;
}

void KeepOnScreen(QWidget& w) {
    const QRect frame = w.frameGeometry();
    if (OnSomeScreen(frame)) return;
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (!primary) return;
    const QRect avail = primary->availableGeometry();
    // The frame around the client area, as far as it is known.
    const QSize extra = frame.size() - w.size();
    const QSize client(std::min(w.width(), avail.width() - extra.width()),
                       std::min(w.height(), avail.height() - extra.height()));
    if (client != w.size()) w.resize(client.expandedTo(QSize(1, 1)));
    const QSize outer = client + extra;
    w.move(std::clamp(frame.left(), avail.left(), std::max(avail.left(), avail.right() + 1 - outer.width())),
           std::clamp(frame.top(), avail.top(), std::max(avail.top(), avail.bottom() + 1 - outer.height())));
}

void PlaceBeside(QWidget& w, const QRect& anchor) {
    const QPoint at(anchor.right() + 1, anchor.top());
    const QRect avail = AvailableAt(anchor.center());
    const QSize least = w.minimumSizeHint().expandedTo(w.minimumSize());
    QSize size = w.size();
    if (avail.isValid()) {
        size.setWidth(std::max(std::min(size.width(), avail.right() + 1 - at.x()), least.width()));
        size.setHeight(std::max(std::min(size.height(), avail.bottom() + 1 - at.y()), least.height()));
    }
    w.resize(size);
    // Taller than the room under the anchor's top: up as far as needed.
    int top = at.y();
    if (avail.isValid()) top = std::max(avail.top(), std::min(top, avail.bottom() + 1 - size.height()));
    w.move(at.x(), top);
}

}  // namespace qm
