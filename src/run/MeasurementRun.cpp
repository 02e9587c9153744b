#include "run/MeasurementRun.h"

#include "app/MainForm.h"
#include "engine/text/AnsiText.h"
#include "engine/text/Clock.h"
#include "engine/text/Errors.h"
#include "common/EventWait.h"
#include "engine/text/NumText.h"
#include "common/Vb.h"
#include "common/VbCheckBox.h"
#include "config/MeasItemQuery.h"
#include "config/ReadConfig.h"
#include "link/CommPort.h"
#include "link/BlockRead.h"
#include "link/CommandLink.h"
#include "link/Connect.h"
#include "link/SockControl.h"
#include "logview/AMLogForm.h"
#include "run/MeasLog.h"
#include "run/Waits.h"
#include "screen/ScreenTransfer.h"
#include "screen/WaveForm.h"
#include "engine/output/WaveCsv.h"
#include "waveform/WaveTransfer.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

namespace {

const QString kDone = QStringLiteral("動作完了しました");

// The repeat count: the leading number of TRound, nearest integer; more than
// 10000 is rewritten as "10000". No lower bound.
int32_t ReadRepeatCount(QLineEdit& TRound) {
    double v = qm::LeadingNumber(TRound.text());
    if (v > 10000) {
        TRound.setText(QStringLiteral("10000"));
        v = qm::LeadingNumber(TRound.text());
    }
    if (!(v >= std::numeric_limits<int32_t>::min())) return std::numeric_limits<int32_t>::min();
    return qm::ToInt32(v);
}

// Sample buffers for the run's record length. No block can carry more than
// kWaveBlockLimit samples, so no buffer is made longer than that: an absurd
// record length from the instrument must not allocate gigabytes.
void AllocateBuffers(MainForm& f) {
    const int32_t P = f.DsoConfig.RecordLength;
    const size_t n = static_cast<size_t>(std::clamp<int32_t>(P, 0, kWaveBlockLimit)) + 1;
    try {
        if (P < 2600000) {
            for (auto& w : f.WaveData) w.assign(n, 0.0f);
        } else {
            for (int k = 0; k < 4; ++k)
                if (f.DsoConfig.Display[k] == QLatin1String("ON")) f.WaveData[k].assign(n, 0.0f);
            f.WaveData[4].assign(2, 0.0f);
        }
    } catch (const std::bad_alloc&) {
        throw QuillError(QStringLiteral("波形バッファを確保できません (レコード長 %1)").arg(P));
    }
    f.WavePoints = P;
}

QString FiveDigits(int32_t n) { return (QStringLiteral("0000") + QString::number(n)).right(5); }

struct RunEnd {};  // the cycle loop ends: "動作完了しました" then closing
struct TriggerStop {};  // a stop seen right after the trigger wait: closing only

void TransferWaveforms(MainForm& f, Link& link) {
    f.SetStatus(QStringLiteral("波形を転送中です"));
    QString warnings;
    const auto one = [&](int16_t src) {
        QString warning;
        TransferSource(link, src, f.WaveData[src], f.DsoConfig, f.WavePoints, &warning);
        if (!warning.isEmpty()) warnings += (warnings.isEmpty() ? QString() : QStringLiteral(" / ")) + warning;
    };
    one(0);
    f.SetProgress(25);
    one(1);
    f.SetProgress(50);
    if (f.DsoConfig.ChannelCount == 4) {
        one(2);
        f.SetProgress(75);
        one(3);
    }
    one(4);
    f.SetProgress(100);
    if (!warnings.isEmpty()) f.SetStatus(warnings);
}

// Screen image into a file; a failure is shown and the run goes on, unless
// the link itself is gone.
bool ScreenToFile(MainForm& f, Link& link, const QString& file, const QString& format) {
    QString error;
    bool lost = false;
    const int32_t n = TransferScreen(link, file, format, &error, &lost);
    if (lost) throw LinkError(error);
    if (n <= 0) {
        f.SetStatus(error);
        return false;
    }
    return true;
}

// Logging on and a cycle number with no record in the log: the run ends with
// a message that tells the user to clear the log.
void RefuseCycleBeyondLog(MainForm& f) {
    if (!f.AMLogOn->IsOn() || f.CycleNo <= LogMaxCycle) return;
    const QString msg = QStringLiteral("測定ログは %1 サイクルまでです。「クリア」を押してから測定を開始して下さい。").arg(LogMaxCycle);
    f.SetStatus(msg);
    f.Notify(msg, kConfirmTitle);
    throw RunEnd{};
}

void OneCycle(MainForm& f, Link& link, bool normal, int32_t RepeatCount, float TriggerTimeout) {
    // A cycle whose number has no place in the log is refused before it starts.
    RefuseCycleBeyondLog(f);
    const float CycleStart = qm::Timer();
    f.DsoConfig.AcqTime = SendGetResp(link, QStringLiteral("DATE?"), 60.0f, 100);
    if (ModelNumber(f.DsoConfig.ModelName) > 400) SendToDSO(link, QStringLiteral("DISP OFF"));

    if (normal) {
        f.SetStatus(QStringLiteral("トリガ待ちです"));
        f.SetProgress(0);
        WaitForTrigger(link, TriggerTimeout, f.StopRequest);
        if (f.StopRequest) {
            f.SetStatus(QStringLiteral("トリガ中断です"));
            throw TriggerStop{};
        }
    }

    if (f.WaveSaveCheck->IsOn()) TransferWaveforms(f, link);

    if (f.DSScreenDispCheck->IsOn() || f.DSScreenSaveCheck->IsOn()) SendToDSO(link, QStringLiteral("GTL"));

    if (f.DSScreenDispCheck->IsOn()) {
        f.SetStatus(QStringLiteral("DS画面を転送中です"));
        f.SetProgress(0);
        f.ScreenBufferFile = kScreenBufferName;
        const QString file = QDir(f.AppFolder).filePath(f.ScreenBufferFile);
        ScreenToFile(f, link, file, kScreenFormatBmp);
        WaveForm& w = f.ScreenForm();
        w.show();
        w.LoadPicture(file);
        f.SetProgress(100);
    }

    if (f.StopRequest) throw RunEnd{};

    const QString BaseName =
        f.FFolder->text() + qm::PathSep() + f.FHeadder->text() + QStringLiteral("_") + FiveDigits(f.CycleNo);

    if (f.WaveSaveCheck->IsOn()) {
        f.SetStatus(QStringLiteral("波形をcsvファイルに格納しています"));
        f.WaveCsvFileName = BaseName + QStringLiteral(".csv");
        QString error;
        CsvProgress progress{[&f](int v) { f.SetProgress(v); }, [] { qm::YieldEvents(); }};
        if (WriteWaveformCsv(f.WaveCsvFileName, f.DsoConfig, f.WaveData, progress, &error))
            f.SetStatus(QStringLiteral("csv波形の格納完了"));
        else
            f.SetStatus(error);
    }

    if (f.DSScreenSaveCheck->IsOn()) {
        f.SetProgress(0);
        f.SetStatus(QStringLiteral("DS画面を格納しています"));
        f.ScreenFileName = BaseName + QStringLiteral(".") + kScreenFormatPng;
        if (ScreenToFile(f, link, f.ScreenFileName, kScreenFormatPng)) f.SetStatus(QStringLiteral("DS画面の格納完了"));
        f.SetProgress(100);
    }

    if (f.AMLogOn->IsOn()) {
        RefuseCycleBeyondLog(f);  // logging may have been ticked during the cycle
        const QString missing = LogMeasurementCycle(f, link);
        if (!missing.isEmpty())
            f.SetStatus(QStringLiteral("測定値がありません: %1 (サイクル %2)").arg(missing).arg(f.CycleNo));
    }

    f.CycleNo = f.CycleNo + 1;
    if (f.StopRequest) throw RunEnd{};
    f.CLoopCount->setText(QString::number(f.CycleNo) + QStringLiteral("/"));

    if (!normal) throw RunEnd{};
    if (f.CycleNo > RepeatCount) throw RunEnd{};

    if (f.ManualCheck->IsOn()) {
        SendToDSO(link, QStringLiteral("GTL"));
        if (!f.AskOkCancel(QStringLiteral("次の測定の準備をして下さい!"), kConfirmTitle)) throw RunEnd{};
        return;
    }
    float now = qm::Timer();
    float elapsed = now - CycleStart;
    if (now < CycleStart) elapsed += 86400.0f;
    const float wait = static_cast<float>(qm::LeadingNumber(f.LoopInterval->text())) - elapsed;
    WaitInterval(wait, f.StopRequest);
}

}  // namespace

