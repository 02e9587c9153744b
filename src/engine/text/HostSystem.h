#pragma once

namespace qm {

// The system whose rules a file or folder name follows.
enum class HostSystem { Windows, Unix };

#ifdef _WIN32
inline constexpr HostSystem kThisSystem = HostSystem::Windows;
#else
inline constexpr HostSystem kThisSystem = HostSystem::Unix;
#endif

}  // namespace qm
