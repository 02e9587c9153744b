#pragma once
// The system's text for a Win32 or Winsock error code (Windows only).
#ifdef _WIN32
#include <QString>

namespace qm {
QString WindowsErrorText(unsigned long code);
}  // namespace qm
#endif
