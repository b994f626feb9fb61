"""Application images around the built Linux launcher, run with a real Java
runtime.

An image is laid out as a packaging step leaves it:

    <root>/<Name>              the launcher, copied and renamed
    <root>/app/<Name>.cfg      the launcher config file
    <root>/runtime             a symbolic link to an installed Java runtime
                               (or none, when app.runtime names it)

The runtime is found from the installed `java` (following its symbolic
links) rather than from a spelled-out path; the 32-bit one among the
installed `java` commands by the ELF class of its lib/libjli.so.

Used by the Linux launcher's end-to-end tests and by the benchmark;
standard library only.
"""

import os
import shutil
import subprocess

ELF_CLASS = {"x86_64": 2, "i686": 1}
ELF_MACHINE = {"x86_64": 62, "i686": 3}


def elf_arch(path):
    """"x86_64", "i686" or None for the ELF file at path."""
    try:
        with open(path, "rb") as f:
            header = f.read(20)
    except OSError:
        return None
    if len(header) < 20 or header[:4] != b"\x7fELF":
        return None
    machine = int.from_bytes(header[18:20], "little")
    for arch in ELF_CLASS:
        if header[4] == ELF_CLASS[arch] and machine == ELF_MACHINE[arch]:
            return arch
    return None


def runtime_of_java(java):
    """The runtime directory of a `java` command: the directory above the
    bin directory of the file its links lead to."""
    return os.path.dirname(os.path.dirname(os.path.realpath(java)))


def installed_java_commands():
    """Every installed `java`: the one on PATH first, then those the
    alternatives system knows of."""
    commands = []
    on_path = shutil.which("java")
    if on_path:
        commands.append(on_path)
    try:
        listed = subprocess.run(["update-alternatives", "--list", "java"], capture_output=True,
                                text=True, check=False).stdout.split()
    except OSError:
        listed = []
    commands.extend(listed)
    return commands


def find_runtime(arch):
    """(runtime directory, None) for the architecture, or (None, reason)."""
    seen = set()
    for java in installed_java_commands():
        runtime = runtime_of_java(java)
        if runtime in seen:
            continue
        seen.add(runtime)
        if elf_arch(os.path.join(runtime, "lib", "libjli.so")) == arch:
            return runtime, None
    return None, "no installed Java runtime for %s (installed: %s)" % (
        arch, ", ".join(sorted(seen)) or "none")


class LinuxImage:
    def __init__(self, root, name):
        self.root = root
        self.name = name
        self.exe = os.path.join(root, name)
        self.app_dir = os.path.join(root, "app")
        self.config_path = os.path.join(self.app_dir, name + ".cfg")

    def write_config(self, text):
        with open(self.config_path, "wb") as out:
            out.write(text.encode("utf-8"))

    def add_tree(self, source, relative):
        """Copies a file or directory into the image."""
        target = os.path.join(self.root, relative)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        if os.path.isdir(source):
            shutil.copytree(source, target)
        else:
            shutil.copyfile(source, target)
        return target


def assemble(root, launcher, runtime, name="Demo", config=None, link_runtime=True):
    """Lays out an image in root: the launcher as <name>, the config file
    when one is given, "runtime" as a link to the runtime directory unless
    link_runtime is false."""
    image = LinuxImage(root, name)
    os.makedirs(image.app_dir, exist_ok=True)
    shutil.copy2(launcher, image.exe)
    if config is not None:
        image.write_config(config)
    if link_runtime:
        os.symlink(runtime, os.path.join(root, "runtime"))
    return image


if __name__ == "__main__":
    # linux_image.py --find-runtime ARCH: prints the runtime directory (exit
    # code 0) or why there is none (exit code 1); the build asks this when
    # it registers the tests.
    import sys
    if len(sys.argv) != 3 or sys.argv[1] != "--find-runtime":
        sys.exit("usage: linux_image.py --find-runtime x86_64|i686")
    found, why = find_runtime(sys.argv[2])
    print(found or why)
    sys.exit(0 if found else 1)


def run(exe, args=(), **environment_values):
    """Runs an image's launcher as a user would, without the variables that
    change what a Java runtime does, and with its output captured."""
    environment = dict(os.environ, LC_ALL="C.UTF-8", **environment_values)
    for name in ("LD_LIBRARY_PATH", "JAVA_TOOL_OPTIONS", "_JAVA_OPTIONS", "JDK_JAVA_OPTIONS", "CLASSPATH"):
        environment.pop(name, None)
    if os.environ.get("VX_E2E_SANITIZED"):
        environment["ASAN_OPTIONS"] = "detect_leaks=0"
    return subprocess.run([exe] + list(args), stdin=subprocess.DEVNULL, capture_output=True, env=environment,
                          timeout=120)
