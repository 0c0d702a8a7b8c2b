"""The details pane of OrvaManager.exe against the real service: the rows of
the computer (system caption, task counts, log folder, every repository with
the free space of its own drive) and of one job of each type, read from the
window's list by the test driver; the rows follow the disk when the refresh
timer fires, and a row of the running-job list shows its job's details. A
system whose WMI fails shows WMI's error text as its operating system."""
import os
import pathlib
import re
import shutil
import struct
import subprocess
import tempfile

import pytest

from conftest import ORVA_BIN, end_manager, ORVA_WINE_RUN, PREFIX, reports_until_final, wait_for, wine, wine_env, win_path
from job_wire import RUNJOB, Manager, job, with_code
from test_manager_window import ManagerWindow

SHOTS = ORVA_BIN / 'screenshots'
MIB = 1048576


class Window:
    """OrvaManager.exe started beside the service, on the driver's desktop."""

    box = ManagerWindow.box
    output = ManagerWindow.output

    def __init__(self, folder, display):
        shutil.copy(ORVA_BIN / 'OrvaManager.exe', folder / 'OrvaManager.exe')
        self.rows_file = folder.parent / 'details_rows.bin'
        env = dict(wine_env(), DISPLAY=display)
        self.env = env
        self.proc = subprocess.Popen([ORVA_WINE_RUN, str(ORVA_BIN / 'manager_driver.exe'), 'start',
                                      win_path(folder / 'OrvaManager.exe')], cwd=folder, env=env,
                                     stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)

    def driver(self, *args):
        return subprocess.run([ORVA_WINE_RUN, str(ORVA_BIN / 'manager_driver.exe'), *args], env=self.env,
                              stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=60).returncode

    def rows(self):
        """(label, image, value) of every row of the details list; each row
        carries the state image 1."""
        if self.rows_file.exists():
            self.rows_file.unlink()
        assert self.driver('details', win_path(self.rows_file)) == 0
        out = []
        for row in self.rows_file.read_bytes().decode('utf-8').split('\x1e')[:-1]:
            label, image, state, value = row.split('\x1f')
            assert state == '1', row
            out.append((label, int(image), value))
        return out

    def columns(self, control):
        """(window width, scroll bar shown, its width, edges, column widths) of a list."""
        out = self.rows_file.with_suffix('.columns')
        assert self.driver('columns', str(control), win_path(out)) == 0
        width, shown, bar, edges, *columns = map(int, out.read_text().split())
        return width, bool(shown), bar, edges, columns

    def show(self, name):
        assert self.driver('select', name) == 0, name
        return self.rows()


def size_text(size):
    mb = size // MIB
    return f'{mb} MB' if mb // 1000 == 0 else f'{mb // 1000}.{mb % 1000:03} GB'


def linux_path(path):
    """The Linux path of a Wine path of the service prefix."""
    drive, rest = path[:2], path[2:].replace('\\', '/')
    root = os.path.realpath(PREFIX / 'dosdevices' / drive.lower())
    return pathlib.Path(root + rest)


def megabytes(text):
    m = re.fullmatch(r'(\d+) MB|(\d+)\.(\d{3}) GB', text)
    assert m, text
    return int(m.group(1)) if m.group(1) else int(m.group(2)) * 1000 + int(m.group(3))


def engine(*args):
    rc, out = wine(str(ORVA_BIN / 'OrvaImage.exe'), *args)
    assert 'Everything is Ok' in out, out[-2000:]


def colours(bmp):
    """The colours of a 24-bit BMP, every third pixel of every third line."""
    data = bmp.read_bytes()
    offset, = struct.unpack_from('<I', data, 10)
    width, height = struct.unpack_from('<ii', data, 18)
    bits, = struct.unpack_from('<H', data, 28)
    assert bits == 24
    stride = (width * 3 + 3) & ~3
    return {data[offset + y * stride + x * 3:offset + y * stride + x * 3 + 3]
            for y in range(0, abs(height), 3) for x in range(0, width, 3)}


