#include "logview/AMLogForm.h"

#include "engine/text/DateTimeText.h"
#include "engine/text/NumText.h"
#include "logview/FlexGrid.h"
#include "logview/GridOps.h"
#include "engine/text/SIFormat.h"

#include <QCloseEvent>

AMLogForm::AMLogForm(const LogViewRefs& refs) : QWidget(nullptr), refs_(refs) {
    setWindowTitle(QStringLiteral("自動測定のログ"));
    resize(517, 357);
    setAttribute(Qt::WA_DeleteOnClose, false);

    AMLogGrid = new FlexGrid(this);
    AMLogGrid->setObjectName(QStringLiteral("AMLogGrid"));
    AMLogGrid->setGeometry(16, 8, 497, 345);
    AMLogGrid->SetCols(6);
    AMLogGrid->SetRows(LogHeaderRows);
    AMLogGrid->SetFixedRows(LogHeaderRows);
    AMLogGrid->SetFixedCols(1);

    Form_Load();
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

void AMLogForm::Form_Paint() {
    const int32_t cycleNo = refs_.CycleNo;
    if (cycleNo >= 0 && cycleNo <= LogMaxCycle) {
        QStringList source, kind, unit;
        for (const MeasItemRecord& item : refs_.MeasItem) {
            source << item.Source;
            kind << item.Kind;
            unit << item.Unit;
        }
        SetGridRow(*AMLogGrid, 1, 2, 5, source);
        SetGridRow(*AMLogGrid, 2, 2, 5, kind);
        SetGridRow(*AMLogGrid, 3, 2, 5, unit);

        const AMLogRecord& rec = refs_.AMLog[size_t(cycleNo)];
        QStringList texts;
        texts << QString::number(rec.Cycle);
        refs_.DsoConfig.AcqTime = qm::NowDateTimeText();
        texts << refs_.DsoConfig.AcqTime;
        for (double v : rec.Value) texts << SICellText(v);

        const int32_t row = refs_.LogGridRow;
        if (row >= LogHeaderRows && row < AMLogGrid->Rows()) SetGridRow(*AMLogGrid, row, 5, texts);
        texts[0] = QStringLiteral("Last");
        SetGridRow(*AMLogGrid, 4, 5, texts);
    }
    AMLogGrid->setVisible(true);
}

void AMLogForm::ResetGrid() {
    AMLogGrid->setVisible(false);
    AMLogGrid->Clear();
    Init_Log_Grid();
    AMLogGrid->setVisible(true);
}

void AMLogForm::closeEvent(QCloseEvent* event) {
    // Accepted, so the window is hidden (and closing every window at the end
    // of the application is not held up); it is never deleted on close.
    event->accept();
}
