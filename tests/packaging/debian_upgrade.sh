#!/usr/bin/env bash
# Installs an older kvb-editor package with apt, upgrades it to the newer one with apt, runs the
# installed programs, then removes the package: in a copy of this system that only
# this run sees (an overlay on / in a mount namespace of its own, changes in memory), so that
# nothing is installed here. debian_package.sh runs it.
#
# Usage (as root, in a mount namespace of its own):
#   debian_upgrade.sh --outside WORK OLDER.deb NEWER.deb VERSION [DEMO_ARCHIVE]
# WORK holds both packages, completion.sh, this script and the demo archive, if one is named; the
# copy sees it as /tmp/work.
set -euo pipefail
fail() { echo "FAILED: $*" >&2; exit 1; }

if [ "$1" = --outside ]; then
  work=$2
  shift 2
  layers=$work/layers
  mkdir "$layers"
  # The changes live on a file system of their own, outside the one the overlay shows.
  mount -t tmpfs tmpfs "$layers"
  mkdir "$layers/changes" "$layers/scratch" "$layers/root"
  mount -t overlay overlay -o "lowerdir=/,upperdir=$layers/changes,workdir=$layers/scratch" "$layers/root"
  root=$layers/root
  mount -t proc proc "$root/proc"
  mount --rbind /dev "$root/dev"
  mount -t tmpfs tmpfs "$root/tmp"
  mount -t tmpfs tmpfs "$root/run"
  mkdir "$root/tmp/work"
  mount --bind "$work" "$root/tmp/work"
  exec chroot "$root" /tmp/work/debian_upgrade.sh --inside "$@"
fi

shift
older=/tmp/work/$1 newer=/tmp/work/$2 version=$3 demo=${4:+/tmp/work/$4}
export DEBIAN_FRONTEND=noninteractive
apt_install() {
  apt-get install -y -q --no-install-recommends "$1" >/tmp/apt.log 2>&1 ||
    { cat /tmp/apt.log >&2; fail "apt-get install $1"; }
}

[ -z "$(dpkg-query -W -f='${Status}' kvb-editor 2>/dev/null | grep ' installed')" ] ||
  fail "kvb-editor is installed on this system already"
apt_install "$older"
[ -f /usr/share/doc/kvb-editor/OLD-NOTES ] || fail "the older package did not install"
apt_install "$newer"
installed=$(dpkg-query -W -f='${Version}' kvb-editor)
[ "$installed" = "$(dpkg-deb -f "$newer" Version)" ] || fail "installed is $installed"
[ ! -e /usr/share/doc/kvb-editor/OLD-NOTES ] || fail "the upgrade left the older version's file"
dpkg --verify kvb-editor || fail "the upgraded files are not the newer package's"
echo "apt upgrades $(dpkg-deb -f "$older" Version) to $installed"

# The installed programs, from the directories of the system.
[ "$(kvb --version)" = "kvb $version" ] || fail "kvb --version: $(kvb --version)"
[ "$(kvbview --version)" = "kvbview $version" ] || fail "kvbview --version"
cd /tmp
if [ -n "$demo" ]; then
  kvb extract "$demo" GRADIENT.TEX GRADIENT.TEX
  # The thumbnailer's command line, as file managers run it.
  kvb tex2png --size 128 GRADIENT.TEX thumb.png || fail "the thumbnailer's command"
  kvb extract "$demo" TUNE.MID TUNE.MID
  kvb midi2wav TUNE.MID tune.wav || fail "kvb midi2wav, with its module"
  bash /tmp/work/completion.sh /usr "$demo" >/dev/null || fail "kvb's completion"
  echo "kvb's commands, its media module and its completion"
fi

# man finds the pages where the package puts them; kvb's lists every command and its
# options, exit codes and environment, as kvb --help does.
page=$(MANWIDTH=200 man kvb 2>/dev/null) || fail "man kvb"
for command in $(kvb --help | sed -n '/^Subcommands:/,/^$/s/^  \([a-z0-9-]*\) .*/\1/p'); do
  [[ $page == *"kvb $command"* ]] || fail "man kvb lacks the command $command"
  for option in $(kvb "$command" --help | sed -n 's/^  \(--[a-z-]*\).*/\1/p'); do
    [[ $page == *"$option"* ]] || fail "man kvb lacks $command's option $option"
  done
done
for part in "EXIT STATUS" ENVIRONMENT KVB_SOUNDFONT WINEPREFIX; do
  [[ $page == *"$part"* ]] || fail "man kvb lacks $part"
done
page=$(MANWIDTH=200 man kvbview 2>/dev/null) || fail "man kvbview"
[[ $page == *"kvbview [ARCHIVE]"* && $page == *KVB_SOUNDFONT* ]] || fail "man kvbview: $page"
echo "man kvb, man kvbview"

# kvbview opens its main window on a display of Xvfb's (at most a minute, for a loaded machine).
cat >view.sh <<'VIEW'
kvbview & view=$!
for _ in $(seq 600); do
  if xwininfo -root -tree | grep -q '"KVB Editor"'; then kill $view; exit 0; fi
  kill -0 $view 2>/dev/null || { wait $view; echo "kvbview ended with $?" >&2; exit 1; }
  sleep 0.1
done
kill $view
echo "kvbview showed no window" >&2
exit 1
VIEW
if command -v xvfb-run >/dev/null; then
  env -u QT_QPA_PLATFORM xvfb-run -a bash view.sh || fail "kvbview under Xvfb"
  echo "kvbview shows its window"
else
  echo "skipped kvbview's window: xvfb-run is missing (Debian packages xvfb, xauth)"
fi

files=$(dpkg-query -L kvb-editor | while read -r path; do [ -d "$path" ] || echo "$path"; done)
# The package keeps no configuration: removing it leaves nothing, not even for a purge.
apt-get remove -y -q kvb-editor >/tmp/apt.log 2>&1 || { cat /tmp/apt.log >&2; fail "apt-get remove"; }
left=$(for path in $files; do [ ! -e "$path" ] || echo "$path"; done)
[ -z "$left" ] || fail "left after removing: $left"
[ ! -e /usr/share/doc/kvb-editor ] && [ ! -e "/usr/lib/$(dpkg-architecture -q DEB_HOST_MULTIARCH)/kvb" ] ||
  fail "the package's folders are left after removing"
state=$(dpkg-query -W -f='${db:Status-Status}' kvb-editor 2>/dev/null || true)
[ -z "$state" ] || [ "$state" = not-installed ] || fail "dpkg keeps kvb-editor as $state after removing"
echo "removed, nothing left"
