// The main window as a user sees it: its controls, the settings it shows and
// hands back at close, the log and screen windows, and runs started from it
// against the simulated instrument. (Where the settings come from and go to:
// tests/app/tst_startup.)
#include "engine/output/FileSinks.h"
#include "engine/run/Session.h"
#include "engine/text/AnsiText.h"
#include "support/SimLink.h"
#include "view/AMLogForm.h"
#include "view/FolderDialog.h"
#include "view/LogGrid.h"
#include "view/MainForm.h"
#include "view/StatusBar.h"
#include "view/WaveForm.h"
#include "view/WindowPlaces.h"
#include "view/trend/TrendWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

using namespace qm;

namespace {

const QString kDone = QStringLiteral("動作完了しました");
const QString kTrigger = QStringLiteral("トリガ待ちです");
const QString kScreen = QStringLiteral("DS画面を転送中です");
const QStringList kEmptyRow(6, QString());
constexpr int kFar = 99999;  // in a table of places: at the screen's far edge

// A main window on its own session (with the log file) and data folder,
// showing `settings`; with `withSim`, pointed at the simulated instrument on
// loopback. What it hands back at close is kept in `saved`.
struct Window {
    QTemporaryDir tmp;
    QString data;
    qmsim::SimInstrument sim;
    qmsim::SimTcpServer server{&sim};
    ScriptedQuestions ask;
    LogCsvSink logFile;
    Session session;
    QList<ViewSettings> saved;
    std::unique_ptr<MainForm> f;

    explicit Window(ViewSettings settings = {}, ViewOptions options = {}, bool withSim = false) : data(tmp.path()) {
        session.addSink(&logFile);
        options.dataFolder = data;
        options.programVersion = QStringLiteral("3.02");
        if (withSim) {
            server.listen(QHostAddress::LocalHost, 0);
            sim.config().triggerPolls = 1;  // the second poll after arming sees the trigger
            options.tcpPort = server.port();
            settings.controls.usb = false;
            settings.controls.ipAddress = QStringLiteral("127.0.0.1");
            settings.controls.folder = data;
            settings.controls.manual = false;
            settings.controls.waveSave = false;  // as every start without the waveform export
        }
        f = std::make_unique<MainForm>(session, options, settings);
        f->setQuestions(&ask);
        f->setSettingsSaver([this](const ViewSettings& now) {
            saved << now;
            return SettingsSaved{};
        });
    }
    template <typename T>
    T* w(const char* name) const { return f->findChild<T*>(QLatin1String(name)); }
    QLineEdit* edit(const char* name) const { return w<QLineEdit>(name); }
    QCheckBox* box(const char* name) const { return w<QCheckBox>(name); }
    QPushButton* button(const char* name) const { return w<QPushButton>(name); }
    QString cycleLabel() const { return w<QLabel>("CLoopCount")->text(); }
    QString file(const char* name) const { return QDir(data).filePath(QLatin1String(name)); }
    // The settings the resume file keeps, in its order, plus 自動測定ログ, as shown.
    QStringList shown() const {
        QStringList s{edit("IPAdressText")->text(), box("IFCheck")->isChecked() ? "1" : "0",
                      w<QComboBox>("ComList")->currentText()};
        for (const char* e : {"TRound", "LoopInterval", "FFolder", "FHeadder"}) s << edit(e)->text();
        for (const char* b : {"WaveSaveCheck", "DSScreenDispCheck", "DSScreenSaveCheck", "INVCheck", "ManualCheck", "AMLogOn"})
            s << (box(b)->isChecked() ? "1" : "0");
        return s;
    }
    // Enabled state of 測定開始, クリア, 測定中断.
    QString buttons() const {
        QString s;
        for (const char* n : {"WaveTransfer", "Clear", "StopAcqusition"}) s += button(n)->isEnabled() ? '1' : '0';
        return s;
    }
    RunOutcome run(int ms = 30000) {
        QSignalSpy finished(f.get(), &MainForm::runFinished);
        button("WaveTransfer")->click();
        return finished.wait(ms) ? f->lastOutcome() : RunOutcome::Aborted;
    }
};

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

// A row of the log grid as the user reads it (rows 0..4 frozen, lines from 5).
QStringList RowTexts(const LogGrid& g, int r) {
    QStringList out;
    for (int c = 0; c < 6; ++c) out << g.shownText(r, c);
    return out;
}

QStringList Texts(const QSignalSpy& spy) {
    QStringList out;
    for (const auto& args : spy) out << args.first().toString();
    return out;
}

// A save dialog that answers at once.
struct AnswerDialog : SaveFileDialog {
    QString answer;
    std::optional<QString> choose(const FileDialogRequest&) override { return answer; }
};

}  // namespace

