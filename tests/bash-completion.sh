#!/bin/bash
# Completes grantwise-check and grantwise-acl command lines the way bash does
# on Tab, with Debian's bash-completion loaded, and checks what is offered.
#
#   bash-completion.sh COMPLETION-FILE GRANTWISE-CHECK GRANTWISE-ACL
set -u

completion=$(realpath "$1")
check=$(realpath "$2")
acl=$(realpath "$3")

if ! source /usr/share/bash-completion/bash_completion; then
    echo "bash-completion is not installed (Debian package bash-completion)" >&2
    exit 1
fi
source "$completion" || exit 1

failures=0
tmp=$(mktemp -d) || exit 1
trap 'rm -rf "$tmp"' EXIT
mkdir "$tmp/sub" "$tmp/sub two" "$tmp/-old"
touch "$tmp/sub.txt" "$tmp/-file"
cd "$tmp" || exit 1

# complete WORD...: what completing the last WORD offers, one a line, sorted.
# The words are given as bash splits them (an "=" is a word of its own).
complete_words()
{
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE="${COMP_WORDS[*]}"
    COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    local registration function
    registration=$(complete -p "$1") || return
    function=${registration##*-F }
    function=${function%% *}
    "$function" "$1" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}" 2>/dev/null
    ((${#COMPREPLY[@]})) && printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort
}

# expect DESCRIPTION EXPECTED WORD...: the completions are exactly EXPECTED
# (one a line, sorted).
expect()
{
    local description=$1 expected=$2 got
    shift 2
    got=$(complete_words "$@")
    if [[ $got != "$expected" ]]; then
        printf 'FAIL %s\n  completing: %s\n  expected:\n%s\n  got:\n%s\n' "$description" "$*" \
            "$(sed 's/^/    /' <<<"$expected")" "$(sed 's/^/    /' <<<"$got")"
        failures=$((failures + 1))
    fi
}

# offers_help_options PROGRAM NAME: completing "--" offers every long option
# that PROGRAM --help names in its usage line and its option table (not those
# of other commands that its text mentions).
offers_help_options()
{
    local program=$1 name=$2 option offered help
    if ! help=$("$program" --help) || [ -z "$help" ]; then
        echo "FAIL $program --help failed"
        failures=$((failures + 1))
        return
    fi
    offered=$(complete_words "$name" --)
    for option in $(grep -oE -- '^Usage: .*|^ +-[-a-z]+(, -[-a-z]+)*' <<<"$help" \
                        | grep -oE -- '--[a-z][a-z-]*' | sort -u); do
        if ! grep -qxF -- "$option" <<<"$offered"; then
            echo "FAIL $name: completing -- does not offer $option, which $name --help names"
            failures=$((failures + 1))
        fi
    done
}

# Options
expect "an option from its start" "--reports" grantwise-check --re
expect "options sharing a start" $'--jobs\n--json' grantwise-check --j
expect "options sharing a start" $'--ignore\n--include-hidden\n--inheritance' grantwise-check --quiet --i
expect "no guess for a mask" "" grantwise-check --umask ''
# --who: users, anyone, and group: with a group
expect "a user for --who" "root" grantwise-check --who roo
expect "anyone for --who" "anyone" grantwise-check --who anyo
expect "a group after group: given whole" "root" grantwise-check --who group:roo
expect "the values of --lang" $'en\nru' grantwise-check --lang ''
expect "the values of --ignore" $'group\nowner\nowner,group' grantwise-check --ignore ''
expect "no guess for a number" "" grantwise-check --max-depth ''
expect "no guess for a pattern" "" grantwise-check --exclude ''
expect "grantwise-acl options" "--help" grantwise-acl --h
expect "grantwise-acl --physical" "--physical" grantwise-acl --p
expect "a folder after --physical" $'sub\nsub two' grantwise-acl --physical s
offers_help_options "$check" grantwise-check
offers_help_options "$acl" grantwise-acl

# Folders, never files, where a folder is wanted
expect "FOLDER" $'sub\nsub two' grantwise-check s
expect "FOLDER by path" "$tmp/-old"$'\n'"$tmp/sub"$'\n'"$tmp/sub two" grantwise-check "$tmp/"
expect "--reports DIR" $'sub\nsub two' grantwise-check --reports s
expect "--reports=DIR" $'sub\nsub two' grantwise-check --reports = s
expect "after other options" $'sub\nsub two' grantwise-check --quiet --lang ru s
expect "after --, a folder that begins with -" "-old" grantwise-check -- -
expect "grantwise-acl DIR" $'sub\nsub two' grantwise-acl sub sub
expect "grantwise-acl after --" "-old" grantwise-acl -- -

# Any file where a file is wanted
expect "--fix-file FILE" $'-file\n-old\nsub\nsub two\nsub.txt' grantwise-check --fix-file ''
expect "--save-baseline FILE" $'-file\n-old\nsub\nsub two\nsub.txt' grantwise-check --save-baseline ''
expect "--html FILE" $'-file\n-old\nsub\nsub two\nsub.txt' grantwise-check --html ''
expect "--baseline FILE" $'-file\n-old\nsub\nsub two\nsub.txt' grantwise-check --baseline ''

if ((failures)); then
    echo "$failures completion checks failed"
    exit 1
fi
echo "completion checks passed"
