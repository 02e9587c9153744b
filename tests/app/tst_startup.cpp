// One start of the program with its window: the data folder, what the window
// shows from the resume file, the program's own settings and the command
// line, and the files written when it closes.
#include "app/AppOptions.h"
#include "app/Startup.h"
#include "engine/run/Questions.h"
#include "engine/run/Session.h"
#include "engine/settings/ProgramSettings.h"
#include "engine/text/AnsiText.h"
#include "engine/text/FileNames.h"
#include "view/AMLogForm.h"
#include "view/MainForm.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

using namespace qm;

namespace {

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray ResumeBytes(const QString& lines) { return ToAnsi(lines); }

// The window of one start, as main() makes it (with --demo's port when given).
struct Start {
    Startup startup;
    Session session;
    AutoQuestions questions;
    std::unique_ptr<MainForm> f;

    explicit Start(const AppOptions& options, quint16 demoPort = 0) : startup(options) {
        if (demoPort != 0) startup.useDemoInstrument(demoPort);
        f = std::make_unique<MainForm>(session, startup.viewOptions(), startup.viewSettings());
        f->setSettingsSaver([this](const ViewSettings& now) { return startup.saveAtClose(now); });
        f->setQuestions(&questions);
    }
    template <typename T>
    T* w(const char* name) const { return f->findChild<T*>(QLatin1String(name)); }
    QLineEdit* edit(const char* name) const { return w<QLineEdit>(name); }
    QCheckBox* box(const char* name) const { return w<QCheckBox>(name); }
    // The settings the resume file keeps, in its order, plus 自動測定ログ, as shown.
    QStringList shown() const {
        QStringList s{edit("IPAdressText")->text(), box("IFCheck")->isChecked() ? "1" : "0",
                      w<QComboBox>("ComList")->currentText()};
        for (const char* e : {"TRound", "LoopInterval", "FFolder", "FHeadder"}) s << edit(e)->text();
        for (const char* b : {"WaveSaveCheck", "DSScreenDispCheck", "DSScreenSaveCheck", "INVCheck", "ManualCheck", "AMLogOn"})
            s << (box(b)->isChecked() ? "1" : "0");
        return s;
    }
};

AppOptions Options(const QString& dataDir, const QStringList& flags = {}) {
    QString error;
    std::optional<AppOptions> o = ParseAppOptions(QStringList{"--data-dir", dataDir} + flags, &error);
    if (!o) qFatal("%s", qPrintable(error));
    o->assumeYes = true;  // no message box in a test
    return *o;
}

}  // namespace

