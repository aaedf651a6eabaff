#!/usr/bin/env python3
"""Checks every #include of src/ and sim/ against the floors of docs/ARCHITECTURE.md.

Usage: tests/layers.py REPOSITORY
Prints each include that crosses the floors the wrong way, and exits 1 if any does.
"""
import pathlib
import re
import sys

root = pathlib.Path(sys.argv[1])
allowed = {}
for line in (root / "docs" / "ARCHITECTURE.md").read_text(encoding="utf-8").splitlines():
    cells = [cell.strip() for cell in line.strip().strip("|").split("|")]
    if len(cells) == 3 and re.fullmatch(r"`[a-z]+`", cells[1]):
        allowed[cells[1].strip("`")] = set(re.findall(r"`([a-z]+)`", cells[2]))
if not allowed:
    sys.exit("layers: no table of floors found in docs/ARCHITECTURE.md")

# Toolkits and the folders that may use them.
toolkits = {
    re.compile(r"<wx/"): {"app", "ui/wx"},
    re.compile(r"<sqlite3\.h>"): {"store"},
    re.compile(r"<curl/"): {"net"},
}
include = re.compile(r'^\s*#\s*include\s+("([a-z_0-9]+)/[^"]*"|<[^>]*>)')
broken = []
files = [p for base in ("src", "sim") for p in (root / base).rglob("*")
         if p.suffix in (".h", ".cpp")]
for path in sorted(files):
    relative = path.relative_to(root)
    folder = "sim" if relative.parts[0] == "sim" else relative.parts[1]
    room = "/".join(relative.parts[1:3]) if relative.parts[0] == "src" else "sim"
    if folder not in allowed:
        broken.append(f"{relative}: folder {folder}/ has no row in docs/ARCHITECTURE.md")
        continue
    for number, line in enumerate(path.read_text(encoding="utf-8", errors="replace").splitlines(), 1):
        match = include.match(line)
        if not match:
            continue
        target = match.group(2)
        if target and target != folder and target in allowed and target not in allowed[folder]:
            broken.append(f"{relative}:{number}: {folder}/ may not include {target}/")
        for pattern, rooms in toolkits.items():
            if pattern.search(match.group(1)) and room not in rooms and folder not in rooms:
                broken.append(f"{relative}:{number}: {match.group(1)} belongs in {' or '.join(sorted(rooms))}")
for line in broken:
    print(line)
sys.exit(1 if broken else 0)
