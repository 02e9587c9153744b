#include "view/AMLogForm.h"

#include "engine/text/NumText.h"
#include "view/FlexGrid.h"
#include "view/GridOps.h"
#include "view/Vb.h"

#include <QCloseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

AMLogForm::AMLogForm() : QWidget(nullptr) {
    setWindowTitle(QStringLiteral("自動測定のログ"));
    setObjectName(QStringLiteral("AMLogForm"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    // Closing the main window ends the application even while this one is shown.
    setAttribute(Qt::WA_QuitOnClose, false);

    AMLogGrid = new FlexGrid(this);
    AMLogGrid->setObjectName(QStringLiteral("AMLogGrid"));
    AMLogGrid->SetCols(6);
    AMLogGrid->SetRows(LogHeaderRows);
    AMLogGrid->SetFixedRows(LogHeaderRows);
    AMLogGrid->SetFixedCols(1);

    TrendButton = new QPushButton(QStringLiteral("トレンド"), this);
    TrendButton->setObjectName(QStringLiteral("TrendButton"));
    TrendButton->setFixedSize(100, 24);
    connect(TrendButton, &QPushButton::clicked, this, &AMLogForm::trendRequested);

    // The grid follows the window's size; the button stays under it.
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 8, 4, 4);
    layout->setSpacing(4);
    layout->addWidget(AMLogGrid, 1);
    layout->addWidget(TrendButton, 0, Qt::AlignLeft);

    Form_Load();
    // Wide enough for every column without a horizontal scroll bar.
    resize(16 + GridWidthForColumns() + 4, 8 + 345 + 4 + 24 + 4);
}

int AMLogForm::GridWidthForColumns() const {
    int columns = 0;
    for (int c = 0; c < AMLogGrid->Cols(); ++c) columns += TwipsToPx(AMLogGrid->ColWidth(c));
    return columns + AMLogGrid->verticalScrollBar()->sizeHint().width() + 2 * AMLogGrid->frameWidth();
}

void AMLogForm::Form_Load() {
    AMLogGrid->SetRows(LogHeaderRows + LogRowCount);
    const double w = AMLogGrid->ColWidth(0);
    AMLogGrid->SetColWidth(0, int(qm::RoundHalfEven(0.7 * w)));
    AMLogGrid->SetColWidth(1, int(qm::RoundHalfEven(1.9 * w)));
    for (int c = 2; c <= 5; ++c) AMLogGrid->SetColWidth(c, int(qm::RoundHalfEven(1.3 * w)));
    Init_Log_Grid();
}

void AMLogForm::Init_Log_Grid() {
    SetGridRow(*AMLogGrid, 0, 5,
               {QString(), QStringLiteral("Time"), QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"),
                QStringLiteral("D")});
    SetGridColumn(*AMLogGrid, 0, 1, 3, {QStringLiteral("Ch"), QStringLiteral("Type"), QStringLiteral("Unit")});
}

void AMLogForm::AddRecord(const CycleRecord& record) {
    QStringList source, kind, unit;
    for (const MeasItemRecord& item : items_) {
        source << item.Source;
        kind << item.Kind;
        unit << item.Unit;
    }
    SetGridRow(*AMLogGrid, 1, 2, 5, source);
    SetGridRow(*AMLogGrid, 2, 2, 5, kind);
    SetGridRow(*AMLogGrid, 3, 2, 5, unit);

    QStringList texts = record.logCells();
    SetGridRow(*AMLogGrid, nextRow_, 5, texts);
    texts[0] = QStringLiteral("Last");
    SetGridRow(*AMLogGrid, 4, 5, texts);
    AMLogGrid->setVisible(true);
    if (++nextRow_ >= AMLogGrid->Rows()) nextRow_ = LogHeaderRows;
}

void AMLogForm::ResetGrid() {
    AMLogGrid->setVisible(false);
    AMLogGrid->Clear();
    Init_Log_Grid();
    AMLogGrid->setVisible(true);
    nextRow_ = LogHeaderRows;
}

void AMLogForm::closeEvent(QCloseEvent* event) {
    // Accepted, so the window is hidden (and closing every window at the end
    // of the application is not held up); it is never deleted on close.
    event->accept();
}
