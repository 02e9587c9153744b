#include "app/HeadlessConsole.h"

#include <QCoreApplication>
#include <algorithm>

// The context of this file's texts in the translation catalogues.
namespace {
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(HeadlessConsole)
};
}  // namespace

namespace qm {

namespace {

// "m:ss", or "h:mm:ss" from an hour on; whole seconds, rounded down or up.
QString Duration(qint64 ms, bool roundUp = false) {
    const qint64 s = (std::max<qint64>(ms, 0) + (roundUp ? 999 : 0)) / 1000;
    const QString mss = QStringLiteral("%1:%2").arg(s / 60 % 60).arg(s % 60, 2, 10, QLatin1Char('0'));
    if (s < 3600) return mss;
    return QStringLiteral("%1:%2:%3").arg(s / 3600).arg(s / 60 % 60, 2, 10, QLatin1Char('0')).arg(s % 60, 2, 10, QLatin1Char('0'));
}

bool Wide(char32_t c) {
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF && c != 0x303F) || (c >= 0xAC00 && c <= 0xD7A3) ||
           (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1FAFF) || (c >= 0x20000 && c <= 0x3FFFD);
}

}  // namespace

int TerminalWidth(const QString& text) {
    int w = 0;
    for (const char32_t c : text.toUcs4()) {
        if (c < 0x20 || (c >= 0x7F && c < 0xA0)) continue;
        w += Wide(c) ? 2 : 1;
    }
    return w;
}

void HeadlessConsole::status(const QString& text) {
    std::lock_guard lock(mutex_);
    clearLocked();
    std::fprintf(out_, "%s\n", text.toUtf8().constData());
    std::fflush(out_);
    drawLocked();
}

void HeadlessConsole::message(const QString& text) {
    std::lock_guard lock(mutex_);
    clearLocked();
    std::fprintf(err_, "%s\n", text.toUtf8().constData());
    std::fflush(err_);
    drawLocked();
}

void HeadlessConsole::runStarted(const RunStartInfo& info) {
    std::lock_guard lock(mutex_);
    started_ = true;
    runStart_ = info.started.isValid() ? info.started : QDateTime::currentDateTime();
    cycleStart_ = runStart_;
    lastCycle_ = info.transferOnly ? info.firstCycle : std::max(info.repeatCount, info.firstCycle);
    lastDone_ = info.firstCycle - 1;
    drawLocked();
}

void HeadlessConsole::itemsRead(const MeasItemArray& items) {
    std::lock_guard lock(mutex_);
    items_ = items;
}

void HeadlessConsole::cycleLogged(const CycleRecord& record) {
    std::lock_guard lock(mutex_);
    last_ = record;
}

void HeadlessConsole::cycleDone(int32_t next) {
    std::lock_guard lock(mutex_);
    const QDateTime now = QDateTime::currentDateTime();
    ++done_;
    lastDone_ = next - 1;
    busyMsTotal_ += std::max<qint64>(cycleStart_.msecsTo(now), 0);
    // Until a wait says otherwise the next cycle starts at once.
    cycleStart_ = now;
    nextStart_.reset();
    // The live line is drawn again with the next status or wait, which
    // follow at once and know when the next cycle starts.
    if (mode_ == Progress::Lines) {
        std::fprintf(err_, "%s\n", progressTextLocked(now).toUtf8().constData());
        std::fflush(err_);
    }
}

void HeadlessConsole::waitChanged(const RunWait& wait) {
    std::lock_guard lock(mutex_);
    if (wait.kind == RunWait::Kind::Interval && wait.nextStart.isValid()) {
        nextStart_ = wait.nextStart;
        periodMs_ = std::max<qint64>(cycleStart_.msecsTo(wait.nextStart), 0);
    } else if (wait.kind == RunWait::Kind::None && nextStart_) {
        cycleStart_ = QDateTime::currentDateTime();
        nextStart_.reset();
    }
    drawLocked();
}

void HeadlessConsole::tick() {
    std::lock_guard lock(mutex_);
    drawLocked();
}

void HeadlessConsole::finish() {
    std::lock_guard lock(mutex_);
    clearLocked();
    started_ = false;
}

QString HeadlessConsole::progressText(const QDateTime& now) const {
    std::lock_guard lock(mutex_);
    return progressTextLocked(now);
}

QString HeadlessConsole::progressTextLocked(const QDateTime& now) const {
    QString text = Texts::tr("サイクル %1/%2  経過 %3")
                       .arg(lastDone_)
                       .arg(lastCycle_)
                       .arg(Duration(runStart_.msecsTo(now)));
    // Time left: the cycles still to come take the interval from start to
    // start (or as long as a cycle took, when that is longer), the last one
    // as long as a cycle takes.
    const qint64 remaining = qint64(lastCycle_) - lastDone_;
    if (remaining <= 0) {
        text += Texts::tr("  残り %1").arg(Duration(0));
    } else if (done_ > 0) {
        const qint64 busy = busyMsTotal_ / done_;
        const qint64 period = std::max(periodMs_.value_or(0), busy);
        const QDateTime nextStart = nextStart_ ? *nextStart_ : cycleStart_;
        const qint64 left = now.msecsTo(nextStart) + (remaining - 1) * period + busy;
        text += Texts::tr("  残り %1").arg(Duration(left, true));
    } else {
        text += Texts::tr("  残り -");
    }
    if (last_) {
        for (int k = 0; k < 4; ++k) {
            const QString& cell = last_->cells[size_t(k)];
            const QString& unit = items_[size_t(k)].unit;
            text += QStringLiteral("  %1 %2").arg(QChar(u'A' + k)).arg(cell.isEmpty() ? QStringLiteral("-") : cell);
            if (!cell.isEmpty() && !unit.isEmpty()) text += QLatin1Char(' ') + unit;
        }
    }
    return text;
}

void HeadlessConsole::drawLocked() {
    if (mode_ != Progress::Live || !started_) return;
    QString text = progressTextLocked(QDateTime::currentDateTime());
    // A line longer than the terminal would wrap, and the next one could not
    // be written over it.
    if (columns_ > 1)
        while (TerminalWidth(text) > columns_ - 1) text.chop(1);
    const int width = TerminalWidth(text);
    // The rest of a longer line before is blanked out.
    const QString pad(std::max(shownWidth_ - width, 0), QLatin1Char(' '));
    std::fprintf(err_, "\r%s%s", text.toUtf8().constData(), pad.toLatin1().constData());
    if (!pad.isEmpty()) std::fprintf(err_, "\r%s", text.toUtf8().constData());
    std::fflush(err_);
    shownWidth_ = width;
}

void HeadlessConsole::clearLocked() {
    if (shownWidth_ == 0) return;
    std::fprintf(err_, "\r%s\r", QString(shownWidth_, QLatin1Char(' ')).toLatin1().constData());
    std::fflush(err_);
    shownWidth_ = 0;
}

}  // namespace qm
