"""Application images around the built launcher, run under Wine.

An image is laid out as a packaging step leaves it:

    <root>/<Name>.exe                  the launcher, copied and renamed
    <root>/app/<Name>.cfg              the launcher config file
    <root>/runtime/bin/jli.dll         the stub runtime
    <root>/runtime/bin/server/jvm.dll
    <root>/runtime/bin/splashscreen.dll

The stub runtime's jli.dll records every call of its launch entry in the
file named by VX_STUB_RECORD (see test/stubruntime/StubJli.cpp); the three
libraries log their loading and unloading to VX_STUB_EVENTS. `run` points
both at files of its own and hands back what they received together with
the exit code and the two output streams.

Used by the end-to-end tests and by scripts/demo.sh; standard library only.
"""

import os
import re
import shlex
import shutil
import subprocess
import tempfile

from launch_record import parse_record  # noqa: F401 (the tests read records through this module)

RUNTIME_LIBRARIES = ("jli.dll", os.path.join("server", "jvm.dll"), "splashscreen.dll")


class Tools:
    """Where the built pieces are."""

    def __init__(self, launcher, stub_runtime, wine_run, arch="x86_64", msgbox_reader=None, helper=None):
        self.launcher = launcher
        self.stub_runtime = stub_runtime
        self.wine_run = wine_run
        self.arch = arch
        self.msgbox_reader = msgbox_reader
        self.helper = helper

    @classmethod
    def from_environment(cls):
        """The paths that the CTest registration passes (VX_E2E_*)."""
        missing = [name for name in ("VX_E2E_LAUNCHER", "VX_E2E_STUB_RUNTIME", "VX_E2E_WINE_RUN")
                   if not os.environ.get(name)]
        if missing:
            raise RuntimeError("not set: " + ", ".join(missing) + " (run the tests through ctest)")
        return cls(os.environ["VX_E2E_LAUNCHER"], os.environ["VX_E2E_STUB_RUNTIME"],
                   os.environ["VX_E2E_WINE_RUN"], os.environ.get("VX_E2E_ARCH", "x86_64"),
                   os.environ.get("VX_E2E_MSGBOX_READER"), os.environ.get("VX_E2E_HELPER"))

    @property
    def jli_entry_name(self):
        """The export name of the runtime's launch entry: the i686 runtime
        exports the decorated stdcall name."""
        return "_JLI_Launch@56" if self.arch == "i686" else "JLI_Launch"

    def with_launcher(self, launcher):
        """The same tools with another build of the launcher."""
        return Tools(launcher, self.stub_runtime, self.wine_run, self.arch, self.msgbox_reader, self.helper)

    def wine_command(self, program, args=()):
        return [self.wine_run, "--arch=" + self.arch, program, *args]


def windows_path(path):
    """The form in which a Windows program under Wine sees a host path."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class AppImage:
    def __init__(self, root, name):
        self.root = root
        self.name = name
        self.exe = os.path.join(root, name + ".exe")
        self.app_dir = os.path.join(root, "app")
        self.config_path = os.path.join(self.app_dir, name + ".cfg")

    # The paths as the launcher itself sees and reports them.
    @property
    def win_root(self):
        return windows_path(self.root)

    @property
    def win_exe(self):
        return windows_path(self.exe)

    @property
    def win_app_dir(self):
        return windows_path(self.app_dir)

    @property
    def win_config_path(self):
        return windows_path(self.config_path)

    def write_config(self, text):
        """Writes the config file as UTF-8, exactly as given (no newline
        translation)."""
        with open(self.config_path, "wb") as out:
            out.write(text.encode("utf-8"))

    def add_runtime(self, stub_runtime, directory="runtime", libraries=RUNTIME_LIBRARIES):
        """Copies the stub runtime's libraries into <root>/<directory>/bin."""
        bin_dir = os.path.join(self.root, directory, "bin")
        for library in libraries:
            target = os.path.join(bin_dir, library)
            os.makedirs(os.path.dirname(target), exist_ok=True)
            shutil.copyfile(os.path.join(stub_runtime, "bin", library), target)
        return bin_dir

    def add_fixture(self, stub_runtime, fixture, relative_path):
        """Copies one of the stub runtime's fixture libraries into the image."""
        target = os.path.join(self.root, relative_path)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copyfile(os.path.join(stub_runtime, "fixtures", fixture), target)
        return target

    def add_file(self, relative_path, content=b""):
        path = os.path.join(self.root, relative_path)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(content)
        return path


