#include "view/MainForm.h"

#include "engine/run/Questions.h"
#include "engine/run/Session.h"
#include "engine/settings/ProgramSettings.h"
#include "engine/text/AnsiText.h"
#include "engine/text/FileNames.h"
#include "view/AMLogForm.h"
#include "view/BoxQuestions.h"
#include "view/FolderDialog.h"
#include "view/StatusBar.h"
#include "view/Vb.h"
#include "view/VbCheckBox.h"
#include "view/WaveForm.h"
#include "view/WindowPlaces.h"
#include "view/trend/TrendWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>

namespace {
// Longest gap between a change and its repaint; at most ~30 repaints a second.
constexpr int kRepaintMs = 33;
}  // namespace

MainForm::MainForm(Session& session, const AppOptions& options, QWidget* parent)
    : QMainWindow(parent), session_(session), options_(options) {
    repaint_ = new QTimer(this);
    repaint_->setSingleShot(true);
    repaint_->setInterval(kRepaintMs);
    connect(repaint_, &QTimer::timeout, this, &MainForm::ApplyPending);
    waitTick_ = new QTimer(this);
    waitTick_->setSingleShot(true);
    waitTick_->setTimerType(Qt::PreciseTimer);
    connect(waitTick_, &QTimer::timeout, this, &MainForm::ShowWait);
    BuildLayout();
    Form_Load();
    if (options_.assumeYes) ownQuestions_ = std::make_unique<AutoQuestions>();
    else ownQuestions_ = std::make_unique<BoxQuestions>(this);
    questions_ = ownQuestions_.get();

    connect(&session_, &Session::runStarted, this, &MainForm::OnRunStarted);
    connect(&session_, &Session::repeatCountLimited, this, [this](const QString& t) { TRound->setText(t); });
    connect(&session_, &Session::measItemsRead, this, [this](const MeasItemArray& items) {
        pendingItems_ = items;
        ScheduleRepaint();
    });
    connect(&session_, &Session::cycleLogged, this, [this](const CycleRecord& r) {
        pendingRecords_ << r;
        ScheduleRepaint();
    });
    connect(&session_, &Session::screenForDisplay, this, [this](const QByteArray& image) {
        pendingScreen_ = image;
        ScheduleRepaint();
    });
    connect(&session_, &Session::statusChanged, this, &MainForm::ShowStatus);
    connect(&session_, &Session::progressChanged, this, [this](int v) {
        pendingProgress_ = v;
        ScheduleRepaint();
    });
    connect(&session_, &Session::cycleNumberChanged, this, [this](int next) {
        pendingCycle_ = next;
        ScheduleRepaint();
    });
    connect(&session_, &Session::waitChanged, this, &MainForm::OnWaitChanged);
    connect(&session_, &Session::runFinished, this, &MainForm::OnRunFinished);
    connect(&LogForm(), &AMLogForm::trendRequested, this, &MainForm::ShowTrend);
    PushLiveSettings();
}

MainForm::~MainForm() {
    // The other windows are top-level windows of their own.
    delete logForm_.data();
    delete screenForm_.data();
    delete trend_.data();
}

TrendWindow& MainForm::Trend() {
    if (!trend_) {
        trend_ = new TrendWindow(appFolder_);
        trend_->setAttribute(Qt::WA_QuitOnClose, false);
        if (places_) places_->watch(*trend_);
    }
    return *trend_;
}

