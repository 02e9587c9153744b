// The windows in both languages: every caption of a label, button, check box
// and group box fits its control (English texts often run longer than the
// Japanese ones they stand for); the language chosen in the window is saved
// in its settings file for the next start.
#include "engine/run/Session.h"
#include "engine/settings/ProgramSettings.h"
#include "view/AMLogForm.h"
#include "view/JapaneseFont.h"
#include "view/MainForm.h"
#include "view/StatusBar.h"
#include "view/trend/TrendWindow.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>
#include <memory>

using namespace qm;

namespace {

int Widest(const QFontMetrics& fm, const QString& text) {
    int w = 0;
    for (const QString& line : text.split(QLatin1Char('\n'))) w = std::max(w, fm.horizontalAdvance(line));
    return w;
}

// "Name \"caption\": needs N px, has M" for every visible caption of `top`
// wider than the room its control gives it.
QStringList Clipped(QWidget& top) {
    QStringList out;
    for (QWidget* w : top.findChildren<QWidget*>()) {
        if (!w->isVisibleTo(&top)) continue;
        const QFontMetrics fm = w->fontMetrics();
        QStyle* style = w->style();
        QString text;
        int need = 0, room = w->width();
        if (auto* l = qobject_cast<QLabel*>(w)) {
            if (l->wordWrap() || !l->pixmap().isNull()) continue;
            text = l->text();
            need = Widest(fm, text);
            room = l->contentsRect().width() - 2 * l->margin() - 2 * l->indent();
        } else if (qobject_cast<QCheckBox*>(w) || qobject_cast<QRadioButton*>(w)) {
            text = static_cast<QAbstractButton*>(w)->text();
            need = Widest(fm, text) + style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, w) +
                   style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, w);
        } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
            text = b->text();
            need = Widest(fm, text) + style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, w);
        } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
            text = g->title();
            need = Widest(fm, text);
        }
        if (!text.isEmpty() && need > room)
            out << QStringLiteral("%1 \"%2\": needs %3 px, has %4").arg(w->objectName(), text).arg(need).arg(room);
    }
    return out;
}

}  // namespace

class TestCaptions : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { UseJapaneseUiFont(*qApp); }

    void windowsFit_data() {
        QTest::addColumn<QString>("language");
        QTest::newRow("ja") << "ja";
        QTest::newRow("en") << "en";
    }
    void windowsFit() {
        QFETCH(QString, language);
        QTranslator catalogue;
        QVERIFY(catalogue.load(QStringLiteral(":/i18n/quillmeter_%1.qm").arg(language)));
        QVERIFY(QCoreApplication::installTranslator(&catalogue));
        QTemporaryDir dir;
        Session session;
        ViewOptions options;
        options.dataFolder = dir.path();
        options.waveform = true;  // every control shown
        options.language = language;
        auto main = std::make_unique<MainForm>(session, options, ViewSettings{});
        main->show();
        // The captions are in the language (one of each window).
        QCOMPARE(main->findChild<QPushButton*>(QStringLiteral("WaveTransfer"))->text(),
                 language == QLatin1String("en") ? QStringLiteral("Start") : QStringLiteral("測定開始"));
        AMLogForm log;
        log.show();
        TrendWindow trend(dir.path());
        trend.show();
        QCOMPARE(trend.windowTitle(), language == QLatin1String("en") ? QStringLiteral("Trend") : QStringLiteral("トレンド"));
        QCoreApplication::processEvents();
        // QM_CAPTION_SHOTS=DIR: the windows as images, to look at (under
        // Xvfb with QT_QPA_PLATFORM=xcb, or offscreen).
        if (const QString shots = qEnvironmentVariable("QM_CAPTION_SHOTS"); !shots.isEmpty())
            for (QWidget* w : std::initializer_list<QWidget*>{main.get(), &log, &trend})
                w->grab().save(QDir(shots).filePath(QStringLiteral("%1_%2.png").arg(w->objectName(), language)));
        for (QWidget* w : std::initializer_list<QWidget*>{main.get(), &log, &trend}) {
            const QStringList clipped = Clipped(*w);
            QVERIFY2(clipped.isEmpty(), qPrintable(w->objectName() + QStringLiteral(": ") + clipped.join(QStringLiteral("; "))));
        }
        main.reset();
        QCoreApplication::removeTranslator(&catalogue);
    }

    // 設定 > 言語 shows the language of this start; a choice goes to
    // Quillmeter.ini alone (not the resume file) and says when it applies.
    void languageChoiceIsSaved() {
        QTemporaryDir dir;
        Session session;
        ViewOptions options;
        options.dataFolder = dir.path();
        options.language = QStringLiteral("ja");
        MainForm main(session, options, ViewSettings{});
        auto* ja = main.findChild<QAction*>(QStringLiteral("Language_ja"));
        auto* en = main.findChild<QAction*>(QStringLiteral("Language_en"));
        QVERIFY(ja && en);
        QVERIFY(ja->isChecked() && !en->isChecked());
        QCOMPARE(en->text(), QStringLiteral("English"));
        QCOMPARE(ja->text(), QStringLiteral("日本語"));
        en->trigger();
        QCOMPARE(LoadProgramSettings(dir.path()).language, QStringLiteral("en"));
        QVERIFY(ja->isChecked() == false && en->isChecked());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("Quillmeter.ini")});
        QTRY_VERIFY(main.findChild<StatusBar*>(QStringLiteral("StatusBar1"))->panelText(StatusBar::StatusPanel).contains(QStringLiteral("次の起動")));
    }
};

QTEST_MAIN(TestCaptions)
#include "tst_captions.moc"
