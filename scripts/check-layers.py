#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Checks the program's layers against src/layers.txt.

Fails when a file of a module includes a header of a module that layers.txt does not allow it,
when the allowed graph itself has a loop, when two or more files include each other in a loop,
when a core module includes Qt or libcurl (libcurl only in update/CurlFetch.cpp), or when a file
outside src/system and src/window/platform includes a header of POSIX or Windows (<unistd.h>,
<windows.h>, anything under <sys/>, ...; the standard C and C++ headers are everyone's).
Usage: check-layers.py [SRC_DIR]
"""
import pathlib
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^">]+)[">]', re.M)
EDGES = {"cli", "window", "app"}
# The operating systems' own headers, compared in lower case (Windows' file names ignore it), and
# the folders that may include them.
SYSTEM_HEADERS = {
    # POSIX
    "unistd.h", "fcntl.h", "pwd.h", "dirent.h", "dlfcn.h", "poll.h", "termios.h",
    # Windows
    "windows.h", "io.h", "direct.h", "process.h", "shellapi.h", "shlobj.h", "shlwapi.h",
    "knownfolders.h", "objbase.h", "winbase.h", "wincrypt.h", "winsock2.h", "ws2tcpip.h",
    "lmcons.h", "ntdef.h", "errhandlingapi.h",
}
SYSTEM_FOLDERS = {("system",), ("window", "platform")}


def is_system_header(name):
    name = name.lower()
    return name in SYSTEM_HEADERS or name.startswith("sys/")


def may_include_system_headers(relative):
    return any(relative.parts[:len(folder)] == folder for folder in SYSTEM_FOLDERS)


def read_layers(path):
    allowed = {}
    for line in path.read_text().splitlines():
        line = line.split("#", 1)[0].strip()
        if line:
            module, _, uses = line.partition(":")
            allowed[module.strip()] = set(uses.split())
    return allowed


def find_loop(graph):
    """A list of nodes that form a loop in `graph` (node -> set of nodes), or None."""
    state = {}
    for start in sorted(graph):
        if start in state:
            continue
        stack = [(start, iter(sorted(graph.get(start, ()))))]
        path = [start]
        state[start] = "open"
        while stack:
            node, children = stack[-1]
            child = next(children, None)
            if child is None:
                stack.pop()
                path.pop()
                state[node] = "done"
            elif state.get(child) == "open":
                return path[path.index(child):] + [child]
            elif child not in state:
                state[child] = "open"
                path.append(child)
                stack.append((child, iter(sorted(graph.get(child, ())))))
    return None


def main():
    src = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).parent.parent / "src")
    allowed = read_layers(src / "layers.txt")
    problems = []
    loop = find_loop(allowed)
    if loop:
        problems.append("layers.txt: the modules use each other in a loop: " + " -> ".join(loop))

    files = [p for p in src.rglob("*") if p.suffix in {".h", ".cpp", ".in"} and p.is_file()]
    includes = {}
    for path in files:
        relative = path.relative_to(src)
        module = relative.parts[0]
        if module not in allowed:
            problems.append(f"{relative}: module '{module}' is not in layers.txt")
            continue
        includes[path] = set()
        for kind, name in INCLUDE.findall(path.read_text(errors="replace")):
            if kind == "<":
                if module not in EDGES and (name.startswith("Q") or name.startswith("qt")):
                    problems.append(f"{relative}: the core includes Qt ({name})")
                if name.startswith("curl/") and relative.as_posix() != "update/CurlFetch.cpp":
                    problems.append(f"{relative}: only update/CurlFetch.cpp includes libcurl ({name})")
                if is_system_header(name) and not may_include_system_headers(relative):
                    problems.append(f"{relative}: system header <{name}> outside src/system and src/window/platform")
                continue
            if "/" in name and name.split("/", 1)[0] in allowed:
                used = name.split("/", 1)[0]
                if used != module and used not in allowed[module]:
                    problems.append(f"{relative}: module '{module}' may not include {name}")
                target = src / used / "include" / name
            else:
                # A header of this module beside the file, or of an edge library it uses (the
                # window's headers have no module folder in their names).
                candidates = [path.parent / name] + [src / used / name for used in sorted(allowed[module])]
                target = next((c for c in candidates if c.exists()), candidates[0])
            target = target.resolve()
            if target.exists():
                includes[path].add(target)
            elif not name.endswith(".h") or "/" not in name:
                problems.append(f"{relative}: {name} is not a header of this module")

    loop = find_loop({p: {t for t in ts if t in includes} for p, ts in includes.items()})
    if loop:
        problems.append("files include each other in a loop: " + " -> ".join(str(p.relative_to(src)) for p in loop))

    for problem in sorted(problems):
        print(problem, file=sys.stderr)
    verdict = f"{len(problems)} problems" if problems else "layers kept"
    print(f"{len(files)} files of {len(allowed)} modules checked: {verdict}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
