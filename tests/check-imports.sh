#!/usr/bin/env bash
# The executable imports only DLLs that ship with Windows 7 (script/windows-dlls.txt), and none of
# the functions that appeared after it (DPI and security calls we might be tempted to use directly).
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

[ $status -eq 0 ] && echo "imports: $(sed -n 's/^\tDLL Name: //p' <<<"$imports" | tr '\n' ' ')"
exit $status