@pytest.fixture
def second_drive():
    """A drive letter of the service prefix on a disk of another size (a
    tmpfs), with a folder on it."""
    base = pathlib.Path(tempfile.mkdtemp(dir='/dev/shm', prefix='orva_details_'))
    # A small file system of its own where it can be mounted, so that its free
    # space is far from the other drives'.
    mounted = subprocess.run(['mount', '-t', 'tmpfs', '-o', 'size=64m', 'tmpfs', str(base)],
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0
    (base / 'orva').mkdir()
    dosdevices = PREFIX / 'dosdevices'
    used = {p.name[0].lower() for p in dosdevices.iterdir() if len(p.name) == 2 and p.name[1] == ':'}
    letter = next(c for c in 'mnoplkj' if c not in used)
    link = dosdevices / f'{letter}:'
    link.symlink_to(base)
    try:
        yield letter.upper()
    finally:
        link.unlink()
        if mounted:
            subprocess.run(['umount', '-l', str(base)])
        shutil.rmtree(base)


def test_details_rows_of_the_computer_and_each_job_type(service, drive, windows10, second_drive, display, tmp_path):
    letter, live, repo = drive
    shutil.copy(ORVA_BIN / 'robocopy.exe', service.folder / 'robocopy.exe')
    parent = win_path(tmp_path)
    logs = tmp_path / 'Log'

    # Images made by the engine: one plain, one with two increments of which
    # the second is gone; and an ISO file.
    plain, chain = repo / 'Plain.TAV', repo / 'Chain.TAV'
    engine('a', win_path(plain), win_path(live / 'sub'))
    small = tmp_path / 'small'
    small.mkdir()
    (small / 'a.txt').write_bytes(b'one\r\n')
    engine('a', win_path(chain), win_path(small))
    for text in (b'two\r\n', b'three\r\n'):
        (small / 'a.txt').write_bytes(text)
        engine('i', win_path(chain), win_path(small))
    first, second = repo / 'Chain_0001.TAV', repo / 'Chain_0002.TAV'
    assert first.exists() and second.exists()
    second.unlink()
    (repo / 'Gone.TAV').mkdir()  # a folder is no image
    (repo / 'Iso.iso').write_bytes(os.urandom(MIB) * 2 + bytes(MIB // 2))

    missing = win_path(tmp_path / 'missing')
    (service.folder / 'OrvaOption.ovc').write_bytes(
        f'Repository Directory:\r\n{win_path(repo)}|{second_drive}:\\orva|{missing}|\r\n'
        'Network Repository Directory:\r\n\r\n'.encode('latin-1'))

    service.start()
    other = Manager()
    other.job_list()
    full = job('Full', kind='weekly', run_state=2, weekly=b'y', daily=b'n', weekdays=b'ynnnynn', scheduleTime='02:30',
               driveLetter=letter, imagePath=win_path(repo / 'Full.TAV'), compressionLevel=9,
               excludeList=f'{letter}:\\skip|{letter}:\\sub\\deep|{letter}:\\tail')
    records = [
        full,
        job('Upd', kind='daily', run_state=2, jobType=301, scheduleTime='21:00', driveLetter=letter,
            imagePath=win_path(plain), compressionLevel=1, excludeList=''),
        job('Inc', kind='monthly', run_state=2, jobType=302, daily=b'n', monthly=b'y', dayOfMonth=15,
            scheduleTime='02:30', driveLetter=letter, imagePath=win_path(chain), compressionLevel=6, excludeList=''),
        job('Diff', kind='once', run_state=2, jobType=303, driveLetter=letter,
            imagePath=win_path(repo / 'Gone.TAV'), compressionLevel=0, excludeList=''),
        job('Rep', kind='once', run_state=2, jobType=304, sourceFolder=win_path(live / 'sub'),
            targetFolder=win_path(repo / 'mirror'), imagePath='none', excludeList=''),
        job('Snap', kind='daily', run_state=2, jobType=305, scheduleTime='06:00', driveLetter=letter,
            sourceFolder=f'{letter}:\\sub', targetFolder=win_path(repo / 'snap'), imagePath='none', excludeList=''),
        job('Iso', kind='once', run_state=2, jobType=306, driveLetter=letter,
            imagePath=win_path(repo) + '\\ORVAPE\\IMAGE\\Iso.TAV', compressionLevel=1, excludeList=''),
    ]
    for record in records:
        other.send(record)
        assert other.receive() == record
    # The repository list as the manager reads it (the service may have added its default).
    repositories = service.file('OrvaOption.ovc').decode('latin-1').split('\r\n')[1].split('|')[:-1]
    assert repositories[:3] == [win_path(repo), f'{second_drive}:\\orva', missing]

    window = Window(service.folder, display)
    try:
        wait_for(lambda: window.driver('select', 'Iso') == 0, 60, 'the job tree')

        # The computer.
        rows = window.show('root')
        assert rows[0][:2] == ('Operating System', 0)
        assert re.fullmatch(r'\S.* \[64bit\]', rows[0][2]) and 'WMI ERROR' not in rows[0][2], rows[0]
        assert rows[1:4] == [('Total Tasks', 0, '7'), ('Scheduled Tasks', 6, '4'), ('Log Path', 11, parent + '\\Log')]
        assert [r[:2] for r in rows[4:]] == [('Repository Directory', 9 if linux_path(f).exists() else 8)
                                             for f in repositories]
        assert [r[1] for r in rows[4:7]] == [9, 9, 8]
        free, real = [], []
        for (_label, _image, value), folder in zip(rows[4:], repositories):
            m = re.fullmatch(re.escape(folder) + r' \( (.+) Available\)', value)
            assert m, value
            free.append(megabytes(m.group(1)))
            disk = os.statvfs(linux_path(folder[:2] + '\\'))
            low, high = sorted((disk.f_bfree * disk.f_frsize // MIB, disk.f_bavail * disk.f_frsize // MIB))
            assert low - 2048 <= free[-1] <= high + 2048, (value, low, high)
            real.append((low + high) // 2)
        # Each folder with its own drive's space, told apart where the two disks differ clearly
        # (their free space depends on the machine).
        if abs(real[0] - real[1]) > 8192:
            assert abs(free[0] - free[1]) > 4096, (free, real)

        # One job of each type.
        def image_rows(name, type_text, kind, time, compression, path, present, size, extra=(), log=False):
            return ([('Task Type ', 1, type_text), ('Schedule ', 6, kind), ('Time ', 10, time),
                     ('Backup Drive ', 12, letter), ('Compression Level ', 1, compression),
                     ('Backup Path ', 9 if present else 8, path), ('Image Size ', 1, size)] + list(extra) +
                    [('Log ', 11 if log else 8, f'Log\\OrvaImage_{name}_{letter}.log')])

        full_before = image_rows('Full', 'FULL BACKUP', 'Weekly', 'Mon Fri , 02:30', 'High', win_path(repo / 'Full.TAV'),
                                 False, '0 MB', [('Excluded Folder', 17, f'{letter}:\\skip'),
                                                 ('Excluded Folder', 17, f'{letter}:\\sub\\deep')])
        assert window.show('Full') == full_before
        assert window.show('Upd') == image_rows(
            'Upd', 'UPDATE BACKUP', 'Daily', '21:00', 'Normal', win_path(plain), True,
            size_text(plain.stat().st_size), [('Backup Count', 1, '0')])
        assert plain.stat().st_size > 20 * MIB
        assert window.show('Inc') == image_rows(
            'Inc', 'Incremental Backup', 'Monthly', '15 st, 02:30', '', win_path(chain), True,
            size_text(chain.stat().st_size), [('Backup Count', 1, '2'),
                                              ('Backup Status', 8, 'Not exist ' + win_path(second))])
        assert window.show('Diff') == image_rows(
            'Diff', 'Differential Backup', 'Once', 'None', 'None', win_path(repo / 'Gone.TAV'), False, '0 MB')
        assert window.show('Iso') == image_rows(
            'Iso', 'ISO IMAGE', 'Once', 'None', 'Normal', win_path(repo) + '\\Iso.iso', True, '2 MB')

        def rep_rows(log):
            return [('Task Type ', 4, 'REPLICATION'), ('Schedule ', 6, 'Once'), ('Time ', 10, 'None'),
                    ('Source Path ', 13, win_path(live / 'sub')), ('Target Path ', 14, win_path(repo / 'mirror')),
                    ('Log ', 11 if log else 8, 'Log\\Replicate_Rep.log')]

        def snap_rows(log):
            return [('Task Type ', 4, 'SNAPSHOT REPLICATION'), ('Schedule ', 6, 'Daily'), ('Time ', 10, '06:00'),
                    ('Source Path ', 13, f'{letter}:\\sub'), ('Target Path ', 14, win_path(repo / 'snap')),
                    ('Log ', 11 if log else 8, f'Log\\Replicate_Shadow_Snap_{letter}.log'),
                    ('Log ', 11 if log else 8, f'Log\\Replicate_Shadow_Mount_Snap_{letter}.log'),
                    ('Log ', 11 if log else 8, 'Log\\Replicate_Snap.log')]

        assert window.show('Rep') == rep_rows(False)
        assert window.show('Snap') == snap_rows(False)

        # The refresh timer follows the disk: Full runs while it is selected.
        assert window.show('Full') == full_before
        other.send(with_code(full, RUNJOB))
        reports_until_final(other, 'Full', timeout=180)
        image = repo / 'Full.TAV'
        assert image.exists() and (logs / f'OrvaImage_Full_{letter}.log').exists()
        full_after = image_rows('Full', 'FULL BACKUP', 'Weekly', 'Mon Fri , 02:30', 'High', win_path(image), True,
                                size_text(image.stat().st_size), full_before[7:9], log=True)
        wait_for(lambda: window.rows() == full_after, 30, 'the refreshed rows')

        # The service's own log names show as present once the replications ran.
        for record, name in ((records[4], 'Rep'), (records[5], 'Snap')):
            other.send(with_code(record, RUNJOB))
            reports_until_final(other, name, timeout=180, finals=1)
        assert window.show('Rep') == rep_rows(True)
        assert window.show('Snap') == snap_rows(True)

        # A row of the running-job list shows its job (refresh off, so the
        # tree's selection does not come back meanwhile).
        assert window.driver('check', '1021', '0') == 11
        # The caption again: a second WMI query in the process works as the first.
        assert window.show('root')[:2] == [rows[0], ('Total Tasks', 0, '7')]
        assert window.driver('pick', '0') == 0
        assert window.rows() == full_after
        assert window.driver('check', '1021', '1') == 10

        assert window.driver('size', '1100', '900') == 0
        assert window.show('Full') == full_after
        # Column widths: shares of the list's width, the rest to the next
        # column less the scroll bar (when it shows) and the edges.
        for control, shares in ((1036, [30]), (1012, [27, 23, 15, 12]), (1009, [30, 28, 10, 16])):
            width, shown, bar, edges, columns = window.columns(control)
            fixed = [width * p // 100 for p in shares]
            assert columns == fixed + [width - sum(fixed) - (bar if shown else 0) - edges], (control, width, shown)
        assert window.columns(1036)[1]  # the job's rows overflow the pane
        SHOTS.mkdir(exist_ok=True)
        shot = SHOTS / 'manager_details.bmp'
        assert window.driver('shot', win_path(shot)) == 0
        assert len(colours(shot)) > 1
        other.close()
        service.stop()
        assert window.box(1) == '[OV Standard Edition] Server connection is closed.'
        assert window.proc.wait(timeout=60) == 0
    finally:
        end_manager(window.proc)


@pytest.fixture
def no_wmi_in_the_manager():
    """OrvaManager.exe runs without Wine's WMI provider (the DLL disabled for
    that program only)."""
    key = 'HKCU\\Software\\Wine\\AppDefaults\\OrvaManager.exe\\DllOverrides'
    rc, out = wine('reg', 'add', key, '/v', 'wbemprox', '/d', '', '/f')
    assert rc == 0, out
    try:
        yield
    finally:
        wine('reg', 'delete', key, '/f')


def test_a_wmi_failure_shows_its_error_as_the_operating_system(service, no_wmi_in_the_manager, display):
    service.start()
    window = Window(service.folder, display)
    try:
        wait_for(lambda: window.driver('select', 'root') == 0, 60, 'the job tree')
        rows = window.rows()
        assert rows[0][:2] == ('Operating System', 0)
        # WMI's own text, not a name from elsewhere.
        assert re.fullmatch(r'WMI ERROR\n[A-Za-z ]+\. Error code = [0-9a-f]+', rows[0][2]), rows[0]
        assert rows[1:3] == [('Total Tasks', 0, '0'), ('Scheduled Tasks', 6, '0')]
        service.stop()
        assert window.box(1) == '[OV Standard Edition] Server connection is closed.'
        assert window.proc.wait(timeout=60) == 0
    finally:
        end_manager(window.proc)
