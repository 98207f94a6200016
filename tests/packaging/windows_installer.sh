#!/usr/bin/env bash
# Builds what a Windows user downloads (the zip and the installer, with the package managers'
# manifests) from the Windows build, checks the manifests against them, and checks the
# installer under Wine, run silently in a prefix of its own:
# - installed, it puts the zip's files under Program Files with an uninstaller and registers
#   them with the system; uninstalled, it takes all of it away again, the desktop program's
#   Start-menu entry and .KVB association included;
# - where another program had .KVB, it takes the association and gives it back at uninstall;
# - an older version installed into a folder of the user's is upgraded there by the newer one
#   installed without a folder, keeping the user's files, and moved by one given another
#   folder, so that there is only ever one installation, with one uninstaller.
# Usage: windows_installer.sh SOURCE_DIR BUILD_DIR VERSION
set -euo pipefail
fail() { echo "FAILED: $*" >&2; exit 1; }
seconds_since() { echo "$(date +%s%N) $1" | awk '{ printf "%.1f", ($1 - $2) / 1e9 }'; }
# The name of the installation's entry under Uninstall (CPACK_PACKAGE_INSTALL_REGISTRY_KEY),
# which winget knows it by.
product_code="KVB Editor"

if [ "${1:-}" != --in-wine ]; then
  source=$1 build=$2 version=$3
  here=$(dirname "$0")
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
  # The same installer as an older version, to upgrade from.
  older=0.0.1
  cpack -G NSIS --config "$build/CPackConfig.cmake" -B "$work/older" \
    -D CPACK_PACKAGE_VERSION=$older -D CPACK_PACKAGE_FILE_NAME=kvb-editor-$older-win64 >/dev/null
  # The files of the zip, without its top folder.
  cmake -E tar tf "$work/out/$name.zip" | sed -n "s|^$name/||p" | grep -v '/$' | sort \
    >"$work/zip-files"
  for file in kvb.exe kvbview.exe README.txt VALIDATION-TEMPLATES.txt; do
    grep -qx "$file" "$work/zip-files" || fail "the zip lacks $file"
  done
  if [ -f "$source/LICENSE" ]; then
    grep -qx LICENSE.txt "$work/zip-files" || fail "the zip lacks LICENSE.txt"
  fi

  status=0
  python3 "$here/check_manifests.py" "$work/out" "$version" "$product_code" || status=$?
  [ "$status" -eq 0 ] || [ "$status" -eq 77 ] || fail "the manifests"

  # The desktop program as the zip holds it, to compare the installed one with.
  mkdir "$work/unzipped"
  (cd "$work/unzipped" && cmake -E tar xf "$work/out/$name.zip" "$name/kvbview.exe")
  chmod -R a+rX "$work"
  exec "$here/../../scripts/wine-run" --host "$0" --in-wine "$version" "$older" \
    "$work/zip-files" "$work/unzipped/$name/kvbview.exe" "$work/out/$name.exe" \
    "$work/older/kvb-editor-$older-win64.exe"
fi

