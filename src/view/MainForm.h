#pragma once
// The main window: every control of the design with its object name, caption
// and default, the settings they hold, and the view of the session's runs. It
// owns no run logic: a press of 測定開始 hands the settings to the session,
// whose events arrive here as queued signals and are drawn at most about 30
// times a second. The settings it starts with come from the app, and at close
// it hands them back to be saved.
#include "engine/model/RunSink.h"
#include "view/ViewOptions.h"

#include <QMainWindow>
#include <QPointer>
#include <memory>
#include <optional>

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QMenu;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;

namespace qm {

class Session;
class Questions;
struct RunRequest;

class AMLogForm;
class WaveForm;
class SaveFileDialog;
class StatusBar;
class TrendWindow;
class WindowPlaces;

class MainForm : public QMainWindow {
    Q_OBJECT
public:
    MainForm(Session& session, const ViewOptions& options, const ViewSettings& settings, QWidget* parent = nullptr);
    ~MainForm() override;

    // The buttons' actions, as a press would do them.
    void startRun();           // 測定開始
    void startTransferOnly();  // 波形転送
    void stopRun();            // 測定中断 (when enabled)

    bool runActive() const;
    RunOutcome lastOutcome() const { return lastOutcome_; }
    // The program's exit code after this window: the last run's, or 3 when
    // the settings could not be saved at close.
    int exitCode() const;

    // The settings as the window shows them now.
    ViewSettings currentSettings() const;
    // Called at close with the settings to save; the window shows what failed.
    void setSettingsSaver(SaveSettings save) { saveSettings_ = std::move(save); }

    // The log window and the screen window, created on first use.
    AMLogForm& logForm();
    WaveForm& screenForm();
    // The trend window, created on first use; it follows every logged cycle.
    TrendWindow& trend();

    // Seams: questions answered by a test or --assume-yes; the save dialog.
    void setQuestions(Questions* questions) { questions_ = questions; }
    void setFileDialog(SaveFileDialog* dialog) { fileDialog_ = dialog; }
    // A text of the program's own in the status bar (and on stdout with
    // --echo-status), such as the web view's address.
    void showStatusText(const QString& text) { showStatus(text); }

signals:
    // Every status text, in order (panel 1 shows the latest).
    void statusShown(const QString& text);
    void runFinished(RunOutcome outcome);
    // The window closed: its settings were handed back and the session shut down.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildLayout();
    void connectControls();
    void applyControls(const ResumeSettings& s);
    ResumeSettings currentControls() const;
    void closeDown();

    void onStartClicked(bool transferOnly);
    void onStopClicked();
    void onClearClicked();
    void clearLog();  // クリア without showing the log window
    void onLogToggled(bool on);
    void onScreenShowToggled(bool on);
    void onChooseFileClicked();
    void placeLogForm();
    void showTrend();  // beside the log window the first time, never over this one

    void pushLiveSettings();
    RunRequest makeRequest(bool transferOnly) const;

    // The session's events.
    void onRunStarted(const RunStartInfo& info);
    void onRunFinished(const RunEndInfo& end);
    void onWaitChanged(const RunWait& wait);
    void showWait();  // the countdown panel, once a second while the run waits
    void showStatus(const QString& text);
    void scheduleRepaint();
    void applyPending();

    Session& session_;
    const ViewOptions options_;
    // The settings the window was given: check lines still grey in them stay
    // grey until their box changes.
    ResumeSettings givenControls_;

    // Controls, with the design's object names.
    QGroupBox* operationBox_;          // Operation
    QCheckBox* logCheck_;              // AMLogOn
    QCheckBox* manualCheck_;           // ManualCheck
    QPushButton* transferOnlyButton_;  // TransOnly
    QCheckBox* waveSaveCheck_;         // WaveSaveCheck
    QCheckBox* screenShowCheck_;       // DSScreenDispCheck
    QCheckBox* screenSaveCheck_;       // DSScreenSaveCheck
    QCheckBox* invCheck_;              // INVCheck
    QPushButton* clearButton_;         // Clear
    QPushButton* startButton_;         // WaveTransfer
    QPushButton* stopButton_;          // StopAcqusition
    QGroupBox* intervalBox_;           // WaitTimeF
    QLineEdit* intervalEdit_;          // LoopInterval
    QGroupBox* repeatBox_;             // TCountF
    QLineEdit* repeatEdit_;            // TRound
    QLabel* cycleLabel_;               // CLoopCount
    QGroupBox* fileBox_;               // FileSelF
    QPushButton* chooseFileButton_;    // SetFileFolder
    QLabel* folderLabel_;              // FolderL
    QLineEdit* folderEdit_;            // FFolder
    QLabel* headerLabel_;              // FNameL
    QLineEdit* headerEdit_;            // FHeadder
    QGroupBox* instrumentBox_;         // IPADress
    QCheckBox* usbCheck_;              // IFCheck
    QComboBox* comList_;               // ComList
    QLabel* addressLabel_;             // IPAddressL
    QLineEdit* addressEdit_;           // IPAdressText
    StatusBar* statusBar_;             // StatusBar1
    QProgressBar* progressBar_;        // ProgressBar1
    QMenu* settingsMenu_;              // 設定
    QAction* screenPngAction_;         // 表示にも PNG を使う (checkable)
    QMenu* languageMenu_;              // 言語: 日本語 / English, saved in Quillmeter.ini

    QPointer<AMLogForm> logForm_;
    QPointer<WaveForm> screenForm_;
    QPointer<TrendWindow> trend_;
    bool placed_ = false;
    WindowPlaces* places_ = nullptr;  // where the windows were at the last close
    RunWait wait_;
    QTimer* waitTick_ = nullptr;
    bool closed_ = false;
    bool screenShown_ = false;  // a display image was fetched since the last クリア
    QByteArray screenImage_;
    RunOutcome lastOutcome_ = RunOutcome::Normal;
    bool writeFailed_ = false;  // the last run, or the settings at close, failed to write
    QString liveNameProblem_;   // the last refused folder or header typed during a run
    bool transferOnlyRun_ = false;
    SaveSettings saveSettings_;

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

}  // namespace qm
