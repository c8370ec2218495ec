"""Shared fixtures: the assembled module tree and subprocess runners."""
import hashlib
import os
import subprocess
import sys

import pytest

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SITE = os.path.join(ROOT, os.environ.get("DORAR_BUILD", "build"), "site")
PYTHON = "/usr/bin/python3"

os.environ.setdefault("QT_QPA_PLATFORM", "offscreen")
if SITE not in sys.path:
    sys.path.insert(0, SITE)

# Without /proc the file system's unnamed temporary files cannot be linked in: the temporary file
# of a replacement then has a name in the folder while it is written.
WITHOUT_PROC = ["unshare", "--mount", "sh", "-c", 'umount -l /proc && exec "$@"', "sh"]


def fingerprint(path):
    """The file's identity, size and time, and the digest of its first megabyte (all of an old file written over)."""
    st = os.stat(path)
    with open(path, "rb") as f:
        head = f.read(1 << 20)
    return st.st_ino, st.st_size, st.st_mtime_ns, hashlib.sha256(head).hexdigest()


def _env(extra=None):
    env = dict(os.environ)
    env["PYTHONPATH"] = SITE
    env.setdefault("QT_QPA_PLATFORM", "offscreen")
    env.update(extra or {})
    return env


def run_module(dotted, *args, env=None, cwd=None, timeout=120, input=None):
    """Start DOTTED as the main program through the runner; returns the CompletedProcess."""
    return subprocess.run([PYTHON, os.path.join(ROOT, "tools", "run-module"), dotted, *args],
                          env=_env(env), cwd=cwd, capture_output=True, text=True, timeout=timeout,
                          input=input)


def run_python(code, env=None, cwd=None, timeout=120):
    """Run CODE in a fresh interpreter that sees the module tree."""
    return subprocess.run([PYTHON, "-c", code], env=_env(env), cwd=cwd, capture_output=True,
                          text=True, timeout=timeout)


@pytest.fixture
def runner():
    return run_module


@pytest.fixture
def python():
    return run_python


def import_error_text(name, module):
    """The interpreter's text for `from module import name` when the name is missing."""
    import importlib.util
    return "cannot import name %r from %r (%s)" % (name, module, importlib.util.find_spec(module).origin)
