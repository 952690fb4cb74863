#!/usr/bin/env bash
# Checks that the manual page keeps up with the corvane command:
#   scripts/check-manpage.sh CORVANE_EXE MANPAGE
#
# Every subcommand that 'corvane --help' lists must appear in the SYNOPSIS and
# have a subsection (.SS) of its own; every long option that
# 'corvane SUBCOMMAND --help' prints must appear in that subcommand's
# synopsis and in its subsection; every option the subsection describes
# (a .TP/.TQ tag) must be one the subcommand knows; the options of
# 'corvane --help' must appear somewhere in the page. The page source is
# matched after its escapes are undone (\- is a hyphen, font changes go).
#
# Prints what is missing and exits 1; exits 2 when it cannot run.
set -u

if [ $# -ne 2 ]; then
    echo "usage: $0 CORVANE_EXE MANPAGE" >&2
    exit 2
fi
exe=$1
page=$2
[ -x "$exe" ] || { echo "check-manpage: $exe is not an executable" >&2; exit 2; }
[ -r "$page" ] || { echo "check-manpage: cannot read $page" >&2; exit 2; }

# The page as plain lines: no comment lines, "\-" as "-", no font changes,
# no zero-width or hyphenation escapes.
text=$(sed -e '/^\.\\"/d' \
           -e 's/\\-/-/g' \
           -e 's/\\f\[[^]]*\]//g' -e 's/\\f([A-Za-z][A-Za-z]//g' -e 's/\\f[A-Za-z0-9]//g' \
           -e 's/\\&//g' -e 's/\\%//g' -e 's/\\c$//' "$page")

help=$("$exe" --help) || { echo "check-manpage: '$exe --help' failed" >&2; exit 2; }
commands=$(printf '%s\n' "$help" | sed -n '/^Commands:/,/^$/s/^  \([a-z][a-z0-9-]*\) .*/\1/p')
if [ -z "$commands" ]; then
    echo "check-manpage: found no commands in '$exe --help'" >&2
    exit 2
fi

# Long options in some text, one a line.
options_of() { grep -oE -- '--[a-z][a-z0-9-]*' | sort -u; }
# True when the text on standard input names the option (not merely a
# longer one that starts with it).
names() { grep -qE -- "(^|[^A-Za-z0-9-])$1([^A-Za-z0-9-]|\$)"; }

# The lines of a section (.SH NAME) or subsection (.SS "corvane CMD") up to
# the next heading.
section() {
    printf '%s\n' "$text" | awk -v want="$1" -v cmd="$2" '
        /^\.S[HS]( |$)/ {
            title = $0; sub(/^\.S[HS] */, "", title); gsub(/"/, "", title)
            if (inside) exit
            if (cmd == "") inside = ($1 == ".SH" && title == want)
            else inside = ($1 == ".SS" && (title == cmd || title == "corvane " cmd))
            next
        }
        inside'
}

# A subcommand's part of the SYNOPSIS: from the line naming "corvane CMD" to
# the next line that names corvane.
synopsis_of() {
    section SYNOPSIS "" | awk -v cmd="$1" '
        /corvane/ { inside = ($0 ~ ("corvane " cmd "(\"|[[:space:]]|$)")) }
        inside'
}

missing=0
report() {
    echo "check-manpage: $*"
    missing=1
}

synopsis=$(section SYNOPSIS "")
[ -n "$synopsis" ] || report "the page has no SYNOPSIS section"

for option in $(printf '%s\n' "$help" | options_of); do
    printf '%s\n' "$text" | names "$option" || report "the page does not mention corvane $option"
done

for command in $commands; do
    usage=$("$exe" "$command" --help) || { report "'corvane $command --help' failed"; continue; }
    options=$(printf '%s\n' "$usage" | options_of)
    body=$(section "" "$command")
    synopsis=$(synopsis_of "$command")
    if [ -z "$synopsis" ]; then
        report "the SYNOPSIS does not show corvane $command"
    fi
    if [ -z "$body" ]; then
        report "corvane $command has no subsection (.SS \"corvane $command\")"
        continue
    fi
    for option in $options; do
        if [ -n "$synopsis" ] && ! printf '%s\n' "$synopsis" | names "$option"; then
            report "the SYNOPSIS of corvane $command does not show $option"
        fi
        printf '%s\n' "$body" | names "$option" || report "the corvane $command subsection does not describe $option"
    done
    # Options the subsection describes that the command no longer has.
    tagged=$(printf '%s\n' "$body" | awk '/^\.T[PQ]/ { getline; print }' | sed -n 's/^\.[BIR]*  *"\{0,1\}\(--[a-z][a-z0-9-]*\).*/\1/p')
    for option in $tagged; do
        printf '%s\n' "$options" | grep -qxF -- "$option" ||
            report "the corvane $command subsection describes $option, which 'corvane $command --help' does not list"
    done
done

[ "$missing" -eq 0 ] && echo "check-manpage: $(printf '%s\n' "$commands" | wc -l) commands and their options are all in $page"
exit "$missing"
