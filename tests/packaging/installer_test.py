#!/usr/bin/env python3
"""The installer, run silently under Wine against stand-in GIMP folders.

installer_test.py WINE INSTALLER BIN32 BIN64 WORKDIR [--quick]

WINE runs Windows programs (the wine64 loader); INSTALLER is the setup program; BIN32 and BIN64
are the two builds' bin folders (the files the installer must put in place, and the stand-in
GIMP of each architecture). WORKDIR is emptied and used for the GIMP folders. --quick runs only
the installs found through GIMP's uninstall entry in either registry view, and one uninstall:
for the 32-bit installer, whose every start takes about a minute under emulation.
"""
import filecmp
import importlib.util
import os
import shutil
import subprocess
import sys
import time

_spec = importlib.util.spec_from_file_location(
    "check_deploy", os.path.join(os.path.dirname(__file__), "..", "..", "tools", "check-deploy.py"))
check_deploy = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(check_deploy)

UNINSTALL = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
ENTRY = UNINSTALL + r"\GIMPVellamy"
GIMP_ENTRY = UNINSTALL + r"\GIMP-2_is1"
SETTINGS = r"SOFTWARE\GIMPVellamy"
PLUGINS = os.path.join("lib", "gimp", "2.0", "plug-ins")

failures = []


def check(ok, what):
    print(("ok    " if ok else "FAIL  ") + what, flush=True)
    if not ok:
        failures.append(what)
    return ok


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Wine:
    def __init__(self, loader):
        self.loader = loader

    def run(self, *args, timeout=600):
        start = time.monotonic()
        done = subprocess.run([self.loader, *args], stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, timeout=timeout)
        return done.returncode, done.stdout.decode(errors="replace").replace("\r", ""), \
            time.monotonic() - start

    def reg(self, *args):
        code, out, _ = self.run("reg", *args)
        return code, out

    def reg_value(self, key, name, view=64):
        code, out = self.reg("query", key, "/v", name, "/reg:%d" % view)
        if code != 0:
            return None
        for line in out.splitlines():
            parts = line.strip().split(None, 2)
            if len(parts) >= 2 and parts[0] == name:
                return parts[2] if len(parts) == 3 else ""
        return None

    def key_exists(self, key, view=64):
        return self.reg("query", key, "/reg:%d" % view)[0] == 0


def make_gimp(folder, exe_name, standin_bin):
    """A GIMP 2 folder as far as the installer looks: bin\\gimp-2.*.exe, and files of GIMP's own
    that must survive every install and uninstall."""
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(os.path.join(folder, "bin"))
    os.makedirs(os.path.join(folder, PLUGINS))
    os.makedirs(os.path.join(folder, "uninst"))
    shutil.copy(os.path.join(standin_bin, "gimp-2.0.exe"), os.path.join(folder, "bin", exe_name))
    own = {
        os.path.join("bin", "libgimp-2.0-0.dll"): b"GIMP's libgimp",
        os.path.join(PLUGINS, "file-png.exe"): b"one of GIMP's own plug-ins",
        os.path.join("uninst", "unins000.exe"): b"GIMP's own uninstaller",
    }
    for name, data in own.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
    return own


def own_files_intact(folder, own):
    for name, data in own.items():
        path = os.path.join(folder, name)
        if not os.path.isfile(path) or open(path, "rb").read() != data:
            return False
    return True


def installed_matches(folder, bin_dir):
    return all(
        os.path.isfile(os.path.join(folder, PLUGINS, name)) and
        filecmp.cmp(os.path.join(folder, PLUGINS, name), os.path.join(bin_dir, name),
                    shallow=False) for name in ("vellamy.exe", "vellamyhook.dll"))


def product_version(path):
    info = check_deploy.version_info(check_deploy.Pe(open(path, "rb").read()))
    return info and info[3].get("ProductVersion")


