"""OrvaServer under Wine's service control manager, driven over TCP.

The service tests run in a Wine prefix of their own with a wineserver of
their own: `wineboot -i` on a prefix that is already set up leaves two
services.exe behind, and the service control manager then loses its
services and its locks. Here the prefix is booted with plain wineboot, and
the session ends with `wineserver -k`, which ends every process of the
prefix (killing only the server would leave them behind).
"""
import os
import pathlib
import re
import shutil
import subprocess
import sys
import time

import pytest

HERE = pathlib.Path(__file__).resolve().parent
sys.path[:0] = [str(HERE), str(HERE.parents[2] / 'tools' / 'pytest')]

from orva_e2e import ORVA_BIN, ORVA_WINE_RUN, run_wine, wait_for, win_path, x_display  # noqa: E402,F401

PREFIX = pathlib.Path(os.environ.get('ORVA_SERVICE_WINEPREFIX', ORVA_BIN.parent / 'wineprefix-service'))

SERVICE = 'OrvaStanardServer'
PORT = 2000


def wine_env():
    env = dict(os.environ)
    env.update(WINEPREFIX=str(PREFIX), WINEDEBUG='-all', WINEDLLOVERRIDES='mscoree,mshtml=', WINEARCH='win64')
    return env


def wine(*args, timeout=120):
    """Runs a Wine program of the service prefix; returns (exit code, output text)."""
    rc, out = run_wine(args, env=wine_env(), timeout=timeout)
    return rc, out.decode(errors='replace')


def listening_on_port():
    """Local addresses (hex, as /proc/net/tcp shows them) listening on PORT."""
    found = []
    for table in ('/proc/net/tcp', '/proc/net/tcp6'):
        try:
            lines = pathlib.Path(table).read_text().splitlines()[1:]
        except OSError:
            continue
        for line in lines:
            fields = line.split()
            address, port = fields[1].rsplit(':', 1)
            if int(port, 16) == PORT and fields[3] == '0A':
                found.append(address)
    return found