class TestMainForm : public QObject {
    Q_OBJECT

private slots:
    void layoutAndDesignValues() {
        Window w;
        QCOMPARE(w.f->windowTitle(), QStringLiteral("Quillmeter(Ver3.02)"));
        const QList<std::pair<const char*, QString>> captions{
            {"Operation", "操作"}, {"WaitTimeF", "繰返間隔(s)"}, {"TCountF", "繰返回数(≦10000)"},
            {"FileSelF", "ファイル選択"}, {"IPADress", "装置"}, {"WaveTransfer", "測定開始"},
            {"StopAcqusition", "測定中断"}, {"TransOnly", "波形転送"}, {"Clear", "クリア"},
            {"SetFileFolder", "ファイル選択"}, {"AMLogOn", "自動測定ログ"}, {"ManualCheck", "マニュアル継続"},
            {"WaveSaveCheck", "CSV波形格納"}, {"DSScreenDispCheck", "DS画面表示"}, {"DSScreenSaveCheck", "DS画面格納"},
            {"INVCheck", "INVなし"}, {"IFCheck", "USB"}, {"FolderL", "フォルダ"}, {"FNameL", "名称ヘッダ"},
            {"IPAddressL", "IPｱﾄﾞﾚｽ"}, {"CLoopCount", "1/"}};
        QStringList expected, actual;
        for (const auto& [name, caption] : captions) {
            expected << QLatin1String(name) + QLatin1Char('=') + caption;
            QString seen = QStringLiteral("<missing>");
            if (auto* b = w.w<QAbstractButton>(name)) seen = b->text();
            else if (auto* l = w.w<QLabel>(name)) seen = l->text();
            else if (auto* g = w.w<QGroupBox>(name)) seen = g->title();
            actual << QLatin1String(name) + QLatin1Char('=') + seen;
        }
        QCOMPARE(actual, expected);
        QCOMPARE(w.shown(), (QStringList{"192.168.1.1", "0", "COM2", "1000", "0.1", "", "Sample",
                                         "1", "1", "0", "1", "1", "0"}));
        for (const char* hidden : {"TransOnly", "WaveSaveCheck", "INVCheck"})
            QVERIFY2(w.w<QWidget>(hidden)->isHidden(), hidden);
        QCOMPARE(w.buttons(), QStringLiteral("110"));

        auto* com = w.w<QComboBox>("ComList");
        QVERIFY(com->isEditable());
        QCOMPARE(com->count(), 16);
        QCOMPARE(com->itemText(0), QStringLiteral("COM1"));
        QCOMPARE(com->itemText(15), QStringLiteral("COM16"));
        auto* progress = w.w<QProgressBar>("ProgressBar1");
        QCOMPARE(QList<int>({progress->minimum(), progress->maximum(), progress->value()}), QList<int>({0, 100, 0}));
        auto* bar = w.w<StatusBar>("StatusBar1");
        QVERIFY(bar->panelText(1).isEmpty());
        QVERIFY(!bar->panelText(2).isEmpty());                   // date
        QVERIFY(bar->panelText(3).contains(QLatin1Char(':')));  // time
    }

