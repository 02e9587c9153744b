// The program in English and in Japanese (QUILLMETER_APP): --lang and the
// choice saved in Quillmeter.ini, the status texts a headless run prints in
// each language, and the files it writes, which are the same bytes in both.
#include "app/AppOptions.h"
#include "app/Language.h"
#include "engine/settings/ProgramSettings.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using namespace qm;

namespace {

QString App() { return QString::fromLocal8Bit(qgetenv("QUILLMETER_APP")); }

// No display at all: a window would fail.
QProcessEnvironment Headless() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("nonexistent"));
    return env;
}

struct Ran {
    int exitCode = -1;
    QString out, err;
};

Ran Run(const QStringList& args) {
    QProcess p;
    p.setProcessEnvironment(Headless());
    p.start(App(), args);
    Ran r;
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished(5000);
        r.err = QStringLiteral("did not end");
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

// The log with the PC's time of every cycle (the second cell) blanked: what
// must be the same whatever the language.
QByteArray LogWithoutTimes(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return "<unreadable " + path.toUtf8() + ">";
    QList<QByteArray> lines = f.readAll().split('\n');
    for (QByteArray& line : lines) {
        QList<QByteArray> cells = line.split(',');
        bool cycle = false;
        cells.value(0).toInt(&cycle);
        if (cycle && cells.size() > 1) cells[1] = "<time>";
        line = cells.join(',');
    }
    return lines.join('\n');
}

const QRegularExpression kJapanese(QStringLiteral("[\\x{3000}-\\x{9fff}\\x{ff00}-\\x{ffef}]"));

}  // namespace

class TestLanguage : public QObject {
    Q_OBJECT
private slots:
    // --lang wins; else the window's saved choice; else Japanese. A saved
    // value that is no language counts as none.
    void languageOfStart_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("saved");
        QTest::addColumn<QString>("language");
        QTest::newRow("nothing") << QStringList{} << "" << "ja";
        QTest::newRow("saved en") << QStringList{} << "en" << "en";
        QTest::newRow("saved nonsense") << QStringList{} << "fr" << "ja";
        QTest::newRow("--lang en") << QStringList{"--lang", "en"} << "" << "en";
        QTest::newRow("--lang ja over saved en") << QStringList{"--lang", "ja"} << "en" << "ja";
        QTest::newRow("the last --lang") << QStringList{"--lang", "ja", "--lang", "en"} << "" << "en";
        QTest::newRow("a bad --lang: the saved one (the parser refuses it)") << QStringList{"--lang", "de"} << "en" << "en";
        QTest::newRow("--lang without a value") << QStringList{"--lang"} << "" << "ja";
    }
    void languageOfStart() {
        QFETCH(QStringList, args);
        QFETCH(QString, saved);
        QFETCH(QString, language);
        QTemporaryDir dir;
        if (!saved.isEmpty()) QCOMPARE(SaveLanguage(dir.path(), saved), QString());
        QCOMPARE(LanguageOfStart(QStringList{"--data-dir", dir.path()} + args), language);
    }

    void langOption_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("language");  // empty: a usage error naming --lang
        QTest::newRow("en") << QStringList{"--lang", "en"} << "en";
        QTest::newRow("ja") << QStringList{"--lang", "ja"} << "ja";
        QTest::newRow("EN") << QStringList{"--lang", "EN"} << "";
        QTest::newRow("de") << QStringList{"--lang", "de"} << "";
        QTest::newRow("empty") << QStringList{"--lang", ""} << "";
        QTest::newRow("no value") << QStringList{"--lang"} << "";
    }
    void langOption() {
        QFETCH(QStringList, args);
        QFETCH(QString, language);
        QString error;
        const auto o = ParseAppOptions(args, &error);
        QCOMPARE(bool(o), !language.isEmpty());
        if (o) QCOMPARE(o->language, language);
        else QVERIFY2(error.startsWith(QStringLiteral("--lang: ")), qPrintable(error));
    }

    // What a user types: --help and a usage error speak the language.
    void helpAndUsageError() {
        if (App().isEmpty()) QSKIP("QUILLMETER_APP not set");
        QTemporaryDir dir;
        const Ran en = Run({"--data-dir", dir.path(), "--lang", "en", "--help"});
        QCOMPARE(en.exitCode, 0);
        QVERIFY2(en.out.contains(QStringLiteral("tick or clear \"Log measurements\" for this start")), qPrintable(en.out));
        QVERIFY2(!en.out.contains(kJapanese), qPrintable(en.out));
        const Ran ja = Run({"--data-dir", dir.path(), "--help"});
        QVERIFY2(ja.out.contains(QStringLiteral("tick or clear 自動測定ログ for this start")), qPrintable(ja.out));
        // The choice saved in the window's settings file.
        QCOMPARE(SaveLanguage(dir.path(), QStringLiteral("en")), QString());
        QCOMPARE(Run({"--data-dir", dir.path(), "--help"}).out, en.out);
        const Ran bad = Run({"--lang", "fr", "--help"});
        QCOMPARE(bad.exitCode, 64);
        QVERIFY2(bad.err.startsWith(QStringLiteral("--lang: \"fr\" is not ja or en\n")), qPrintable(bad.err));
    }

    // The same headless run in both languages against the simulated
    // instrument: the status texts in the language, the log the same bytes.
    void headlessRunInBothLanguages_data() {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("trigger");
        QTest::addColumn<QString>("done");
        QTest::newRow("ja") << "ja" << QStringLiteral("トリガ待ちです") << QStringLiteral("動作完了しました");
        QTest::newRow("en") << "en" << QStringLiteral("Waiting for trigger") << QStringLiteral("Finished");
    }
    void headlessRunInBothLanguages() {
        if (App().isEmpty()) QSKIP("QUILLMETER_APP not set");
        QFETCH(QString, language);
        QFETCH(QString, trigger);
        QFETCH(QString, done);
        QTemporaryDir ja, other;
        const auto run = [](const QTemporaryDir& dir, const QString& lang) {
            return Run({"--headless", "--demo", "--log", "--repeat", "3", "--interval", "0", "--data-dir", dir.path(),
                        "--folder", dir.filePath("out"), "--name", "Sample", "--lang", lang, "--echo-status"});
        };
        const Ran r = run(other, language);
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        // The status texts, then the statistics (CSV: the same in both).
        QCOMPARE(r.out.count(trigger + QLatin1Char('\n')), 3);
        QVERIFY2(r.out.contains(done + QStringLiteral("\nSlot,Source,Type,Unit,Count")), qPrintable(r.out));
        if (language == QLatin1String("en")) {
            QVERIFY2(r.out.startsWith(QStringLiteral("Simulated instrument: 127.0.0.1:")), qPrintable(r.out));
            QVERIFY2(!r.out.contains(kJapanese) && !r.err.contains(kJapanese), qPrintable(r.out + r.err));
        }
        // The log as the Japanese run writes it, and the files' names.
        QVERIFY(run(ja, QStringLiteral("ja")).exitCode == 0);
        const QString log = QStringLiteral("out/Sample_AM_LOG.csv");
        QCOMPARE(LogWithoutTimes(other.filePath(log)), LogWithoutTimes(ja.filePath(log)));
        QCOMPARE(QDir(other.filePath("out")).entryList(QDir::Files), QDir(ja.filePath("out")).entryList(QDir::Files));
        QCOMPARE(QFileInfo(other.filePath("Resume302.txt")).exists(), QFileInfo(ja.filePath("Resume302.txt")).exists());
    }
};

QTEST_GUILESS_MAIN(TestLanguage)
#include "tst_language.moc"
