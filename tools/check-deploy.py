#!/usr/bin/env python3
"""Checks a built vellamy binary for what GIMP's plug-in folder needs.

Reads the PE file itself: imported DLLs (only the system's, plus any named with --allow),
exported names, for the hook library the shared section that holds HookState, the version
resource that Explorer's Properties shows, and the application manifest.
Exits non-zero and says why when a check fails.
"""
import argparse
import os
import re
import struct
import sys
import xml.etree.ElementTree as ElementTree

SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "comdlg32.dll", "msvcrt.dll",
    "shell32.dll", "comctl32.dll", "ole32.dll", "oleaut32.dll", "ntdll.dll", "winmm.dll",
}
IMAGE_SCN_CNT_INITIALIZED_DATA = 0x00000040
IMAGE_SCN_MEM_SHARED = 0x10000000
IMAGE_SCN_MEM_READ = 0x40000000
IMAGE_SCN_MEM_WRITE = 0x80000000
RT_VERSION = 16
RT_MANIFEST = 24
VFT_APP = 1
VFT_DLL = 2
MANIFEST_ARCH = {0x8664: "amd64", 0x014C: "x86"}
# Vista, 7, 8, 8.1, and 10 (which 11 shares).
SUPPORTED_OS = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
}
VERSION_STRINGS = ("ProductName", "ProductVersion", "FileDescription", "FileVersion",
                   "LegalCopyright")


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


    def resources(self, kind):
        """[(id, language, data)] of one resource type; names count as id None."""
        rva, _ = self.dirs[2]
        if not rva:
            return []
        root = self.offset(rva)

        def entries(at):
            named, ids = struct.unpack_from("<HH", self.data, at + 12)
            for i in range(named + ids):
                name, target = struct.unpack_from("<II", self.data, at + 16 + 8 * i)
                yield (None if name & 0x80000000 else name), target

        found = []
        for type_id, types in entries(root):
            if type_id != kind or not types & 0x80000000:
                continue
            for res_id, names in entries(root + (types & 0x7FFFFFFF)):
                for lang, leaf in entries(root + (names & 0x7FFFFFFF)):
                    data_rva, size = struct.unpack_from("<II", self.data, root + leaf)
                    start = self.offset(data_rva)
                    found.append((res_id, lang, self.data[start:start + size]))
        return found


def version_blocks(data, start, end):
    """The (key, type, value, children start, end) of the VS_VERSIONINFO blocks in [start, end)."""
    align = lambda at: (at + 3) & ~3
    while start + 6 <= end:
        length, value_length, kind = struct.unpack_from("<HHH", data, start)
        if length == 0:
            return
        key_end = start + 6
        while data[key_end:key_end + 2] != b"\0\0":
            key_end += 2
        key = data[start + 6:key_end].decode("utf-16-le")
        value_at = align(key_end + 2)
        # A text value's length counts UTF-16 characters, a binary one's bytes.
        value = data[value_at:value_at + (value_length * 2 if kind == 1 else value_length)]
        yield key, kind, value, align(value_at + len(value)), start + length
        start = align(start + length)


