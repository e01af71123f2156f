#!/bin/sh
# Renders each manual page with groff, every warning on (-ww), and with
# man -l as a reader would; any warning or a page without its sections
# fails.
set -u
status=0
for page in "$@"; do
  warnings=$(LC_ALL=C.UTF-8 groff -ww -man -Tutf8 -z "$page" 2>&1)
  if [ -n "$warnings" ]; then
    echo "$page: groff warnings:"; echo "$warnings"; status=1
  fi
  text=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>"$page.err")
  if [ -s "$page.err" ]; then
    echo "$page: man -l warnings:"; cat "$page.err"; status=1
  fi
  rm -f "$page.err"
  for section in NAME SYNOPSIS DESCRIPTION "EXIT STATUS" EXAMPLES "SEE ALSO"; do
    if ! printf '%s\n' "$text" | grep -qx "$section"; then
      echo "$page: no section $section"; status=1
    fi
  done
  # Every page names the paths the programs are installed with.
  if printf '%s\n' "$text" | grep -q '@'; then
    echo "$page: a placeholder was left unfilled"; status=1
  fi
done
[ "$status" -eq 0 ] && echo "$# pages render without warnings"
exit "$status"
