#include "config/MeasItemQuery.h"

#include <algorithm>

namespace {
constexpr float kQueryTimeout = 60.0f;
constexpr int32_t kQueryMaxLen = 100;
}  // namespace

void QueryMeasItem(Link& link, InstrumentConfig& DsoConfig, const QString& slotLetter, MeasItemRecord& slot) {
    SendToDSO(link, QStringLiteral("DIRM ") + slotLetter);

    std::array<QString, 4> item;  // room for four items; more empties the first two
    Get_Items(SendGetResp(link, QStringLiteral("MSEL?"), kQueryTimeout, kQueryMaxLen), item);
    slot.Source = item[0];
    slot.Kind = item[1];

    // A channel source begins with an upper-case C and ends in the channel's
    // digit; 5 names the math trace's unit element.
    int n = -1;
    if (slot.Source.startsWith(QLatin1Char('C'))) {
        const QChar d = slot.Source.back();
        if (d >= QLatin1Char('1') && d <= QLatin1Char('5')) {
            n = d.unicode() - u'1';
            DsoConfig.VUnit[n] = SendGetResp(link, QStringLiteral("C") + d + QStringLiteral(":VUNI?"),
                                             kQueryTimeout, kQueryMaxLen);
        }
    }

    slot.Unit = QStringLiteral("s");
    if (slot.Kind == QStringLiteral("DUTY")) {
        slot.Unit = QStringLiteral("%");
    } else if (n >= 0) {
        if (slot.Kind == QStringLiteral("INTEGRAL")) slot.Unit = DsoConfig.VUnit[n] + QLatin1Char('s');
        else if (std::find(MeasKindList.begin(), MeasKindList.end(), slot.Kind) != MeasKindList.end())
            slot.Unit = DsoConfig.VUnit[n];
    }
}
