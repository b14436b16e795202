#!/bin/sh
# Checks that the bundle exports exactly the names listed (one per line,
# C++ names without their parameter lists; sanitizer and linker-defined
# symbols aside) and that it binds its own calls
# to its own definitions (DT_FLAGS SYMBOLIC).
# Usage: check_exports.sh BUNDLE EXPECTED_LIST
set -eu
bundle=$1
list=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

nm -D --defined-only -C "$bundle" | cut -d' ' -f3- | sed 's/(.*$//' |
  grep -v -E '^(__odr_asan|__asan|__ubsan|__sancov|__lsan|__bss_start$|_edata$|_end$|_init$|_fini$)' | sort -u >"$tmp/actual"
grep -v -e '^#' -e '^$' "$list" | sort -u >"$tmp/expected"

status=0
if ! cmp -s "$tmp/expected" "$tmp/actual"; then
  echo "exported names differ from $list (- missing, + unexpected):"
  diff "$tmp/expected" "$tmp/actual" | grep '^[<>]' | sed -e 's/^</-/' -e 's/^>/+/'
  status=1
fi
if ! readelf -d "$bundle" | grep -q -E 'SYMBOLIC'; then
  echo "$bundle does not bind its own symbols (no SYMBOLIC flag)"
  status=1
fi
[ $status -eq 0 ] && echo "exports ok: $(wc -l <"$tmp/actual") names"
exit $status
