"""Branding through vantorix-brand.exe: directly on Windows, under Wine
elsewhere when Wine is there."""

import os
import shlex
import shutil
import subprocess
import tempfile

from . import Refusal

BRAND_TIMEOUT_SECONDS = 300
# Debian's loaders, which its wine command chooses from: each with the
# directory that shows its architecture's Wine is installed.
DEBIAN_LOADERS = {"x64": ("/usr/lib/wine/wine64", "/usr/lib/x86_64-linux-gnu/wine"),
                  "x86": ("/usr/lib/wine/wine", "/usr/lib/i386-linux-gnu/wine")}


def wine_command(wine_option, machine):
    """The command that runs a Windows program of the machine type here, or
    None when there is none. --wine names one (split like a shell line)."""
    if os.name == "nt":
        return []
    if wine_option:
        return shlex.split(wine_option)
    found = shutil.which("wine") or (shutil.which("wine64") if machine == "x64" else None)
    if found:
        return [found]
    loader, directory = DEBIAN_LOADERS.get(machine, (None, None))
    if loader and os.access(loader, os.X_OK) and os.path.isdir(directory):
        return [loader]
    return None


def brand(plan, executable):
    """Brands the executable in place; returns a note when it stays
    unbranded, None when branded. A failure of the tool is a refusal."""
    if not os.path.isfile(plan.brand_tool):
        return "no vantorix-brand.exe beside the launchers: the image is not branded"
    command = wine_command(plan.wine, plan.target.machine)
    if command is None:
        return "Wine is not installed%s: the image is not branded (run vantorix-brand.exe on %s under Windows)" % (
            " for 32-bit programs" if plan.target.machine == "x86" else "", plan.executable)
    environment = dict(os.environ)
    environment.setdefault("WINEDEBUG", "-all")
    # Wine decodes the command line and file names with the locale's
    # character set; the names and paths here are UTF-8.
    locale_name = environment.get("LC_ALL") or environment.get("LC_CTYPE") or environment.get("LANG") or ""
    if os.name != "nt" and "UTF-8" not in locale_name.upper().replace("UTF8", "UTF-8"):
        environment["LC_ALL"] = "C.UTF-8"
    # Files, not pipes: Wine's long-lived helper processes inherit the
    # standard handles and would keep a pipe open after the tool ended.
    with tempfile.TemporaryFile() as output:
        try:
            completed = subprocess.run(command + [plan.brand_tool, executable] + plan.brand_options,
                                       stdin=subprocess.DEVNULL, stdout=output, stderr=output,
                                       env=environment, timeout=BRAND_TIMEOUT_SECONDS)
        except OSError as error:
            raise Refusal("branding failed: %s cannot be started: %s" % (command[0] if command else
                                                                       plan.brand_tool, error.strerror))
        except subprocess.TimeoutExpired:
            raise Refusal("branding failed: vantorix-brand.exe did not end within %d seconds"
                          % BRAND_TIMEOUT_SECONDS)
        output.seek(0)
        text = output.read().decode("utf-8", errors="replace").strip()
    if completed.returncode != 0:
        last = text.splitlines()[-1] if text else "exit code %d" % completed.returncode
        raise Refusal("branding failed: %s" % last)
    return None
