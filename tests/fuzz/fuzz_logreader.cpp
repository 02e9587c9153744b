// Fuzz target: the log reader on any bytes. Besides not crashing, it checks
// that the streamed and the collected read agree, that counts and named lines
// fit together, and that no report is cut by a control character.
#include "engine/stats/LogReader.h"

#include <cstdint>
#include <cstdlib>

using namespace qm;

namespace {
bool Whole(const QString& text) {
    for (const QChar c : text)
        if (c.unicode() == 0) return false;
    return true;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString name = QStringLiteral("fuzz_AM_LOG.csv");
    int64_t streamed = 0;
    int32_t lastCycle = -1;
    const LogScan scan = ScanLogBytes(bytes, name, [&](const CycleRecord& r) {
        ++streamed;
        if (r.cycle < 0) std::abort();
        for (size_t k = 0; k < 4; ++k)
            if (r.hasValue(int(k)) != !r.cells[k].isEmpty()) std::abort();
        lastCycle = r.cycle;
    });
    if (streamed != scan.cycleCount) std::abort();
    if (scan.headerLines < 0 || scan.headerLines > 4) std::abort();
    if (scan.skippedCount < int64_t(scan.firstSkipped.size()) || scan.firstSkipped.size() > size_t(kLogSkippedShown)) std::abort();
    int64_t previous = 0;
    for (const LogSkippedLine& l : scan.firstSkipped) {
        if (l.line <= previous) std::abort();
        previous = l.line;
    }
    if (!scan.ok() && (scan.cycleCount > 0 || scan.headerLines > 0)) std::abort();
    if (!Whole(scan.error) || !Whole(scan.skippedText())) std::abort();

    const LogReadResult all = ReadLogBytes(bytes, name);
    if (all.ok() != scan.ok() || all.skippedCount != scan.skippedCount) std::abort();
    if (int64_t(all.cycles.size()) != (scan.ok() ? scan.cycleCount : 0)) std::abort();
    if (!all.cycles.empty() && all.cycles.back().cycle != lastCycle) std::abort();
    return 0;
}
