#include "engine/link/WindowsError.h"

#ifdef _WIN32
#include "engine/text/WinApi.h"

namespace qm {
QString WindowsErrorText(unsigned long code) {
    wchar_t* text = nullptr;
    const DWORD n =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, DWORD(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    const QString s = n ? QString::fromWCharArray(text, int(n)).trimmed() : QStringLiteral("error %1").arg(code);
    if (text) LocalFree(text);
    return s;
}
}  // namespace qm
#endif
