#!/usr/bin/env python3
"""The zip for copying by hand: both builds in folders named after their bitness, each file the
one the build made, and the install text.

zip_test.py ZIP BIN32 BIN64
"""
import os
import sys
import zipfile


def main():
    path, bin32, bin64 = sys.argv[1:4]
    failures = 0
    with zipfile.ZipFile(path) as package:
        names = sorted(n for n in package.namelist() if not n.endswith("/"))
        top = names[0].split("/")[0] if names else ""
        expected = sorted(top + "/" + n for n in (
            "INSTALL.txt", "32-bit/vellamy.exe", "32-bit/vellamyhook.dll", "64-bit/vellamy.exe",
            "64-bit/vellamyhook.dll"))
        if names != expected:
            print("FAIL  the zip holds %s, not %s" % (names, expected))
            return 1
        for folder, bin_dir in (("32-bit", bin32), ("64-bit", bin64)):
            for name in ("vellamy.exe", "vellamyhook.dll"):
                with open(os.path.join(bin_dir, name), "rb") as built:
                    same = package.read("%s/%s/%s" % (top, folder, name)) == built.read()
                print(("ok    " if same else "FAIL  ") + "%s/%s is the build's own" % (folder, name))
                failures += not same
        text = package.read(top + "/INSTALL.txt").decode()
        for needed in ("lib\\gimp\\2.0\\plug-ins", "32-bit", "64-bit", "\r\n"):
            found = needed in text
            print(("ok    " if found else "FAIL  ") + "INSTALL.txt has %r" % needed)
            failures += not found
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
