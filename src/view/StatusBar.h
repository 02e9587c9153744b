#pragma once
// The status bar: panel 1 status text, 2 current date, 3 current time, and
// panel 4 beside panel 1, shown only while it has a text (the wait before the
// next cycle).
#include <QStatusBar>

class QLabel;
class QTimer;

namespace qm {

class StatusBar : public QStatusBar {
    Q_OBJECT
public:
    static constexpr int StatusPanel = 1;
    static constexpr int WaitPanel = 4;

    explicit StatusBar(QWidget* parent = nullptr);
    // Panels are numbered 1 to 4.
    void setPanelText(int panel, const QString& text);
    QString panelText(int panel) const;

private:
    void tick();
    QLabel* panels_[4];
    QTimer* clock_;
};

}  // namespace qm
