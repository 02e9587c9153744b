#include "view/AMLogForm.h"

#include "view/LogGrid.h"
#include "view/LogTableModel.h"

#include <QCloseEvent>
#include <QPushButton>
#include <QVBoxLayout>

namespace qm {

namespace {
// Margins around the grid and the button, and the grid's first height.
constexpr int kLeft = 16, kTop = 8, kRight = 4, kBottom = 4, kSpacing = 4;
constexpr int kGridHeight = 345;
constexpr int kButtonWidth = 100, kButtonHeight = 24;
}  // namespace

AMLogForm::AMLogForm() : QWidget(nullptr), model_(new LogTableModel(this)) {
    setWindowTitle(tr("自動測定のログ"));
    setObjectName(QStringLiteral("AMLogForm"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    // Closing the main window ends the application even while this one is shown.
    setAttribute(Qt::WA_QuitOnClose, false);

    grid_ = new LogGrid(*model_, this);
    grid_->setObjectName(QStringLiteral("AMLogGrid"));

    trendButton_ = new QPushButton(tr("トレンド"), this);
    trendButton_->setObjectName(QStringLiteral("TrendButton"));
    trendButton_->setFixedSize(kButtonWidth, kButtonHeight);
    connect(trendButton_, &QPushButton::clicked, this, &AMLogForm::trendRequested);

    // The grid follows the window's size; the button stays under it.
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kLeft, kTop, kRight, kBottom);
    layout->setSpacing(kSpacing);
    layout->addWidget(grid_, 1);
    layout->addWidget(trendButton_, 0, Qt::AlignLeft);

    // Wide enough for every column without a horizontal scroll bar.
    resize(kLeft + grid_->widthForAllColumns() + kRight, kTop + kGridHeight + kSpacing + kButtonHeight + kBottom);
}

AMLogForm::~AMLogForm() = default;

void AMLogForm::setItems(const MeasItemArray& items) { model_->setItems(items); }

void AMLogForm::addRecord(const CycleRecord& record) { model_->addRecord(record); }

void AMLogForm::clear() { model_->clear(); }

void AMLogForm::closeEvent(QCloseEvent* event) {
    // Accepted, so the window is hidden (and closing every window at the end
    // of the application is not held up); it is never deleted on close.
    event->accept();
}

}  // namespace qm
