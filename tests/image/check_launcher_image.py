#!/usr/bin/env python3
"""Checks a shipped launcher image without running it: launcher.exe a PE32 image for x86,
launcher64.exe a PE32+ image for x86-64 (--machine x64); either a GUI image that imports only
from KnownDLLs (anything else would be searched for beside the installer first), with the
dialogs, icon, manifest and version block the launcher needs, and exporting exactly the
registration entries and the natives that have a body, under the names of its machine (the
stdcall names in a 32-bit image, the plain JNI names in a 64-bit one).

Usage: check_launcher_image.py [--machine x86|x64] launcher.exe registration_table.cpp launcher.def"""
import argparse
import re
import struct
import subprocess
import sys
import tempfile
from pathlib import Path

sys.dont_write_bytecode = True
sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "cmake"))
import natives_exports  # noqa: E402

# machine: (PE machine field, optional header magic, image format, objdump, decorated exports)
MACHINES = {
    "x86": (0x14C, 0x10B, "PE32", "i686-w64-mingw32-objdump", True),
    "x64": (0x8664, 0x20B, "PE32+", "x86_64-w64-mingw32-objdump", False),
}

KNOWN_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll", "ole32.dll",
    "oleaut32.dll", "comdlg32.dll", "shlwapi.dll", "psapi.dll", "msvcrt.dll", "ws2_32.dll",
    "imm32.dll", "setupapi.dll", "rpcrt4.dll", "sechost.dll", "combase.dll",
}

WS_POPUP, WS_CAPTION, WS_SYSMENU, WS_MINIMIZEBOX, WS_BORDER = 0x80000000, 0x00C00000, 0x00080000, 0x00020000, 0x00800000
WS_EX_APPWINDOW, SS_NOPREFIX, SS_ICON, BS_DEFPUSHBUTTON = 0x00040000, 0x80, 0x3, 0x1

# id, class, x, y, cx, cy, style bits that must be set
STARTUP_CONTROLS = [
    (1003, "static", 46, 6, 176, 34, SS_NOPREFIX),
    (1001, "msctls_progress32", 6, 61, 162, 10, WS_BORDER),
    (2, "button", 173, 59, 50, 14, 0),
    (-1, "static", 13, 10, 32, 32, SS_ICON),
]
SELECTION_CONTROLS = [
    (1005, "button", 117, 59, 50, 14, BS_DEFPUSHBUTTON),
    (2, "button", 173, 59, 50, 14, 0),
    (1003, "static", 46, 6, 176, 45, 0),
    (-1, "static", 13, 10, 32, 32, SS_ICON),
]
ATOMS = {0x80: "button", 0x81: "edit", 0x82: "static", 0x83: "listbox", 0x84: "scrollbar", 0x85: "combobox"}

failures = []


def check(condition, text):
    if not condition:
        failures.append(text)


def read_sz_or_ord(data, at):
    (first,) = struct.unpack_from("<H", data, at)
    if first == 0:
        return None, at + 2
    if first == 0xFFFF:
        return struct.unpack_from("<H", data, at + 2)[0], at + 4
    end = at
    while struct.unpack_from("<H", data, end)[0] != 0:
        end += 2
    return data[at:end].decode("utf-16-le"), end + 2


def align4(at):
    return (at + 3) & ~3


def parse_dialog(data):
    version, signature = struct.unpack_from("<HH", data, 0)
    assert version == 1 and signature == 0xFFFF, "not a DIALOGEX template"
    _help, exstyle, style, count, x, y, cx, cy = struct.unpack_from("<IIIHhhhh", data, 4)
    at = 26
    menu, at = read_sz_or_ord(data, at)
    window_class, at = read_sz_or_ord(data, at)
    title, at = read_sz_or_ord(data, at)
    point, weight, italic, charset = struct.unpack_from("<HHBB", data, at)
    font, at = read_sz_or_ord(data, at + 6)
    controls = []
    for _ in range(count):
        at = align4(at)
        _help, c_exstyle, c_style, c_x, c_y, c_cx, c_cy, c_id = struct.unpack_from("<IIIhhhhi", data, at)
        at += 24
        c_class, at = read_sz_or_ord(data, at)
        text, at = read_sz_or_ord(data, at)
        (extra,) = struct.unpack_from("<H", data, at)
        at += 2 + extra
        if isinstance(c_class, int):
            c_class = ATOMS.get(c_class, str(c_class))
        controls.append((c_id, c_class.lower(), c_x, c_y, c_cx, c_cy, c_style, text))
    return dict(exstyle=exstyle, style=style, size=(cx, cy), window_class=window_class,
                font=(font, point), controls=controls)


def check_dialog(name, dialog, style, exstyle, window_class, expected):
    check(dialog["size"] == (233, 79), f"dialog {name}: size {dialog['size']}")
    check(dialog["font"] == ("MS Shell Dlg", 8), f"dialog {name}: font {dialog['font']}")
    check(dialog["style"] & style == style, f"dialog {name}: style {dialog['style']:#x}")
    check(dialog["exstyle"] & exstyle == exstyle, f"dialog {name}: extended style {dialog['exstyle']:#x}")
    # Window class names compare without regard to case (windres stores them upper-cased).
    got_class = dialog["window_class"].lower() if isinstance(dialog["window_class"], str) else dialog["window_class"]
    want_class = window_class.lower() if window_class else window_class
    check(got_class == want_class, f"dialog {name}: class {dialog['window_class']!r}")
    got = {(c[0], c[1], c[2], c[3], c[4], c[5]) for c in dialog["controls"]}
    for control in expected:
        check(control[:6] in got, f"dialog {name}: control {control[:6]} missing (have {sorted(got)})")
        for c in dialog["controls"]:
            if c[:6] == control[:6]:
                check(c[6] & control[6] == control[6], f"dialog {name}: control {c[0]} style {c[6]:#x}")
    check(len(dialog["controls"]) == len(expected), f"dialog {name}: {len(dialog['controls'])} controls")
    icons = [c for c in dialog["controls"] if c[6] & 0xF == SS_ICON and c[1] == "static"]
    check(len(icons) == 1 and icons[0][7] in (1001, "#1001"), f"dialog {name}: the icon control does not show icon 1001")


