#!/usr/bin/env python3
"""The committed pictures against resources/make_pictures.py, byte for byte.

    pictures_check.py SOURCE_DIR STAMP

Runs make_pictures.py --check, which draws every picture again and compares
it with the committed file. Drawing takes some twenty seconds of CPU, so a
passed check leaves in STAMP a hash of everything it depended on (the script,
the pictures, the Python version); while that is unchanged the check stands
and is not drawn again.
"""
import hashlib
import os
import subprocess
import sys


def inputs_hash(resources):
    h = hashlib.sha256(sys.version.encode())
    for name in sorted(os.listdir(resources)):
        if name.endswith((".py", ".ico", ".bmp")):
            h.update(name.encode() + b"\0")
            with open(os.path.join(resources, name), "rb") as f:
                h.update(f.read())
    return h.hexdigest()


def main(source_dir, stamp):
    resources = os.path.join(source_dir, "resources")
    current = inputs_hash(resources)
    try:
        with open(stamp) as f:
            if f.read().strip() == current:
                print("pictures unchanged since their last check: same")
                return 0
    except OSError:
        pass
    status = subprocess.call([sys.executable, os.path.join(resources, "make_pictures.py"), "--check"])
    if status == 0:
        with open(stamp, "w") as f:
            f.write(current + "\n")
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
