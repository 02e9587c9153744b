#!/usr/bin/env bash
# Makes Quillmeter's Windows installer with NSIS (makensis) from the folder of
# files that go into the Windows zip (scripts/windows.sh stages it, then
# builds, tests and keeps the installer).
#
#   bash scripts/windows-installer.sh --stage DIR --version 3.02 --icon quillmeter.ico \
#        --out quillmeter-3.02-setup.exe [--fast]
#
# Every file of DIR is listed one by one for the installer and, in reverse,
# for the uninstaller, so that uninstalling removes exactly what was
# installed. --fast packs with zlib instead of solid LZMA (for test installers).
set -Eeuo pipefail

ROOT_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
STAGE="" VERSION="" ICON="" OUT="" FAST=0
while (($#)); do
  case $1 in
    --stage) STAGE=$2; shift 2 ;;
    --version) VERSION=$2; shift 2 ;;
    --icon) ICON=$2; shift 2 ;;
    --out) OUT=$2; shift 2 ;;
    --fast) FAST=1; shift ;;
    *) echo "windows-installer.sh: unknown argument $1" >&2; exit 64 ;;
  esac
done
fail() { echo "windows-installer.sh: $*" >&2; exit 1; }
[ -d "$STAGE" ] || fail "--stage: no folder '$STAGE'"
[ -f "$STAGE/quillmeter.exe" ] || fail "--stage: no quillmeter.exe in $STAGE"
[ -f "$ICON" ] || fail "--icon: no file '$ICON'"
[ -n "$OUT" ] || fail "--out: the installer's file name is missing"
[[ $VERSION =~ ^[0-9]+(\.[0-9]+){0,3}$ ]] || fail "--version: '$VERSION' is not 1 to 4 numbers with dots"
command -v makensis >/dev/null || fail "makensis is missing (Debian package nsis)"

STAGE=$(cd "$STAGE" && pwd)
OUT=$(realpath -m "$OUT")
ICON=$(realpath "$ICON")
# "3.02" is 3.2.0.0 in the installer's version information.
IFS=. read -r -a parts <<<"$VERSION"
quad=""
for i in 0 1 2 3; do quad+="${quad:+.}$((10#${parts[i]:-0}))"; done

WORK=$(mktemp -d "${TMPDIR:-/tmp}/quillmeter-nsis-XXXXXX")
trap 'rm -rf "$WORK"' EXIT

# NSIS names files on the Windows side with "\"; names with a quote or "$"
# would need escaping, and the package has none.
files=()
while IFS= read -r -d '' f; do files+=("${f#./}"); done < <(cd "$STAGE" && find . -type f -print0 | LC_ALL=C sort -z)
dirs=()
while IFS= read -r -d '' d; do dirs+=("${d#./}"); done < <(cd "$STAGE" && find . -mindepth 1 -type d -print0 | LC_ALL=C sort -z)
((${#files[@]})) || fail "$STAGE holds no files"
for f in "${files[@]}"; do
  [[ $f == *[\"\$\`]* ]] && fail "a file name that the installer script cannot hold: $f"
done
[ ! -e "$STAGE/uninstall.exe" ] || fail "$STAGE holds an uninstall.exe of its own"

{
  current=""
  for f in "${files[@]}"; do
    dir=$(dirname "$f")
    [ "$dir" = "." ] && dir=""
    if [ "$dir" != "$current" ] || [ -z "${started:-}" ]; then
      win=${dir//\//\\}
      echo "  SetOutPath \"\$INSTDIR${win:+\\$win}\""
      current=$dir
      started=1
    fi
    echo "  File \"$STAGE/$f\""
  done
} >"$WORK/files.nsh"
{
  for f in "${files[@]}"; do
    win=${f//\//\\}
    echo "  Delete \"\$INSTDIR\\$win\""
  done
  # The deepest folders first; RMDir without /r leaves a folder that still
  # holds something that the installer did not put there.
  for ((i = ${#dirs[@]} - 1; i >= 0; i--)); do
    win=${dirs[i]//\//\\}
    echo "  RMDir \"\$INSTDIR\\$win\""
  done
} >"$WORK/unfiles.nsh"

size_kb=$(du -sk --apparent-size "$STAGE" | cut -f1)
args=(-V2 -INPUTCHARSET UTF8
      "-DVERSION=$VERSION" "-DVERSION_QUAD=$quad" "-DSTAGE=$STAGE"
      "-DFILES=$WORK/files.nsh" "-DUNFILES=$WORK/unfiles.nsh" "-DSIZE_KB=$size_kb"
      "-DICON=$ICON" "-DOUTFILE=$OUT.tmp")
((FAST)) && args+=(-DFAST=1)
mkdir -p "$(dirname "$OUT")"
rm -f "$OUT" "$OUT.tmp"
makensis "${args[@]}" "$ROOT_DIR/packaging/windows/quillmeter.nsi" >"$WORK/makensis.log" 2>&1 \
  || { tail -n 40 "$WORK/makensis.log" >&2; fail "makensis failed"; }
if grep -q -i 'warning' "$WORK/makensis.log"; then grep -i -A2 'warning' "$WORK/makensis.log" | sed 's/^/   makensis: /'; fi
mv "$OUT.tmp" "$OUT"
echo "   $OUT ($(du -h "$OUT" | cut -f1); ${#files[@]} files, $size_kb KB installed)"
