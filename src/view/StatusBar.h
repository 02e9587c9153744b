#pragma once
// The status bar with three panels: 1 status text, 2 current date, 3 current time.
#include <QStatusBar>
#include <functional>

class QLabel;
class QTimer;

class StatusBar : public QStatusBar {
    Q_OBJECT
public:
    explicit StatusBar(QWidget* parent = nullptr);
    // Panels are numbered 1 to 3.
    void SetPanelText(int panel, const QString& text);
    QString PanelText(int panel) const;
    // Called with every text put into panel 1.
    std::function<void(const QString&)> onStatus;

private:
    void tick();
    QLabel* panels_[3];
    QTimer* clock_;
};