def install(wine, installer, folder=None):
    args = [installer, "/S"]
    if folder:
        # /D= takes the rest of the command line, spaces and all, and must not be quoted.
        args += ("/D=" + windows_path(folder)).split(" ")
    code, _, seconds = wine.run(*args)
    print("      (installer exit code %d, %.1f s)" % (code, seconds), flush=True)
    return code


def uninstall(wine, folder, timeout):
    """Runs the uninstaller as Windows does, silently. It copies itself away and goes on from
    there, so the files' disappearance is what marks its end."""
    start = time.monotonic()
    code, _, _ = wine.run(os.path.join(windows_path(folder), "uninst", "vellamy-uninstall.exe"),
                          "/S")
    marker = os.path.join(folder, "uninst", "vellamy-uninstall.exe")
    while os.path.exists(marker) and time.monotonic() - start < timeout:
        time.sleep(0.5)
    # The registry work comes after the files; give it a moment to finish.
    while wine.key_exists(ENTRY) and time.monotonic() - start < timeout:
        time.sleep(0.5)
    print("      (uninstaller exit code %d, done after %.1f s)" % (code, time.monotonic() - start),
          flush=True)
    return code


def uninstall_in_place(wine, uninstaller, folder):
    """Runs an uninstaller where it lies and waits for it (NSIS's _?=): its own exit code."""
    # Like /D=, _?= takes the rest of the command line and must not be quoted.
    code, _, _ = wine.run(windows_path(uninstaller), "/S",
                          *("_?=" + windows_path(folder)).split(" "))
    print("      (uninstaller in place: exit code %d)" % code, flush=True)
    return code


def backdrop_open(wine, bin64):
    code, out, _ = wine.run(os.path.join(bin64, "vmyinspect.exe"), "find", "The GIMP")
    return "found=1" in out


def mark(path):
    with open(path, "wb") as f:
        f.write(b"an older vellamy")


def marked(path):
    return os.path.isfile(path) and open(path, "rb").read() == b"an older vellamy"


