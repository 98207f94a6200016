#!/usr/bin/env bash
# Installs the build into a fresh prefix and runs every kvb command from there: an install must
# work wherever it is put, with nothing found through the build tree. Its manual pages describe
# every command and option, and kvb's completion works from it.
# Usage: installed_kvb.sh BUILD_DIR DEMO_ARCHIVE VERSION
set -euo pipefail
build=$1 demo=$(realpath "$2") version=$3
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$work/prefix" >/dev/null
# Moved after installing, so that no path of the install step can be the one that works.
mv "$work/prefix" "$work/moved"
kvb=$work/moved/bin/kvb
[ -x "$work/moved/bin/kvbview" ] || fail "kvbview is not installed"
cd "$work"

[ "$("$kvb" --version)" = "kvb $version" ] || fail "--version"
"$kvb" info "$demo" | grep -q '^# of files in archive:' || fail info
"$kvb" list --json "$demo" | grep -q '"name":"GRADIENT.TEX"' || fail "list --json"
"$kvb" extract "$demo" gradient.tex GRADIENT.TEX || fail "extract by name"
"$kvb" extract "$demo" TUNE.MID - >TUNE.MID || fail "extract to standard output"
"$kvb" extract-all "$demo" textures --match '*.tex' || fail extract-all
[ -f textures/PICTURE.TEX ] && [ ! -e textures/TUNE.MID ] || fail "extract-all --match"
"$kvb" tex2png GRADIENT.TEX gradient.png || fail tex2png
"$kvb" tex2png --size 32 GRADIENT.TEX thumb.png || fail "tex2png --size"
"$kvb" png2tex GRADIENT.TEX gradient.png again.tex || fail png2tex
"$kvb" midi2wav TUNE.MID tune.wav || fail midi2wav
"$kvb" analyse --json "$demo" | grep -q '"lines":\[' || fail analyse
# The demo's own validation block fits an archive of as many files as the demo has.
"$kvb" template "$demo" . >/dev/null || fail template
"$kvb" extract-all "$demo" all || fail extract-all
"$kvb" create all new.kvb --templates . || fail create
count=$(ls all | wc -l)
"$kvb" raw new.kvb >/dev/null || fail raw
"$kvb" replace new.kvb GRADIENT.TEX again.tex >/dev/null || fail replace
"$kvb" append new.kvb gradient.png >/dev/null || fail append
"$kvb" link new.kvb 1 $((count + 1)) >/dev/null || fail link
"$kvb" truncate new.kvb "$count" --yes >/dev/null || fail truncate
"$kvb" export --png "$demo" mod || fail export
[ -f mod/GRADIENT.png ] && [ -f mod/.kvb-export.json ] || fail "export --png"
cp "$demo" game.kvb
"$kvb" update --dry-run game.kvb mod | grep -q . && fail "update --dry-run found changes"
cp mod/PICTURE.png mod/GRADIENT.png
"$kvb" update game.kvb mod | grep -q $'\tGRADIENT.TEX\t' || fail update
"$kvb" mod create "$demo" game.kvb -o fix.kvbmod --name Fix >/dev/null || fail "mod create"
"$kvb" mod info fix.kvbmod | grep -q '^mod: Fix$' || fail "mod info"
cp "$demo" target.kvb
"$kvb" mod apply target.kvb fix.kvbmod | grep -q $'\tGRADIENT.TEX\t' || fail "mod apply"
cmp -s target.kvb game.kvb || fail "mod apply wrote another archive than update"
"$kvb" mod revert target.kvb fix.kvbmod >/dev/null || fail "mod revert"
cmp -s target.kvb "$demo" || fail "mod revert did not give the archive back"
HOME=$work WINEPREFIX=$work/none "$kvb" game-folder 2>/dev/null && fail "game-folder found a game"
echo "every kvb command works from $work/moved"

# man finds the pages in the install's share/man; kvb's lists every command and its options,
# exit codes and environment, as kvb --help does.
page=$(MANWIDTH=200 man -M "$work/moved/share/man" kvb 2>/dev/null) || fail "man kvb"
for command in $("$kvb" --help | sed -n '/^Subcommands:/,/^$/s/^  \([a-z0-9-]*\) .*/\1/p'); do
  [[ $page == *"kvb $command"* ]] || fail "man kvb lacks the command $command"
  for option in $("$kvb" "$command" --help | sed -n 's/^  \(--[a-z-]*\).*/\1/p'); do
    [[ $page == *"$option"* ]] || fail "man kvb lacks $command's option $option"
  done
done
for part in "EXIT STATUS" ENVIRONMENT KVB_SOUNDFONT WINEPREFIX; do
  [[ $page == *"$part"* ]] || fail "man kvb lacks $part"
done
page=$(MANWIDTH=200 man -M "$work/moved/share/man" kvbview 2>/dev/null) || fail "man kvbview"
[[ $page == *"kvbview [ARCHIVE]"* && $page == *KVB_SOUNDFONT* ]] || fail "man kvbview: $page"
echo "man kvb, man kvbview"
bash "$here/completion.sh" "$work/moved" "$demo" >/dev/null || fail "kvb's completion"
echo "kvb's completion"
