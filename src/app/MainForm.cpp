#include "app/MainForm.h"

#include "app/FolderDialog.h"
#include "app/ResumeFile.h"
#include "engine/text/AnsiText.h"
#include "common/EventWait.h"
#include "common/StatusBar.h"
#include "common/Vb.h"
#include "common/VbCheckBox.h"
#include "link/CommPort.h"
#include "link/SockControl.h"
#include "logview/AMLogForm.h"
#include "run/MeasurementRun.h"
#include "screen/WaveForm.h"
#include "sim/SimInstrument.h"
#include "sim/SimTcpServer.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHostAddress>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdio>

const QString MainForm::VersionTag = QStringLiteral("302");

MainForm::MainForm(const AppOptions& options, QWidget* parent) : QMainWindow(parent), options_(options) {
    MSComm1 = new CommPort(this);
    dso = new SockControl(this);
    BuildLayout();
    Form_Load();
    if (options_.demo) StartDemo();
    if (options_.repeat >= 0) TRound->setText(QString::number(options_.repeat));
}

MainForm::~MainForm() {
    // The other windows are top-level windows of their own.
    delete logForm_.data();
    delete screenForm_.data();
}

void MainForm::BuildLayout() {
    setWindowTitle(QStringLiteral("Quillmeter"));
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
    if (options_.echoStatus)
        StatusBar1->onStatus = [](const QString& t) {
            std::fprintf(stdout, "%s\n", t.toUtf8().constData());
            std::fflush(stdout);
        };

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
        {StatusBar1, "StatusBar1"}, {ProgressBar1, "ProgressBar1"}, {MSComm1, "MSComm1"}, {dso, "dso"}};
    for (const auto& [o, n] : names) o->setObjectName(QLatin1String(n));

    connect(WaveTransfer, &QPushButton::clicked, this, [this] { WaveTransfer_Click(); });
    connect(TransOnly, &QPushButton::clicked, this, [this] { TransOnly_Click(); });
    connect(StopAcqusition, &QPushButton::clicked, this, [this] { StopAcqusition_Click(); });
    connect(Clear, &QPushButton::clicked, this, [this] { Clear_Click(); });
    connect(SetFileFolder, &QPushButton::clicked, this, [this] { SetFileFolder_Click(); });
    connect(AMLogOn, &VbCheckBox::Click, this, [this] { AMLogOn_Click(); });
    connect(DSScreenDispCheck, &VbCheckBox::Click, this, [this] { DSScreenDispCheck_Click(); });
    // Narrower than the log window, which sits under it, so that the screen
    // window (placed at the log window's width) does not cover it.
    resize(500, 400);
}

ResumeControls MainForm::Resume() {
    return ResumeControls{*IPAdressText,      *IFCheck,           *ComList,  *TRound,      *LoopInterval,
                          *FFolder,           *FHeadder,          *WaveSaveCheck, *DSScreenDispCheck,
                          *DSScreenSaveCheck, *INVCheck,          *ManualCheck, *AMLogOn};
}

QString MainForm::ResumeFileName() const {
    return QDir(AppFolder).filePath(QStringLiteral("Resume") + VersionTag + QStringLiteral(".txt"));
}

void MainForm::Form_Load() {
    // Every step runs even when an earlier one failed.
    const auto step = [](auto&& f) {
        try {
            f();
        } catch (...) {
        }
    };
    step([&] {
        setWindowTitle(QStringLiteral("Quillmeter") + QStringLiteral("(Ver") + VersionTag.mid(0, 1) + QStringLiteral(".") +
                       VersionTag.mid(1, 2) + QStringLiteral(")"));
    });
    step([&] { TCountF->setTitle(QStringLiteral("繰返回数(≦") + QString::number(10000) + QStringLiteral(")")); });
    step([&] {
        QString dir = options_.dataDir.isEmpty() ? DefaultDataDir() : options_.dataDir;
        QDir().mkpath(dir);
        AppFolder = QDir::toNativeSeparators(QDir(dir).absolutePath());
        QDir::setCurrent(AppFolder);
    });
    step([&] { QDir(AppFolder).mkpath(QStringLiteral("Data")); });
    step([&] { LinkOpen = VbFalse; });
    step([&] {
        ResumeControls rc = Resume();
        LoadResumeParam(ResumeFileName(), rc);
    });
    step([&] { CommMode = static_cast<int16_t>(1 - IFCheck->Value()); });
    step([&] { Clear_Click(); });
    step([&] {
        if (FFolder->text().isEmpty()) FFolder->setText(AppFolder + qm::PathSep() + QStringLiteral("Data"));
    });
    step([&] {
        INVCheck->SetValue(1);
        if (options_.waveform) {
            TransOnly->setVisible(true);
            WaveSaveCheck->setVisible(true);
            WaveSaveCheck->SetValue(1);
        } else {
            WaveSaveCheck->SetValue(0);
        }
    });
}

void MainForm::StartDemo() {
    demoSim_ = std::make_unique<qmsim::SimInstrument>();
    demoServer_ = std::make_unique<qmsim::SimTcpServer>(demoSim_.get());
    if (!demoServer_->listen(QHostAddress::LocalHost, 0)) {
        SetStatus(QStringLiteral("模擬装置を開始できません"));
        return;
    }
    options_.tcpPort = demoServer_->port();
    IFCheck->SetValue(0);
    CommMode = 1;
    IPAdressText->setText(QStringLiteral("127.0.0.1"));
    SetStatus(QStringLiteral("模擬装置: 127.0.0.1:%1").arg(options_.tcpPort));
}

