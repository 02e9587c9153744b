#pragma once
// The status bar: panel 1 status text, 2 current date, 3 current time, and
// panel 4 beside panel 1, shown only while it has a text (the wait before the
// next cycle).
#include <QStatusBar>
#include <functional>

class QLabel;
class QTimer;

class StatusBar : public QStatusBar {
    Q_OBJECT
public:
    static constexpr int WaitPanel = 4;

    explicit StatusBar(QWidget* parent = nullptr);
    // Panels are numbered 1 to 4.
    void SetPanelText(int panel, const QString& text);
    QString PanelText(int panel) const;
    // Called with every text put into panel 1.
    std::function<void(const QString&)> onStatus;

private:
    void tick();
    QLabel* panels_[4];
    QTimer* clock_;
};
