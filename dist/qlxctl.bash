# bash completion for qlxctl                                  -*- shell-script -*-
#
# Commands, options and their values complete on the first Tab. The hardcopy names of get, move
# and delete come from the tester, so they are read only on a second Tab (the listing one), with
# `qlxctl list` for the --bus and --address on the line, and kept for a short while in
# $XDG_CACHE_HOME/qlxctl so that further Tabs do not ask the tester again.

_qlxctl_cache_seconds=30

# Prints the tester's hardcopy names, one a line, from the cache or from `qlxctl list`.
# $1: the program as typed; the rest: the global options on the line.
_qlxctl_hardcopies()
{
    local program=$1
    shift
    [[ $program == "~/"* ]] && program=$HOME/${program#"~/"}
    local dir=${XDG_CACHE_HOME:-$HOME/.cache}/qlxctl
    local key="$*"
    local cache=$dir/list${key:+-${key//[^A-Za-z0-9.@:_-]/_}}
    local modified
    if modified=$(stat -c %Y -- "$cache" 2>/dev/null) &&
        ((EPOCHSECONDS - modified < _qlxctl_cache_seconds)); then
        cat -- "$cache"
        return
    fi
    local names
    names=$(timeout 20 "$program" "$@" --quiet list 2>/dev/null </dev/null) || return
    mkdir -p -- "$dir" &&
        printf '%s\n' "$names" >"$cache.$$" && mv -f -- "$cache.$$" "$cache"
    printf '%s\n' "$names"
}

_qlxctl()
{
    local cur prev words cword split
    _init_completion -s || return

    local globals="--bus --address --quiet --help --version"
    local commands="identify list get sync move delete discover"
    local command="" i
    local -a target=()
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            --bus | --address)
                target+=("${words[i]}" "${words[i + 1]}")
                ((i++))
                ;;
            --bus=* | --address=*) target+=("${words[i]}") ;;
            --to | --watch | --adapter | --gateway | --format | --convert) ((i++)) ;;
            -*) ;;
            *) [[ -z $command ]] && command=${words[i]} ;;
        esac
    done

    case $prev in
        --bus)
            COMPREPLY=($(compgen -W "ieee com" -- "$cur"))
            return
            ;;
        --format | --convert)
            COMPREPLY=($(compgen -W "png svg pdf" -- "$cur"))
            return
            ;;
        --to)
            _filedir -d
            return
            ;;
        --adapter)
            _filedir
            return
            ;;
        --gateway)
            _known_hosts_real -- "$cur"
            return
            ;;
        --address | --watch)
            return
            ;;
    esac
    $split && return

    if [[ -z $command ]]; then
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W "$globals" -- "$cur"))
        else
            COMPREPLY=($(compgen -W "$commands" -- "$cur"))
        fi
        return
    fi

    local options=""
    case $command in
        list) options="--json" ;;
        get) options="--all --to --overwrite --rename --convert" ;;
        sync) options="--to --overwrite --rename --trust-size --watch --convert" ;;
        move) options="--all --to --overwrite --rename --watch --convert" ;;
        delete) options="--all --yes" ;;
        discover) options="--adapter --gateway --no-broadcast" ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options $globals" -- "$cur"))
        return
    fi

    # COMP_TYPE is 9 on the first Tab; a second Tab lists (63) or shows all (33, 64).
    if [[ $command == @(get|move|delete) && ${COMP_TYPE:-9} != 9 ]]; then
        local IFS=$'\n'
        COMPREPLY=($(compgen -W "$(_qlxctl_hardcopies "${words[0]}" "${target[@]}")" -- "$cur"))
    fi
} &&
    complete -F _qlxctl qlxctl

# ex: filetype=sh
