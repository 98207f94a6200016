#!/usr/bin/env bash
# The Debian source package (debian/) as Debian would take it: built twice with
# dpkg-buildpackage, in two folders, at two times, with two time zones and umasks, each from the
# files a clean clone has; the two builds must give the same bytes. Then lintian on the source
# and binary packages (no error, no warning), what the package declares and holds, and an
# upgrade with apt from an older version to this one and removal, in a copy of this
# system that is thrown away afterwards: the programs, their manual pages, kvb's completion and
# kvbview under Xvfb are run from the installed package.
#
# Usage: debian_package.sh SOURCE_DIR [--check] [DEMO_ARCHIVE]
# With --check the first build also runs the tests (dh_auto_test); without, both builds use the
# nocheck profile, which must not change the package. With the demo archive, the installed kvb
# also works on it and completes its entries. Exits 77 (skipped) without debhelper.
set -euo pipefail
source=$(cd "$1" && pwd)
shift
check=
if [ "${1:-}" = --check ]; then check=--check; shift; fi
demo=${1:-}
here=$(cd "$(dirname "$0")" && pwd)
fail() { echo "FAILED: $*" >&2; exit 1; }
seconds_since() { echo "$(date +%s%N) $1" | awk '{ printf "%.0f", ($1 - $2) / 1e9 }'; }

if ! command -v dpkg-buildpackage >/dev/null || ! command -v dh >/dev/null; then
  echo "skipped: building the Debian package needs dpkg-dev and debhelper (scripts/install-deps installs them)"
  exit 77
fi
if ! dpkg-checkbuilddeps -P nocheck "$source/debian/control" 2>/dev/null; then
  echo "skipped: the package's build dependencies are missing: $(dpkg-checkbuilddeps -P nocheck "$source/debian/control" 2>&1 | sed 's/.*Unmet build dependencies: //')"
  exit 77
fi

version=$(dpkg-parsechangelog -l "$source/debian/changelog" -S Version)
upstream=${version%-*}
arch=$(dpkg --print-architecture)
multiarch=$(dpkg-architecture -q DEB_HOST_MULTIARCH)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The files of a clean clone: those git knows, committed or not, and nothing built.
copy_sources() {
  mkdir -p "$1"
  if git -C "$source" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    (cd "$source" && git ls-files -z --cached --others --exclude-standard |
       while IFS= read -r -d '' file; do [ -e "$file" ] && printf '%s\0' "$file"; done |
       tar --null -T - -cf -) | tar -xf - -C "$1"
  else
    (cd "$source" && tar --exclude=./build --exclude='./build-*' -cf - .) | tar -xf - -C "$1"
  fi
}

# dpkg-buildpackage in FOLDER, with the time zone TZ and the umask UMASK; the rest of the
# arguments are for it.
build() {
  local folder=$1 tz=$2 mask=$3
  shift 3
  local start log=$folder/../build.log
  start=$(date +%s%N)
  (cd "$folder" && umask "$mask" && TZ=$tz dpkg-buildpackage -us -uc -j2 "$@") >"$log" 2>&1 ||
    { tail -n 60 "$log" >&2; fail "dpkg-buildpackage $* in $folder (the log's end above)"; }
  echo "dpkg-buildpackage $* in $(seconds_since "$start") s"
}

first=$work/a/kvb-editor-$upstream
copy_sources "$first"
# The release tarball: the sources without debian/.
tar -C "$work/a" --exclude="kvb-editor-$upstream/debian" -czf "$work/a/kvb-editor_$upstream.orig.tar.gz" \
  "kvb-editor-$upstream"
build "$first" UTC 022 -S -d
if [ "$check" = --check ]; then
  build "$first" UTC 022 -b
else
  DEB_BUILD_OPTIONS=nocheck build "$first" UTC 022 -b -Pnocheck
