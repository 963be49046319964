#!/usr/bin/python3
"""Fails, naming file and line, when a src/ folder includes a folder above it.

The order is the README's: its layout section lists the folders bottom to top,
and, for a folder with sub-folders, those bottom to top with the folder itself
among them.
"""
import pathlib
import re
import sys

root = pathlib.Path(sys.argv[1])
readme = (root / "README.md").read_text()
layout = readme.split("\n## Layout\n", 1)[1].split("\n## ", 1)[0]
# The folder an include names, and the sub-folder of it, if any.
include = re.compile(r'\s*#\s*include\s+"([a-z]+)/(?:([a-z_0-9]+)/)?')


def order_of(folder):
    """The README's order of `folder`'s folders, each name to its place; None when it gives none."""
    said = re.search(r"The folders of `" + re.escape(folder) + r"`, bottom to top: ([^.]*)\.", layout)
    if not said:
        return None
    return {name: place for place, name in enumerate(re.findall(r"`([a-z]+)/`", said.group(1)))}


def includes(folder):
    """Each include of the files below `folder`: where, its folder, sub-folder, and the file's own."""
    for path in sorted(folder.rglob("*")):
        if path.suffix not in (".h", ".cpp"):
            continue
        inside = path.relative_to(folder).parts
        own = inside[0] if len(inside) > 1 else folder.name
        for number, line in enumerate(path.read_text().splitlines(), 1):
            found = include.match(line)
            if found:
                yield f"{path.relative_to(root)}:{number}", found.group(1), found.group(2), own


def within(folder, sub):
    """How a sub-folder of `folder`, or the folder itself, is named."""
    return f"{folder.name}/{sub}/" if sub and sub != folder.name else f"{folder.name}/"


rank = order_of("src/")
if rank is None:
    sys.exit("README.md: the layout section does not say 'The folders of `src/`, bottom to top:'")

faults = []
for folder in sorted(p for p in (root / "src").iterdir() if p.is_dir()):
    if folder.name not in rank:
        faults.append(f"src/{folder.name}/: not in the README's folder order")
        continue
    inner = order_of(f"src/{folder.name}/")
    for sub in sorted(p.name for p in folder.iterdir() if p.is_dir()):
        if inner is not None and sub not in inner:
            faults.append(f"src/{folder.name}/{sub}/: not in the README's order of src/{folder.name}/")
    for where, target, sub, own in includes(folder):
        if target != folder.name:
            if target not in rank:
                faults.append(f"{where}: includes {target}/, not in the README's folder order")
            elif rank[target] > rank[folder.name]:
                faults.append(f"{where}: {folder.name}/ includes {target}/, which is above it")
        elif inner is not None and (sub or folder.name) in inner and own in inner:
            if inner[sub or folder.name] > inner[own]:
                faults.append(f"{where}: {within(folder, own)} includes {within(folder, sub)}, "
                              "which is above it")

print("\n".join(faults) or f"folders in order: {' < '.join(rank)}")
sys.exit(1 if faults else 0)
