#pragma once
// The main window: owns every control, the serial-port control MSComm1, the
// socket control dso and all module-level state, and wires the controls'
// events to the subsystems.
#include "app/AppOptions.h"
#include "common/Prompt.h"
#include "engine/instrument/InstrumentConfig.h"
#include "engine/run/MeasRecords.h"
#include "engine/waveform/WaveData.h"

#include <QMainWindow>
#include <QPointer>
#include <cstdint>
#include <memory>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class VbCheckBox;
class StatusBar;
class CommPort;
class SockControl;
class AMLogForm;
class WaveForm;
class SaveFileDialog;
class QMessageBox;
struct ResumeControls;
namespace qmsim {
class SimInstrument;
class SimTcpServer;
}

// How the last run ended (for --exit-after-run).
enum class RunOutcome { None, Normal, ConnectFailed, Error };

class MainForm : public QMainWindow, public Prompter {
    Q_OBJECT
public:
    explicit MainForm(const AppOptions& options = {}, QWidget* parent = nullptr);
    ~MainForm() override;

    static const QString VersionTag;  // "302"

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
    CommPort* MSComm1;
    SockControl* dso;

    // Module-level state.
    QString AppFolder;
    int16_t CommMode = 0;
    int16_t LinkOpen = 0;
    int16_t StopRequest = 0;
    int32_t CycleNo = 1;
    int32_t LogGridRow = 5;
    AMLogArray AMLog{};
    MeasItemArray MeasItem;
    InstrumentConfig DsoConfig;
    WaveArrays WaveData;
    int32_t WavePoints = 0;
    QString ScreenBufferFile;
    QString WaveCsvFileName;
    QString ScreenFileName;
    QString AMLogFileName;

    // The other windows, created on first use.
    AMLogForm& LogForm();
    WaveForm& ScreenForm();
    bool HasLogForm() const { return !logForm_.isNull(); }
    bool HasScreenForm() const { return !screenForm_.isNull(); }

    // Event procedures.
    void Form_Load();
    void Form_Unload();
    void WaveTransfer_Click();
    void TransOnly_Click();
    void StopAcqusition_Click();
    void Clear_Click();
    void AMLogOn_Click();
    void DSScreenDispCheck_Click();
    void SetFileFolder_Click();

    // Panel 1 of the status bar.
    void SetStatus(const QString& text);
    void SetProgress(int value);
    QString ResumeFileName() const;
    int TcpPort() const { return options_.tcpPort; }
    const AppOptions& Options() const { return options_; }

    // Questions and messages: real boxes, --assume-yes, or a test's prompter.
    bool AskOkCancel(const QString& text, const QString& title) override;
    void ShowFailure(const QString& text, const QString& title) override;
    // A message that does not stop the run (one box, reused).
    void Notify(const QString& text, const QString& title);
    void SetPrompter(Prompter* p) { prompter_ = p; }
    void SetFileDialog(SaveFileDialog* d) { fileDialog_ = d; }

    bool RunActive() const { return runActive_; }
    RunOutcome LastOutcome() const { return lastOutcome_; }
    void SetRunActive(bool a) { runActive_ = a; }
    void SetLastOutcome(RunOutcome o) { lastOutcome_ = o; }
    bool Unloaded() const { return unloaded_; }

    // The in-process simulated instrument of --demo (null otherwise).
    qmsim::SimInstrument* DemoInstrument() const { return demoSim_.get(); }

signals:
    void RunFinished(RunOutcome outcome);
    void FormUnloaded();

protected:
    void closeEvent(QCloseEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    void PlaceLogForm();
    ResumeControls Resume();
    bool placed_ = false;
    void BuildLayout();
    void StartDemo();
    AppOptions options_;
    QPointer<AMLogForm> logForm_;
    QPointer<WaveForm> screenForm_;
    QPointer<QMessageBox> notifyBox_;
    Prompter* prompter_ = nullptr;
    SaveFileDialog* fileDialog_ = nullptr;
    std::unique_ptr<SaveFileDialog> ownDialog_;
    bool runActive_ = false;
    bool unloaded_ = false;
    RunOutcome lastOutcome_ = RunOutcome::None;
    std::unique_ptr<qmsim::SimInstrument> demoSim_;
    std::unique_ptr<qmsim::SimTcpServer> demoServer_;
};
