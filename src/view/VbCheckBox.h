#pragma once
// A check box with the values 0 (clear), 1 (ticked) and 2 (grey). Setting the
// value from code behaves like a user click when the value changes: Click is
// emitted; setting the value it already has does nothing.
#include <QCheckBox>

class VbCheckBox : public QCheckBox {
    Q_OBJECT
public:
    explicit VbCheckBox(const QString& caption, QWidget* parent = nullptr);
    int Value() const;
    // Values outside 0..2 are refused (returns false, nothing changes).
    bool SetValue(int v);
    bool IsOn() const { return Value() == 1; }
signals:
    void Click();
};
