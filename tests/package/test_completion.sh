#!/usr/bin/env bash
# diaghost's bash completion, loaded into bash as bash-completion loads it,
# asked for the words of a few command lines.
#
#   test_completion.sh COMPLETION_FILE DIAGHOST_DIR
set -u
completion=$1
PATH=$2:$PATH

# shellcheck source=/dev/null
. /usr/share/bash-completion/bash_completion || { echo "install bash-completion"; exit 1; }
# shellcheck source=/dev/null
. "$completion"

failed=0
# expect LINE WORDS: the completions of LINE (the cursor at its end).
expect() {
    local line=$1 want=$2
    COMP_LINE=$line
    COMP_POINT=${#line}
    # Split as readline does: at blanks, and around '=' (COMP_WORDBREAKS).
    COMP_WORDS=()
    local word
    for word in $line; do
        if [[ $word == *=* ]]; then COMP_WORDS+=("${word%%=*}" "=" "${word#*=}"); else COMP_WORDS+=("$word"); fi
    done
    [[ $line == *' ' ]] && COMP_WORDS+=('')
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _diaghost
    local got="${COMPREPLY[*]}"
    if [[ $got != "$want" ]]; then
        echo "FAILED: '$line' completes to '$got', expected '$want'"
        failed=1
    fi
}

expect 'diaghost ' 'info list run report help'
expect 'diaghost l' 'list'
expect 'diaghost r' 'run report'
expect 'diaghost --sim' '--simulate --simulate='
expect 'diaghost --simulate=' 'demo healthy none busy at-errors silent amd64 sysfs help'
expect 'diaghost --simulate=he' 'healthy help'
expect 'diaghost --simulate run --t' '--test'
expect 'diaghost run --test ' 'dialtone loopback at all'
expect 'diaghost run --test l' 'loopback'
expect 'diaghost run --json' '--json --json-file'
expect 'diaghost run --device ' 'all'
expect 'diaghost list -' '--verbose --json --device --help'
expect 'diaghost info --' '--json --help'
expect 'diaghost help ' 'info list run report'
expect 'diaghost report -' '--html --help'
expect 'diaghost run --h' '--halt-on-error --html --help'
# Options before the command: every command's, and their values.
expect 'diaghost -v ' 'info list run report help'
expect 'diaghost --device 1 ' 'info list run report help'
expect 'diaghost --te' '--test'
expect 'diaghost --col' '--color'
expect 'diaghost --color=' 'auto always never'
expect 'diaghost --color=n' 'never'
expect 'diaghost list --color ' 'auto always never'
expect 'diaghost run --r' '--repeat'
expect 'diaghost run --repeat ' ''
exit $failed