# From here on as the Wine user, with WINEPREFIX, WINE and WINESERVER set by scripts/wine-run.
shift
version=$1 older=$2 zip_files=$3 zipped_view=$4 installer=$5 older_installer=$6
drive=$WINEPREFIX/drive_c
default_folder='C:\Program Files\KVB Editor'
menu="$drive/ProgramData/Microsoft/Windows/Start Menu/Programs/KVB Editor"
uninstall_key="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$product_code"
classes='HKLM\Software\Classes'

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
# The Linux path of a folder C:\...
unix_path() { echo "$drive/$(echo "${1#C:\\}" | tr '\\' /)"; }
# The files below a folder, one a line, sorted.
files_in() { (cd "$1" && find . -type f | sed 's|^\./||' | sort); }

# Runs INSTALLER silently with ARGUMENTS; the uninstaller, which copies itself elsewhere and
# runs from there, finishes after it returned.
run_silently() {
  local start
  start=$(date +%s%N)
  "$WINE" "$@" /S
  "$WINESERVER" -w
  echo "$(basename "$1"): ran in $(seconds_since "$start") s"
}
install_into() {
  local installer=$1 folder=${2:-}
  if [ -n "$folder" ]; then
    "$WINE" "$installer" /S "/D=$folder"
    "$WINESERVER" -w
  else
    run_silently "$installer"
  fi
}

# The installation in FOLDER is KVB Editor VERSION, the only one, and whole: the zip's files
# (and EXTRA files of the user's), its uninstaller, its entry among the installed apps, and
# archives opening in its kvbview.exe.
check_installed() {
  local folder=$1 version=$2 extra=${3:-}
  local path
  path=$(unix_path "$folder")
  [ -d "$path" ] || fail "nothing installed in $folder"
  local want
  want=$( (cat "$zip_files"; echo Uninstall.exe; [ -z "$extra" ] || echo "$extra") | sort)
  [ "$(files_in "$path")" = "$want" ] ||
    fail "the files in $folder differ from the zip's: $(diff <(echo "$want") <(files_in "$path") | tr '\n' ' ')"
  [ "$(value "$uninstall_key" DisplayVersion)" = "$version" ] ||
    fail "Add or remove programs does not list KVB Editor $version"
  [ "$(value "$uninstall_key" UninstallString)" = "\"$folder\\Uninstall.exe\"" ] ||
    fail "the uninstall entry is not the one of $folder: $(value "$uninstall_key" UninstallString)"
  [ "$(value "$classes\\.KVB")" = KVBEditor.Archive ] ||
    fail ".KVB is not associated with KVBEditor.Archive"
  [ "$(value "$classes\\KVBEditor.Archive\\shell\\open\\command")" = "\"$folder\\kvbview.exe\" \"%1\"" ] ||
    fail "KVB archives do not open with the kvbview.exe in $folder"
  [ "$(value "$classes\\KVBEditor.Archive\\DefaultIcon")" = "$folder\\kvbview.exe,0" ] ||
    fail "KVB archives do not show the icon of the kvbview.exe in $folder"
  "$WINE" reg query "$classes\\.KVB\\OpenWithProgids" /v KVBEditor.Archive >/dev/null 2>&1 ||
    fail "kvbview.exe is not offered under Open with for .KVB files"
  # The Start-menu entry starts the desktop program (the link holds its path, in UTF-16 too).
  [ -f "$menu/KVB Editor.lnk" ] || fail "no Start-menu entry for kvbview.exe"
  tr -d '\000' <"$menu/KVB Editor.lnk" | grep -qF "$folder\\kvbview.exe" ||
    fail "the Start-menu entry does not lead to the kvbview.exe in $folder"
}
# Nothing of KVB Editor is left in the registry and the Start menu.
check_registry_clean() {
  [ ! -e "$menu" ] || fail "the Start-menu folder is left after uninstalling"
  for key in "$uninstall_key" 'HKLM\Software\KVB Editor' "$classes\\KVBEditor.Archive"; do
    ! key_exists "$key" || fail "$key is left after uninstalling"
  done
}

# An installation into the default folder, and its uninstallation.
run_silently "$installer"
check_installed "$default_folder" "$version"
folder=$(unix_path "$default_folder")
said=$("$WINE" "$default_folder\\kvb.exe" --version | tr -d '\r')
[ "$said" = "kvb $version" ] || fail "the installed kvb.exe says '$said'"
# Each package strips its own copy, which stamps the release's time into it.
cmp -s "$folder/kvbview.exe" "$zipped_view" ||
  fail "the installed kvbview.exe is not the zip's"
run_silently "$default_folder\\Uninstall.exe"
[ ! -e "$folder" ] || fail "left after uninstalling: $(cd "$folder" && find . | tr '\n' ' ')"
check_registry_clean
! key_exists "$classes\\.KVB" || fail ".KVB is left after uninstalling"
echo "the installer installs and uninstalls"

# Another program opens .KVB files. An older version is installed into a folder of the user's,
# who puts a validation template there; the newer one, installed without a folder, upgrades it
# where it is.
other_command='"C:\Other\other.exe" "%1"'
"$WINE" reg add "$classes\\Other.Archive\\shell\\open\\command" /ve /d "$other_command" /f >/dev/null
"$WINE" reg add "$classes\\.KVB" /ve /d Other.Archive /f >/dev/null
# Wine quotes an argument with a space, and the installer takes /D only unquoted.
games='C:\Games\KVBEditor'
install_into "$older_installer" "$games"
check_installed "$games" "$older"
echo "validation template" >"$(unix_path "$games")/KVB.3"
install_into "$installer"
[ ! -e "$folder" ] ||
  fail "the upgrade installed a second copy into $default_folder: $(files_in "$folder" | tr '\n' ' ')"
check_installed "$games" "$version" KVB.3
echo "the installer upgrades an older version in its own folder, keeping the user's files"

# Given another folder, the newer one moves the installation there: the old folder keeps only
# the user's files, and no uninstaller that could remove the new installation's entries.
tools='C:\Tools\KVBEditor'
install_into "$installer" "$tools"
check_installed "$tools" "$version"
[ "$(files_in "$(unix_path "$games")")" = KVB.3 ] ||
  fail "left in $games after moving the installation: $(files_in "$(unix_path "$games")" | tr '\n' ' ')"
echo "the installer moves an installation to the folder given"

# Uninstalled, it gives .KVB back to the program that had it.
run_silently "$tools\\Uninstall.exe"
[ ! -e "$(unix_path "$tools")" ] || fail "left after uninstalling: $(files_in "$(unix_path "$tools")" | tr '\n' ' ')"
check_registry_clean
[ "$(value "$classes\\.KVB")" = Other.Archive ] ||
  fail ".KVB is not given back to Other.Archive: '$(value "$classes\\.KVB")'"
[ "$(value "$classes\\Other.Archive\\shell\\open\\command")" = "$other_command" ] ||
  fail "the other program's Other.Archive changed"
! key_exists "$classes\\.KVB\\OpenWithProgids" || fail ".KVB's OpenWithProgids is left"
echo "the uninstaller gives .KVB back to the program that had it"
