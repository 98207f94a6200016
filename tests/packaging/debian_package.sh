#!/usr/bin/env bash
# Builds the Debian package, checks what it declares and what lintian says of it, unpacks it
# into an empty root and runs the programs from there: kvb --version, the manual pages, kvb's
# bash completion, and kvbview on a display of Xvfb's until its main window is mapped.
# Usage: debian_package.sh BUILD_DIR DEMO_ARCHIVE VERSION
set -euo pipefail
build=$1 demo=$2 version=$3
work=$(mktemp -d)
trap 'kill "${view:-}" 2>/dev/null || true; rm -rf "$work"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >/dev/null
deb=$(echo "$work"/out/kvb-editor_"$version"_*.deb)
[ -f "$deb" ] || fail "no package kvb-editor_${version}_*.deb"
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes"

depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6widgets6 libfluidsynth3 timgm6mb-soundfont; do
  [[ $depends == *"$needed"* ]] || fail "Depends lacks $needed: $depends"
done
contents=$(dpkg-deb -c "$deb")$'\n'
for file in usr/bin/kvb usr/bin/kvbview usr/lib/*/kvb/kvb-media.so \
            usr/share/applications/kvbview.desktop usr/share/mime/packages/kvbview-kvb.xml \
            usr/share/icons/hicolor/scalable/apps/kvbview.svg \
            usr/share/icons/hicolor/48x48/apps/kvbview.png \
            usr/share/thumbnailers/kvbview-tex.thumbnailer \
            usr/share/metainfo/org.example.kvb_editor.kvbview.metainfo.xml \
            usr/share/doc/kvb-editor/copyright usr/share/doc/kvb-editor/changelog.gz \
            usr/share/man/man1/kvb.1.gz usr/share/man/man1/kvbview.1.gz \
            usr/share/bash-completion/completions/kvb; do
  [[ $contents == *" ./"$file$'\n'* ]] || fail "the package lacks /$file"
done
# The package needs no script of its own: the plugin is private, and the desktop's caches are
# rebuilt by the triggers of the packages that own them.
dpkg-deb -e "$deb" "$work/control"
[ -z "$(ls "$work/control" | grep -v -x -e control -e md5sums)" ] ||
  fail "maintainer scripts: $(ls "$work/control")"

# Debian's own checker: no error and no warning. Only where it is installed.
if command -v lintian >/dev/null; then
  findings=$(lintian "$deb" 2>/dev/null | grep -E '^[EW]: ' || true)
  [ -z "$findings" ] || fail "lintian:"$'\n'"$findings"
  echo "lintian: no error, no warning"
fi

root=$work/root
dpkg-deb -x "$deb" "$root"
[ "$("$root/usr/bin/kvb" --version)" = "kvb $version" ] || fail "kvb --version"
[ "$("$root/usr/bin/kvbview" --version)" = "kvbview $version" ] || fail "kvbview --version"

# man finds the pages where the package puts them; kvb's lists every command and its
# options, exit codes and environment, as kvb --help does.
page=$(MANWIDTH=200 man -M "$root/usr/share/man" kvb 2>/dev/null) || fail "man kvb"
for command in $("$root/usr/bin/kvb" --help | sed -n '/^Subcommands:/,/^$/s/^  \([a-z0-9-]*\) .*/\1/p'); do
  [[ $page == *"kvb $command"* ]] || fail "man kvb lacks the command $command"
  for option in $("$root/usr/bin/kvb" "$command" --help | sed -n 's/^  \(--[a-z-]*\).*/\1/p'); do
    [[ $page == *"$option"* ]] || fail "man kvb lacks $command's option $option"
  done
done
for part in "EXIT STATUS" ENVIRONMENT KVB_SOUNDFONT WINEPREFIX; do
  [[ $page == *"$part"* ]] || fail "man kvb lacks $part"
done
page=$(MANWIDTH=200 man -M "$root/usr/share/man" kvbview 2>/dev/null) || fail "man kvbview"
[[ $page == *"kvbview [ARCHIVE]"* && $page == *KVB_SOUNDFONT* ]] || fail "man kvbview: $page"
echo "man kvb, man kvbview"
bash "$(dirname "$0")/completion.sh" "$root/usr" "$demo" >/dev/null || fail "kvb's completion"
echo "kvb's completion"
"$root/usr/bin/kvb" extract "$demo" GRADIENT.TEX "$work/GRADIENT.TEX"
# The thumbnailer's command line, as file managers run it.
"$root/usr/bin/kvb" tex2png --size 128 "$work/GRADIENT.TEX" "$work/thumb.png" ||
  fail "the thumbnailer's command"

cat >"$work/view.sh" <<'VIEW'
#!/usr/bin/env bash
# Waits (at most a minute, for a loaded machine) for the main window to be mapped.
"$1" "$2" & view=$!
for _ in $(seq 600); do
  if xwininfo -root -tree | grep -q '"KVB Editor"'; then kill $view; exit 0; fi
  kill -0 $view 2>/dev/null || { wait $view; echo "kvbview ended with $?" >&2; exit 1; }
  sleep 0.1
done
kill $view
echo "kvbview showed no window" >&2
exit 1
VIEW
env -u QT_QPA_PLATFORM xvfb-run -a bash "$work/view.sh" "$root/usr/bin/kvbview" "$demo" ||
  fail "kvbview under Xvfb"
echo "the package installs and runs"
