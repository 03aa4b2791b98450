#!/usr/bin/env bash
# ctest's emulator for the cross-built tests. Under Wine, Qt Test's report does not reach a
# redirected standard output, so it is written to a file (-o) and printed from there.
report=$(mktemp --suffix=.txt)
wine "$@" -o "$(winepath -w "$report" 2>/dev/null),txt"
rc=$?
cat "$report"
rm -f "$report"
exit $rc