void MainForm::BuildLayout() {
    setWindowTitle(QStringLiteral("Quillmeter"));
    setObjectName(QStringLiteral("MainForm"));
    auto* central = new QWidget(this);
    auto* top = new QVBoxLayout(central);

    Operation = new QGroupBox(QStringLiteral("操作"), central);
    auto* op = new QGridLayout(Operation);
    AMLogOn = new VbCheckBox(QStringLiteral("自動測定ログ"), Operation);
    ManualCheck = new VbCheckBox(QStringLiteral("マニュアル継続"), Operation);
    TransOnly = new QPushButton(QStringLiteral("波形転送"), Operation);
    WaveSaveCheck = new VbCheckBox(QStringLiteral("CSV波形格納"), Operation);
    DSScreenDispCheck = new VbCheckBox(QStringLiteral("DS画面表示"), Operation);
    DSScreenSaveCheck = new VbCheckBox(QStringLiteral("DS画面格納"), Operation);
    INVCheck = new VbCheckBox(QStringLiteral("INVなし"), Operation);
    Clear = new QPushButton(QStringLiteral("クリア"), Operation);
    WaveTransfer = new QPushButton(QStringLiteral("測定開始"), Operation);
    StopAcqusition = new QPushButton(QStringLiteral("測定中断"), Operation);
    WaitTimeF = new QGroupBox(QStringLiteral("繰返間隔(s)"), Operation);
    LoopInterval = new QLineEdit(QStringLiteral("0.1"), WaitTimeF);
    (new QHBoxLayout(WaitTimeF))->addWidget(LoopInterval);
    TCountF = new QGroupBox(QStringLiteral("繰返回数(<10000)"), Operation);
    TRound = new QLineEdit(QStringLiteral("1000"), TCountF);
    CLoopCount = new QLabel(QStringLiteral("1/"), TCountF);
    auto* tc = new QHBoxLayout(TCountF);
    tc->addWidget(CLoopCount);
    tc->addWidget(TRound, 1);
    op->addWidget(AMLogOn, 0, 0);
    op->addWidget(ManualCheck, 0, 1);
    op->addWidget(TransOnly, 0, 2);
    op->addWidget(DSScreenDispCheck, 1, 0);
    op->addWidget(DSScreenSaveCheck, 1, 1);
    op->addWidget(WaveSaveCheck, 1, 2);
    op->addWidget(INVCheck, 2, 2);
    op->addWidget(WaitTimeF, 2, 0);
    op->addWidget(TCountF, 2, 1);
    op->addWidget(Clear, 3, 0);
    op->addWidget(WaveTransfer, 3, 1);
    op->addWidget(StopAcqusition, 3, 2);
    TransOnly->setVisible(false);
    WaveSaveCheck->setVisible(false);
    INVCheck->setVisible(false);
    StopAcqusition->setEnabled(false);

    FileSelF = new QGroupBox(QStringLiteral("ファイル選択"), central);
    auto* fs = new QGridLayout(FileSelF);
    SetFileFolder = new QPushButton(QStringLiteral("ファイル選択"), FileSelF);
    FolderL = new QLabel(QStringLiteral("フォルダ"), FileSelF);
    FFolder = new QLineEdit(FileSelF);
    FNameL = new QLabel(QStringLiteral("名称ヘッダ"), FileSelF);
    FHeadder = new QLineEdit(QStringLiteral("Sample"), FileSelF);
    fs->addWidget(FolderL, 0, 0);
    fs->addWidget(FFolder, 0, 1);
    fs->addWidget(SetFileFolder, 0, 2);
    fs->addWidget(FNameL, 1, 0);
    fs->addWidget(FHeadder, 1, 1);

    IPADress = new QGroupBox(QStringLiteral("装置"), central);
    auto* ip = new QHBoxLayout(IPADress);
    IFCheck = new VbCheckBox(QStringLiteral("USB"), IPADress);
    ComList = new QComboBox(IPADress);
    ComList->setEditable(true);
    for (int n = 1; n <= 16; ++n) ComList->addItem(QStringLiteral("COM%1").arg(n));
    ComList->setCurrentIndex(1);  // "COM2"
    IPAddressL = new QLabel(QStringLiteral("IPｱﾄﾞﾚｽ"), IPADress);
    IPAdressText = new QLineEdit(QStringLiteral("192.168.1.1"), IPADress);
    ip->addWidget(IFCheck);
    ip->addWidget(ComList);
    ip->addWidget(IPAddressL);
    ip->addWidget(IPAdressText, 1);

    ProgressBar1 = new QProgressBar(central);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);

    top->addWidget(Operation);
    top->addWidget(FileSelF);
    top->addWidget(IPADress);
    top->addWidget(ProgressBar1);
    setCentralWidget(central);

    StatusBar1 = new StatusBar(this);
    setStatusBar(StatusBar1);

    // 設定 > 表示にも PNG を使う: the display takes the screen as PNG (one
    // transfer a cycle when saving too; for slow serial links).
    SettingsMenu = menuBar()->addMenu(QStringLiteral("設定"));
    SettingsMenu->setObjectName(QStringLiteral("SettingsMenu"));
    ScreenPngAction = SettingsMenu->addAction(QStringLiteral("表示にも PNG を使う"));
    ScreenPngAction->setObjectName(QStringLiteral("ScreenPngAction"));
    ScreenPngAction->setCheckable(true);

    // Design-time check states.
    ManualCheck->SetValue(1);
    DSScreenDispCheck->SetValue(1);
    WaveSaveCheck->SetValue(1);
    INVCheck->SetValue(1);

    // Names for lookup (tests, accessibility).
    const std::pair<QObject*, const char*> names[] = {
        {Operation, "Operation"}, {AMLogOn, "AMLogOn"}, {ManualCheck, "ManualCheck"}, {TransOnly, "TransOnly"},
        {WaveSaveCheck, "WaveSaveCheck"}, {DSScreenDispCheck, "DSScreenDispCheck"},
        {DSScreenSaveCheck, "DSScreenSaveCheck"}, {INVCheck, "INVCheck"}, {Clear, "Clear"},
        {WaveTransfer, "WaveTransfer"}, {StopAcqusition, "StopAcqusition"}, {WaitTimeF, "WaitTimeF"},
        {LoopInterval, "LoopInterval"}, {TCountF, "TCountF"}, {TRound, "TRound"}, {CLoopCount, "CLoopCount"},
        {FileSelF, "FileSelF"}, {SetFileFolder, "SetFileFolder"}, {FolderL, "FolderL"}, {FFolder, "FFolder"},
        {FNameL, "FNameL"}, {FHeadder, "FHeadder"}, {IPADress, "IPADress"}, {IFCheck, "IFCheck"},
        {ComList, "ComList"}, {IPAddressL, "IPAddressL"}, {IPAdressText, "IPAdressText"},
        {StatusBar1, "StatusBar1"}, {ProgressBar1, "ProgressBar1"}};
    for (const auto& [o, n] : names) o->setObjectName(QLatin1String(n));

    connect(WaveTransfer, &QPushButton::clicked, this, [this] { WaveTransfer_Click(false); });
    connect(TransOnly, &QPushButton::clicked, this, [this] { WaveTransfer_Click(true); });
    connect(StopAcqusition, &QPushButton::clicked, this, [this] { StopAcqusition_Click(); });
    connect(Clear, &QPushButton::clicked, this, [this] { Clear_Click(); });
    connect(SetFileFolder, &QPushButton::clicked, this, [this] { SetFileFolder_Click(); });
    connect(AMLogOn, &VbCheckBox::Click, this, [this] { AMLogOn_Click(); });
    connect(DSScreenDispCheck, &VbCheckBox::Click, this, [this] { DSScreenDispCheck_Click(); });
    // The run reads these at its own points: keep its copy current.
    for (VbCheckBox* box : {AMLogOn, ManualCheck, WaveSaveCheck, DSScreenDispCheck, DSScreenSaveCheck})
        connect(box, &QCheckBox::stateChanged, this, [this] { PushLiveSettings(); });
    for (QLineEdit* edit : {LoopInterval, FFolder, FHeadder})
        connect(edit, &QLineEdit::textChanged, this, [this] { PushLiveSettings(); });
    // Narrower than the log window, which sits under it, so that the screen
    // window (placed at the log window's width) does not cover it.
    resize(500, 400);
}