void RunMeasurement(MainForm& f) {
    if (f.RunActive()) return;  // only one exchange with the instrument at a time
    f.CommMode = static_cast<int16_t>(1 - f.IFCheck->Value());
    Link link{f.CommMode, *f.MSComm1, *f.dso};
    ConnectSettings cs{f.IPAdressText->text(), f.ComList->currentText(), QString::number(f.TcpPort())};
    if (ConnectDSO(f.CommMode, *f.MSComm1, *f.dso, cs, f) != 0) {
        f.SetLastOutcome(RunOutcome::ConnectFailed);
        emit f.RunFinished(RunOutcome::ConnectFailed);
        return;
    }
    f.LinkOpen = VbTrue;
    f.SetRunActive(true);
    f.StopAcqusition->setEnabled(true);
    f.WaveTransfer->setEnabled(false);
    f.Clear->setEnabled(false);
    f.StopRequest = VbFalse;
    const float TriggerTimeout = 10.0f;
    const bool normal = f.TransOnly->isEnabled();

    RunOutcome outcome = RunOutcome::Normal;
    QString failure;
    bool closing = true;
    bool snapshotDone = false;  // the trigger mode to restore is known
    try {
        try {
            const int32_t RepeatCount = ReadRepeatCount(*f.TRound);
            ReadInstrumentConfig(link, f.DsoConfig, f.INVCheck->IsOn());
            snapshotDone = true;
            AllocateBuffers(f);
            {
                AMLogForm& logForm = f.LogForm();
                WaveForm& screen = f.ScreenForm();
                const QRect main = f.frameGeometry();
                screen.move(main.left() + logForm.frameGeometry().width(), main.top());
            }
            SendToDSO(link, QStringLiteral("*ESE 255"));
            if (f.AMLogOn->IsOn()) {
                static const char* letters[] = {"A", "B", "C", "D"};
                for (int k = 0; k < 4; ++k) QueryMeasItem(link, f.DsoConfig, QLatin1String(letters[k]), f.MeasItem[k]);
            }
            for (;;) OneCycle(f, link, normal, RepeatCount, TriggerTimeout);
        } catch (const RunEnd&) {
            f.SetStatus(kDone);
        } catch (const TriggerStop&) {
        }
    } catch (const AppClosing&) {
        // The main window is closing: nothing more is sent or written.
        closing = false;
        outcome = RunOutcome::Normal;
    } catch (const QuillError& e) {
        outcome = RunOutcome::Error;
        failure = e.text;
    } catch (const qm::NumberOverflow& e) {
        outcome = RunOutcome::Error;
        failure = QStringLiteral("装置の応答を数値に変換できません: %1").arg(QString::fromUtf8(e.what()));
    } catch (const std::exception& e) {
        outcome = RunOutcome::Error;
        failure = QStringLiteral("測定中にエラーが発生しました: %1").arg(QString::fromUtf8(e.what()));
    }

    if (closing) {
        if (!failure.isEmpty()) f.SetStatus(failure);
        // The closing commands, where they can still be sent.
        try {
            // A run whose snapshot failed does not know the trigger mode to
            // restore and leaves it alone.
            if (normal && snapshotDone) SendToDSO(link, QStringLiteral("TRMD ") + f.DsoConfig.TriggerMode);
            SendToDSO(link, QStringLiteral("GTL"));
        } catch (const AppClosing&) {
            closing = false;
        } catch (const std::exception&) {
        }
    }
    if (closing) {
        f.WaveTransfer->setEnabled(true);
        f.StopAcqusition->setEnabled(false);
        f.Clear->setEnabled(true);
    }
    f.SetRunActive(false);
    f.SetLastOutcome(outcome);
    if (closing && !failure.isEmpty()) f.ShowFailure(failure, kConfirmTitle);
    emit f.RunFinished(outcome);
}
