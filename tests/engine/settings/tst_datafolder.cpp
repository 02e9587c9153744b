// Where the data folder goes on each system, from what the environment says.
#include "engine/settings/DataFolder.h"

#include <QtTest>

using namespace qm;

Q_DECLARE_METATYPE(HostSystem)

class TstDataFolder : public QObject {
    Q_OBJECT
private slots:
    void dataDir_data() {
        QTest::addColumn<HostSystem>("system");
        QTest::addColumn<QString>("programData");
        QTest::addColumn<QString>("xdgDataHome");
        QTest::addColumn<QString>("home");
        QTest::addColumn<QString>("dir");
        const auto win = HostSystem::Windows;
        const auto nix = HostSystem::Unix;
        QTest::newRow("win: ProgramData") << win << "D:\\ProgramData" << "" << "" << "D:\\ProgramData\\Quillmeter";
        QTest::newRow("win: trailing backslash") << win << "C:\\ProgramData\\" << "" << "" << "C:\\ProgramData\\Quillmeter";
        QTest::newRow("win: drive root") << win << "E:\\" << "" << "" << "E:\\Quillmeter";
        QTest::newRow("win: slashes") << win << "C:/ProgramData/" << "" << "" << "C:\\ProgramData\\Quillmeter";
        QTest::newRow("win: network share") << win << "\\\\srv\\data" << "" << "" << "\\\\srv\\data\\Quillmeter";
        QTest::newRow("win: non-ASCII") << win << "C:\\データ" << "" << "" << "C:\\データ\\Quillmeter";
        QTest::newRow("win: unset") << win << "" << "" << "" << "C:\\ProgramData\\Quillmeter";
        QTest::newRow("win: relative") << win << "ProgramData" << "" << "" << "C:\\ProgramData\\Quillmeter";
        QTest::newRow("win: drive-relative") << win << "C:ProgramData" << "" << "" << "C:\\ProgramData\\Quillmeter";
        QTest::newRow("win: Unix variables ignored") << win << "" << "/xdg" << "/home/u" << "C:\\ProgramData\\Quillmeter";
        QTest::newRow("unix: XDG_DATA_HOME") << nix << "" << "/data/u" << "/home/u" << "/data/u/Quillmeter";
        QTest::newRow("unix: trailing slash") << nix << "" << "/data/u/" << "/home/u" << "/data/u/Quillmeter";
        QTest::newRow("unix: unset") << nix << "" << "" << "/home/u" << "/home/u/.local/share/Quillmeter";
        QTest::newRow("unix: relative XDG ignored") << nix << "" << "data" << "/home/u" << "/home/u/.local/share/Quillmeter";
        QTest::newRow("unix: home is root") << nix << "" << "" << "/" << "/.local/share/Quillmeter";
        QTest::newRow("unix: ProgramData ignored") << nix << "C:\\ProgramData" << "" << "/home/u"
                                                  << "/home/u/.local/share/Quillmeter";
    }
    void dataDir() {
        QFETCH(HostSystem, system);
        QFETCH(QString, programData);
        QFETCH(QString, xdgDataHome);
        QFETCH(QString, home);
        QFETCH(QString, dir);
        QCOMPARE(DataDirFor(system, {programData, xdgDataHome, home}), dir);
    }

    // The folder of this build's own system ends in Quillmeter and is absolute.
    void defaultDir() {
        const QString dir = DefaultDataDir();
        QVERIFY(dir.endsWith(QLatin1String("Quillmeter")));
        QVERIFY(QDir::isAbsolutePath(dir));
    }

    // A relative output folder lies in the data folder, whatever folder the
    // process is in.
    void outputFolder_data() {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("taken");
        const QString data = QDir::toNativeSeparators(QDir::tempPath() + QStringLiteral("/qmdata"));
        const QString absolute = QDir::toNativeSeparators(QDir::tempPath() + QStringLiteral("/meas"));
        QTest::newRow("relative") << "out/run1" << QDir::toNativeSeparators(data + QStringLiteral("/out/run1"));
        QTest::newRow("absolute") << absolute << absolute;
        QTest::newRow("empty") << "" << "";
    }
    void outputFolder() {
        QFETCH(QString, folder);
        QFETCH(QString, taken);
        const QString data = QDir::toNativeSeparators(QDir::tempPath() + QStringLiteral("/qmdata"));
        QCOMPARE(OutputFolderIn(data, folder), taken);
    }
};

QTEST_GUILESS_MAIN(TstDataFolder)
#include "tst_datafolder.moc"
