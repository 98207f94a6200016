#!/usr/bin/env bash
# Installs the build into a fresh prefix and starts the installed kvbview on the demo archive, on
# a display of Xvfb's, until its main window is mapped: the desktop program runs from wherever
# it is installed.
# Usage: installed_kvbview.sh BUILD_DIR DEMO_ARCHIVE
set -euo pipefail
build=$1 demo=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$work/prefix" >/dev/null
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
env -u QT_QPA_PLATFORM xvfb-run -a bash "$work/view.sh" "$work/prefix/bin/kvbview" "$demo" ||
  fail "kvbview under Xvfb"
echo "the installed kvbview shows its window"
