#!/usr/bin/env python3
"""Checks a built vellamy binary for what GIMP's plug-in folder needs.

Reads the PE file itself: imported DLLs (only the system's, plus any named with --allow),
exported names, and for the hook library the shared section that holds HookState.
Exits non-zero and says why on the first failed check.
"""
import argparse
import re
import struct
import sys

SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "comdlg32.dll", "msvcrt.dll",
    "shell32.dll", "comctl32.dll", "ole32.dll", "oleaut32.dll", "ntdll.dll", "winmm.dll",
}
IMAGE_SCN_CNT_INITIALIZED_DATA = 0x00000040
IMAGE_SCN_MEM_SHARED = 0x10000000
IMAGE_SCN_MEM_READ = 0x40000000
IMAGE_SCN_MEM_WRITE = 0x80000000


class Pe:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("not a PE file")
        machine, nsections, _, _, _, optsize, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
        self.machine = machine
        self.symtab, self.nsyms = struct.unpack_from("<II", data, pe + 12)
        opt = pe + 24
        magic = struct.unpack_from("<H", data, opt)[0]
        dirs = opt + (96 if magic == 0x10B else 112)
        self.dirs = [struct.unpack_from("<II", data, dirs + 8 * i) for i in range(16)]
        self.sections = []
        sec = opt + optsize
        for i in range(nsections):
            raw = struct.unpack_from("<8sIIIIIIHHI", data, sec + 40 * i)
            name = raw[0].rstrip(b"\0").decode("latin-1")
            self.sections.append({"name": name, "vsize": raw[1], "va": raw[2], "rawsize": raw[3],
                                  "rawptr": raw[4], "flags": raw[9]})

    def symbols_in(self, section_number):
        """Names of the COFF symbols that the linker left in the given section (1-based)."""
        names = []
        strings = self.symtab + 18 * self.nsyms
        i = 0
        while i < self.nsyms:
            off = self.symtab + 18 * i
            raw, _, number, _, storage, naux = struct.unpack_from("<8sIhHBB", self.data, off)
            if raw[:4] == b"\0\0\0\0":
                start = strings + struct.unpack_from("<I", raw, 4)[0]
                name = self.data[start:self.data.index(b"\0", start)].decode("latin-1")
            else:
                name = raw.rstrip(b"\0").decode("latin-1")
            if number == section_number and storage != 3:  # 3: the section's own symbol
                names.append(name)
            i += 1 + naux
        return names

    def offset(self, rva):
        for s in self.sections:
            if s["va"] <= rva < s["va"] + max(s["vsize"], s["rawsize"]):
                return rva - s["va"] + s["rawptr"]
        raise ValueError("address outside every section: %#x" % rva)

    def cstring(self, rva):
        off = self.offset(rva)
        return self.data[off:self.data.index(b"\0", off)].decode("latin-1")

    def imports(self):
        rva, size = self.dirs[1]
        names = []
        if not rva:
            return names
        off = self.offset(rva)
        while True:
            entry = struct.unpack_from("<IIIII", self.data, off)
            if entry == (0, 0, 0, 0, 0):
                return names
            names.append(self.cstring(entry[3]))
            off += 20

    def exports(self):
        rva, size = self.dirs[0]
        if not rva:
            return []
        off = self.offset(rva)
        nnames, names_rva = struct.unpack_from("<I", self.data, off + 24)[0], \
            struct.unpack_from("<I", self.data, off + 32)[0]
        noff = self.offset(names_rva)
        return [self.cstring(struct.unpack_from("<I", self.data, noff + 4 * i)[0])
                for i in range(nnames)]


def base_name(export):
    """The function name inside an Itanium-mangled export (_Z11HookInstallP6HWND__PKc)."""
    m = re.match(r"_Z(\d+)", export)
    if not m:
        return export
    n = int(m.group(1))
    return export[m.end():m.end() + n]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("binary")
    ap.add_argument("--allow", action="append", default=[], help="a non-system DLL it may import")
    ap.add_argument("--require-import", action="append", default=[],
                    help="a DLL it must import (bound at load time)")
    ap.add_argument("--export", action="append", default=[],
                    help="NAME or NAME*COUNT: a function it must export (COUNT overloads)")
    ap.add_argument("--only-exports", action="store_true", help="nothing else may be exported")
    ap.add_argument("--hook-state-size", type=int, help="size of the shared section's record")
    args = ap.parse_args()

    pe = Pe(open(args.binary, "rb").read())
    failures = []
    allowed = SYSTEM_DLLS | {a.lower() for a in args.allow}
    imports = pe.imports()
    for dll in imports:
        if dll.lower() not in allowed and not dll.lower().startswith("api-ms-win-"):
            failures.append("imports %s, which is not a system DLL" % dll)
    print("%s imports: %s" % (args.binary, ", ".join(imports)))
    for dll in args.require_import:
        if dll.lower() not in {i.lower() for i in imports}:
            failures.append("does not import %s" % dll)

    exports = pe.exports()
    print("exports: %s" % ", ".join(exports))
    wanted = {}
    for e in args.export:
        name, _, count = e.partition("*")
        wanted[name] = int(count or 1)
    for name, count in wanted.items():
        found = [e for e in exports if base_name(e) == name]
        if len(set(found)) != count:
            failures.append("exports %d distinct %s, wants %d" % (len(set(found)), name, count))
    if args.only_exports:
        extra = [e for e in exports if base_name(e) not in wanted]
        if extra:
            failures.append("exports more than it should: %s" % ", ".join(extra))

    if args.hook_state_size is not None:
        shared = [s for s in pe.sections if s["name"] == ".VMYHook"]
        if len(shared) != 1:
            failures.append("has no section .VMYHook")
        else:
            s = shared[0]
            need = IMAGE_SCN_MEM_SHARED | IMAGE_SCN_MEM_READ | IMAGE_SCN_MEM_WRITE | \
                IMAGE_SCN_CNT_INITIALIZED_DATA
            print(".VMYHook: flags %#010x, size %d" % (s["flags"], s["vsize"]))
            if s["flags"] & need != need:
                failures.append(".VMYHook is not initialised, readable, writable and shared "
                                "(flags %#010x)" % s["flags"])
            # The linker pads a section to the record's alignment, at most 32 bytes.
            if not args.hook_state_size <= s["vsize"] < args.hook_state_size + 32:
                failures.append(".VMYHook holds %d bytes, HookState alone is %d"
                                % (s["vsize"], args.hook_state_size))
            if pe.nsyms:
                names = pe.symbols_in(pe.sections.index(s) + 1)
                print(".VMYHook symbols: %s" % ", ".join(names))
                if [n.lstrip("_") for n in names] != ["g_hookState"]:
                    failures.append(".VMYHook holds more than HookState: %s" % ", ".join(names))

    for f in failures:
        print("FAIL: " + f)
    if failures:
        return 1
    print("deployment check passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
