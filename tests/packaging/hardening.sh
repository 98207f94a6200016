#!/usr/bin/env bash
# Checks that the shipped binaries carry the hardening of a Debian build: their relocations
# bound at start and then read-only, a stack protector, and (where the compiler found a call to
# check) fortified library calls.
# Usage: hardening.sh BINARY... ; a binary written NAME:nofortify is not checked for the last.
set -euo pipefail
failures=0
for arg in "$@"; do
  binary=${arg%:nofortify}
  why=""
  readelf -lW "$binary" | grep -q GNU_RELRO || why+=" no read-only relocations (relro);"
  readelf -dW "$binary" | grep -Eq 'FLAGS.*(BIND_NOW| NOW)' || why+=" no immediate binding (now);"
  symbols=$(readelf --dyn-syms -W "$binary")
  grep -q '__stack_chk_fail' <<<"$symbols" || why+=" no stack protector;"
  # A binary whose every call has a size the compiler cannot know has nothing to fortify.
  if [ "$arg" = "$binary" ]; then
    grep -Eq '__[a-z_]+_chk@' <<<"$symbols" || why+=" no fortified calls (_FORTIFY_SOURCE);"
  fi
  if [ -n "$why" ]; then
    echo "FAIL $(basename "$binary"):$why"
    failures=$((failures + 1))
  else
    echo "ok   $(basename "$binary")"
  fi
done
[ "$failures" -eq 0 ]
