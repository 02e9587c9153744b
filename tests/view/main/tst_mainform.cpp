// The main window as a user sees it: its controls, the settings it keeps in
// the resume file from one start to the next, the log and screen windows, and
// runs started from it against the simulated instrument.
#include "engine/output/FileSinks.h"
#include "engine/run/Session.h"
#include "engine/settings/ProgramSettings.h"
#include "engine/text/AnsiText.h"
#include "support/SimLink.h"
#include "view/AMLogForm.h"
#include "view/FlexGrid.h"
#include "view/MainForm.h"
#include "view/StatusBar.h"
#include "view/VbCheckBox.h"
#include "view/WaveForm.h"
#include "view/WindowPlaces.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include "view/trend/TrendWindow.h"
#include <QtTest>
#include <memory>

namespace {

const QString kDone = QStringLiteral("動作完了しました");
const QString kTrigger = QStringLiteral("トリガ待ちです");
const QString kScreen = QStringLiteral("DS画面を転送中です");
const QStringList kEmptyRow(6, QString());
constexpr int kFar = 99999;  // in a table of places: at the screen's far edge

// A main window on its own session (with the log file) and data folder; with
// `withSim`, pointed at the simulated instrument on loopback.
struct Window {
    QTemporaryDir tmp;
    QString data;
    qmsim::SimInstrument sim;
    qmsim::SimTcpServer server{&sim};
    ScriptedQuestions ask;
    LogCsvSink logFile;
    Session session;
    std::unique_ptr<MainForm> f;

    explicit Window(QString dataDir = {}, AppOptions options = {}, bool withSim = false)
        : data(dataDir.isEmpty() ? tmp.path() : dataDir) {
        session.addSink(&logFile);
        options.dataDir = data;
        options.quitOnUnload = false;
        f = std::make_unique<MainForm>(session, options);
        f->SetQuestions(&ask);
        if (withSim) {
            server.listen(QHostAddress::LocalHost, 0);
            f->UseDemoInstrument(server.port());
            sim.config().triggerPolls = 1;  // the second poll after arming sees the trigger
            edit("FFolder")->setText(data);
            box("ManualCheck")->SetValue(0);
        }
    }
    template <typename T>
    T* w(const char* name) const { return f->findChild<T*>(QLatin1String(name)); }
    QLineEdit* edit(const char* name) const { return w<QLineEdit>(name); }
    VbCheckBox* box(const char* name) const { return w<VbCheckBox>(name); }
    QPushButton* button(const char* name) const { return w<QPushButton>(name); }
    QString cycleLabel() const { return w<QLabel>("CLoopCount")->text(); }
    QString file(const char* name) const { return QDir(data).filePath(QLatin1String(name)); }
    // The settings the resume file keeps, in its order, plus 自動測定ログ.
    QStringList settings() const {
        QStringList s{edit("IPAdressText")->text(), QString::number(box("IFCheck")->Value()),
                      w<QComboBox>("ComList")->currentText()};
        for (const char* e : {"TRound", "LoopInterval", "FFolder", "FHeadder"}) s << edit(e)->text();
        for (const char* b : {"WaveSaveCheck", "DSScreenDispCheck", "DSScreenSaveCheck", "INVCheck", "ManualCheck", "AMLogOn"})
            s << QString::number(box(b)->Value());
        return s;
    }
    // Enabled state of 測定開始, クリア, 測定中断.
    QString buttons() const {
        QString s;
        for (const char* n : {"WaveTransfer", "Clear", "StopAcqusition"}) s += button(n)->isEnabled() ? '1' : '0';
        return s;
    }
    RunOutcome run(int ms = 30000) {
        QSignalSpy finished(f.get(), &MainForm::RunFinished);
        button("WaveTransfer")->click();
        return finished.wait(ms) ? f->LastOutcome() : RunOutcome::Aborted;
    }
};

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

QStringList RowTexts(const FlexGrid& g, int r) {
    QStringList out;
    for (int c = 0; c < 6; ++c) out << g.TextMatrix(r, c);
    return out;
}

QStringList Texts(const QSignalSpy& spy) {
    QStringList out;
    for (const auto& args : spy) out << args.first().toString();
    return out;
}

}  // namespace

