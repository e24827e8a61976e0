#!/usr/bin/env python3
"""The set-up's apt steps with a source whose lists cannot be read (a file:
address that does not exist), on throwaway apt configurations: the source
is named and left out, the rest goes on, and a run fails only when what it
needs is in no list it could read. scripts/wine32-make reads Debian's
archive for real (the lists only); scripts/apt-install (the host's install
in scripts/dev) installs, simulated, from a local repository."""
import os
import subprocess
import sys
import tempfile

TOP = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
SCRIPTS = os.path.join(TOP, "scripts")
GONE = "file:/nonexistent/vorpkg-%s"

PROBE = """\
Package: vorpkg-probe
Version: 1.0
Architecture: all
Maintainer: nobody <nobody@invalid>
Filename: ./vorpkg-probe_1.0_all.deb
Size: 1
SHA256: %s
Description: what apt-install is asked for

""" % ("0" * 64)


def run(args, env):
    return subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, universal_newlines=True,
                          env=dict(os.environ, VORPKG_APT_RETRY_PAUSE="0", **env))


def host_wine_version():
    return subprocess.run(["dpkg-query", "-W", "-f=${Version}", "libwine:amd64"], stdout=subprocess.PIPE,
                          universal_newlines=True, check=True).stdout


def apt_config(folder, sources, extra=""):
    """APT_CONFIG naming only SOURCES; the host's apt.conf.d (its proxy) is read as usual."""
    parts = os.path.join(folder, "parts")
    os.makedirs(parts, exist_ok=True)
    with open(os.path.join(folder, "sources.list"), "w") as f:
        f.write(sources)
    conf = os.path.join(folder, "apt.conf")
    with open(conf, "w") as f:
        f.write('Dir::Etc::SourceList "%s/sources.list";\nDir::Etc::SourceParts "%s";\n%s' % (folder, parts, extra))
    return conf


def local_install_config(folder, sources):
    """Its own lists, cache and state, and every install only simulated."""
    repo = os.path.join(folder, "repo")
    os.makedirs(repo)
    with open(os.path.join(repo, "Packages"), "w") as f:
        f.write(PROBE)
    for sub in ("lists/partial", "cache/archives/partial"):
        os.makedirs(os.path.join(folder, sub))
    open(os.path.join(folder, "status"), "w").close()
    extra = ('Dir::State::Lists "{0}/lists";\nDir::State::status "{0}/status";\nDir::Cache "{0}/cache";\n'
             'Debug::NoLocking "1";\nAPT::Get::Simulate "true";\n').format(folder)
    return apt_config(folder, sources.format(repo=repo), extra)


def debian_archive():
    r = subprocess.run([os.path.join(SCRIPTS, "apt-archive"), "bookworm"], stdout=subprocess.PIPE,
                       universal_newlines=True)
    return r.stdout.strip()


# (case, command, sources ({mirror}, {repo} filled in), local install?, exit, lines the output must hold)
ROWS = [
    ("wine32-make_security_unreadable", ["wine32-make", "--lists-only"],
     "deb {mirror} bookworm main\ndeb %s bookworm-security main\n" % (GONE % "security"), False, 0,
     ["trying again in 0 s", "going on without %s bookworm-security: " % (GONE % "security"),
      "the lists name all it needs"]),
    ("wine32-make_nothing_readable", ["wine32-make", "--lists-only"],
     "deb %s bookworm main\ndeb %s bookworm-security main\n" % (GONE % "debian", GONE % "security"), False, 1,
     ["going on without %s bookworm:" % (GONE % "debian"),
      "wine32:i386 {version} is in none of the package lists that could be read"]),
    ("install_missing_one_source_unreadable", ["apt-install", "vorpkg-probe"],
     "deb [trusted=yes] file:{repo} ./\ndeb [trusted=yes] %s bookworm main\n" % (GONE % "debian"), True, 0,
     ["going on without %s bookworm: File not found" % (GONE % "debian"), "Inst vorpkg-probe (1.0"]),
    ("install_missing_package_in_no_list", ["apt-install", "vorpkg-probe", "vorpkg-nowhere"],
     "deb [trusted=yes] file:{repo} ./\ndeb [trusted=yes] %s bookworm main\n" % (GONE % "debian"), True, 1,
     ["cannot install vorpkg-probe vorpkg-nowhere", "Unable to locate package vorpkg-nowhere"]),
]


def main():
    mirror, version = debian_archive(), host_wine_version()
    failures = []
    for case, command, sources, local, want_exit, want_lines in ROWS:
        with tempfile.TemporaryDirectory() as folder:
            sources = sources.format(mirror=mirror, repo="{repo}")
            conf = local_install_config(folder, sources) if local else apt_config(folder, sources)
            r = run([os.path.join(SCRIPTS, command[0])] + command[1:] + ([folder + "/wine32"] if not local else []),
                    {"APT_CONFIG": conf})
        missing = [w.format(version=version) for w in want_lines if w.format(version=version) not in r.stdout]
        if r.returncode != want_exit or missing:
            failures.append("%s: exit %d (want %d), missing %r, output:\n%s" % (case, r.returncode, want_exit,
                                                                                 missing, r.stdout))
    for f in failures:
        print("FAIL: " + f)
    print("%d of %d cases passed" % (len(ROWS) - len(failures), len(ROWS)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
