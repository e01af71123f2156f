#!/bin/sh
# The layering check on the source tree, and on copies of it with one
# offence each, which it must find.
set -eu
src=$1
check="$src/scripts/check_layering.sh"
"$check" "$src"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
offend() {  # offend FILE LINE: a copy of the tree with LINE added to FILE
  rm -rf "$work/tree" && mkdir "$work/tree"
  cp -r "$src/src" "$src/include" "$work/tree/"
  printf '%s\n' "$2" >>"$work/tree/$1"
  if "$check" "$work/tree" >/dev/null 2>&1; then
    echo "layering_test: not found: '$2' in $1" >&2
    exit 1
  fi
}
offend src/engine/retrieval.cpp '#include "../dialogue/dialogue_state.h"'
offend src/writers/csv_writer.cpp '#include "../dialogue/terminal.h"'
offend include/rawinq/retrieval.h '#include "rawinq/progress_bar.h"'
offend include/rawinq/archive.h 'extern int Open_Files;'
offend include/rawinq/records.h 'extern std::vector<long> Station_Table;'
echo "layering_test: every offence found"
