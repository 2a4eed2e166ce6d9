#!/usr/bin/env python3
"""The zip for copying by hand: both builds in folders named after their bitness, each file the
one the build made, the install text, and the zip and its folder named with the version that the
files carry.

zip_test.py ZIP BIN32 BIN64
"""
import importlib.util
import os
import sys
import zipfile

_spec = importlib.util.spec_from_file_location(
    "check_deploy", os.path.join(os.path.dirname(__file__), "..", "..", "tools", "check-deploy.py"))
check_deploy = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(check_deploy)


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
        versions = set()
        for folder in ("32-bit", "64-bit"):
            for name in ("vellamy.exe", "vellamyhook.dll"):
                info = check_deploy.version_info(
                    check_deploy.Pe(package.read("%s/%s/%s" % (top, folder, name))))
                versions.add(info and info[3].get("ProductVersion"))
        version = versions.pop() if len(versions) == 1 else None
        print(("ok    " if version else "FAIL  ") + "the four files carry one version: %s"
              % (version or versions))
        failures += not version
        named = (os.path.basename(path) == "vellamy-%s-windows.zip" % version and
                 top == "vellamy-%s" % version)
        print(("ok    " if named else "FAIL  ") + "%s and its folder %s are named with it"
              % (os.path.basename(path), top))
        failures += not named
        text = package.read(top + "/INSTALL.txt").decode()
        for needed in ("lib\\gimp\\2.0\\plug-ins", "32-bit", "64-bit", "\r\n"):
            found = needed in text
            print(("ok    " if found else "FAIL  ") + "INSTALL.txt has %r" % needed)
            failures += not found
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
