// libFuzzer target: the header of a binary block ("#8" and eight length
// digits). Input: four bytes of limit (little-endian), then the header bytes
// (any length). A header is accepted only when it has ten bytes and a length
// within the limit; anything refused says why.
#include "engine/link/StreamTransport.h"

#include <QByteArray>
#include <cstdint>
#include <cstdlib>
#include <cstring>

using namespace qm;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    int32_t limit;
    std::memcpy(&limit, data, 4);
    const QByteArray head(reinterpret_cast<const char*>(data + 4), qsizetype(size - 4));
    const qm::BlockHeader h = qm::ParseBlockHeader(head, limit);
    if (h.n >= 0) {
        // Accepted: ten bytes, "#8", a length no larger than the limit.
        if (head.size() != 10 || !head.startsWith("#8") || h.n > limit || !h.error.isEmpty()) std::abort();
        // The length is the digits of the header, spaces around them.
        if (head.mid(2).trimmed().toInt() != h.n) std::abort();
    } else if (h.n != -1 || h.error.isEmpty()) {
        std::abort();
    }
    // The line rules on the same bytes: no CR, LF or NUL in a line, and
    // nothing but line ends counts as no text.
    const QByteArray line = qm::CutLine(head);
    if (line.contains('\r') || line.contains('\n') || line.contains('\0') || line.size() > head.size()) std::abort();
    return 0;
}