def version_info(pe):
    """(fixed file version, fixed product version, file type, {string name: text}) or None."""
    found = pe.resources(RT_VERSION)
    if not found:
        return None
    data = found[0][2]
    key, _, fixed, children, end = next(version_blocks(data, 0, len(data)))
    signature, _, fms, fls, pms, pls, _, _, _, file_type = struct.unpack_from("<10I", fixed)
    if key != "VS_VERSION_INFO" or signature != 0xFEEF04BD:
        return None
    split = lambda ms, ls: (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    strings = {}
    for key, _, _, tables, tables_end in version_blocks(data, children, end):
        if key != "StringFileInfo":
            continue
        for _, _, _, entries, entries_end in version_blocks(data, tables, tables_end):
            for name, _, value, _, _ in version_blocks(data, entries, entries_end):
                strings[name] = value.decode("utf-16-le").rstrip("\0")
    return split(fms, fls), split(pms, pls), file_type, strings


def check_version(pe, args, binary):
    failures = []
    info = version_info(pe)
    if info is None:
        return ["has no version resource"]
    file_version, product_version, file_type, strings = info
    print("version: file %s, product %s, type %d, %s" % (
        ".".join(map(str, file_version)), ".".join(map(str, product_version)), file_type,
        ", ".join("%s=%r" % item for item in sorted(strings.items()))))
    wanted = tuple(int(n) for n in args.version.split(".")) + (0,)
    if file_version != wanted or product_version != wanted:
        failures.append("the fixed version is not %s.0" % args.version)
    for name in VERSION_STRINGS:
        if not strings.get(name):
            failures.append("the version resource has no %s" % name)
    for name in ("FileVersion", "ProductVersion"):
        if strings.get(name) != args.version:
            failures.append("%s is %r, not %r" % (name, strings.get(name), args.version))
    if args.product_name and strings.get("ProductName") != args.product_name:
        failures.append("ProductName is %r, not %r" % (strings.get("ProductName"),
                                                       args.product_name))
    if args.original_filename and strings.get("OriginalFilename") != os.path.basename(binary):
        failures.append("OriginalFilename is %r, not the file's name"
                        % strings.get("OriginalFilename"))
    if args.name_has_version and "-%s-" % args.version not in os.path.basename(binary):
        failures.append("the file's name does not carry the version %s" % args.version)
    if args.file_type and file_type != {"app": VFT_APP, "dll": VFT_DLL}[args.file_type]:
        failures.append("the file type is %d, not that of an %s" % (file_type, args.file_type))
    return failures


def check_manifest(pe, args):
    manifests = pe.resources(RT_MANIFEST)
    if args.no_manifest:
        return ["carries a manifest, which it should not"] if manifests else []
    if [m[0] for m in manifests] != [1]:
        return ["has no single manifest of id 1 (the process's own): %s"
                % [m[0] for m in manifests]]
    failures = []
    text = manifests[0][2]
    print("manifest: %d bytes" % len(text))
    root = ElementTree.fromstring(text)
    # Namespaces vary between manifests; the elements' own names are what Windows reads.
    elements = {}
    for element in root.iter():
        elements.setdefault(element.tag.split("}")[-1], []).append(element)
    identity = elements.get("assemblyIdentity", [None])[0]
    if identity is None or identity.get("processorArchitecture") != MANIFEST_ARCH.get(pe.machine):
        failures.append("the manifest's assemblyIdentity is not for this architecture")
    elif args.version and identity.get("version") != args.version + ".0":
        failures.append("the manifest's version is %s, not %s.0"
                        % (identity.get("version"), args.version))
    levels = [e.get("level") for e in elements.get("requestedExecutionLevel", [])]
    if levels != ["asInvoker"]:
        failures.append("the requested execution level is %s, not asInvoker" % levels)
    systems = {e.get("Id", "").lower() for e in elements.get("supportedOS", [])}
    if systems != SUPPORTED_OS:
        failures.append("supportedOS lacks %s" % ", ".join(sorted(SUPPORTED_OS - systems)))
    controls = [e for e in elements.get("assemblyIdentity", [])
                if e.get("name") == "Microsoft.Windows.Common-Controls"]
    if args.common_controls and [e.get("version") for e in controls] != ["6.0.0.0"]:
        failures.append("the manifest does not ask for common controls 6")
    aware = [(e.text or "").strip().lower() for e in elements.get("dpiAware", [])]
    print("manifest: dpiAware %s, dpiAwareness %s" % (
        aware, [e.text for e in elements.get("dpiAwareness", [])]))
    if aware != [args.dpi_aware.lower()]:
        failures.append("dpiAware is %s, not %s" % (aware, args.dpi_aware))
    if "dpiAwareness" in elements:
        failures.append("a dpiAwareness element overrides dpiAware from Windows 10 1607 on")
    return failures


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
    ap.add_argument("--version", help="X.Y.Z: the version resource must carry it")
    ap.add_argument("--product-name", help="the version resource's ProductName")
    ap.add_argument("--original-filename", action="store_true",
                    help="the version resource's OriginalFilename is the file's own name")
    ap.add_argument("--file-type", choices=("app", "dll"), help="the version resource's type")
    ap.add_argument("--name-has-version", action="store_true",
                    help="the file's name carries the version, as in vellamy-X.Y.Z-setup.exe")
    ap.add_argument("--dpi-aware", help="check the application manifest, whose dpiAware is this")
    ap.add_argument("--no-manifest", action="store_true", help="it must carry no manifest")
    ap.add_argument("--common-controls", action="store_true",
                    help="the manifest asks for common controls 6 (visual styles)")
    ap.add_argument("--any-imports", action="store_true",
                    help="skip the import check (a program that is not installed into GIMP)")
    args = ap.parse_args()

    pe = Pe(open(args.binary, "rb").read())
    failures = []
    allowed = SYSTEM_DLLS | {a.lower() for a in args.allow}
    imports = pe.imports()
    for dll in imports:
        if args.any_imports:
            break
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

    if args.version:
        failures += check_version(pe, args, args.binary)
    if args.dpi_aware or args.no_manifest:
        failures += check_manifest(pe, args)

    for f in failures:
        print("FAIL: " + f)
    if failures:
        return 1
    print("deployment check passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
