#!/usr/bin/env python3
"""Checks every #include of src/ and sim/ against the floors of docs/ARCHITECTURE.md.

Usage: tests/layers.py REPOSITORY
Each include is found as the compiler finds it: "..." beside the including
file first, then, like <...>, in the folders the build puts on the include
path (src/, the repository, sim/). One that lands in src/ or sim/ must be of
the including folder's row; "../store/RunStore.h" and <store/RunStore.h> are
the store's like "store/RunStore.h". One that lands nowhere in the tree is a
system or toolkit header, and toolkits stay in their rooms.
No file of src/ asks which platform it is built for (#ifdef _WIN32): a
platform's code is in a file of its own, which CMake picks.
Prints each include that crosses the floors the wrong way, and exits 1 if any does.
"""
import os
import pathlib
import re
import sys

root = pathlib.Path(sys.argv[1]).resolve()
allowed = {}
for line in (root / "docs" / "ARCHITECTURE.md").read_text(encoding="utf-8").splitlines():
    cells = [cell.strip() for cell in line.strip().strip("|").split("|")]
    if len(cells) == 3 and re.fullmatch(r"`[a-z]+`", cells[1]):
        allowed[cells[1].strip("`")] = set(re.findall(r"`([a-z]+)`", cells[2]))
if not allowed:
    sys.exit("layers: no table of floors found in docs/ARCHITECTURE.md")

# Toolkits and the folders (or rooms: ui/wx) that may use them.
toolkits = {
    re.compile(r"^wx/"): {"app", "ui/wx"},
    re.compile(r"^sqlite3\.h$"): {"store"},
    re.compile(r"^curl/"): {"net"},
    re.compile(r"^openssl/"): {"net", "text", "sim"},
    re.compile(r"^bcrypt\.h$"): {"text"},
}
# The include path of every library: src/ (strivo_library), the repository
# and sim/ (the stand-ins).
search_path = [root / "src", root, root / "sim"]
platform_test = re.compile(
    r"^\s*#\s*(if|ifdef|ifndef|elif)\b.*\b(_WIN32|_WIN64|__linux__|__unix__|__APPLE__|_MSC_VER|"
    r"__MINGW32__|__MINGW64__|__CYGWIN__)\b")
include = re.compile(r'^\s*#\s*include\s*(?:"([^"]*)"|<([^>]*)>|(.*))')


def place_of(path):
    """(folder, room) of a file in src/ or sim/; None elsewhere."""
    relative = pathlib.PurePath(os.path.relpath(path, root))
    if relative.parts[0] == "sim" and len(relative.parts) > 1:
        return "sim", "sim"
    if relative.parts[0] == "src" and len(relative.parts) > 2:
        return relative.parts[1], "/".join(relative.parts[1:3])
    return None


def resolve(including, name, quoted):
    """The file an include names, as the compiler would find it; None outside the tree."""
    folders = ([including.parent] if quoted else []) + search_path
    for folder in folders:
        candidate = pathlib.Path(os.path.normpath(folder / name))
        if candidate.is_file():
            return candidate
    return None


broken = []
files = [p for base in ("src", "sim") for p in (root / base).rglob("*")
         if p.suffix in (".h", ".cpp")]
for path in sorted(files):
    relative = path.relative_to(root)
    folder, room = place_of(path) or ("", "")
    if folder not in allowed:
        broken.append(f"{relative}: folder {folder}/ has no row in docs/ARCHITECTURE.md")
        continue
    for number, line in enumerate(path.read_text(encoding="utf-8", errors="replace").splitlines(), 1):
        where = f"{relative}:{number}"
        if relative.parts[0] == "src" and platform_test.match(line):
            broken.append(f"{where}: a platform's code belongs in a file of its own, not under {line.strip()}")
        match = include.match(line)
        if not match:
            continue
        quoted, angled, other = match.groups()
        if other is not None:
            broken.append(f"{where}: {other.strip()} is not a file name this check can follow")
            continue
        name = quoted if quoted is not None else angled
        target = resolve(path, name, quoted is not None)
        if target is None:
            for pattern, rooms in toolkits.items():
                if pattern.search(name) and room not in rooms and folder not in rooms:
                    broken.append(f"{where}: {name} belongs in {' or '.join(sorted(rooms))}")
            continue
        reached = place_of(target)
        if reached is None:
            broken.append(f"{where}: {name} lies outside src/ and sim/")
        elif reached[0] != folder and reached[0] not in allowed[folder]:
            broken.append(f"{where}: {folder}/ may not include {reached[0]}/ ({name})")
for line in broken:
    print(line)
sys.exit(1 if broken else 0)