class TestMainForm : public QObject {
    Q_OBJECT
    QString startDir_;

private slots:
    void initTestCase() { startDir_ = QDir::currentPath(); }
    void cleanup() { QDir::setCurrent(startDir_); }  // the window moves into its data folder

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
        const QString dataFolder = QDir::toNativeSeparators(w.data) + qm::PathSep() + QStringLiteral("Data");
        QCOMPARE(w.settings(), (QStringList{"192.168.1.1", "0", "COM2", "1000", "0.1", dataFolder, "Sample",
                                            "0", "1", "0", "1", "1", "0"}));
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
        QVERIFY(bar->PanelText(1).isEmpty());
        QVERIFY(!bar->PanelText(2).isEmpty());                   // date
        QVERIFY(bar->PanelText(3).contains(QLatin1Char(':')));  // time
    }

    void firstStartAndResumeRoundTrip() {
        QTemporaryDir tmp;
        const QString data = tmp.filePath(QStringLiteral("Quillmeter"));  // not there yet
        {
            Window w(data);
            QVERIFY(QDir(data).exists(QStringLiteral("Data")));
            QCOMPARE(QDir::current().absolutePath(), QDir(data).absolutePath());
            QCOMPARE(w.f->AppFolder(), QDir::toNativeSeparators(data));
            QVERIFY(!QFile::exists(w.file("Resume302.txt")));
            w.edit("IPAdressText")->setText(QStringLiteral("10.0.0.9"));
            w.box("IFCheck")->SetValue(1);
            w.w<QComboBox>("ComList")->setCurrentIndex(9);
            w.edit("TRound")->setText(QStringLiteral("25"));
            w.edit("LoopInterval")->setText(QStringLiteral("2.5"));
            w.edit("FFolder")->setText(QStringLiteral("/tmp/測定"));
            w.edit("FHeadder")->setText(QStringLiteral("run"));
            w.box("DSScreenDispCheck")->SetValue(0);
            w.box("DSScreenSaveCheck")->SetValue(1);
            w.box("ManualCheck")->SetValue(0);
            w.box("AMLogOn")->SetValue(1);
            QSignalSpy unloaded(w.f.get(), &MainForm::FormUnloaded);
            w.f->close();
            QCOMPARE(unloaded.count(), 1);
            QVERIFY(!w.f->LogForm().isVisible());
            QCOMPARE(ReadFile(w.file("Resume302.txt")),
                     qm::ToAnsi(QStringLiteral("IPアドレス,10.0.0.9\r\nUSBチェック, 1 \r\nComアドレス, 9 \r\n回数,25\r\n"
                                               "インターバル,2.5\r\nフォルダ,/tmp/測定\r\nファイルヘッダ,run\r\n"
                                               "csv波形格納チェック, 0 \r\nDS画面表示チェック, 0 \r\n"
                                               "DS画面格納チェック, 1 \r\nINVコマンドチェック, 1 \r\n"
                                               "Mnual継続チェック, 0 \r\n")));
        }
        {
            Window w(data);
            QCOMPARE(w.settings(), (QStringList{"10.0.0.9", "1", "COM10", "25", "2.5", "/tmp/測定", "run",
                                                "0", "0", "1", "1", "0", "0"}));  // 自動測定ログ not kept
            // A port typed in that is not in the list is kept as no entry.
            w.w<QComboBox>("ComList")->setEditText(QStringLiteral("COM99"));
            w.f->close();
            QVERIFY(ReadFile(w.file("Resume302.txt")).contains(qm::ToAnsi(QStringLiteral("\r\nComアドレス,-1 \r\n"))));
        }
        Window w(data);
        QCOMPARE(w.w<QComboBox>("ComList")->currentIndex(), -1);
        QCOMPARE(w.w<QComboBox>("ComList")->currentText(), QString());
    }

    void startForcesHiddenBoxes_data() {
        QTest::addColumn<bool>("waveform");
        QTest::newRow("plain start") << false;
        QTest::newRow("--waveform") << true;
    }
    void startForcesHiddenBoxes() {
        QFETCH(bool, waveform);
        QTemporaryDir data;
        QFile r(QDir(data.path()).filePath(QStringLiteral("Resume302.txt")));
        QVERIFY(r.open(QIODevice::WriteOnly));
        r.write(qm::ToAnsi(QStringLiteral("IPアドレス,127.0.0.1\r\nUSBチェック, 0 \r\nComアドレス, 1 \r\n回数,5\r\n"
                                          "インターバル,0\r\nフォルダ,\r\nファイルヘッダ,x\r\ncsv波形格納チェック, 1 \r\n"
                                          "DS画面表示チェック, 0 \r\nDS画面格納チェック, 0 \r\n"
                                          "INVコマンドチェック, 0 \r\nMnual継続チェック, 0 \r\n")));
        r.close();
        AppOptions o;
        o.waveform = waveform;
        Window w(data.path(), o);
        // An empty folder becomes Data, INVなし is ticked again, CSV波形格納
        // follows the waveform export.
        const QString folder = QDir::toNativeSeparators(data.path()) + qm::PathSep() + QStringLiteral("Data");
        QCOMPARE(w.settings(), (QStringList{"127.0.0.1", "0", "COM2", "5", "0", folder, "x",
                                            waveform ? "1" : "0", "0", "0", "1", "0", "0"}));
        QCOMPARE(w.box("WaveSaveCheck")->isHidden(), !waveform);
        QCOMPARE(w.button("TransOnly")->isHidden(), !waveform);
    }

    void logWindowUnderTheMainWindow_data() {
        QTest::addColumn<bool>("logOn");
        QTest::newRow("plain start") << false;
        QTest::newRow("--log") << true;
    }
    void logWindowUnderTheMainWindow() {
        QFETCH(bool, logOn);
        AppOptions o;
        if (logOn) o.settings.log = true;
        Window w({}, o);
        AMLogForm& log = w.f->LogForm();
        // Shown at start only when 自動測定ログ is ticked.
        QCOMPARE(log.isVisible(), logOn);
        QCOMPARE(log.windowTitle(), QStringLiteral("自動測定のログ"));
        w.f->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.f.get()));
        w.box("AMLogOn")->SetValue(1);
        QVERIFY(log.isVisible());
        QTRY_COMPARE(log.frameGeometry().topLeft(), w.f->frameGeometry().bottomLeft() + QPoint(0, 1));
        w.box("AMLogOn")->SetValue(0);
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
        QTest::newRow("interval, 1.2 s") << int(RunWait::Kind::Interval) << 1200 << "次の測定まで 2 秒" << "次の測定まで 1 秒";
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
        QTRY_COMPARE(bar->PanelText(1), kScreen);
        QCOMPARE(bar->PanelText(StatusBar::WaitPanel), shown);
        QCOMPARE(bar->findChild<QLabel*>(QStringLiteral("Panel4"))->isVisible(), !shown.isEmpty());
        QCOMPARE(progress->value(), kind == int(RunWait::Kind::None) ? 100 : 0);
        if (!afterTick.isEmpty()) QTRY_COMPARE_WITH_TIMEOUT(bar->PanelText(StatusBar::WaitPanel), afterTick, 1500);
        // The wait ends: the panel is cleared and hidden.
        emit w.session.waitChanged(RunWait{});
        QTRY_VERIFY(bar->PanelText(StatusBar::WaitPanel).isEmpty());
        QVERIFY(!bar->findChild<QLabel*>(QStringLiteral("Panel4"))->isVisible());
        QCOMPARE(bar->PanelText(1), kScreen);
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
        QTemporaryDir data;
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QRect logPlace, trendPlace;
        {
            Window w(data.path());
            w.f->show();
            QVERIFY(QTest::qWaitForWindowExposed(w.f.get()));
            w.box("AMLogOn")->SetValue(1);
            w.f->LogForm().TrendButton->click();
            QVERIFY(w.f->Trend().isVisible());
            w.f->LogForm().setGeometry(120, 150, 640, 300);
            w.f->Trend().move(200, 60);
            w.f->move(mainAt);
            logPlace = w.f->LogForm().geometry();
            trendPlace = w.f->Trend().geometry();
            w.f->close();
        }
        QSettings ini(QDir(data.path()).filePath(QStringLiteral("Quillmeter.ini")), QSettings::IniFormat);
        QCOMPARE(ini.childGroups(), QStringList(QStringLiteral("Windows")));
        ini.beginGroup(QStringLiteral("Windows"));
        QCOMPARE(ini.childKeys(), (QStringList{"AMLogForm", "MainForm", "trendWindow"}));  // the screen window was never shown

        Window w(data.path());
        w.f->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.f.get()));
        const QRect back = w.f->frameGeometry();
        // On the screen (Qt may leave the frame's border a few pixels over).
        QVERIFY2(screen.adjusted(-4, -4, 4, 4).contains(back),
                 qPrintable(QStringLiteral("%1,%2 %3x%4").arg(back.x()).arg(back.y()).arg(back.width()).arg(back.height())));
        if (mainBack.x() >= 0) QCOMPARE(back.x(), mainBack.x());
        if (mainBack.y() >= 0) QCOMPARE(back.y(), mainBack.y());
        // The log window keeps its own place (not under the main window).
        w.box("AMLogOn")->SetValue(1);
        QTest::qWait(20);
        QCOMPARE(w.f->LogForm().geometry(), logPlace);
        w.f->LogForm().TrendButton->click();
        QCOMPARE(w.f->Trend().geometry(), trendPlace);
    }

    void runShowsRowsCycleLabelAndScreen() {
        Window w({}, {}, true);
        MainForm& f = *w.f;
        f.show();
        w.edit("TRound")->setText(QStringLiteral("2"));
        w.edit("LoopInterval")->setText(QStringLiteral("0"));
        w.box("AMLogOn")->SetValue(1);
        QSignalSpy statuses(&f, &MainForm::statusShown);
        QString duringRun;
        connect(&w.session, &Session::runStarted, &f, [&] { duringRun = w.buttons(); });

        QCOMPARE(w.run(), RunOutcome::Normal);
        QCOMPARE(duringRun, QStringLiteral("001"));
        QCOMPARE(w.buttons(), QStringLiteral("110"));
        QCOMPARE(w.ask.questions(),
                 QStringList(QStringLiteral("確認|インタフェースはTCP：127.0.0.1:%1です｡接続OK?").arg(w.server.port())));
        QCOMPARE(Texts(statuses), (QStringList{kTrigger, kScreen, kTrigger, kScreen, kDone}));
        QCOMPARE(w.w<StatusBar>("StatusBar1")->PanelText(1), kDone);
        QCOMPARE(w.w<QProgressBar>("ProgressBar1")->value(), 100);
        QCOMPARE(w.cycleLabel(), QStringLiteral("3/"));

        // The log window: the slots' sources, kinds and units, one row per
        // cycle, "Last" repeating the latest; the log file holds the same.
        const FlexGrid& g = *f.LogForm().AMLogGrid;
        QVERIFY(f.LogForm().isVisible());
        QCOMPARE(RowTexts(g, 1), (QStringList{"Ch", "", "C1", "C1", "C2", "C1"}));
        QCOMPARE(RowTexts(g, 2), (QStringList{"Type", "", "MAX", "P-P", "DUTY", "INTEGRAL"}));
        QCOMPARE(RowTexts(g, 3), (QStringList{"Unit", "", "V", "V", "%", "Vs"}));
        QCOMPARE(g.TextMatrix(5, 0), QStringLiteral("1"));
        QCOMPARE(g.TextMatrix(6, 0), QStringLiteral("2"));
        QVERIFY(!RowTexts(g, 6).contains(QString()));
        QCOMPARE(RowTexts(g, 4), QStringList{"Last"} + RowTexts(g, 6).mid(1));
        QCOMPARE(RowTexts(g, 7), kEmptyRow);
        const QList<QByteArray> lines = ReadFile(w.file("Sample_AM_LOG.csv")).split('\n');
        QCOMPARE(lines.size(), 4 + 2 + 1);
        QCOMPARE(qm::FromAnsi(lines[5]), RowTexts(g, 6).join(QLatin1Char(',')) + QLatin1Char('\r'));

        // The screen window shows the instrument's screen, right of the log window.
        WaveForm& screen = f.ScreenForm();
        QVERIFY(screen.isVisible());
        QCOMPARE(screen.DsScreen()->pixmap().size(), QSize(640, 480));
        QCOMPARE(screen.pos(), f.frameGeometry().topLeft() + QPoint(f.LogForm().frameGeometry().width(), 0));

        // The numbering goes on: past the count, a run makes one cycle.
        QCOMPARE(w.run(), RunOutcome::Normal);
        QCOMPARE(w.cycleLabel(), QStringLiteral("4/"));
        QCOMPARE(g.TextMatrix(7, 0), QStringLiteral("3"));

        // The trend window, opened from the log window, followed every cycle.
        f.LogForm().TrendButton->click();
        QVERIFY(f.Trend().isVisible());
        // Beside the log window, not over the main window.
        QCOMPARE(f.Trend().frameGeometry().left(), f.LogForm().frameGeometry().right() + 1);
        QVERIFY(!f.Trend().frameGeometry().intersects(f.frameGeometry()));
        QCOMPARE(f.Trend().log().stats(0).count(), 3);
        QCOMPARE(f.Trend().log().title(0), QStringLiteral("A: C1 MAX [V]"));

        // クリア: the count starts again; the grid and the fetched screen are gone.
        w.button("Clear")->click();
        QCOMPARE(w.cycleLabel(), QStringLiteral("1/"));
        QCOMPARE(RowTexts(g, 5), kEmptyRow);
        QCOMPARE(f.LogForm().NextRow(), 5);
        QCOMPARE(f.Trend().log().stats(0).count(), 0);
        VbCheckBox* show = w.box("DSScreenDispCheck");
        show->SetValue(0);
        QVERIFY(!screen.isVisible());
        show->SetValue(1);
        QVERIFY(screen.isVisible());
        QVERIFY(screen.DsScreen()->pixmap().isNull());
        QVERIFY(screen.close());  // closing the screen window clears the box
        QCOMPARE(show->Value(), 0);
    }

    void stopDuringTheInterval() {
        Window w({}, {}, true);
        w.edit("TRound")->setText(QStringLiteral("5"));
        w.edit("LoopInterval")->setText(QStringLiteral("30"));
        w.box("DSScreenDispCheck")->SetValue(0);
        QSignalSpy statuses(w.f.get(), &MainForm::statusShown);
        QSignalSpy finished(w.f.get(), &MainForm::RunFinished);
        w.button("WaveTransfer")->click();
        QTRY_COMPARE_WITH_TIMEOUT(w.cycleLabel(), QStringLiteral("2/"), 15000);
        QCOMPARE(w.buttons(), QStringLiteral("001"));
        // The wait shows as a countdown beside the status, with an empty bar.
        auto* bar = w.w<StatusBar>("StatusBar1");
        QTRY_VERIFY(bar->PanelText(StatusBar::WaitPanel).startsWith(QStringLiteral("次の測定まで ")));
        QCOMPARE(w.w<QProgressBar>("ProgressBar1")->value(), 0);
        w.button("StopAcqusition")->click();
        QVERIFY(!w.button("StopAcqusition")->isEnabled());
        QVERIFY(finished.wait(10000));  // well before the 30 s interval
        QCOMPARE(w.f->LastOutcome(), RunOutcome::Normal);
        QCOMPARE(Texts(statuses).last(), QStringLiteral("トリガ中断です"));
        QVERIFY(!Texts(statuses).contains(kDone));
        QCOMPARE(w.cycleLabel(), QStringLiteral("2/"));
        QCOMPARE(w.buttons(), QStringLiteral("110"));
        QCOMPARE(bar->PanelText(StatusBar::WaitPanel), QString());
        QTRY_COMPARE(w.sim.received().mid(w.sim.received().size() - 2), (QStringList{"TRMD AUTO", "GTL"}));
    }

    void closingDuringARun() {
        Window w({}, {}, true);
        w.edit("TRound")->setText(QStringLiteral("5"));
        w.edit("LoopInterval")->setText(QStringLiteral("30"));
        w.box("AMLogOn")->SetValue(1);
        QSignalSpy finished(w.f.get(), &MainForm::RunFinished);
        w.button("WaveTransfer")->click();
        QTRY_COMPARE_WITH_TIMEOUT(w.cycleLabel(), QStringLiteral("2/"), 15000);
        QVERIFY(w.f->ScreenForm().isVisible());
        const qsizetype sent = w.sim.received().size();
        w.f->close();
        QTRY_COMPARE(finished.count(), 1);
        QCOMPARE(w.f->LastOutcome(), RunOutcome::Aborted);
        QVERIFY(!w.f->RunActive());
        QVERIFY(!w.f->LogForm().isVisible());
        QVERIFY(!w.f->ScreenForm().isVisible());
        // The settings were kept; the run neither sent its closing commands
        // nor logged another cycle.
        QVERIFY(QFile::exists(w.file("Resume302.txt")));
        QTest::qWait(100);
        const QStringList after = w.sim.received().mid(sent);
        QVERIFY2(!after.contains(QStringLiteral("TRMD AUTO")) && !after.contains(QStringLiteral("GTL")),
                 qPrintable(after.join(QLatin1Char(' '))));
        QCOMPARE(ReadFile(w.file("Sample_AM_LOG.csv")).count('\n'), 4 + 1);
    }

    // 設定 > 表示にも PNG を使う: kept in Quillmeter.ini from one start to the
    // next; --screen-png ticks it for one start without writing it back. A run
    // then takes the one PNG for the screen window and the file.
    void screenPngSetting_data() {
        QTest::addColumn<bool>("fromCommandLine");
        QTest::newRow("ticked in the menu") << false;
        QTest::newRow("--screen-png") << true;
    }
    void screenPngSetting() {
        QFETCH(bool, fromCommandLine);
        QTemporaryDir data;
        AppOptions o;
        o.screenPng = fromCommandLine;
        {
            Window w(data.path(), o, true);
            auto* menu = w.w<QMenu>("SettingsMenu");
            auto* png = w.w<QAction>("ScreenPngAction");
            QVERIFY(menu && png);
            QCOMPARE(menu->title(), QStringLiteral("設定"));
            QCOMPARE(png->text(), QStringLiteral("表示にも PNG を使う"));
            QVERIFY(png->isCheckable());
            QCOMPARE(png->isChecked(), fromCommandLine);
            if (!fromCommandLine) png->trigger();
            QVERIFY(png->isChecked());
            w.edit("TRound")->setText(QStringLiteral("1"));
            w.box("DSScreenDispCheck")->SetValue(1);
            w.box("DSScreenSaveCheck")->SetValue(1);
            QCOMPARE(w.run(), RunOutcome::Normal);
            QCOMPARE(w.sim.receivedCount(QStringLiteral("TSCRN? png")), 1);
            QCOMPARE(w.sim.receivedCount(QStringLiteral("TSCRN? bmp")), 0);
            QCOMPARE(w.f->ScreenForm().DsScreen()->pixmap().size(), QSize(640, 480));
            QCOMPARE(ReadFile(w.file("BufferFile.png")), ReadFile(w.file("Sample_00001.png")));
            w.f->close();
        }
        QCOMPARE(qm::LoadProgramSettings(data.path()).screenPngForDisplay, !fromCommandLine);
        Window again(data.path());
        QAction* png = again.w<QAction>("ScreenPngAction");
        QCOMPARE(png->isChecked(), !fromCommandLine);
        png->setChecked(false);
        again.f->close();
        QVERIFY(!qm::LoadProgramSettings(data.path()).screenPngForDisplay);
    }
};

QTEST_MAIN(TestMainForm)
#include "tst_mainform.moc"
