#!/usr/bin/env python3
"""Runs the resource generator into a temporary folder and compares every file it writes,
byte for byte, with the committed one. Exit status 0 when nothing would change."""

import filecmp
import os
import subprocess
import sys
import tempfile


def main():
    resources = os.path.abspath(sys.argv[1])
    generator = os.path.join(resources, "tools", "generate_resources.py")
    with tempfile.TemporaryDirectory() as out:
        subprocess.run([sys.executable, generator, "--out", out], check=True)
        written = [os.path.relpath(os.path.join(folder, name), out)
                   for folder, _, names in os.walk(out) for name in names]
        if not written:
            print("the generator wrote nothing")
            return 1
        changed = [path for path in sorted(written)
                   if not os.path.exists(os.path.join(resources, path))
                   or not filecmp.cmp(os.path.join(out, path), os.path.join(resources, path),
                                      shallow=False)]
    for path in changed:
        print("regenerating changes resources/" + path)
    print("%d files compared, %d differ" % (len(written), len(changed)))
    return 1 if changed else 0


if __name__ == "__main__":
    sys.exit(main())
