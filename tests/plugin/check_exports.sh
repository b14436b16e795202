#!/usr/bin/env bash
# Checks that the bundle exports exactly the names listed (one per line, C++
# names without their parameter lists; sanitizer and linker-defined symbols
# aside) and binds its own calls to its own definitions (DT_FLAGS SYMBOLIC).
# Usage: check_exports.sh BUNDLE EXPECTED_LIST
set -eu
expected=$(grep -v -e '^#' -e '^$' "$2" | sort -u)
exported=$(nm -D --defined-only -C "$1" | cut -d' ' -f3- | sed 's/(.*$//' |
  grep -v -E '^(__odr_asan|__asan|__ubsan|__sancov|__lsan|__bss_start$|_edata$|_end$|_init$|_fini$)' | sort -u)
if [ "$expected" != "$exported" ]; then
  echo "exported names differ from $2 (< missing, > unexpected):"
  diff <(echo "$expected") <(echo "$exported") | grep '^[<>]'
  exit 1
fi
readelf -d "$1" | grep -q SYMBOLIC || { echo "$1 does not bind its own symbols (no SYMBOLIC flag)"; exit 1; }
echo "exports ok: $(echo "$exported" | wc -l) names"
