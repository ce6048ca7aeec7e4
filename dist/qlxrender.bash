# bash completion for qlxrender                               -*- shell-script -*-
#
# Options and the formats complete; the other words are metafiles to read, or the output file,
# whose ending chooses the format.

_qlxrender()
{
    local cur prev words cword split
    _init_completion -s || return

    case $prev in
        --format)
            COMPREPLY=($(compgen -W "png svg pdf txt json" -- "$cur"))
            return
            ;;
        --to)
            _filedir -d
            return
            ;;
        --width | --height)
            return
            ;;
    esac
    $split && return

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "--to --format --width --height --help --version" -- "$cur"))
        return
    fi
    _filedir '@(wmf|WMF|png|svg|pdf|txt|json)'
} &&
    complete -F _qlxrender qlxrender

# ex: filetype=sh
