"""Lays out sample application images around the built launcher and runs
them under Wine (called by scripts/demo.sh).

    demo.py --build build/win64 --out build/demo

The runtime in the images is the project's stub: its launch entry records
the JVM argument list that a real Java runtime would receive, and this
script prints it.
"""

import argparse
import os
import shutil
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "test", "e2e"))
import image as images  # noqa: E402

CONFIG = """\
[Application]
app.classpath=$APPDIR\\hello.jar
app.classpath=$APPDIR\\lib\\util.jar
app.mainclass=com.example.hello.Main

[JavaOptions]
java-options=-Xmx256m
java-options=-Dhello.home=$APPDIR

[ArgOptions]
arguments=--greeting
arguments=Hello from the launcher
"""


def shown(path):
    """A path relative to the repository when it lies inside it."""
    relative = os.path.relpath(path, ROOT)
    return path if relative.startswith("..") else relative


def heading(text):
    print()
    print("== " + text)


def show_tree(root):
    for directory, _, files in sorted(os.walk(root)):
        for name in sorted(files):
            print("   " + os.path.relpath(os.path.join(directory, name), os.path.dirname(root)))


def show_run(run, image):
    print("   exit code: %d" % run.exit_code)
    if run.stderr:
        print("   standard error: " + run.stderr_text.rstrip())
    for call in run.calls:
        print("   the runtime's JLI_Launch received %d arguments (ANSI code page %d):"
              % (call.argc, call.acp))
        for index, argument in enumerate(call.arguments()):
            print("     [%d] %s" % (index, argument))
        processes = call.launcher_processes(image.name + ".exe")
        if processes > 1:
            print('   launcher processes: %d ("PATH" lacked the app directory, so the launcher'
                  " extended it and started itself once more)" % processes)
        else:
            print("   launcher processes: 1")
    if not run.calls:
        print("   the runtime was not called")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True, help="the win64 build directory")
    parser.add_argument("--out", required=True, help="where the images are laid out")
    options = parser.parse_args()

    tools = images.Tools(
        launcher=os.path.join(options.build, "bin", "VantorixLauncher.exe"),
        stub_runtime=os.path.join(options.build, "stubruntime"),
        wine_run=os.path.join(ROOT, "cmake", "wine-run.sh"))
    shutil.rmtree(options.out, ignore_errors=True)

    hello = images.assemble(os.path.join(options.out, "HelloApp"), tools, "HelloApp", CONFIG)
    hello.add_file(os.path.join("app", "hello.jar"))
    hello.add_file(os.path.join("app", "lib", "util.jar"))
    heading("Sample application image " + shown(hello.root))
    show_tree(hello.root)
    heading("app/HelloApp.cfg")
    sys.stdout.write("".join(("   " + line).rstrip() + "\n" for line in CONFIG.splitlines()))

    # Started as a user would: the prefix's own "PATH" does not list the
    # application directory.
    heading("HelloApp.exe under Wine")
    show_run(images.run(tools, hello, path=""), hello)

    heading('HelloApp.exe --greeting "Hi there" (command-line arguments replace the defaults)')
    show_run(images.run(tools, hello, ["--greeting", "Hi there"], path=""), hello)

    # The console launcher, for command-line applications: the caller's
    # standard handles, and the application's exit code as its own.
    console = tools.with_launcher(os.path.join(options.build, "bin", "VantorixLauncherConsole.exe"))
    tool = images.assemble(os.path.join(options.out, "HelloTool"), console, "HelloTool", CONFIG)
    heading("HelloTool.exe: the same image with the console launcher (VantorixLauncherConsole.exe)")
    run = images.run(console, tool, ["--greeting", "Hi"], path="", env={
        "VX_STUB_STDOUT": "Hi from the application's standard output\n", "VX_STUB_EXIT_PROCESS": "3"})
    print("   standard output: " + run.stdout.decode("utf-8").rstrip())
    show_run(run, tool)

    broken = images.assemble(os.path.join(options.out, "BrokenApp"), tools, "BrokenApp", CONFIG,
                             runtime=False)
    heading("A broken image: " + shown(broken.root) + " has no runtime/ directory")
    show_run(images.run(tools, broken, path=""), broken)
    print()


if __name__ == "__main__":
    main()
