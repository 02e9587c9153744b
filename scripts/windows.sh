#!/usr/bin/env bash
# Builds Quillmeter for 64-bit Windows on this Debian machine and tests it
# under wine, then packs dist/quillmeter-<version>-qt<Qt version>-windows-x64.zip
# (with dist/quillmeter-windows-x64.zip pointing at it) and the installer
# dist/quillmeter-<version>-setup.exe.
#
#   bash scripts/windows.sh
#
# Steps: Debian packages; Qt for Windows (scripts/windows-qt.sh, cached in
# ~/.cache/quillmeter-winqt or $QM_WINQT_DIR); the QCustomPlot source (Debian's
# source package), a copy of Debian's Boost headers and a static libmosquitto
# built from Debian's source (cached there too); the cross-build in
# build-win/; the unit tests under wine; an end-to-end headless run of the
# packed quillmeter.exe against the Linux quillmeter-sim (built in
# build-win-host/); serial under wine through a pty mapped to COM5 (reported,
# not required); --mqtt to Debian's mosquitto (reported, not required); the
# installer (scripts/windows-installer.sh, NSIS) made from the zip's files and
# tested under wine: an older version installed and run, the upgrade, the
# installed program end to end, the uninstaller; the zip and the installer.
# The Linux build folders (build/, build-test/, ...) are never touched. It
# stops at the first failing step; the zip and the installer are written only
# when everything before them passed.
#
# Environment: QM_WINQT_DIR (cache), QM_WINQT_JOBS (compile jobs),
# QM_WINE_TIMEOUT (seconds a test program may run under wine, default 600).
set -Eeuo pipefail

ROOT_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT_DIR"

QT_VERSION=6.4.2
TRIPLET=x86_64-w64-mingw32
CACHE=${QM_WINQT_DIR:-$HOME/.cache/quillmeter-winqt}
QT_PREFIX=$CACHE/qt-$QT_VERSION-mingw64
JOBS=${QM_WINQT_JOBS:-$(nproc)}
WINE_TIMEOUT=${QM_WINE_TIMEOUT:-600}
BUILD=$ROOT_DIR/build-win
HOST_BUILD=$ROOT_DIR/build-win-host
DIST=$ROOT_DIR/dist
WORK=$BUILD/check                  # test output, e2e folders, the pty link
LOGS=$ROOT_DIR/build-win-logs      # output of the configure and build steps
export WINEPREFIX=$CACHE/wine      # a wine prefix of its own, not ~/.wine
export WINEDEBUG=-all
# No Mono/Gecko installer prompts; no menu entries of wine's on this machine
# for the installer's shortcut.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
export WINEARCH=win64

