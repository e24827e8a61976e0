#!/usr/bin/env python3
"""Checks that vorpkg.exe can load on Windows NT 4.0 and carries its version.

  check_imports.py imports --allow LIST --exe32 EXE --objdump32 TOOL
                           --exe64 EXE --objdump64 TOOL
      Every import of both builds must be in LIST, from KERNEL32.dll,
      ADVAPI32.dll or msvcrt.dll only; entries marked win64 may not appear in the 32-bit
      build. The 32-bit header must not ask for more than Windows 4.0.

  check_imports.py resource --exe EXE --objdump TOOL --version A.B.C.D
      The build carries a version resource with that file and product
      version and the expected names.

Reads the tables through the MinGW objdump (-p), so it needs no Wine.
"""
import argparse
import os
import re
import shutil
import struct
import subprocess
import sys

ALLOWED_DLLS = ("kernel32.dll", "advapi32.dll", "msvcrt.dll")
# NT 4.0 refuses an image that asks for a newer Windows or subsystem.
NT40 = (4, 0)

EXPECTED_STRINGS = {
    "FileDescription": "vorpkg driver update",
    "ProductName": "vorpkg",
    "InternalName": "vorpkg",
    "OriginalFilename": "vorpkg.exe",
}
# The self-test beside it: the same product, its own name.
SELFTEST_STRINGS = dict(EXPECTED_STRINGS, FileDescription="vorpkg self-test", InternalName="vorpkg-selftest",
                        OriginalFilename="vorpkg-selftest.exe")


def expected_strings(exe):
    """The version strings a program of that file name carries."""
    return SELFTEST_STRINGS if os.path.basename(exe).lower() == "vorpkg-selftest.exe" else EXPECTED_STRINGS


class CheckError(Exception):
    pass


def read_allow_list(path):
    """Returns {(dll lower-case, function): win64_only}."""
    allowed = {}
    with open(path, encoding="utf-8") as f:
        for number, raw in enumerate(f, 1):
            line = raw.split(";", 1)[0].split("#", 1)[0].strip()
            if not line:
                continue
            fields = line.split()
            if len(fields) not in (2, 3) or (len(fields) == 3 and fields[2] != "win64"):
                raise CheckError("%s:%d: expected 'DLL function [win64]', got %r"
                                 % (path, number, raw.rstrip("\n")))
            key = (fields[0].lower(), fields[1])
            if key in allowed:
                raise CheckError("%s:%d: %s %s listed twice" % (path, number, fields[0], fields[1]))
            allowed[key] = len(fields) == 3
    return allowed


def run_objdump(tool, exe):
    if not os.path.isfile(exe):
        raise CheckError("%s is missing: build it first (scripts/dev build)" % exe)
    if shutil.which(tool) is None:
        raise CheckError("%s not found (package binutils-mingw-w64)" % tool)
    result = subprocess.run([tool, "-p", exe], stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, universal_newlines=True)
    if result.returncode != 0:
        raise CheckError("%s -p %s failed: %s" % (tool, exe, result.stderr.strip()))
    return result.stdout


def parse_format(text):
    m = re.search(r"file format (\S+)", text)
    return m.group(1) if m else None


def parse_header(text):
    """Returns the four version fields of the optional header."""
    fields = {}
    for name in ("MajorOSystemVersion", "MinorOSystemVersion",
                 "MajorSubsystemVersion", "MinorSubsystemVersion"):
        m = re.search(r"^%s\s+(\d+)\s*$" % name, text, re.M)
        if not m:
            raise CheckError("objdump shows no %s" % name)
        fields[name] = int(m.group(1))
    return fields


def data_directory_size(text, entry):
    """Size of one data-directory entry (hex index as objdump prints it)."""
    m = re.search(r"^Entry %s [0-9a-fA-F]+ ([0-9a-fA-F]+)" % entry, text, re.M)
    if not m:
        raise CheckError("objdump shows no data directory entry %s" % entry)
    return int(m.group(1), 16)


def parse_imports(text):
    """Returns [(dll, function or None when imported by ordinal)]."""
    imports = []
    dll = None
    for line in text.splitlines():
        m = re.match(r"^\s*DLL Name: (\S+)\s*$", line)
        if m:
            dll = m.group(1)
            continue
        if dll is None:
            continue
        if not line.strip():
            dll = None
            continue
        if line.strip().startswith("vma:"):
            continue
        # vma, hint or ordinal, name ("<none>" when imported by ordinal)
        m = re.match(r"^\s*[0-9a-fA-F]+\s+[0-9a-fA-F]+\s+(\S+)", line)
        if not m:
            raise CheckError("cannot read import line %r" % line)
        name = m.group(1)
        imports.append((dll, None if name == "<none>" else name))
    return imports