class TstStartup : public QObject {
    Q_OBJECT
private slots:
    // A first start makes the data folder and its Data folder and shows the
    // defaults; at close the resume file holds what the user set and
    // Quillmeter.ini where the window was; the next start shows them again.
    void firstStartAndRoundTrip() {
        QTemporaryDir tmp;
        const QString data = tmp.filePath(QStringLiteral("Quillmeter"));  // not there yet
        const QString current = QDir::currentPath();
        {
            Start s(Options(data));
            QVERIFY(QDir(data).exists(QStringLiteral("Data")));
            QCOMPARE(QDir::currentPath(), current);  // the process stays where it was
            QCOMPARE(s.startup.dataFolder(), QDir::toNativeSeparators(data));
            QVERIFY(!QFile::exists(QDir(data).filePath("Resume302.txt")));
            const QString dataFolder = QDir::toNativeSeparators(data) + PathSep() + QStringLiteral("Data");
            QCOMPARE(s.shown(), (QStringList{"192.168.1.1", "0", "COM2", "1000", "0.1", dataFolder, "Sample",
                                             "0", "1", "0", "1", "1", "0"}));
            s.edit("IPAdressText")->setText(QStringLiteral("10.0.0.9"));
            s.box("IFCheck")->setChecked(true);
            s.w<QComboBox>("ComList")->setCurrentIndex(9);
            s.edit("TRound")->setText(QStringLiteral("25"));
            s.edit("LoopInterval")->setText(QStringLiteral("2.5"));
            s.edit("FFolder")->setText(QStringLiteral("/tmp/測定"));
            s.edit("FHeadder")->setText(QStringLiteral("run"));
            s.box("DSScreenDispCheck")->setChecked(false);
            s.box("DSScreenSaveCheck")->setChecked(true);
            s.box("ManualCheck")->setChecked(false);
            s.box("AMLogOn")->setChecked(true);
            s.f->show();
            QVERIFY(QTest::qWaitForWindowExposed(s.f.get()));
            s.f->close();
            QCOMPARE(s.f->exitCode(), 0);
        }
        QCOMPARE(ReadFile(QDir(data).filePath("Resume302.txt")),
                 ResumeBytes(QStringLiteral("IPアドレス,10.0.0.9\r\nUSBチェック, 1 \r\nComアドレス, 9 \r\n回数,25\r\n"
                                            "インターバル,2.5\r\nフォルダ,/tmp/測定\r\nファイルヘッダ,run\r\n"
                                            "csv波形格納チェック, 0 \r\nDS画面表示チェック, 0 \r\n"
                                            "DS画面格納チェック, 1 \r\nINVコマンドチェック, 1 \r\n"
                                            "Mnual継続チェック, 0 \r\n")));
        QSettings ini(QDir(data).filePath(QStringLiteral("Quillmeter.ini")), QSettings::IniFormat);
        QCOMPARE(ini.childGroups(), QStringList(QStringLiteral("Windows")));
        ini.beginGroup(QStringLiteral("Windows"));
        QCOMPARE(ini.childKeys(), (QStringList{"AMLogForm", "MainForm"}));
        Start again(Options(data));
        QCOMPARE(again.shown(), (QStringList{"10.0.0.9", "1", "COM10", "25", "2.5", "/tmp/測定", "run",
                                             "0", "0", "1", "1", "0", "0"}));  // 自動測定ログ not kept
    }

    // Every start ticks INVなし, makes an empty folder the Data folder and sets
    // the hidden CSV波形格納 by the waveform export; a grey check line from an
    // older file shows clear and is written back as it was.
    void startDefaultsAndGreyLines_data() {
        QTest::addColumn<bool>("waveform");
        QTest::newRow("plain start") << false;
        QTest::newRow("--waveform") << true;
    }
    void startDefaultsAndGreyLines() {
        QFETCH(bool, waveform);
        QTemporaryDir data;
        const QString resume = QDir(data.path()).filePath(QStringLiteral("Resume302.txt"));
        const QString lines = QStringLiteral("IPアドレス,127.0.0.1\r\nUSBチェック, 2 \r\nComアドレス, 1 \r\n回数,5\r\n"
                                             "インターバル,0\r\nフォルダ,\r\nファイルヘッダ,x\r\ncsv波形格納チェック, 1 \r\n"
                                             "DS画面表示チェック, 2 \r\nDS画面格納チェック, 0 \r\n"
                                             "INVコマンドチェック, 0 \r\nMnual継続チェック, 0 \r\n");
        QVERIFY(WriteFile(resume, ResumeBytes(lines)));
        const QString folder = QDir::toNativeSeparators(data.path()) + PathSep() + QStringLiteral("Data");
        {
            Start s(Options(data.path(), waveform ? QStringList{"--waveform"} : QStringList{}));
            QCOMPARE(s.shown(), (QStringList{"127.0.0.1", "0", "COM2", "5", "0", folder, "x",
                                             waveform ? "1" : "0", "0", "0", "1", "0", "0"}));
            QCOMPARE(s.box("WaveSaveCheck")->isHidden(), !waveform);
            s.f->close();
        }
        QString expected = lines;
        expected.replace(QStringLiteral("フォルダ,\r\n"), QStringLiteral("フォルダ,%1\r\n").arg(folder));
        expected.replace(QStringLiteral("INVコマンドチェック, 0 "), QStringLiteral("INVコマンドチェック, 1 "));
        if (!waveform) expected.replace(QStringLiteral("csv波形格納チェック, 1 "), QStringLiteral("csv波形格納チェック, 0 "));
        QCOMPARE(ReadFile(resume), ResumeBytes(expected));
    }