void MainForm::ApplyResumeField(ResumeField field, const ResumeSettings& s) {
    switch (field) {
    case ResumeField::IpAddress: IPAdressText->setText(s.ipAddress); break;
    case ResumeField::UsbCheck: IFCheck->SetValue(s.usbCheck); break;
    case ResumeField::ComIndex:
        ComList->setCurrentIndex(s.comIndex);
        // The edit field follows the index: no entry shows an empty field.
        ComList->setEditText(s.comIndex < 0 ? QString() : ComList->itemText(s.comIndex));
        break;
    case ResumeField::Repeat: TRound->setText(s.repeat); break;
    case ResumeField::Interval: LoopInterval->setText(s.interval); break;
    case ResumeField::Folder: FFolder->setText(s.folder); break;
    case ResumeField::Header: FHeadder->setText(s.header); break;
    case ResumeField::WaveSave: WaveSaveCheck->SetValue(s.waveSave); break;
    case ResumeField::ScreenShow: DSScreenDispCheck->SetValue(s.screenShow); break;
    case ResumeField::ScreenSave: DSScreenSaveCheck->SetValue(s.screenSave); break;
    case ResumeField::InvCheck: INVCheck->SetValue(s.invCheck); break;
    case ResumeField::Manual: ManualCheck->SetValue(s.manual); break;
    case ResumeField::LogOn: AMLogOn->SetValue(s.logOn); break;
    }
}