def main():
    if len(sys.argv) < 6:
        print(__doc__)
        return 2
    wine = Wine(sys.argv[1])
    installer, bin32, bin64, work = (os.path.abspath(p) for p in sys.argv[2:6])
    quick = "--quick" in sys.argv[6:]
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    wine.reg("delete", ENTRY, "/f", "/reg:64")
    wine.reg("delete", ENTRY, "/f", "/reg:32")

    if not quick:
        # With no entry to go by, GIMP is looked for in Program Files.
        program_files = os.path.join(os.environ["WINEPREFIX"], "drive_c", "Program Files",
                                     "GIMP 2")
        make_gimp(program_files, "gimp-2.10.exe", bin64)
        check(install(wine, installer) == 0, "install with no entry to go by")
        check(installed_matches(program_files, bin64), "into GIMP in Program Files")
        shutil.rmtree(program_files, ignore_errors=True)
        wine.reg("delete", ENTRY, "/f", "/reg:64")

    # A 64-bit GIMP 2.10, found through the entry its own installer leaves.
    gimp64 = os.path.join(work, "GIMP 2")
    own64 = make_gimp(gimp64, "gimp-2.10.exe", bin64)
    wine.reg("add", GIMP_ENTRY, "/v", "InstallLocation", "/d", windows_path(gimp64) + "\\", "/f",
             "/reg:64")
    check(install(wine, installer) == 0, "install into the GIMP named by GIMP's uninstall entry")
    check(installed_matches(gimp64, bin64), "a 64-bit GIMP gets the 64-bit vellamy.exe and DLL")
    check(os.path.isfile(os.path.join(gimp64, "uninst", "vellamy-uninstall.exe")),
          "the uninstaller lies in GIMP's uninst folder, not among the plug-ins")
    check(sorted(os.listdir(os.path.join(gimp64, PLUGINS))) ==
          ["file-png.exe", "vellamy.exe", "vellamyhook.dll"],
          "the plug-in folder holds nothing else of vellamy's")
    check(wine.reg_value(ENTRY, "InstallLocation") == windows_path(gimp64),
          "the uninstall entry records the GIMP folder")
    check(wine.reg_value(ENTRY, "DisplayName") == "GIMP Vellamy (64-bit)",
          "the uninstall entry names the build")
    version = product_version(installer)
    check(version and wine.reg_value(ENTRY, "DisplayVersion") == version ==
          product_version(os.path.join(gimp64, PLUGINS, "vellamy.exe")) ==
          product_version(os.path.join(gimp64, PLUGINS, "vellamyhook.dll")),
          "the installer, the uninstall entry and the installed files carry one version (%s)"
          % version)
    check(own_files_intact(gimp64, own64), "GIMP's own files are untouched by the install")

    if not quick:
        # A second install upgrades in place.
        mark(os.path.join(gimp64, PLUGINS, "vellamy.exe"))
        os.remove(os.path.join(gimp64, PLUGINS, "vellamyhook.dll"))
        check(install(wine, installer) == 0, "a second install")
        check(installed_matches(gimp64, bin64), "the second install replaced both files")
        check(own_files_intact(gimp64, own64), "GIMP's own files are untouched by the upgrade")

        # A 32-bit GIMP named with /D=, in a folder with spaces.
        gimp32 = os.path.join(work, "Old GIMP 2.8")
        own32 = make_gimp(gimp32, "gimp-2.8.exe", bin32)
        check(install(wine, installer, gimp32) == 0, "install with /D= into a 32-bit GIMP")
        check(installed_matches(gimp32, bin32), "a 32-bit GIMP gets the 32-bit vellamy.exe and DLL")
        check(wine.reg_value(ENTRY, "DisplayName") == "GIMP Vellamy (32-bit)",
              "the entry now names the 32-bit build")
        check(own_files_intact(gimp32, own32), "the 32-bit GIMP's own files are untouched")
        # An upgrade without /D= goes where vellamy was installed last, not where GIMP's own
        # entry points.
        mark(os.path.join(gimp32, PLUGINS, "vellamy.exe"))
        check(install(wine, installer) == 0, "an upgrade without /D=")
        check(installed_matches(gimp32, bin32), "went to the GIMP that vellamy was installed into")

        check(uninstall(wine, gimp32, 120) == 0, "uninstall from the 32-bit GIMP")
        check(not os.path.exists(os.path.join(gimp32, PLUGINS, "vellamy.exe")),
              "the 32-bit GIMP's vellamy files are gone")
        check(own_files_intact(gimp32, own32), "and its own files stay")

        # A folder without GIMP is refused, and nothing is written into it.
        empty = os.path.join(work, "Not GIMP")
        os.makedirs(empty)
        check(install(wine, installer, empty) == 2, "a folder without GIMP: exit code 2")
        check(os.listdir(empty) == [], "nothing was written there")
        preview = os.path.join(work, "GIMP 2.99")
        make_gimp(preview, "gimp-2.99.exe", bin64)
        check(install(wine, installer, preview) == 2,
              "GIMP 2.99, which looks for plug-ins elsewhere: exit code 2")
        check(not os.path.exists(os.path.join(preview, PLUGINS, "vellamy.exe")),
              "nothing was installed there")

        # A running backdrop holds the DLL: the installer refuses rather than half-replace.
        exe64 = os.path.join(gimp64, PLUGINS, "vellamy.exe")
        mark(exe64)
        backdrop = subprocess.Popen([wine.loader, os.path.join(bin64, "vellamy.exe")],
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        end = time.monotonic() + 30
        while not backdrop_open(wine, bin64) and time.monotonic() < end:
            time.sleep(0.2)
        check(install(wine, installer, gimp64) == 3, "with vellamy running: exit code 3")
        check(uninstall_in_place(wine, os.path.join(gimp64, "uninst", "vellamy-uninstall.exe"),
                                 os.path.join(gimp64, "uninst")) == 3,
              "and the uninstaller refuses too, with exit code 3")
        backdrop.kill()
        backdrop.wait()
        check(marked(exe64), "and the installed files were left as they were")

        # A file that cannot be written: nothing half-replaced, exit code 4.
        dll64 = os.path.join(gimp64, PLUGINS, "vellamyhook.dll")
        os.remove(dll64)
        os.makedirs(dll64)  # stands where the library goes, as a locked file would
        check(install(wine, installer, gimp64) == 4, "a library that cannot be written: exit code 4")
        check(marked(exe64), "vellamy.exe was not replaced without its library")
        os.rmdir(dll64)

        # An uninstaller copied away from GIMP's folder removes nothing.
        stray = os.path.join(work, "stray", "uninst")
        os.makedirs(stray)
        shutil.copy(os.path.join(gimp64, "uninst", "vellamy-uninstall.exe"), stray)
        wine.reg("add", "HKLM\\" + SETTINGS, "/v", "Snap", "/t", "REG_DWORD", "/d", "1", "/f")
        check(uninstall_in_place(wine, os.path.join(stray, "vellamy-uninstall.exe"), stray) == 2,
              "an uninstaller outside a GIMP folder: exit code 2")
        check(wine.key_exists("HKLM\\" + SETTINGS) and marked(exe64),
              "and it removed nothing, settings included")

        # Put the 64-bit install back in the entry for the uninstall below.
        check(install(wine, installer, gimp64) == 0, "install into the 64-bit GIMP again")

    if quick:
        # The installer is a 32-bit program: a 32-bit GIMP's entry lies in the 32-bit view.
        gimp32 = os.path.join(work, "GIMP 2 (x86)")
        own32 = make_gimp(gimp32, "gimp-2.8.exe", bin32)
        wine.reg("delete", ENTRY, "/f", "/reg:64")
        wine.reg("delete", GIMP_ENTRY, "/f", "/reg:64")
        wine.reg("add", GIMP_ENTRY, "/v", "InstallLocation", "/d", windows_path(gimp32) + "\\",
                 "/f", "/reg:32")
        check(install(wine, installer) == 0, "install into the GIMP of a 32-bit uninstall entry")
        check(installed_matches(gimp32, bin32), "a 32-bit GIMP gets the 32-bit files")
        check(own_files_intact(gimp32, own32), "its own files are untouched")
        check(installed_matches(gimp64, bin64), "the other GIMP's vellamy stays as it was")
        target, target_own, target_exe, target_view = gimp32, own32, "gimp-2.8.exe", 32
    else:
        target, target_own, target_exe, target_view = gimp64, own64, "gimp-2.10.exe", 64

    # Uninstalling removes what was installed and the settings, and leaves GIMP alone.
    for view in (64, 32):
        wine.reg("add", "HKLM\\" + SETTINGS, "/v", "Snap", "/t", "REG_DWORD", "/d", "1", "/f",
                 "/reg:%d" % view)
    wine.reg("add", "HKCU\\" + SETTINGS, "/v", "Snap", "/t", "REG_DWORD", "/d", "1", "/f")
    check(uninstall(wine, target, 600 if quick else 120) == 0, "the uninstaller starts")
    for name in ("vellamy.exe", "vellamyhook.dll"):
        check(not os.path.exists(os.path.join(target, PLUGINS, name)), name + " is gone")
    check(not os.path.exists(os.path.join(target, "uninst", "vellamy-uninstall.exe")),
          "the uninstaller is gone")
    check(own_files_intact(target, target_own), "GIMP's own files, its uninstaller among them, stay")
    check(os.path.isfile(os.path.join(target, "bin", target_exe)), "GIMP itself stays")
    check(not wine.key_exists(ENTRY), "the uninstall entry is gone")
    check(not wine.key_exists("HKLM\\" + SETTINGS, 64) and
          not wine.key_exists("HKLM\\" + SETTINGS, 32) and
          not wine.key_exists("HKCU\\" + SETTINGS), "the settings are gone from every view")
    check(wine.key_exists(GIMP_ENTRY, target_view), "GIMP's own uninstall entry stays")
    wine.reg("delete", GIMP_ENTRY, "/f", "/reg:%d" % target_view)

    print("%d failed" % len(failures) if failures else "all passed", flush=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
