#!/usr/bin/env python3
"""Cases the import and resource checks must catch, on made-up objdump output."""
import os
import struct
import sys
import tempfile
import unittest

# No __pycache__ in the source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_imports as ci  # noqa: E402

ALLOWED = {
    ("kernel32.dll", "CloseHandle"): False,
    ("kernel32.dll", "__C_specific_handler"): True,
    ("msvcrt.dll", "strlen"): False,
}


def objdump_text(imports, subsystem=(4, 0), os_version=(4, 0), delay_size=0):
    """objdump -p output in the layout binutils prints."""
    lines = [
        "vorpkg.exe:     file format pei-i386", "",
        "MajorOSystemVersion\t%d" % os_version[0],
        "MinorOSystemVersion\t%d" % os_version[1],
        "MajorSubsystemVersion\t%d" % subsystem[0],
        "MinorSubsystemVersion\t%d" % subsystem[1], "",
        "Entry 2 00000000 00000000 Resource Directory [.rsrc]",
        "Entry d 00000000 %08x Delay Import Directory" % delay_size, "",
        "The Import Tables (interpreted .idata section contents)",
    ]
    for dll, names in imports:
        lines += ["", "\tDLL Name: %s" % dll, "\tvma:  Hint/Ord Member-Name Bound-To"]
        for i, name in enumerate(names):
            lines.append("\te%03x\t  %3d  %s" % (i * 16, i, name or "<none>"))
    lines.append("")
    return "\n".join(lines) + "\n"


class ImportCases(unittest.TestCase):
    def problems(self, imports, win64=False, **kw):
        found, _ = ci.check_imports("build", objdump_text(imports, **kw), ALLOWED, win64)
        return found

    def test_cases(self):
        # (name, imports, is_win64, words every problem line must hold; None = clean)
        rows = [
            ("all listed", [("KERNEL32.dll", ["CloseHandle"]), ("msvcrt.dll", ["strlen"])],
             False, None),
            ("DLL name case does not matter", [("kernel32.DLL", ["CloseHandle"])], False, None),
            ("other DLL", [("USER32.dll", ["MessageBoxA"])], False,
             ["USER32.dll", "MessageBoxA"]),
            ("ADVAPI32 function not listed", [("ADVAPI32.dll", ["RegOpenKeyExA"])], False,
             ["RegOpenKeyExA", "not in the allow-list"]),
            ("function not listed", [("KERNEL32.dll", ["GetTickCount64"])], False,
             ["GetTickCount64", "not in the allow-list"]),
            ("listed under the other DLL", [("msvcrt.dll", ["CloseHandle"])], False,
             ["msvcrt.dll CloseHandle"]),
            ("function name case matters", [("msvcrt.dll", ["STRLEN"])], False, ["STRLEN"]),
            ("64-bit-only in the 32-bit build", [("KERNEL32.dll", ["__C_specific_handler"])],
             False, ["__C_specific_handler", "64-bit build only"]),
            ("64-bit-only in the 64-bit build", [("KERNEL32.dll", ["__C_specific_handler"])],
             True, None),
            ("by ordinal", [("KERNEL32.dll", [None])], False, ["by ordinal"]),
            ("no imports read", [], False, ["no imports"]),
        ]
        for name, imports, win64, words in rows:
            with self.subTest(name):
                found = self.problems(imports, win64)
                if words is None:
                    self.assertEqual(found, [])
                else:
                    self.assertEqual(len(found), 1, found)
                    for w in words:
                        self.assertIn(w, found[0])

    def test_every_outside_import_is_named(self):
        found = self.problems([("KERNEL32.dll", ["CloseHandle", "A", "B"]),
                               ("USER32.dll", ["C"])])
        self.assertEqual(len(found), 3)

    def test_delay_imports_fail(self):
        found = self.problems([("KERNEL32.dll", ["CloseHandle"])], delay_size=0x40)
        self.assertTrue(any("delay" in p for p in found), found)

    def test_nt40_header(self):
        rows = [((4, 0), (4, 0), 0), ((3, 10), (4, 0), 0), ((4, 0), (3, 10), 0),
                ((4, 10), (4, 0), 1), ((5, 0), (4, 0), 1), ((4, 0), (5, 1), 1),
                ((6, 0), (6, 0), 2)]
        for subsystem, os_version, count in rows:
            with self.subTest(subsystem=subsystem, os_version=os_version):
                text = objdump_text([], subsystem=subsystem, os_version=os_version)
                self.assertEqual(len(ci.check_nt40_header("win32", text)), count)


