#include "view/MainForm.h"

#include "engine/run/Questions.h"
#include "engine/run/Session.h"
#include "engine/settings/DataFolder.h"
#include "engine/settings/ProgramSettings.h"
#include "engine/text/FileNames.h"
#include "view/AMLogForm.h"
#include "view/BoxQuestions.h"
#include "view/FolderDialog.h"
#include "view/StatusBar.h"
#include "view/WaveForm.h"
#include "view/WindowPlaces.h"
#include "view/trend/TrendWindow.h"

#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
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

namespace qm {

namespace {
// Longest gap between a change and its repaint; at most ~30 repaints a second.
constexpr int kRepaintMs = 33;
// The serial ports the list offers: COM1 .. COM16.
constexpr int kComPorts = 16;

void PrintLine(FILE* stream, const QString& text) {
    std::fprintf(stream, "%s\n", text.toUtf8().constData());
    std::fflush(stream);
}
}  // namespace

MainForm::MainForm(Session& session, const ViewOptions& options, const ViewSettings& settings, QWidget* parent)
    : QMainWindow(parent), session_(session), options_(options), givenControls_(settings.controls) {
    repaint_ = new QTimer(this);
    repaint_->setSingleShot(true);
    repaint_->setInterval(kRepaintMs);
    connect(repaint_, &QTimer::timeout, this, &MainForm::applyPending);
    waitTick_ = new QTimer(this);
    waitTick_->setSingleShot(true);
    waitTick_->setTimerType(Qt::PreciseTimer);
    connect(waitTick_, &QTimer::timeout, this, &MainForm::showWait);
    buildLayout();
    places_ = new WindowPlaces(settings.windowPlaces, this);
    places_->watch(*this);
    // The log window shows at start only when 自動測定ログ is ticked.
    clearLog();
    connectControls();

    // The settings, each as if set in its control.
    applyControls(settings.controls);
    screenPngAction_->setChecked(settings.screenPngForDisplay);
    transferOnlyButton_->setVisible(options_.waveform);
    waveSaveCheck_->setVisible(options_.waveform);
    // A check line that was grey stays so in the file until its box changes.
    const std::pair<QCheckBox*, ResumeField> checks[] = {
        {usbCheck_, ResumeField::UsbCheck},       {waveSaveCheck_, ResumeField::WaveSave},
        {screenShowCheck_, ResumeField::ScreenShow}, {screenSaveCheck_, ResumeField::ScreenSave},
        {invCheck_, ResumeField::InvCheck},       {manualCheck_, ResumeField::Manual},
        {logCheck_, ResumeField::LogOn}};
    for (const auto& [box, field] : checks)
        connect(box, &QCheckBox::toggled, this, [this, field = field] { givenControls_.setGreyed(field, false); });

    if (options_.assumeYes) ownQuestions_ = std::make_unique<AutoQuestions>();
    else ownQuestions_ = std::make_unique<BoxQuestions>(this);
    questions_ = ownQuestions_.get();

    connect(&session_, &Session::runStarted, this, &MainForm::onRunStarted);
    connect(&session_, &Session::repeatCountLimited, this, [this](const QString& t) { repeatEdit_->setText(t); });
    connect(&session_, &Session::measItemsRead, this, [this](const MeasItemArray& items) {
        pendingItems_ = items;
        scheduleRepaint();
    });
    connect(&session_, &Session::cycleLogged, this, [this](const CycleRecord& r) {
        pendingRecords_ << r;
        scheduleRepaint();
    });
    connect(&session_, &Session::screenForDisplay, this, [this](const QByteArray& image) {
        pendingScreen_ = image;
        scheduleRepaint();
    });
    connect(&session_, &Session::statusChanged, this, &MainForm::showStatus);
    connect(&session_, &Session::progressChanged, this, [this](int v) {
        pendingProgress_ = v;
        scheduleRepaint();
    });
    connect(&session_, &Session::cycleNumberChanged, this, [this](int next) {
        pendingCycle_ = next;
        scheduleRepaint();
    });
    connect(&session_, &Session::waitChanged, this, &MainForm::onWaitChanged);
    connect(&session_, &Session::runFinished, this, &MainForm::onRunFinished);
    connect(&logForm(), &AMLogForm::trendRequested, this, &MainForm::showTrend);
    pushLiveSettings();
}

MainForm::~MainForm() {
    // The other windows are top-level windows of their own.
    delete logForm_.data();
    delete screenForm_.data();
    delete trend_.data();
}

void MainForm::buildLayout() {
    setWindowTitle(QStringLiteral("Quillmeter(Ver%1)").arg(options_.programVersion));
    setObjectName(QStringLiteral("MainForm"));
    auto* central = new QWidget(this);
    auto* top = new QVBoxLayout(central);

    operationBox_ = new QGroupBox(tr("操作"), central);
    auto* op = new QGridLayout(operationBox_);
    logCheck_ = new QCheckBox(tr("自動測定ログ"), operationBox_);
    manualCheck_ = new QCheckBox(tr("マニュアル継続"), operationBox_);
    transferOnlyButton_ = new QPushButton(tr("波形転送"), operationBox_);
    waveSaveCheck_ = new QCheckBox(tr("CSV波形格納"), operationBox_);
    screenShowCheck_ = new QCheckBox(tr("DS画面表示"), operationBox_);
    screenSaveCheck_ = new QCheckBox(tr("DS画面格納"), operationBox_);
    invCheck_ = new QCheckBox(tr("INVなし"), operationBox_);
    clearButton_ = new QPushButton(tr("クリア"), operationBox_);
    startButton_ = new QPushButton(tr("測定開始"), operationBox_);
    stopButton_ = new QPushButton(tr("測定中断"), operationBox_);
    intervalBox_ = new QGroupBox(tr("繰返間隔(s)"), operationBox_);
    intervalEdit_ = new QLineEdit(QStringLiteral("0.1"), intervalBox_);
    (new QHBoxLayout(intervalBox_))->addWidget(intervalEdit_);
    repeatBox_ = new QGroupBox(tr("繰返回数(≦%1)").arg(10000), operationBox_);
    repeatEdit_ = new QLineEdit(QStringLiteral("1000"), repeatBox_);
    cycleLabel_ = new QLabel(QStringLiteral("1/"), repeatBox_);
    auto* tc = new QHBoxLayout(repeatBox_);
    tc->addWidget(cycleLabel_);
    tc->addWidget(repeatEdit_, 1);
    op->addWidget(logCheck_, 0, 0);
    op->addWidget(manualCheck_, 0, 1);
    op->addWidget(transferOnlyButton_, 0, 2);
    op->addWidget(screenShowCheck_, 1, 0);
    op->addWidget(screenSaveCheck_, 1, 1);
    op->addWidget(waveSaveCheck_, 1, 2);
    op->addWidget(invCheck_, 2, 2);
    op->addWidget(intervalBox_, 2, 0);
    op->addWidget(repeatBox_, 2, 1);
    op->addWidget(clearButton_, 3, 0);
    op->addWidget(startButton_, 3, 1);
    op->addWidget(stopButton_, 3, 2);
    transferOnlyButton_->setVisible(false);
    waveSaveCheck_->setVisible(false);
    invCheck_->setVisible(false);
    stopButton_->setEnabled(false);

    fileBox_ = new QGroupBox(tr("ファイル選択", "group box"), central);
    auto* fs = new QGridLayout(fileBox_);
    chooseFileButton_ = new QPushButton(tr("ファイル選択", "button"), fileBox_);
    folderLabel_ = new QLabel(tr("フォルダ"), fileBox_);
    folderEdit_ = new QLineEdit(fileBox_);
    headerLabel_ = new QLabel(tr("名称ヘッダ"), fileBox_);
    headerEdit_ = new QLineEdit(QStringLiteral("Sample"), fileBox_);
    fs->addWidget(folderLabel_, 0, 0);
    fs->addWidget(folderEdit_, 0, 1);
    fs->addWidget(chooseFileButton_, 0, 2);
    fs->addWidget(headerLabel_, 1, 0);
    fs->addWidget(headerEdit_, 1, 1);

    instrumentBox_ = new QGroupBox(tr("装置"), central);
    auto* ip = new QHBoxLayout(instrumentBox_);
    usbCheck_ = new QCheckBox(QStringLiteral("USB"), instrumentBox_);
    comList_ = new QComboBox(instrumentBox_);
    comList_->setEditable(true);
    for (int n = 1; n <= kComPorts; ++n) comList_->addItem(QStringLiteral("COM%1").arg(n));
    comList_->setCurrentIndex(1);  // "COM2"
    addressLabel_ = new QLabel(tr("IPｱﾄﾞﾚｽ"), instrumentBox_);
    addressEdit_ = new QLineEdit(QStringLiteral("192.168.1.1"), instrumentBox_);
    ip->addWidget(usbCheck_);
    ip->addWidget(comList_);
    ip->addWidget(addressLabel_);
    ip->addWidget(addressEdit_, 1);

    progressBar_ = new QProgressBar(central);
    progressBar_->setRange(0, 100);
    progressBar_->setValue(0);

    top->addWidget(operationBox_);
    top->addWidget(fileBox_);
    top->addWidget(instrumentBox_);
    top->addWidget(progressBar_);
    setCentralWidget(central);

    statusBar_ = new StatusBar(this);
    setStatusBar(statusBar_);

    // 設定 > 表示にも PNG を使う: the display takes the screen as PNG (one
    // transfer a cycle when saving too; for slow serial links).
    settingsMenu_ = menuBar()->addMenu(tr("設定"));
    settingsMenu_->setObjectName(QStringLiteral("SettingsMenu"));
    screenPngAction_ = settingsMenu_->addAction(tr("表示にも PNG を使う"));
    screenPngAction_->setObjectName(QStringLiteral("ScreenPngAction"));
    screenPngAction_->setCheckable(true);
    // 設定 > 言語: the choice is saved in Quillmeter.ini and applies from the
    // next start. Each language is named in itself.
    languageMenu_ = settingsMenu_->addMenu(tr("言語 (次の起動から)"));
    languageMenu_->setObjectName(QStringLiteral("LanguageMenu"));
    auto* languages = new QActionGroup(languageMenu_);
    for (const auto& [code, name] : {std::pair{"ja", "日本語"}, std::pair{"en", "English"}}) {
        QAction* a = languageMenu_->addAction(QString::fromUtf8(name));
        a->setObjectName(QStringLiteral("Language_%1").arg(QLatin1String(code)));
        a->setCheckable(true);
        a->setChecked(options_.language == QLatin1String(code));
        languages->addAction(a);
        connect(a, &QAction::triggered, this, [this, code = QString::fromLatin1(code)] {
            if (const QString error = SaveLanguage(options_.dataFolder, code); !error.isEmpty()) showStatusText(error);
            else showStatusText(tr("言語は次の起動から変わります"));
        });
    }

    // Design-time check states.
    manualCheck_->setChecked(true);
    screenShowCheck_->setChecked(true);
    waveSaveCheck_->setChecked(true);
    invCheck_->setChecked(true);

    // The design's names, for lookup (tests, accessibility).
    const std::pair<QObject*, const char*> names[] = {
        {operationBox_, "Operation"},        {logCheck_, "AMLogOn"},
        {manualCheck_, "ManualCheck"},       {transferOnlyButton_, "TransOnly"},
        {waveSaveCheck_, "WaveSaveCheck"},   {screenShowCheck_, "DSScreenDispCheck"},
        {screenSaveCheck_, "DSScreenSaveCheck"}, {invCheck_, "INVCheck"},
        {clearButton_, "Clear"},             {startButton_, "WaveTransfer"},
        {stopButton_, "StopAcqusition"},     {intervalBox_, "WaitTimeF"},
        {intervalEdit_, "LoopInterval"},     {repeatBox_, "TCountF"},
        {repeatEdit_, "TRound"},             {cycleLabel_, "CLoopCount"},
        {fileBox_, "FileSelF"},              {chooseFileButton_, "SetFileFolder"},
        {folderLabel_, "FolderL"},           {folderEdit_, "FFolder"},
        {headerLabel_, "FNameL"},            {headerEdit_, "FHeadder"},
        {instrumentBox_, "IPADress"},        {usbCheck_, "IFCheck"},
        {comList_, "ComList"},               {addressLabel_, "IPAddressL"},
        {addressEdit_, "IPAdressText"},      {statusBar_, "StatusBar1"},
        {progressBar_, "ProgressBar1"}};
    for (const auto& [object, name] : names) object->setObjectName(QLatin1String(name));

    // Narrower than the log window, which sits under it, so that the screen
    // window (placed at the log window's width) does not cover it.
    resize(500, 400);
}

void MainForm::connectControls() {
    connect(startButton_, &QPushButton::clicked, this, [this] { onStartClicked(false); });
    connect(transferOnlyButton_, &QPushButton::clicked, this, [this] { onStartClicked(true); });
    connect(stopButton_, &QPushButton::clicked, this, &MainForm::onStopClicked);
    connect(clearButton_, &QPushButton::clicked, this, &MainForm::onClearClicked);
    connect(chooseFileButton_, &QPushButton::clicked, this, &MainForm::onChooseFileClicked);
    connect(logCheck_, &QCheckBox::toggled, this, &MainForm::onLogToggled);
    connect(screenShowCheck_, &QCheckBox::toggled, this, &MainForm::onScreenShowToggled);
    // The run reads these at its own points: keep its copy current.
    for (QCheckBox* box : {logCheck_, manualCheck_, waveSaveCheck_, screenShowCheck_, screenSaveCheck_})
        connect(box, &QCheckBox::toggled, this, &MainForm::pushLiveSettings);
    for (QLineEdit* edit : {intervalEdit_, folderEdit_, headerEdit_})
        connect(edit, &QLineEdit::textChanged, this, &MainForm::pushLiveSettings);
}

void MainForm::applyControls(const ResumeSettings& s) {
    addressEdit_->setText(s.ipAddress);
    usbCheck_->setChecked(s.usb);
    comList_->setCurrentIndex(s.comIndex);
    // The edit field follows the index: no entry shows an empty field.
    comList_->setEditText(s.comIndex < 0 ? QString() : comList_->itemText(s.comIndex));
    repeatEdit_->setText(s.repeat);
    intervalEdit_->setText(s.interval);
    folderEdit_->setText(s.folder);
    headerEdit_->setText(s.header);
    waveSaveCheck_->setChecked(s.waveSave);
    screenShowCheck_->setChecked(s.screenShow);
    screenSaveCheck_->setChecked(s.screenSave);
    invCheck_->setChecked(s.invCheck);
    manualCheck_->setChecked(s.manual);
    logCheck_->setChecked(s.logOn);
}

ResumeSettings MainForm::currentControls() const {
    ResumeSettings s = givenControls_;
    s.ipAddress = addressEdit_->text();
    s.usb = usbCheck_->isChecked();
    s.comIndex = comList_->findText(comList_->currentText());
    s.repeat = repeatEdit_->text();
    s.interval = intervalEdit_->text();
    s.folder = folderEdit_->text();
    s.header = headerEdit_->text();
    s.waveSave = waveSaveCheck_->isChecked();
    s.screenShow = screenShowCheck_->isChecked();
    s.screenSave = screenSaveCheck_->isChecked();
    s.invCheck = invCheck_->isChecked();
    s.manual = manualCheck_->isChecked();
    s.logOn = logCheck_->isChecked();
    return s;
}

ViewSettings MainForm::currentSettings() const {
    ViewSettings s;
    s.controls = currentControls();
    s.screenPngForDisplay = screenPngAction_->isChecked();
    s.windowPlaces = places_->places();
    return s;
}

int MainForm::exitCode() const { return ExitCodeFor(lastOutcome_, writeFailed_); }

void MainForm::closeDown() {
    if (closed_) return;
    closed_ = true;
    if (saveSettings_) {
        const SettingsSaved saved = saveSettings_(currentSettings());
        if (!saved.resumeError.isEmpty()) {
            writeFailed_ = true;
            showStatus(saved.resumeError);
            PrintLine(stderr, saved.resumeError);
            if (!options_.assumeYes && isVisible()) QMessageBox::warning(this, ConfirmTitle(), saved.resumeError);
        }
        // The program's own settings: a failure costs only those.
        for (const QString& warning : saved.warnings) {
            showStatus(warning);
            PrintLine(stderr, warning);
        }
    }
    // A run that waits somewhere gives up at once and writes nothing more;
    // the link's pending output goes out before it closes.
    session_.shutdown();
    if (logForm_) logForm_->hide();
    if (screenForm_) screenForm_->hide();
    if (trend_) trend_->hide();
    emit closed();
}

void MainForm::closeEvent(QCloseEvent* event) {
    closeDown();
    event->accept();
}

AMLogForm& MainForm::logForm() {
    if (!logForm_) {
        logForm_ = new AMLogForm();
        places_->watch(*logForm_);
    }
    return *logForm_;
}

WaveForm& MainForm::screenForm() {
    if (!screenForm_) {
        screenForm_ = new WaveForm();
        connect(screenForm_, &WaveForm::closedByUser, this, [this] { screenShowCheck_->setChecked(false); });
        places_->watch(*screenForm_);
    }
    return *screenForm_;
}

TrendWindow& MainForm::trend() {
    if (!trend_) {
        trend_ = new TrendWindow(options_.dataFolder);
        trend_->setAttribute(Qt::WA_QuitOnClose, false);
        places_->watch(*trend_);
    }
    return *trend_;
}

bool MainForm::runActive() const { return session_.active(); }

void MainForm::startRun() { onStartClicked(false); }
void MainForm::startTransferOnly() { onStartClicked(true); }
void MainForm::stopRun() {
    if (stopButton_->isEnabled()) onStopClicked();
}

RunRequest MainForm::makeRequest(bool transferOnly) const {
    RunRequest r;
    r.serial = usbCheck_->isChecked();
    r.address = addressEdit_->text();
    r.tcpPort = options_.tcpPort;
    r.comText = comList_->currentText();
    r.transferOnly = transferOnly;
    r.repeatText = repeatEdit_->text();
    r.invCheckOn = invCheck_->isChecked();
    r.dataFolder = options_.dataFolder;
    r.reconnectMinutes = options_.reconnectMinutes;
    r.screenPngForDisplay = screenPngAction_->isChecked();
    return r;
}

void MainForm::pushLiveSettings() {
    LiveValues v;
    v.log = logCheck_->isChecked();
    v.waveSave = waveSaveCheck_->isChecked();
    v.screenShow = screenShowCheck_->isChecked();
    v.screenSave = screenSaveCheck_->isChecked();
    v.manual = manualCheck_->isChecked();
    v.intervalText = intervalEdit_->text();
    v.folder = OutputFolderIn(options_.dataFolder, folderEdit_->text());
    v.header = headerEdit_->text();
    // A run checked its folder and header when it started; one typed while it
    // goes on is taken only when usable, else the run keeps the last one.
    if (session_.active()) {
        if (const QString problem = OutputNameProblem(v.folder, v.header); !problem.isEmpty()) {
            const LiveValues running = session_.live().get();
            v.folder = running.folder;
            v.header = running.header;
            if (problem != std::exchange(liveNameProblem_, problem)) showStatus(problem);
        } else {
            liveNameProblem_.clear();
        }
    }
    session_.live().set(v);
}

void MainForm::onStartClicked(bool transferOnly) {
    if (session_.active()) return;  // one run at a time
    pushLiveSettings();
    if (!session_.start(makeRequest(transferOnly), *questions_)) return;
    transferOnlyRun_ = transferOnly;
    if (transferOnly) transferOnlyButton_->setEnabled(false);
}

void MainForm::onRunStarted(const RunStartInfo&) {
    stopButton_->setEnabled(true);
    startButton_->setEnabled(false);
    clearButton_->setEnabled(false);
    // The screen window sits beside the log window, right of the main window,
    // until it has a place of its own.
    if (!places_->placed(screenForm())) {
        const QRect main = frameGeometry();
        screenForm().move(main.left() + logForm().frameGeometry().width(), main.top());
    }
}

void MainForm::onRunFinished(const RunEndInfo& end) {
    applyPending();
    wait_ = {};
    showWait();
    lastOutcome_ = end.outcome;
    writeFailed_ = end.writeFailures > 0;
    if (end.outcome != RunOutcome::Aborted && !closed_) {
        startButton_->setEnabled(true);
        stopButton_->setEnabled(false);
        clearButton_->setEnabled(true);
        if (transferOnlyRun_) transferOnlyButton_->setEnabled(true);
        if (!end.message.isEmpty()) {
            if (options_.assumeYes) {
                PrintLine(stderr, end.message);
            } else {
                auto* box = new QMessageBox(QMessageBox::Warning, ConfirmTitle(), end.message, QMessageBox::Ok, this);
                box->setAttribute(Qt::WA_DeleteOnClose);
                box->open();
            }
        }
    }
    transferOnlyRun_ = false;
    emit runFinished(end.outcome);
}

void MainForm::onStopClicked() {
    stopButton_->setEnabled(false);
    session_.stop();
}

void MainForm::onClearClicked() {
    clearLog();
    logForm().show();
}

void MainForm::clearLog() {
    session_.clear();
    cycleLabel_->setText(QString::number(session_.cycleNo()) + QStringLiteral("/"));
    screenShown_ = false;
    screenImage_.clear();
    pendingRecords_.clear();
    logForm().clear();
    if (trend_) trend_->clear();
}

void MainForm::placeLogForm() {
    if (places_->placed(logForm())) return;
    const QRect main = frameGeometry();
    logForm().move(main.left(), main.top() + main.height());
}

void MainForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
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
            if (options_.trend) showTrend();
        });
    }
}

