#!/usr/bin/env bash
# The deliverables must be PE32+ and import Windows system DLLs only: no
# libstdc++, libgcc or winpthread DLLs may travel with them.
set -euo pipefail
bin=${1:-build/windows/bin}
fail=0
for f in KestruneApo.dll kestrune_service.exe kestrune_app.exe kestrune_ctl.exe; do
  path="$bin/$f"
  if ! x86_64-w64-mingw32-objdump -f "$path" | grep -q 'file format pei-x86-64'; then
    echo "not PE32+: $path"; fail=1; continue
  fi
  bad=$(x86_64-w64-mingw32-objdump -p "$path" | awk '/DLL Name:/ {print $3}' |
        grep -i -v -E '^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|msvcrt|ws2_32|dwmapi|shlwapi|comctl32|version|uxtheme|rpcrt4|bcrypt|crypt32|secur32|userenv|ntdll|api-ms-win-[a-z0-9-]+)\.dll$' || true)
  if [ -n "$bad" ]; then echo "$f imports non-system DLLs: $bad"; fail=1; fi
done
[ $fail -eq 0 ] && echo "imports: system DLLs only"
exit $fail