class AllowListCases(unittest.TestCase):
    def read(self, text):
        with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False) as f:
            f.write(text)
        try:
            return ci.read_allow_list(f.name)
        finally:
            os.unlink(f.name)

    def test_reads_entries_and_marks(self):
        allowed = self.read("# note\nKERNEL32.dll Sleep ; [K32]\n\n"
                            "msvcrt.dll __iob_func win64 ; [X64]\n")
        self.assertEqual(allowed, {("kernel32.dll", "Sleep"): False,
                                   ("msvcrt.dll", "__iob_func"): True})

    def test_refuses_bad_lines(self):
        for text in ("KERNEL32.dll\n", "KERNEL32.dll Sleep win32\n",
                     "KERNEL32.dll Sleep\nkernel32.DLL Sleep\n"):
            with self.subTest(text=text):
                with self.assertRaises(ci.CheckError):
                    self.read(text)

    def test_repository_list_reads(self):
        here = os.path.dirname(os.path.abspath(__file__))
        allowed = ci.read_allow_list(os.path.join(here, "nt40-allowed.txt"))
        self.assertIn(("kernel32.dll", "CreateProcessA"), allowed)
        self.assertTrue(all(dll in ci.ALLOWED_DLLS for dll, _ in allowed))


def version_resource(strings, version=(1, 2, 3, 4)):
    """A VS_VERSIONINFO block: fixed info, then one string table."""
    def node(key, value, value_words, kind, children=b""):
        body = struct.pack("<HHH", 0, value_words, kind) + (key + "\0").encode("utf-16-le")
        body += b"\0" * ((-len(body)) % 4) + value
        body += b"\0" * ((-len(body)) % 4) + children
        return struct.pack("<H", len(body)) + body[2:]

    a, b, c, d = version
    fixed = struct.pack("<13I", 0xFEEF04BD, 0x10000, (a << 16) | b, (c << 16) | d,
                        (a << 16) | b, (c << 16) | d, 0x3F, 0, 0x40004, 1, 0, 0, 0)
    table = b"".join(node(k, (v + "\0").encode("utf-16-le"), len(v) + 1, 1)
                     for k, v in strings.items())
    info = node("StringFileInfo", b"", 0, 1, node("040904b0", b"", 0, 1, table))
    # Resource data sits 4-byte aligned in the file.
    return b"MZ\0\0padding\0" + node("VS_VERSION_INFO", fixed, len(fixed), 0, info)


class ResourceCases(unittest.TestCase):
    def test_reads_strings_and_fixed_versions(self):
        data = version_resource({"FileVersion": "1.2.3.4", "ProductName": "vorpkg",
                                 "FileDescription": "vorpkg driver update"})
        self.assertEqual(ci.fixed_versions(data), ("1.2.3.4", "1.2.3.4"))
        strings = ci.version_strings(data)
        self.assertEqual(strings["FileVersion"], "1.2.3.4")
        self.assertEqual(strings["FileDescription"], "vorpkg driver update")
        self.assertNotIn("InternalName", strings)

    def test_no_version_resource(self):
        with self.assertRaises(ci.CheckError):
            ci.fixed_versions(b"MZ nothing here")


class MissingBuildCases(unittest.TestCase):
    def test_missing_exe_is_named(self):
        with self.assertRaises(ci.CheckError) as e:
            ci.run_objdump("objdump", "/nonexistent/build/win32/vorpkg.exe")
        self.assertIn("/nonexistent/build/win32/vorpkg.exe is missing", str(e.exception))


if __name__ == "__main__":
    unittest.main()
