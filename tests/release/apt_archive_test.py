#!/usr/bin/env python3
"""scripts/apt-archive against throwaway apt configurations: a disabled
stanza first, a one-line file with options, none for the suite."""
import os
import subprocess
import sys
import tempfile

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "apt-archive")

DISABLED_FIRST = """\
Types: deb
URIs: http://old.invalid/debian
Suites: bookworm
Components: main
Enabled: false

Types: deb
URIs: http://archive.invalid/debian/
Suites: bookworm bookworm-updates
Components: main
"""

ONE_LINE = """\
deb-src http://src.invalid/debian bookworm main
deb cdrom:[Debian GNU/Linux 12]/ bookworm main
deb [ arch=amd64 signed-by=/usr/share/keyrings/debian-archive-keyring.gpg ] http://archive.invalid/debian bookworm main
"""

# (case, sources.list, sources.list.d/debian.sources, the address printed or None: exit 1)
ROWS = [
    ("disabled_stanza_first", "", DISABLED_FIRST, "http://archive.invalid/debian"),
    ("one_line_with_options", ONE_LINE, "", "http://archive.invalid/debian"),
    ("none_for_the_suite", ONE_LINE.replace("bookworm", "trixie"), "", None),
]


def main():
    failures = []
    for case, one_line, deb822, want in ROWS:
        with tempfile.TemporaryDirectory() as folder:
            parts = os.path.join(folder, "sources.list.d")
            os.mkdir(parts)
            for path, text in ((os.path.join(folder, "sources.list"), one_line),
                               (os.path.join(parts, "debian.sources"), deb822),
                               (os.path.join(folder, "apt.conf"), 'Dir::Etc::sourcelist "%s/sources.list";\n'
                                'Dir::Etc::sourceparts "%s";\n' % (folder, parts))):
                with open(path, "w") as f:
                    f.write(text)
            r = subprocess.run([sys.executable, SCRIPT, "bookworm"], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               universal_newlines=True, env=dict(os.environ, APT_CONFIG=folder + "/apt.conf"))
        got = (r.returncode, r.stdout.strip())
        if want is not None and got != (0, want):
            failures.append("%s: got %r, want %r, stderr %r" % (case, got, want, r.stderr))
        # The error says what was looked for: the suite and where.
        if want is None and (got != (1, "") or "bookworm" not in r.stderr or parts not in r.stderr):
            failures.append("%s: got %r, stderr %r" % (case, got, r.stderr))
    for f in failures:
        print("FAIL: " + f)
    print("%d of %d cases passed" % (len(ROWS) - len(failures), len(ROWS)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
