#!/usr/bin/env bash
# Completes kvb command lines the way a person's Tab does: types each line into an interactive
# bash in a terminal (tmux), presses Tab once, and records what the completion offered and the
# line the shell then holds; some lines are then run, to see that kvb takes back what the shell
# inserted. Everything runs twice: with the completion that bash-completion loads from an
# installed tree's share/ folder, and with the completion file alone, without bash-completion.
# Usage: completion.sh PREFIX DEMO_ARCHIVE   (PREFIX holds bin/kvb and share/)
set -euo pipefail
export LC_ALL=C.UTF-8
prefix=$(realpath "$1") demo=$(realpath "$2")
kvb=$prefix/bin/kvb
work=$(mktemp -d)
socket=kvb-completion-$$
tmux_() { tmux -u -L "$socket" -f /dev/null "$@"; }
trap 'tmux_ kill-server 2>/dev/null || true; rm -rf "$work"' EXIT
# The shell's own files are kept out of the folder whose files it completes.
shell=$work/shell
mkdir "$shell" "$work/home" "$work/files"
export HOME=$work/home
cd "$work/files"

# The demo archive, and one whose records carry every kind of name a shell or kvb's parser
# could misread: bytes in Windows-1252, written into records 6 and on of a copy of the demo.
cp "$demo" game.kvb
cp "$demo" names.kvb
names=(
  'dir with space.TEX' '*' "it's \"q\".BIN" -rf --help $'BEL\a.BIN' '' $'\xC9.TEX' 123
  DUP.BIN dup.bin 'a:b=c.BIN' '$(touch PWNED)' $'NL\nX' $'C1\x81.BIN' 'BANG!.BIN'
)
put_name() { # record index, name: the 20-byte name field, NUL-padded
  local LC_ALL=C
  { printf '%s' "$2"; head -c $((20 - ${#2})) /dev/zero; } |
    dd of=names.kvb bs=1 seek=$((16 + 27 * $1)) conv=notrunc status=none
}
for ((i = 0; i < ${#names[@]}; i++)); do
  put_name $((5 + i)) "${names[i]}"
done
cp names.kvb "$HOME"
# Folders and files of names the shell would split or expand.
mkdir folder '*' 'dir with space'
touch notes.txt picture.TEX "it's.kvb" ./-rf.kvb 'é.kvb' $'ctl\a.kvb' '*/x.kvb' 'dir with space/inner.kvb'

failures=0
fail() {
  echo "FAIL $*" >&2
  failures=$((failures + 1))
}

# Starts the interactive shell of a mode: "bash-completion" or "file".
start_shell() {
  tmux_ kill-server 2>/dev/null || true
  cat >"$shell/rc" <<EOF
PS1='\$ '
HISTFILE=/dev/null
bind 'set bell-style none'
export PATH='$prefix/bin':\$PATH XDG_DATA_DIRS='$prefix/share':/usr/share
export BASH_COMPLETION_USER_DIR='$shell/none'
if [[ $1 == bash-completion ]]; then
  source /usr/share/bash-completion/bash_completion
  __load_completion kvb || : >'$shell/no-completion'
else
  source '$prefix/share/bash-completion/completions/kvb'
fi
# Records what the completion offered, each candidate ended by a NUL.
_kvb_recorded() {
  _kvb "\$@"
  printf '%s\0' "\${COMPREPLY[@]}" >'$shell/offered.part'
  command mv -f '$shell/offered.part' '$shell/offered'
}
complete -F _kvb_recorded kvb
: >'$shell/ready'
EOF
  rm -f "$shell/ready"
  tmux_ new-session -d -s kvb -x 300 -y 40 "bash --noprofile --rcfile '$shell/rc' -i"
  wait_for "$shell/ready" || { echo "the shell did not start" >&2; exit 1; }
  [ ! -e "$shell/no-completion" ] || { echo "bash-completion found no completion for kvb" >&2; exit 1; }
}

wait_for() {
  local i
  for ((i = 0; i < 200; i++)); do
    [ -e "$1" ] && return 0
    sleep 0.05
  done
  return 1
}

# Types line, presses Tab; offered is what the completion offered, sorted, each once (the shell
# shows a candidate once), "|" between, the BEL byte as ^G.
tab() {
  rm -f "$shell/offered"
  tmux_ send-keys -t kvb C-a C-k
  tmux_ send-keys -t kvb -l -- "$1"
  tmux_ send-keys -t kvb Tab
  if ! wait_for "$shell/offered"; then
    offered='(no completion ran)'
    return
  fi
  offered=$(sort -zu "$shell/offered" | tr '\0' '|' | sed 's/|$//; s/\x07/^G/g')
}

# The line the shell holds, with the cursor at its end (trailing blanks included).
held_line() {
  local text x
  text=$(tmux_ capture-pane -p -t kvb | grep '^\$ ' | tail -1)
  x=$(tmux_ display-message -p -t kvb '#{cursor_x}')
  text=${text#\$ }
  while ((${#text} + 2 < x)); do text+=' '; done
  printf '%s' "$text"
}

# What Tab on line offers.
offers() {
  tab "$1"
  [ "$offered" = "$2" ] || fail "[$mode] '$1' offers '$offered', not '$2'"
}

# What Tab on line offers and the line it leaves.
completes() {
  local got i
  tab "$1"
  [ "$offered" = "$2" ] || fail "[$mode] '$1' offers '$offered', not '$2'"
  for ((i = 0; i < 40; i++)); do
    got=$(held_line)
    [ "$got" = "$3" ] && return
    sleep 0.05
  done
  fail "[$mode] '$1' leaves '$got', not '$3'"
}

# Tab on line, then the rest typed and the line run: kvb extracts entry number into a file,
# which must hold that entry.
extracts() {
  local line=$1 number=$2
  tab "$line"
  rm -f "$shell/out"
  tmux_ send-keys -t kvb -l -- " '$shell/out'"
  tmux_ send-keys -t kvb Enter
  if ! wait_for "$shell/out" || ! cmp -s "$shell/out" <("$kvb" extract names.kvb "$number" -); then
    fail "[$mode] '$line' + Tab did not extract entry $number (the line was: $(held_line))"
    # Out of an unfinished line, back to the prompt.
    tmux_ send-keys -t kvb C-c
  fi
}

for mode in bash-completion file; do
  start_shell "$mode"
  echo "== $mode"

  # Commands, options, and the files of each argument.
  offers "kvb extract-" "extract-all"
  offers "kvb t" "template|tex2png|truncate"
  offers "kvb --v" "--version"
  offers "kvb list --" "--help|--json|--lengths|--sorted"
  offers "kvb extract-all --match " ""
  offers "kvb create --templates f" "folder"
  completes "kvb create --templates=f" "folder" "kvb create --templates=folder/"
  offers "kvb tex2png p" "picture.TEX"
  offers "kvb replace game.kvb 1 n" "names.kvb|notes.txt"
  offers "kvb ex" "export|extract|extract-all"
  offers "kvb export --" "--help|--json|--png"
  offers "kvb update --" "--dry-run|--help|--ignore-extra|--json|--new-palette|--output"
  offers "kvb update game.kvb " "*|dir with space|folder"
  offers "kvb update --output n" "names.kvb"
  offers "kvb d" "diff"
  offers "kvb diff --" "--help|--json"
  offers "kvb diff n" "names.kvb"
  offers "kvb diff game.kvb n" "names.kvb"
  offers "kvb mod " "apply|create|info|revert"
  offers "kvb mod apply --" "--dry-run|--help|--json|--templates"
  offers "kvb mod apply n" "names.kvb"
  offers "kvb mod create --from-folder f" "folder"
  offers "kvb mod info --" "--help|--json"

  # Each file name is one candidate, quoted by the shell as it is inserted: spaces, quotes, a
  # folder named *, non-ASCII, control bytes; one that begins with "-" as ./-name.
  offers "kvb info " "*|./-rf.kvb|ctl^G.kvb|dir with space|folder|game.kvb|it's.kvb|names.kvb|é.kvb"
  completes "kvb info di" "dir with space" 'kvb info dir\ with\ space/'
  completes 'kvb info dir\ with\ space/' "dir with space/inner.kvb" 'kvb info dir\ with\ space/inner.kvb '
  completes 'kvb info "dir w' "dir with space" 'kvb info "dir with space"/'
  completes 'kvb info \*/' "*/x.kvb" 'kvb info \*/x.kvb '
  completes "kvb info it" "it's.kvb" "kvb info it\\'s.kvb "
  completes "kvb info 'it" "it's.kvb" "kvb info 'it'\\''s.kvb' "
  completes "kvb info é" "é.kvb" "kvb info é.kvb "
  completes "kvb info ./-" "./-rf.kvb" "kvb info ./-rf.kvb "
  offers "kvb extract-all game.kvb " "*|dir with space|folder"

  # Entry names as kvb takes them back.
  offers "kvb extract game.kvb gr" "GRADIENT.TEX"
  offers "kvb replace game.kvb 1 notes.txt GRAD" "GRADIENT.TEX"
  offers "kvb extract names.kvb --h" "-- --help|--help"
  # The empty name, the one of digits and the two of one name (in either case) by number.
  offers "kvb extract names.kvb 1" "12|14|15|16"
  offers "kvb extract names.kvb du" ""
  offers "kvb extract names.kvb é" ""
  completes "kvb extract names.kvb dir" 'dir\ with\ space.TEX' 'kvb extract names.kvb dir\ with\ space.TEX '
  completes 'kvb extract names.kvb "dir' 'dir with space.TEX' 'kvb extract names.kvb "dir with space.TEX" '
  completes "kvb extract names.kvb 'it" "it'\\''s \"q\".BIN" "kvb extract names.kvb 'it'\\''s \"q\".BIN' "
  completes "kvb extract names.kvb -r" "-- -rf" "kvb extract names.kvb -- -rf "
  completes "kvb extract names.kvb -- -r" "-rf" "kvb extract names.kvb -- -rf "
  completes "kvb extract names.kvb a:" "b=c.BIN" "kvb extract names.kvb a:b=c.BIN "
  completes "kvb extract names.kvb BE" "\$'BEL\\a.BIN'" "kvb extract names.kvb \$'BEL\\a.BIN' "
  extracts "kvb extract names.kvb dir" 6
  extracts 'kvb extract names.kvb "dir' 6
  extracts 'kvb extract names.kvb \*' 7
  extracts "kvb extract names.kvb it" 8
  extracts "kvb extract names.kvb \"it" 8
  extracts "kvb extract names.kvb -r" 9
  extracts "kvb extract names.kvb -- --h" 10
  extracts "kvb extract names.kvb BEL" 11
  extracts "kvb extract names.kvb 12" 12
  extracts "kvb extract names.kvb É" 13
  extracts "kvb extract names.kvb 14" 14
  extracts "kvb extract names.kvb a:b" 17
  extracts 'kvb extract names.kvb \$' 18
  extracts "kvb extract names.kvb NL" 19
  extracts "kvb extract names.kvb C1" 20
  extracts "kvb extract names.kvb BANG" 21
  extracts "kvb extract names.kvb 'BANG" 21
  # The archive's name as the shell reads it.
  extracts "kvb extract 'names'.kvb dir" 6
  extracts "kvb extract ~/names.kvb dir" 6
  extracts 'kvb extract "$HOME"/names.kvb dir' 6
  # Redirections are no arguments.
  offers "kvb extract names.kvb 2>/dev/null dir" 'dir\ with\ space.TEX'
  offers "kvb list game.kvb >n" "names.kvb|notes.txt"
  # Nothing typed is run: neither the name nor an archive named by a command substitution.
  offers 'kvb extract $(touch PWNED2).kvb ' ""
  [ ! -e PWNED ] && [ ! -e PWNED2 ] || fail "[$mode] completing ran a command"
done
[ "$failures" -eq 0 ] || { echo "$failures completion(s) wrong" >&2; exit 1; }
echo "every completion right"
