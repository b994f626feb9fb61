"""Links an i686 MinGW-w64 executable so that --gc-sections drops an unused
function together with its unwind table.

The i686 linker script keeps every unwind section (KEEP(*(.eh_frame*))), and
each one refers to its function, so no function that has an unwind table is
ever dropped: not the launcher's unused ones, nor the members of the C++
runtime's string instantiations that nothing calls (some 80 KB of the
launcher). The unwind table of a function in a section of its own is the
section of the same name (".text$F", ".eh_frame$F"); an object's other
functions have theirs in its ".eh_frame".

(x86_64 keeps its unwind sections, .pdata and .xdata, the same way, but its
linker then loses the personality routine that the kept ones refer to; the
x86_64 launcher's own code is link-time optimised, which drops its unused
functions before the link.)

This runs the link given on its command line (as CMake's linker launcher)
with the default script changed: an object's own unwind section is kept as
before, a function's is kept only when its function is. Which functions are
kept is read from the link map; the link repeats, keeping the unwind tables
of the functions the last link kept, until it keeps no function whose
table it did not keep (two or three links). A function is then never kept
without its table: an exception thrown through it still unwinds.

    pe-unwind-gc.py <compiler> <link arguments...>
"""

import os
import re
import subprocess
import sys
import tempfile

UNWIND_KEEP = re.compile(r"KEEP\s*\(\s*\*\s*\(\s*\.eh_frame\*\s*\)\s*\)")
REMOVED_UNWIND = re.compile(r"removing unused section '\.eh_frame\$([^'\[]+)")
SCRIPT_BOUNDARY = "=" * 50


def fail(message):
    sys.stderr.write("pe-unwind-gc: %s\n" % message)
    sys.exit(1)


def default_script(compiler):
    linker = subprocess.run([compiler, "-print-prog-name=ld"], capture_output=True, text=True,
                            check=True).stdout.strip()
    printed = subprocess.run([linker, "--verbose"], capture_output=True, text=True, check=True).stdout
    parts = printed.split(SCRIPT_BOUNDARY)
    if len(parts) < 3:
        fail("%s --verbose printed no linker script" % linker)
    script = parts[1].strip("=\n") + "\n"
    if not UNWIND_KEEP.search(script):
        fail("the default linker script of %s keeps no .eh_frame sections this way; link without this step" % linker)
    return script


def script_keeping(script, functions):
    lines = ["KEEP(*(.eh_frame))"]
    lines += ["KEEP(*(.eh_frame$%s))" % name for name in sorted(functions)]
    lines.append("*(.eh_frame*)")
    return UNWIND_KEEP.sub(lambda _: "\n    ".join(lines), script)


def kept_functions(map_path):
    with open(map_path, encoding="utf-8", errors="replace") as f:
        text = f.read()
    # Before the memory map, the map lists the discarded sections too.
    _, found, memory_map = text.partition("Linker script and memory map")
    if not found:
        fail("%s holds no memory map" % map_path)
    return {name for name, size in
            re.findall(r"^ \.text\$(\S+)\s+0x[0-9a-f]+\s+0x([0-9a-f]+)", memory_map, re.M)
            if int(size, 16) > 0}


def main(command):
    if len(command) < 2:
        fail("usage: pe-unwind-gc.py <compiler> <link arguments...>")
    script = default_script(command[0])
    maps = [arg[len("-Wl,-Map="):] for arg in command if arg.startswith("-Wl,-Map=")]
    with tempfile.TemporaryDirectory(prefix="pe-unwind-gc-") as work:
        if maps:
            map_path = maps[-1]
        else:
            map_path = os.path.join(work, "link.map")
            command = command + ["-Wl,-Map=" + map_path]
        script_path = os.path.join(work, "link.ld")
        keep = set()
        for _ in range(10):
            with open(script_path, "w", encoding="utf-8") as f:
                f.write(script_keeping(script, keep))
            linked = subprocess.run(command + ["-Wl,-T," + script_path, "-Wl,--print-gc-sections"],
                                    stderr=subprocess.PIPE, text=True, errors="replace")
            removed = set()
            for line in linked.stderr.splitlines(keepends=True):
                found = REMOVED_UNWIND.search(line)
                if found:
                    removed.add(found.group(1))
                elif "removing unused section" not in line:
                    sys.stderr.write(line)
            if linked.returncode != 0:
                return linked.returncode
            functions = kept_functions(map_path)
            if functions <= keep:
                # The linker's own account: no unwind table went whose
                # function stayed.
                lost = sorted(removed & functions)
                if lost:
                    fail("the link dropped the unwind tables of %d kept functions, among them %s"
                         % (len(lost), ", ".join(lost[:5])))
                return 0
            keep |= functions
    fail("the kept functions did not settle in 10 links")


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