ResumeSettings MainForm::CurrentSettings() const {
    ResumeSettings s;
    s.ipAddress = IPAdressText->text();
    s.usbCheck = IFCheck->Value();
    s.comIndex = ComList->findText(ComList->currentText());
    s.repeat = TRound->text();
    s.interval = LoopInterval->text();
    s.folder = FFolder->text();
    s.header = FHeadder->text();
    s.waveSave = WaveSaveCheck->Value();
    s.screenShow = DSScreenDispCheck->Value();
    s.screenSave = DSScreenSaveCheck->Value();
    s.invCheck = INVCheck->Value();
    s.manual = ManualCheck->Value();
    s.logOn = AMLogOn->Value();
    return s;
}

void MainForm::Form_Load() {
    setWindowTitle(QStringLiteral("Quillmeter") + QStringLiteral("(Ver") + kVersionTag.mid(0, 1) + QStringLiteral(".") +
                   kVersionTag.mid(1, 2) + QStringLiteral(")"));
    TCountF->setTitle(QStringLiteral("繰返回数(≦") + QString::number(10000) + QStringLiteral(")"));
    const QString dir = options_.dataDir.isEmpty() ? DefaultDataDir() : options_.dataDir;
    QDir().mkpath(dir);
    appFolder_ = QDir::toNativeSeparators(QDir(dir).absolutePath());
    QDir::setCurrent(appFolder_);
    QDir(appFolder_).mkpath(QStringLiteral("Data"));
    places_ = new WindowPlaces(appFolder_, this);
    places_->watch(*this);

    // The settings come back line by line, each as if set in its control.
    // A damaged file is copied aside before anything may replace it; a text
    // value that could not be read keeps its control's value.
    ResumeSettings s = CurrentSettings();
    const ResumeLoad load = LoadResumeFile(ResumeFileName(appFolder_), s);
    for (int k = 0; k < load.applied; ++k) ApplyResumeField(ResumeField(k), s);
    savedSettings_ = CurrentSettings();
    const DamagedResume damaged = KeepDamagedResumeFile(ResumeFileName(appFolder_), load);
    resumeMayReplace_ = damaged.mayReplace;
    if (!damaged.warning.isEmpty()) {
        ShowStatus(damaged.warning);
        if (options_.assumeYes) std::fprintf(stderr, "%s\n", damaged.warning.toUtf8().constData());
    }

    // The log window shows at start only when 自動測定ログ is ticked (by the
    // command line below).
    ClearLog();
    ResumeSettings defaults = CurrentSettings();
    ApplyStartDefaults(defaults, appFolder_, options_.waveform);
    FFolder->setText(defaults.folder);
    INVCheck->SetValue(defaults.invCheck);
    if (options_.waveform) {
        TransOnly->setVisible(true);
        WaveSaveCheck->setVisible(true);
    }
    WaveSaveCheck->SetValue(defaults.waveSave);

    // The program's own settings; --screen-png ticks its box for this start only.
    screenPngKept_ = qm::LoadProgramSettings(appFolder_).screenPngForDisplay;
    ScreenPngAction->setChecked(screenPngKept_ || options_.screenPng);

    // Settings from the command line, as if typed in, for this start only.
    ResumeSettings given = CurrentSettings();
    options_.settings.applyTo(given);
    for (ResumeField field : options_.settings.fields()) ApplyResumeField(field, given);
}

