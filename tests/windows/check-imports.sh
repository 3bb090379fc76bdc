#!/usr/bin/env bash
# A Windows program built here imports only DLLs that every Windows 10 and 11 has.
#   check-imports.sh PROGRAM.exe
set -euo pipefail
dlls=$(x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^\s*DLL Name: //p')
echo "$(basename "$1") imports: $(tr '\n' ' ' <<<"$dlls")"
system='^(kernel32|user32|gdi32|shell32|ole32|oleaut32|advapi32|comdlg32|comctl32|imm32|winmm|ws2_32|crypt32|secur32|bcrypt|uxtheme|dwmapi|version|netapi32|userenv|shlwapi|setupapi|wtsapi32|d2d1|d3d9|d3d11|dxgi|dwrite|uiautomationcore|authz|shcore|msvcrt|api-ms-win-[a-z0-9-]+)\.dll$'
others=$(grep -viE "$system" <<<"$dlls" || true)
if [ -n "$others" ]; then
    echo "FAIL: $(basename "$1") needs DLLs that Windows does not have: $others" >&2
    exit 1
fi
