#!/usr/bin/env python3
"""Makes the release package twice and reads it back.

  check_release.py --source DIR --work DIR --version A.B.C.D --allow LIST

Copies the source (what git tracks or would track) into two folders of
different depth under --work, runs scripts/release in each, one after the
other, and wants the same bytes from both. Then reads the first one back: the
files it must hold, for each program its size, its time stamps, no debugging
sections, a debug link naming its debug file with that file's CRC, a crash
address that still resolves to our source, its version resource and imports;
SHA256SUMS, README.txt and the zip. The e2e run after it runs its
x64/vorpkg.exe (tests/CMakeLists.txt).
"""
import argparse
import hashlib
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import zipfile
import zlib

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "imports"))
import check_imports as ci  # noqa: E402

# (file in the folder, binutils prefix, largest size in bytes)
PROGRAMS = [("vorpkg.exe", "i686-w64-mingw32-", 80 * 1024),
            ("x64/vorpkg.exe", "x86_64-w64-mingw32-", 80 * 1024)]
FILES = ["README.txt", "SHA256SUMS", "vorpkg.debug", "vorpkg.exe", "x64/vorpkg.debug", "x64/vorpkg.exe"]


def run(cmd, **kw):
    return subprocess.run(cmd, check=True, stdout=subprocess.PIPE, universal_newlines=True, **kw).stdout


def copy_source(source, dest):
    names = run(["git", "-C", source, "ls-files", "-z", "--cached", "--others", "--exclude-standard"])
    for name in filter(None, names.split("\0")):
        if os.path.isfile(os.path.join(source, name)):
            os.makedirs(os.path.dirname(os.path.join(dest, name)), exist_ok=True)
            shutil.copy2(os.path.join(source, name), os.path.join(dest, name))


def tree(top):
    return sorted(os.path.relpath(os.path.join(d, f), top) for d, _, fs in os.walk(top) for f in fs)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def pe_stamp(data):
    return struct.unpack_from("<I", data, struct.unpack_from("<I", data, 0x3C)[0] + 8)[0]


def debug_link(objcopy, exe):
    """The file name and CRC that the program's debug link holds, or ("", 0)."""
    with tempfile.TemporaryDirectory() as scratch:
        # objcopy writes the copy it is given, or else the file it reads.
        link = os.path.join(scratch, "link")
        subprocess.run([objcopy, "--dump-section", ".gnu_debuglink=" + link, exe, os.path.join(scratch, "copy")],
                       stderr=subprocess.DEVNULL)
        raw = read(link) if os.path.isfile(link) else b""
    return (raw.split(b"\0", 1)[0].decode(), struct.unpack("<I", raw[-4:])[0]) if len(raw) >= 8 else ("", 0)


def check_program(folder, rel, prefix, limit, epoch, version, source_copy):
    exe = os.path.join(folder, rel)
    problems = []
    if len(read(exe)) >= limit:
        problems.append("%s is %d bytes, %d at most" % (rel, len(read(exe)), limit - 1))
    sections = run([prefix + "objdump", "-h", exe]).split()
    problems += ["%s keeps %s" % (rel, s) for s in sections if s.startswith((".debug", ".zdebug", ".stab"))]
    name, crc = debug_link(prefix + "objcopy", exe)
    debug = os.path.join(os.path.dirname(exe), "vorpkg.debug")
    if name != "vorpkg.debug" or zlib.crc32(read(debug)) != crc:
        return problems + ["%s: debug link %r (CRC %08x) does not name its debug file" % (rel, name, crc)]
    for path in (exe, debug):
        if pe_stamp(read(path)) != epoch:
            problems.append("%s: PE time stamp %d, expected %d" % (path, pe_stamp(read(path)), epoch))
        if source_copy.encode() in read(path):
            problems.append("%s holds the build's folder %s" % (path, source_copy))
    # A crash address read off a server resolves, through the link, to our source.
    symbols = run([prefix + "nm", debug]).split("\n")
    main = [ln.split()[0] for ln in symbols if ln.endswith((" main", " _main"))]
    where = run([prefix + "addr2line", "-e", exe, "0x" + main[0]]) if main else ""
    if "src/run/main.cpp" not in where or where.startswith("/"):
        problems.append("%s: main resolves to %r" % (rel, where.strip()))
    return problems + ci.cmd_resource(argparse.Namespace(exe=exe, objdump=prefix + "objdump", version=version))


