#!/usr/bin/env bash
# Builds the Debian package dist/quillmeter_<version>_amd64.deb and checks it:
# lintian, the menu entry, the AppStream metadata and the manual pages; then
# installs it with apt-get into a throwaway Debian bookworm root (made with
# mmdebstrap from Debian's packages; its tarball and the packages it
# downloads are cached), runs the installed program headless against its
# built-in simulated instrument and once with a (offscreen) window, reads
# `man quillmeter`, removes the package and checks that nothing of it is
# left but the user's data.
#
#   bash scripts/package.sh
#
# The Release build is made in build-pkg/ with Debian's hardening flags
# (dpkg-buildflags); other build folders are not touched. It stops at the
# first failing check and says how long it took.
#
# Environment: QM_PKG_CACHE (default ~/.cache/quillmeter-pkg), QM_PKG_MIRROR
# (default http://deb.debian.org/debian), QM_PKG_JOBS (compile jobs).
set -Eeuo pipefail

ROOT_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT_DIR"

SUITE=bookworm
MIRROR=${QM_PKG_MIRROR:-http://deb.debian.org/debian}
CACHE=${QM_PKG_CACHE:-$HOME/.cache/quillmeter-pkg}
JOBS=${QM_PKG_JOBS:-$(nproc)}
BUILD=$ROOT_DIR/build-pkg
DIST=$ROOT_DIR/dist
LOGS=$BUILD/logs
CHROOT=""                        # the throwaway root while it exists

START=$SECONDS
STEP="start"
STEP_START=$SECONDS
elapsed() { local s=$1; printf '%dm%02ds' $((s / 60)) $((s % 60)); }
cleanup() {
  [ -n "$CHROOT" ] || return 0
  if mountpoint -q "$CHROOT/proc"; then umount "$CHROOT/proc" || umount -l "$CHROOT/proc" || true; fi
  # Never delete through a mount that is still there.
  if ! grep -q " $CHROOT/" /proc/mounts; then rm -rf --one-file-system "$CHROOT"; fi
  CHROOT=""
}
on_error() {
  local rc=$?
  trap - ERR
  echo >&2
  echo "package.sh: FAILED in step '$STEP' (exit code $rc) after $(elapsed $((SECONDS - START)))" >&2
  cleanup
  exit "$rc"
}
trap on_error ERR
trap cleanup EXIT
step() {
  [ "$STEP" = "start" ] || echo "   done in $(elapsed $((SECONDS - STEP_START)))"
  STEP=$1
  STEP_START=$SECONDS
  echo "== $STEP"
}
fail() { echo "package.sh: $*" >&2; false; }

VERSION=$(sed -n 's/^project(Quillmeter VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$VERSION" ] || fail "no version in CMakeLists.txt"
ARCH=$(dpkg --print-architecture)
DEB_NAME=quillmeter_${VERSION}_$ARCH.deb
DEB=$DIST/$DEB_NAME
rm -f "$DEB"

step "Debian packages"
bash scripts/deps.sh lintian mmdebstrap desktop-file-utils appstream groff-base man-db \
  librsvg2-bin dpkg-dev fakeroot file >/dev/null
[ "$(id -u)" -eq 0 ] || fail "the check in a throwaway root (chroot) needs root"

step "Release build in build-pkg with Debian's build flags"
mkdir -p "$LOGS"
# Hardening as Debian builds its packages (fortify, stack protector, relro, now).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
# Given on every configure, so that a change of them reaches the cache.
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQM_TESTS=OFF -DQM_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" \
  >"$LOGS/configure.log" 2>&1 || { tail -n 30 "$LOGS/configure.log" >&2; false; }
nice cmake --build "$BUILD" --parallel "$JOBS" >"$LOGS/build.log" 2>&1 \
  || { grep -E -A5 'error|FAILED' "$LOGS/build.log" | head -n 60 >&2; false; }
echo "   log: $LOGS/build.log"

step "the package (CPack, dpkg-shlibdeps)"
rm -rf "$BUILD/package"
(cd "$BUILD" && cpack -G DEB) >"$LOGS/cpack.log" 2>&1 || { tail -n 30 "$LOGS/cpack.log" >&2; false; }
[ -f "$BUILD/package/$DEB_NAME" ] || fail "CPack made no $DEB_NAME: $(ls "$BUILD/package")"
mkdir -p "$DIST"
cp "$BUILD/package/$DEB_NAME" "$DEB"
dpkg-deb --field "$DEB" Package Version Architecture Section Maintainer Depends Recommends Suggests \
  | sed 's/^/   /'
dpkg-deb --contents "$DEB" >"$LOGS/contents.txt"
echo "   $(grep -c -v '/$' "$LOGS/contents.txt") files, $(du -h "$DEB" | cut -f1): $DEB"

step "lintian, desktop-file-validate, appstreamcli, the manual pages"
rc=0
lintian --display-info --pedantic --tag-display-limit 0 "$DEB" >"$LOGS/lintian.txt" 2>&1 || rc=$?
sed 's/^/   /' "$LOGS/lintian.txt"
for kind in E W I P; do printf '   lintian %s: %s\n' "$kind" "$(grep -c "^$kind: " "$LOGS/lintian.txt" || true)"; done
if grep -q '^E: ' "$LOGS/lintian.txt" || [ "$rc" -ne 0 ]; then fail "lintian reports errors (exit code $rc)"; fi
EXTRACT=$BUILD/extracted
rm -rf "$EXTRACT"
dpkg-deb -x "$DEB" "$EXTRACT"
desktop-file-validate "$EXTRACT"/usr/share/applications/*.desktop
echo "   desktop-file-validate: $(basename "$EXTRACT"/usr/share/applications/*.desktop) passes"
appstreamcli validate --no-net "$EXTRACT"/usr/share/metainfo/*.metainfo.xml | sed 's/^/   /'
for page in "$EXTRACT"/usr/share/man/man1/*.1.gz; do
  warnings=$(zcat "$page" | groff -man -Tutf8 -ww -k -z 2>&1)
  [ -z "$warnings" ] || fail "groff warns on $(basename "$page"): $warnings"
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man warns on $(basename "$page"): $warnings"
  echo "   $(basename "$page"): renders without warnings"
done
# Every option that --help lists is in the manual page.
page_text=$(zcat "$EXTRACT/usr/share/man/man1/quillmeter.1.gz" | sed 's/\\-/-/g')
missing=$(QT_QPA_PLATFORM=offscreen "$BUILD/quillmeter" --help | grep -o -E -- '--[a-z][a-z-]*' | sort -u \
  | while read -r option; do grep -q -- "$option" <<<"$page_text" || echo "$option"; done)
[ -z "$missing" ] || fail "options of --help not in quillmeter.1: $(echo $missing)"
echo "   quillmeter.1 names every option of quillmeter --help"

step "a throwaway Debian $SUITE root (mmdebstrap, cached)"
mkdir -p "$CACHE/archives"
BASE=$CACHE/$SUITE-minbase.tar
# The tarball is made again when the suite, the mirror or the packages in it change.
BASE_KEY="$SUITE minbase man-db $MIRROR"
if [ -f "$BASE" ] && [ "$(cat "$BASE.key" 2>/dev/null)" = "$BASE_KEY" ]; then
  echo "   cached: $BASE"
else
  rm -f "$BASE" "$BASE.key"
  nice mmdebstrap --format=tar --variant=minbase --include=man-db "$SUITE" "$BASE.tmp" \
    "deb $MIRROR $SUITE main" "deb $MIRROR $SUITE-updates main" \
    "deb ${MIRROR%/debian}/debian-security $SUITE-security main" >"$LOGS/mmdebstrap.log" 2>&1 \
    || { tail -n 30 "$LOGS/mmdebstrap.log" >&2; rm -f "$BASE.tmp"; false; }
  mv "$BASE.tmp" "$BASE"
  echo "$BASE_KEY" >"$BASE.key"
  echo "   made: $BASE ($(du -h "$BASE" | cut -f1))"
fi
CHROOT=$(mktemp -d "${TMPDIR:-/tmp}/quillmeter-chroot-XXXXXX")
tar -C "$CHROOT" -xf "$BASE"
mount -t proc proc "$CHROOT/proc"
cp /etc/resolv.conf "$CHROOT/etc/resolv.conf"
# Packages downloaded by earlier runs (Qt, the CJK fonts) are not fetched again.
mkdir -p "$CHROOT/var/cache/apt/archives/partial"
find "$CACHE/archives" -name '*.deb' -exec cp -t "$CHROOT/var/cache/apt/archives/" {} +
in_root() { chroot "$CHROOT" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"; }
# No /dev/pts in the root: dpkg's output is not run through a pty.
mkdir -p "$CHROOT/etc/apt/apt.conf.d"
echo 'Dpkg::Use-Pty "0";' >"$CHROOT/etc/apt/apt.conf.d/90quillmeter-check"
in_root apt-get update -qq >"$LOGS/chroot-apt.log" 2>&1 || { tail -n 20 "$LOGS/chroot-apt.log" >&2; false; }
echo "   $CHROOT: Debian $(cat "$CHROOT/etc/debian_version")"

step "apt-get install ./$DEB_NAME in the root"
cp "$DEB" "$CHROOT/root/$DEB_NAME"
find "$CHROOT" -xdev \( -path "$CHROOT/proc" -o -path "$CHROOT/var/cache" -o -path "$CHROOT/var/lib/apt/lists" \) -prune \
  -o -print | sed "s#^$CHROOT##" | LC_ALL=C sort >"$LOGS/root-before.txt"
in_root env DEBIAN_FRONTEND=noninteractive sh -c "cd /root && apt-get install -y ./$DEB_NAME" >"$LOGS/chroot-install.log" 2>&1 \
  || { tail -n 30 "$LOGS/chroot-install.log" >&2; false; }
grep -E '^(Setting up|Unpacking) ' "$LOGS/chroot-install.log" | wc -l | sed 's/^/   packages set up with it: /'
grep -q '^Setting up fonts-noto-cjk' "$LOGS/chroot-install.log" && echo "   fonts-noto-cjk (recommended) installed"
cp -n "$CHROOT"/var/cache/apt/archives/*.deb "$CACHE/archives/" 2>/dev/null || true
in_root dpkg -s quillmeter | grep -E '^(Status|Version):' | sed 's/^/   /'
for f in /usr/bin/quillmeter /usr/bin/quillmeter-sim /usr/share/applications/org.quillmeter.Quillmeter.desktop \
         /usr/share/icons/hicolor/scalable/apps/quillmeter.svg /usr/share/icons/hicolor/48x48/apps/quillmeter.png \
         /usr/share/metainfo/org.quillmeter.Quillmeter.metainfo.xml /usr/share/man/man1/quillmeter.1.gz; do
  [ -f "$CHROOT$f" ] || fail "$f is not installed"
done

step "the installed quillmeter in the root"
# Headless against the built-in simulated instrument, the data folder in a
# temporary folder of the root's user.
DATA=/root/quillmeter-data
rc=0
in_root timeout 120 quillmeter --headless --demo --log --repeat 3 --interval 0 --no-manual \
  --data-dir "$DATA" --folder "$DATA/out" --name pkg >"$LOGS/headless.txt" 2>&1 || rc=$?
tail -n 4 "$LOGS/headless.txt" | sed 's/^/   | /'
[ "$rc" -eq 0 ] || { cat "$LOGS/headless.txt" >&2; fail "quillmeter --headless ended with exit code $rc"; }
LOGFILE=$CHROOT$DATA/out/pkg_AM_LOG.csv
[ -f "$LOGFILE" ] || fail "no log file $DATA/out/pkg_AM_LOG.csv"
lines=$(tr -d '\r' <"$LOGFILE" | wc -l)
[ "$lines" -eq 7 ] || fail "the log file has $lines lines, not 4 header lines and 3 cycles"
[ -f "$CHROOT$DATA/Resume302.txt" ] || fail "no resume file in $DATA"
echo "   headless: exit code 0, $DATA/out/pkg_AM_LOG.csv with 3 cycles, $DATA/Resume302.txt"
# The window (offscreen platform of the installed Qt), one cycle, closed at the end.
rc=0
in_root env QT_QPA_PLATFORM=offscreen timeout 120 quillmeter --demo --autostart --assume-yes --exit-after-run \
  --log --repeat 1 --interval 0 --no-manual --data-dir "$DATA" --folder "$DATA/window" --name win \
  >"$LOGS/window.txt" 2>&1 || rc=$?
[ "$rc" -eq 0 ] || { cat "$LOGS/window.txt" >&2; fail "quillmeter with a window ended with exit code $rc"; }
[ -f "$CHROOT$DATA/window/win_AM_LOG.csv" ] || fail "the window's run wrote no log file"
echo "   window (offscreen): exit code 0, one cycle logged"
in_root quillmeter-sim --help >/dev/null || fail "quillmeter-sim --help failed"
man_text=$(in_root env MANWIDTH=80 man -P cat quillmeter 2>"$LOGS/man-stderr.txt")
[ ! -s "$LOGS/man-stderr.txt" ] || fail "man quillmeter: $(cat "$LOGS/man-stderr.txt")"
grep -q -- '--headless' <<<"$man_text" || fail "man quillmeter shows no --headless"
in_root env MANWIDTH=80 man -P cat quillmeter-sim >/dev/null 2>&1 || fail "man quillmeter-sim failed"
echo "   man quillmeter: $(wc -l <<<"$man_text") lines; man quillmeter-sim renders"

step "apt-get remove, dpkg --purge: nothing of the package left but the user's data"
data_before=$(cd "$CHROOT$DATA" && find . -type f -exec sha256sum {} + | LC_ALL=C sort -k2)
in_root env DEBIAN_FRONTEND=noninteractive apt-get remove -y quillmeter >"$LOGS/chroot-remove.log" 2>&1 \
  || { tail -n 20 "$LOGS/chroot-remove.log" >&2; false; }
left=$(grep -v '/$' "$LOGS/contents.txt" | awk '{print $6}' | sed 's#^\./#/#' | while read -r f; do
  [ -e "$CHROOT$f" ] || [ -L "$CHROOT$f" ] && echo "$f"; done || true)
[ -z "$left" ] || fail "files of the package left after apt-get remove: $left"
# The package has no configuration files, so removing it leaves dpkg nothing
# to purge; purging makes sure.
in_root dpkg --purge quillmeter >>"$LOGS/chroot-remove.log" 2>&1 \
  || { tail -n 20 "$LOGS/chroot-remove.log" >&2; false; }
in_root dpkg -s quillmeter >/dev/null 2>&1 && fail "dpkg still knows quillmeter after the purge"
ls "$CHROOT"/var/lib/dpkg/info/quillmeter.* >/dev/null 2>&1 && fail "dpkg's files of quillmeter are left"
# What is new in the root since before the install: the packages it pulled in
# (left for apt-get autoremove), apt's and dpkg's own records, caches that
# triggers rebuild, and the user's data. Nothing of quillmeter's.
find "$CHROOT" -xdev \( -path "$CHROOT/proc" -o -path "$CHROOT/var/cache" -o -path "$CHROOT/var/lib/apt/lists" \) -prune \
  -o -print | sed "s#^$CHROOT##" | LC_ALL=C sort >"$LOGS/root-after.txt"
new_paths=$(LC_ALL=C comm -13 "$LOGS/root-before.txt" "$LOGS/root-after.txt")
ours=$(grep -i 'quillmeter' <<<"$new_paths" | grep -v "^$DATA\(/\|$\)" || true)
[ -z "$ours" ] || fail "left in the root after the purge: $ours"
data_after=$(cd "$CHROOT$DATA" && find . -type f -exec sha256sum {} + | LC_ALL=C sort -k2)
[ "$data_before" = "$data_after" ] || fail "the user's data in $DATA changed on removal"
echo "   no file of the package left; dpkg knows nothing of it; $DATA kept ($(wc -l <<<"$data_after") files, unchanged)"
cleanup

step "done"
echo "Quillmeter $VERSION: $DEB"
echo "lintian: $(grep -c '^E: ' "$LOGS/lintian.txt" || true) errors, $(grep -c '^W: ' "$LOGS/lintian.txt" || true) warnings, $(grep -c '^I: ' "$LOGS/lintian.txt" || true) infos, $(grep -c '^P: ' "$LOGS/lintian.txt" || true) pedantic (in $LOGS/lintian.txt)"
echo "Checked by installing it into a throwaway Debian $SUITE root (chroot)."
echo "Took $(elapsed $((SECONDS - START)))."
