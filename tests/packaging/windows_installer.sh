#!/usr/bin/env bash
# Builds what a Windows user downloads (the zip and the installer) from the Windows build and
# checks it under Wine: the installer, run silently in a prefix of its own, puts the zip's files
# under Program Files with an uninstaller, registers them with the system, and the uninstaller,
# run silently, takes all of it away again, the desktop program's Start-menu entry and .KVB
# association included.
# Usage: windows_installer.sh SOURCE_DIR BUILD_DIR VERSION
set -euo pipefail
fail() { echo "FAILED: $*" >&2; exit 1; }
seconds_since() { echo "$(date +%s%N) $1" | awk '{ printf "%.1f", ($1 - $2) / 1e9 }'; }

if [ "${1:-}" != --in-wine ]; then
  source=$1 build=$2 version=$3
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  # Read by the Wine user (scripts/wine-run) as well.
  chmod 755 "$work"
  name=kvb-editor-$version-win64

  start=$(date +%s%N)
  cpack -G "ZIP;NSIS" --config "$build/CPackConfig.cmake" -B "$work/out" >/dev/null
  echo "zip and installer built in $(seconds_since "$start") s:" \
       "$name.zip $(stat -c %s "$work/out/$name.zip") bytes," \
       "$name.exe $(stat -c %s "$work/out/$name.exe") bytes"
  # The files of the zip, without its top folder.
  cmake -E tar tf "$work/out/$name.zip" | sed -n "s|^$name/||p" | grep -v '/$' | sort \
    >"$work/zip-files"
  for file in kvb.exe kvbview.exe README.txt VALIDATION-TEMPLATES.txt; do
    grep -qx "$file" "$work/zip-files" || fail "the zip lacks $file"
  done
  if [ -f "$source/LICENSE" ]; then
    grep -qx LICENSE.txt "$work/zip-files" || fail "the zip lacks LICENSE.txt"
  fi

  # The desktop program as the zip holds it, to compare the installed one with.
  mkdir "$work/unzipped"
  (cd "$work/unzipped" && cmake -E tar xf "$work/out/$name.zip" "$name/kvbview.exe")
  chmod -R a+rX "$work"
  exec "$(dirname "$0")/../../scripts/wine-run" --host "$0" --in-wine "$version" \
    "$work/zip-files" "$work/unzipped/$name/kvbview.exe" "$work/out/$name.exe"
fi

# From here on as the Wine user, with WINEPREFIX, WINE and WINESERVER set by scripts/wine-run.
shift
version=$1 zip_files=$2 zipped_view=$3 installer=$4
folder="$WINEPREFIX/drive_c/Program Files/KVB Editor"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/KVB Editor"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\KVB Editor'

# The text value NAME of KEY (the default value without NAME), or nothing when it is missing.
value() {
  local found
  if [ $# -eq 2 ]; then
    found=$("$WINE" reg query "$1" /v "$2" 2>/dev/null) || return 0
  else
    found=$("$WINE" reg query "$1" /ve 2>/dev/null) || return 0
  fi
  echo "$found" | tr -d '\r' | sed -n "s/^ *${2:-(Default)} *REG_SZ *//p"
}
key_exists() { "$WINE" reg query "$1" >/dev/null 2>&1; }

start=$(date +%s%N)
"$WINE" "$installer" /S
"$WINESERVER" -w
echo "$(basename "$installer"): installed in $(seconds_since "$start") s"

[ -d "$folder" ] || fail "nothing installed in C:\\Program Files\\KVB Editor"
installed=$(cd "$folder" && find . -type f | sed 's|^\./||' | grep -vx Uninstall.exe | sort)
[ "$installed" = "$(cat "$zip_files")" ] ||
  fail "installed files differ from the zip's: $(diff "$zip_files" <(echo "$installed") | tr '\n' ' ')"
[ -f "$folder/Uninstall.exe" ] || fail "no uninstaller"
said=$("$WINE" 'C:\Program Files\KVB Editor\kvb.exe' --version | tr -d '\r')
[ "$said" = "kvb $version" ] || fail "the installed kvb.exe says '$said'"
# Each package strips its own copy, which stamps the time into the program's first kilobyte.
cmp -s <(tail -c +1025 "$folder/kvbview.exe") <(tail -c +1025 "$zipped_view") ||
  fail "the installed kvbview.exe is not the zip's"
[ "$(value "$uninstall_key" DisplayVersion)" = "$version" ] ||
  fail "Add or remove programs does not list KVB Editor $version"

# The Start-menu entry starts the desktop program (the link holds its path, in UTF-16 too).
[ -f "$menu/KVB Editor.lnk" ] || fail "no Start-menu entry for kvbview.exe"
tr -d '\000' <"$menu/KVB Editor.lnk" | grep -qF 'KVB Editor\kvbview.exe' ||
  fail "the Start-menu entry does not lead to kvbview.exe"
# A double-click on an archive opens it in the desktop program, which also gives it its icon.
[ "$(value 'HKLM\Software\Classes\.KVB')" = KVBEditor.Archive ] ||
  fail ".KVB is not associated with KVBEditor.Archive"
[ "$(value 'HKLM\Software\Classes\KVBEditor.Archive\shell\open\command')" = \
  '"C:\Program Files\KVB Editor\kvbview.exe" "%1"' ] || fail "KVB archives do not open with kvbview.exe"
[ "$(value 'HKLM\Software\Classes\KVBEditor.Archive\DefaultIcon')" = \
  'C:\Program Files\KVB Editor\kvbview.exe,0' ] || fail "KVB archives do not show kvbview.exe's icon"
"$WINE" reg query 'HKLM\Software\Classes\.KVB\OpenWithProgids' /v KVBEditor.Archive >/dev/null 2>&1 ||
  fail "kvbview.exe is not offered under Open with for .KVB files"

start=$(date +%s%N)
"$WINE" 'C:\Program Files\KVB Editor\Uninstall.exe' /S
# The uninstaller copies itself elsewhere and runs from there, finishing after it returned.
"$WINESERVER" -w
echo "uninstalled in $(seconds_since "$start") s"
[ ! -e "$folder" ] || fail "left after uninstalling: $(cd "$folder" && find . | tr '\n' ' ')"
[ ! -e "$menu" ] || fail "the Start-menu folder is left after uninstalling"
for key in "$uninstall_key" 'HKLM\Software\KVB Editor' 'HKLM\Software\Classes\.KVB' \
           'HKLM\Software\Classes\KVBEditor.Archive'; do
  ! key_exists "$key" || fail "$key is left after uninstalling"
done
echo "the installer installs and uninstalls"
