#pragma once
// The measurement item query: what one automatic-measurement slot (A to D)
// measures, and the unit its values are shown with.
#include <QString>
#include <array>

#include "engine/instrument/InstrumentConfig.h"
#include "link/CommandLink.h"
#include "engine/run/MeasRecords.h"

// The kinds whose unit is the vertical unit of the measured channel.
inline const std::array<QString, 10> MeasKindList = {
    QStringLiteral("MAX"),  QStringLiteral("MIN"), QStringLiteral("P-P"),    QStringLiteral("CVRMS"),
    QStringLiteral("CVMEAN"), QStringLiteral("TOP"), QStringLiteral("BASE"), QStringLiteral("T-B"),
    QStringLiteral("+OSHOT"), QStringLiteral("-OSHOT")};

// Selects the slot ("DIRM " + slotLetter), asks "MSEL?" and fills slot's
// Source, Kind and Unit. A channel source ("C" then a digit 1 to 5 as its last
// character; case-sensitive) has its unit asked with "Cd:VUNI?" and stored in
// DsoConfig.VUnit[d - 1] (digit 5 is the math trace's element). A source that
// begins with "C" but does not end in such a digit is no channel: no unit
// query, and its unit follows the rules of any other source ("s", "%" for DUTY).
void QueryMeasItem(Link& link, InstrumentConfig& DsoConfig, const QString& slotLetter, MeasItemRecord& slot);
