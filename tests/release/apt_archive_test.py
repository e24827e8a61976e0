#!/usr/bin/env python3
"""scripts/apt-archive over a table of apt source folders: deb822, one-line,
both, and none that names the suite."""
import os
import subprocess
import sys
import tempfile

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "apt-archive")

DEB822 = """\
# a disabled mirror first
Types: deb
URIs: http://old.invalid/debian
Suites: bookworm
Enabled: no

Types: deb deb-src
URIs: http://main.invalid/debian/
 http://second.invalid/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb
URIs: http://sec.invalid/debian-security
Suites: bookworm-security
Components: main
"""

ONE_LINE = """\
deb-src http://src.invalid/debian bookworm main
deb cdrom:[Debian GNU/Linux 12]/ bookworm main
# deb http://commented.invalid/debian bookworm main
deb [ arch=amd64 signed-by=/usr/share/keyrings/debian-archive-keyring.gpg ] http://one.invalid/debian bookworm main
deb [arch=amd64] https://one-sec.invalid/debian-security bookworm-security main # trailing note
"""

# (case, {file name: text}, suite, the address printed, or None: exit 1)
ROWS = [
    ("deb822", {"debian.sources": DEB822}, "bookworm", "http://main.invalid/debian"),
    ("deb822_security", {"debian.sources": DEB822}, "bookworm-security", "http://sec.invalid/debian-security"),
    ("one_line", {"sources.list": ONE_LINE}, "bookworm", "http://one.invalid/debian"),
    ("one_line_security", {"sources.list": ONE_LINE}, "bookworm-security", "https://one-sec.invalid/debian-security"),
    # Files in name order; names apt does not read are not read either.
    ("both_in_name_order", {"a.list": ONE_LINE, "b.sources": DEB822}, "bookworm", "http://one.invalid/debian"),
    ("disabled_file_left_out", {"a.list.disabled": ONE_LINE, "b.sources": DEB822}, "bookworm",
     "http://main.invalid/debian"),
    ("none_for_the_suite", {"debian.sources": DEB822}, "bookworm-backports", None),
    ("empty", {}, "bookworm", None),
]


def main():
    failures = []
    for case, files, suite, want in ROWS:
        with tempfile.TemporaryDirectory() as folder:
            for name, text in files.items():
                with open(os.path.join(folder, name), "w") as f:
                    f.write(text)
            r = subprocess.run([sys.executable, SCRIPT, suite, folder], stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, universal_newlines=True)
        got = (r.returncode, r.stdout.strip())
        if want is not None and got != (0, want):
            failures.append("%s: got %r, want %r" % (case, got, want))
        # The error says what was looked for: the suite and the folder.
        if want is None and (got != (1, "") or suite not in r.stderr or folder not in r.stderr):
            failures.append("%s: got %r, stderr %r" % (case, got, r.stderr))
    for f in failures:
        print("FAIL: " + f)
    print("%d of %d cases passed" % (len(ROWS) - len(failures), len(ROWS)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