    // The window shows the settings it is given and hands back what it shows:
    // what the user changed, and a list entry typed in that is not in the list
    // as no entry.
    void settingsShownAndHandedBack() {
        ViewSettings given;
        ResumeSettings& c = given.controls;
        c.ipAddress = QStringLiteral("10.0.0.9");
        c.usb = true;
        c.comIndex = 9;
        c.repeat = QStringLiteral("25");
        c.interval = QStringLiteral("2.5");
        c.folder = QStringLiteral("/tmp/測定");
        c.header = QStringLiteral("run");
        c.waveSave = false;
        c.screenShow = false;
        c.screenSave = true;
        c.manual = false;
        given.screenPngForDisplay = true;
        ViewOptions o;
        o.waveform = true;
        Window w(given, o);
        QCOMPARE(w.shown(), (QStringList{"10.0.0.9", "1", "COM10", "25", "2.5", "/tmp/測定", "run",
                                         "0", "0", "1", "1", "0", "0"}));
        QVERIFY(!w.box("WaveSaveCheck")->isHidden());
        QVERIFY(!w.button("TransOnly")->isHidden());
        QVERIFY(w.w<QAction>("ScreenPngAction")->isChecked());
        QCOMPARE(w.f->currentSettings().controls.header, QStringLiteral("run"));

        w.w<QComboBox>("ComList")->setEditText(QStringLiteral("COM99"));
        w.edit("FHeadder")->setText(QStringLiteral("next"));
        w.box("ManualCheck")->setChecked(true);
        w.f->close();
        QCOMPARE(w.saved.size(), 1);
        const ResumeSettings& back = w.saved[0].controls;
        QCOMPARE(back.comIndex, -1);
        QCOMPARE(back.header, QStringLiteral("next"));
        QVERIFY(back.manual && back.usb && back.screenSave && !back.screenShow);
        QVERIFY(w.saved[0].screenPngForDisplay);
        QVERIFY(!w.f->logForm().isVisible());
        w.f->close();  // closed once: handed back once
        QCOMPARE(w.saved.size(), 1);

        Window again(w.saved[0]);
        QCOMPARE(again.w<QComboBox>("ComList")->currentIndex(), -1);
        QCOMPARE(again.w<QComboBox>("ComList")->currentText(), QString());
    }

    // A check line grey in the resume file is shown clear; it stays grey in
    // what the window hands back until its box changes.
    void greyCheckLineUntilChanged() {
        ViewSettings given;
        given.controls.screenShow = false;
        given.controls.setGreyed(ResumeField::ScreenShow, true);
        given.controls.manual = false;
        given.controls.setGreyed(ResumeField::Manual, true);
        Window w(given);
        QVERIFY(!w.box("DSScreenDispCheck")->isChecked());
        w.box("ManualCheck")->setChecked(true);
        w.box("ManualCheck")->setChecked(false);
        const ResumeSettings back = w.f->currentSettings().controls;
        QVERIFY(back.greyed(ResumeField::ScreenShow));
        QVERIFY(!back.greyed(ResumeField::Manual));
    }

    // ファイル選択 takes the folder and the header from the chosen file.
    void chooseFile() {
        Window w;
        AnswerDialog dialog;
        dialog.answer = QDir::fromNativeSeparators(QStringLiteral("/srv/測定/x/run1.png"));
        w.f->setFileDialog(&dialog);
        QSignalSpy statuses(w.f.get(), &MainForm::statusShown);
        w.button("SetFileFolder")->click();
        QCOMPARE(w.edit("FFolder")->text(), QDir::toNativeSeparators(QStringLiteral("/srv/測定/x")));
        QCOMPARE(w.edit("FHeadder")->text(), QStringLiteral("run1"));
        QCOMPARE(Texts(statuses), QStringList{QStringLiteral("画面フォルダとファイルヘッダーは上図に示します")});
    }

