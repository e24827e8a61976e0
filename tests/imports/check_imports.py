#!/usr/bin/python3
"""Checks that vorpkg.exe can load on Windows NT 4.0 and carries its version.

  check_imports.py imports --allow LIST --exe32 EXE --exe64 EXE
      Every import of both builds must be in LIST, from KERNEL32.dll,
      ADVAPI32.dll or msvcrt.dll only; entries marked win64 may not appear in the 32-bit
      build. The 32-bit header must not ask for more than Windows 4.0.

  check_imports.py resource --exe EXE --version A.B.C.D
      The build carries a version resource with that file and product
      version and the expected names.

Reads the programs with pefile (Debian package python3-pefile), so it needs no Wine.
"""
import argparse
import os
import sys

try:
    import pefile
except ImportError:
    sys.exit("check_imports.py: pefile not found (package python3-pefile, which Debian's python3 reads)")

ALLOWED_DLLS = ("kernel32.dll", "advapi32.dll", "msvcrt.dll")
# NT 4.0 refuses an image that asks for a newer Windows or subsystem.
NT40 = (4, 0)
FORMATS = {0x14C: "pei-i386", 0x8664: "pei-x86-64"}

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


def load(exe):
    if not os.path.isfile(exe):
        raise CheckError("%s is missing: build it first (scripts/dev build)" % exe)
    try:
        return pefile.PE(exe)
    except pefile.PEFormatError as e:
        raise CheckError("%s is not a PE program: %s" % (exe, e))


def data_directory_size(pe, name):
    index = pefile.DIRECTORY_ENTRY[name]
    directories = pe.OPTIONAL_HEADER.DATA_DIRECTORY
    return directories[index].Size if index < len(directories) else 0


def check_imports(label, pe, allowed, is_win64):
    """Returns the problems found in one build and the entries it used."""
    problems = []
    used = set()
    imports = [(entry.dll.decode(), imp.name.decode() if imp.name else None)
               for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []) for imp in entry.imports]
    if not imports:
        problems.append("%s: lists no imports at all" % label)
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
    if data_directory_size(pe, "IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT") != 0:
        problems.append("%s: has delay-load imports, which this check does not read" % label)
    return problems, used


def check_nt40_header(label, pe):
    h = pe.OPTIONAL_HEADER
    os_version = (h.MajorOperatingSystemVersion, h.MinorOperatingSystemVersion)
    subsystem = (h.MajorSubsystemVersion, h.MinorSubsystemVersion)
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
    for exe, fmt, is_win64 in ((args.exe32, "pei-i386", False), (args.exe64, "pei-x86-64", True)):
        label = "win64" if is_win64 else "win32"
        pe = load(exe)
        found_fmt = FORMATS.get(pe.FILE_HEADER.Machine, "machine 0x%x" % pe.FILE_HEADER.Machine)
        if found_fmt != fmt:
            problems.append("%s: %s is %s, expected %s" % (label, exe, found_fmt, fmt))
            continue
        found, build_used = check_imports(label, pe, allowed, is_win64)
        problems += found
        used |= build_used
        if not is_win64:
            problems += check_nt40_header(label, pe)
        print("%s: %d imports read from %s" % (label, len(build_used), exe))
    unused = sorted("%s %s" % k for k in allowed if k not in used)
    if unused:
        print("allowed but not imported by either build: " + ", ".join(unused))
    return problems


def version_strings(pe):
    """The String entries of the version resource's StringFileInfo."""
    return {k.decode(): v.decode() for info in getattr(pe, "FileInfo", []) for entry in info
            for table in getattr(entry, "StringTable", []) for k, v in table.entries.items()}


def check_resource(exe, pe, version):
    if data_directory_size(pe, "IMAGE_DIRECTORY_ENTRY_RESOURCE") == 0:
        return ["%s: has no resource directory" % exe]
    if not getattr(pe, "VS_FIXEDFILEINFO", None):
        raise CheckError("no VS_VERSION_INFO in the file")
    fixed = pe.VS_FIXEDFILEINFO[0]

    def dotted(ms, ls):
        return "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    file_version = dotted(fixed.FileVersionMS, fixed.FileVersionLS)
    product_version = dotted(fixed.ProductVersionMS, fixed.ProductVersionLS)
    problems = []
    for what, found in (("fixed file version", file_version),
                        ("fixed product version", product_version)):
        if found != version:
            problems.append("%s: %s is %s, expected %s" % (exe, what, found, version))
    expected = dict(expected_strings(exe), FileVersion=version, ProductVersion=version)
    strings = version_strings(pe)
    for key, want in sorted(expected.items()):
        got = strings.get(key)
        if got != want:
            problems.append("%s: version string %s is %r, expected %r" % (exe, key, got, want))
    print("%s: version %s, %s" % (exe, file_version, ", ".join("%s=%r" % kv for kv in sorted(strings.items()))))
    return problems


def cmd_resource(args):
    return check_resource(args.exe, load(args.exe), args.version)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    sub = parser.add_subparsers(dest="command")
    p = sub.add_parser("imports")
    for name in ("allow", "exe32", "exe64"):
        p.add_argument("--" + name, required=True)
    p = sub.add_parser("resource")
    for name in ("exe", "version"):
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
