#include "engine/text/ItemText.h"

namespace qm {

int16_t splitItems(const QString& strL, std::span<QString> item) {
    const auto overflow = [&]() -> int16_t {
        if (item.size() > 0) item[0].clear();
        if (item.size() > 1) item[1].clear();
        return 2;
    };
    if (strL.size() > 32767) return overflow();
    QString line = strL;
    line.remove(QLatin1Char('\r'));
    line.remove(QLatin1Char('\n'));
    const qsizetype n = line.count(QLatin1Char(',')) + 1;
    if (n > static_cast<qsizetype>(item.size())) return overflow();
    qsizetype k = 0, start = 0;
    for (;;) {
        const qsizetype comma = line.indexOf(QLatin1Char(','), start);
        if (comma < 0) {
            item[size_t(k)] = line.mid(start);
            break;
        }
        item[size_t(k++)] = line.mid(start, comma - start);
        start = comma + 1;
    }
    return static_cast<int16_t>(n);
}

}  // namespace qm
