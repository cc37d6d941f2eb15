#!/usr/bin/env bash
# The usage text and the man page name the same commands and options. Each list is read from
# its own text (usage lines "  PROGRAM WORD ...", and the tagged paragraphs of the page's
# COMANDOS and OPÇÕES sections), so a command added to one place only fails here.
# --help must print the usage on standard output, end with status 0 and start nothing.
#   check_usage.sh PROGRAM MANPAGE
set -euo pipefail
program="$1"
page="$2"
name="$(basename "$program")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

code=0
timeout 20 "$program" --help > "$work/help" 2> "$work/errors" || code=$?
if [ "$code" -ne 0 ]; then
    echo "FAIL: $name --help ended with status $code"
    cat "$work/errors"
    exit 1
fi
grep -q "^Uso:" "$work/help" || { echo "FAIL: $name --help printed no usage"; exit 1; }

# One space after the name: a word; more: the description of the bare command.
sed -nE "s/^ +$name ([^ ]+).*/\1/p" "$work/help" | sort -u > "$work/from-help"
awk '
    /^\.SH/ { section = $0; sub(/^\.SH +/, "", section); gsub(/"/, "", section); previous = ""; next }
    (section == "COMANDOS" || section == "OPÇÕES") && previous == ".TP" {
        line = $0
        sub(/^\.[A-Z]+ +/, "", line)
        gsub(/"/, " ", line)
        gsub(/\\-/, "-", line)
        split(line, words, " ")
        print words[1]
    }
    { previous = $0 }
' "$page" | sort -u > "$work/from-page"

[ -s "$work/from-help" ] || { echo "FAIL: no commands or options found in $name --help"; exit 1; }
if ! diff -u --label "$name --help" --label "$(basename "$page")" \
        "$work/from-help" "$work/from-page"; then
    echo "FAIL: $name --help and its man page name different commands or options"
    exit 1
fi
echo "$name: $(tr '\n' ' ' < "$work/from-help")in both"