def check_imports(label, text, allowed, is_win64):
    """Returns the problems found in one build and the entries it used."""
    problems = []
    used = set()
    imports = parse_imports(text)
    if not imports:
        problems.append("%s: objdump lists no imports at all" % label)
    for dll, function in imports:
        if dll.lower() not in ALLOWED_DLLS:
            problems.append("%s: imports from %s (only KERNEL32.dll, ADVAPI32.dll and msvcrt.dll may be used): %s"
                            % (label, dll, function or "by ordinal"))
            continue
        if function is None:
            problems.append("%s: imports from %s by ordinal" % (label, dll))
            continue
        key = (dll.lower(), function)
        if key not in allowed:
            problems.append("%s: %s %s is not in the allow-list" % (label, dll, function))
        elif allowed[key] and not is_win64:
            problems.append("%s: %s %s is allowed in the 64-bit build only (NT 4.0 lacks it)"
                            % (label, dll, function))
        used.add(key)
    if data_directory_size(text, "d") != 0:
        problems.append("%s: has delay-load imports, which this check does not read" % label)
    return problems, used


def check_nt40_header(label, text):
    h = parse_header(text)
    os_version = (h["MajorOSystemVersion"], h["MinorOSystemVersion"])
    subsystem = (h["MajorSubsystemVersion"], h["MinorSubsystemVersion"])
    print("%s: operating system version %d.%d, subsystem version %d.%d"
          % ((label,) + os_version + subsystem))
    problems = []
    if os_version > NT40:
        problems.append("%s: asks for operating system version %d.%d, NT 4.0 is 4.0"
                        % ((label,) + os_version))
    if subsystem > NT40:
        problems.append("%s: asks for subsystem version %d.%d, NT 4.0 is 4.0"
                        % ((label,) + subsystem))
    return problems


def cmd_imports(args):
    allowed = read_allow_list(args.allow)
    problems = []
    used = set()
    builds = ((args.exe32, args.objdump32, "pei-i386", False),
              (args.exe64, args.objdump64, "pei-x86-64", True))
    for exe, tool, fmt, is_win64 in builds:
        label = "win64" if is_win64 else "win32"
        text = run_objdump(tool, exe)
        if parse_format(text) != fmt:
            problems.append("%s: %s is %s, expected %s" % (label, exe, parse_format(text), fmt))
            continue
        found, build_used = check_imports(label, text, allowed, is_win64)
        problems += found
        used |= build_used
        if not is_win64:
            problems += check_nt40_header(label, text)
        print("%s: %d imports read from %s" % (label, len(build_used), exe))
    unused = sorted("%s %s" % k for k in allowed if k not in used)
    if unused:
        print("allowed but not imported by either build: " + ", ".join(unused))
    return problems


def utf16(s):
    return s.encode("utf-16-le")


def version_strings(data):
    """Reads the String entries of a version resource's StringFileInfo."""
    values = {}
    for key in ("FileVersion", "ProductVersion") + tuple(EXPECTED_STRINGS):
        pos = data.find(utf16(key) + b"\0\0")
        if pos < 6:
            continue
        # String: wLength, wValueLength, wType, then the key and padding to
        # a 4-byte boundary, then the value.
        _, value_words, value_type = struct.unpack_from("<HHH", data, pos - 6)
        if value_type != 1:
            continue
        start = pos + len(utf16(key)) + 2
        start += (-start) % 4
        raw = data[start:start + 2 * value_words]
        values[key] = raw.decode("utf-16-le").split("\0", 1)[0]
    return values


def fixed_versions(data):
    """File and product version from VS_FIXEDFILEINFO."""
    key = data.find(utf16("VS_VERSION_INFO"))
    if key < 0:
        raise CheckError("no VS_VERSION_INFO in the file")
    sig = data.find(struct.pack("<I", 0xFEEF04BD), key)
    if sig < 0:
        raise CheckError("no VS_FIXEDFILEINFO after VS_VERSION_INFO")
    file_ms, file_ls, prod_ms, prod_ls = struct.unpack_from("<IIII", data, sig + 8)

    def dotted(ms, ls):
        return "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    return dotted(file_ms, file_ls), dotted(prod_ms, prod_ls)


def cmd_resource(args):
    text = run_objdump(args.objdump, args.exe)
    if data_directory_size(text, "2") == 0:
        return ["%s: has no resource directory" % args.exe]
    with open(args.exe, "rb") as f:
        data = f.read()
    problems = []
    file_version, product_version = fixed_versions(data)
    for what, found in (("fixed file version", file_version),
                        ("fixed product version", product_version)):
        if found != args.version:
            problems.append("%s: %s is %s, expected %s" % (args.exe, what, found, args.version))
    expected = dict(expected_strings(args.exe), FileVersion=args.version, ProductVersion=args.version)
    strings = version_strings(data)
    for key, want in sorted(expected.items()):
        got = strings.get(key)
        if got != want:
            problems.append("%s: version string %s is %r, expected %r" % (args.exe, key, got, want))
    print("%s: version %s, %s" % (args.exe, file_version,
                                  ", ".join("%s=%r" % kv for kv in sorted(strings.items()))))
    return problems


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    sub = parser.add_subparsers(dest="command")
    p = sub.add_parser("imports")
    for name in ("allow", "exe32", "objdump32", "exe64", "objdump64"):
        p.add_argument("--" + name, required=True)
    p = sub.add_parser("resource")
    for name in ("exe", "objdump", "version"):
        p.add_argument("--" + name, required=True)
    args = parser.parse_args(argv)
    if args.command is None:
        parser.error("say imports or resource")
    try:
        problems = cmd_imports(args) if args.command == "imports" else cmd_resource(args)
    except CheckError as e:
        problems = [str(e)]
    for p in problems:
        print("FAIL: " + p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
