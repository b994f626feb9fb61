"""The Windows part of the demo (called by scripts/demo.sh): makes Windows
images of the demo application with the image tool and runs them under Wine.

    demo.py --kit build/win64/bin --stub-runtime build/win64/stubruntime \
        --input build/demo/input --out build/demo

The runtime in the images is the project's stub: its launch entry records
the JVM argument list that a real Java runtime would receive, and this
script prints it.
"""

import argparse
import ntpath
import os
import shlex
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "test", "e2e"))
import image as images  # noqa: E402
from test_installer import UNINSTALL_KEY, Wine, link_target  # noqa: E402


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


def make_image(kit, stub_runtime, input_dir, output, name, *options):
    """Runs the image tool as a user would; prints the command line."""
    command = [os.path.join(kit, "vantorix-image"), "--name", name, "--input", input_dir,
               "--main-jar", "orbit.jar", "--target", "windows-x64", "--runtime", stub_runtime,
               "--output", output, *options]
    print("   $ " + " ".join(shlex.quote(shown(part)) for part in command))
    completed = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    sys.stdout.write("".join("   " + line + "\n" for line in completed.stdout.splitlines()))
    if completed.returncode != 0:
        raise SystemExit("demo: the image tool failed")
    return images.AppImage(output, name)


def show_setup(tools, kit, stub_runtime, input_dir, out):
    """The setup program that users download: made, installed silently,
    started from its Start-menu shortcut's target, and uninstalled."""
    heading("The setup program: the same image and Orbit-1.0.0-setup.exe (--installer exe)")
    if not shutil.which("makensis"):
        print("   skipped: makensis is not installed (scripts/install-deps.sh installs nsis)")
        return
    make_image(kit, stub_runtime, input_dir, os.path.join(out, "setup", "Orbit"), "Orbit",
               "--version", "1.0.0", "--vendor", "Orbit Works", "--installer", "exe")
    setup = os.path.join(out, "setup", "Orbit-1.0.0-setup.exe")
    wine = Wine(tools)
    key = "HKCU\\" + UNINSTALL_KEY + "Orbit-Works.Orbit"
    print("   $ wine %s /S" % shown(setup))
    code = wine.run(setup, ["/S"])
    values = wine.registry_values(key) or {}
    print("   exit code: %d; uninstall key %s:" % (code, key))
    for field in ("DisplayName", "DisplayVersion", "Publisher", "InstallLocation", "StartMenuShortcut"):
        print("     %s = %s" % (field, values.get(field)))
    if code != 0 or "StartMenuShortcut" not in values:
        raise SystemExit("demo: the setup program failed")
    target = link_target(wine.host_path(values["StartMenuShortcut"]))
    print("   the Start-menu shortcut starts " + target)
    installed = images.AppImage(wine.host_path(ntpath.dirname(target)), "Orbit")
    show_run(images.run(tools, installed, path=""), installed)
    uninstaller = os.path.join(installed.root, "uninstall.exe")
    print('   $ wine "%s\\uninstall.exe" /S' % values["InstallLocation"])
    code = wine.run(uninstaller, ["/S"])
    # The uninstaller copies itself away and runs the copy, which ends later.
    deadline = time.time() + 60
    while (wine.registry_values(key) is not None or os.path.exists(installed.root)) and time.time() < deadline:
        time.sleep(0.5)
    print("   exit code: %d; key %s, folder %s" % (
        code, "still there" if wine.registry_values(key) is not None else "gone",
        "still there" if os.path.exists(installed.root) else "gone"))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--kit", required=True, help="the Windows launchers and the image tool")
    parser.add_argument("--stub-runtime", required=True, help="the stub runtime directory")
    parser.add_argument("--input", required=True, help="the application's files (orbit.jar)")
    parser.add_argument("--out", required=True, help="where the images are laid out")
    options = parser.parse_args()

    tools = images.Tools(
        launcher=os.path.join(options.kit, "VantorixLauncher.exe"),
        stub_runtime=options.stub_runtime,
        wine_run=os.path.join(ROOT, "cmake", "wine-run.sh"))
    out = os.path.join(options.out, "windows")
    shutil.rmtree(out, ignore_errors=True)

    heading("The Windows image (GUI launcher); its runtime is the stub")
    orbit = make_image(options.kit, options.stub_runtime, options.input, os.path.join(out, "Orbit"),
                       "Orbit", "--java-option", "-Xmx256m", "--argument", "Earth")
    show_tree(orbit.root)
    heading("app/Orbit.cfg")
    with open(orbit.config_path, encoding="utf-8") as config:
        sys.stdout.write("".join(("   " + line).rstrip() + "\n" for line in config))

    # Started as a user would: the prefix's own "PATH" does not list the
    # application directory.
    heading("Orbit.exe under Wine")
    show_run(images.run(tools, orbit, path=""), orbit)

    heading('Orbit.exe Mars (command-line arguments replace the defaults)')
    show_run(images.run(tools, orbit, ["Mars"], path=""), orbit)

    # The console launcher, for command-line applications: the caller's
    # standard handles, and the application's exit code as its own.
    heading("OrbitTool.exe: the same application with the console launcher (--console)")
    console = tools.with_launcher(os.path.join(options.kit, "VantorixLauncherConsole.exe"))
    tool = make_image(options.kit, options.stub_runtime, options.input, os.path.join(out, "OrbitTool"),
                      "OrbitTool", "--console")
    run = images.run(console, tool, ["Mars"], path="", env={
        "VX_STUB_STDOUT": "Hi from the application's standard output\n", "VX_STUB_EXIT_PROCESS": "3"})
    print("   standard output: " + run.stdout.decode("utf-8").rstrip())
    show_run(run, tool)

    show_setup(tools, options.kit, options.stub_runtime, options.input, out)

    broken = images.AppImage(os.path.join(out, "Broken"), "Orbit")
    shutil.copytree(orbit.root, broken.root)
    shutil.rmtree(os.path.join(broken.root, "runtime"))
    heading("A broken image: " + shown(broken.root) + " has lost its runtime/ directory")
    show_run(images.run(tools, broken, path=""), broken)


if __name__ == "__main__":
    main()
