#!/usr/bin/env bash
# The licences that travel with Quillon.exe, which links Qt (LGPL-3.0) and libcurl statically: Qt's
# licence texts, the notices of the third-party parts of qtbase built into it (from Qt's own
# qt_attribution.json files), curl's licence, the exact source versions and the recipe that built
# them, so that a user can rebuild and relink.
#   collect-licences.sh WINDOWS_DEPS_FOLDER SOURCE_DIR OUTPUT_FOLDER
set -euo pipefail
deps=$(realpath "$1")
source_dir=$(realpath "$2")
out=$(realpath -m "$3")
qt=$(find "$deps/src" -maxdepth 1 -type d -name 'qt6-base-*' | head -n 1)
curl=$(find "$deps/src" -maxdepth 1 -type d -name 'curl-*' | head -n 1)
[ -d "$qt/LICENSES" ] && [ -f "$curl/COPYING" ] || { echo "error: no Qt or curl sources in $deps/src" >&2; exit 1; }
qt_version=$(sed -n 's/^Version: //p' "$deps"/src/qt6-base_*.dsc)
curl_version=$(sed -n 's/^Version: //p' "$deps"/src/curl_*.dsc)

rm -rf "$out"
mkdir -p "$out/Qt" "$out/curl"
cp "$source_dir/LICENSE" "$out/Quillon-LICENSE.txt"
cp "$source_dir/data/README.md" "$out/tacdex-README.md"
cp "$qt/LICENSES/"*.txt "$out/Qt/"
cp "$curl/COPYING" "$out/curl/COPYING.txt"
# The parts of qtbase that a Windows build of Core, Gui, Widgets and Test compiles in; the others
# (network, OpenGL, Vulkan, X11, Android, WebAssembly, JPEG, ...) are not built.
python3 - "$qt" >"$out/Qt/THIRD-PARTY-NOTICES.txt" <<'PY'
import json, pathlib, sys
root = pathlib.Path(sys.argv[1])
skip = ("network", "opengl", "vulkan", "xcb", "wasm", "android", "gradle", "VulkanMemoryAllocator", "libpsl",
        "libjpeg", "forkfd", "rfc6234", "util/", "md4/", "md5/", "tests/", "examples/")
for path in sorted(root.glob("src/**/qt_attribution.json")):
    rel = str(path.relative_to(root))
    if any(part in rel for part in skip):
        continue
    entries = json.loads(path.read_text(encoding="utf-8"), strict=False)
    for entry in entries if isinstance(entries, list) else [entries]:
        print("=" * 78)
        print(f"{entry.get('Name', entry.get('Id'))} {entry.get('Version', '')}".rstrip())
        print(f"Used in Qt as: {entry.get('QtUsage', '')}")
        print(f"Licence: {entry.get('License', '')}")
        copyright = entry.get("Copyright", "")
        print("Copyright: " + ("\n".join(copyright) if isinstance(copyright, list) else copyright))
        files = entry.get("LicenseFile", entry.get("LicenseFiles", []))
        for name in [files] if isinstance(files, str) else files:
            licence = path.parent / name
            if licence.is_file():
                print("\n" + licence.read_text(encoding="utf-8", errors="replace"))
PY
cp "$source_dir/scripts/build-windows-deps.sh" "$source_dir/cmake/MinGW-w64.cmake" "$out/"
cat >"$out/README-licences.txt" <<TXT
Quillon is MIT-licensed (Quillon-LICENSE.txt). Its device database tacdex.csv is the Osmocom TAC
database under CC-BY-SA 3.0 (tacdex-README.md).

Quillon.exe links these libraries statically:
- Qt $qt_version (Debian's qt6-base source package), under the GNU Lesser General Public
  License version 3 (Qt/LGPL-3.0-only.txt, which builds on Qt/GPL-3.0-only.txt); the third-party
  parts of Qt built into it are listed with their notices in Qt/THIRD-PARTY-NOTICES.txt.
- libcurl $curl_version (Debian's curl source package), under the curl licence (curl/COPYING.txt).

To rebuild Quillon.exe, with these or with modified versions of Qt or curl, take the source archive
quillon-<version>-source.tar.xz published beside the installer, and run on Debian 12
"make windows": scripts/build-windows-deps.sh (also here, with cmake/MinGW-w64.cmake) fetches the
same source packages and builds the static libraries the program is linked against; place modified
sources in its cache folder to relink against them.
TXT
sed -i 's/$/\r/' "$out/README-licences.txt"
echo "$out"
