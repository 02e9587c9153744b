#!/usr/bin/env bash
# Cross-builds the Qt modules Quillmeter needs for 64-bit Windows with MinGW-w64
# (Debian's compiler and Debian's Qt source, same version as the host Qt tools)
# into a cache folder, so that Quillmeter can later be cross-built against it.
#
#   scripts/windows-qt.sh            build, or say "cached" when nothing is to do
#
# Environment:
#   QM_WINQT_DIR   cache folder (default ~/.cache/quillmeter-winqt)
#   QM_WINQT_JOBS  parallel compile jobs (default: number of cores)
#
# Layout of the cache folder:
#   src/qtbase-<ver>/        Debian's qtbase source, patches applied
#   build/qtbase-<ver>/      build tree (kept, so an interrupted build resumes)
#   qt-<ver>-mingw64/        the installed Qt for Windows, with .quillmeter-stamp
#   logs/                    output of each heavy step
#
# Heavy steps run under nice -n 19 (and ionice -c3), so they only take idle CPU.
# A stamp is written only after everything is installed and checked; a cache
# whose stamp is missing, of another version or options, or whose key files are
# gone, is wiped and built again.
set -Eeuo pipefail

QT_VERSION=6.4.2
QT_SRC_PACKAGE=qt6-base
TRIPLET=x86_64-w64-mingw32
HOST_PREFIX=/usr
HOST_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake

SCRIPT_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
TOOLCHAIN_SRC=$SCRIPT_DIR/windows/mingw-w64-x86_64-posix.cmake

ROOT=${QM_WINQT_DIR:-$HOME/.cache/quillmeter-winqt}
JOBS=${QM_WINQT_JOBS:-$(nproc)}
SRC_DIR=$ROOT/src
SRC=$SRC_DIR/qtbase-$QT_VERSION
BUILD=$ROOT/build/qtbase-$QT_VERSION
PREFIX=$ROOT/qt-$QT_VERSION-mingw64
LOGS=$ROOT/logs
STAMP=$PREFIX/.quillmeter-stamp
TOOLCHAIN=$PREFIX/toolchain/mingw-w64-x86_64-posix.cmake

PACKAGES=(cmake ninja-build perl dpkg-dev xz-utils file
          g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
          qt6-base-dev qt6-base-dev-tools wine64 fonts-dejavu-core)

# Files that a complete cache always has (relative to PREFIX).
KEY_FILES=(bin/Qt6Core.dll bin/Qt6Gui.dll bin/Qt6Widgets.dll bin/Qt6Network.dll bin/Qt6Test.dll bin/Qt6PrintSupport.dll
           plugins/platforms/qwindows.dll plugins/platforms/qoffscreen.dll
           plugins/platforms/qminimal.dll
           lib/libQt6Core.a lib/cmake/Qt6/Qt6Config.cmake lib/cmake/Qt6/qt.toolchain.cmake
           lib/cmake/Qt6Widgets/Qt6WidgetsConfig.cmake lib/cmake/Qt6Test/Qt6TestConfig.cmake
           bin/qt-cmake toolchain/mingw-w64-x86_64-posix.cmake
           bin/libstdc++-6.dll bin/libgcc_s_seh-1.dll bin/libwinpthread-1.dll
           lib/fonts/DejaVuSans.ttf)

# The MinGW runtime DLLs that every program built with this compiler needs; they
# are copied next to Qt's DLLs, so that one folder on the PATH (WINEPATH) is enough.
RUNTIME_DLLS=("/usr/lib/gcc/$TRIPLET/12-posix/libstdc++-6.dll"
              "/usr/lib/gcc/$TRIPLET/12-posix/libgcc_s_seh-1.dll"
              "/usr/$TRIPLET/lib/libwinpthread-1.dll")