def assemble(root, tools, name="Demo", config=None, runtime=True):
    """Lays out an image in root (created when missing): the launcher as
    <name>.exe, the config file when one is given, the stub runtime in
    "runtime" unless runtime is false."""
    image = AppImage(root, name)
    os.makedirs(image.app_dir, exist_ok=True)
    shutil.copyfile(tools.launcher, image.exe)
    if config is not None:
        image.write_config(config)
    if runtime:
        image.add_runtime(tools.stub_runtime)
    return image


class Run:
    """What one start of the launcher produced."""

    def __init__(self, exit_code, stdout, stderr, record, events):
        self.exit_code = exit_code
        self.stdout = stdout
        self.stderr = stderr
        self.calls = parse_record(record)
        self.events = events.decode("ascii").splitlines()

    @property
    def stderr_text(self):
        return self.stderr.decode("utf-8", errors="replace")

    @property
    def call(self):
        """The one call of the launch entry; fails unless there was exactly one."""
        if len(self.calls) != 1:
            raise AssertionError("expected one call of the launch entry, got %d" % len(self.calls))
        return self.calls[0]


class Launch:
    """One start of an image's launcher, with files for everything it and the
    stub runtime write. Use `run` for the common case."""

    def __init__(self, tools, image, args=(), path=None, env=None, display=None, debug=None,
                 stub_exit=None, starter=None, cwd=None, stdin=None, ctrl_c=False):
        """path: the Windows "PATH" entries put in front of the prefix's own
        (WINEPATH); None means the image's application directory, "" means
        nothing added. env: extra variables. display: the X display for
        message boxes (none by default, so that a box never blocks).
        starter: options of "e2ehelper start", which then starts the
        launcher (as a shortcut, a double-click or a service would); the
        full 32-bit exit code is then in exit_code. cwd: the current
        directory (a host path). stdin: bytes for standard input (read from
        a file). ctrl_c: "e2ehelper ctrl-c" starts the launcher and sends
        Ctrl+C once the runtime has been called (run it in a terminal)."""
        self.tools = tools
        self.image = image
        self.args = list(args)
        self.starter = starter
        self.cwd = cwd
        self.stdin = stdin
        self.ctrl_c = ctrl_c
        self.work = tempfile.mkdtemp(prefix="vx-run-")
        self.record_file = os.path.join(self.work, "record.txt")
        self.events_file = os.path.join(self.work, "events.txt")
        self.stdout_file = os.path.join(self.work, "stdout.txt")
        self.stderr_file = os.path.join(self.work, "stderr.txt")
        self.exit_code_file = os.path.join(self.work, "exit-code.txt")

        environment = dict(os.environ)
        for name in ("DISPLAY", "VANTORIX_DEBUG", "VANTORIX_RESTARTED", "VX_STUB_EXIT",
                     "VX_STUB_EXIT_PROCESS", "VX_STUB_SPAWN", "VX_STUB_SPAWN_INHERIT", "VX_STUB_STDIN", "VX_STUB_STDOUT",
                     "VX_STUB_STDERR", "VX_STUB_STDERR_MB", "VX_STUB_SLEEP_MS", "VX_STUB_CTRL_EXIT"):
            environment.pop(name, None)
        # Wine decodes the host's command line and file names with the host
        # locale; C.UTF-8 is always there.
        environment["LC_ALL"] = "C.UTF-8"
        environment["WINEPATH"] = image.win_app_dir if path is None else path
        environment["VX_STUB_RECORD"] = windows_path(self.record_file)
        environment["VX_STUB_EVENTS"] = windows_path(self.events_file)
        if display:
            environment["DISPLAY"] = display
        if debug is not None:
            environment["VANTORIX_DEBUG"] = debug
        if stub_exit is not None:
            environment["VX_STUB_EXIT"] = str(stub_exit)
        environment.update(env or {})
        self.environment = environment
        self.process = None

    def command(self):
        if self.starter is None and not self.ctrl_c:
            return self.tools.wine_command(self.image.exe, self.args)
        if not self.tools.helper:
            raise RuntimeError("VX_E2E_HELPER not set")
        if self.ctrl_c:
            return self.tools.wine_command(self.tools.helper, [
                "ctrl-c", windows_path(self.record_file), "--", self.image.win_exe, *self.args])
        return self.tools.wine_command(self.tools.helper, [
            "start", *self.starter, "--exit-code-file", windows_path(self.exit_code_file), "--",
            self.image.win_exe, *self.args])

    def start(self):
        """Starts the launcher in the background; output goes to files (a Wine
        helper that inherits a pipe would keep it open)."""
        stdin_file = os.path.join(self.work, "stdin.txt")
        with open(stdin_file, "wb") as data:
            data.write(self.stdin or b"")
        with open(self.stdout_file, "wb") as out, open(self.stderr_file, "wb") as err, \
                open(stdin_file, "rb") as stdin:
            self.process = subprocess.Popen(self.command(), stdin=stdin if self.stdin is not None else
                                            subprocess.DEVNULL, stdout=out, stderr=err,
                                            env=self.environment, cwd=self.cwd)
        return self

    def run_with_pipes(self, timeout=60):
        """Runs the launcher with pipes for all three standard handles (the
        Wine server and its helpers are already running, so no helper can
        inherit them)."""
        completed = subprocess.run(self.command(), input=self.stdin or b"", stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE, env=self.environment, cwd=self.cwd,
                                   timeout=timeout)
        return self._result(completed.returncode, completed.stdout, completed.stderr)

    def wait(self, timeout=60):
        try:
            exit_code = self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.kill()
            raise
        if self.starter is not None:
            exit_code = int(read_file(self.exit_code_file) or b"-1")
        return self._result(exit_code, read_file(self.stdout_file), read_file(self.stderr_file))

    def kill(self):
        """Ends the launcher and every process started from this image (a
        restarted child is not a descendant on the host side) and removes
        the run's files. Safe to call after the run has ended."""
        if self.process is not None and self.process.poll() is None:
            self.process.kill()
            self.process.wait(10)
        for pid in processes_mentioning((self.image.root, self.image.win_root)):
            try:
                os.kill(pid, 9)
            except ProcessLookupError:
                pass
        shutil.rmtree(self.work, ignore_errors=True)

    def run_in_terminal(self, timeout=60):
        """Runs the launcher on a pseudo-terminal (script), so that a console
        the launcher attaches to is captured. stdout of the result holds the
        terminal's text with Wine's cursor control removed."""
        terminal_file = os.path.join(self.work, "terminal.txt")
        # A wide terminal: Wine's console wraps lines at its width.
        inner = "stty cols 4000 rows 50; exec " + " ".join(shlex.quote(part) for part in self.command())
        with open(terminal_file, "wb") as out:
            completed = subprocess.run(["script", "-qfec", inner, "/dev/null"], stdin=subprocess.DEVNULL,
                                       stdout=out, stderr=subprocess.STDOUT, env=self.environment,
                                       timeout=timeout)
        text = terminal_text(read_file(terminal_file))
        return self._result(completed.returncode, text.encode("utf-8"), b"")

    def _result(self, exit_code, stdout, stderr):
        result = Run(exit_code, stdout, stderr, read_file(self.record_file), read_file(self.events_file))
        shutil.rmtree(self.work, ignore_errors=True)
        return result


