#!/usr/bin/env python3
"""Fails when a file under src/ includes a header of a folder above its own.

The order of the folders is src/include_order.txt; an include of a folder that is not listed
there fails too, so a new folder cannot slip in without a place in the order."""
import pathlib
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/[^"]*"', re.MULTILINE)


def main(source_root: pathlib.Path) -> int:
    order_file = source_root / "include_order.txt"
    order = [line.strip() for line in order_file.read_text().splitlines()
             if line.strip() and not line.lstrip().startswith("#")]
    rank = {folder: index for index, folder in enumerate(order)}
    faults = []
    for path in sorted(source_root.rglob("*")):
        if path.suffix not in (".h", ".cpp", ".rc") or not path.is_file():
            continue
        relative = path.relative_to(source_root)
        if len(relative.parts) < 2:
            continue
        folder = relative.parts[0]
        if folder not in rank:
            faults.append(f"{relative}: folder '{folder}' has no place in {order_file.name}")
            continue
        text = path.read_text(errors="replace")
        for match in INCLUDE.finditer(text):
            target = match.group(1)
            line = text.count("\n", 0, match.start()) + 1
            if target not in rank:
                faults.append(f"{relative}:{line}: includes '{target}/', which has no place in {order_file.name}")
            elif rank[target] < rank[folder]:
                faults.append(f"{relative}:{line}: '{folder}' includes '{target}/', a folder above it")
    for fault in faults:
        print(fault)
    if faults:
        print(f"include order: {len(faults)} include(s) against {order_file}")
        return 1
    print(f"include order: every include of src/ points down ({' -> '.join(order)})")
    return 0


if __name__ == "__main__":
    sys.exit(main(pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "src")))
