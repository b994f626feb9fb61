"""Writes a checked plan: the image is built in a temporary directory beside
the output and moved into place at the end, so that a failure never leaves
a half image, and a replaced image is removed only once the new one is in
place."""

import os
import shutil
import tempfile

from . import Refusal, brand


def _copy_tree(source, target):
    # Links are followed: the image must not depend on what they point at on
    # this machine.
    shutil.copytree(source, target, symlinks=False, ignore_dangling_symlinks=True)


def _build(plan, staging):
    executable = os.path.join(staging, plan.executable)
    shutil.copy2(plan.launcher, executable)
    app = os.path.join(staging, "app")
    _copy_tree(plan.input, app)
    with open(os.path.join(app, plan.config_name), "wb") as out:
        out.write(plan.config_data)
    if plan.runtime:
        _copy_tree(plan.runtime, os.path.join(staging, "runtime"))
    if plan.target.windows:
        note = brand.brand(plan, executable)
        if note:
            plan.notes.append(note)


def _move_into_place(staging, output, parent):
    if not os.path.isdir(output):
        os.rename(staging, output)
        return
    # Kept until the new image is in place; put back when that fails.
    old = tempfile.mkdtemp(prefix=".%s.old-" % os.path.basename(output), dir=parent)
    os.rmdir(old)
    os.rename(output, old)
    try:
        os.rename(staging, output)
    except OSError:
        os.rename(old, output)
        raise
    shutil.rmtree(old, ignore_errors=True)


def write(plan):
    parent = os.path.dirname(plan.output)
    try:
        os.makedirs(parent, exist_ok=True)
        staging = tempfile.mkdtemp(prefix=".%s.vantorix-image-" % os.path.basename(plan.output), dir=parent)
    except OSError as error:
        raise Refusal("cannot create a directory beside %s: %s" % (plan.output, error.strerror or error))
    try:
        # mkdtemp's directory is private; the image gets the usual mode.
        umask = os.umask(0)
        os.umask(umask)
        os.chmod(staging, 0o777 & ~umask)
        _build(plan, staging)
        _move_into_place(staging, plan.output, parent)
    except (OSError, shutil.Error) as error:
        raise Refusal("writing the image failed: %s" % _describe(error))
    finally:
        shutil.rmtree(staging, ignore_errors=True)


def _describe(error):
    if isinstance(error, shutil.Error):
        first = error.args[0][0] if error.args and error.args[0] else None
        return "%s: %s" % (first[0], first[2]) if first else str(error)
    if error.filename:
        return "%s: %s" % (error.filename, error.strerror)
    return str(error)
