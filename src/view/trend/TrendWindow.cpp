#include "view/trend/TrendWindow.h"

#include "engine/stats/LogReader.h"
#include "engine/stats/StatsCsv.h"
#include "engine/stats/TrendLimits.h"
#include "engine/text/NumText.h"
#include "engine/text/SIFormat.h"
#include "view/FolderDialog.h"

#include <qcustomplot.h>

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

namespace qm {

namespace {
QString Num(std::optional<double> v) { return v ? StatisticText(*v) : QStringLiteral("-"); }

QString LimitText(std::optional<double> v) { return v ? SICellText(*v) : QString(); }

const char* const InvalidStyle = "QLineEdit { background: #ffd0d0; }";
}  // namespace

QString StatisticText(double v) {
    if (!std::isfinite(v) || v >= NoValue) return QStringLiteral("-");
    // The log's range (chosen from the unrounded value, as the log does),
    // then five significant digits of the scaled number.
    const QString suffix = FormatSIValue(v, QString()).suffix;
    double scale = 1;
    if (suffix == QLatin1String("e-9")) scale = 1e9;
    else if (suffix == QLatin1String("e-6")) scale = 1e6;
    else if (suffix == QLatin1String("e-3")) scale = 1e3;
    else if (suffix == QLatin1String("e3")) scale = 1e-3;
    const QString picture = qm::FormatPicture(v * scale, StatisticDigits - 1);
    double scaled = qm::StrictNumber(picture).value_or(v * scale);
    if (scaled == 0) scaled = 0.0;  // no "-0"
    const QString text = qm::GeneralNumberText(scaled);
    // Beyond the log's ranges the scaled number would need an exponent of its own.
    if (text.contains(QLatin1Char('E'))) return QString::number(v, 'g', StatisticDigits);
    return text + suffix;
}

TrendWindow::TrendWindow(const QString& dataFolder, QWidget* parent)
    : QWidget(parent, Qt::Window), dataFolder_(dataFolder), chart_(this) {
    setWindowTitle(tr("トレンド"));
    setObjectName(QStringLiteral("trendWindow"));
    lastFolder_ = QDir(dataFolder).filePath(QStringLiteral("Data"));

    auto* top = new QHBoxLayout;
    auto* open = new QPushButton(tr("ログを開く..."), this);
    open->setObjectName(QStringLiteral("openLog"));
    auto* png = new QPushButton(tr("PNG 保存..."), this);
    png->setObjectName(QStringLiteral("exportPng"));
    auto* csv = new QPushButton(tr("統計 CSV 保存..."), this);
    csv->setObjectName(QStringLiteral("exportStatsCsv"));
    pcTime_ = new QCheckBox(tr("横軸を PC 時刻に"), this);
    pcTime_->setObjectName(QStringLiteral("pcTime"));
    source_ = new QLabel(this);
    source_->setObjectName(QStringLiteral("source"));
    for (QWidget* w : std::initializer_list<QWidget*>{open, png, csv, pcTime_}) top->addWidget(w);
    top->addWidget(source_, 1);
    connect(open, &QPushButton::clicked, this, &TrendWindow::askOpenLog);
    connect(png, &QPushButton::clicked, this, &TrendWindow::askExportPng);
    connect(csv, &QPushButton::clicked, this, &TrendWindow::askExportStatsCsv);
    connect(pcTime_, &QCheckBox::toggled, this,
            [this](bool on) { setXAxis(on ? TrendXAxis::PcTime : TrendXAxis::Cycle); });

    auto* side = new QVBoxLayout;
    side->setSpacing(4);
    for (int k = 0; k < 4; ++k) {
        SlotView& v = views_[size_t(k)];
        const QString letter(QChar(u'A' + k));
        v.box = new QGroupBox(letter, this);
        v.stats = new QLabel(v.box);
        v.stats->setObjectName(QStringLiteral("stats") + letter);
        // A fixed size and its own background: a new text repaints the label
        // alone, without a new layout of the window or a repaint of the box.
        v.stats->setAutoFillBackground(true);
        // Sized by a text of all its lines: the Japanese words come from a
        // fallback font with taller lines than the label's own font.
        v.stats->setText(tr("数 0   値なし 0\n最新 -\n最小 -\n最大 -\n平均 -\n標準偏差 -\n範囲外 -"));
        v.stats->setFixedSize(230, v.stats->sizeHint().height() + 2);
        v.stats->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        v.lower = new QLineEdit(v.box);
        v.lower->setObjectName(QStringLiteral("lower") + letter);
        v.lower->setPlaceholderText(tr("下限"));
        v.upper = new QLineEdit(v.box);
        v.upper->setObjectName(QStringLiteral("upper") + letter);
        v.upper->setPlaceholderText(tr("上限"));
        auto* limits = new QHBoxLayout;
        limits->addWidget(new QLabel(tr("下限"), v.box));
        limits->addWidget(v.lower);
        limits->addWidget(new QLabel(tr("上限"), v.box));
        limits->addWidget(v.upper);
        auto* box = new QVBoxLayout(v.box);
        box->setContentsMargins(6, 2, 6, 4);
        box->addWidget(v.stats);
        box->addLayout(limits);
        box->addStretch(1);
        side->addWidget(v.box, 1);
        for (QLineEdit* e : {v.lower, v.upper})
            connect(e, &QLineEdit::editingFinished, this, [this, k] { applyLimitInputs(k); });
    }
    auto* sideWidget = new QWidget(this);
    sideWidget->setLayout(side);
    sideWidget->setFixedWidth(270);

    auto* body = new QHBoxLayout;
    body->addWidget(chart_.plot(), 1);
    body->addWidget(sideWidget);
    auto* all = new QVBoxLayout(this);
    all->addLayout(top);
    all->addLayout(body, 1);
    resize(1020, 760);

    askFile_ = [this](FileAsk kind, std::function<void(const QString&)> done) { defaultAskFile(kind, std::move(done)); };
    showError_ = [this](const QString& text) { defaultShowError(text); };

    redrawTimer_.setSingleShot(true);
    redrawTimer_.setInterval(RedrawIntervalMs);
    connect(&redrawTimer_, &QTimer::timeout, this, &TrendWindow::timerRedraw);

    log_.setAllLimits(LoadTrendLimits(dataFolder_));
    for (int k = 0; k < 4; ++k) showLimitInputs(k);
    updateTitles();
    updateStats();
}

void TrendWindow::addCycle(const CycleRecord& record) {
    log_.add(record);
    chart_.appendLast(log_);
    scheduleRedraw();
}

void TrendWindow::setItems(const MeasItemArray& items) {
    log_.setItems(items);
    updateTitles();
    scheduleRedraw();
}

void TrendWindow::clear() {
    log_.clear();
    source_->clear();
    chart_.invalidate();
    scheduleRedraw();
}

QString TrendWindow::loadLogFile(const QString& path) {
    // Read into a series of its own (it keeps the last points only, so the
    // file's size does not matter); the shown one changes only for a log.
    TrendLog loaded;
    loaded.setAllLimits(log_.allLimits());
    const LogScan scan = ScanLogFile(path, [&](const CycleRecord& c) { loaded.add(c); });
    if (!scan.ok()) return scan.error;
    loaded.setItems(scan.items);
    log_ = std::move(loaded);
    source_->setText(QFileInfo(path).fileName());
    updateTitles();
    chart_.invalidate();
    redrawNow();
    return scan.skippedText();
}

QString TrendWindow::exportPng(const QString& path) {
    redrawNow();
    if (!chart_.plot()->savePng(path))
        return tr("画像ファイル %1 に書けません").arg(QDir::toNativeSeparators(path));
    return QString();
}

QString TrendWindow::exportStatsCsv(const QString& path) { return WriteStatsCsv(log_, path); }

void TrendWindow::setLimits(int slot, std::optional<double> lower, std::optional<double> upper) {
    const bool changed = !(log_.limits(slot) == SlotLimits{lower, upper});
    log_.setLimits(slot, lower, upper);
    showLimitInputs(slot);
    if (!changed) return;
    chart_.invalidate();
    scheduleRedraw();
    reportIfError(SaveTrendLimits(dataFolder_, log_.allLimits()));
}

void TrendWindow::setXAxis(TrendXAxis x) {
    if (x == chart_.xAxis()) return;
    chart_.setXAxis(x);
    const QSignalBlocker block(pcTime_);
    pcTime_->setChecked(x == TrendXAxis::PcTime);
    scheduleRedraw();
}

void TrendWindow::redrawNow() {
    redrawTimer_.stop();
    chart_.redraw(log_, true);
    updateStats();
}

void TrendWindow::scheduleRedraw() {
    if (!redrawTimer_.isActive()) redrawTimer_.start();
}

void TrendWindow::timerRedraw() {
    if (!isVisible()) return;  // showEvent draws what is pending
    chart_.redraw(log_, false);
    updateStats();
}

void TrendWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    scheduleRedraw();
}