void MainForm::Form_Unload() {
    if (unloaded_) return;
    unloaded_ = true;
    try {
        ResumeControls rc = Resume();
        SaveResumeParam(ResumeFileName(), rc);
    } catch (...) {
    }
    if (LinkOpen) {
        if (CommMode != 0) dso->Close();
        else MSComm1->SetPortOpen(false);
    }
    // A run that waits somewhere gives up at once and writes nothing more.
    if (runActive_) qm::SetAppClosing(true);
    if (logForm_) logForm_->hide();
    if (screenForm_) screenForm_->hide();
    if (notifyBox_) notifyBox_->hide();
    emit FormUnloaded();
    if (options_.quitOnUnload) {
        const int code = lastOutcome_ == RunOutcome::ConnectFailed ? 1 : lastOutcome_ == RunOutcome::Error ? 2 : 0;
        QTimer::singleShot(0, qApp, [code] { QCoreApplication::exit(code); });
    }
}

void MainForm::closeEvent(QCloseEvent* e) {
    Form_Unload();
    e->accept();
}

AMLogForm& MainForm::LogForm() {
    if (!logForm_) logForm_ = new AMLogForm(LogViewRefs{AMLog, CycleNo, LogGridRow, MeasItem, DsoConfig});
    return *logForm_;
}

WaveForm& MainForm::ScreenForm() {
    if (!screenForm_) {
        screenForm_ = new WaveForm();
        connect(screenForm_, &WaveForm::Unloaded, this, [this] { DSScreenDispCheck->SetValue(0); });
    }
    return *screenForm_;
}

void MainForm::WaveTransfer_Click() { RunMeasurement(*this); }

void MainForm::TransOnly_Click() {
    TransOnly->setEnabled(false);
    RunMeasurement(*this);
    TransOnly->setEnabled(true);
}

void MainForm::StopAcqusition_Click() {
    StopAcqusition->setEnabled(false);
    StopRequest = VbTrue;
}

void MainForm::Clear_Click() {
    // Every step is attempted even if an earlier one fails.
    const auto step = [](auto&& f) {
        try {
            f();
        } catch (...) {
        }
    };
    step([&] { CycleNo = 1; });
    step([&] { CLoopCount->setText(QString::number(CycleNo) + QStringLiteral("/")); });
    step([&] { ScreenBufferFile.clear(); });
    step([&] { LogGridRow = 5; });
    step([&] { LogForm().show(); });
    step([&] { LogForm().ResetGrid(); });
}

void MainForm::PlaceLogForm() {
    const QRect main = frameGeometry();
    LogForm().move(main.left(), main.top() + main.height());
}

void MainForm::showEvent(QShowEvent* e) {
    QMainWindow::showEvent(e);
    // The start-up's clear showed the log window before this window had its
    // place; put it under this window once that is known.
    if (!placed_) {
        placed_ = true;
        QTimer::singleShot(0, this, [this] {
            if (logForm_ && logForm_->isVisible()) PlaceLogForm();
        });
    }
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
    const int logWidth = LogForm().frameGeometry().width();
    const QString file = ScreenBufferFile.isEmpty() ? QString() : QDir(AppFolder).filePath(ScreenBufferFile);
    ShowScreenWindow(ScreenForm(), frameGeometry(), logWidth, on, file);
}

void MainForm::SetFileFolder_Click() {
    if (!fileDialog_) {
        if (!ownDialog_) ownDialog_ = std::make_unique<QtSaveFileDialog>(this);
        fileDialog_ = ownDialog_.get();
    }
    ::SetFileFolder_Click(*fileDialog_, *FFolder, *FHeadder, AppFolder, [this](const QString& t) { SetStatus(t); });
}

void MainForm::SetStatus(const QString& text) { StatusBar1->SetPanelText(1, text); }

void MainForm::SetProgress(int value) { ProgressBar1->setValue(value); }

bool MainForm::AskOkCancel(const QString& text, const QString& title) {
    if (prompter_) return prompter_->AskOkCancel(text, title);
    if (options_.assumeYes) return true;
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Ok | QMessageBox::Cancel, this);
    return box.exec() == QMessageBox::Ok;
}

void MainForm::ShowFailure(const QString& text, const QString& title) {
    if (prompter_) return prompter_->ShowFailure(text, title);
    if (options_.assumeYes) {
        std::fprintf(stderr, "%s\n", text.toUtf8().constData());
        return;
    }
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Cancel | QMessageBox::Retry | QMessageBox::Ignore, this);
    box.button(QMessageBox::Ignore)->setText(QStringLiteral("続行"));
    box.exec();
}

void MainForm::Notify(const QString& text, const QString& title) {
    if (prompter_) return prompter_->ShowFailure(text, title);
    if (options_.assumeYes) {
        std::fprintf(stderr, "%s\n", text.toUtf8().constData());
        return;
    }
    if (!notifyBox_) {
        notifyBox_ = new QMessageBox(QMessageBox::Warning, title, text, QMessageBox::Ok, this);
        notifyBox_->setModal(false);
    }
    notifyBox_->setText(text);
    notifyBox_->show();
}