@pytest.fixture(scope='session')
def wine_scm():
    """A running wineserver and services.exe for the service prefix."""
    PREFIX.mkdir(parents=True, exist_ok=True)
    server_bin = shutil.which('wineserver') or '/usr/lib/wine/wineserver64'
    server = subprocess.Popen([server_bin, '-f', '-p'], env=wine_env(), stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    try:
        # Wine's own services start here and live as long as the server: they
        # must not inherit the test runner's pipes.
        subprocess.run([ORVA_WINE_RUN, 'wineboot'], env=wine_env(), stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)
        assert not listening_on_port(), f'port {PORT} is already in use'
        yield
    finally:
        subprocess.run([server_bin, '-k'], env=wine_env(), stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
        try:
            server.wait(timeout=20)
        except subprocess.TimeoutExpired:
            server.kill()
            server.wait()


class Service:
    """OrvaServer.exe in a folder of its own, registered as the service."""

    def __init__(self, root):
        self.folder = root / 'Orvanta'
        self.folder.mkdir()
        self.exe = self.folder / 'OrvaServer.exe'
        shutil.copy(ORVA_BIN / 'OrvaServer.exe', self.exe)
        # Port 2000 is machine-wide: another run of these tests (or any other
        # program on it) would answer in place of this service.
        wait_for(lambda: not listening_on_port(), 30, f'port {PORT} to be free')
        wine('sc', 'delete', SERVICE)
        # The previous test's service stays marked for deletion until Wine's
        # service manager has let go of it: a loaded machine takes a moment.
        deadline = time.monotonic() + 60
        while True:
            rc, out = wine('sc', 'create', SERVICE, 'binPath=', win_path(self.exe))
            if rc == 0 or time.monotonic() > deadline:
                break
            time.sleep(1)
        assert rc == 0, out

    def query(self):
        """(state, win32 exit code, service exit code) from sc query."""
        rc, out = wine('sc', 'query', SERVICE)
        assert rc == 0, out
        state = int(re.search(r'STATE\s*:\s*(\d+)', out).group(1))
        win32 = int(re.search(r'WIN32_EXIT_CODE\s*:\s*(\d+)', out).group(1))
        specific = int(re.search(r'SERVICE_EXIT_CODE\s*:\s*(\d+)', out).group(1))
        return state, win32, specific

    def start(self, wait_listening=True):
        # On a loaded machine Wine's service manager can give up on a service
        # whose process is slow to start ("Internal error"); a service left
        # stopped by that is started again.
        for _ in range(3):
            rc, out = wine('net', 'start', SERVICE)
            if rc == 0 or self.query()[0] != 1:
                break
            time.sleep(2)
        assert rc == 0 or self.query()[0] in (2, 4), out
        if wait_listening:
            wait_for(listening_on_port, 30, 'the service to listen')

    def stop(self):
        rc, out = wine('net', 'stop', SERVICE)
        assert rc == 0, out
        self.wait_gone()

    def wait_gone(self):
        """Waits until the service is STOPPED and its process has let go of the port."""
        wait_for(lambda: self.query()[0] == 1, 30, 'STOPPED')
        wait_for(lambda: not listening_on_port(), 30, 'the port to be released')

    def file(self, name):
        path = self.folder / name
        return path.read_bytes() if path.exists() else b''

    def event_lines(self):
        return self.file('OrvaServer_Event.log').decode('latin-1').splitlines()

    def task_lines(self):
        return self.file('OrvaTask.log').decode('latin-1').split('\r\n')[:-1]


@pytest.fixture
def service(wine_scm, tmp_path):
    svc = Service(tmp_path)
    try:
        yield svc
    finally:
        if svc.query()[0] != 1:
            wine('net', 'stop', SERVICE)
        try:
            svc.wait_gone()
        finally:
            wine('sc', 'delete', SERVICE)


# --- Jobs that run tools: a fixture drive, the status reports, the logs.

from job_wire import unpack  # noqa: E402

FINAL_STATES = (0, 1, 2, -1)
LOG_LINE = re.compile(r'^\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\]\[([^\]]+)\] (.*)$')


@pytest.fixture
def drive(service, tmp_path):
    """The service folder with the tools, and a drive letter of the service
    prefix on a fixture folder."""
    for exe in ('OrvaImage.exe', 'vshadow.exe', 'vshadow_amd64.exe'):
        shutil.copy(ORVA_BIN / exe, service.folder / exe)
    live = tmp_path / 'drive'
    (live / 'sub' / 'deep').mkdir(parents=True)
    (live / 'skip').mkdir()
    (live / 'data.txt').write_bytes(b'as at the snapshot\r\n')
    (live / 'sub' / 'inner.txt').write_bytes(b'inner\r\n')
    (live / 'sub' / 'deep' / 'gone.txt').write_bytes(b'excluded below the root\r\n')
    (live / 'skip' / 'x.txt').write_bytes(b'excluded at the root\r\n')
    rnd = os.urandom(1 << 20)
    for i in range(24):  # enough for the run to outlast a few polls
        (live / 'sub' / f'blob{i:02}.bin').write_bytes(rnd[i:] + rnd[:i])
    dosdevices = PREFIX / 'dosdevices'
    used = {p.name[0].lower() for p in dosdevices.iterdir() if len(p.name) == 2 and p.name[1] == ':'}
    letter = next(c for c in 'tuvwxyrsq' if c not in used)
    link = dosdevices / f'{letter}:'
    link.symlink_to(live)
    repo = tmp_path / 'repo'
    repo.mkdir()
    try:
        yield letter.upper(), live, repo
    finally:
        link.unlink()


def reports_until_final(m, name, timeout=60, finals=2, states=FINAL_STATES):
    """Status reports of the job up to its final reports (two of them after
    a run, one when the run could not start)."""
    got, end = [], time.monotonic() + timeout
    while time.monotonic() < end:
        raw = m.receive(timeout=max(0.1, end - time.monotonic()))
        if raw is None:
            break
        r = unpack(raw)
        if r['jobName'] != name:
            continue
        got.append(r)
        if sum(1 for x in got if x['jobState'] in states) == finals:
            return got
    raise AssertionError(f'no final report: {[x["jobState"] for x in got]}')


def run_each_from_schedule_file(service, records):
    """Starts the service on a schedule file of `records` (name: record) and
    runs each once: each must end failed (1), with its history line."""
    from job_wire import RUNJOB, Manager, schedule_file, unpack, with_code
    (service.folder / 'OrvaSchedule.ovc').write_bytes(schedule_file(list(records.values())))
    service.start()
    m = Manager()
    assert sorted(unpack(r)['jobName'] for r in m.job_list()) == sorted(records)
    for done, (name, record) in enumerate(records.items(), 1):
        m.send(with_code(record, RUNJOB))
        reports = reports_until_final(m, name, finals=1)
        assert reports[-1]['jobState'] == 1, (name, [r['jobState'] for r in reports])
        wait_for(lambda: service.file('OrvaHistory.log').count(b'\n') == done, 30, 'the history line')
        time.sleep(1)  # past the re-arm of the run before
    m.close()


def job_lines(service, name):
    lines = service.file('OrvaJob.log').decode('latin-1').split('\r\n')[:-1]
    out = []
    for line in lines:
        m = LOG_LINE.match(line)
        assert m, line
        if m.group(1) == name:
            out.append(m.group(2))
    return out


def tree(root):
    out = {}
    for dirpath, dirnames, filenames in os.walk(root):
        for n in dirnames + filenames:
            p = os.path.join(dirpath, n)
            rel = os.path.relpath(p, root)
            out[rel] = None if os.path.isdir(p) else open(p, 'rb').read()
    return out


def restore(image, target):
    rc, out = wine(str(ORVA_BIN / 'OrvaImage.exe'), 'x', win_path(image), '-o' + win_path(target))
    assert 'Everything is Ok' in out, out[-2000:]


@pytest.fixture
def windows10(service):
    """The service prefix reports Windows 10 while the test runs, so image
    jobs take the exposed-snapshot route (the caption is read at service
    start)."""
    key = 'HKCU\\Software\\Wine'
    rc, out = wine('reg', 'add', key, '/v', 'Version', '/d', 'win10', '/f')
    assert rc == 0, out
    try:
        yield
    finally:
        if service.query()[0] != 1:
            service.stop()
        wine('reg', 'delete', key, '/v', 'Version', '/f')


def unc_shares():
    root = PREFIX / 'dosdevices' / 'unc'
    return sorted(str(p.relative_to(root)) for p in root.glob('*/*')) if root.exists() else []


def snapshots():
    return [p for s in PREFIX.glob('drive_c/users/*/Temp/orva_snapshots') for p in s.iterdir()]


@pytest.fixture(scope='module')
def display():
    """An X display of the manager's own. Screen pictures are read from the X
    server, so any other program's window over the manager's desktop on a
    shared display would come back in its place (all black)."""
    with x_display() as number:
        yield number