def exported_names(header):
    """The names of the export table, from objdump's listing of it."""
    listing = header.split("[Ordinal/Name Pointer] Table", 1)
    if len(listing) < 2:
        return []
    names = []
    for line in listing[1].splitlines()[1:]:
        match = re.match(r"\s*\[\s*\d+\] (\S+)$", line)
        if not match:
            break
        names.append(match.group(1))
    return names


def check_exports(header, table, definitions, decorated):
    exports = exported_names(header)
    check(len(exports) == len(set(exports)), f"an export name appears twice: {exports}")
    # Every native of the table by the name the registration looks up in an image of this machine.
    natives = {n.export_name(decorated): n for n in natives_exports.read_table(table)}
    for entry in natives_exports.ENTRIES:
        check(entry in exports, f"registration entry {entry} is not exported undecorated")
    for name in exports:
        check(name in natives_exports.ENTRIES or name in natives,
              f"export {name} is neither a registration entry nor a native of the table (by its export name)")
    # The implemented natives: those the export definitions name, and no others.
    defined = [line.split()[0] for line in Path(definitions).read_text().splitlines()[1:] if line.strip()]
    check(sorted(exports) == sorted(defined),
          f"exports {sorted(set(exports) ^ set(defined))} differ from the export definitions")
    # The Java side finds this one by the virtual machine's own name lookup, not through a
    # registration; nothing else would notice it missing or with another byte count.
    narrow_link = natives_exports.Native("com/corvane/runtime/installer/platform/win32/ShellLink", "create0",
                                         "([B[B[B[B[BZ[B)Z").export_name(decorated)
    check(narrow_link in exports, f"{narrow_link} is not exported")
    print("exported natives:", ", ".join(natives[n].class_name.rsplit("/", 1)[1] + "." + natives[n].method
                                          for n in exports if n in natives) or "none")


def pe_header(image):
    """The machine field and the optional header's magic of a PE image."""
    data = Path(image).read_bytes()
    (offset,) = struct.unpack_from("<I", data, 0x3C)
    check(data[offset:offset + 4] == b"PE\0\0", "no PE signature")
    (machine,) = struct.unpack_from("<H", data, offset + 4)
    (magic,) = struct.unpack_from("<H", data, offset + 24)
    return machine, magic


def main(image, table, definitions, machine_name):
    machine, magic, image_format, objdump, decorated = MACHINES[machine_name]
    got_machine, got_magic = pe_header(image)
    check(got_machine == machine, f"machine {got_machine:#x}, not {machine:#x}")
    check(got_magic == magic, f"optional header magic {got_magic:#x}: not a {image_format} image")
    if failures:
        return report(image)
    header = subprocess.run([objdump, "-p", image], capture_output=True, text=True, check=True).stdout
    check(re.search(r"Subsystem\s+00000002", header) is not None, "not a GUI subsystem image")
    imports = {m.lower() for m in re.findall(r"DLL Name: (\S+)", header)}
    check(imports and imports <= KNOWN_DLLS, f"imports outside the KnownDLLs: {sorted(imports - KNOWN_DLLS)}")
    check_exports(header, table, definitions, decorated)

    listing = subprocess.run(["wrestool", "-l", image], capture_output=True, text=True, check=True).stdout
    for kind, name in (("14", "1001"), ("5", "103"), ("5", "104"), ("24", "1"), ("16", "1")):
        check(re.search(rf"--type={kind} --name={name}\b", listing) is not None, f"resource type {kind} name {name} missing")

    def resource(kind, name):
        return subprocess.run(["wrestool", "-x", "--raw", f"--type={kind}", f"--name={name}", image],
                              capture_output=True, check=True).stdout

    manifest = resource(24, 1).decode("utf-8", "replace")
    check('level="asInvoker"' in manifest, "manifest does not ask for asInvoker")
    check("Microsoft.Windows.Common-Controls" in manifest and 'version="6.0.0.0"' in manifest,
          "manifest does not bind common controls 6")

    check_dialog("103", parse_dialog(resource(5, 103)), WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                 WS_EX_APPWINDOW, "MyDialogClass", STARTUP_CONTROLS)
    check_dialog("104", parse_dialog(resource(5, 104)), WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, None, SELECTION_CONTROLS)

    return report(image)


def report(image):
    for failure in failures:
        print("FAIL:", failure)
    print(f"launcher image: {'passed' if not failures else 'FAILED'} ({image})")
    return 1 if failures else 0


if __name__ == "__main__":
    arguments = argparse.ArgumentParser()
    arguments.add_argument("--machine", choices=sorted(MACHINES), default="x86")
    arguments.add_argument("image")
    arguments.add_argument("table")
    arguments.add_argument("definitions")
    options = arguments.parse_args()
    sys.exit(main(options.image, options.table, options.definitions, options.machine))
