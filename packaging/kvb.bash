
# bash completion for kvb: commands, options, archives and other files by what each argument
# is, and entry names as kvb takes them back. The table above says what each command takes.
#
# Files and folders are completed by bash-completion's _filedir where it is loaded, and the same
# way with compgen where it is not: each name one candidate, whatever it holds, which the shell
# quotes as it inserts it. Entry names are quoted here, for the quote the word stands in, as kvb
# needs more than quoting for some: a name that begins with "-" comes after "--" (after it kvb's
# parser takes every word for an argument), and a name that kvb would read as a record number
# (digits only), an empty name and a name that several records carry (kvb will not choose) are
# offered as their record number.
#
# The command line is read here the way the shell splits it, without running any of it: a word
# whose value only running it would give ($(...), `...`, a glob, ~user) names no archive.

# Sets _kvb_end to the index in line after the expansion that opens at index i with open (the
# characters of its opening, "$(", "${" or "`") and ends with close, nested ones and quotes
# inside it skipped; to the end of line if it does not end.
_kvb_skip_expansion()
{
    local line=$1 i=$2 open=$3 close=$4 n=${#1} depth=1 c
    ((i += ${#open}))
    while ((i < n && depth > 0)); do
        c=${line:i:1}
        case $c in
        \\) ((i += 1)) ;;
        "'" | '"')
            [[ $close == \` ]] || {
                ((i += 1))
                while ((i < n)) && [[ ${line:i:1} != "$c" ]]; do
                    [[ $c == '"' && ${line:i:1} == \\ ]] && ((i += 1))
                    ((i += 1))
                done
            }
            ;;
        "$close") ((depth -= 1)) ;;
        "${open: -1}") [[ $close == \` ]] || ((depth += 1)) ;;
        esac
        ((i += 1))
    done
    _kvb_end=$((i < n ? i : n))
}

# Whether text begins with the name of a variable, NAME or {NAME}, as after a "$": then
# _kvb_value is its value and _kvb_length the length of the name. Reading a variable runs
# nothing, unlike the other expansions.
_kvb_variable()
{
    [[ $1 =~ ^([A-Za-z_][A-Za-z0-9_]*)|^\{([A-Za-z_][A-Za-z0-9_]*)\} ]] || return
    local name=${BASH_REMATCH[1]}${BASH_REMATCH[2]}
    _kvb_value=${!name-} _kvb_length=${#BASH_REMATCH[0]}
}

# Splits line, the command line up to the cursor, into _kvb_words: each word's value, quotes and
# backslashes removed. _kvb_known[i] is 0 for a word whose value is not known, _kvb_redirect[i]
# 1 for the target of a redirection. The last word is the one being completed, perhaps empty; it
# starts at _kvb_start of line, and _kvb_state is the quote it is in at the cursor: "", "'", '"'
# or "\$'".
_kvb_read_line()
{
    local line=$1 n=${#1} i=0 c next word= known=1 begun=0 digits=0 redirect=0 state= j part
    local unescaped _kvb_end _kvb_value _kvb_length
    local -A closing=(['(']=')' ['{']='}')
    _kvb_words=() _kvb_known=() _kvb_redirect=() _kvb_start=$n
    while ((i < n)); do
        c=${line:i:1} next=${line:i+1:1}
        if [[ $state == "'" ]]; then
            [[ $c == "'" ]] && state= || word+=$c
            ((i += 1))
            continue
        fi
        if [[ $state == '"' ]]; then
            case $c in
            '"') state= ;;
            \\)
                if [[ $next == [\$\`\"\\] ]]; then
                    word+=$next
                    ((i += 1))
                elif [[ $next == $'\n' ]]; then
                    ((i += 1))
                elif ((i + 1 < n)); then
                    word+=$c
                fi
                ;;
            \$ | \`)
                if [[ $c == \$ ]] && _kvb_variable "${line:i+1}"; then
                    word+=$_kvb_value
                    ((i += 1 + _kvb_length))
                    continue
                fi
                known=0
                if [[ $c == \` ]]; then
                    _kvb_skip_expansion "$line" "$i" \` \`
                elif [[ $next == [\(\{] ]]; then
                    _kvb_skip_expansion "$line" "$i" "\$$next" "${closing[$next]}"
                else
                    _kvb_end=$((i + 1))
                fi
                word+=${line:i:_kvb_end-i}
                ((i = _kvb_end))
                continue
                ;;
            *) word+=$c ;;
            esac
            ((i += 1))
            continue
        fi
        case $c in
        ' ' | $'\t' | $'\n' | ';' | '&' | '|' | '(' | ')' | '<' | '>')
            # Digits right before a redirection name the descriptor it redirects.
            [[ $c == [\<\>] ]] && ((begun && digits)) && begun=0
            if ((begun)); then
                _kvb_words+=("$word") _kvb_known+=("$known") _kvb_redirect+=("$redirect")
                redirect=0
            fi
            word= known=1 begun=0 digits=0 _kvb_start=$((i + 1))
            case $c in
            '<' | '>') redirect=1 ;;
            # &> and >& redirect; a lone & ends a command.
            '&') [[ $next == '>' || ${line:i-1:1} == [\<\>] ]] || _kvb_words=() _kvb_known=() _kvb_redirect=() ;;
            ';' | '|' | '(' | ')') _kvb_words=() _kvb_known=() _kvb_redirect=() ;;
            esac
            ((i += 1))
            continue
            ;;
        esac
        if ((!begun)); then
            begun=1 digits=1 _kvb_start=$i
            # A ~ that begins a word stands for the home folder; ~user is not known here.
            if [[ $c == '~' ]]; then
                if [[ -z $next || $next == [/\ $'\t\n;&|()<>'] ]]; then
                    word=$HOME
                else
                    known=0 word=$c
                fi
                digits=0
                ((i += 1))
                continue
            fi
        fi
        [[ $c == [0-9] ]] || digits=0
        case $c in
        \\)
            ((i + 1 < n)) && [[ $next != $'\n' ]] && word+=$next
            ((i += 2))
            continue
            ;;
        "'") state="'" ;;
        '"') state='"' ;;
        \$)
            if [[ $next == "'" ]]; then
                # $'...' to its closing quote, decoded by the shell itself: nothing in it is
                # expanded, so nothing runs.
                ((j = i + 2))
                while ((j < n)) && [[ ${line:j:1} != "'" ]]; do
                    [[ ${line:j:1} == \\ ]] && ((j += 1))
                    ((j += 1))
                done
                part=${line:i+2:j-i-2}
                if ((j >= n)); then
                    state="\$'"
                    # An escape that the cursor cuts off is not part of the value yet.
                    unescaped=$part
                    while [[ $unescaped == *\\ ]]; do
                        unescaped=${unescaped%\\}
                    done
                    (((${#part} - ${#unescaped}) % 2)) && part=${part%\\}
                fi
                eval "part=\$'$part'"
                word+=$part
                ((i = j + 1))
                continue
            elif [[ $next == '"' ]]; then
                state='"'
                ((i += 1))
            elif _kvb_variable "${line:i+1}"; then
                word+=$_kvb_value
                ((i += 1 + _kvb_length))
                continue
            else
                known=0
                if [[ $next == [\(\{] ]]; then
                    _kvb_skip_expansion "$line" "$i" "\$$next" "${closing[$next]}"
                    word+=${line:i:_kvb_end-i}
                    ((i = _kvb_end))
                    continue
                fi
                word+=$c
            fi
            ;;
        \`)
            known=0
            _kvb_skip_expansion "$line" "$i" \` \`
            word+=${line:i:_kvb_end-i}
            ((i = _kvb_end))
            continue
            ;;
        '*' | '?' | '[') known=0 word+=$c ;;
        *) word+=$c ;;
        esac
        ((i += 1))
    done
    _kvb_words+=("$word") _kvb_known+=("$known") _kvb_redirect+=("$redirect")
    _kvb_state=$state
}

# Entries of archive whose names begin with prefix, ASCII letters in either case, or, of those
# kvb takes by number only, whose number does. First a line with the count of the others, each
# the record number, a tab and the name for printf %b (nothing for a number only); then the
# names, a line each, that need nothing more than quoting. The names are those of
# kvb list --json, in UTF-8 and escaped as JSON escapes them (a quote, a backslash, control
# bytes), and compared so, with ASCII letters folded as kvb folds them.
_kvb_entries()
{
    "$1" list --json -- "$2" 2>/dev/null | LC_ALL=C KVB_PREFIX=$3 awk -v RS='"' '
        function escaped(text,   out, i, c) {
            for (i = 1; i <= length(text); i++) {
                c = substr(text, i, 1)
                out = out (c in escape ? escape[c] : c)
            }
            return out
        }
        BEGIN {
            for (b = 1; b < 32; b++) escape[sprintf("%c", b)] = sprintf("\\u%04x", b)
            escape["\b"] = "\\b"; escape["\f"] = "\\f"; escape["\n"] = "\\n"
            escape["\r"] = "\\r"; escape["\t"] = "\\t"; escape["\""] = "\\\""; escape["\\"] = "\\\\"
            prefix = ENVIRON["KVB_PREFIX"]
            wanted = toupper(escaped(prefix))
        }
        # A record of a name is the one after the key "name" and ":"; one that ends in an odd
        # number of backslashes ends in an escaped quote, and the name goes on.
        going {
            name = name "\"" $0
        }
        !going && before2 == "name" && before1 == ":" && before3 ~ /[,{]$/ {
            going = 1
            name = $0
        }
        going {
            tail = name
            sub(/\\+$/, "", tail)
            if ((length(name) - length(tail)) % 2 == 0) {
                going = 0
                names[++count] = name
                keys[count] = toupper(name)
                carried[keys[count]]++
            }
        }
        { before3 = before2; before2 = before1; before1 = $0 }
        END {
            for (e = 1; e <= count; e++) {
                name = names[e]
                if (name == "" || name ~ /^[0-9]+$/ || carried[keys[e]] > 1) {
                    if (substr(e "", 1, length(prefix)) == prefix) others[++n] = e "\t"
                } else if (substr(keys[e], 1, length(wanted)) == wanted) {
                    if (name ~ /^-|\\/) {
                        gsub(/\\"/, "\\x22", name)
                        others[++n] = e "\t" name
                    } else {
                        plain[++m] = name
                    }
                }
            }
            print n + 0
            for (i = 1; i <= n; i++) print others[i]
            for (i = 1; i <= m; i++) print plain[i]
        }'
}

# Sets _kvb_quoted to text written so that in the quote state (see _kvb_read_line) the shell
# reads it back as it is.
_kvb_quote()
{
    local text=$1 out= i c
    case $2 in
    "'")
        out=${text//\'/\'\\\'\'}
        ;;
    '"')
        for ((i = 0; i < ${#text}; i++)); do
            c=${text:i:1}
            case $c in
            [\\\"\$\`]) out+=\\$c ;;
            # History expansion reads a "!" between double quotes; outside them a backslash stops it.
            '!') out+='"\!"' ;;
            *) out+=$c ;;
            esac
        done
        ;;
    "\$'")
        for ((i = 0; i < ${#text}; i++)); do
            c=${text:i:1}
            case $c in
            [\\\']) out+=\\$c ;;
            [[:cntrl:]] | '!')
                printf -v c '%d' "'$c"
                if ((c < 128)); then printf -v c '\\x%02X' "$c"; else printf -v c '\\u%04X' "$c"; fi
                out+=$c
                ;;
            *) out+=$c ;;
            esac
        done
        ;;
    *)
        [[ -n $text ]] && printf -v out %q "$text"
        ;;
    esac
    _kvb_quoted=$out
}

# Completes a file name as bash-completion's _filedir does: cur is the word as typed, filter -d
# for folders only, or a pattern for the extension of the files besides folders; kept is the
# value of the part of the word before the part that the shell replaces.
_kvb_filedir()
{
    local cur=$1 filter=$2 kept=$3 i
    # Folders come from the word as typed, as for _filedir -d; for _filedir with a pattern
    # they come from the word it quotes for compgen, which misses a folder typed in quotes or
    # with a backslash, so they are asked for apart.
    [[ -n $filter ]] && _kvb_compgen -d
    [[ $filter != -d ]] && _kvb_compgen "$filter"
    # The shell replaces only the part of the word after a ":" or "=" in it. A name that
    # begins with "-" becomes ./-name, lest kvb take it for an option.
    for i in "${!COMPREPLY[@]}"; do
        if [[ -n $kept ]]; then
            [[ ${COMPREPLY[i]} == "$kept"* ]] && COMPREPLY[i]=${COMPREPLY[i]:${#kept}}
        elif [[ ${COMPREPLY[i]} == -* ]]; then
            COMPREPLY[i]=./${COMPREPLY[i]}
        fi
    done
}

# _filedir of bash-completion where it is loaded, and the same without it: each name one
# candidate, whatever it holds, inserted by the shell as a file name (quoted, with a "/" after a
# folder's).
_kvb_compgen()
{
    if declare -F _filedir >/dev/null; then
        _filedir "$1"
        return
    fi
    local IFS=$'\n' quoted reset
    reset=$(shopt -po noglob)
    set -o noglob
    if [[ $1 == -d ]]; then
        COMPREPLY+=($(compgen -d -- "$cur"))
    else
        # compgen takes the quotes off a word that has some.
        if [[ -z $cur ]]; then
            quoted=
        elif [[ $cur == \'* ]]; then
            quoted=${cur:1}
        elif [[ $cur == \~* ]]; then
            printf -v quoted '~%q' "${cur:1}"
        else
            printf -v quoted %q "$cur"
        fi
        [[ $quoted == \$\'* ]] && eval "quoted=$quoted"
        if [[ -n $1 ]]; then
            COMPREPLY+=($(compgen -f -X "!*.$1" -- "$quoted"))
        else
            COMPREPLY+=($(compgen -f -- "$quoted"))
        fi
    fi
    IFS=' '
    $reset
    ((${#COMPREPLY[@]})) && compopt -o filenames 2>/dev/null
}

# Completes the names (or numbers) of archive's entries that begin with value; kvb is the
# program, kept as in _kvb_filedir, marker set when "--" came before this word.
_kvb_complete_entry()
{
    local kvb=$1 archive=$2 value=$3 kept=$4 marker=$5 line number name
    local -a lines others plain
    type -P -- "$kvb" >/dev/null 2>&1 || kvb=kvb
    mapfile -t lines < <(_kvb_entries "$kvb" "$archive" "$value")
    ((${#lines[@]})) || return
    others=("${lines[@]:1:lines[0]}") plain=("${lines[@]:lines[0]+1}")
    # Names that only need quoting, quoted in one go where no quote is open: an archive may
    # hold tens of thousands.
    if [[ -z $_kvb_state && -z $kept ]]; then
        ((${#plain[@]})) && mapfile -t -O "${#COMPREPLY[@]}" COMPREPLY < <(printf '%q\n' "${plain[@]}")
    else
        for name in "${plain[@]}"; do
            _kvb_quote "${name:${#kept}}" "$_kvb_state"
            COMPREPLY+=("$_kvb_quoted")
        done
    fi
    for line in "${others[@]}"; do
        number=${line%%$'\t'*} name=${line#*$'\t'}
        [[ $name == *\\* ]] && printf -v name %b "$name"
        if [[ $name == -* && -z $marker ]]; then
            if [[ -z $_kvb_state && -z $kept ]]; then
                printf -v _kvb_quoted -- '-- %q' "$name"
                COMPREPLY+=("$_kvb_quoted")
                continue
            fi
            # Inside a quote "--" can no longer come first: the number can.
            [[ -z $kept ]] || continue
            name=
        fi
        name=${name:-$number}
        _kvb_quote "${name:${#kept}}" "$_kvb_state"
        COMPREPLY+=("$_kvb_quoted")
    done
}

# Completes the value of an argument or option named role; the rest as in _kvb_complete_entry.
_kvb_complete_role()
{
    local role=$1 cur=$2 value=$3 kept=$4 kvb=$5 archive=$6 marker=$7
    case $role in
    ARCHIVE | NEW | A | B | ORIGINAL | MODDED) _kvb_filedir "$cur" '[kK][vV][bB]' "$kept" ;;
    PACKAGE) _kvb_filedir "$cur" '[kK][vV][bB][mM][oO][dD]' "$kept" ;;
    ENTRY) [[ -n $archive ]] && _kvb_complete_entry "$kvb" "$archive" "$value" "$kept" "$marker" ;;
    FOLDER | DIR) _kvb_filedir "$cur" -d "$kept" ;;
    TEXFILE | REFERENCE) _kvb_filedir "$cur" '[tT][eE][xX]' "$kept" ;;
    PNGFILE) _kvb_filedir "$cur" '[pP][nN][gG]' "$kept" ;;
    MIDFILE) _kvb_filedir "$cur" '[mM][iI][dD]' "$kept" ;;
    *_N | PATTERN | PIXELS | MINUTES | NAME | VERSION) ;;
    *) _kvb_filedir "$cur" '' "$kept" ;;
    esac
}

# Words of list that begin with value.
_kvb_complete_words()
{
    local value=$1 word
    for word in $2; do
        [[ $word == "$value"* ]] && COMPREPLY+=("$word")
    done
}

# Whether kvb's parser takes word for an option: "-" alone, and "-" before a digit, are
# arguments to it.
_kvb_is_option()
{
    [[ $1 == -?* && $1 != -[0-9]* ]]
}

_kvb()
{
    COMPREPLY=()
    local line=${COMP_LINE:0:COMP_POINT} replaced=$2
    local -a _kvb_words _kvb_known _kvb_redirect
    local _kvb_state _kvb_start _kvb_quoted
    _kvb_read_line "$line"
    local -a words=("${_kvb_words[@]}") known=("${_kvb_known[@]}") redirect=("${_kvb_redirect[@]}")
    local state=$_kvb_state last=$((${#_kvb_words[@]} - 1))
    local cur=${line:_kvb_start} value=${_kvb_words[last]} kept=
    # The shell replaces the part of the word after a ":" or "=" in it, or after the quote it
    # is in; what the part before it stands for stays.
    if ((${#cur} > ${#replaced})) && [[ $cur == *"$replaced" ]]; then
        _kvb_read_line "${cur:0:${#cur}-${#replaced}}"
        kept=${_kvb_words[${#_kvb_words[@]} - 1]}
    fi
    _kvb_state=$state
    if ((redirect[last])); then
        _kvb_filedir "$cur" '' "$kept"
        return
    fi

    # The program: the first word that assigns no variable; then its command.
    local i=0 command= at=0
    while ((i < last)) && [[ ${words[i]} =~ ^[A-Za-z_][A-Za-z0-9_]*= ]]; do
        ((i += 1))
    done
    local kvb=${words[i]}
    for ((i += 1; i < last; i++)); do
        ((redirect[i])) && continue
        if ! _kvb_is_option "${words[i]}"; then
            command=${words[i]} at=$i
            break
        fi
    done
    if [[ -z $command ]]; then
        if [[ $value == -* ]]; then
            _kvb_complete_words "$value" '--help --version'
        else
            _kvb_complete_words "$value" "$_kvb_commands"
        fi
        return
    fi
    local _kvb_options _kvb_valued _kvb_arguments _kvb_subcommands
    _kvb_command_table "$command" || return
    # A command of several (kvb mod): the next word that is no option names one of them.
    if [[ -n $_kvb_subcommands ]]; then
        local under=$command
        command=
        for ((i = at + 1; i < last; i++)); do
            ((redirect[i])) && continue
            if ! _kvb_is_option "${words[i]}"; then
                command=${words[i]} at=$i
                break
            fi
        done
        if [[ -z $command ]]; then
            [[ $value == -* ]] && _kvb_complete_words "$value" "$_kvb_options" ||
                _kvb_complete_words "$value" "$_kvb_subcommands"
            return
        fi
        _kvb_command_table "$under $command" || return
    fi

    # The arguments given so far, without the options and their values; after "--" every word
    # is an argument.
    local -a given=()
    local word valued marker=
    for ((i = at + 1; i < last; i++)); do
        ((redirect[i])) && continue
        word=${words[i]}
        if [[ -z $marker ]] && _kvb_is_option "$word"; then
            [[ $word == -- ]] && marker=1
            for valued in $_kvb_valued; do
                [[ ${valued%%:*} == "$word" ]] && ((i += 1))
            done
            continue
        fi
        given+=("$i")
    done

    if [[ -z $marker ]]; then
        # The value of an option: the word after it, or the part after its "=".
        local option=
        ((last - 1 > at)) && option=${words[last - 1]}
        for valued in $_kvb_valued; do
            if [[ -n $option && ${valued%%:*} == "$option" ]]; then
                _kvb_complete_role "${valued#*:}" "$cur" "$value" "$kept" "$kvb" "" ""
                return
            fi
            if [[ $value == "${valued%%:*}="* ]]; then
                option=${valued%%:*}
                _kvb_complete_role "${valued#*:}" "${cur#*=}" "${value#*=}" "${kept#"$option="}" \
                    "$kvb" "" ""
                return
            fi
        done
    fi

    # The role of the next argument: its place in the list, the part after "..." repeating.
    local -a fixed=() repeated=()
    local seen_repeat=0
    for word in $_kvb_arguments; do
        if [[ $word == ... ]]; then
            seen_repeat=1
        elif ((seen_repeat)); then
            repeated+=("$word")
        else
            fixed+=("$word")
        fi
    done
    local n=${#given[@]} role=
    if ((n < ${#fixed[@]})); then
        role=${fixed[n]}
    elif ((${#repeated[@]})); then
        role=${repeated[(n - ${#fixed[@]}) % ${#repeated[@]}]}
    fi
    local archive=
    if [[ ${fixed[0]-} == ARCHIVE ]] && ((n > 0 && known[given[0]])); then
        archive=${words[given[0]]}
    fi

    if [[ -z $marker && $value == -* ]]; then
        _kvb_complete_words "$value" "$_kvb_options"
        # Entry names that begin with "-" too, each after "--".
        [[ $role == ENTRY ]] || return
    fi
    [[ -n $role ]] && _kvb_complete_role "$role" "$cur" "$value" "$kept" "$kvb" "$archive" "$marker"
}

complete -F _kvb kvb