void MainForm::UseDemoInstrument(quint16 port) {
    // For this start only, as --address: the resume file keeps the real
    // instrument's interface and address.
    options_.tcpPort = port;
    options_.settings.com.reset();
    options_.settings.address = QStringLiteral("127.0.0.1");
    IFCheck->SetValue(0);
    IPAdressText->setText(QStringLiteral("127.0.0.1"));
    ShowStatus(QStringLiteral("模擬装置: 127.0.0.1:%1").arg(port));
}

void MainForm::Form_Unload() {
    if (unloaded_) return;
    unloaded_ = true;
    ResumeSettings toSave = CurrentSettings();
    options_.settings.revert(toSave, savedSettings_);
    const QString error = resumeMayReplace_ ? SaveResumeFile(ResumeFileName(appFolder_), toSave)
                                            : QStringLiteral("壊れたファイルの控えがありません");
    if (!error.isEmpty()) {
        writeFailed_ = true;
        const QString text = QStringLiteral("設定ファイル %1 を保存できません: %2")
                                 .arg(QDir::toNativeSeparators(ResumeFileName(appFolder_)), error);
        ShowStatus(text);
        std::fprintf(stderr, "%s\n", text.toUtf8().constData());
        if (!options_.assumeYes && isVisible()) QMessageBox::warning(this, kConfirmTitle, text);
    }
    // Where the windows are, for the next start; a failure costs only that.
    if (const QString placesError = places_->save(); !placesError.isEmpty()) {
        ShowStatus(placesError);
        std::fprintf(stderr, "%s\n", placesError.toUtf8().constData());
    }
    // 表示にも PNG を使う when changed, unless --screen-png set it for this start only.
    const bool png = ScreenPngAction->isChecked();
    if (const QString pngError = options_.screenPng || png == screenPngKept_ ? QString() : qm::SaveScreenPngForDisplay(appFolder_, png);
        !pngError.isEmpty()) {
        ShowStatus(pngError);
        std::fprintf(stderr, "%s\n", pngError.toUtf8().constData());
    }
    // A run that waits somewhere gives up at once and writes nothing more;
    // the link's pending output goes out before it closes.
    session_.shutdown();
    if (logForm_) logForm_->hide();
    if (screenForm_) screenForm_->hide();
    if (trend_) trend_->hide();
    emit FormUnloaded();
    if (options_.quitOnUnload) {
        const int code = ExitCodeFor(lastOutcome_, writeFailed_);
        QTimer::singleShot(0, qApp, [code] { QCoreApplication::exit(code); });
    }
}

void MainForm::closeEvent(QCloseEvent* e) {
    Form_Unload();
    e->accept();
}

AMLogForm& MainForm::LogForm() {
    if (!logForm_) {
        logForm_ = new AMLogForm();
        if (places_) places_->watch(*logForm_);
    }
    return *logForm_;
}

WaveForm& MainForm::ScreenForm() {
    if (!screenForm_) {
        screenForm_ = new WaveForm();
        connect(screenForm_, &WaveForm::Unloaded, this, [this] { DSScreenDispCheck->SetValue(0); });
        if (places_) places_->watch(*screenForm_);
    }
    return *screenForm_;
}

bool MainForm::RunActive() const { return session_.active(); }

void MainForm::StartRun() { WaveTransfer_Click(false); }
void MainForm::StartTransferOnly() { WaveTransfer_Click(true); }
void MainForm::StopRun() {
    if (StopAcqusition->isEnabled()) StopAcqusition_Click();
}

RunRequest MainForm::MakeRequest(bool transferOnly) const {
    RunRequest r;
    r.serial = IFCheck->Value() == 1;
    r.address = IPAdressText->text();
    r.tcpPort = quint16(options_.tcpPort);
    r.comText = ComList->currentText();
    r.transferOnly = transferOnly;
    r.repeatText = TRound->text();
    r.invCheckOn = INVCheck->IsOn();
    r.dataFolder = appFolder_;
    r.reconnectMinutes = options_.reconnectMinutes;
    r.screenPngForDisplay = ScreenPngAction->isChecked();
    return r;
}

