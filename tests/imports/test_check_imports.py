#!/usr/bin/python3
"""test_check_imports.py EXE32 VERSION: the 32-bit build, read with pefile,
changed in one thing per row, must fail the checks with that thing named."""
import os
import sys

# No __pycache__ in the source tree.
sys.dont_write_bytecode = True
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import check_imports as ci  # noqa: E402


def rename_import(dll, name):
    """Gives the DLL's longest-named import the name (pefile writes no longer one)."""
    def change(pe):
        entry = next(e for e in pe.DIRECTORY_ENTRY_IMPORT if e.dll.decode().lower() == dll.lower())
        max(entry.imports, key=lambda i: len(i.name or b"")).name = name.encode()
    return change


def set_header(**fields):
    return lambda pe: [setattr(pe.OPTIONAL_HEADER, k, v) for k, v in fields.items()]


def drop_string(key):
    def change(pe):
        for info in pe.FileInfo:
            for table in (t for e in info for t in getattr(e, "StringTable", [])):
                table.entries.pop(key.encode(), None)
    return change


def rename_dll(pe):
    pe.DIRECTORY_ENTRY_IMPORT[0].dll = b"USER32.dll"


# (case, change, what every problem found says)
ROWS = [
    ("import NT 4.0 lacks", rename_import("KERNEL32.dll", "GetTickCount64"),
     "win32: KERNEL32.dll GetTickCount64 is not in the allow-list"),
    ("import of the 64-bit build only", rename_import("KERNEL32.dll", "__C_specific_handler"),
     "is allowed in the 64-bit build only (NT 4.0 lacks it)"),
    ("other DLL", rename_dll, "win32: imports from USER32.dll (only"),
    ("newer operating system", set_header(MajorOperatingSystemVersion=5),
     "win32: asks for operating system version 5.0, NT 4.0 is 4.0"),
    ("newer subsystem minor", set_header(MinorSubsystemVersion=10),
     "win32: asks for subsystem version 4.10, NT 4.0 is 4.0"),
    ("missing resource name", drop_string("InternalName"),
     "version string InternalName is None, expected 'vorpkg'"),
    ("other fixed file version", lambda pe: setattr(pe.VS_FIXEDFILEINFO[0], "FileVersionLS", 1),
     "fixed file version is"),
]


def main(exe, version):
    allowed = ci.read_allow_list(os.path.join(HERE, "nt40-allowed.txt"))
    failures = []
    for case, change, want in ROWS:
        pe = ci.load(exe)
        change(pe)
        problems = ci.check_imports("win32", pe, allowed, False)[0] + ci.check_nt40_header("win32", pe) \
            + ci.check_resource(exe, pe, version)
        if not problems or any(want not in p for p in problems):
            failures.append("%s: want %r in every problem, got %s" % (case, want, problems))
    for f in failures:
        print("FAIL: " + f)
    print("%d of %d cases passed" % (len(ROWS) - len(failures), len(ROWS)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
