#!/usr/bin/env python3
"""Fails on any DLL a shipped binary imports that Windows itself does not have.

usage: check_imports.py [--hardened] BINARY... [-- [--hardened] BINARY...]

Reads the import and delay-import tables of each PE file. Every imported DLL
must be one that every supported Windows (7 and later) carries. A binary
after --hardened (one that limits its DLL search to System32 at start) may
import at load time only KnownDLLs, which Windows never takes from the
program's folder; every other Windows DLL must be delay-loaded.
"""
import re
import struct
import sys

# Windows' own DLLs that the shipped programs may use.
WINDOWS = {
    "advapi32.dll", "bcrypt.dll", "cabinet.dll", "comctl32.dll", "comdlg32.dll", "crypt32.dll",
    "gdi32.dll", "imm32.dll", "kernel32.dll", "msvcrt.dll", "ntdll.dll", "ole32.dll",
    "oleaut32.dll", "psapi.dll", "rpcrt4.dll", "setupapi.dll", "shell32.dll", "shlwapi.dll",
    "urlmon.dll", "user32.dll", "version.dll", "wininet.dll", "wintrust.dll", "ws2_32.dll",
}
# KnownDLLs from Windows 7 to 11 (ntdll is mapped before any search).
KNOWN = {
    "advapi32.dll", "clbcatq.dll", "comdlg32.dll", "gdi32.dll", "imagehlp.dll", "imm32.dll",
    "kernel32.dll", "msctf.dll", "msvcrt.dll", "normaliz.dll", "nsi.dll", "ntdll.dll",
    "ole32.dll", "oleaut32.dll", "psapi.dll", "rpcrt4.dll", "sechost.dll", "setupapi.dll",
    "shell32.dll", "shlwapi.dll", "user32.dll", "wldap32.dll", "ws2_32.dll",
}


DLL_NAME = re.compile(r"^[a-z0-9_.-]+\.dll$")


def imports(path):
    """(load-time imports, delay-loaded imports) of a PE file, lower case."""
    data = open(path, "rb").read()
    if data[:2] != b"MZ":
        raise ValueError("not a PE file")
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE file")
    sections, opt_size = struct.unpack_from("<H12xH", data, pe + 6)
    opt = pe + 24
    magic = struct.unpack_from("<H", data, opt)[0]
    if magic == 0x20B:
        image_base = struct.unpack_from("<Q", data, opt + 24)[0]
        dirs = opt + 112
    else:
        image_base = struct.unpack_from("<I", data, opt + 28)[0]
        dirs = opt + 96
    sect = opt + opt_size
    table = []
    for i in range(sections):
        vsize, va, rsize, raw = struct.unpack_from("<IIII", data, sect + 40 * i + 8)
        table.append((va, max(vsize, rsize), raw))

    def offset(rva):
        for va, size, raw in table:
            if va <= rva < va + size:
                return raw + rva - va
        raise ValueError("address 0x%x outside the sections" % rva)

    def name_at(rva):
        at = offset(rva)
        return data[at:data.index(b"\0", at)].decode("ascii").lower()

    def descriptors(index, layout):
        """The records of a data directory's table, up to the all-zero one."""
        rva = struct.unpack_from("<I", data, dirs + 8 * index)[0]
        if not rva:
            return None
        records, at = [], offset(rva)
        while any(struct.unpack_from(layout, data, at)):
            records.append(struct.unpack_from(layout, data, at))
            at += struct.calcsize(layout)
        return records

    load = [name_at(fields[3]) for fields in descriptors(1, "<5I") or []]
    delayed = []
    table13 = descriptors(13, "<8I")
    if table13 is not None:
        # Attribute bit 0: the fields are addresses relative to the image;
        # older linkers wrote virtual addresses.
        delayed = [name_at(f[1] if f[0] & 1 else f[1] - image_base) for f in table13]
    else:
        # GNU ld leaves the delay-import directory empty (the CRT's helper is
        # handed each descriptor directly): find the descriptors themselves,
        # 32-byte records of image-relative addresses naming a DLL.
        image_end = max(va + size for va, size, raw in table)
        inside = lambda a: 0 < a < image_end
        for va, size, raw in table:
            for at in range(raw, min(raw + size, len(data)) - 32, 4):
                attrs, name, handle, iat, names, bound, unload, stamp = struct.unpack_from("<8I", data, at)
                if attrs != 1 or stamp != 0 or not all(map(inside, (name, handle, iat, names))):
                    continue
                if (bound and not inside(bound)) or (unload and not inside(unload)):
                    continue
                try:
                    dll = name_at(name)
                except (ValueError, UnicodeDecodeError):
                    continue
                if DLL_NAME.match(dll) and dll not in delayed:
                    delayed.append(dll)
    return load, delayed


def main(argv):
    faults = []
    hardened = False
    checked = 0
    for arg in argv:
        if arg == "--hardened":
            hardened = True
            continue
        if arg == "--":
            hardened = False
            continue
        try:
            load, delayed = imports(arg)
        except (OSError, ValueError, struct.error) as error:
            faults.append("%s: cannot read its import tables (%s)" % (arg, error))
            continue
        checked += 1
        for dll in load + delayed:
            if dll not in WINDOWS:
                faults.append("%s imports %s, which Windows does not have" % (arg, dll))
        if hardened:
            for dll in load:
                if dll in WINDOWS and dll not in KNOWN:
                    faults.append("%s imports %s at load time: not a KnownDLL, so Windows would look for it "
                                  "beside the program first (delay-load it)" % (arg, dll))
        print("%s: %s%s" % (arg, " ".join(sorted(load)),
                            (" | delay-loaded: " + " ".join(sorted(delayed))) if delayed else ""))
    for fault in faults:
        print("FAIL: " + fault)
    if checked == 0:
        print("FAIL: no binary checked")
        return 1
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
