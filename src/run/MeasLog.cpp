#include "run/MeasLog.h"

#include "app/MainForm.h"
#include "engine/text/AnsiText.h"
#include "engine/text/NumText.h"
#include "link/CommandLink.h"
#include "logview/AMLogForm.h"
#include "logview/FlexGrid.h"
#include "logview/LogFile.h"

#include <QLineEdit>
#include <array>
#include <cmath>

double MeasValue(const QString& reply) {
    std::array<QString, 3> item;
    Get_Items(reply, item);
    const auto v = qm::StrictNumber(item[0]);
    if (!v || !std::isfinite(*v)) return NoValue;
    return *v;
}

QString LogMeasurementCycle(MainForm& f, Link& link) {
    const int32_t cycle = f.CycleNo;
    QString missing;
    AMLogRecord& rec = f.AMLog.at(static_cast<size_t>(cycle));
    rec.Cycle = cycle;
    static const char* letters[] = {"A", "B", "C", "D"};
    for (int k = 0; k < 4; ++k) {
        const QString reply = SendGetResp(link, QStringLiteral("MSR%1?").arg(QLatin1String(letters[k])), 60.0f, 100);
        rec.Value[k] = MeasValue(reply);
        if (rec.Value[k] >= NoValue) missing += QLatin1String(letters[k]);
    }
    AMLogForm& form = f.LogForm();
    form.Form_Paint();
    f.AMLogFileName = f.FFolder->text() + qm::PathSep() + f.FHeadder->text() + QStringLiteral("_AM_LOG.csv");
    QString error;
    if (!AppendLogRowToFile(f.AMLogFileName, *form.AMLogGrid, f.LogGridRow, &error)) {
        f.SetStatus(error);
        f.Notify(error, kConfirmTitle);
    }
    f.LogGridRow = f.LogGridRow + 1;
    if (f.LogGridRow >= form.AMLogGrid->Rows()) f.LogGridRow = 5;
    return missing;
}
