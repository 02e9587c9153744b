# CMake toolchain file: build for 64-bit Windows on Linux with Debian's
# MinGW-w64 cross compiler (posix threads variant, package g++-mingw-w64-x86-64-posix).
#
# scripts/windows-qt.sh copies this file into the Qt cache and builds Qt with it;
# Qt's own qt.toolchain.cmake (in <qt prefix>/lib/cmake/Qt6/) loads it again for
# projects configured against that Qt, so a project normally names only that one.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QM_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   ${QM_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QM_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER  ${QM_MINGW_TRIPLET}-windres)
set(CMAKE_AR           ${QM_MINGW_TRIPLET}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB       ${QM_MINGW_TRIPLET}-gcc-ranlib-posix CACHE FILEPATH "")

# Look for headers, libraries and CMake packages only in the MinGW sysroot (and in
# whatever a caller or Qt's toolchain file adds), never in the Linux host's /usr.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${QM_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Host .pc files describe Linux libraries: keep pkg-config away from them.
set(ENV{PKG_CONFIG_LIBDIR} "/usr/${QM_MINGW_TRIPLET}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

# Tests cross-built with this file can run under wine: pass
# -DCMAKE_CROSSCOMPILING_EMULATOR=wine to cmake for ctest to use it.