void MainForm::showTrend() {
    TrendWindow& window = trend();
    if (!places_->placed(window))
        PlaceBeside(window, logForm_ && logForm_->isVisible() ? logForm_->frameGeometry() : frameGeometry());
    window.show();
    window.raise();
}

void MainForm::onLogToggled(bool on) {
    if (on) {
        placeLogForm();
        logForm().show();
    } else if (logForm_) {
        logForm_->hide();
    }
}

void MainForm::onScreenShowToggled(bool on) {
    if (!on && !screenForm_) return;
    WaveForm& w = screenForm();
    if (!on) {
        w.hide();
        return;
    }
    if (!places_->placed(w)) {
        const QRect main = frameGeometry();
        w.move(main.left() + logForm().frameGeometry().width(), main.top());
    }
    w.show();
    w.showImage(screenShown_ ? screenImage_ : QByteArray());
}

void MainForm::onChooseFileClicked() {
    if (!fileDialog_) {
        if (!ownDialog_) ownDialog_ = std::make_unique<QtSaveFileDialog>(this);
        fileDialog_ = ownDialog_.get();
    }
    const auto choice = ChooseOutputFile(*fileDialog_, folderEdit_->text(), headerEdit_->text(), options_.dataFolder);
    if (!choice) return;  // cancel: nothing changes, nothing is shown
    folderEdit_->setText(choice->folder);
    headerEdit_->setText(choice->header);
    showStatus(FolderChosenStatus());
}

