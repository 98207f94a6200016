#!/usr/bin/env bash
# Completes kvb command lines in bash the way a person's Tab does, with the completion that
# bash-completion loads from an installed tree's share/ folder.
# Usage: completion.sh PREFIX DEMO_ARCHIVE   (PREFIX holds bin/kvb and share/)
set -euo pipefail
prefix=$(realpath "$1") demo=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
cp "$demo" game.kvb
mkdir folder
touch notes.txt picture.TEX

# Runs in a fresh bash: bash-completion finds the completion on its own, through
# XDG_DATA_DIRS, then the line is completed at its end. Prints the candidates, sorted.
complete_line() {
  PATH=$prefix/bin:$PATH XDG_DATA_DIRS=$prefix/share:/usr/share BASH_COMPLETION_USER_DIR=$work/none \
    bash --norc --noprofile -c '
      source /usr/share/bash-completion/bash_completion
      __load_completion kvb || { echo "bash-completion found no completion for kvb" >&2; exit 1; }
      read -ra COMP_WORDS <<<"$1"
      [[ $1 == *" " ]] && COMP_WORDS+=("")
      COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
      COMP_LINE=$1 COMP_POINT=${#1}
      "$(complete -p kvb | sed -n "s/.*-F \([^ ]*\) kvb$/\1/p")" kvb "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
      printf "%s\n" "${COMPREPLY[@]}" | sort' _ "$1"
}

failures=0
expect() {
  local line=$1 want=$2 got
  got=$(complete_line "$line" | tr '\n' ' ' | sed 's/ $//')
  if [ "$got" = "$want" ]; then
    echo "ok   '$line' -> $got"
  else
    echo "FAIL '$line' -> '$got', not '$want'"
    failures=$((failures + 1))
  fi
}

expect "kvb extract-" "extract-all"
expect "kvb t" "template tex2png truncate"
expect "kvb --v" "--version"
expect "kvb list --" "--help --json --lengths --sorted"
expect "kvb info " "folder game.kvb"
expect "kvb extract game.kvb gr" "GRADIENT.TEX"
expect "kvb replace game.kvb 1 n" "notes.txt"
expect "kvb replace game.kvb 1 notes.txt GRAD" "GRADIENT.TEX"
expect "kvb extract-all game.kvb " "folder"
expect "kvb extract-all --match " ""
expect "kvb create --templates f" "folder"
expect "kvb tex2png p" "picture.TEX"
[ "$failures" -eq 0 ] || { echo "$failures completion(s) wrong" >&2; exit 1; }
