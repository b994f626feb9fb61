"""The record that the stub runtimes' launch entry keeps of each call.

The Windows stub (test/stubruntime/StubJli.cpp) and the POSIX one
(test/posix/native/applauncher/fixture/RecordingJli.cpp) write one format,
described in test/support/LaunchRecord.h: "key=value" lines, each call
starting at its "argc=" line, strings as hex of their bytes. The Windows stub
adds lines about its process (the code page, the process chain, the standard
handles, ...).

Standard library only.
"""

import codecs


def codec_of_code_page(code_page):
    """Python's codec for a Windows code page number."""
    name = "utf-8" if code_page == 65001 else "cp%d" % code_page
    codecs.lookup(name)
    return name


class StubCall:
    """One call of the stub runtime's launch entry."""

    def __init__(self, fields):
        self.fields = fields
        self.argc = int(fields["argc"])
        self.argv = [bytes.fromhex(fields["argv[%d]" % i]) for i in range(self.argc)]
        self.argv_terminator = fields.get("argv[%d]" % self.argc)
        # The POSIX stub records no code page: its bytes are UTF-8 text.
        self.acp = int(fields.get("acp", "65001"))
        self.pid = int(fields["pid"]) if "pid" in fields else None
        self.command_line = _text_or_none(fields.get("cmdline"))
        self.restart_mark = _text_or_none(fields.get("VANTORIX_RESTARTED"))
        self.ancestors = []
        while "ancestor[%d]" % len(self.ancestors) in fields:
            self.ancestors.append(_text_or_none(fields["ancestor[%d]" % len(self.ancestors)]))
        self.jvm_loaded = fields.get("jvm.dll") == "loaded"
        self.splash_loaded = fields.get("splashscreen.dll") == "loaded"
        self.startup_flags = int(fields.get("startup.flags", "0"), 16)
        self.startup_show = int(fields.get("startup.show", "0"))
        self.startup_title = _text_or_none(fields.get("startup.title"))
        self.stdout_type = fields.get("stdout")
        self.stderr_type = fields.get("stderr")
        self.dll_directory = _text_or_none(fields.get("dlldir"))
        self.path = _text_or_none(fields.get("path"))
        self.spawned = fields.get("spawned")
        self.stdin = bytes.fromhex(fields["stdin"]) if "stdin" in fields else None

    @property
    def codec(self):
        return codec_of_code_page(self.acp)

    def arguments(self):
        """The argument vector decoded with the code page it was made in."""
        return [arg.decode(self.codec, errors="replace") for arg in self.argv]

    def launcher_processes(self, exe_name):
        """How many processes of the launcher led to this call: the leading
        run of ancestors (this process first) with the executable's name."""
        count = 0
        for name in self.ancestors:
            if name is None or name.lower() != exe_name.lower():
                break
            count += 1
        return count


def _text_or_none(hex_text):
    if hex_text is None or hex_text == "null":
        return None
    return bytes.fromhex(hex_text).decode("utf-8", errors="replace")


def parse_record(data):
    """Splits the record file into its calls (each starts at "argc=")."""
    calls, fields = [], None
    for line in data.decode("ascii").splitlines():
        if not line:
            continue
        key, _, value = line.partition("=")
        if key == "argc":
            if fields is not None:
                calls.append(StubCall(fields))
            fields = {}
        if fields is not None:
            fields[key] = value
    if fields is not None:
        calls.append(StubCall(fields))
    return calls
