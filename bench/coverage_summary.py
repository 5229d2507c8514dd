#!/usr/bin/env python3
"""Prints line and function coverage per folder of src/ and per natives file from an lcov trace
file, and the natives (exported Java_... functions) that no test entered.
Usage: coverage_summary.py TRACE.info ROOT [LABEL]"""
import collections
import sys


def read_trace(path):
    """{source: (lines {number: count}, functions {name: count})}, entries of one source merged."""
    files = collections.defaultdict(lambda: (collections.Counter(), collections.Counter()))
    current = None
    for raw in open(path, encoding="utf-8", errors="replace"):
        line = raw.rstrip("\n")
        if line.startswith("SF:"):
            current = files[line[3:]]
        elif current is None:
            continue
        elif line.startswith("DA:"):
            number, count = line[3:].split(",")[:2]
            current[0][int(number)] += int(count)
        elif line.startswith("FN:"):
            name = line[3:].split(",", 1)[1]
            current[1][name] += 0
        elif line.startswith("FNDA:"):
            count, name = line[5:].split(",", 1)
            current[1][name] += int(count)
        elif line == "end_of_record":
            current = None
    return files


def percent(done, total):
    return f"{100.0 * done / total:5.1f}%" if total else "    - "


def main():
    files = read_trace(sys.argv[1])
    root = sys.argv[2].rstrip("/") + "/"
    label = sys.argv[3] if len(sys.argv) > 3 else sys.argv[1]
    folders = collections.defaultdict(lambda: [0, 0, 0, 0])
    natives = {}
    unentered = []
    for source, (lines, functions) in files.items():
        if not source.startswith(root + "src/"):
            continue
        path = source[len(root):]
        figures = (sum(1 for count in lines.values() if count > 0), len(lines),
                   sum(1 for count in functions.values() if count > 0), len(functions))
        folder = path.split("/")[1]
        for key in (folder, "(all of src)"):
            for i, value in enumerate(figures):
                folders[key][i] += value
        if folder == "natives":
            natives[path.split("/", 2)[2]] = figures
            unentered += [f"{path}: {name}" for name, count in functions.items() if count == 0 and "Java_" in name]
    print(f"coverage of {label}: lines, functions")
    for folder in sorted(folders, key=lambda name: (name.startswith("("), name)):
        lines_hit, lines, functions_hit, functions = folders[folder]
        print(f"  src/{folder:<14} {percent(lines_hit, lines)} of {lines:5d} lines   "
              f"{percent(functions_hit, functions)} of {functions:4d} functions")
    print("natives files:")
    for name in sorted(natives):
        lines_hit, lines, functions_hit, functions = natives[name]
        print(f"  {name:<38} {percent(lines_hit, lines)} of {lines:5d}   {percent(functions_hit, functions)} of {functions:4d}")
    print(f"natives never entered: {len(unentered)}")
    for name in sorted(unentered):
        print(f"  {name}")


if __name__ == "__main__":
    main()