void MainForm::onWaitChanged(const RunWait& wait) {
    wait_ = wait;
    // Nothing is being transferred while the run waits.
    if (wait_.kind != RunWait::Kind::None) {
        pendingProgress_ = 0;
        scheduleRepaint();
    }
    showWait();
}

void MainForm::showWait() {
    waitTick_->stop();
    QString text;
    switch (wait_.kind) {
    case RunWait::Kind::None: break;
    case RunWait::Kind::Question: text = tr("確認待ち"); break;
    case RunWait::Kind::Interval: {
        // Whole seconds left, rounded up; the next tick comes when the count
        // drops by one.
        const qint64 left = QDateTime::currentDateTime().msecsTo(wait_.nextStart);
        const qint64 seconds = left > 0 ? (left + 999) / 1000 : 0;
        text = tr("次の測定まで %1 秒").arg(seconds);
        if (seconds > 0) waitTick_->start(int(std::clamp<qint64>(left - (seconds - 1) * 1000, 1, 1000)));
        break;
    }
    }
    statusBar_->setPanelText(StatusBar::WaitPanel, text);
}

void MainForm::showStatus(const QString& text) {
    if (options_.echoStatus) PrintLine(stdout, text);
    emit statusShown(text);
    pendingStatus_ = text;
    scheduleRepaint();
}