# Only Core, Gui, Widgets, Network, Test and PrintSupport (QCustomPlot includes it), with the windows, offscreen and
# minimal platform plugins; image formats: those built into Gui (png, bmp, ppm, xpm).
# Keep direct2d on: in 6.4 Gui builds its DirectWrite font database only with
# direct2d, while the windows plugin uses it whenever directwrite3 is on.
QT_OPTIONS=(
  -DCMAKE_BUILD_TYPE=Release
  -DBUILD_SHARED_LIBS=ON
  -DQT_BUILD_EXAMPLES=OFF
  -DQT_BUILD_TESTS=OFF
  -DQT_BUILD_BENCHMARKS=OFF
  -DQT_BUILD_MANUAL_TESTS=OFF
  -DINPUT_opengl=dynamic
  -DFEATURE_tabletevent=OFF
  -DFEATURE_icu=OFF
  -DFEATURE_sql=OFF
  -DFEATURE_dbus=OFF
  -DFEATURE_printsupport=ON
  -DFEATURE_concurrent=OFF
  -DFEATURE_xml=OFF
  -DFEATURE_vulkan=OFF
  -DFEATURE_openssl=OFF
  -DFEATURE_zstd=OFF
  -DFEATURE_jpeg=OFF
  -DFEATURE_gif=OFF
  -DFEATURE_ico=OFF
  -DFEATURE_androiddeployqt=OFF
  -DFEATURE_pkg_config=OFF
  -DFEATURE_system_zlib=OFF
  -DFEATURE_system_png=OFF
  -DFEATURE_system_pcre2=OFF
  -DFEATURE_system_freetype=OFF
  -DFEATURE_system_harfbuzz=OFF
  -DFEATURE_system_doubleconversion=OFF
)

# --- step bookkeeping --------------------------------------------------------
START=$SECONDS
STEP="start"
STEP_LOG=""
STEP_START=$SECONDS

elapsed() { local s=$(( $1 )); printf '%dm%02ds' $((s / 60)) $((s % 60)); }

on_error() {
  local rc=$?
  trap - ERR
  echo >&2
  echo "windows-qt.sh: FAILED in step '$STEP' (exit code $rc) after $(elapsed $((SECONDS - START)))" >&2
  if [ -n "$STEP_LOG" ] && [ -f "$STEP_LOG" ]; then
    if grep -qE '^FAILED:|error:|Error' "$STEP_LOG"; then
      echo "---- errors in $STEP_LOG ----" >&2
      grep -E -A3 '^FAILED:|error:|CMake Error' "$STEP_LOG" | cut -c1-400 | head -n 40 >&2
    else
      echo "---- last lines of $STEP_LOG ----" >&2
      tail -n 40 "$STEP_LOG" >&2
    fi
    echo "---- full log: $STEP_LOG" >&2
  fi
  echo "No stamp was written; the next run starts this step again." >&2
  exit "$rc"
}
trap on_error ERR
trap 'echo "windows-qt.sh: interrupted in step '"'"'$STEP'"'"'" >&2; exit 130' INT TERM

step() {
  if [ "$STEP" != "start" ]; then
    echo "   done in $(elapsed $((SECONDS - STEP_START)))"
  fi
  STEP=$1
  STEP_LOG=""
  STEP_START=$SECONDS
  echo "== $STEP"
}

fail() { echo "windows-qt.sh: $*" >&2; false; }

# Runs a heavy command at idle priority, its output into a log file.
NICE=(nice -n 19)
if command -v ionice >/dev/null 2>&1; then NICE+=(ionice -c3); fi
run_logged() {
  STEP_LOG=$LOGS/$1.log
  shift
  echo "   log: $STEP_LOG"
  "${NICE[@]}" "$@" >"$STEP_LOG" 2>&1
}

print_usage_hint() {
  cat <<EOF

Qt $QT_VERSION for Windows (MinGW-w64 x86_64, posix threads) is in:
  $PREFIX
Toolchain file: $TOOLCHAIN (loaded by Qt's own toolchain file)

Configure a project against it with:
  cmake -S . -B build-win -G Ninja -DCMAKE_BUILD_TYPE=Release \\
    -DCMAKE_TOOLCHAIN_FILE=$PREFIX/lib/cmake/Qt6/qt.toolchain.cmake \\
    -DQT_HOST_PATH=$HOST_PREFIX -DQT_HOST_PATH_CMAKE_DIR=$HOST_CMAKE_DIR \\
    -DCMAKE_CROSSCOMPILING_EMULATOR=wine
(or, the same: $PREFIX/bin/qt-cmake -S . -B build-win -G Ninja)
Run the results with (wine does not pass QT_* variables such as QT_QPA_PLATFORM
on to Windows programs, so give the platform as an argument):
  WINEDEBUG=-all WINEPATH='$(winepath_hint)' wine prog.exe -platform offscreen
Qt Test under wine prints nothing on the console; write its log to a file:
  ... wine tst_x.exe -platform offscreen -o 'Z:\\tmp\\tst_x.txt,txt'
EOF
}

# Wine maps / to Z:, so a Linux path works as a Windows path after Z:.
winepath_hint() { local p="$PREFIX/bin"; echo "Z:${p//\//\\}"; }

# --- steps -------------------------------------------------------------------
step "install Debian packages"
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  echo "   installing: ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
else
  echo "   all present"
fi

step "check host tools"
host_qt=$(dpkg-query -W -f='${Version}' qt6-base-dev-tools)
case "$host_qt" in
  "$QT_VERSION"+*|"$QT_VERSION"-*) ;;
  *) fail "host Qt tools are $host_qt, but this script builds Qt $QT_VERSION; the two must match" ;;