def check_folder(dist, name, epoch, version, allow, source_copy):
    folder = os.path.join(dist, name)
    problems = []
    if tree(dist) != sorted([name + ".zip"] + [os.path.join(name, f) for f in FILES]):
        return ["the package holds %s" % tree(dist)]
    for rel, prefix, limit in PROGRAMS:
        problems += check_program(folder, rel, prefix, limit, epoch, version, source_copy)
    problems += ci.cmd_imports(argparse.Namespace(
        allow=allow, exe32=os.path.join(folder, "vorpkg.exe"), objdump32=PROGRAMS[0][1] + "objdump",
        exe64=os.path.join(folder, "x64/vorpkg.exe"), objdump64=PROGRAMS[1][1] + "objdump"))
    sums = ["%s  %s" % (hashlib.sha256(read(os.path.join(folder, f))).hexdigest(), f)
            for f in FILES if f != "SHA256SUMS"]
    if read(os.path.join(folder, "SHA256SUMS")).decode().splitlines() != sums:
        problems.append("SHA256SUMS does not list every other file with its hash")
    text = read(os.path.join(folder, "README.txt"))
    if text.count(b"\n") != text.count(b"\r\n") or not text.endswith(b"\r\n") or b"`" in text \
            or b"Exit codes\r\n----------" not in text or not text.startswith(("vorpkg " + version).encode()):
        problems.append("README.txt is not the administrators' part in CR LF plain text")
    with zipfile.ZipFile(os.path.join(dist, name + ".zip")) as z:
        entries = z.infolist()
        want = sorted([name + "/", name + "/x64/"] + [name + "/" + f for f in FILES])
        if [e.filename for e in entries] != want:
            problems.append("the zip holds %s" % [e.filename for e in entries])
        stamp = time.gmtime(epoch + epoch % 2)[:6]  # zip times have two-second steps
        for e in entries:
            if e.date_time != stamp or e.extra or (not e.is_dir() and z.read(e) != read(
                    os.path.join(dist, e.filename))):
                problems.append("zip entry %s: time %s, extra %r, or bytes differ" % (
                    e.filename, e.date_time, e.extra))
    return problems


def main(argv):
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for name in ("source", "work", "version", "allow"):
        p.add_argument("--" + name, required=True)
    args = p.parse_args(argv)
    epoch = int(os.environ.get("SOURCE_DATE_EPOCH") or run(["git", "-C", args.source, "log", "-1", "--format=%ct"]))
    env = dict(os.environ, SOURCE_DATE_EPOCH=str(epoch))
    shutil.rmtree(args.work, ignore_errors=True)
    copies = [os.path.join(args.work, "a"), os.path.join(args.work, "b", "in", "a", "deeper", "folder")]
    for copy in copies:
        started = time.time()
        copy_source(args.source, copy)
        result = subprocess.run([os.path.join(copy, "scripts", "release"), os.path.join(copy, "dist")], env=env,
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, universal_newlines=True)
        print(result.stdout + "release in %s: %.0f s" % (copy, time.time() - started))
        if result.returncode != 0:
            print("FAIL: scripts/release failed in %s" % copy)
            return 1
    dists = [os.path.join(c, "dist") for c in copies]
    problems = ["%s differs between the two builds (diffoscope shows where)" % f
                for f in sorted(set(tree(dists[0])) | set(tree(dists[1])))
                if not all(os.path.isfile(os.path.join(d, f)) for d in dists)
                or read(os.path.join(dists[0], f)) != read(os.path.join(dists[1], f))]
    problems += check_folder(dists[0], "vorpkg-" + args.version, epoch, args.version, args.allow, copies[0])
    for problem in problems:
        print("FAIL: " + problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
