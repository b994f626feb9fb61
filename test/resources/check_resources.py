#!/usr/bin/env python3
"""Extracts the application manifest, the version resource and the icon
from a built Windows executable and checks what they declare.

usage: check_resources.py EXE [--utf8|--no-utf8] [--version X.Y.Z]
           [--icon FILE.ico] [--file-version A.B.C.D] [--product-version A.B.C.D]
           [--string KEY=VALUE]... [--execution-level LEVEL]

Without --icon the icon must hold the default sizes 16 to 256; with it, the
executable's icon must be exactly that file's images. --file-version and
--product-version check the fixed numbers; --string one version string.
The manifest must request LEVEL (by default asInvoker), and the image's
checksum must be the one its header records.
"""
import struct
import sys
import xml.etree.ElementTree as ET

RT_ICON = 3
RT_GROUP_ICON = 14
RT_VERSION = 16
RT_MANIFEST = 24

ASM_V1 = "urn:schemas-microsoft-com:asm.v1"
ASM_V3 = "urn:schemas-microsoft-com:asm.v3"
COMPAT = "urn:schemas-microsoft-com:compatibility.v1"
WS2005 = "http://schemas.microsoft.com/SMI/2005/WindowsSettings"
WS2016 = "http://schemas.microsoft.com/SMI/2016/WindowsSettings"
WS2019 = "http://schemas.microsoft.com/SMI/2019/WindowsSettings"

SUPPORTED_OS = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}": "Windows Vista",
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "Windows 7",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "Windows 8",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": "Windows 8.1",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "Windows 10/11",
}