void MainForm::PushLiveSettings() {
    LiveValues v;
    v.log = AMLogOn->IsOn();
    v.waveSave = WaveSaveCheck->IsOn();
    v.screenShow = DSScreenDispCheck->IsOn();
    v.screenSave = DSScreenSaveCheck->IsOn();
    v.manual = ManualCheck->IsOn();
    v.intervalText = LoopInterval->text();
    v.folder = FFolder->text();
    v.header = FHeadder->text();
    // A run checked its folder and header when it started; one typed while it
    // goes on is taken only when usable, else the run keeps the last one.
    if (session_.active()) {
        if (const QString problem = qm::OutputNameProblem(v.folder, v.header); !problem.isEmpty()) {
            const LiveValues running = session_.live().get();
            v.folder = running.folder;
            v.header = running.header;
            if (problem != std::exchange(liveNameProblem_, problem)) ShowStatus(problem);
        } else {
            liveNameProblem_.clear();
        }
    }
    session_.live().set(v);
}

void MainForm::WaveTransfer_Click(bool transferOnly) {
    if (session_.active()) return;  // one run at a time
    PushLiveSettings();
    if (!session_.start(MakeRequest(transferOnly), *questions_)) return;
    transferOnlyRun_ = transferOnly;
    if (transferOnly) TransOnly->setEnabled(false);
}

void MainForm::OnRunStarted(const RunStartInfo&) {
    StopAcqusition->setEnabled(true);
    WaveTransfer->setEnabled(false);
    Clear->setEnabled(false);
    // The screen window sits beside the log window, right of the main window,
    // until it has a place of its own.
    if (!places_->placed(ScreenForm())) {
        const QRect main = frameGeometry();
        ScreenForm().move(main.left() + LogForm().frameGeometry().width(), main.top());
    }
}

void MainForm::OnRunFinished(const RunEndInfo& end) {
    ApplyPending();
    wait_ = {};
    ShowWait();
    lastOutcome_ = end.outcome;
    writeFailed_ = end.writeFailures > 0;
    if (end.outcome != RunOutcome::Aborted && !unloaded_) {
        WaveTransfer->setEnabled(true);
        StopAcqusition->setEnabled(false);
        Clear->setEnabled(true);
        if (transferOnlyRun_) TransOnly->setEnabled(true);
        if (!end.message.isEmpty()) {
            if (options_.assumeYes) {
                std::fprintf(stderr, "%s\n", end.message.toUtf8().constData());
            } else {
                auto* box = new QMessageBox(QMessageBox::Warning, kConfirmTitle, end.message, QMessageBox::Ok, this);
                box->setAttribute(Qt::WA_DeleteOnClose);
                box->open();
            }
        }
    }
    transferOnlyRun_ = false;
    emit RunFinished(end.outcome);
}

void MainForm::StopAcqusition_Click() {
    StopAcqusition->setEnabled(false);
    session_.stop();
}

void MainForm::Clear_Click() {
    ClearLog();
    LogForm().show();
}

void MainForm::ClearLog() {
    session_.clear();
    CLoopCount->setText(QString::number(session_.cycleNo()) + QStringLiteral("/"));
    screenShown_ = false;
    screenImage_.clear();
    pendingRecords_.clear();
    LogForm().ResetGrid();
    if (trend_) trend_->clear();
}

void MainForm::PlaceLogForm() {
    if (places_->placed(LogForm())) return;
    const QRect main = frameGeometry();
    LogForm().move(main.left(), main.top() + main.height());
}

void MainForm::showEvent(QShowEvent* e) {
    QMainWindow::showEvent(e);
    // --log showed the log window before this window had its place; put it
    // under this window once that is known (unless it has a place kept from
    // the last start).
    if (!placed_) {
        placed_ = true;
        QTimer::singleShot(0, this, [this] {
            if (logForm_ && logForm_->isVisible() && !places_->kept(*logForm_)) {
                const QRect main = frameGeometry();
                logForm_->move(main.left(), main.top() + main.height());
            }
            if (options_.trend) ShowTrend();
        });
    }
}