esac
[ -f "$HOST_CMAKE_DIR/Qt6HostInfo/Qt6HostInfoConfig.cmake" ] \
  || fail "no host Qt CMake files in $HOST_CMAKE_DIR (package qt6-base-dev)"
command -v "$TRIPLET-g++-posix" >/dev/null || fail "$TRIPLET-g++-posix not found"
[ -f "$TOOLCHAIN_SRC" ] || fail "toolchain file $TOOLCHAIN_SRC is missing"
[[ $JOBS =~ ^[1-9][0-9]*$ ]] || fail "QM_WINQT_JOBS must be a positive number, not '$JOBS'"
compiler_version=$("$TRIPLET-g++-posix" --version | head -n 1)
echo "   host Qt tools $host_qt; $compiler_version"

# What the build tree depends on besides the options: when it changes, the build
# tree is thrown away (a new compiler is not seen by ninja's command lines).
tree_key=$( { echo "$QT_VERSION"; echo "$compiler_version"; cat "$TOOLCHAIN_SRC"; } \
            | sha256sum | cut -c1-16)
# Everything that decides what is built: a change of any of it means a rebuild.
options_hash=$( { echo "$QT_VERSION"; echo "$compiler_version"; echo "$host_qt";
                  printf '%s\n' "${QT_OPTIONS[@]}"; cat "$TOOLCHAIN_SRC"; } \
                | sha256sum | cut -c1-16)

step "check cache"
mkdir -p "$ROOT" "$LOGS"
exec 9>"$ROOT/.lock"
flock -n 9 || fail "another windows-qt.sh is running on $ROOT"

cache_problem() {
  [ -f "$STAMP" ] || { echo "no stamp"; return; }
  grep -qx "qt_version=$QT_VERSION" "$STAMP" || { echo "stamp is of another Qt version"; return; }
  grep -qx "options_hash=$options_hash" "$STAMP" || { echo "stamp is of other build options"; return; }
  grep -qx "complete=yes" "$STAMP" || { echo "stamp is incomplete"; return; }
  local f
  for f in "${KEY_FILES[@]}"; do
    [ -e "$PREFIX/$f" ] || { echo "missing $f"; return; }
  done
}
problem=$(cache_problem)
if [ -z "$problem" ]; then
  echo "cached: Qt $QT_VERSION for Windows is complete in $PREFIX (nothing to do)"
  print_usage_hint
  echo "Took $(elapsed $((SECONDS - START)))."
  exit 0
fi
if [ -d "$PREFIX" ]; then
  echo "   cache in $PREFIX is not usable ($problem): rebuilding"
else
  echo "   no cache yet: building"
fi
rm -f "$STAMP"

step "fetch qtbase source"
if [ -f "$SRC/.quillmeter-extracted" ] \
   && grep -q "QT_REPO_MODULE_VERSION \"$QT_VERSION\"" "$SRC/.cmake.conf" 2>/dev/null; then
  echo "   already extracted in $SRC"
else
  mkdir -p "$SRC_DIR"
  if ! apt-cache showsrc "$QT_SRC_PACKAGE" 2>/dev/null | grep -q "^Package: $QT_SRC_PACKAGE"; then
    # apt-get source needs deb-src entries; Debian's deb822 list has only "deb".
    src_list=/etc/apt/sources.list.d/debian.sources
    if [ -f "$src_list" ] && grep -q '^Types: deb$' "$src_list"; then
      echo "   enabling deb-src in $src_list"
      SUDO=""; if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
      $SUDO sed -i 's/^Types: deb$/Types: deb deb-src/' "$src_list"
      $SUDO apt-get update -qq
    fi
  fi
  cd "$SRC_DIR"
  rm -f "${QT_SRC_PACKAGE}"_*
  run_logged fetch-source apt-get source --download-only "$QT_SRC_PACKAGE"
  dsc=$(ls "${QT_SRC_PACKAGE}"_"$QT_VERSION"*.dsc)
  rm -rf "$SRC" "$SRC.tmp" "$BUILD"
  run_logged extract-source dpkg-source -x "$dsc" "$SRC.tmp"
  grep -q "QT_REPO_MODULE_VERSION \"$QT_VERSION\"" "$SRC.tmp/.cmake.conf" \
    || fail "the source in $SRC.tmp is not Qt $QT_VERSION"
  echo "$dsc" >"$SRC.tmp/.quillmeter-extracted"
  mv "$SRC.tmp" "$SRC"
  rm -f "${QT_SRC_PACKAGE}"_*
  cd - >/dev/null
