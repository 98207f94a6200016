#!/usr/bin/env bash
# Installs the build into a fresh prefix and asks GIO, as a file manager does, what a texture
# and TeX source are: a texture named *.TEX must be the texture type that the thumbnailer
# serves, and TeX source must stay TeX, whether named *.tex or *.TEX.
# Usage: mime_types.sh BUILD_DIR DEMO_ARCHIVE
set -euo pipefail
build=$1 demo=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$work/prefix" >/dev/null
XDG_DATA_DIRS=$work/prefix/share:/usr/share update-mime-database "$work/prefix/share/mime"
cd "$work"
"$work/prefix/bin/kvb" extract "$demo" GRADIENT.TEX GRADIENT.TEX
"$work/prefix/bin/kvb" extract "$demo" PICTURE.TEX picture.TEX
printf '\\documentclass{article}\n\\begin{document}\nA texture.\n\\end{document}\n' >paper.tex
cp paper.tex PAPER.TEX

type_of() {
  XDG_DATA_HOME=$work/home XDG_DATA_DIRS=$work/prefix/share:/usr/share \
    gio info -a standard::content-type "$1" | sed -n 's/^ *standard::content-type: //p'
}
expect() {
  local got
  got=$(type_of "$1")
  [ "$got" = "$2" ] || fail "$1 is $got, not $2"
  echo "$1: $got"
}
expect GRADIENT.TEX image/x-kvb-tex
expect picture.TEX image/x-kvb-tex
expect paper.tex text/x-tex
expect PAPER.TEX text/x-tex
grep -qx 'MimeType=image/x-kvb-tex;' "$work/prefix/share/thumbnailers/kvbview-tex.thumbnailer" ||
  fail "the thumbnailer serves another type"