void MainForm::scheduleRepaint() {
    if (!repaint_->isActive()) repaint_->start();
}

void MainForm::applyPending() {
    repaint_->stop();
    if (pendingStatus_) statusBar_->setPanelText(StatusBar::StatusPanel, *std::exchange(pendingStatus_, std::nullopt));
    if (pendingProgress_) progressBar_->setValue(*std::exchange(pendingProgress_, std::nullopt));
    if (pendingCycle_)
        cycleLabel_->setText(QString::number(*std::exchange(pendingCycle_, std::nullopt)) + QStringLiteral("/"));
    if (pendingItems_) {
        logForm().setItems(*pendingItems_);
        trend().setItems(*std::exchange(pendingItems_, std::nullopt));
    }
    if (!pendingRecords_.isEmpty()) {
        AMLogForm& log = logForm();
        TrendWindow& trendWindow = trend();
        for (const CycleRecord& r : std::exchange(pendingRecords_, {})) {
            log.addRecord(r);
            trendWindow.addCycle(r);
        }
    }
    if (pendingScreen_) {
        screenImage_ = *std::exchange(pendingScreen_, std::nullopt);
        screenShown_ = true;
        WaveForm& w = screenForm();
        w.show();
        w.showImage(screenImage_);
    }
}

}  // namespace qm
