import os
import pathlib
import sys
import tempfile

HERE = pathlib.Path(__file__).resolve().parent
sys.path[:0] = [str(HERE), str(HERE.parents[1] / 'tools' / 'pytest')]

from orva_e2e import ORVA_BIN, run_wine, win_path  # noqa: E402,F401


def wine(*args, env=None, timeout=120):
    """Runs a Windows program under Wine; returns (exit code, output text).
    The build's bin folder comes first on the search path, so "robocopy"
    names the stand-in, not Wine's own."""
    full = dict(os.environ)
    full['WINEPATH'] = win_path(ORVA_BIN)
    full.update(env or {})
    rc, out = run_wine(args, env=full, timeout=timeout)
    return rc, out.decode('cp1252', errors='replace')


def cmd(line, env=None):
    """One command line run by the command interpreter, as the service and the
    media maker's script run it. The line goes through a script file: Wine
    would escape the quotes of a line given as an argument."""
    with tempfile.NamedTemporaryFile('wb', suffix='.cmd', delete=False) as script:
        script.write(b'@echo off\r\n' + line.encode('cp1252') + b'\r\nexit /b %ERRORLEVEL%\r\n')
    try:
        return wine('cmd', '/c', win_path(script.name), env=env)
    finally:
        os.unlink(script.name)


def attributes(path):
    """The letters that Wine's attrib shows for a file (R, H, S, A)."""
    code, text = cmd(f'attrib "{win_path(path)}"')
    assert code == 0, text
    return set(text.split(win_path(path))[0].replace(' ', ''))


def tree(root):
    """Relative path -> file bytes (None for a folder) below root."""
    found = {}
    for path in sorted(pathlib.Path(root).rglob('*')):
        found[path.relative_to(root).as_posix()] = None if path.is_dir() else path.read_bytes()
    return found
