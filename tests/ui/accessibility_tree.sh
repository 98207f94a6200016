#!/usr/bin/env bash
# Runs accessibility_tree.py on kvbview in a session of its own: a D-Bus session bus (which
# starts the accessibility bus on demand) and a display of Xvfb's. Skipped, naming the Debian
# package, where a part of that is missing.
# Usage: accessibility_tree.sh KVBVIEW DESCRIBE_MAIN_WINDOW ARCHIVE
set -euo pipefail
skip() { echo "skipped: $1 is missing (Debian package $2)"; exit 77; }

# The system's Python, where Debian installs the bindings, before any other on the PATH.
python=
for p in /usr/bin/python3 "$(command -v python3 || true)"; do
  if [ -x "$p" ] && "$p" -c 'import pyatspi' 2>/dev/null; then python=$p; break; fi
done
[ -n "$python" ] || skip "Python's pyatspi" python3-pyatspi
command -v dbus-run-session >/dev/null || skip dbus-run-session dbus
command -v xvfb-run >/dev/null || skip xvfb-run xvfb
command -v xdotool >/dev/null || skip xdotool xdotool
[ -x /usr/libexec/at-spi-bus-launcher ] || skip at-spi-bus-launcher at-spi2-core

here=$(dirname "$(realpath "$0")")
exec timeout 60 dbus-run-session -- xvfb-run -a -s "-screen 0 1024x768x24" \
  "$python" "$here/accessibility_tree.py" "$@"