void TrendWindow::closeEvent(QCloseEvent* event) {
    hide();
    event->ignore();
}

void TrendWindow::updateTitles() {
    std::array<QString, 4> titles;
    for (int k = 0; k < 4; ++k) {
        titles[size_t(k)] = log_.title(k);
        views_[size_t(k)].box->setTitle(titles[size_t(k)]);
    }
    chart_.setTitles(titles);
}

QString TrendWindow::statsText(int slot) const {
    const RunningStats& s = log_.stats(slot);
    QString outside = tr("範囲外 -");
    if (log_.limits(slot).any()) {
        const int64_t n = log_.outsideCount(slot), of = log_.outsideChecked(slot);
        outside = tr("範囲外 %1 / %2").arg(n).arg(of);
        if (of > 0) outside += QStringLiteral(" (%1 %)").arg(QString::number(100.0 * double(n) / double(of), 'f', 1));
    }
    return tr("数 %1   値なし %2\n最新 %3\n最小 %4\n最大 %5\n平均 %6\n標準偏差 %7\n%8")
        .arg(s.count())
        .arg(s.noValueCount())
        .arg(Num(s.last()), Num(s.min()), Num(s.max()), Num(s.mean()), Num(s.sd()), outside);
}

void TrendWindow::updateStats() {
    for (int k = 0; k < 4; ++k) {
        const QString text = statsText(k);
        if (views_[size_t(k)].stats->text() != text) views_[size_t(k)].stats->setText(text);
    }
}

