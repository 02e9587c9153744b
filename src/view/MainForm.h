#pragma once
// The main window: every control of the design with its object name, caption
// and default, the settings they hold (restored from and saved to the resume
// file), and the view of the session's runs. It owns no run logic: a press of
// 測定開始 hands the settings to the session, whose events arrive here as
// queued signals and are drawn at most about 30 times a second.
#include "app/AppOptions.h"
#include "engine/run/RunSink.h"
#include "engine/settings/ResumeSettings.h"

#include <QMainWindow>
#include <QPointer>
#include <memory>
#include <optional>

class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QMenu;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;
class VbCheckBox;
class StatusBar;
class AMLogForm;
class WaveForm;
class SaveFileDialog;
class TrendWindow;
class WindowPlaces;
class Session;
class Questions;
class BoxQuestions;
struct RunRequest;

class MainForm : public QMainWindow {
    Q_OBJECT
public:
    MainForm(Session& session, const AppOptions& options, QWidget* parent = nullptr);
    ~MainForm() override;

    // The buttons' actions, as a press would do them.
    void StartRun();           // 測定開始
    void StartTransferOnly();  // 波形転送
    void StopRun();            // 測定中断 (when enabled)

    bool RunActive() const;
    RunOutcome LastOutcome() const { return lastOutcome_; }
    QString AppFolder() const { return appFolder_; }

    // The log window and the screen window, created on first use.
    AMLogForm& LogForm();
    WaveForm& ScreenForm();
    // The trend window, created on first use; it follows every logged cycle.
    TrendWindow& Trend();
    bool HasScreenForm() const { return !screenForm_.isNull(); }

    // Seams: questions answered by a test or --assume-yes; the save dialog.
    void SetQuestions(Questions* q) { questions_ = q; }
    void SetFileDialog(SaveFileDialog* d) { fileDialog_ = d; }
    // A text of the program's own in the status bar (and on stdout with
    // --echo-status), such as the web view's address.
    void ShowStatusText(const QString& text) { ShowStatus(text); }
    // --demo: the simulated instrument listens at 127.0.0.1:port; clears USB
    // and points the address at it for this start only (not saved).
    void UseDemoInstrument(quint16 port);

signals:
    // Every status text, in order (panel 1 shows the latest).
    void statusShown(const QString& text);
    void RunFinished(RunOutcome outcome);
    void FormUnloaded();

protected:
    void closeEvent(QCloseEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    void BuildLayout();
    void Form_Load();
    void Form_Unload();
    void WaveTransfer_Click(bool transferOnly);
    void StopAcqusition_Click();
    void Clear_Click();
    void ClearLog();  // クリア without showing the log window
    void AMLogOn_Click();
    void DSScreenDispCheck_Click();
    void SetFileFolder_Click();
    void PlaceLogForm();
    void ShowTrend();  // beside the log window the first time, never over this one

    // Settings <-> controls.
    void ApplyResumeField(ResumeField field, const ResumeSettings& s);
    ResumeSettings CurrentSettings() const;
    void PushLiveSettings();
    RunRequest MakeRequest(bool transferOnly) const;

    // The session's events.
    void OnRunStarted(const RunStartInfo& info);
    void OnRunFinished(const RunEndInfo& end);
    void OnWaitChanged(const RunWait& wait);
    void ShowWait();  // the countdown panel, once a second while the run waits
    void ShowStatus(const QString& text);
    void ScheduleRepaint();
    void ApplyPending();

    Session& session_;
    AppOptions options_;
    QString appFolder_;

    // Controls, named by role.
    QGroupBox* Operation;
    VbCheckBox* AMLogOn;
    VbCheckBox* ManualCheck;
    QPushButton* TransOnly;
    VbCheckBox* WaveSaveCheck;
    VbCheckBox* DSScreenDispCheck;
    VbCheckBox* DSScreenSaveCheck;
    VbCheckBox* INVCheck;
    QPushButton* Clear;
    QPushButton* WaveTransfer;
    QPushButton* StopAcqusition;
    QGroupBox* WaitTimeF;
    QLineEdit* LoopInterval;
    QGroupBox* TCountF;
    QLineEdit* TRound;
    QLabel* CLoopCount;
    QGroupBox* FileSelF;
    QPushButton* SetFileFolder;
    QLabel* FolderL;
    QLineEdit* FFolder;
    QLabel* FNameL;
    QLineEdit* FHeadder;
    QGroupBox* IPADress;
    VbCheckBox* IFCheck;
    QComboBox* ComList;
    QLabel* IPAddressL;
    QLineEdit* IPAdressText;
    StatusBar* StatusBar1;
    QProgressBar* ProgressBar1;
    QMenu* SettingsMenu;        // 設定
    QAction* ScreenPngAction;   // 表示にも PNG を使う (checkable)

    QPointer<AMLogForm> logForm_;
    QPointer<WaveForm> screenForm_;
    QPointer<TrendWindow> trend_;
    bool placed_ = false;
    WindowPlaces* places_ = nullptr;  // where the windows were at the last close
    bool screenPngKept_ = false;      // 表示にも PNG を使う as Quillmeter.ini holds it
    RunWait wait_;
    QTimer* waitTick_ = nullptr;
    bool unloaded_ = false;
    bool screenShown_ = false;  // a display image was fetched since the last クリア
    QByteArray screenImage_;
    RunOutcome lastOutcome_ = RunOutcome::Normal;
    bool writeFailed_ = false;           // the last run, or the resume file, failed to write
    ResumeSettings savedSettings_;       // as the resume file gave them, before the command line
    bool resumeMayReplace_ = true;       // false: a damaged resume file that could not be copied aside
    QString liveNameProblem_;            // the last refused folder or header typed during a run
    bool transferOnlyRun_ = false;

    // Updates waiting for the next repaint tick.
    QTimer* repaint_;
    std::optional<QString> pendingStatus_;
    std::optional<int> pendingProgress_;
    std::optional<int> pendingCycle_;
    std::optional<QByteArray> pendingScreen_;
    QList<CycleRecord> pendingRecords_;
    std::optional<MeasItemArray> pendingItems_;

    Questions* questions_ = nullptr;
    std::unique_ptr<Questions> ownQuestions_;
    SaveFileDialog* fileDialog_ = nullptr;
    std::unique_ptr<SaveFileDialog> ownDialog_;
};
