#!/usr/bin/env bash
# check_completion.bash QLXCTL-COMPLETION QLXRENDER-COMPLETION: completes a few qlxctl lines with
# the bash completion and checks the offers, the hardcopy names among them, which a stand-in qlxctl
# lists; then a few qlxrender lines.
set -uo pipefail
source /usr/share/bash-completion/bash_completion
source "$1"
source "$2"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export XDG_CACHE_HOME=$scratch/cache
mkdir -p "$scratch/bin" "$scratch/run42" "$scratch/runs"
cd "$scratch"
status=0

# complete_line TYPE LINE: COMPREPLY for LINE with the cursor at its end; TYPE 9 is a first Tab.
complete_line()
{
    COMP_TYPE=$1 COMP_LINE=$2 COMP_POINT=${#2}
    read -ra COMP_WORDS <<<"$2"
    [[ $2 == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    "_${COMP_WORDS[0]}"
}

expect()
{
    local got # sorted: the order of the offers is up to bash
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd ' ')
    if [[ $got != "$2" ]]; then
        echo "\"$1\": offered \"$got\", expected \"$2\""
        status=1
    fi
}

check()
{
    complete_line "$1" "$2"
    expect "$2" "$3"
}

check 9 "qlxctl sy" "sync"
check 9 "qlxctl --bus " "com ieee"
check 9 "qlxctl --bus=c" "com"
check 9 "qlxctl --address 7 sync --t" "--to --trust-size"
check 9 "qlxctl get --to ru" "run42 runs"
check 9 "qlxctl delete --all --" "--address --all --bus --help --quiet --version --yes"

# The stand-in lists for serial port 3 only, and records each call.
cat >"$scratch/bin/qlxctl" <<'EOF'
#!/bin/sh
echo "$*" >>"$CALLS"
[ "$*" = "--bus com --address 3 --quiet list" ] && printf 'SCREEN01.WMF\nSCREEN02.WMF\nSETUP.WMF\n'
EOF
chmod +x "$scratch/bin/qlxctl"
export PATH=$scratch/bin:$PATH CALLS=$scratch/calls

check 9 "qlxctl --bus com --address 3 get SC" ""
check 63 "qlxctl --bus com --address 3 get SC" "SCREEN01.WMF SCREEN02.WMF"
check 63 "qlxctl --bus com --address 3 move S" "SCREEN01.WMF SCREEN02.WMF SETUP.WMF"
check 63 "qlxctl --bus com --address 4 delete S" ""
check 63 "qlxctl sync S" ""
check 9 "qlxrender HC.WMF --format " "json pdf png svg txt"
check 9 "qlxrender HC.WMF --to ru" "run42 runs"
check 9 "qlxrender --f" "--format"

calls=$(wc -l <"$CALLS")
if [[ $calls != 2 ]]; then
    echo "qlxctl list ran $calls times, expected 2 (once per address, then the cache)"
    status=1
fi
exit $status