void TrendWindow::applyLimitInputs(int slot) {
    SlotView& v = views_[size_t(slot)];
    std::optional<double> values[2];
    bool ok = true;
    QLineEdit* edits[2] = {v.lower, v.upper};
    for (int side = 0; side < 2; ++side) {
        const QString text = edits[side]->text().trimmed();
        if (text.isEmpty()) continue;
        values[side] = LogCellValue(text);
        const bool good = values[side].has_value();
        edits[side]->setStyleSheet(good ? QString() : QString::fromLatin1(InvalidStyle));
        ok = ok && good;
    }
    if (!ok) return;  // the marked input keeps the old limit until it is corrected
    setLimits(slot, values[0], values[1]);
}

void TrendWindow::showLimitInputs(int slot) {
    SlotView& v = views_[size_t(slot)];
    const SlotLimits& l = log_.limits(slot);
    v.lower->setText(LimitText(l.lower));
    v.upper->setText(LimitText(l.upper));
    v.lower->setStyleSheet(QString());
    v.upper->setStyleSheet(QString());
}

void TrendWindow::reportIfError(const QString& error) {
    if (!error.isEmpty() && showError_) showError_(error);
}

void TrendWindow::askOpenLog() {
    askFile_(FileAsk::OpenLog, [this](const QString& path) {
        if (!path.isEmpty()) reportIfError(loadLogFile(path));
    });
}

void TrendWindow::askExportPng() {
    askFile_(FileAsk::SavePng, [this](const QString& path) {
        if (!path.isEmpty()) reportIfError(exportPng(path));
    });
}

void TrendWindow::askExportStatsCsv() {
    askFile_(FileAsk::SaveStatsCsv, [this](const QString& path) {
        if (!path.isEmpty()) reportIfError(exportStatsCsv(path));
    });
}

void TrendWindow::defaultAskFile(FileAsk kind, std::function<void(const QString&)> done) {
    const bool save = kind != FileAsk::OpenLog;
    QString title = tr("ログファイルを開く"), filter = tr("ログファイル (*_AM_LOG.csv);;CSV (*.csv);;すべて (*)");
    QString suffix;
    if (kind == FileAsk::SavePng) {
        title = tr("トレンドの画像を保存");
        filter = QStringLiteral("PNG (*.png)");
        suffix = QStringLiteral("png");
    } else if (kind == FileAsk::SaveStatsCsv) {
        title = tr("統計を CSV で保存");
        filter = QStringLiteral("CSV (*.csv)");
        suffix = QStringLiteral("csv");
    }
    auto* dialog = new QFileDialog(this, title, lastFolder_, filter);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog->setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (save) dialog->setDefaultSuffix(suffix);
    connect(dialog, &QFileDialog::fileSelected, this, [this, done](const QString& file) {
        lastFolder_ = QFileInfo(file).absolutePath();
        done(file);
    });
    FitFileDialog(*dialog);
    dialog->open();
}

void TrendWindow::defaultShowError(const QString& text) {
    auto* box = new QMessageBox(QMessageBox::Warning, tr("トレンド"), text, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

}  // namespace qm
