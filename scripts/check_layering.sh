#!/bin/sh
# The library's layering, checked from its sources: no file of the library
# (its rooms under src/ and the headers it installs) includes a front end's
# file (the dialogue, rawinq-extract, the programs' terminal support, the
# tools), and no header of the library declares a mutable variable with
# external linkage (run-wide state). Prints every offence; status 1 when
# there is one.
set -eu
cd "${1:-$(dirname "$0")/..}"

# The front ends' headers in include/rawinq (not installed with the library;
# the dialogue's own are in src/dialogue).
front_end_headers='terminal extract installation program_exit
progress_bar standard_output output interruption'
library_rooms='engine archive output writers catalogue importers physics plot'

pattern=''
for h in $front_end_headers; do
  pattern="$pattern${pattern:+|}rawinq/$h\\.h"
done
pattern="#include \"($pattern|.*(src|\\.\\.)/(dialogue|extract|console)/|.*tools/)"

library_headers=''
for f in include/rawinq/*.h; do
  name=$(basename "$f" .h)
  case " $(echo $front_end_headers) " in
    *" $name "*) ;;
    *) library_headers="$library_headers $f" ;;
  esac
done

sources=''
for room in $library_rooms; do
  [ -d "src/$room" ] && sources="$sources $(find "src/$room" -name '*.cpp' -o -name '*.h' | sort)"
done

status=0
# shellcheck disable=SC2086
if grep -nE "$pattern" $sources $library_headers; then
  echo "check_layering: the library includes a front end's file (above)" >&2
  status=1
fi
# A mutable variable declared extern: "extern" not followed by "const",
# "constexpr" or "C" (a block of C declarations).
# shellcheck disable=SC2086
if grep -nE '^[[:space:]]*extern[[:space:]]+' $library_headers |
   grep -vE 'extern[[:space:]]+(const|constexpr|"C")[[:space:]]'; then
  echo "check_layering: a library header declares run-wide state (above)" >&2
  status=1
fi
[ "$status" -eq 0 ] && echo "check_layering: $(echo $sources $library_headers | wc -w) files of the library, no front end included, no extern variable"
exit "$status"
