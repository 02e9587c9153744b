#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <QtTest>

#include "view/FolderDialog.h"
#include "view/QtTranslations.h"

using namespace qm;

namespace {

// A scripted dialog: records what it was asked and answers as told.
class FakeDialog : public SaveFileDialog {
public:
    std::optional<QString> answer;
    QList<FileDialogRequest> asked;
    std::optional<QString> choose(const FileDialogRequest& r) override {
        asked << r;
        return answer;
    }
};

}  // namespace

class TstFolderDialog : public QObject {
    Q_OBJECT
    QTemporaryDir data_;  // the data folder

private slots:
    void initTestCase() { QVERIFY(data_.isValid()); }

    void splitFilePath_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("split");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("name");
        QTest::newRow("drive folder") << "D:\\meas\\run1.csv" << true << "D:\\meas" << "run1.csv";
        QTest::newRow("drive root") << "D:\\run1.csv" << true << "D:" << "run1.csv";
        QTest::newRow("slash path") << "/tmp/x/run1.csv" << true << "/tmp/x" << "run1.csv";
        QTest::newRow("slash root") << "/run1.csv" << true << "" << "run1.csv";
        QTest::newRow("last of mixed") << "C:\\a/b\\c.txt" << true << "C:\\a/b" << "c.txt";
        QTest::newRow("slash last") << "C:\\a\\b/c.txt" << true << "C:\\a\\b" << "c.txt";
        QTest::newRow("trailing separator") << "D:\\meas\\" << true << "D:\\meas" << "";
        QTest::newRow("no separator") << "run1.csv" << false << "keepF" << "keepN";
        QTest::newRow("empty") << "" << false << "keepF" << "keepN";
    }
    void splitFilePath() {
        QFETCH(QString, path);
        QFETCH(bool, split);
        QFETCH(QString, folder);
        QFETCH(QString, name);
        QString f = QStringLiteral("keepF"), n = QStringLiteral("keepN");
        QCOMPARE(SplitFilePath(path, f, n), split);
        QCOMPARE(f, folder);
        QCOMPARE(n, name);
    }

    void filterForQt() {
        QCOMPARE(ToQtFilter(kFolderDialogFilter), QStringLiteral("CSV (*.csv);;png (*.png);;*.* (*.*)"));
        QCOMPARE(ToQtFilter(QStringLiteral("Text|*.txt|orphan")), QStringLiteral("Text (*.txt)"));
        QCOMPARE(ToQtFilter(QString()), QString());
    }

    void choice_data() {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("chosenFolder");
        QTest::addColumn<QString>("header");
        const QString old = QStringLiteral("/old/folder");
        QTest::newRow("folder and name") << old << "D:\\meas\\run1.csv" << "D:\\meas" << "run1";
        QTest::newRow("several dots") << old << "D:\\meas\\a.b.csv" << "D:\\meas" << "a";
        QTest::newRow("no extension") << old << "D:\\meas\\run7" << "D:\\meas" << "run7";
        QTest::newRow("drive root") << old << "D:\\run1.csv" << "D:" << "run1";
        QTest::newRow("dialog path") << old << QDir::fromNativeSeparators(QStringLiteral("/srv/測定/x/run1.png"))
                                     << QDir::toNativeSeparators(QStringLiteral("/srv/測定/x")) << "run1";
        QTest::newRow("no separator keeps folder") << old << "lone.csv" << old << "lone";
        QTest::newRow("relative folder") << "out" << "lone.csv" << "out" << "lone";
    }
    void choice() {
        QFETCH(QString, folder);
        QFETCH(QString, chosen);
        QFETCH(QString, chosenFolder);
        QFETCH(QString, header);
        FakeDialog dlg;
        dlg.answer = chosen;
        const auto choice = ChooseOutputFile(dlg, folder, QStringLiteral("Sample"), data_.path());
        QCOMPARE(dlg.asked.size(), 1);
        QCOMPARE(dlg.asked[0].title, QStringLiteral("画面格納ファイルの選択"));
        // A relative folder lies in the data folder, whatever the current folder.
        QCOMPARE(dlg.asked[0].initialFolder, QDir::isRelativePath(folder) ? QDir::toNativeSeparators(QDir(data_.path()).filePath(folder)) : folder);
        QCOMPARE(dlg.asked[0].initialName, QStringLiteral("Sample"));
        QCOMPARE(dlg.asked[0].filter, QStringLiteral("CSV|*.csv|png|*.png|*.*|*.*"));
        QVERIFY(choice);
        QCOMPARE(choice->folder, chosenFolder);
        QCOMPARE(choice->header, header);
    }

    void cancelChoosesNothing() {
        FakeDialog dlg;
        QVERIFY(!ChooseOutputFile(dlg, QStringLiteral("/old/folder"), QStringLiteral("Sample"), data_.path()));
        QCOMPARE(dlg.asked.size(), 1);
    }

    // The real dialog: title, filter, start file, no overwrite question; the
    // chosen file is not created.
    void qtDialogChoiceAndCancel() {
        QTemporaryDir dir;
        QVERIFY(QFile(dir.filePath(QStringLiteral("run1.csv"))).open(QIODevice::WriteOnly));
        for (bool accept : {true, false}) {
            QString title;
            QStringList filters;
            bool noConfirm = false, saveMode = false, seen = false;
            QTimer poll;
            poll.setInterval(10);
            connect(&poll, &QTimer::timeout, this, [&] {
                auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                if (!d || seen) return;
                seen = true;
                title = d->windowTitle();
                filters = d->nameFilters();
                noConfirm = d->testOption(QFileDialog::DontConfirmOverwrite);
                saveMode = d->acceptMode() == QFileDialog::AcceptSave;
                if (accept) static_cast<QDialog*>(d)->accept();  // goes through the dialog's own accept
                else d->reject();
            });
            poll.start();
            QtSaveFileDialog qd;
            const std::optional<QString> got =
                qd.choose({FolderDialogTitle(), dir.path(), QStringLiteral("run1.csv"), kFolderDialogFilter});
            poll.stop();
            QVERIFY(seen);
            QCOMPARE(title, QStringLiteral("画面格納ファイルの選択"));
            QCOMPARE(filters, (QStringList{QStringLiteral("CSV (*.csv)"), QStringLiteral("png (*.png)"),
                                           QStringLiteral("*.* (*.*)")}));
            QVERIFY(noConfirm);
            QVERIFY(saveMode);
            if (accept) {
                QVERIFY(got.has_value());
                QCOMPARE(QFileInfo(*got).canonicalFilePath(),
                         QFileInfo(dir.filePath(QStringLiteral("run1.csv"))).canonicalFilePath());
            } else {
                QVERIFY(!got.has_value());
            }
        }
        // A new name: the path comes back, no file appears.
        QTimer poll;
        poll.setInterval(10);
        connect(&poll, &QTimer::timeout, this, [&] {
            if (auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) static_cast<QDialog*>(d)->accept();
        });
        poll.start();
        QtSaveFileDialog qd;
        const auto got = qd.choose({FolderDialogTitle(), dir.path(), QStringLiteral("fresh.png"), kFolderDialogFilter});
        poll.stop();
        QVERIFY(got.has_value());
        QCOMPARE(QFileInfo(*got).fileName(), QStringLiteral("fresh.png"));
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("fresh.png"))));
    }

    // Qt's own texts in the program's language; the detail columns (name,
    // size, type, date) each wide enough for their texts, side by side
    // without scrolling.
    void qtDialogLanguageAndColumns_data() {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("cancel");
        QTest::addColumn<QString>("fileNameLabel");
        QTest::newRow("Japanese") << "ja" << "キャンセル" << "ファイル名(&N):";
        QTest::newRow("English") << "en" << "Cancel" << "File &name:";
    }
    void qtDialogLanguageAndColumns() {
        QFETCH(QString, language);
        QFETCH(QString, cancel);
        QFETCH(QString, fileNameLabel);
        const QString error = InstallQtTranslations(*qApp, language);
#ifdef Q_OS_WIN
        if (!error.isEmpty()) QSKIP("no Qt catalogue beside the test program");
#endif
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QTemporaryDir dir;
        QVERIFY(QFile(dir.filePath(QStringLiteral("Sample_AM_LOG_with_a_long_name.csv"))).open(QIODevice::WriteOnly));
        QString cancelText, labelText;
        QStringList cut;
        bool seen = false;
        QTimer poll;
        poll.setInterval(10);
        connect(&poll, &QTimer::timeout, this, [&] {
            auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!d || seen) return;
            auto* tree = d->findChild<QTreeView*>(QStringLiteral("treeView"));
            if (!tree || !tree->model() || tree->model()->rowCount(tree->rootIndex()) == 0) return;  // not listed yet
            seen = true;
            cancelText = d->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->text();
            labelText = d->findChild<QLabel*>(QStringLiteral("fileNameLabel"))->text();
            const QFontMetrics fm(tree->font());
            const QModelIndex row = tree->model()->index(0, 0, tree->rootIndex());
            int total = 0;
            for (int c = 0; c < 4; ++c) {
                const QString text = row.sibling(0, c).data().toString();
                const int need = fm.horizontalAdvance(text) + (c == 0 ? 28 : 8);
                if (tree->header()->sectionSize(c) < need) cut << QStringLiteral("%1 (%2)").arg(c).arg(text);
                total += tree->header()->sectionSize(c);
            }
            if (total > tree->viewport()->width()) cut << QStringLiteral("wider than the view");
            d->reject();
        });
        poll.start();
        QtSaveFileDialog qd;
        qd.choose({FolderDialogTitle(), dir.path(), QStringLiteral("Sample"), kFolderDialogFilter});
        poll.stop();
        InstallQtTranslations(*qApp, QStringLiteral("en"));
        QVERIFY(seen);
        QCOMPARE(cancelText, cancel);
        QCOMPARE(labelText, fileNameLabel);
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QStringLiteral(", "))));
    }
};

QTEST_MAIN(TstFolderDialog)
#include "tst_folderdialog.moc"
