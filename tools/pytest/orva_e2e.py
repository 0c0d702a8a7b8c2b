"""What the end-to-end tests share: where the build's programs are, Wine's
name of a Linux path, running a Windows program with its output through a
file, waiting for a state, and an X display of a test's own.

Each conftest.py puts this folder on the search path and imports from here.
"""
import contextlib
import importlib.util
import os
import pathlib
import subprocess
import sys
import tempfile
import time

REPO = pathlib.Path(__file__).resolve().parents[2]
ORVA_BIN = pathlib.Path(os.environ.get('ORVA_BIN', REPO / 'build' / 'bin'))
ORVA_WINE_RUN = os.environ.get('ORVA_WINE_RUN', str(REPO / 'tools' / 'wine-run'))


def win_path(path):
    """Wine's Z: drive name of a Linux absolute path."""
    return 'Z:' + str(path).replace('/', '\\')


def run_wine(args, env=None, cwd=None, timeout=120):
    """Runs a Windows program under Wine; returns (exit code, output bytes).
    The output goes through a file, so a process left running cannot hold a
    pipe open."""
    with tempfile.TemporaryFile() as out:
        done = subprocess.run([ORVA_WINE_RUN, *args], cwd=cwd, stdin=subprocess.DEVNULL, stdout=out,
                              stderr=subprocess.STDOUT, env=env, timeout=timeout)
        out.seek(0)
        return done.returncode, out.read()


def wait_for(check, seconds, what):
    """The first true value of check(), tried every 0.1 s for the given time."""
    end = time.monotonic() + seconds
    while True:
        value = check()
        if value:
            return value
        if time.monotonic() > end:
            raise AssertionError(f'timed out waiting for {what}')
        time.sleep(0.1)


@contextlib.contextmanager
def x_display():
    """A display number (":N") on an Xvfb of its own, ended on leaving."""
    read, write = os.pipe()
    xvfb = subprocess.Popen(['Xvfb', '-displayfd', str(write), '-screen', '0', '1280x1024x24', '-nolisten', 'tcp'],
                            pass_fds=(write,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write)
    try:
        with os.fdopen(read) as numbers:
            number = numbers.readline().strip()
        assert number, 'Xvfb did not start'
        yield f':{number}'
    finally:
        xvfb.terminate()
        xvfb.wait()


def load_module(name, path):
    """Loads a Python file under a name of its own (another folder's
    conftest.py, whose fixtures a test folder shares)."""
    spec = importlib.util.spec_from_file_location(name, path)
    module = importlib.util.module_from_spec(spec)
    sys.modules[name] = module
    spec.loader.exec_module(module)
    return module
