"""OrvaManager.exe against the real service: the job tree fills from the job
list and from echoes, Run sends RUNJOB from the window and the service runs
the job, whose reports show in the running-job list; when the service stops
the manager ends with exit code 0. The manager writes its views and messages
to its trace file (ORVA_MANAGER_TRACE); the driver answers its message boxes
by their buttons."""
import os
import shutil
import subprocess
import tempfile
import time

import pytest

from conftest import ORVA_BIN, ORVA_WINE_RUN, PREFIX, wait_for, wine_env, win_path
from job_wire import Manager, job

SHOTS = ORVA_BIN / 'screenshots'


class ManagerWindow:
    def __init__(self, folder, display):
        self.trace = folder / 'manager_trace.txt'
        shutil.copy(ORVA_BIN / 'OrvaManager.exe', folder / 'OrvaManager.exe')
        env = dict(wine_env(), DISPLAY=display, ORVA_MANAGER_TRACE=win_path(self.trace))
        # Started by the driver on its own Wine desktop; its exit code is the manager's.
        self.proc = subprocess.Popen([ORVA_WINE_RUN, str(ORVA_BIN / 'manager_driver.exe'), 'start',
                                      win_path(folder / 'OrvaManager.exe')], cwd=folder, env=env,
                                     stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
        self.env = env

    def lines(self):
        return self.trace.read_text('latin-1').splitlines() if self.trace.exists() else []

    def wait_line(self, check, seconds, what):
        return wait_for(lambda: next((l for l in reversed(self.lines()) if check(l)), None), seconds, what)

    def driver(self, *args):
        return subprocess.run([ORVA_WINE_RUN, str(ORVA_BIN / 'manager_driver.exe'), *args], env=self.env,
                              stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=60).returncode

    def windows(self):
        """The titles of the visible windows on the manager's desktop."""
        run = subprocess.run([ORVA_WINE_RUN, str(ORVA_BIN / 'manager_driver.exe'), 'windows'], env=self.env,
                             stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
        return run.stdout.decode('latin-1').splitlines()

    def box(self, button):
        """Waits for a message box, answers it with the button (1 OK, 6 Yes,
        7 No) and gives "[caption] text" with its lines joined by "|"."""
        # Through a file: a program the answer starts may inherit a pipe and keep it open.
        with tempfile.TemporaryFile() as out:
            rc = subprocess.run([ORVA_WINE_RUN, str(ORVA_BIN / 'manager_driver.exe'), 'box', str(button)],
                                env=self.env, stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.DEVNULL,
                                timeout=90).returncode
            out.seek(0)
            text = out.read().decode('latin-1').strip()
        assert rc == 0, (rc, text)
        return text


def one_colour(bmp):
    """True when a 24-bit BMP the driver saved holds a single colour."""
    data = bmp.read_bytes()
    offset = int.from_bytes(data[10:14], 'little')
    width, height = int.from_bytes(data[18:22], 'little'), int.from_bytes(data[22:26], 'little')
    stride = (width * 3 + 3) & ~3
    pixels = {data[offset + y * stride + x * 3:offset + y * stride + x * 3 + 3]
              for y in range(0, height, 3) for x in range(0, width, 3)}
    return len(pixels) < 2


def check_shot(bmp):
    assert bmp.exists() and not one_colour(bmp), f'{bmp.name} is a failed capture (one colour)'


def test_manager_window_shows_jobs_runs_one_and_ends_with_the_service(service, drive, display):
    letter, live, repo = drive
    shutil.copy(ORVA_BIN / 'robocopy.exe', service.folder / 'robocopy.exe')
    service.start()
    other = Manager()
    other.job_list()
    weekly = job('Weekly', kind='weekly', run_state=2, weekly=b'y', daily=b'n', weekdays=b'ynnnynn',
                 scheduleTime='09:30')
    once = job('Img', kind='once', run_state=2, driveLetter=letter, imagePath=win_path(repo / 'Img.tav'),
               compressionLevel=1, excludeList='')
    mirror = job('Rep', kind='once', run_state=2, jobType=304, sourceFolder=win_path(live / 'sub'),
                 targetFolder=win_path(repo / 'mirror'), imagePath='none', excludeList='')
    slow = job('Slow', kind='once', run_state=2, driveLetter=letter, imagePath=win_path(repo / 'Slow.tav'),
               compressionLevel=1, excludeList=f'{letter}:\\sub|')
    for record in (weekly, once, mirror, slow):
        other.send(record)
        assert other.receive() == record

    window = ManagerWindow(service.folder, display)
    try:
        tree = window.wait_line(lambda l: l.startswith('tree {'), 60, 'the job tree')
        assert tree == ('tree {Weekly#15|Schedule  : Weekly|Type : FULL BACKUP|Time : Mon Fri , 09:30|'
                        'Path : D:\\Orvanta\\Weekly.tav} '
                        '{Img#1|Schedule  : Once|Type : FULL BACKUP|Path : ' + win_path(repo / 'Img.tav') + '} '
                        '{Rep#4|Schedule  : Once|Type : REPLICATION|Source : ' + win_path(live / 'sub') +
                        '|Target : ' + win_path(repo / 'mirror') + '} '
                        '{Slow#1|Schedule  : Once|Type : FULL BACKUP|Path : ' + win_path(repo / 'Slow.tav') + '}')
        # A job added by another manager appears at the end of the tree.
        added = job('Daily', kind='daily', run_state=2)
        other.send(added)
        assert other.receive() == added
        window.wait_line(lambda l: l.startswith('tree ') and '{Daily#15|Schedule  : Daily' in l, 30, 'the echo')
        SHOTS.mkdir(exist_ok=True)
        assert window.driver('shot', win_path(SHOTS / 'manager_main.bmp')) == 0
        check_shot(SHOTS / 'manager_main.bmp')
        # The refresh interval: 0 keeps the timer; "Refresh" off stops it and
        # disables the interval box.
        assert window.driver('text', '1035', '0') == 0
        assert window.driver('text', '1035', '7') == 0
        assert [l for l in window.lines() if l.startswith('interval')] == ['interval 5', 'interval 7']  # start-up, then 7
        assert window.driver('check', '1021', '0') == 11
        assert window.driver('check', '1021', '1') == 10
        assert [l for l in window.lines() if l.startswith('refresh')] == ['refresh 1 5', 'refresh 0 7', 'refresh 1 7']
        assert window.driver('menu', 'root', win_path(SHOTS / 'manager_root_menu.bmp')) == 0
        assert window.driver('menu', 'Weekly', win_path(SHOTS / 'manager_job_menu.bmp')) == 0
        check_shot(SHOTS / 'manager_root_menu.bmp')
        check_shot(SHOTS / 'manager_job_menu.bmp')
        assert [l for l in window.lines() if l.startswith('menu')] == ['menu root', 'menu job Weekly']

        # Run from the window: the service runs the job and its reports fill the list.
        assert window.driver('run', 'Img') == 0
        window.wait_line(lambda l: l == 'sent 206 Img', 30, 'RUNJOB')
        window.wait_line(lambda l: l.startswith('row|Img|Creating@'), 60, 'the first report')
        final = window.wait_line(lambda l: l.startswith('row|Img|Finish@100|'), 120, 'the final report')
        fields = final.split('|')
        assert fields[3] and fields[4] and fields[5], final  # elapsed, start and complete times
        assert '{Img#1|' in window.wait_line(lambda l: l.startswith('tree '), 5, 'the tree')
        # A replication: the running mark, then "Finish" with the time it ended.
        assert window.driver('run', 'Rep') == 0
        window.wait_line(lambda l: l == 'sent 206 Rep', 30, 'RUNJOB')
        window.wait_line(lambda l: l.startswith('row|Rep|Replicating|'), 60, 'the replication row')
        final = window.wait_line(lambda l: l.startswith('row|Rep|Finish|'), 120, 'the end of the replication')
        assert final.split('|')[5], final
        assert '{Rep#4|' in window.wait_line(lambda l: l.startswith('tree '), 5, 'the tree')
        # The service's history line shows at the next refresh (every 5 s).
        window.wait_line(lambda l: l == 'history Rep|Succeed#0', 15, 'the history pane')
        assert window.driver('size', '1000', '760') == 0
        assert window.driver('shot', win_path(SHOTS / 'manager_after_run.bmp')) == 0
        check_shot(SHOTS / 'manager_after_run.bmp')
        assert not any(l.startswith('message') for l in window.lines()), window.lines()

        assert window.driver('rowmenu', win_path(SHOTS / 'manager_row_menu.bmp')) == 0
        check_shot(SHOTS / 'manager_row_menu.bmp')
        # Cancel: without a selected row it says so; on a finished row it does nothing.
        def messages():
            return [l for l in window.lines() if l.startswith('message')]
        assert window.driver('list', '-1', '32799') == 0
        assert window.box(1) == '[Orvanta] Select an backup process.'
        assert messages() == ['message [Orvanta] Select an backup process.']
        assert window.driver('list', '0', '32799') == 0
        assert len(messages()) == 1
        assert window.driver('nobox') == 0
        # Clear removes the finished row.
        trees = sum(1 for l in window.lines() if l.startswith('tree '))
        assert window.driver('list', '0', '32808') == 0
        lines = window.lines()
        assert sum(1 for l in lines if l.startswith('tree ')) == trees + 1
        last_tree = max(i for i, l in enumerate(lines) if l.startswith('tree '))
        assert not any(l.startswith('row|') for l in lines[last_tree:])
        assert not any(l.startswith('sent 207') for l in lines)

        # Cancel of a running job: CANCELJOB goes out and the row says so.
        many = live / 'many'
        many.mkdir()
        chunk = os.urandom(96 << 10)
        for i in range(3000):  # many objects: the engine reads its control word often
            (many / f'f{i:04}.bin').write_bytes(chunk[i % 64:] + chunk[:i % 64])
        assert window.driver('run', 'Slow') == 0
        window.wait_line(lambda l: l.startswith('row|Slow|Creating@'), 60, 'the slow run')
        # The settings file lies in the 32-bit system folder when the prefix has one.
        settings = [folder / f'OrvaSetVar_Slow_{letter}.cmd'
                    for folder in (service.folder.parent / 'Log', PREFIX / 'drive_c' / 'windows' / 'syswow64')]
        wait_for(lambda: any(p.exists() for p in settings), 60, 'the snapshot')
        assert window.driver('list', '0', '32799') == 0
        assert window.box(6) == '[Orvanta] Are you sure to cancel backup process?'
        window.wait_line(lambda l: l == 'sent 207 Slow', 10, 'CANCELJOB')
        window.wait_line(lambda l: l.startswith('row|Slow|Canceled@100|'), 120, 'the cancelled run')
        assert messages() == ['message [Orvanta] Select an backup process.',
                              'message [Orvanta] Are you sure to cancel backup process?']
        other.close()

        service.stop()
        assert window.box(1) == '[OV Standard Edition] Server connection is closed.'
        assert window.proc.wait(timeout=60) == 0
        assert messages()[-1] == 'message [OV Standard Edition] Server connection is closed.'
    finally:
        if window.proc.poll() is None:
            window.proc.kill()


def test_manager_without_service_offers_to_start_it_and_ends(wine_scm, tmp_path, display):
    window = ManagerWindow(tmp_path, display)
    # Yes: the start script runs (there is none here).
    assert window.box(6) == ('[Orvanta] Orvanta Windows Backup service is not started.|'
                             'Do you want to start Orvanta Windows Backup Service?')
    assert window.box(1) == '[Orvanta] Please restart the Orvanta Windows Backup Manager.'
    assert window.proc.wait(timeout=60) == 1
    assert window.lines() == ['message [Orvanta] Orvanta Windows Backup service is not started.|'
                              'Do you want to start Orvanta Windows Backup Service?',
                              'message [Orvanta] Please restart the Orvanta Windows Backup Manager.']