def run(tools, image, args=(), timeout=60, **options):
    """Runs the image's launcher to its end; see Launch for the options."""
    return Launch(tools, image, args, **options).start().wait(timeout)


_CURSOR_FORWARD = re.compile(r"\x1b\[(\d*)C")
_CONTROL_SEQUENCE = re.compile(r"\x1b\[[0-9;?]*[ -/]*[@-~]|\x1b\][^\x07]*\x07|\x1b[()][0-9A-Za-z]|\x1b[=>]")


def terminal_text(data):
    """The text of a terminal transcript: Wine's console writes blanks as
    cursor moves and hides and shows the cursor around every character."""
    text = data.decode("utf-8", errors="replace")
    text = _CURSOR_FORWARD.sub(lambda m: " " * int(m.group(1) or 1), text)
    text = _CONTROL_SEQUENCE.sub("", text)
    return text.replace("\r", "")


def processes_mentioning(texts):
    """Host processes whose command line contains one of the texts (the
    image root names the launcher's processes, parent and child)."""
    wanted = [text.encode("utf-8") for text in texts]
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit() or int(entry) == os.getpid():
            continue
        try:
            with open("/proc/%s/cmdline" % entry, "rb") as f:
                command_line = f.read()
        except OSError:
            continue
        if any(text in command_line for text in wanted):
            found.append(int(entry))
    return found


def read_file(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except FileNotFoundError:
        return b""
