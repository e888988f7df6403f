#!/usr/bin/env bash
# The executable imports only DLLs that ship with Windows 7 (script/windows-dlls.txt), and none of
# the functions that appeared after it (DPI and security calls we might be tempted to use directly).
# Its hardening shows in two it must import: a failed check ends it by RaiseFailFastException, and
# the stack protector's canary comes from RtlGenRandom (exported as SystemFunction036). And its code
# calls both checks' failures: their addresses are in its link map, beside it.
set -euo pipefail
exe=$1
allowed_list="$(dirname "${BASH_SOURCE[0]}")/../script/windows-dlls.txt"
imports=$(x86_64-w64-mingw32-objdump -p "$exe")
status=0

allowed=$(grep -v '^#' "$allowed_list" | tr 'A-Z' 'a-z')
while read -r dll; do
    if ! grep -qxF "${dll,,}" <<<"$allowed"; then
        echo "imports $dll, which is not a Windows system DLL"
        status=1
    fi
done < <(sed -n 's/^\tDLL Name: //p' <<<"$imports")

newer=(GetDpiForWindow GetDpiForSystem GetDpiForMonitor SetThreadDpiAwarenessContext
       SetProcessDpiAwarenessContext SetProcessDpiAwareness GetSystemMetricsForDpi
       AdjustWindowRectExForDpi SystemParametersInfoForDpi EnableNonClientDpiScaling
       SetDefaultDllDirectories AddDllDirectory CreateFile2 CopyFile2 GetSystemTimePreciseAsFileTime
       PathCchCombine PathCchAppend)
for function in "${newer[@]}"; do
    if grep -qw "$function" <<<"$imports"; then
        echo "imports $function, which Windows 7 lacks"
        status=1
    fi
done

for function in RaiseFailFastException SystemFunction036; do
    if ! grep -qw "$function" <<<"$imports"; then
        echo "does not import $function: built without its hardening"
        status=1
    fi
done

code=$(x86_64-w64-mingw32-objdump -d "$exe")
for failure in 'std::__glibcxx_assert_fail(' '__stack_chk_fail$'; do
    address=$(grep -m 1 -E "^ +0x[0-9a-f]+ +${failure//[()]/.}" "${exe%.exe}.map" | awk '{ print $1 }' |
        sed 's/^0x0*/0x/' || true)
    if [ -z "$address" ] || ! grep -qE "call +$address$" <<<"$code"; then
        echo "nothing calls ${failure%[($]}: built without its hardening"
        status=1
    fi
done

[ $status -eq 0 ] && echo "imports: $(sed -n 's/^\tDLL Name: //p' <<<"$imports" | tr '\n' ' ')"
exit $status
