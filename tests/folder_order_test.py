#!/usr/bin/python3
"""Fails, naming file and line, when a src/ folder includes a folder above it.

The order is the README's: its layout section lists the folders bottom to top.
"""
import pathlib
import re
import sys

root = pathlib.Path(sys.argv[1])
readme = (root / "README.md").read_text()
layout = readme.split("\n## Layout\n", 1)[1].split("\n## ", 1)[0]
order_text = re.search(r"The folders of `src/`, bottom to top: ([^.]*)\.", layout)
if not order_text:
    sys.exit("README.md: the layout section does not say 'The folders of `src/`, bottom to top:'")
order = re.findall(r"`([a-z]+)/`", order_text.group(1))
rank = {folder: place for place, folder in enumerate(order)}

faults = []
for folder in sorted(p for p in (root / "src").iterdir() if p.is_dir()):
    if folder.name not in rank:
        faults.append(f"src/{folder.name}/: not in the README's folder order")
        continue
    for path in sorted(folder.rglob("*")):
        if path.suffix not in (".h", ".cpp"):
            continue
        for number, line in enumerate(path.read_text().splitlines(), 1):
            included = re.match(r'\s*#\s*include\s+"([a-z]+)/', line)
            if not included or included.group(1) == folder.name:
                continue
            target = included.group(1)
            where = f"{path.relative_to(root)}:{number}"
            if target not in rank:
                faults.append(f"{where}: includes {target}/, not in the README's folder order")
            elif rank[target] > rank[folder.name]:
                faults.append(f"{where}: {folder.name}/ includes {target}/, which is above it")

print("\n".join(faults) or f"folders in order: {' < '.join(order)}")
sys.exit(1 if faults else 0)
