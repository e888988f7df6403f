#!/usr/bin/env bash
# "make DIR BACKUP": DIR holds a broken Talvomax_64.exe and BACKUP as Talvomax_64.bak, and nothing
# can be created or removed in it. "clear DIR": DIR is gone.
# Immutable (chattr +i) stops root too, where the file system has the flag; without it, taking the
# write permission away stops everyone but root, and the test finds out whether it held.
set -euo pipefail
dir=$2
# Whatever an earlier run left, should its clean-up not have run (a killed ctest): an immutable
# folder stops even "rm -rf build" until "unwritable-folder.sh clear" has run.
chattr -i "$dir" 2>/dev/null || true
chmod -R u+w "$dir" 2>/dev/null || true
rm -rf "$dir"
[ "$1" = clear ] && exit 0
mkdir -p "$dir"
printf 'MZ broken build' >"$dir/Talvomax_64.exe"
cp "$3" "$dir/Talvomax_64.bak"
chattr +i "$dir" 2>/dev/null || chmod a-w "$dir"
