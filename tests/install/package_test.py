#!/usr/bin/env python3
"""The packages as files, checked on the build machine (no Wine needed).

    package_test.py DIST_DIR VERSION EPOCH EXE SOURCE_DIR

- The program's PE header carries no time stamp.
- The zip holds qx700-VERSION/{qx700.exe, UserGuide.html, README.txt,
  LICENSE.txt} in that order (the user's guide and README, not the
  developer's), the program byte for byte, the texts with Windows line ends, every
  entry dated EPOCH (to the zip format's two seconds, in UTC), without extra
  fields (no host time stamps or owner ids).
- The sums file lists both packages with their real SHA-256.
- Packing the same program again, somewhere else, a little later, gives the
  same setup program and zip byte for byte.
"""
import hashlib
import os
import struct
import subprocess
import sys
import tempfile
import time
import zipfile

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what)


def main():
    dist, version, epoch, exe, source = sys.argv[1:6]
    epoch = int(epoch)
    setup = os.path.join(dist, f"qx700-{version}-setup.exe")
    portable = os.path.join(dist, f"qx700-{version}-portable.zip")
    sums = os.path.join(dist, f"qx700-{version}-SHA256SUMS")
    exe_bytes = open(exe, "rb").read()

    pe = struct.unpack_from("<I", exe_bytes, 0x3C)[0]
    check(exe_bytes[pe:pe + 4] == b"PE\0\0", "qx700.exe is a PE file")
    check(struct.unpack_from("<I", exe_bytes, pe + 8)[0] == 0, "no time stamp in the PE header")

    folder = f"qx700-{version}/"
    with zipfile.ZipFile(portable) as z:
        infos = z.infolist()
        check([i.filename for i in infos] ==
              [folder + "qx700.exe", folder + "UserGuide.html", folder + "README.txt",
               folder + "LICENSE.txt"],
              f"zip entries in order: {[i.filename for i in infos]}")
        want = time.gmtime(epoch)[:6]
        for i in infos:
            got = i.date_time
            delta = abs(time.mktime(got + (0, 0, -1)) - time.mktime(want + (0, 0, -1)))
            check(delta <= 2, f"{i.filename} dated {got}, not {want}")
            check(i.extra == b"", f"{i.filename} has no extra fields")
        check(z.read(folder + "qx700.exe") == exe_bytes, "the zip holds this build's program")
        licence = z.read(folder + "LICENSE.txt")
        check(licence.startswith(b"MIT License\r\n"), "LICENSE.txt with Windows line ends")
        check(licence.replace(b"\r\n", b"\n") == open(os.path.join(source, "LICENSE"), "rb").read(),
              "LICENSE.txt is LICENSE")
        readme = z.read(folder + "README.txt")
        check(readme.count(b"\n") == readme.count(b"\r\n") > 10, "README.txt with Windows line ends")
        check(readme.replace(b"\r\n", b"\n") ==
              open(os.path.join(source, "packaging", "README.txt"), "rb").read(),
              "README.txt is the user's README")
        guide = z.read(folder + "UserGuide.html")
        check(guide.replace(b"\r\n", b"\n") ==
              open(os.path.join(source, "packaging", "UserGuide.html"), "rb").read(),
              "UserGuide.html is the user guide")

    listed = {}
    for line in open(sums):
        digest, name = line.split()
        listed[name] = digest
    for path in (setup, portable):
        name = os.path.basename(path)
        check(listed.get(name) == hashlib.sha256(open(path, "rb").read()).hexdigest(),
              f"SHA-256 of {name} listed")
    check(len(listed) == 2, "two sums")

    time.sleep(2)  # a later clock must make no difference
    with tempfile.TemporaryDirectory() as tmp:
        subprocess.run(["sh", os.path.join(source, "packaging", "make-dist.sh"), version, exe,
                        source, os.path.join(tmp, "stage"), os.path.join(tmp, "out"),
                        str(epoch), "all"], check=True)
        for path in (setup, portable):
            again = os.path.join(tmp, "out", os.path.basename(path))
            check(open(again, "rb").read() == open(path, "rb").read(),
                  f"{os.path.basename(path)} packed again is the same bytes")

    print("package checks:", "failed" if failures else "passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
