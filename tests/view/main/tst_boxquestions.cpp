// The run's questions as boxes: the failed connection offers only what can
// be done (再試行, キャンセル), and the worker that asked gets the answer.
#include "engine/link/StopToken.h"
#include "view/BoxQuestions.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QThread>
#include <QtTest>
#include <atomic>

using namespace qm;

class TestBoxQuestions : public QObject {
    Q_OBJECT
private slots:
    void retryConnect_data() {
        QTest::addColumn<QString>("press");
        QTest::addColumn<bool>("answer");
        QTest::newRow("再試行") << "再試行" << true;
        QTest::newRow("キャンセル") << "キャンセル" << false;
    }
    void retryConnect() {
        QFETCH(QString, press);
        QFETCH(bool, answer);
        QWidget parent;
        BoxQuestions questions(&parent);
        qm::StopToken stop;
        std::atomic<int> got{-1};
        const QString text = QStringLiteral("装置が正しく接続されていません！\n127.0.0.1:47999: 接続を拒否されました");
        std::unique_ptr<QThread> asker(QThread::create([&] { got = questions.askRetryConnect(text, stop) ? 1 : 0; }));
        asker->start();
        QMessageBox* box = nullptr;
        QTRY_VERIFY((box = parent.findChild<QMessageBox*>()) != nullptr);
        QCOMPARE(box->windowTitle(), QStringLiteral("確認"));
        QCOMPARE(box->text(), text);
        QStringList captions;
        for (QAbstractButton* b : box->buttons()) captions << b->text();
        captions.sort();
        QStringList expected{QStringLiteral("キャンセル"), QStringLiteral("再試行")};
        expected.sort();
        QCOMPARE(captions, expected);
        for (QAbstractButton* b : box->buttons())
            if (b->text() == press) b->click();
        QTRY_COMPARE(got.load(), answer ? 1 : 0);
        QVERIFY(asker->wait(5000));
    }
};

QTEST_MAIN(TestBoxQuestions)
#include "tst_boxquestions.moc"
