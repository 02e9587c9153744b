#include "view/StatusBar.h"

#include "engine/text/DateTimeText.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QLabel>
#include <QTimer>

namespace qm {

StatusBar::StatusBar(QWidget* parent) : QStatusBar(parent), clock_(new QTimer(this)) {
    setSizeGripEnabled(false);
    for (int i = 0; i < 4; ++i) {
        panels_[i] = new QLabel(this);
        panels_[i]->setFrameShape(QFrame::Panel);
        panels_[i]->setFrameShadow(QFrame::Sunken);
        panels_[i]->setObjectName(QStringLiteral("Panel%1").arg(i + 1));
    }
    // Panel 1 takes the bar's width less the others. Panel 4 keeps one width
    // while its count goes down, so panel 1 does not move every second.
    addWidget(panels_[0], 1);
    addWidget(panels_[3]);
    panels_[3]->setMinimumWidth(panels_[3]->fontMetrics().horizontalAdvance(
                                    QCoreApplication::translate("qm::MainForm", "次の測定まで %1 秒").arg(QStringLiteral("00000"))) +
                                2 * panels_[3]->frameWidth() + 6);
    panels_[3]->hide();
    addPermanentWidget(panels_[1]);
    addPermanentWidget(panels_[2]);
    connect(clock_, &QTimer::timeout, this, &StatusBar::tick);
    clock_->start(1000);
    tick();
}

void StatusBar::tick() {
    const QDateTime now = QDateTime::currentDateTime();
    panels_[1]->setText(ShortDateText(now.date()));
    panels_[2]->setText(LongTimeText(now.time()));
}

void StatusBar::setPanelText(int panel, const QString& text) {
    if (panel < 1 || panel > 4) return;
    panels_[panel - 1]->setText(text);
    if (panel == WaitPanel) panels_[panel - 1]->setVisible(!text.isEmpty());
}

QString StatusBar::panelText(int panel) const {
    if (panel < 1 || panel > 4) return {};
    return panels_[panel - 1]->text();
}

}  // namespace qm
