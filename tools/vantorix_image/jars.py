"""What the tool reads inside jars and class directories: the manifest, the
classes they hold, and the names of modules."""

import os
import re
import zipfile

from . import Refusal

MANIFEST = "META-INF/MANIFEST.MF"
_VERSIONED = re.compile(r"^META-INF/versions/\d+/")


class Entry:
    """One class-path or module-path element: a jar or a directory."""

    def __init__(self, path):
        self.path = path
        self.is_jar = os.path.isfile(path)
        self._names = None

    def names(self):
        """The file names inside, '/'-separated, versioned entries of a
        multi-release jar folded onto their plain names."""
        if self._names is None:
            if self.is_jar:
                with self._open() as jar:
                    raw = jar.namelist()
            else:
                raw = []
                for directory, _, files in os.walk(self.path):
                    relative = os.path.relpath(directory, self.path)
                    for name in files:
                        raw.append(name if relative == "." else
                                   os.path.join(relative, name).replace(os.sep, "/"))
            self._names = {_VERSIONED.sub("", name) for name in raw}
        return self._names

    def read(self, name):
        """The bytes of one file inside (a multi-release jar's newest
        version when there are several), or None."""
        if self.is_jar:
            with self._open() as jar:
                candidates = [n for n in jar.namelist() if n == name or _VERSIONED.sub("", n) == name]
                if not candidates:
                    return None
                candidates.sort(key=_version_of)
                return jar.read(candidates[-1])
        path = os.path.join(self.path, *name.split("/"))
        if not os.path.isfile(path):
            return None
        with open(path, "rb") as f:
            return f.read()

    def _open(self):
        try:
            return zipfile.ZipFile(self.path)
        except (OSError, zipfile.BadZipFile) as error:
            raise Refusal("%s is not a readable jar: %s" % (self.path, error))

    def has_class(self, class_name):
        return class_file(class_name) in self.names()

    def manifest(self):
        data = self.read(MANIFEST) if self.is_jar else None
        return parse_manifest(data) if data else {}


def _version_of(name):
    match = _VERSIONED.match(name)
    return int(name.split("/")[2]) if match else 0


def class_file(class_name):
    return class_name.replace(".", "/") + ".class"


def parse_manifest(data):
    """The main attributes of a manifest (the lines up to the first empty
    one; a line starting with a blank continues the one before), by their
    names in lower case: the names' case does not count."""
    attributes = {}
    last = None
    for line in data.decode("utf-8", errors="replace").replace("\r\n", "\n").replace("\r", "\n").split("\n"):
        if not line:
            if attributes:
                break
            continue
        if line.startswith(" ") and last:
            attributes[last] += line[1:]
            continue
        name, _, value = line.partition(":")
        last = name.strip().lower()
        attributes[last] = value.strip()
    return attributes


class ModuleInfo:
    def __init__(self, name, main_class, entry):
        self.name = name
        self.main_class = main_class
        self.entry = entry


def parse_module_info(data):
    """(module name, main class or None) from a module-info.class."""
    reader = _ClassReader(data)
    if reader.u4() != 0xCAFEBABE:
        raise ValueError("not a class file")
    reader.skip(4)
    pool = [None]
    count = reader.u2()
    while len(pool) < count:
        tag = reader.u1()
        if tag == 1:
            pool.append(reader.take(reader.u2()).decode("utf-8", errors="replace"))
        elif tag in (7, 8, 16, 19, 20):
            pool.append(reader.u2())
        elif tag == 15:
            reader.skip(3)
            pool.append(None)
        elif tag in (3, 4, 9, 10, 11, 12, 17, 18):
            reader.skip(4)
            pool.append(None)
        elif tag in (5, 6):
            reader.skip(8)
            pool.extend([None, None])
        else:
            raise ValueError("unknown constant tag %d" % tag)
    reader.skip(6)
    reader.skip(2 * reader.u2())
    for _ in range(2):
        for _ in range(reader.u2()):
            reader.skip(6)
            for _ in range(reader.u2()):
                reader.skip(2)
                reader.skip(reader.u4())
    name = main_class = None
    for _ in range(reader.u2()):
        attribute = pool[reader.u2()]
        body = _ClassReader(reader.take(reader.u4()))
        if attribute == "Module":
            name = pool[pool[body.u2()]]
        elif attribute == "ModuleMainClass":
            main_class = pool[pool[body.u2()]].replace("/", ".")
    if name is None:
        raise ValueError("no Module attribute")
    return name, main_class


class _ClassReader:
    def __init__(self, data):
        self.data = data
        self.at = 0

    def take(self, size):
        if self.at + size > len(self.data):
            raise ValueError("truncated class file")
        part = self.data[self.at:self.at + size]
        self.at += size
        return part

    def skip(self, size):
        self.take(size)

    def u1(self):
        return self.take(1)[0]

    def u2(self):
        return int.from_bytes(self.take(2), "big")

    def u4(self):
        return int.from_bytes(self.take(4), "big")


def automatic_module_name(entry):
    """The name the Java runtime gives a jar without module-info.class."""
    name = entry.manifest().get("automatic-module-name")
    if name:
        return name
    stem = os.path.basename(entry.path)[:-len(".jar")] if entry.path.endswith(".jar") else None
    if not stem:
        return None
    stem = re.sub(r"-(\d+(\.|$)).*$", "", stem)
    stem = re.sub(r"[^A-Za-z0-9]", ".", stem)
    stem = re.sub(r"\.{2,}", ".", stem).strip(".")
    return stem or None


def module_of(entry):
    """The module an entry of the module path holds, or None."""
    data = entry.read("module-info.class")
    if data is not None:
        try:
            name, main_class = parse_module_info(data)
        except (ValueError, IndexError, TypeError, AttributeError) as error:
            raise Refusal("the module-info.class of %s cannot be read: %s" % (entry.path, error))
        return ModuleInfo(name, main_class, entry)
    if entry.is_jar:
        name = automatic_module_name(entry)
        return ModuleInfo(name, None, entry) if name else None
    return None


def modules_on_path(paths):
    """Every module of the module-path elements: a modular or plain jar, an
    exploded module, or a directory of those."""
    found = []
    for path in paths:
        entry = Entry(path)
        module = module_of(entry)
        if module is not None:
            found.append(module)
            continue
        if entry.is_jar:
            continue
        for child in sorted(os.listdir(path)):
            child_path = os.path.join(path, child)
            if child.endswith(".jar") and os.path.isfile(child_path) or \
               os.path.isfile(os.path.join(child_path, "module-info.class")):
                module = module_of(Entry(child_path))
                if module is not None:
                    found.append(module)
    return found
