#!/usr/bin/env python3
"""Writes the export definitions (.def) of a module that holds the natives.

The exports come from the registration table (src/natives/registration_table.cpp, read as
text) and from what is compiled: a native is exported when the objects given define its
function, found by its JNI name in their symbol table (nm). So implementing a native means
writing its function, extern "C" JNICALL with its JNI name, in src/natives/; nothing else needs
to be listed, and a native without a body is never exported. The three registration entries
are always exported.

In a 32-bit build (--decorated) a native's export name is the stdcall name the registration
looks up, "_Java_<class>_<method>@<argument bytes>", bound to the compiler's symbol of the
function; a function whose argument bytes differ from the table's signature is an error, as is
any other Java_ function, or one that lost its extern "C". In a 64-bit build the export name
is the plain "Java_<class>_<method>".

--stubs FILE (test modules): every native of the table is exported; those without a body are
bound to generated functions that return their row number (in a 32-bit build stdcall ones that
take the native's argument bytes).
--names FILE: every native's 32-bit export name, in table order (for the host tests).
"""
import argparse
import re
import subprocess
import sys

ENTRIES = ["registerNatives", "registerNativesEx", "registerNativesFlatlaf"]

CLASS_ROW = re.compile(r'^\s*\{ClassGroup::\w+, "([^"]+)", \{\s*$')
METHOD_ROW = re.compile(r'^\s*\{"([^"]+)", "([^"]+)"\},\s*$')


class Native:
    def __init__(self, class_name, method, signature):
        self.class_name = class_name
        self.method = method
        self.signature = signature

    @property
    def plain(self):
        return "Java_" + self.class_name.replace("/", "_").replace("$", "_00024") + "_" + self.method

    @property
    def decorated(self):
        return f"{self.plain}@{argument_bytes(self.signature)}"

    def export_name(self, decorated):
        """The name the module exports the native under: the stdcall name with its C prefix in a
        32-bit image, the plain JNI name in a 64-bit one."""
        return f"_{self.decorated}" if decorated else self.plain


def argument_bytes(signature):
    """The stdcall byte count: the environment and the class, 4 per argument, 8 for J and D."""
    arguments = signature[signature.index("(") + 1:signature.index(")")]
    count, at = 8, 0
    while at < len(arguments):
        if arguments[at] in "JD":
            count += 8
            at += 1
            continue
        count += 4
        while arguments[at] == "[":
            at += 1
        at = arguments.index(";", at) + 1 if arguments[at] == "L" else at + 1
    return count


def read_table(path):
    natives, current = [], None
    with open(path, encoding="utf-8") as source:
        for number, line in enumerate(source, 1):
            if match := CLASS_ROW.match(line):
                current = match.group(1)
            elif match := METHOD_ROW.match(line):
                if current is None:
                    sys.exit(f"{path}:{number}: a method row before any class row")
                natives.append(Native(current, *match.groups()))
    if not natives:
        sys.exit(f"{path}: no rows found")
    return natives


def defined_symbols(nm, objects, decorated):
    listing = subprocess.run([nm, "-g", "--defined-only", *objects], capture_output=True, text=True, check=True).stdout
    symbols = set()
    for line in listing.splitlines():
        fields = line.split()
        if len(fields) != 3 or fields[1] not in "TtDdRrBb":
            continue
        name = fields[2]
        # The C symbol prefix of 32-bit Windows.
        if decorated and name.startswith("_"):
            name = name[1:]
        symbols.add(name)
    return symbols


def check_symbols(symbols, natives, decorated):
    internal = {(n.decorated if decorated else n.plain): n for n in natives}
    by_plain = {n.plain: n for n in natives}
    errors = []
    for symbol in sorted(symbols):
        if "Java_com_corvane_" in symbol and not symbol.startswith("Java_"):
            errors.append(f"{symbol}: a native that is not extern \"C\"")
        elif symbol.startswith("Java_") and symbol not in internal:
            native = by_plain.get(symbol.split("@")[0])
            if native:
                errors.append(f"{symbol}: the table's signature {native.signature} makes it @"
                              f"{argument_bytes(native.signature)}")
            else:
                errors.append(f"{symbol}: not in the registration table")
    for entry in ENTRIES:
        if entry not in symbols:
            errors.append(f"{entry}: the registration entry is not compiled in")
    return errors


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--table", required=True)
    parser.add_argument("--nm")
    parser.add_argument("--def", dest="def_file")
    parser.add_argument("--decorated", action="store_true")
    parser.add_argument("--stubs")
    parser.add_argument("--names")
    parser.add_argument("objects", nargs="*")
    options = parser.parse_args()
    natives = read_table(options.table)

    if options.names:
        with open(options.names, "w", encoding="utf-8", newline="\n") as out:
            out.writelines(f"_{n.decorated}\n" for n in natives)
    if not options.def_file:
        return 0

    symbols = defined_symbols(options.nm, options.objects, options.decorated)
    errors = check_symbols(symbols, natives, options.decorated)
    if errors:
        for error in errors:
            print(f"natives_exports: {error}", file=sys.stderr)
        return 1

    lines = ["EXPORTS"] + [f"  {entry}" for entry in ENTRIES]
    stubs = []
    for row, native in enumerate(natives):
        name = native.export_name(options.decorated)
        symbol = native.decorated if options.decorated else native.plain
        if symbol not in symbols:
            if not options.stubs:
                continue
            # A stand-in is called as the native would be: in a 32-bit build it is stdcall and
            # removes the native's argument bytes from the stack, or its caller's stack is off.
            symbol = f"natives_stub_{row}"
            if options.decorated:
                words = argument_bytes(native.signature) // 4
                stubs.append(f'extern "C" int __stdcall {symbol}({", ".join(["int"] * words)}) {{ return {row}; }}\n')
                symbol += f"@{4 * words}"
            else:
                stubs.append(f'extern "C" int {symbol}() {{ return {row}; }}\n')
        lines.append(f"  {name}" if name == symbol else f"  {name} = {symbol}")
    with open(options.def_file, "w", encoding="utf-8", newline="\n") as out:
        out.write("\n".join(lines) + "\n")
    if options.stubs:
        with open(options.stubs, "w", encoding="utf-8", newline="\n") as out:
            out.write("// Generated by cmake/natives_exports.py: the natives of a test module that have no body.\n")
            out.writelines(stubs)
    return 0


if __name__ == "__main__":
    sys.exit(main())
