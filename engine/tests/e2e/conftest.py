import pathlib
import subprocess
import sys

import pytest

HERE = pathlib.Path(__file__).resolve().parent
sys.path[:0] = [str(HERE), str(HERE.parents[2] / 'tools' / 'pytest')]

from orva_e2e import ORVA_BIN, ORVA_WINE_RUN, win_path  # noqa: E402,F401


def run_program(exe, *args, cwd=None, timeout=300):
    """Run a Windows program of the build under Wine; stdout kept as bytes.
    On a loaded machine Wine now and then fails to start a program at all
    (exit code 1, not a byte written, where the engine always prints its
    banner first): such a start is tried again, at most twice."""
    for _ in range(3):
        done = subprocess.run(
            [ORVA_WINE_RUN, str(ORVA_BIN / exe), *args], cwd=cwd,
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout)
        if not (done.returncode == 1 and not done.stdout and not done.stderr):
            break
    return done


@pytest.fixture(scope='session')
def fixture_dir(tmp_path_factory):
    """Files written once per session by tav_fixture_writer.exe."""
    folder = tmp_path_factory.mktemp('tav_fixtures')
    done = run_program('tav_fixture_writer.exe', win_path(folder))
    assert done.returncode == 0, done.stderr.decode(errors='replace')
    return folder


@pytest.fixture
def small_disk(tmp_path):
    """A 1 MiB file system of its own, mounted for the test."""
    mount = tmp_path / 'small'
    mount.mkdir()
    done = subprocess.run(['mount', '-t', 'tmpfs', '-o', 'size=1m', 'tmpfs', str(mount)],
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if done.returncode != 0:
        pytest.skip('cannot mount a small file system here (needs root)')
    yield mount
    subprocess.run(['umount', '-l', str(mount)])