fi
second=$work/second/elsewhere/src
copy_sources "$second"
DEB_BUILD_OPTIONS=nocheck build "$second" Pacific/Kiritimati 002 -b -Pnocheck

deb=kvb-editor_${version}_$arch.deb
dbgsym=kvb-editor-dbgsym_${version}_$arch.deb
for package in "$deb" "$dbgsym"; do
  [ -f "$work/a/$package" ] || fail "no $package"
  if ! cmp -s "$work/a/$package" "$work/second/elsewhere/$package"; then
    for build in a second/elsewhere; do
      dpkg-deb -R "$work/$build/$package" "$work/unpacked-${build%%/*}"
    done
    fail "the two builds of $package differ: $(diff -rq "$work/unpacked-a" "$work/unpacked-second" | head -20)"
  fi
done
echo "two builds give the same $deb and $dbgsym: $(sha256sum "$work/a/$deb" | cut -c1-16)..."

# Debian's own checker on the source package and the binary one: no error and no warning.
if command -v lintian >/dev/null; then
  findings=$(lintian "$work/a/kvb-editor_${version}.dsc" "$work/a/$deb" 2>&1 | grep -E '^[EW]: ' || true)
  [ -z "$findings" ] || fail "lintian:"$'\n'"$findings"
  echo "lintian: no error, no warning on the source and binary packages"
else
  echo "skipped lintian: it is not installed (Debian package lintian)"
fi

depends=$(dpkg-deb -f "$work/a/$deb" Depends)
for needed in libqt6widgets6 libfluidsynth3 timgm6mb-soundfont; do
  [[ $depends == *"$needed"* ]] || fail "Depends lacks $needed: $depends"
done
# Exactly the files the package is meant to hold.
dpkg-deb -c "$work/a/$deb" | awk '$1 !~ /^d/ { print substr($6, 2) }' | sort >"$work/files"
sed "s|@MULTIARCH@|$multiarch|" "$here/debian_files.txt" | sort >"$work/wanted"
diff -u "$work/wanted" "$work/files" >&2 || fail "the package's files differ from tests/packaging/debian_files.txt"
# The package needs no script of its own: the plugin is private, and the desktop's caches are
# rebuilt by the triggers of the packages that own them.
dpkg-deb -e "$work/a/$deb" "$work/control"
[ -z "$(ls "$work/control" | grep -v -x -e control -e md5sums)" ] ||
  fail "maintainer scripts: $(ls "$work/control")"

# An older version to upgrade from: this one with a lower version, a file that this one no longer
# has and another that it changed.
older=$work/older
dpkg-deb -R "$work/a/$deb" "$older"
sed -i "s/^Version: .*/Version: 0.0.1-1/" "$older/DEBIAN/control"
echo "notes of 0.0.1" >"$older/usr/share/doc/kvb-editor/OLD-NOTES"
echo "an older page" | gzip -9n >"$older/usr/share/man/man1/kvb.1.gz"
(cd "$older" && find usr -type f -exec md5sum {} + >DEBIAN/md5sums)
dpkg-deb --root-owner-group -b "$older" "$work/kvb-editor_0.0.1-1_$arch.deb" >/dev/null

if [ "$(id -u)" -ne 0 ] || ! unshare --mount true 2>/dev/null || ! grep -qw overlay /proc/filesystems; then
  echo "skipped the upgrade with apt: it needs root, mount namespaces and overlayfs, for a throw-away copy of the system"
  exit 0
fi
cp "$work/a/$deb" "$here/debian_upgrade.sh" "$here/completion.sh" "$work/"
[ -z "$demo" ] || cp "$demo" "$work/demo.kvb"
start=$(date +%s%N)
unshare --mount --propagation private "$here/debian_upgrade.sh" --outside "$work" \
  "kvb-editor_0.0.1-1_$arch.deb" "$deb" "$upstream" ${demo:+demo.kvb}
echo "upgrade and removal with apt in $(seconds_since "$start") s"
