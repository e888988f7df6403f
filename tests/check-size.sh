#!/usr/bin/env bash
# The shipped executable stays one small file: stripped, and no larger than 256 KiB.
set -euo pipefail
exe=$1
limit=$((256 * 1024))
size=$(stat -c %s "$exe")
status=0
if [ "$size" -gt "$limit" ]; then
    echo "$exe is $size bytes, more than $limit"
    status=1
fi
if ! x86_64-w64-mingw32-objdump -t "$exe" | grep -q 'no symbols'; then
    echo "$exe is not stripped"
    status=1
fi
[ $status -eq 0 ] && echo "$size bytes, stripped"
exit $status
