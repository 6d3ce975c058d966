#!/usr/bin/env python3
"""check_resources.py: inspects a launcher's Windows resources with wrestool.

    check_resources.py EXE DESCRIPTION VERSION-TEXT ORIGINAL-NAME ARCH

Checks the icon group MAIN_ICON (language 1033, one 32 x 32 image of 16
colours, 744 bytes), the version block (1.2.0.0, key 040904e4, the three
texts given and the maker's keys, translation 0x0409 / 0x04E4) and the
manifest (resource 1: identity 8.4.0.4 for ARCH, one dependency on the
common controls 6.0.0.0).  Prints one line per finding; exit status 1 if
anything is wrong.
"""
import struct
import subprocess
import sys
import xml.etree.ElementTree as ET

problems = []


def expect(ok, what):
    print(("ok   " if ok else "BAD  ") + what)
    if not ok:
        problems.append(what)


def listing(exe):
    out = subprocess.run(["wrestool", "-l", exe], check=True, capture_output=True, text=True).stdout
    entries = []
    for line in out.splitlines():
        fields = dict(f.split("=", 1) for f in line.replace("[", " ").replace("]", " ").split()
                      if f.startswith("--") and "=" in f)
        fields = {k.lstrip("-"): v.strip("'") for k, v in fields.items()}
        size = line.split("size=")[-1].rstrip("]") if "size=" in line else "0"
        fields["size"] = int(size)
        entries.append(fields)
    return entries


def raw(exe, rtype, name):
    return subprocess.run(["wrestool", "-x", "--raw", "--type=" + rtype, "--name=" + name, exe],
                          check=True, capture_output=True).stdout


def version_nodes(data, at=0, end=None):
    """The children of a version block node list: (key, value bytes, is text, children)."""
    end = len(data) if end is None else end
    nodes = []
    while at + 6 <= end:
        length, value_len, kind = struct.unpack_from("<HHH", data, at)
        if length == 0:
            break
        stop = at + length
        key_end = at + 6
        while data[key_end:key_end + 2] != b"\0\0":
            key_end += 2
        key = data[at + 6:key_end].decode("utf-16-le")
        value_at = (key_end + 2 + 3) & ~3
        value_bytes = value_len * 2 if kind == 1 else value_len
        value = data[value_at:value_at + value_bytes]
        child_at = (value_at + value_bytes + 3) & ~3
        nodes.append((key, value, kind == 1, version_nodes(data, child_at, stop)))
        at = (stop + 3) & ~3
    return nodes


def main():
    exe, description, version_text, original, arch = sys.argv[1:6]
    entries = listing(exe)

    icons = [e for e in entries if e.get("type") == "3"]
    groups = [e for e in entries if e.get("type") == "14"]
    expect(len(groups) == 1 and groups[0].get("name") == "MAIN_ICON"
           and groups[0].get("language") == "1033", "one icon group MAIN_ICON, language 1033")
    expect(len(icons) == 1 and icons[0]["size"] == 744 and icons[0].get("language") == "1033",
           "one icon image of 744 bytes, language 1033")
    if groups and icons:
        group = raw(exe, "14", "MAIN_ICON")
        reserved, kind, count = struct.unpack_from("<HHH", group, 0)
        width, height, colours, _, planes, bits, size, ident = struct.unpack_from("<BBBBHHIH", group, 6)
        expect(kind == 1 and count == 1 and width == 32 and height == 32 and colours == 16
               and bits == 4 and size == 744 and str(ident) == icons[0].get("name"),
               "the group names a 32 x 32 image of 16 colours, 4 bits, 744 bytes")
        image = raw(exe, "3", icons[0].get("name"))
        header = struct.unpack_from("<IiiHH", image, 0)
        expect(header == (40, 32, 64, 1, 4), "the image is a 32 x 32 4-bit bitmap with its mask")

    versions = [e for e in entries if e.get("type") == "16"]
    expect(len(versions) == 1 and versions[0].get("language") == "1033", "one version block, language 1033")
    if versions:
        root = version_nodes(raw(exe, "16", versions[0]["name"]))
        key, fixed, _, children = root[0]
        expect(key == "VS_VERSION_INFO", "the block is VS_VERSION_INFO")
        sig, _, fms, fls, pms, pls = struct.unpack_from("<IIIIII", fixed, 0)
        expect(sig == 0xFEEF04BD and (fms, fls) == (0x00010002, 0) and (pms, pls) == (0x00010002, 0),
               "file and product version 1.2.0.0")
        strings = {}
        tables = []
        translation = None
        for ckey, _, _, grand in children:
            if ckey == "StringFileInfo":
                for tkey, _, _, values in grand:
                    tables.append(tkey)
                    for vkey, value, text, _ in values:
                        strings[vkey] = value.decode("utf-16-le").rstrip("\0") if text else value
            elif ckey == "VarFileInfo":
                for vkey, value, _, _ in grand:
                    if vkey == "Translation":
                        translation = struct.unpack_from("<HH", value, 0)
        expect(tables == ["040904e4"], "one string table under the key 040904e4")
        for vkey, want in (("FileDescription", description), ("FileVersion", version_text),
                           ("OriginalFilename", original)):
            expect(strings.get(vkey) == want, '%s is "%s" (found %r)' % (vkey, want, strings.get(vkey)))
        for vkey in ("Author", "CompanyName", "LegalCopyright"):
            expect(bool(strings.get(vkey)), "%s names the maker" % vkey)
        expect(translation == (0x0409, 0x04E4), "translation 0x0409, 0x04E4 (found %r)" % (translation,))

    manifests = [e for e in entries if e.get("type") == "24"]
    expect(len(manifests) == 1 and manifests[0].get("name") == "1", "the manifest is resource 1")
    if manifests:
        text = raw(exe, "24", "1")
        expect(text.startswith(b'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>'),
               "the manifest is standalone UTF-8 XML")
        ns = {"a": "urn:schemas-microsoft-com:asm.v1"}
        doc = ET.fromstring(text)
        ident = doc.find("a:assemblyIdentity", ns)
        expect(ident is not None and ident.get("type") == "win32" and ident.get("version") == "8.4.0.4"
               and ident.get("processorArchitecture") == arch and bool(ident.get("name")),
               "the assembly identity: win32, 8.4.0.4, " + arch)
        expect(bool((doc.findtext("a:description", "", ns) or "").strip()), "the manifest has a description")
        deps = doc.findall("a:dependency/a:dependentAssembly/a:assemblyIdentity", ns)
        want = {"type": "win32", "name": "Microsoft.Windows.Common-Controls", "version": "6.0.0.0",
                "processorArchitecture": arch, "publicKeyToken": "6595b64144ccf1df", "language": "*"}
        expect(len(deps) == 1 and dict(deps[0].attrib) == want,
               "one dependency: the common controls 6.0.0.0 for " + arch)

    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
