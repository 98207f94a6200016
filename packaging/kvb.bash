
# bash completion for kvb: commands, options, archives and other files by what each argument
# is, and entry names as kvb list gives them. The table above says what each command takes.

# Completes the value of an argument or option named role.
_kvb_complete_role()
{
    local role=$1 cur=$2 archive=$3
    case $role in
        ARCHIVE)
            compopt -o filenames 2>/dev/null
            COMPREPLY=($(compgen -d -- "$cur") $(compgen -f -X '!*.[kK][vV][bB]' -- "$cur"))
            ;;
        ENTRY)
            [[ -n $archive ]] || return
            local kvb=${COMP_WORDS[0]} name
            type -P "$kvb" >/dev/null 2>&1 || kvb=kvb
            # Names are compared with ASCII case ignored, so any case finds them.
            local lower=${cur,,}
            while IFS=$'\t' read -r _ name _; do
                [[ ${name,,} == "$lower"* ]] && COMPREPLY+=("$name")
            done < <("$kvb" list -- "${archive/#\~/$HOME}" 2>/dev/null)
            compopt -o filenames 2>/dev/null # quotes what the shell would split
            ;;
        FOLDER | DIR)
            compopt -o filenames 2>/dev/null
            COMPREPLY=($(compgen -d -- "$cur"))
            ;;
        TEXFILE | REFERENCE)
            compopt -o filenames 2>/dev/null
            COMPREPLY=($(compgen -d -- "$cur") $(compgen -f -X '!*.[tT][eE][xX]' -- "$cur"))
            ;;
        PNGFILE)
            compopt -o filenames 2>/dev/null
            COMPREPLY=($(compgen -d -- "$cur") $(compgen -f -X '!*.[pP][nN][gG]' -- "$cur"))
            ;;
        MIDFILE)
            compopt -o filenames 2>/dev/null
            COMPREPLY=($(compgen -d -- "$cur") $(compgen -f -X '!*.[mM][iI][dD]' -- "$cur"))
            ;;
        *_N | PATTERN | PIXELS | MINUTES) ;;
        *)
            compopt -o filenames 2>/dev/null
            COMPREPLY=($(compgen -f -- "$cur"))
            ;;
    esac
}

_kvb()
{
    local cur=${COMP_WORDS[COMP_CWORD]}
    COMPREPLY=()
    local i command= at=0
    for ((i = 1; i < COMP_CWORD; i++)); do
        if [[ ${COMP_WORDS[i]} != -* ]]; then
            command=${COMP_WORDS[i]}
            at=$i
            break
        fi
    done
    if [[ -z $command ]]; then
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W '--help --version' -- "$cur"))
        else
            COMPREPLY=($(compgen -W "$_kvb_commands" -- "$cur"))
        fi
        return
    fi
    local _kvb_options _kvb_valued _kvb_arguments
    _kvb_command_table "$command" || return

    # The arguments given so far, without the options and their values.
    local -a given=()
    local word valued
    for ((i = at + 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        if [[ $word == -* ]]; then
            for valued in $_kvb_valued; do
                [[ ${valued%%:*} == "$word" ]] && ((i++))
            done
            continue
        fi
        given+=("$word")
    done

    local prev=${COMP_WORDS[COMP_CWORD - 1]}
    if ((COMP_CWORD - 1 > at)); then
        for valued in $_kvb_valued; do
            if [[ ${valued%%:*} == "$prev" ]]; then
                _kvb_complete_role "${valued#*:}" "$cur" ""
                return
            fi
        done
    fi
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$_kvb_options" -- "$cur"))
        return
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
    [[ -n $role ]] || return
    local archive=
    [[ ${fixed[0]} == ARCHIVE && $n -gt 0 ]] && archive=${given[0]}
    _kvb_complete_role "$role" "$cur" "$archive"
}

complete -F _kvb kvb
