#!/usr/bin/env bash
# Quillon.exe imports only DLLs that every Windows 10 and 11 has, and carries its icon, its version
# and a manifest asking for per-monitor DPI awareness, common controls 6 and the user's highest rights.
#   check-exe.sh Quillon.exe VERSION
set -euo pipefail
version=$2
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
dlls=$(x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^\s*DLL Name: //p')
echo "$(basename "$1") imports: $(tr '\n' ' ' <<<"$dlls")"
system='^(kernel32|user32|gdi32|shell32|ole32|oleaut32|advapi32|comdlg32|comctl32|imm32|winmm|ws2_32|crypt32|secur32|bcrypt|uxtheme|dwmapi|version|netapi32|userenv|shlwapi|setupapi|wtsapi32|d2d1|d3d9|d3d11|dxgi|dwrite|uiautomationcore|authz|shcore|msvcrt|api-ms-win-[a-z0-9-]+)\.dll$'
others=$(grep -viE "$system" <<<"$dlls" || true)
[ -z "$others" ] || fail "$(basename "$1") needs DLLs that Windows does not have: $others"

resources=$(wrestool -l "$1")
grep -q "type=group_icon" <<<"$resources" || fail "no icon"
[ "$(grep -c 'type=icon ' <<<"$resources")" -ge 6 ] || fail "the icon lacks sizes"
strings -el <(wrestool -x --raw --type=16 "$1") | grep -qx "$version" || fail "no version resource saying $version"
manifest=$(wrestool -x --raw --type=24 "$1")
for needed in 'level="highestAvailable"' PerMonitorV2 Microsoft.Windows.Common-Controls "version=\"$version\""; do
    grep -qF "$needed" <<<"$manifest" || fail "the manifest lacks $needed"
done
exit $((failures > 0))
