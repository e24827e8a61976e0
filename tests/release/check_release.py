#!/usr/bin/python3
"""Makes the release package twice, signed with a throwaway key, from copies of
the source in two folders, wants the same bytes from both and reads the first
back; then packs the first copy's build once more, unsigned, which its signed
programs must be with the signature removed (that the build itself does not
depend on the folder, the two signed packages show).

  check_release.py --source DIR --work DIR --version A.B.C.D --allow LIST
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

# (program in the folder, binutils prefix); vorpkg.exe under 80 KB, the
# self-test beside it (not for the CD) under no limit
PROGRAMS = [("vorpkg.exe", "i686-w64-mingw32-"), ("x64/vorpkg.exe", "x86_64-w64-mingw32-"),
            ("vorpkg-selftest.exe", "i686-w64-mingw32-"), ("x64/vorpkg-selftest.exe", "x86_64-w64-mingw32-")]
LIMIT = 80 * 1024
# In the order of SHA256SUMS (bytes).
FILES = ["README.txt", "SHA256SUMS", "vorpkg-selftest.debug", "vorpkg-selftest.exe", "vorpkg.debug", "vorpkg.exe",
         "x64/vorpkg-selftest.debug", "x64/vorpkg-selftest.exe", "x64/vorpkg.debug", "x64/vorpkg.exe"]
# Where each program's main is.
MAIN_SOURCE = {"vorpkg": "./src/run/main.cpp:", "vorpkg-selftest": "./src/selftest/main.cpp:"}


def run(cmd, **kw):
    return subprocess.run(cmd, check=True, stdout=subprocess.PIPE, universal_newlines=True, **kw).stdout


def read(path):
    with open(path, "rb") as f:
        return f.read()


def tree(top):
    return sorted(os.path.relpath(os.path.join(d, f), top) for d, _, fs in os.walk(top) for f in fs)


def debug_link(objcopy, exe):
    """The file name and CRC in the program's debug link, or ("", 0)."""
    with tempfile.TemporaryDirectory() as scratch:
        # objcopy writes the copy it is given, or else the file it reads.
        link = os.path.join(scratch, "link")
        subprocess.run([objcopy, "--dump-section", ".gnu_debuglink=" + link, exe, os.path.join(scratch, "copy")],
                       stderr=subprocess.DEVNULL)
        raw = read(link) if os.path.isfile(link) else b""
    return (raw.split(b"\0", 1)[0].decode(), struct.unpack("<I", raw[-4:])[0]) if len(raw) >= 8 else ("", 0)


def check_program(folder, rel, prefix, epoch, version, build_folder):
    exe = os.path.join(folder, rel)
    stem = os.path.basename(rel)[:-len(".exe")]
    debug = os.path.join(os.path.dirname(exe), stem + ".debug")
    problems = ["%s is %d bytes" % (rel, len(read(exe)))] if stem == "vorpkg" and len(read(exe)) >= LIMIT else []
    problems += ["%s keeps %s" % (rel, s) for s in run([prefix + "objdump", "-h", exe]).split()
                 if s.startswith((".debug", ".zdebug", ".stab"))]
    name, crc = debug_link(prefix + "objcopy", exe)
    if name != stem + ".debug" or zlib.crc32(read(debug)) != crc:
        return problems + ["%s: debug link %r (CRC %08x) does not name its debug file" % (rel, name, crc)]
    for data in (read(exe), read(debug)):
        stamp = struct.unpack_from("<I", data, struct.unpack_from("<I", data, 0x3C)[0] + 8)[0]
        if stamp != epoch or build_folder.encode() in data:
            problems.append("%s: PE time stamp %d (not %d) or the build folder inside" % (rel, stamp, epoch))
    # A crash address still resolves, through the link, to our source.
    main = [ln.split()[0] for ln in run([prefix + "nm", debug]).splitlines() if ln.endswith((" main", " _main"))]
    where = run([prefix + "addr2line", "-e", exe, "0x" + main[0]]) if main else ""
    if not where.startswith(MAIN_SOURCE[stem]):
        problems.append("%s: main resolves to %r" % (rel, where.strip()))
    return problems + ci.cmd_resource(argparse.Namespace(exe=exe, version=version))


def check_package(dist, name, epoch, version, allow, build_folder):
    folder = os.path.join(dist, name)
    if tree(dist) != sorted([name + ".zip"] + [os.path.join(name, f) for f in FILES]):
        return ["the package holds %s" % tree(dist)]
    problems = []
    for rel, prefix in PROGRAMS:
        problems += check_program(folder, rel, prefix, epoch, version, build_folder)
    for build32, build64 in (PROGRAMS[0:2], PROGRAMS[2:4]):
        problems += ci.cmd_imports(argparse.Namespace(
            allow=allow, exe32=os.path.join(folder, build32[0]), exe64=os.path.join(folder, build64[0])))
    sums = ["%s  %s" % (hashlib.sha256(read(os.path.join(folder, f))).hexdigest(), f) for f in FILES[:1] + FILES[2:]]
    if read(os.path.join(folder, "SHA256SUMS")).decode().splitlines() != sums:
        problems.append("SHA256SUMS does not list every other file with its hash")
    text = read(os.path.join(folder, "README.txt"))
    if text.count(b"\n") != text.count(b"\r\n") or not text.endswith(b"\r\n") or b"`" in text \
            or not text.startswith(b"vorpkg " + version.encode()) or b"\r\nExit codes\r\n---" not in text:
        problems.append("README.txt is not the administrators' part in CR LF plain text")
    with zipfile.ZipFile(os.path.join(dist, name + ".zip")) as z:
        want = sorted([name + "/", name + "/x64/"] + [name + "/" + f for f in FILES])
        if z.namelist() != want:
            problems.append("the zip holds %s" % z.namelist())
        stamp = time.gmtime(epoch + epoch % 2)[:6]  # zip times go in steps of two seconds
        problems += ["zip entry %s: time %s, extra %r or bytes differ" % (e.filename, e.date_time, e.extra)
                     for e in z.infolist() if e.date_time != stamp or e.extra
                     or (not e.is_dir() and z.read(e) != read(os.path.join(dist, e.filename)))]
    return problems