void MainForm::ShowTrend() {
    TrendWindow& trend = Trend();
    if (!places_->placed(trend))
        PlaceBeside(trend, logForm_ && logForm_->isVisible() ? logForm_->frameGeometry() : frameGeometry());
    trend.show();
    trend.raise();
}

void MainForm::AMLogOn_Click() {
    if (AMLogOn->IsOn()) {
        PlaceLogForm();
        LogForm().show();
    } else if (logForm_) {
        logForm_->hide();
    }
}

void MainForm::DSScreenDispCheck_Click() {
    const bool on = DSScreenDispCheck->IsOn();
    if (!on && !screenForm_) return;
    WaveForm& w = ScreenForm();
    if (!on) {
        w.hide();
        return;
    }
    if (!places_->placed(w)) {
        const QRect main = frameGeometry();
        w.move(main.left() + LogForm().frameGeometry().width(), main.top());
    }
    w.show();
    w.LoadPictureBytes(screenShown_ ? screenImage_ : QByteArray());
}

void MainForm::SetFileFolder_Click() {
    if (!fileDialog_) {
        if (!ownDialog_) ownDialog_ = std::make_unique<QtSaveFileDialog>(this);
        fileDialog_ = ownDialog_.get();
    }
    ::SetFileFolder_Click(*fileDialog_, *FFolder, *FHeadder, appFolder_, [this](const QString& t) { ShowStatus(t); });
}

void MainForm::OnWaitChanged(const RunWait& wait) {
    wait_ = wait;
    // Nothing is being transferred while the run waits.
    if (wait_.kind != RunWait::Kind::None) {
        pendingProgress_ = 0;
        ScheduleRepaint();
    }
    ShowWait();
}

void MainForm::ShowWait() {
    waitTick_->stop();
    QString text;
    switch (wait_.kind) {
    case RunWait::Kind::None: break;
    case RunWait::Kind::Question: text = QStringLiteral("確認待ち"); break;
    case RunWait::Kind::Interval: {
        // Whole seconds left, rounded up; the next tick comes when the count
        // drops by one.
        const qint64 left = QDateTime::currentDateTime().msecsTo(wait_.nextStart);
        const qint64 seconds = left > 0 ? (left + 999) / 1000 : 0;
        text = QStringLiteral("次の測定まで %1 秒").arg(seconds);
        if (seconds > 0) waitTick_->start(int(std::clamp<qint64>(left - (seconds - 1) * 1000, 1, 1000)));
        break;
    }
    }
    StatusBar1->SetPanelText(StatusBar::WaitPanel, text);
}

void MainForm::ShowStatus(const QString& text) {
    if (options_.echoStatus) {
        std::fprintf(stdout, "%s\n", text.toUtf8().constData());
        std::fflush(stdout);
    }
    emit statusShown(text);
    pendingStatus_ = text;
    ScheduleRepaint();
}

void MainForm::ScheduleRepaint() {
    if (!repaint_->isActive()) repaint_->start();
}

void MainForm::ApplyPending() {
    repaint_->stop();
    if (pendingStatus_) StatusBar1->SetPanelText(1, *std::exchange(pendingStatus_, std::nullopt));
    if (pendingProgress_) ProgressBar1->setValue(*std::exchange(pendingProgress_, std::nullopt));
    if (pendingCycle_) CLoopCount->setText(QString::number(*std::exchange(pendingCycle_, std::nullopt)) + QStringLiteral("/"));
    if (pendingItems_) {
        LogForm().SetItems(*pendingItems_);
        Trend().setItems(*std::exchange(pendingItems_, std::nullopt));
    }
    if (!pendingRecords_.isEmpty()) {
        AMLogForm& log = LogForm();
        TrendWindow& trend = Trend();
        for (const CycleRecord& r : std::exchange(pendingRecords_, {})) {
            log.AddRecord(r);
            trend.addCycle(r);
        }
    }
    if (pendingScreen_) {
        screenImage_ = *std::exchange(pendingScreen_, std::nullopt);
        screenShown_ = true;
        WaveForm& w = ScreenForm();
        w.show();
        w.LoadPictureBytes(screenImage_);
    }
}
