#!/bin/sh
# floor_plan.sh LIB... : the static libraries of the floors, from the bottom
# up. Fails, naming the library, the symbol and the library that defines
# it, when a library refers to a symbol that only a library above it
# defines: a call up the floors.
set -eu
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
i=0
for lib in "$@"; do
  i=$((i + 1))
  name=$(basename "$lib" .a)
  echo "$name" > "$work/name.$i"
  # Strong definitions only: an inline function or a template instance
  # (weak, W or V) is compiled wherever it is used.
  nm --defined-only "$lib" 2>/dev/null | awk 'NF == 3 && $2 ~ /^[TDBR]$/ { print $3 }' | sort -u > "$work/def.$i"
  nm --undefined-only "$lib" 2>/dev/null | awk '$1 == "U" { print $2 }' | sort -u > "$work/und.$i"
done
n=$i
status=0
i=1
while [ "$i" -le "$n" ]; do
  j=$((i + 1))
  while [ "$j" -le "$n" ]; do
    comm -12 "$work/und.$i" "$work/def.$j" > "$work/up"
    if [ -s "$work/up" ]; then
      status=1
      while read -r sym; do
        echo "$(cat "$work/name.$i") calls up into $(cat "$work/name.$j"): $(echo "$sym" | c++filt)"
      done < "$work/up"
    fi
    j=$((j + 1))
  done
  i=$((i + 1))
done
[ "$status" -eq 0 ] && echo "floor plan holds: $n libraries, every call downward"
exit "$status"