fi

step "configure qtbase"
rm -rf "$PREFIX"
mkdir -p "$(dirname "$TOOLCHAIN")"
cp "$TOOLCHAIN_SRC" "$TOOLCHAIN"
# An interrupted or failed build resumes in its build tree. Other options get a
# fresh CMake cache but keep the compiled objects (ninja rebuilds what changed);
# another compiler or toolchain file gets a new build tree.
if [ -f "$BUILD/.quillmeter-tree" ] && [ "$(cat "$BUILD/.quillmeter-tree")" = "$tree_key" ]; then
  if [ "$(cat "$BUILD/.quillmeter-options" 2>/dev/null)" = "$options_hash" ]; then
    echo "   resuming in build tree $BUILD"
  else
    echo "   options changed: fresh CMake cache in $BUILD, compiled objects kept"
    rm -f "$BUILD/CMakeCache.txt" "$BUILD/.quillmeter-options"
  fi
else
  rm -rf "$BUILD"
fi
mkdir -p "$BUILD"
echo "$tree_key" >"$BUILD/.quillmeter-tree"
CONFIGURE=(cmake -S "$SRC" -B "$BUILD" -G Ninja
           -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN"
           -DCMAKE_INSTALL_PREFIX="$PREFIX"
           -DQT_HOST_PATH="$HOST_PREFIX"
           -DQT_HOST_PATH_CMAKE_DIR="$HOST_CMAKE_DIR"
           "${QT_OPTIONS[@]}")
run_logged configure "${CONFIGURE[@]}"
echo "$options_hash" >"$BUILD/.quillmeter-options"
grep -E '^ *(Qt (Gui|Widgets|Network|Testlib|Sql|D-Bus)|Dynamic OpenGL|Schannel|PNG|FreeType) ' \
  "$BUILD/config.summary" 2>/dev/null | sed 's/^ */   /' || true

step "build qtbase ($JOBS jobs)"
echo "   progress: grep '^\[' $LOGS/build.log | tail -n 1   (about 1200 steps)"
run_logged build cmake --build "$BUILD" --parallel "$JOBS"

step "install into the cache"
run_logged install cmake --install "$BUILD"

step "add the MinGW runtime DLLs"
for dll in "${RUNTIME_DLLS[@]}"; do
  [ -f "$dll" ] || fail "$dll not found (package g++-mingw-w64-x86-64-posix)"
  cp "$dll" "$PREFIX/bin/"
done

step "add fonts for the offscreen platform"
# On Windows the offscreen and minimal platforms read fonts only from
# <prefix>/lib/fonts (QT_QPA_FONTDIR would move it, but wine drops QT_* variables).
mkdir -p "$PREFIX/lib/fonts"
cp /usr/share/fonts/truetype/dejavu/DejaVuSans*.ttf "$PREFIX/lib/fonts/"

step "check the installed Qt"
for f in "${KEY_FILES[@]}"; do
  [ -e "$PREFIX/$f" ] || fail "after install, $PREFIX/$f is missing"
done
# The DLLs must be Windows x86-64 binaries.
file -L "$PREFIX/bin/Qt6Core.dll" | grep -q 'PE32+ executable (DLL).*x86-64' \
  || fail "$PREFIX/bin/Qt6Core.dll is not a 64-bit Windows DLL"

step "write stamp"
{
  echo "qt_version=$QT_VERSION"
  echo "source=$(cat "$SRC/.quillmeter-extracted")"
  echo "host_qt_tools=$host_qt"
  echo "compiler=$compiler_version"
  echo "options_hash=$options_hash"
  echo "configure_options=${QT_OPTIONS[*]}"
  echo "built_at=$(date -u +%Y-%m-%dT%H:%M:%SZ)"
  echo "build_seconds=$((SECONDS - START))"
  echo "complete=yes"
} >"$STAMP.tmp"
mv "$STAMP.tmp" "$STAMP"
echo "   $STAMP"

step "done"
print_usage_hint
echo "Took $(elapsed $((SECONDS - START)))."
