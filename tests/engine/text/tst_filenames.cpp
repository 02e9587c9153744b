// The output folder and file-name header a run starts with: what is refused,
// with what reason, and that the message shows the value whole.
#include "engine/text/FileNames.h"

#include <QTest>

using namespace qm;

class TstFileNames : public QObject {
    Q_OBJECT
private slots:
    void outputNames_data() {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("header");
        QTest::addColumn<bool>("windows");
        QTest::addColumn<QString>("problem");  // a part of the message; empty: accepted
        const QString unixFolder = QStringLiteral("/home/u/meas");
        const QString winFolder = QStringLiteral("C:\\meas");
        const auto row = [](const char* name, const QString& folder, const QString& header, bool windows, const QString& problem) {
            QTest::newRow(name) << folder << header << windows << problem;
        };
        // Headers, the same on every system.
        for (bool windows : {false, true}) {
            const QString folder = windows ? winFolder : unixFolder;
            const auto header = [&](const char* name, const QString& h, const QString& problem) {
                row(qPrintable(QStringLiteral("%1 on %2").arg(QLatin1String(name), windows ? "Windows" : "Unix")), folder, h,
                    windows, problem);
            };
            header("plain", "Sample", "");
            header("Japanese and dots", "試験_1.2", "");
            header("empty", "", "");
            header("like a device", "CONSOLE", "");
            header("device and more", "CON_1", "");
            header("COM10", "COM10", "");
            header("244 characters", QString(244, u'x'), "");
            header("escape upwards", "../../../escape", "名称ヘッダ \"../../../escape\" は使えません: フォルダの区切り");
            header("backslash", "a\\b", "フォルダの区切り");
            header("dot dot", "..", "\"..\" を含みます");
            header("dot dot inside", "a..b", "\"..\" を含みます");
            header("CON", "CON", "Windows の予約名 (CON)");
            header("nul with extension", "nul.txt", "Windows の予約名 (nul)");
            header("Lpt1", "Lpt1", "Windows の予約名 (Lpt1)");
            header("COM superscript", "COM\u00B9", "Windows の予約名");
            header("AUX and a space", "AUX .x", "Windows の予約名 (AUX)");
            header("colon", "a:b", "Windows で使えない文字 (:)");
            header("star", "*", "Windows で使えない文字 (*)");
            header("question", "a?", "Windows で使えない文字 (?)");
            header("angle", "a<b", "Windows で使えない文字 (<)");
            header("quote", "x\"y", "Windows で使えない文字 (\")");
            header("bar", "a|b", "Windows で使えない文字 (|)");
            header("trailing dot", "abc.", "末尾が");
            header("trailing space", "abc ", "末尾が");
            header("NUL byte", QStringLiteral("a") + QChar(0) + QStringLiteral("b"), "名称ヘッダ \"a\\0b\" は使えません: 制御文字 (\\0)");
            header("tab", "x\ty", "制御文字 (\\t)");
            header("245 characters", QString(245, u'x'), "長すぎます");
            header("246 bytes in UTF-8", QString(82, u'試'), "長すぎます");
        }
        // Folders: a Unix one may hold anything but control characters.
        row("unix folder", unixFolder, "S", false, "");
        row("unix folder with colon and star", "/tmp/a:b*", "S", false, "");
        row("unix relative with dot dot", "../meas", "S", false, "");
        row("unix empty", "", "S", false, "出力フォルダ \"\" は使えません: 空です");
        row("unix control", QStringLiteral("/tmp/a\x01"), "S", false, "出力フォルダ \"/tmp/a\\x01\" は使えません: 制御文字 (\\x01)");
        row("windows folder", winFolder + "\\run 1", "S", true, "");
        row("windows forward slashes", "C:/meas/run1", "S", true, "");
        row("windows drive only", "D:", "S", true, "");
        row("windows share", "\\\\server\\share\\meas", "S", true, "");
        row("windows long path", "\\\\?\\C:\\meas\\long", "S", true, "");
        row("windows relative", "..\\meas", "S", true, "");
        row("windows colon", "C:\\a:b", "S", true, "Windows で使えない文字 (:)");
        row("windows device folder", "C:\\meas\\CON\\x", "S", true, "Windows の予約名 (CON)");
        row("windows device with extension", "C:\\meas\\aux.txt", "S", true, "Windows の予約名 (aux)");
        row("windows trailing dot", "C:\\meas.\\x", "S", true, "末尾が");
        row("windows question", "C:\\me?as", "S", true, "Windows で使えない文字 (?)");
        row("windows control", QStringLiteral("C:\\a\x1f"), "S", true, "制御文字 (\\x1f)");
        row("folder before header", "C:\\a|b", "CON", true, "出力フォルダ");
    }
    void outputNames() {
        QFETCH(QString, folder);
        QFETCH(QString, header);
        QFETCH(bool, windows);
        QFETCH(QString, problem);
        const QString message = qm::OutputNameProblem(folder, header, windows ? qm::HostSystem::Windows : qm::HostSystem::Unix);
        if (problem.isEmpty()) {
            QVERIFY2(message.isEmpty(), qPrintable(message));
            return;
        }
        QVERIFY2(message.contains(problem), qPrintable(message));
        // The message is whole: no control character cuts or garbles it.
        for (const QChar c : message) QVERIFY2(c.unicode() >= 0x20, qPrintable(message));
    }
};

QTEST_GUILESS_MAIN(TstFileNames)
#include "tst_filenames.moc"