VERSION=$(sed -n 's/^project(Quillmeter VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$VERSION" ] || { echo "windows.sh: no version in CMakeLists.txt" >&2; exit 1; }
PACKAGE=quillmeter-$VERSION-qt$QT_VERSION-windows-x64
ZIP=$DIST/$PACKAGE.zip
SETUP_NAME=quillmeter-$VERSION-setup.exe
SETUP=$DIST/$SETUP_NAME

START=$SECONDS
STEP="start"
STEP_START=$SECONDS
elapsed() { local s=$1; printf '%dm%02ds' $((s / 60)) $((s % 60)); }
on_error() {
  local rc=$?
  trap - ERR
  echo >&2
  echo "windows.sh: FAILED in step '$STEP' (exit code $rc) after $(elapsed $((SECONDS - START)))" >&2
  echo "windows.sh: no zip or installer was written" >&2
  exit "$rc"
}
trap on_error ERR
step() {
  [ "$STEP" = "start" ] || echo "   done in $(elapsed $((SECONDS - STEP_START)))"
  STEP=$1
  STEP_START=$SECONDS
  echo "== $STEP"
}
fail() { echo "windows.sh: $*" >&2; false; }
winpath() { local p=$1; echo "Z:${p//\//\\}"; }   # wine maps / to Z:

# A zip or installer of an earlier run must not pass for this one's.
rm -f "$DIST"/quillmeter-*windows-x64.zip "$DIST"/quillmeter-*windows-x64.zip.tmp "$DIST"/quillmeter-*-setup.exe

step "Debian packages and Qt $QT_VERSION for Windows"
QT_STEP_START=$SECONDS
bash scripts/windows-qt.sh | sed 's/^/   /'
QT_STEP_SECONDS=$((SECONDS - QT_STEP_START))
SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
extra=()
for p in zip unzip qt6-serialport-dev libboost1.74-dev qt6-translations-l10n; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || extra+=("$p")
done
if ((${#extra[@]})); then
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${extra[@]}" >/dev/null
fi
# The icon (rsvg-convert, icotool) and the installer (makensis, wrestool).
bash scripts/deps.sh icoutils nsis >/dev/null
[ -f "$QT_PREFIX/.quillmeter-stamp" ] || fail "Qt for Windows is not complete in $QT_PREFIX"

step "QCustomPlot source and the Boost headers"
# Debian builds QCustomPlot as a Linux library only: its source package gives
# the files to build it with MinGW. Kept in the cache beside Qt.
fetch_source() {  # package, a file that must be in it, folder
  local pkg=$1 key=$2 dir=$3
  if [ -f "$dir/$key" ] && [ -f "$dir/.quillmeter-extracted" ]; then
    echo "   $pkg: cached in $dir"
    return
  fi
  local tmp
  tmp=$(mktemp -d "$CACHE/src/.fetch-XXXXXX")
  (cd "$tmp" && apt-get source --download-only "$pkg" >fetch.log 2>&1) \
    || { cat "$tmp/fetch.log" >&2; fail "apt-get source $pkg failed"; }
  (cd "$tmp" && dpkg-source -x ./*.dsc extracted >extract.log 2>&1) \
    || { cat "$tmp/extract.log" >&2; fail "dpkg-source -x for $pkg failed"; }
  [ -f "$tmp/extracted/$key" ] || fail "$pkg's source has no $key"
  (cd "$tmp" && ls ./*.dsc) >"$tmp/extracted/.quillmeter-extracted"
  rm -rf "$dir"
  mv "$tmp/extracted" "$dir"
  rm -rf "$tmp"
  echo "   $pkg: $(cat "$dir/.quillmeter-extracted") in $dir"
}
mkdir -p "$CACHE/src"
QCP_DIR=$CACHE/src/qcustomplot
fetch_source qcustomplot qcustomplot.cpp "$QCP_DIR"
# The web view uses Boost.Beast and Asio, header-only: the headers Debian
# installs serve the MinGW build too. A copy in the cache (not /usr/include on
# the include path, which would bring the Linux C headers with it), made anew
# when Debian's package changes.
BOOST_DIR=$CACHE/boost-1.74
boost_version=$(dpkg-query -W -f='${Version}' libboost1.74-dev)
if [ -f "$BOOST_DIR/boost/beast.hpp" ] && [ "$(cat "$BOOST_DIR/.quillmeter-boost" 2>/dev/null)" = "$boost_version" ]; then
  echo "   Boost headers: cached in $BOOST_DIR"
else
  rm -rf "$BOOST_DIR" "$BOOST_DIR.tmp"
  mkdir -p "$BOOST_DIR.tmp"
  cp -a /usr/include/boost "$BOOST_DIR.tmp/boost"
  echo "$boost_version" >"$BOOST_DIR.tmp/.quillmeter-boost"
  mv "$BOOST_DIR.tmp" "$BOOST_DIR"
  echo "   Boost headers: libboost1.74-dev $boost_version copied to $BOOST_DIR"
fi

# MQTT (--mqtt): libmosquitto from Debian's source package, cross-built as a
# static library without TLS (there is no MinGW OpenSSL here) and without
# its threads (Quillmeter drives it from a thread of its own); cached beside
# Qt, made anew when the source package or these options change.
mkdir -p "$LOGS"
MOSQ_SRC=$CACHE/src/mosquitto
fetch_source mosquitto lib/mosquitto.c "$MOSQ_SRC"
MOSQ_DIR=$CACHE/mosquitto-mingw64
MOSQ_OPTIONS="-DWITH_TLS=OFF -DWITH_THREADING=OFF -DWITH_STATIC_LIBRARIES=ON -DWITH_SOCKS=OFF -DWITH_CJSON=OFF
  -DWITH_BROKER=OFF -DWITH_APPS=OFF -DWITH_CLIENTS=OFF -DWITH_PLUGINS=OFF -DWITH_LIB_CPP=OFF -DDOCUMENTATION=OFF"
mosq_key="$(cat "$MOSQ_SRC/.quillmeter-extracted") $(echo $MOSQ_OPTIONS)"
if [ -f "$MOSQ_DIR/lib/libmosquitto_static.a" ] && [ "$(cat "$MOSQ_DIR/.quillmeter-mosquitto" 2>/dev/null)" = "$mosq_key" ]; then
  echo "   libmosquitto: cached in $MOSQ_DIR"
else
  rm -rf "$MOSQ_DIR" "$MOSQ_DIR.build"
  # shellcheck disable=SC2086
  { cmake -S "$MOSQ_SRC" -B "$MOSQ_DIR.build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_SYSTEM_NAME=Windows \
      -DCMAKE_C_COMPILER="$TRIPLET-gcc-posix" -DCMAKE_CXX_COMPILER="$TRIPLET-g++-posix" \
      -DCMAKE_RC_COMPILER="$TRIPLET-windres" $MOSQ_OPTIONS \
    && cmake --build "$MOSQ_DIR.build" --target libmosquitto_static --parallel "$JOBS"; } \
    >"$LOGS/mosquitto.log" 2>&1 || { tail -n 30 "$LOGS/mosquitto.log" >&2; fail "libmosquitto did not build"; }
  mkdir -p "$MOSQ_DIR/lib" "$MOSQ_DIR/include"
  cp "$MOSQ_DIR.build/lib/libmosquitto_static.a" "$MOSQ_DIR/lib/"
  cp "$MOSQ_SRC/include/mosquitto.h" "$MOSQ_SRC/include/mqtt_protocol.h" "$MOSQ_DIR/include/"
  echo "$mosq_key" >"$MOSQ_DIR/.quillmeter-mosquitto"
  rm -rf "$MOSQ_DIR.build"
  echo "   libmosquitto: $(cat "$MOSQ_SRC/.quillmeter-extracted") built in $MOSQ_DIR (static, no TLS)"
fi

step "configure the cross-build in build-win"
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$QT_PREFIX/lib/cmake/Qt6/qt.toolchain.cmake" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DQM_BENCH=OFF -DQM_TESTS=ON \
  -DQM_QCUSTOMPLOT_SOURCE_DIR="$QCP_DIR" -DQM_BOOST_INCLUDE_DIR="$BOOST_DIR" -DQM_MOSQUITTO_DIR="$MOSQ_DIR" \
  >"$LOGS/configure.log" 2>&1 || { tail -n 30 "$LOGS/configure.log" >&2; false; }
echo "   log: $LOGS/configure.log"

step "build Quillmeter for Windows ($JOBS jobs)"
cmake --build "$BUILD" --parallel "$JOBS" >"$LOGS/build.log" 2>&1 \
  || { grep -E -A5 'error|FAILED' "$LOGS/build.log" | head -n 60 >&2; false; }
warnings=$(grep -c 'warning:' "$LOGS/build.log" || true)
echo "   log: $LOGS/build.log ($warnings compiler warnings)"
for exe in quillmeter.exe quillmeter-sim.exe; do
  file "$BUILD/$exe" | grep -q 'PE32+ executable.*x86-64' || fail "$BUILD/$exe is not a 64-bit Windows program"
done

step "the Linux quillmeter and quillmeter-sim for the end-to-end runs (build-win-host)"
bash scripts/deps.sh >/dev/null
cmake -S . -B "$HOST_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQM_TESTS=OFF -DQM_BENCH=OFF \
  >"$LOGS/host-configure.log" 2>&1 || { tail -n 30 "$LOGS/host-configure.log" >&2; false; }
cmake --build "$HOST_BUILD" --target quillmeter-sim quillmeter --parallel "$JOBS" >"$LOGS/host-build.log" 2>&1 \
  || { tail -n 40 "$LOGS/host-build.log" >&2; false; }
SIM=$HOST_BUILD/quillmeter-sim
LINUX_APP=$HOST_BUILD/quillmeter

step "wine prefix"
# Made before the package is staged: the check of the DLLs that the programs
# import looks into its system folder. wineboot returns before the wine
# server has written a new prefix's registry files: wait for the server to
# end (it does a few seconds after its last program).
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  timeout 300 wineboot --init >/dev/null 2>&1 || true
  timeout 300 wineserver -w || true
fi
[ -f "$WINEPREFIX/system.reg" ] || fail "wine did not make its prefix in $WINEPREFIX"
echo "   $WINEPREFIX ($(wine --version))"

step "stage the package"
STAGE=$DIST/stage/$PACKAGE
rm -rf "$DIST/stage"
mkdir -p "$STAGE/platforms" "$STAGE/styles" "$STAGE/licenses"
cp "$BUILD/quillmeter.exe" "$BUILD/quillmeter-sim.exe" "$STAGE/"
for dll in Qt6Core Qt6Gui Qt6Widgets Qt6Network Qt6PrintSupport libstdc++-6 libgcc_s_seh-1 libwinpthread-1; do
  cp "$QT_PREFIX/bin/$dll.dll" "$STAGE/"
done
for p in qwindows qoffscreen qminimal; do cp "$QT_PREFIX/plugins/platforms/$p.dll" "$STAGE/platforms/"; done
if [ -f "$QT_PREFIX/plugins/styles/qwindowsvistastyle.dll" ]; then
  cp "$QT_PREFIX/plugins/styles/qwindowsvistastyle.dll" "$STAGE/styles/"
fi
# Symbols are not needed to run (the MinGW runtime DLLs carry 20 MB of them).
find "$STAGE" -name '*.exe' -o -name '*.dll' | xargs "$TRIPLET-strip" --strip-unneeded
# The offscreen platform (used for checks without a display) reads fonts from
# <prefix>/lib/fonts; qt.conf makes the program's folder the prefix.
mkdir -p "$STAGE/lib/fonts"
cp "$QT_PREFIX"/lib/fonts/*.ttf "$STAGE/lib/fonts/"
# Qt's own texts (file dialog, OK / Cancel) in Japanese and English: Debian's
# catalogues of the same Qt version, where qt.conf points Qt's translations
# path. (The program's own catalogues are built into quillmeter.exe.)
mkdir -p "$STAGE/translations"
cp /usr/share/qt6/translations/qtbase_ja.qm /usr/share/qt6/translations/qtbase_en.qm "$STAGE/translations/"
printf '[Paths]\r\nPrefix = .\r\nPlugins = .\r\nTranslations = translations\r\n' >"$STAGE/qt.conf"
# Every DLL a program or plugin imports must be in the package or in Windows.
missing_dlls=$(
  for f in "$STAGE"/*.exe "$STAGE"/*.dll "$STAGE"/platforms/*.dll "$STAGE"/styles/*.dll; do
    [ -e "$f" ] || continue
    "$TRIPLET-objdump" -p "$f" | sed -n 's/^\s*DLL Name: //p'
  done | sort -u | while read -r dll; do
    # (grep without -q reads the whole list: ls must not die of a closed pipe)
    if [ ! -e "$STAGE/$dll" ] && ! ls "$WINEPREFIX/drive_c/windows/system32/" 2>/dev/null | grep -ix "$dll" >/dev/null \
       && ! [[ $dll =~ ^(api-ms-win-|ext-ms-) ]]; then echo "$dll"; fi
  done)
cp README.md "$STAGE/README.md"
cp third_party/uplot/LICENSE "$STAGE/licenses/uPlot-LICENSE.txt"
cp /usr/share/doc/libboost1.74-dev/copyright "$STAGE/licenses/Boost-copyright.txt"
cp "$QCP_DIR/GPL.txt" "$STAGE/licenses/QCustomPlot-GPL-3.0.txt"
cp "$QCP_DIR/debian/copyright" "$STAGE/licenses/QCustomPlot-copyright.txt"
QT_SRC=$CACHE/src/qtbase-$QT_VERSION
for l in LGPL-3.0-only GPL-2.0-only GPL-3.0-only Qt-GPL-exception-1.0; do
  [ -f "$QT_SRC/LICENSES/$l.txt" ] && cp "$QT_SRC/LICENSES/$l.txt" "$STAGE/licenses/Qt-$l.txt"
done
cp "$QT_SRC/debian/copyright" "$STAGE/licenses/Qt-copyright.txt"
cp /usr/share/doc/gcc-mingw-w64-base/copyright "$STAGE/licenses/MinGW-GCC-runtime-copyright.txt"
cp /usr/share/doc/mingw-w64-common/copyright "$STAGE/licenses/MinGW-w64-winpthreads-copyright.txt"
cp /usr/share/doc/fonts-dejavu-core/copyright "$STAGE/licenses/DejaVu-fonts-copyright.txt"
cp "$MOSQ_SRC/epl-v20" "$STAGE/licenses/mosquitto-EPL-2.0.txt"
cp "$MOSQ_SRC/edl-v10" "$STAGE/licenses/mosquitto-EDL-1.0.txt"
cp "$MOSQ_SRC/debian/copyright" "$STAGE/licenses/mosquitto-copyright.txt"
commit=$(git rev-parse --short HEAD 2>/dev/null || echo unknown)
compiler=$("$TRIPLET-g++-posix" --version | head -n 1)
printf 'Quillmeter %s for Windows x64 (commit %s)\r\nQt %s (Core, Gui, Widgets, Network, PrintSupport), built with %s\r\nlibmosquitto %s (static, MQTT without TLS)\r\nBuilt %s on Debian by scripts/windows.sh\r\n' \
  "$VERSION" "$commit" "$QT_VERSION" "$compiler" "$(sed 's/^.*mosquitto_\(.*\)\.dsc$/\1/' "$MOSQ_SRC/.quillmeter-extracted")" \
  "$(date -u +%Y-%m-%dT%H:%MZ)" >"$STAGE/VERSION.txt"
echo "   $(du -sh "$STAGE" | cut -f1) in $STAGE"
if [ -n "$missing_dlls" ]; then echo "   imports not in the package (must come with Windows): $(echo $missing_dlls)"; fi

step "unit tests under wine"
rm -rf "$WORK"
mkdir -p "$WORK/tests"
# wine does not pass QT_* variables on, so the GUI tests get -platform on the
# command line (a QCoreApplication test would take it for a test function).
export WINEPATH
WINEPATH=$(winpath "$QT_PREFIX/bin")
export QUILLMETER_SIM QUILLMETER_APP
QUILLMETER_SIM=$(winpath "$BUILD/quillmeter-sim.exe")
QUILLMETER_APP=$(winpath "$BUILD/quillmeter.exe")
run_wine_test() {  # exe, output file, arguments
  local exe=$1 out=$2
  shift 2
  (cd "$WORK/tests" && timeout "$WINE_TIMEOUT" wine "$exe" "$@" -o "$(winpath "$out"),txt" >/dev/null 2>&1)
}
passed=0; failed=0; skipped=0; failures=(); retried=()
for exe in "$BUILD"/tests/*.exe; do
  name=$(basename "$exe" .exe)
  src=$(find tests -name "tst_${name##*_tst_}.cpp" | head -n 1)
  # A program left in the build folder by a test that no longer exists.
  if [ -z "$src" ]; then echo "   $name: no such test any more, not run"; continue; fi
  args=()
  if [ -n "$src" ] && grep -q 'QTEST_MAIN' "$src"; then args=(-platform offscreen); fi
  out=$WORK/tests/$name.txt
  # A test program that fails is run once more (timing under wine on a loaded
  # machine); a failure in either run is listed, a second failure fails.
  rc=0
  run_wine_test "$exe" "$out" "${args[@]}" || rc=$?
  if [ "$rc" -ne 0 ] || ! grep -a -q '^Totals: .* 0 failed' "$out"; then
    echo "   $name failed once; again:" $(grep -a '^FAIL!' "$out" | cut -c1-160)
    retried+=("$name")
    cp "$out" "${out%.txt}.first.txt"
    rc=0
    run_wine_test "$exe" "$out" "${args[@]}" || rc=$?
  fi
  totals=$(grep -a '^Totals:' "$out" 2>/dev/null || true)
  p=$(sed -n 's/^Totals: \([0-9]*\) passed.*/\1/p' <<<"$totals"); p=${p:-0}
  f=$(sed -n 's/.* \([0-9]*\) failed.*/\1/p' <<<"$totals"); f=${f:-0}
  s=$(sed -n 's/.* \([0-9]*\) skipped.*/\1/p' <<<"$totals"); s=${s:-0}
  passed=$((passed + p)); skipped=$((skipped + s))
  if [ "$rc" -ne 0 ] || [ "$f" -ne 0 ] || [ -z "$totals" ]; then
    failed=$((failed + (f > 0 ? f : 1)))
    failures+=("$name (exit $rc)")
    printf '   %-40s FAILED (exit %s) %s\n' "$name" "$rc" "$totals"
    grep -a -E '^(FAIL!|   Loc:|   Actual|   Expected)' "$out" 2>/dev/null | head -n 12 | sed 's/^/      /'
  else
    printf '   %-40s %s\n' "$name" "$totals"
  fi
done
echo "   under wine: $passed passed, $failed failed, $skipped skipped; failed once, then passed: ${retried[*]:-none}"
((${#failures[@]} == 0)) || fail "tests failed under wine: ${failures[*]} (logs in $WORK/tests)"

# Starts the Linux simulator with the given options and waits for its first line.
SIM_PID=""
start_sim() {
  local out=$1; shift
  "$SIM" "$@" >"$out" 2>&1 &
  SIM_PID=$!
  for _ in $(seq 100); do
    [ -s "$out" ] && grep -q -E '^(TCP|PTY) ' "$out" && return 0
    sleep 0.1
  done
  fail "quillmeter-sim did not start: $(cat "$out")"
}
stop_sim() { [ -n "$SIM_PID" ] && kill "$SIM_PID" 2>/dev/null && wait "$SIM_PID" 2>/dev/null; SIM_PID=""; true; }
trap 'stop_sim' EXIT

# Checks a headless run's folder: three log lines in Shift-JIS with CR LF and
# three PNG files.
check_run_output() {  # folder, header
  local dir=$1 header=$2 log=$1/${2}_AM_LOG.csv
  [ -f "$log" ] || fail "no log file $log"
  python3 - "$log" <<'EOF' || fail "the log file $log is not as expected"
import sys
data = open(sys.argv[1], 'rb').read()
lines = data.split(b'\r\n')
assert lines[-1] == b'', 'the file does not end with CR LF'
assert b'\n' not in data.replace(b'\r\n', b''), 'a line ends without CR'
text = data.decode('cp932')   # raises on bytes that are not code page 932
lines = text.split('\r\n')[:-1]
assert lines[0] == ',Time,A,B,C,D', lines[0]
assert [l.split(',')[0] for l in lines[1:4]] == ['Ch', 'Type', 'Unit'], lines[1:4]
rows = lines[4:]
assert [r.split(',')[0] for r in rows] == ['1', '2', '3'], rows
assert all(len(r.split(',')) == 6 for r in rows), rows
print('   log: %d bytes, 4 header lines and cycles 1, 2, 3, code page 932, CR LF' % len(data))
EOF
  local n=0 f
  for f in "$dir/${header}"_0000[123].png; do
    [ -f "$f" ] || continue
    head -c 8 "$f" | od -An -tx1 | tr -d ' \n' | grep -q '^89504e470d0a1a0a$' || fail "$f is not a PNG"
    n=$((n + 1))
  done
  [ "$n" -eq 3 ] || fail "$n PNG files in $dir, not 3"
  echo "   png: 3 files"
}

# A three-cycle headless run of the packed program against a simulator of
# its own, in DIR (data/, out/, stdout.txt, stderr.txt); further options
# follow --headless. Leaves the exit code in rc.
packed_headless_run() {
  local dir=$1 port
  shift
  mkdir -p "$dir/data" "$dir/out"
  start_sim "$dir/sim.txt" --listen 127.0.0.1:0
  port=$(sed -n 's/^TCP .*:\([0-9]*\)$/\1/p' "$dir/sim.txt" | head -n 1)
  rc=0
  (cd "$dir" && timeout 120 wine "$STAGE/quillmeter.exe" --headless "$@" --data-dir "$(winpath "$dir/data")" \
     --address 127.0.0.1 --port "$port" --repeat 3 --interval 0 --log --screen-save \
     --folder "$(winpath "$dir/out")" --name e2e >"$dir/stdout.txt" 2>"$dir/stderr.txt") || rc=$?
  stop_sim
}

step "end-to-end: the packed quillmeter.exe --headless against the Linux simulator over TCP"
E2E=$WORK/e2e-tcp
packed_headless_run "$E2E"
sed 's/^/   | /' "$E2E/stdout.txt" | tail -n 6
[ "$rc" -eq 0 ] || { cat "$E2E/stderr.txt" >&2; fail "quillmeter.exe --headless ended with exit code $rc"; }
check_run_output "$E2E/out" e2e
[ -f "$E2E/data/Resume302.txt" ] && echo "   resume file written: $(wc -c <"$E2E/data/Resume302.txt") bytes"

step "end-to-end in English: --lang en prints the English status texts, the log is the same"
E2L=$WORK/e2e-english
packed_headless_run "$E2L" --lang en
sed 's/^/   | /' "$E2L/stdout.txt" | tail -n 3
[ "$rc" -eq 0 ] || { cat "$E2L/stderr.txt" >&2; fail "quillmeter.exe --headless --lang en ended with exit code $rc"; }
[ "$(grep -c '^Waiting for trigger' "$E2L/stdout.txt")" -eq 3 ] && grep -qx 'Finished' "$E2L/stdout.txt" \
  || fail "quillmeter.exe --lang en did not print the English status texts"
check_run_output "$E2L/out" e2e
head -n 4 "$E2L/out/e2e_AM_LOG.csv" | cmp -s - <(head -n 4 "$E2E/out/e2e_AM_LOG.csv") \
  || fail "the log's header lines differ between --lang en and Japanese"

step "the resume file: the Windows and the Linux build read and write the same bytes"
# The file the run above wrote, with a Japanese file-name header, is read and
# written again by both builds after a one-cycle run.
RES=$WORK/resume
mkdir -p "$RES/seed" "$RES/windows" "$RES/linux"
python3 - "$E2E/data/Resume302.txt" "$RES/seed/Resume302.txt" <<'EOF'
import sys
text = open(sys.argv[1], 'rb').read().decode('cp932')
lines = text.split('\r\n')
key = 'ファイルヘッダ,'
assert any(l.startswith(key) for l in lines), 'no file-name header line'
lines = [key + '測定①～' if l.startswith(key) else l for l in lines]
open(sys.argv[2], 'wb').write('\r\n'.join(lines).encode('cp932'))
EOF
cp "$RES/seed/Resume302.txt" "$RES/windows/"
cp "$RES/seed/Resume302.txt" "$RES/linux/"
start_sim "$RES/sim.txt" --listen 127.0.0.1:0
port=$(sed -n 's/^TCP .*:\([0-9]*\)$/\1/p' "$RES/sim.txt" | head -n 1)
(cd "$RES" && timeout 120 wine "$STAGE/quillmeter.exe" --headless --data-dir "$(winpath "$RES/windows")" \
   --address 127.0.0.1 --port "$port" --repeat 1 --log --no-screen-save --folder "$(winpath "$RES/out-windows")" \
   >"$RES/windows.txt" 2>&1) \
   || { cat "$RES/windows.txt" >&2; fail "the Windows build's one-cycle run failed"; }
QT_QPA_PLATFORM=offscreen timeout 120 "$LINUX_APP" --headless --data-dir "$RES/linux" \
   --address 127.0.0.1 --port "$port" --repeat 1 --log --no-screen-save --folder "$RES/out-linux" >"$RES/linux.txt" 2>&1 \
   || { cat "$RES/linux.txt" >&2; fail "the Linux build's one-cycle run failed"; }
stop_sim
cmp "$RES/windows/Resume302.txt" "$RES/linux/Resume302.txt" \
  || fail "the two builds wrote different resume files (in $RES)"
cmp "$RES/seed/Resume302.txt" "$RES/windows/Resume302.txt" \
  || fail "the resume file changed in a run that changed no setting (in $RES)"
echo "   the same $(wc -c <"$RES/windows/Resume302.txt") bytes from both builds, as read"

step "serial under wine: COM5 mapped to the simulator's pty (reported, not required)"
SERIAL_RESULT="not tried"
E2S=$WORK/e2e-serial
mkdir -p "$E2S/data" "$E2S/out" "$WINEPREFIX/dosdevices"
start_sim "$E2S/sim.txt" --pty
pty=$(sed -n 's/^PTY //p' "$E2S/sim.txt" | head -n 1)
ln -sfn "$pty" "$WINEPREFIX/dosdevices/com5"
rc=0
(cd "$E2S" && timeout 120 wine "$STAGE/quillmeter.exe" --headless --data-dir "$(winpath "$E2S/data")" \
   --com 5 --repeat 3 --interval 0 --log --screen-save \
   --folder "$(winpath "$E2S/out")" --name e2s >"$E2S/stdout.txt" 2>"$E2S/stderr.txt") || rc=$?
stop_sim
rm -f "$WINEPREFIX/dosdevices/com5"
if [ "$rc" -eq 0 ] && (check_run_output "$E2S/out" e2s); then
  SERIAL_RESULT="worked: 3 cycles over COM5 -> $pty"
else
  SERIAL_RESULT="did not work (exit code $rc): $(tail -n 2 "$E2S/stdout.txt" "$E2S/stderr.txt" | tr '\n' ' ' | cut -c1-300)"
fi
echo "   $SERIAL_RESULT"

step "MQTT under wine: --mqtt to Debian's mosquitto on loopback (reported, not required)"
MQTT_RESULT="not tried"
E2M=$WORK/e2e-mqtt
mkdir -p "$E2M/data" "$E2M/out"
mport=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
{ printf 'listener %s 127.0.0.1\nallow_anonymous true\npersistence false\nlog_dest none\n' "$mport"
  [ "$(id -u)" -ne 0 ] || printf 'user root\n'; } >"$E2M/broker.conf"
/usr/sbin/mosquitto -c "$E2M/broker.conf" >"$E2M/broker.txt" 2>&1 &
BROKER_PID=$!
sleep 1
# The three cycles, then the subscriber ends (at most 60 s).
timeout 90 mosquitto_sub -h 127.0.0.1 -p "$mport" -t 'lab/bench07/cycle' -C 3 -W 60 >"$E2M/cycles.txt" 2>&1 &
SUB_PID=$!
sleep 1
start_sim "$E2M/sim.txt" --listen 127.0.0.1:0
port=$(sed -n 's/^TCP .*:\([0-9]*\)$/\1/p' "$E2M/sim.txt" | head -n 1)
rc=0
(cd "$E2M" && timeout 120 wine "$STAGE/quillmeter.exe" --headless --data-dir "$(winpath "$E2M/data")" \
   --address 127.0.0.1 --port "$port" --repeat 3 --interval 0 --log --no-screen-save --no-screen-show \
   --folder "$(winpath "$E2M/out")" --name e2m --mqtt "mqtt://127.0.0.1:$mport/lab" --station bench07 \
   >"$E2M/stdout.txt" 2>"$E2M/stderr.txt") || rc=$?
stop_sim
wait "$SUB_PID" 2>/dev/null || true
kill "$BROKER_PID" 2>/dev/null && wait "$BROKER_PID" 2>/dev/null || true
cycles=$(grep -o '"cycle":[0-9]*' "$E2M/cycles.txt" | tr '\n' ' ')
if [ "$rc" -eq 0 ] && [ "$cycles" = '"cycle":1 "cycle":2 "cycle":3 ' ]; then
  MQTT_RESULT="worked: cycles 1, 2, 3 published to mosquitto"
else
  MQTT_RESULT="did not work (exit code $rc, got: ${cycles:-nothing}): $(tail -n 2 "$E2M/stderr.txt" | tr '\n' ' ' | cut -c1-300)"
fi
echo "   $MQTT_RESULT"

step "the installer: $SETUP_NAME from the zip's files (NSIS)"
# The programs carry their version information, quillmeter.exe the icon.
for exe in quillmeter.exe quillmeter-sim.exe; do
  wrestool -x --raw --type=version "$STAGE/$exe" >"$WORK/$exe.version" 2>/dev/null || true
  python3 - "$WORK/$exe.version" "$VERSION" "$exe" <<'EOF' || fail "$exe has no version information $VERSION"
import sys
text = open(sys.argv[1], 'rb').read().decode('utf-16-le', 'ignore')
for key in ('FileVersion', 'ProductVersion'):
    at = text.find(key + '\0')
    assert at >= 0 and text[at + len(key):at + len(key) + 8].strip('\0').startswith(sys.argv[2]), key
assert 'OriginalFilename' in text and sys.argv[3] in text
EOF
done
icons=$(wrestool -l --type=icon "$STAGE/quillmeter.exe" | wc -l)
[ "$icons" -ge 7 ] && wrestool -l --type=group_icon "$STAGE/quillmeter.exe" | grep -q . \
  || fail "quillmeter.exe carries no icon of 7 sizes ($icons images)"
echo "   quillmeter.exe: version $VERSION and an icon of $icons sizes; quillmeter-sim.exe: version $VERSION"
INST=$BUILD/installer
rm -rf "$INST"
mkdir -p "$INST"
ICO=$BUILD/icon/quillmeter.ico
bash scripts/windows-installer.sh --stage "$STAGE" --version "$VERSION" --icon "$ICO" --out "$INST/$SETUP_NAME"
# An older version to upgrade from: the same files and one that this version
# does not have (packed fast: it is only for the test).
OLD_VERSION=0.1
OLD_STAGE=$INST/old-stage
cp -a "$STAGE" "$OLD_STAGE"
echo "a file of the older version only" >"$OLD_STAGE/old-version-only.txt"
bash scripts/windows-installer.sh --stage "$OLD_STAGE" --version "$OLD_VERSION" --icon "$ICO" \
  --out "$INST/quillmeter-$OLD_VERSION-setup.exe" --fast
rm -rf "$OLD_STAGE"

step "the installer under wine: an older version, the upgrade, a run, the uninstaller"
UNINST_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillmeter'
PF_WIN='C:\Program Files\Quillmeter'
PF="$WINEPREFIX/drive_c/Program Files/Quillmeter"
PD=$WINEPREFIX/drive_c/ProgramData/Quillmeter          # %ProgramData%\Quillmeter: the user's data
LNK="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Quillmeter.lnk"
IE2E=$WORK/installed
mkdir -p "$IE2E"
# The installer and the uninstaller hand work to other wine processes: wait
# until the wine server has nothing left to run.
wine_settle() { timeout 120 wineserver -w || fail "wine did not finish within 120 s"; }
run_setup() {  # installer
  local rc=0
  timeout 300 wine "$1" /S || rc=$?
  wine_settle
  [ "$rc" -eq 0 ] || fail "$(basename "$1") /S ended with exit code $rc"
}
reg_value() { wine reg query "$UNINST_KEY" /v "$1" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$1 *REG_[A-Z_]* *//p"; }
data_sums() { (cd "$PD" && find . -type f -print0 | LC_ALL=C sort -z | xargs -0 sha256sum); }
run_installed() {  # name, repeat, more options
  local name=$1 repeat=$2 rc=0
  shift 2
  mkdir -p "$IE2E/$name"
  start_sim "$IE2E/$name/sim.txt" --listen 127.0.0.1:0
  port=$(sed -n 's/^TCP .*:\([0-9]*\)$/\1/p' "$IE2E/$name/sim.txt" | head -n 1)
  (cd "$IE2E/$name" && timeout 120 wine "$PF_WIN\\quillmeter.exe" --headless --address 127.0.0.1 --port "$port" \
     --repeat "$repeat" --interval 0 --folder "$(winpath "$IE2E/$name/out")" --name "$name" "$@" \
     >"$IE2E/$name/stdout.txt" 2>"$IE2E/$name/stderr.txt") || rc=$?
  stop_sim
  [ "$rc" -eq 0 ] || { cat "$IE2E/$name/stderr.txt" >&2; fail "the installed quillmeter.exe --headless ended with exit code $rc"; }
}
# Start from a prefix without Quillmeter (an earlier run may have stopped half-way).
if [ -f "$PF/uninstall.exe" ]; then timeout 120 wine "$PF_WIN\\uninstall.exe" /S || true; wine_settle; fi
wine reg delete "$UNINST_KEY" /f >/dev/null 2>&1 || true
rm -rf "$PF" "$PD" "$LNK"

run_setup "$INST/quillmeter-$OLD_VERSION-setup.exe"
[ -f "$PF/old-version-only.txt" ] && [ "$(reg_value DisplayVersion)" = "$OLD_VERSION" ] \
  || fail "the older version ($OLD_VERSION) is not installed in $PF"
run_installed old 1 --log --no-screen-save
[ -f "$PD/Resume302.txt" ] || fail "the older version's run left no $PD/Resume302.txt"
data_before=$(data_sums)
echo "   version $OLD_VERSION installed and run: $(wc -l <<<"$data_before") files in %ProgramData%\\Quillmeter"

run_setup "$INST/$SETUP_NAME"
[ ! -e "$PF/old-version-only.txt" ] || fail "the upgrade left the older version's own file"
diffs=$(diff -r -q "$STAGE" "$PF" | grep -v -x -F "Only in $PF: uninstall.exe" || true)
[ -z "$diffs" ] || fail "the installed files differ from the zip's: $diffs"
[ "$(data_sums)" = "$data_before" ] || fail "the upgrade changed %ProgramData%\\Quillmeter"
[ -f "$LNK" ] || fail "no Start-menu shortcut $LNK"
for check in "DisplayName=Quillmeter" "DisplayVersion=$VERSION" "Publisher=Quillmeter developers" \
             "DisplayIcon=$PF_WIN\\quillmeter.exe,0" "InstallLocation=$PF_WIN" \
             "UninstallString=\"$PF_WIN\\uninstall.exe\""; do
  value=$(reg_value "${check%%=*}")
  [ "$value" = "${check#*=}" ] || fail "Uninstall key: ${check%%=*} is '$value', not '${check#*=}'"
done
size=$(reg_value EstimatedSize)
[[ $size =~ ^0x[0-9a-f]+$ ]] && ((size > 1024)) || fail "Uninstall key: EstimatedSize is '$size'"
echo "   upgraded to $VERSION: the older version's file gone, $(find "$PF" -type f | wc -l) files as in the zip" \
     "and the uninstaller, Start-menu shortcut, Uninstall key (EstimatedSize $((size / 1024)) MB), data folder untouched"

run_installed new 3 --log --screen-save
check_run_output "$IE2E/new/out" new
[ -f "$PD/Resume302.txt" ] || fail "the installed program keeps no settings in %ProgramData%\\Quillmeter"
data_before=$(data_sums)

timeout 120 wine "$PF_WIN\\uninstall.exe" /S || fail "the uninstaller did not start"
wine_settle
[ ! -e "$PF" ] || fail "Program Files still holds: $(find "$PF" | head -n 20)"
[ ! -e "$LNK" ] || fail "the Start-menu shortcut is left"
wine reg query "$UNINST_KEY" >/dev/null 2>&1 && fail "the Uninstall key is left"
[ "$(data_sums)" = "$data_before" ] || fail "the uninstaller changed %ProgramData%\\Quillmeter"
echo "   uninstalled: nothing in Program Files, no shortcut, no Uninstall key;" \
     "%ProgramData%\\Quillmeter kept ($(wc -l <<<"$data_before") files, unchanged)"

step "pack the zip and the installer"
mkdir -p "$DIST"
(cd "$DIST/stage" && zip -q -r -X "$ZIP.tmp" "$PACKAGE")
unzip -tq "$ZIP.tmp" >/dev/null || fail "the zip does not test clean"
mv "$ZIP.tmp" "$ZIP"
ln -sfn "$(basename "$ZIP")" "$DIST/quillmeter-windows-x64.zip"
echo "   $ZIP ($(du -h "$ZIP" | cut -f1)), also as dist/quillmeter-windows-x64.zip"
cp "$INST/$SETUP_NAME" "$SETUP.tmp"
mv "$SETUP.tmp" "$SETUP"
echo "   $SETUP ($(du -h "$SETUP" | cut -f1))"

step "done"
echo "Quillmeter $VERSION for Windows with Qt $QT_VERSION: $ZIP"
echo "Installer: $SETUP (tested under wine: upgrade from an older version, a run, the uninstaller)"
echo "Tests under wine: $passed passed, $skipped skipped (failed once, then passed: ${retried[*]:-none})."
echo "Serial under wine: $SERIAL_RESULT"
echo "MQTT under wine: $MQTT_RESULT"
echo "Took $(elapsed $((SECONDS - START))) (Qt for Windows: $(elapsed "$QT_STEP_SECONDS"))."
