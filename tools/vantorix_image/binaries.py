"""Machine types of executables and libraries, the targets, and the
launchers that belong to each target."""

import os

from . import Refusal

PE_MACHINES = {0x8664: "x64", 0x14C: "x86", 0xAA64: "ARM64", 0x1C4: "ARM"}
# (ELF class, e_machine) -> name
ELF_MACHINES = {(2, 62): "x64", (1, 3): "x86", (2, 183): "ARM64", (1, 40): "ARM"}
BITS = {"x64": 64, "x86": 32, "ARM64": 64, "ARM": 32}


class Target:
    def __init__(self, name, system, machine):
        self.name = name
        self.system = system
        self.machine = machine

    @property
    def windows(self):
        return self.system == "windows"

    @property
    def separator(self):
        """The path separator inside the launcher's macro expansions."""
        return "\\" if self.windows else "/"

    @property
    def list_separator(self):
        """The class-path and module-path separator of the target."""
        return ";" if self.windows else ":"

    @property
    def launch_library(self):
        """The runtime's launch library, relative to the runtime directory."""
        return os.path.join("bin", "jli.dll") if self.windows else os.path.join("lib", "libjli.so")

    @property
    def launch_library_text(self):
        return "bin\\jli.dll" if self.windows else "lib/libjli.so"

    def launcher_name(self, console):
        if not self.windows:
            return "VantorixLauncher"
        return "VantorixLauncherConsole.exe" if console else "VantorixLauncher.exe"

    def executable_name(self, name):
        return name + ".exe" if self.windows else name

    def machine_of(self, path):
        """The machine type of a file of this target's format, or None."""
        return pe_machine(path) if self.windows else elf_machine(path)


TARGETS = {t.name: t for t in (Target("windows-x64", "windows", "x64"),
                               Target("windows-x86", "windows", "x86"),
                               Target("linux-x64", "linux", "x64"))}


def describe(machine):
    bits = BITS.get(machine)
    return "%s (%d-bit)" % (machine, bits) if bits else machine


def _read(path, offset, size):
    try:
        with open(path, "rb") as f:
            f.seek(offset)
            return f.read(size)
    except OSError:
        return b""


def pe_machine(path):
    """"x64", "x86", ... for a PE file, "machine 0x...." for another
    machine, None when the file is no PE file."""
    header = _read(path, 0, 64)
    if len(header) < 64 or header[:2] != b"MZ":
        return None
    pe_offset = int.from_bytes(header[0x3C:0x40], "little")
    signature = _read(path, pe_offset, 6)
    if len(signature) < 6 or signature[:4] != b"PE\0\0":
        return None
    machine = int.from_bytes(signature[4:6], "little")
    return PE_MACHINES.get(machine, "machine 0x%04x" % machine)


def elf_machine(path):
    """The same for an ELF file."""
    header = _read(path, 0, 20)
    if len(header) < 20 or header[:4] != b"\x7fELF" or header[5] not in (1, 2):
        return None
    byte_order = "little" if header[5] == 1 else "big"
    machine = int.from_bytes(header[18:20], byte_order)
    return ELF_MACHINES.get((header[4], machine), "ELF class %d machine %d" % (header[4], machine))


def default_target(launchers):
    """The target of the launchers in a directory: the archive the tool came
    in decides what it builds."""
    found = []
    for target in TARGETS.values():
        path = os.path.join(launchers, target.launcher_name(False))
        if os.path.isfile(path) and target.machine_of(path) == target.machine:
            found.append(target)
    if len(found) == 1:
        return found[0]
    if not found:
        raise Refusal("no launcher in %s: give --launchers DIR, the directory that holds "
                      "VantorixLauncher.exe or VantorixLauncher" % launchers)
    raise Refusal("launchers of several targets in %s: give --target" % launchers)


def find_launcher(launchers, target, console):
    """The launcher executable for the target, checked for its machine type."""
    path = os.path.join(launchers, target.launcher_name(console))
    if not os.path.isfile(path):
        raise Refusal("no launcher %s in %s: give --launchers DIR, the directory of the %s launchers"
                      % (target.launcher_name(console), launchers, target.name))
    machine = target.machine_of(path)
    if machine != target.machine:
        raise Refusal("the launcher %s is %s, but %s needs %s: give --launchers DIR with the %s launchers"
                      % (path, describe(machine) if machine else "not a %s executable" % target.system,
                         target.name, describe(target.machine), target.name))
    return path


def check_runtime(runtime, target, launcher):
    """The runtime must have the target's launch library of the launcher's
    machine type: the launcher loads it into its own process."""
    if not os.path.isdir(runtime):
        raise Refusal("the runtime directory %s does not exist" % runtime)
    library = os.path.join(runtime, target.launch_library)
    if not os.path.isfile(library):
        raise Refusal("the runtime %s has no %s: it is not a Java runtime for %s"
                      % (runtime, target.launch_library_text, target.name))
    machine = target.machine_of(library)
    if machine is None:
        raise Refusal("the runtime's %s is not a %s library" % (library, "PE" if target.windows else "ELF"))
    if machine != target.machine:
        raise Refusal("the runtime's %s is %s, but the launcher %s is %s: they must match"
                      % (target.launch_library_text, describe(machine), os.path.basename(launcher),
                         describe(target.machine)))
