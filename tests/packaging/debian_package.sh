#!/usr/bin/env bash
# Builds the Debian package, checks what it declares, unpacks it into an empty root and runs
# the programs from there: kvb --version, and kvbview on a display of Xvfb's until its main
# window is mapped.
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
for file in usr/bin/kvb usr/bin/kvbview usr/lib/kvb/kvb-media.so \
            usr/share/applications/kvbview.desktop usr/share/mime/packages/kvbview-kvb.xml \
            usr/share/icons/hicolor/scalable/apps/kvbview.svg \
            usr/share/icons/hicolor/48x48/apps/kvbview.png \
            usr/share/thumbnailers/kvbview-tex.thumbnailer \
            usr/share/metainfo/org.example.kvb_editor.kvbview.metainfo.xml; do
  [[ $contents == *" ./$file"$'\n'* ]] || fail "the package lacks /$file"
done

root=$work/root
dpkg-deb -x "$deb" "$root"
[ "$("$root/usr/bin/kvb" --version)" = "kvb $version" ] || fail "kvb --version"
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