def make_key(folder):
    """A throwaway authority and code-signing certificate: (CA file, PKCS#12, password file)."""
    os.makedirs(folder)
    f = lambda name: os.path.join(folder, name)  # noqa: E731
    with open(f("pass"), "w") as out:
        out.write("release-check\n")
    with open(f("ext"), "w") as out:
        out.write("basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n")
    for cmd in (["req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", f("ca.key"), "-out", f("ca.pem"),
                 "-days", "3650", "-subj", "/CN=vorpkg test CA", "-addext", "basicConstraints=critical,CA:TRUE",
                 "-addext", "keyUsage=critical,keyCertSign,cRLSign"],
                ["req", "-newkey", "rsa:2048", "-nodes", "-keyout", f("sign.key"), "-out", f("sign.csr"),
                 "-subj", "/CN=vorpkg test signer"],
                ["x509", "-req", "-in", f("sign.csr"), "-CA", f("ca.pem"), "-CAkey", f("ca.key"), "-set_serial", "2",
                 "-out", f("sign.pem"), "-days", "3650", "-extfile", f("ext")],
                ["pkcs12", "-export", "-inkey", f("sign.key"), "-in", f("sign.pem"), "-certfile", f("ca.pem"),
                 "-out", f("sign.p12"), "-passout", "file:" + f("pass")]):
        subprocess.run(["openssl"] + cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return f("ca.pem"), f("sign.p12"), f("pass")


def check_signed(source, folder, unsigned, ca):
    """Both checks pass on each signed program and fail on it with one byte changed."""
    problems = []
    for rel, _ in PROGRAMS:
        exe = os.path.join(folder, rel)
        bad = os.path.join(os.path.dirname(unsigned), "changed.exe")
        data = bytearray(read(exe))
        data[0x400] ^= 1  # in the first section
        with open(bad, "wb") as out:
            out.write(data)
        for path, good in ((exe, True), (bad, False)):
            checks = {"osslsigncode verify": ["osslsigncode", "verify", "-CAfile", ca, "-in", path],
                      "check-signed": [os.path.join(source, "scripts", "check-signed"), path,
                                       os.path.join(unsigned, rel)]}
            for what, cmd in sorted(checks.items()):
                ok = subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0
                if ok != good:
                    problems.append("%s %s %s" % (what, "fails on" if good else "passes", path))
    return problems


def release(copy, dist, env):
    started = time.time()
    made = subprocess.run([os.path.join(copy, "scripts", "release"), dist], env=env, stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, universal_newlines=True)
    print(made.stdout + "release in %s: %.0f s" % (copy, time.time() - started))
    return made


def main(argv):
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for name in ("source", "work", "version", "allow"):
        p.add_argument("--" + name, required=True)
    args = p.parse_args(argv)
    epoch = int(os.environ.get("SOURCE_DATE_EPOCH") or run(["git", "-C", args.source, "log", "-1", "--format=%ct"]))
    shutil.rmtree(args.work, ignore_errors=True)
    copies = [os.path.join(args.work, "a"), os.path.join(args.work, "b", "in", "a", "deeper", "folder")]
    ca, p12, passfile = make_key(os.path.join(args.work, "key"))
    signing = dict(os.environ, SOURCE_DATE_EPOCH=str(epoch), VORPKG_SIGN_PKCS12=p12, VORPKG_SIGN_PASSFILE=passfile)
    for copy in copies:
        # What git tracks or would track, as it is in the work tree.
        names = run(["git", "-C", args.source, "ls-files", "-z", "--cached", "--others", "--exclude-standard"])
        for f in [f for f in names.split("\0") if os.path.isfile(os.path.join(args.source, f))]:
            os.makedirs(os.path.dirname(os.path.join(copy, f)), exist_ok=True)
            shutil.copy2(os.path.join(args.source, f), os.path.join(copy, f))
        made = release(copy, os.path.join(copy, "dist"), signing)
        if made.returncode != 0 or "== signed with an RSA key" not in made.stdout:
            print("FAIL: scripts/release failed or did not say it signed with an RSA key")
            return 1
    # The rebuild anyone can make without the key. Two builds in two folders
    # show that the bytes do not depend on the folder; this one packs the
    # first copy's build again, unsigned.
    unsigned = os.path.join(copies[0], "unsigned")
    env = {k: v for k, v in signing.items() if not k.startswith("VORPKG_SIGN_")}
    env["VORPKG_RELEASE_KEEP_BUILD"] = "1"
    made = release(copies[0], unsigned, env)
    if made.returncode != 0 or "== not signed: no key named" not in made.stdout:
        print("FAIL: scripts/release without a key failed or did not say it is unsigned")
        return 1
    dists = [os.path.join(c, "dist") for c in copies]
    problems = ["%s differs between the two (diffoscope shows where)" % f
                for f in sorted(set(tree(dists[0]) + tree(dists[1])))
                if not all(os.path.isfile(os.path.join(d, f)) for d in dists)
                or read(os.path.join(dists[0], f)) != read(os.path.join(dists[1], f))]
    name = "vorpkg-" + args.version
    problems += check_package(dists[0], name, epoch, args.version, args.allow, copies[0])
    problems += check_signed(args.source, os.path.join(dists[0], name), os.path.join(unsigned, name), ca)
    for problem in problems:
        print("FAIL: " + problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