def resources(image):
    """Maps (type id, name id) to the bytes of the first language entry."""
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if image[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE image")
    sections = struct.unpack_from("<H", image, pe + 6)[0]
    optional_size = struct.unpack_from("<H", image, pe + 20)[0]
    optional = pe + 24
    magic = struct.unpack_from("<H", image, optional)[0]
    directories = optional + (96 if magic == 0x10B else 112)
    rsrc_rva, rsrc_size = struct.unpack_from("<II", image, directories + 2 * 8)
    if rsrc_size == 0:
        return {}
    table = optional + optional_size

    def offset_of(rva):
        for i in range(sections):
            entry = table + 40 * i
            vsize, vaddr, raw_size, raw_ptr = struct.unpack_from("<IIII", image, entry + 8)
            if vaddr <= rva < vaddr + max(vsize, raw_size):
                return raw_ptr + rva - vaddr
        raise ValueError("RVA 0x%x outside every section" % rva)

    base = offset_of(rsrc_rva)

    def entries(directory):
        named, ids = struct.unpack_from("<HH", image, base + directory + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", image, base + directory + 16 + 8 * i)
            yield name, target

    found = {}
    for type_id, type_target in entries(0):
        if not type_target & 0x80000000:
            continue
        for name_id, name_target in entries(type_target & 0x7FFFFFFF):
            if not name_target & 0x80000000:
                continue
            for _, leaf in entries(name_target & 0x7FFFFFFF):
                data_rva, size = struct.unpack_from("<II", image, base + leaf)
                start = offset_of(data_rva)
                found.setdefault((type_id, name_id), image[start:start + size])
    return found


def pe_checksum(image):
    """The image checksum as the loader computes it: 16-bit sums with the
    carry folded back, the checksum field counted as zero, plus the length."""
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    field = pe + 24 + 64
    data = image[:field] + b"\0\0\0\0" + image[field + 4:]
    if len(data) % 2:
        data += b"\0"
    total = 0
    for (word,) in struct.iter_unpack("<H", data):
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    total = (total & 0xFFFF) + (total >> 16)
    return (total + len(image)) & 0xFFFFFFFF, struct.unpack_from("<I", image, field)[0]


def version_strings(block):
    """The StringFileInfo values of a VS_VERSIONINFO block."""
    values = {}

    def walk(offset, end):
        while offset + 6 <= end:
            length, value_length, kind = struct.unpack_from("<HHH", block, offset)
            if length == 0:
                break
            key_start = offset + 6
            key_end = key_start
            while block[key_end:key_end + 2] != b"\0\0":
                key_end += 2
            key = block[key_start:key_end].decode("utf-16-le")
            value_start = (key_end + 2 + 3) & ~3
            if kind == 1 and value_length and not key.startswith(("StringFileInfo", "VarFileInfo")) \
                    and len(key) != 8:
                raw = block[value_start:value_start + 2 * value_length]
                values[key] = raw.decode("utf-16-le").rstrip("\0")
                children = end  # a string has no children
            else:
                children = value_start + (value_length if kind == 0 else 2 * value_length)
                children = (children + 3) & ~3
                walk(children, offset + length)
            offset = (offset + length + 3) & ~3

    walk(0, len(block))
    return values


DEFAULT_ICON_SIZES = (16, 24, 32, 48, 64, 128, 256)


def fixed_versions(block):
    """The file and product numbers of the VS_FIXEDFILEINFO, as "A.B.C.D"."""
    start = block.find(struct.pack("<I", 0xFEEF04BD))
    if start < 0:
        return None, None
    ms, ls, pms, pls = struct.unpack_from("<IIII", block, start + 8)
    text = lambda high, low: "%d.%d.%d.%d" % (high >> 16, high & 0xFFFF, low >> 16, low & 0xFFFF)
    return text(ms, ls), text(pms, pls)


def icon_file_images(data):
    """(width, height, bytes) of every image of an .ico file."""
    count = struct.unpack_from("<H", data, 4)[0]
    images = []
    for i in range(count):
        width, height, _, _, _, _, size, offset = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
        images.append((width or 256, height or 256, data[offset:offset + size]))
    return images


def executable_icon(found):
    """(width, height, bytes) of the images that icon group 1 lists."""
    group = found.get((RT_GROUP_ICON, 1))
    if group is None:
        return None
    count = struct.unpack_from("<H", group, 4)[0]
    images = []
    for i in range(count):
        width, height, _, _, _, _, _, image_id = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
        images.append((width or 256, height or 256, found.get((RT_ICON, image_id))))
    return images


def check_icon(found, icon_path):
    images = executable_icon(found)
    if images is None:
        return ["no icon group with id 1"]
    problems = ["icon image %dx%d missing" % (w, h) for w, h, data in images if data is None]
    if icon_path is None:
        sizes = sorted(w for w, h, _ in images)
        if tuple(sizes) != DEFAULT_ICON_SIZES:
            problems.append("icon sizes %s, not %s" % (sizes, list(DEFAULT_ICON_SIZES)))
    else:
        with open(icon_path, "rb") as f:
            expected = icon_file_images(f.read())
        if images != expected:
            problems.append("icon differs from %s" % icon_path)
    stray = [name for kind, name in found if kind == RT_ICON
             and name not in range(1, len(images) + 1)]
    if stray:
        problems.append("icon images no group lists: %s" % stray)
    return problems


def check(path, utf8, version, icon=None, numbers=(None, None), expected_strings=(),
          execution_level="asInvoker"):
    problems = []
    with open(path, "rb") as f:
        image = f.read()
    found = resources(image)
    computed, recorded = pe_checksum(image)
    if computed != recorded:
        problems.append("checksum 0x%x, the header records 0x%x" % (computed, recorded))

    manifest = found.get((RT_MANIFEST, 1))
    if manifest is None:
        return ["no RT_MANIFEST resource with id 1"]
    root = ET.fromstring(manifest)

    def one(xpath, what):
        element = root.find(xpath)
        if element is None:
            problems.append("manifest lacks " + what)
        return element

    level = one(".//{%s}requestedExecutionLevel" % ASM_V3, "requestedExecutionLevel")
    if level is not None and level.get("level") != execution_level:
        problems.append("execution level is %r, not %s" % (level.get("level"), execution_level))

    declared = {e.get("Id") for e in root.iter("{%s}supportedOS" % COMPAT)}
    for guid, name in SUPPORTED_OS.items():
        if guid not in declared:
            problems.append("supportedOS lacks " + name)

    aware = one(".//{%s}dpiAware" % WS2005, "dpiAware")
    if aware is not None and aware.text.strip().lower() not in ("true", "true/pm"):
        problems.append("dpiAware is %r" % aware.text)
    awareness = one(".//{%s}dpiAwareness" % WS2016, "dpiAwareness")
    if awareness is not None and "PerMonitorV2" not in awareness.text:
        problems.append("dpiAwareness is %r" % awareness.text)
    long_paths = one(".//{%s}longPathAware" % WS2016, "longPathAware")
    if long_paths is not None and long_paths.text.strip().lower() != "true":
        problems.append("longPathAware is %r" % long_paths.text)

    code_page = root.find(".//{%s}activeCodePage" % WS2019)
    if utf8 and (code_page is None or code_page.text.strip() != "UTF-8"):
        problems.append("activeCodePage UTF-8 missing")
    if not utf8 and code_page is not None:
        problems.append("activeCodePage present in a build without it")

    controls = [e for e in root.iter("{%s}assemblyIdentity" % ASM_V1)
                if e.get("name") == "Microsoft.Windows.Common-Controls"]
    if not controls or not controls[0].get("version", "").startswith("6."):
        problems.append("Common Controls v6 dependency missing")

    version_block = found.get((RT_VERSION, 1))
    if version_block is None:
        problems.append("no VERSIONINFO resource")
    else:
        strings = version_strings(version_block)
        for key in ("FileVersion", "ProductVersion", "FileDescription"):
            if not strings.get(key):
                problems.append("version resource lacks " + key)
        if version and not strings.get("FileVersion", "").startswith(version):
            problems.append("FileVersion %r is not %s" % (strings.get("FileVersion"), version))
        for (key, value) in expected_strings:
            if strings.get(key) != value:
                problems.append("%s is %r, not %r" % (key, strings.get(key), value))
        for label, actual, wanted in zip(("file", "product"), fixed_versions(version_block), numbers):
            if wanted is not None and actual != wanted:
                problems.append("fixed %s version is %s, not %s" % (label, actual, wanted))
    problems += check_icon(found, icon)
    return problems


def main():
    args = sys.argv[1:]
    utf8 = "--no-utf8" not in args

    def option(name):
        return args[args.index(name) + 1] if name in args else None

    strings = [tuple(args[i + 1].split("=", 1)) for i, arg in enumerate(args) if arg == "--string"]
    path = args[0]
    problems = check(path, utf8, option("--version"), option("--icon"),
                     (option("--file-version"), option("--product-version")), strings,
                     option("--execution-level") or "asInvoker")
    for problem in problems:
        print("%s: %s" % (path, problem))
    if not problems:
        print("%s: manifest, version resource and icon OK" % path)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