    // Settings given on the command line are shown for this start and not
    // written back; --demo points at the simulator for this start only.
    void flagsForOneStart() {
        QTemporaryDir data;
        QString before;
        {
            Start first(Options(data.path()));
            first.f->close();
            before = QString::fromLatin1(ReadFile(QDir(data.path()).filePath("Resume302.txt")).toHex());
        }
        {
            Start s(Options(data.path(), {"--log", "--no-screen-show", "--manual", "--interval", "7", "--repeat", "3",
                                          "--folder", data.filePath("f"), "--name", "n", "--com", "4", "--screen-png"}),
                    4711);
            QCOMPARE(s.shown(), (QStringList{"127.0.0.1", "0", "COM4", "3", "7", QDir::toNativeSeparators(data.filePath("f")),
                                             "n", "0", "0", "0", "1", "1", "1"}));
            QCOMPARE(s.startup.viewOptions().tcpPort, quint16(4711));
            // The title bar shows the version --version prints.
            QCOMPARE(QStringLiteral("Quillmeter %1\n").arg(s.startup.viewOptions().programVersion),
                     AppVersionText().section(QLatin1Char('\n'), 0, 0) + QLatin1Char('\n'));
            QCOMPARE(s.f->windowTitle(), QStringLiteral("Quillmeter(Ver%1)").arg(s.startup.viewOptions().programVersion));
            QVERIFY(s.w<QAction>("ScreenPngAction")->isChecked());
            QVERIFY(s.f->logForm().isVisible());
            s.f->close();
        }
        QCOMPARE(QString::fromLatin1(ReadFile(QDir(data.path()).filePath("Resume302.txt")).toHex()), before);
        QVERIFY(!LoadProgramSettings(data.path()).screenPngForDisplay);  // --screen-png is not kept
    }

    // 表示にも PNG を使う ticked in the menu is kept from one start to the next.
    void screenPngKept() {
        QTemporaryDir data;
        {
            Start s(Options(data.path()));
            QAction* png = s.w<QAction>("ScreenPngAction");
            QVERIFY(!png->isChecked());
            png->trigger();
            s.f->close();
        }
        QVERIFY(LoadProgramSettings(data.path()).screenPngForDisplay);
        Start again(Options(data.path()));
        QVERIFY(again.w<QAction>("ScreenPngAction")->isChecked());
    }

    // A resume file that cannot be replaced: the window says so, naming the
    // file, and the program ends with exit code 3.
    void resumeNotWritten() {
        QTemporaryDir data;
        const QString resume = QDir(data.path()).filePath(QStringLiteral("Resume302.txt"));
        {
            Start first(Options(data.path()));
            first.f->close();
        }
        const QByteArray old = ReadFile(resume);
        QVERIFY(QFile::setPermissions(resume, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        Start s(Options(data.path()));
        s.edit("FHeadder")->setText(QStringLiteral("changed"));
        QSignalSpy statuses(s.f.get(), &MainForm::statusShown);
        s.f->close();
        QCOMPARE(s.f->exitCode(), 3);
        QCOMPARE(statuses.size(), 1);
        const QString said = statuses[0][0].toString();
        QVERIFY2(said.contains(QDir::toNativeSeparators(resume)) && said.contains(QStringLiteral("読み取り専用です")),
                 qPrintable(said));
        QCOMPARE(ReadFile(resume), old);
    }
};

QTEST_MAIN(TstStartup)
#include "tst_startup.moc"
