// Code page 932 conversion on arbitrary bytes: never crashes, and text that
// came from bytes goes back to bytes that read as the same text.
#include "engine/text/AnsiText.h"

#include <cstdint>
#include <cstdlib>

using namespace qm;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString text = qm::FromAnsi(bytes);
    const QByteArray again = qm::ToAnsi(text);
    // U+FFFD (bytes that are no text) has no place in the code page and comes
    // back as "?"; everything else must survive the second trip unchanged.
    if (!text.contains(QChar(0xFFFD)) && qm::FromAnsi(again) != text) std::abort();
    return 0;
}
