#!/usr/bin/env python3
"""The size budget of a release-built launcher, checked as the release
archive holds it: stripped.

    launcher_size.py --launcher EXE --budget BYTES --strip STRIP --nm NM [--map LINK_MAP]

Fails when the stripped copy is larger than the budget, and when the
launcher holds iostream or locale symbols of the C++ runtime: one string
stream brings in the runtime's whole locale machinery (some 700 KB,
docs/performance.md). It then names the object files that bring them in,
from the linker's map of the launcher (LINK_MAP; its relative paths start in
the directory that holds it, where the link ran).
"""

import argparse
import os
import re
import subprocess
import sys
import tempfile

# Demangled names of the C++ runtime's streams and locales.
STREAM_SYMBOL = re.compile(
    r"\bstd::(?:__cxx11::)?(?:"
    r"basic_(?:i|o|io)?stream<|basic_(?:i|o)?stringstream<|basic_stringbuf<|basic_(?:i|o)?fstream<|"
    r"basic_filebuf<|basic_streambuf<|basic_ios<|ios_base\b|locale\b|ctype<|num_put<|num_get<|"
    r"w?(?:cout|cerr|cin|clog)\b)")


def nm_lines(nm, path, *flags):
    return subprocess.run([nm, "-C", *flags, path], capture_output=True, text=True).stdout.splitlines()


def stream_symbols(nm, executable):
    """The stream symbols of the executable, the string streams' first: they
    are what a source file names."""
    names = set()
    for line in nm_lines(nm, executable):
        m = re.match(r"^\s*(?:[0-9a-fA-F]+\s+)?\S\s+(.*)$", line)
        if m and STREAM_SYMBOL.search(m.group(1)):
            names.add(m.group(1))
    return sorted(names, key=lambda name: ("stringstream" not in name and "fstream" not in name,
                                           "stream" not in name, name))


def is_toolchain(path):
    """The map names the toolchain's files by absolute path, ours relative
    to the link's directory."""
    return os.path.isabs(path)


def archive_of(input_name):
    """libx.a(member.o) -> libx.a; a plain object file is its own."""
    return re.sub(r"\(.*\)$", "", input_name)


def pulled_members(map_text):
    """(member, referencing input, mangled symbol) for each archive member the
    linker took, from the map's "Archive member included" block."""
    head = map_text.split("\nDiscarded input sections", 1)[0]
    if "Archive member included" not in head:
        return []
    rows, member = [], None
    for line in head.split("Archive member included", 1)[1].splitlines()[1:]:
        if line and not line[0].isspace():
            # A long member name stands alone; a short one shares its line.
            member, _, rest = line.partition(" ")
            line = rest
        m = re.match(r"^\s*(\S+) \((.+)\)$", line)
        if m and member:
            rows.append((member, m.group(1), m.group(2)))
            member = None
    return rows


def demangle(symbols):
    if not symbols:
        return []
    run = subprocess.run(["c++filt"], input="\n".join(symbols) + "\n", capture_output=True, text=True)
    lines = run.stdout.splitlines()
    return lines if len(lines) == len(symbols) else symbols


def our_inputs(map_text):
    """Our object files and archives among the link's inputs."""
    inputs = set()
    for m in re.finditer(r"^LOAD (\S+)$", map_text, re.MULTILINE):
        inputs.add(m.group(1))
    for member, by, _ in pulled_members(map_text):
        inputs.update((archive_of(member), archive_of(by)))
    return sorted(p for p in inputs if not is_toolchain(p))


def objects_using_streams(nm, map_path):
    """{object file: one stream symbol it refers to}, over our inputs of the
    link, and the runtime members that the linker took for one of ours."""
    with open(map_path, errors="replace") as f:
        map_text = f.read()
    link_dir = os.path.dirname(os.path.abspath(map_path))
    users = {}
    for name in our_inputs(map_text):
        path = os.path.join(link_dir, name)
        if not os.path.exists(path):
            continue
        for line in nm_lines(nm, path, "-A", "-u"):
            # "<path>:member.o:   U symbol" for an archive, "<path>:   U symbol"
            where, _, symbol = line.partition(" U ")
            symbol = symbol.strip()
            if STREAM_SYMBOL.search(symbol):
                member = where.strip().rstrip(":")[len(path) + 1:]
                users.setdefault(f"{name}({member})" if member else name, symbol)
    rows = pulled_members(map_text)
    pulled = [(by, os.path.basename(member), symbol)
              for (member, by, _), symbol in zip(rows, demangle([s for _, _, s in rows]))
              if not is_toolchain(by) and STREAM_SYMBOL.search(symbol)]
    return users, pulled


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--launcher", required=True)
    parser.add_argument("--budget", type=int, required=True)
    parser.add_argument("--strip", required=True)
    parser.add_argument("--nm", required=True)
    parser.add_argument("--map")
    opts = parser.parse_args()

    name = os.path.basename(opts.launcher)
    failures = []
    with tempfile.TemporaryDirectory() as work:
        stripped = os.path.join(work, name)
        subprocess.run([opts.strip, "-o", stripped, opts.launcher], check=True)
        size = os.path.getsize(stripped)
    print(f"{name}: {size:,} bytes stripped, budget {opts.budget:,} "
          f"({'within by' if size <= opts.budget else 'OVER by'} {abs(opts.budget - size):,} bytes)")
    if size > opts.budget:
        failures.append(f"{name} is {size - opts.budget:,} bytes over its budget of {opts.budget:,} bytes")

    streams = stream_symbols(opts.nm, opts.launcher)
    if not streams:
        print(f"{name}: no iostream or locale symbols")
    else:
        failures.append(f"{name} holds {len(streams)} iostream and locale symbols of the C++ runtime")
        print(f"{name} links iostreams: {len(streams)} symbols, among them")
        for symbol in streams[:3]:
            print(f"    {symbol}")
        if opts.map and os.path.exists(opts.map):
            users, pulled = objects_using_streams(opts.nm, opts.map)
            print("Object files of the launcher that use them (the launcher has its own small readers "
                  "and formatters instead, docs/performance.md):" if users else
                  f"No object file of the launcher refers to them; see {opts.map}, 'Archive member included'.")
            for obj, symbol in sorted(users.items()):
                print(f"    {obj}: {symbol}")
            for by, member, symbol in pulled:
                print(f"    the linker took the C++ runtime's {member} for {by}: {symbol}")
        else:
            print("(no link map to name the object files that bring them in)")

    for failure in failures:
        print(f"FAILED: {failure}", file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
