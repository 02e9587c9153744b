#include "view/VbCheckBox.h"

VbCheckBox::VbCheckBox(const QString& caption, QWidget* parent) : QCheckBox(caption, parent) {
    // A user click cycles between clear and ticked only.
    setTristate(false);
    connect(this, &QCheckBox::stateChanged, this, [this](int) { emit Click(); });
}

int VbCheckBox::Value() const {
    switch (checkState()) {
    case Qt::Unchecked: return 0;
    case Qt::Checked: return 1;
    case Qt::PartiallyChecked: return 2;
    }
    return 0;
}

bool VbCheckBox::SetValue(int v) {
    Qt::CheckState s;
    switch (v) {
    case 0: s = Qt::Unchecked; break;
    case 1: s = Qt::Checked; break;
    case 2: s = Qt::PartiallyChecked; break;
    default: return false;
    }
    if (s == Qt::PartiallyChecked) setTristate(true);
    setCheckState(s);  // stateChanged (and so Click) only when it changes
    if (s != Qt::PartiallyChecked) setTristate(false);
    return true;
}