    void logWindowUnderTheMainWindow_data() {
        QTest::addColumn<bool>("logOn");
        QTest::newRow("plain start") << false;
        QTest::newRow("--log") << true;
    }
    void logWindowUnderTheMainWindow() {
        QFETCH(bool, logOn);
        ViewSettings given;
        given.controls.logOn = logOn;
        Window w(given);
        AMLogForm& log = w.f->logForm();
        // Shown at start only when 自動測定ログ is ticked.
        QCOMPARE(log.isVisible(), logOn);
        QCOMPARE(log.windowTitle(), QStringLiteral("自動測定のログ"));
        w.f->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.f.get()));
        w.box("AMLogOn")->setChecked(true);
        QVERIFY(log.isVisible());
        QTRY_COMPARE(log.frameGeometry().topLeft(), w.f->frameGeometry().bottomLeft() + QPoint(0, 1));
        w.box("AMLogOn")->setChecked(false);
        QVERIFY(!log.isVisible());
    }

    // The panel beside the status counts down the wait between cycles; the
    // status itself stays, the progress bar empties.
    void waitPanel_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("msAhead");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("afterTick");  // one second on (empty: no change)
        QTest::newRow("interval, 8.5 s") << int(RunWait::Kind::Interval) << 8500 << "次の測定まで 9 秒" << "次の測定まで 8 秒";
        QTest::newRow("interval, 1.6 s") << int(RunWait::Kind::Interval) << 1600 << "次の測定まで 2 秒" << "次の測定まで 1 秒";
        QTest::newRow("interval, start passed") << int(RunWait::Kind::Interval) << -500 << "次の測定まで 0 秒" << "";
        QTest::newRow("question") << int(RunWait::Kind::Question) << 0 << "確認待ち" << "";
        QTest::newRow("no wait") << int(RunWait::Kind::None) << 0 << "" << "";
    }
    void waitPanel() {
        QFETCH(int, kind);
        QFETCH(int, msAhead);
        QFETCH(QString, shown);
        QFETCH(QString, afterTick);
        Window w;
        w.f->show();
        auto* bar = w.w<StatusBar>("StatusBar1");
        auto* progress = w.w<QProgressBar>("ProgressBar1");
        emit w.session.statusChanged(kScreen);
        emit w.session.progressChanged(100);
        emit w.session.waitChanged(
            RunWait{RunWait::Kind(kind), 3, QDateTime::currentDateTime().addMSecs(msAhead)});
        QTRY_COMPARE(bar->panelText(1), kScreen);
        QCOMPARE(bar->panelText(StatusBar::WaitPanel), shown);
        QCOMPARE(bar->findChild<QLabel*>(QStringLiteral("Panel4"))->isVisible(), !shown.isEmpty());
        QCOMPARE(progress->value(), kind == int(RunWait::Kind::None) ? 100 : 0);
        if (!afterTick.isEmpty()) QTRY_COMPARE_WITH_TIMEOUT(bar->panelText(StatusBar::WaitPanel), afterTick, 1500);
        // The wait ends: the panel is cleared and hidden.
        emit w.session.waitChanged(RunWait{});
        QTRY_VERIFY(bar->panelText(StatusBar::WaitPanel).isEmpty());
        QVERIFY(!bar->findChild<QLabel*>(QStringLiteral("Panel4"))->isVisible());
        QCOMPARE(bar->panelText(1), kScreen);
    }

    // A place on no screen comes onto the primary screen; one whose title bar
    // can still be taken stays.
    void keepOnScreen_data() {
        QTest::addColumn<QPoint>("at");
        QTest::addColumn<QPoint>("back");
        QTest::newRow("on the screen") << QPoint(100, 100) << QPoint(100, 100);
        QTest::newRow("partly left, grip shown") << QPoint(-200, 10) << QPoint(-200, 10);
        QTest::newRow("left, too little shown") << QPoint(-260, 10) << QPoint(0, 10);
        QTest::newRow("far right and below") << QPoint(5000, 5000) << QPoint(kFar, kFar);
        QTest::newRow("above") << QPoint(50, -190) << QPoint(50, 0);
    }
    void keepOnScreen() {
        QFETCH(QPoint, at);
        QFETCH(QPoint, back);
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QWidget win;
        win.resize(300, 200);
        win.move(at);
        KeepOnScreen(win);
        const QPoint expected(back.x() == kFar ? screen.right() + 1 - 300 : back.x(),
                              back.y() == kFar ? screen.bottom() + 1 - 200 : back.y());
        QCOMPARE(win.pos(), expected);
    }

    // Every window's place is kept in Quillmeter.ini at close and put back at
    // the next start; one that would lie on no screen comes back onto one.
    void windowPlacesKept_data() {
        QTest::addColumn<QPoint>("mainAt");
        QTest::addColumn<QPoint>("mainBack");  // -1: anywhere on the screen
        QTest::newRow("on the screen") << QPoint(30, 40) << QPoint(30, 40);
        QTest::newRow("screen gone, right") << QPoint(5000, 40) << QPoint(-1, 40);
        QTest::newRow("screen gone, above") << QPoint(30, -3000) << QPoint(30, -1);
    }
    void windowPlacesKept() {
        QFETCH(QPoint, mainAt);
        QFETCH(QPoint, mainBack);
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QRect logPlace, trendPlace;
        ViewSettings kept;
        {
            Window w;
            w.f->show();
            QVERIFY(QTest::qWaitForWindowExposed(w.f.get()));
            w.box("AMLogOn")->setChecked(true);
            w.f->logForm().trendButton().click();
            QVERIFY(w.f->trend().isVisible());
            w.f->logForm().setGeometry(120, 150, 640, 300);
            w.f->trend().move(200, 60);
            w.f->move(mainAt);
            logPlace = w.f->logForm().geometry();
            trendPlace = w.f->trend().geometry();
            w.f->close();
            QCOMPARE(w.saved.size(), 1);
            kept = w.saved[0];
        }
        // The screen window was never shown: it has no place yet.
        QCOMPARE(kept.windowPlaces.keys(), (QStringList{"AMLogForm", "MainForm", "trendWindow"}));

        Window w(kept);
        w.f->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.f.get()));
        const QRect back = w.f->frameGeometry();
        // On the screen (Qt may leave the frame's border a few pixels over).
        QVERIFY2(screen.adjusted(-4, -4, 4, 4).contains(back),
                 qPrintable(QStringLiteral("%1,%2 %3x%4").arg(back.x()).arg(back.y()).arg(back.width()).arg(back.height())));
        if (mainBack.x() >= 0) QCOMPARE(back.x(), mainBack.x());
        if (mainBack.y() >= 0) QCOMPARE(back.y(), mainBack.y());
        // The log window keeps its own place (not under the main window).
        w.box("AMLogOn")->setChecked(true);
        QTest::qWait(20);
        QCOMPARE(w.f->logForm().geometry(), logPlace);
        w.f->logForm().trendButton().click();
        QCOMPARE(w.f->trend().geometry(), trendPlace);
    }

    void runShowsRowsCycleLabelAndScreen() {
        Window w({}, {}, true);
        MainForm& f = *w.f;
        f.show();
        w.edit("TRound")->setText(QStringLiteral("2"));
        w.edit("LoopInterval")->setText(QStringLiteral("0"));
        w.box("AMLogOn")->setChecked(true);
        QSignalSpy statuses(&f, &MainForm::statusShown);
        QString duringRun;
        connect(&w.session, &Session::runStarted, &f, [&] { duringRun = w.buttons(); });

        QCOMPARE(w.run(), RunOutcome::Normal);
        QCOMPARE(duringRun, QStringLiteral("001"));
        QCOMPARE(w.buttons(), QStringLiteral("110"));
        QCOMPARE(w.ask.questions(),
                 QStringList(QStringLiteral("確認|インタフェースはTCP：127.0.0.1:%1です｡接続OK?").arg(w.server.port())));
        QCOMPARE(Texts(statuses), (QStringList{kTrigger, kScreen, kTrigger, kScreen, kDone}));
        QCOMPARE(w.w<StatusBar>("StatusBar1")->panelText(1), kDone);
        QCOMPARE(w.w<QProgressBar>("ProgressBar1")->value(), 100);
        QCOMPARE(w.cycleLabel(), QStringLiteral("3/"));

        // The log window: the slots' sources, kinds and units, one row per
        // cycle, "Last" repeating the latest; the log file holds the same.
        const LogGrid& g = f.logForm().grid();
        QVERIFY(f.logForm().isVisible());
        QCOMPARE(RowTexts(g, 1), (QStringList{"Ch", "", "C1", "C1", "C2", "C1"}));
        QCOMPARE(RowTexts(g, 2), (QStringList{"Type", "", "MAX", "P-P", "DUTY", "INTEGRAL"}));
        QCOMPARE(RowTexts(g, 3), (QStringList{"Unit", "", "V", "V", "%", "Vs"}));
        QCOMPARE(g.shownText(5, 0), QStringLiteral("1"));
        QCOMPARE(g.shownText(6, 0), QStringLiteral("2"));
        QVERIFY(!RowTexts(g, 6).contains(QString()));
        QCOMPARE(RowTexts(g, 4), QStringList{"Last"} + RowTexts(g, 6).mid(1));
        QCOMPARE(RowTexts(g, 7), kEmptyRow);
        const QList<QByteArray> lines = ReadFile(w.file("Sample_AM_LOG.csv")).split('\n');
        QCOMPARE(lines.size(), 4 + 2 + 1);
        QCOMPARE(qm::FromAnsi(lines[5]), RowTexts(g, 6).join(QLatin1Char(',')) + QLatin1Char('\r'));

        // The screen window shows the instrument's screen, right of the log window.
        WaveForm& screen = f.screenForm();
        QVERIFY(screen.isVisible());
        QCOMPARE(screen.picture().pixmap().size(), QSize(640, 480));
        QCOMPARE(screen.pos(), f.frameGeometry().topLeft() + QPoint(f.logForm().frameGeometry().width(), 0));

        // The numbering goes on: past the count, a run makes one cycle.
        QCOMPARE(w.run(), RunOutcome::Normal);
        QCOMPARE(w.cycleLabel(), QStringLiteral("4/"));
        QCOMPARE(g.shownText(7, 0), QStringLiteral("3"));

        // The trend window, opened from the log window, followed every cycle.
        f.logForm().trendButton().click();
        QVERIFY(f.trend().isVisible());
        // Beside the log window, not over the main window.
        QCOMPARE(f.trend().frameGeometry().left(), f.logForm().frameGeometry().right() + 1);
        QVERIFY(!f.trend().frameGeometry().intersects(f.frameGeometry()));
        QCOMPARE(f.trend().log().stats(0).count(), 3);
        QCOMPARE(f.trend().log().title(0), QStringLiteral("A: C1 MAX [V]"));

        // クリア: the count starts again; the grid and the fetched screen are
        // gone, and the next line takes the first row.
        w.button("Clear")->click();
        QCOMPARE(w.cycleLabel(), QStringLiteral("1/"));
        for (int r = 4; r <= 7; ++r) QCOMPARE(RowTexts(g, r), kEmptyRow);
        QCOMPARE(f.trend().log().stats(0).count(), 0);
        w.edit("TRound")->setText(QStringLiteral("1"));
        QCOMPARE(w.run(), RunOutcome::Normal);
        QCOMPARE(g.shownText(5, 0), QStringLiteral("1"));
        QCOMPARE(RowTexts(g, 6), kEmptyRow);
        QCheckBox* show = w.box("DSScreenDispCheck");
        show->setChecked(false);
        QVERIFY(!screen.isVisible());
        w.button("Clear")->click();
        show->setChecked(true);
        QVERIFY(screen.isVisible());
        QVERIFY(screen.picture().pixmap().isNull());
        QVERIFY(screen.close());  // closing the screen window clears the box
        QVERIFY(!show->isChecked());
    }

    void stopDuringTheInterval() {
        Window w({}, {}, true);
        w.edit("TRound")->setText(QStringLiteral("5"));
        w.edit("LoopInterval")->setText(QStringLiteral("30"));
        w.box("DSScreenDispCheck")->setChecked(false);
        QSignalSpy statuses(w.f.get(), &MainForm::statusShown);
        QSignalSpy finished(w.f.get(), &MainForm::runFinished);
        w.button("WaveTransfer")->click();
        QTRY_COMPARE_WITH_TIMEOUT(w.cycleLabel(), QStringLiteral("2/"), 15000);
        QCOMPARE(w.buttons(), QStringLiteral("001"));
        // The wait shows as a countdown beside the status, with an empty bar.
        auto* bar = w.w<StatusBar>("StatusBar1");
        QTRY_VERIFY(bar->panelText(StatusBar::WaitPanel).startsWith(QStringLiteral("次の測定まで ")));
        QCOMPARE(w.w<QProgressBar>("ProgressBar1")->value(), 0);
        w.button("StopAcqusition")->click();
        QVERIFY(!w.button("StopAcqusition")->isEnabled());
        QVERIFY(finished.wait(10000));  // well before the 30 s interval
        QCOMPARE(w.f->lastOutcome(), RunOutcome::Normal);
        QCOMPARE(Texts(statuses).last(), QStringLiteral("トリガ中断です"));
        QVERIFY(!Texts(statuses).contains(kDone));
        QCOMPARE(w.cycleLabel(), QStringLiteral("2/"));
        QCOMPARE(w.buttons(), QStringLiteral("110"));
        QCOMPARE(bar->panelText(StatusBar::WaitPanel), QString());
        QTRY_COMPARE(w.sim.received().mid(w.sim.received().size() - 2), (QStringList{"TRMD AUTO", "GTL"}));
    }

    void closingDuringARun() {
        Window w({}, {}, true);
        w.edit("TRound")->setText(QStringLiteral("5"));
        w.edit("LoopInterval")->setText(QStringLiteral("30"));
        w.box("AMLogOn")->setChecked(true);
        QSignalSpy finished(w.f.get(), &MainForm::runFinished);
        w.button("WaveTransfer")->click();
        QTRY_COMPARE_WITH_TIMEOUT(w.cycleLabel(), QStringLiteral("2/"), 15000);
        QVERIFY(w.f->screenForm().isVisible());
        const qsizetype sent = w.sim.received().size();
        w.f->close();
        QTRY_COMPARE(finished.count(), 1);
        QCOMPARE(w.f->lastOutcome(), RunOutcome::Aborted);
        QVERIFY(!w.f->runActive());
        QVERIFY(!w.f->logForm().isVisible());
        QVERIFY(!w.f->screenForm().isVisible());
        // The settings were handed back; the run neither sent its closing
        // commands nor logged another cycle.
        QCOMPARE(w.saved.size(), 1);
        QTest::qWait(100);
        const QStringList after = w.sim.received().mid(sent);
        QVERIFY2(!after.contains(QStringLiteral("TRMD AUTO")) && !after.contains(QStringLiteral("GTL")),
                 qPrintable(after.join(QLatin1Char(' '))));
        QCOMPARE(ReadFile(w.file("Sample_AM_LOG.csv")).count('\n'), 4 + 1);
    }

    // 設定 > 表示にも PNG を使う: the menu's item, shown as given; a run then
    // takes the one PNG for the screen window and the file.
    void screenPngSetting() {
        Window w({}, {}, true);
        auto* menu = w.w<QMenu>("SettingsMenu");
        auto* png = w.w<QAction>("ScreenPngAction");
        QVERIFY(menu && png);
        QCOMPARE(menu->title(), QStringLiteral("設定"));
        QCOMPARE(png->text(), QStringLiteral("表示にも PNG を使う"));
        QVERIFY(png->isCheckable());
        QVERIFY(!png->isChecked());
        png->trigger();
        QVERIFY(png->isChecked());
        QVERIFY(w.f->currentSettings().screenPngForDisplay);
        w.edit("TRound")->setText(QStringLiteral("1"));
        w.box("DSScreenDispCheck")->setChecked(true);
        w.box("DSScreenSaveCheck")->setChecked(true);
        QCOMPARE(w.run(), RunOutcome::Normal);
        QCOMPARE(w.sim.receivedCount(QStringLiteral("TSCRN? png")), 1);
        QCOMPARE(w.sim.receivedCount(QStringLiteral("TSCRN? bmp")), 0);
        QCOMPARE(w.f->screenForm().picture().pixmap().size(), QSize(640, 480));
        // Built from the data folder, whatever the current folder.
        QCOMPARE(ReadFile(w.file("BufferFile.png")), ReadFile(w.file("Sample_00001.png")));
        QVERIFY(QDir::current().absolutePath() != QDir(w.data).absolutePath());
    }

    // A relative output folder lies in the data folder, not in the current one.
    void relativeFolderInTheDataFolder() {
        Window w({}, {}, true);
        w.edit("FFolder")->setText(QStringLiteral("out"));
        w.edit("TRound")->setText(QStringLiteral("1"));
        w.box("AMLogOn")->setChecked(true);
        w.box("DSScreenDispCheck")->setChecked(false);
        QCOMPARE(w.run(), RunOutcome::Normal);
        QVERIFY(QFile::exists(QDir(w.data).filePath(QStringLiteral("out/Sample_AM_LOG.csv"))));
        QVERIFY(!QFile::exists(QStringLiteral("out/Sample_AM_LOG.csv")));
    }
};

QTEST_MAIN(TestMainForm)
#include "tst_mainform.moc"
