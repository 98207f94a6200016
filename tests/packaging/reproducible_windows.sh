#!/usr/bin/env bash
# The Windows zip built twice: from the Windows build at hand, and from a second build of the
# programs (without the tests) from the files of a clean clone, in another folder, at another
# time, with another time zone and umask. The two zips must be the same bytes. (The installer
# is not compared: makensis stores the times of files that CPack writes for it at each run.)
# Usage: reproducible_windows.sh SOURCE_DIR WINDOWS_BUILD_DIR
# Exits 77 (skipped) when the Windows build is not there or strip-nondeterminism is missing.
set -euo pipefail
source=$(cd "$1" && pwd) build=$2
fail() { echo "FAILED: $*" >&2; exit 1; }
seconds_since() { echo "$(date +%s%N) $1" | awk '{ printf "%.0f", ($1 - $2) / 1e9 }'; }

if [ ! -f "$build/CPackConfig.cmake" ]; then
  echo "skipped: the Windows build is not there (cmake --preset windows && cmake --build --preset windows)"
  exit 77
fi
if ! command -v strip-nondeterminism >/dev/null; then
  echo "skipped: the zip's times are set by strip-nondeterminism (Debian package strip-nondeterminism)"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

(cd "$build" && TZ=UTC cpack -G ZIP -B "$work/first" >/dev/null)

second=$work/elsewhere/kvb
mkdir -p "$second"
if git -C "$source" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  (cd "$source" && git ls-files -z --cached --others --exclude-standard |
     while IFS= read -r -d '' file; do [ -e "$file" ] && printf '%s\0' "$file"; done |
     tar --null -T - -cf -) | tar -xf - -C "$second"
else
  (cd "$source" && tar --exclude=./build --exclude='./build-*' -cf - .) | tar -xf - -C "$second"
fi
start=$(date +%s%N)
(
  cd "$second"
  umask 002
  export TZ=Pacific/Kiritimati
  cmake --preset windows -DKVB_BUILD_TESTS=OFF >/dev/null
  cmake --build --preset windows -j2 >"$work/build.log" 2>&1 || { tail -n 40 "$work/build.log" >&2; exit 1; }
  cd build/windows && cpack -G ZIP -B "$work/second" >/dev/null
) || fail "the second Windows build"
echo "second Windows build and its zip in $(seconds_since "$start") s"

zip=$(cd "$work/first" && echo *.zip)
if ! cmp -s "$work/first/$zip" "$work/second/$zip"; then
  for build in first second; do
    mkdir "$work/$build/unpacked"
    (cd "$work/$build/unpacked" && cmake -E tar xf "../$zip")
  done
  fail "the two builds' $zip differ: $(diff -rq "$work/first/unpacked" "$work/second/unpacked" | head -20)"
fi
echo "the same $zip from both builds: $(sha256sum "$work/first/$zip" | cut -c1-16)..."
