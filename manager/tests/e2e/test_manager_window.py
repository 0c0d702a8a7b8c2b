"""OrvaManager.exe against the real service: the job tree fills from the job
list and from echoes, Run sends RUNJOB from the window and the service runs
the job, whose reports show in the running-job list; when the service stops
the manager ends with exit code 0. The driver reads the manager's windows
from outside (the tree, the lists, the controls, its message boxes) and
answers its message boxes by their buttons."""
import os
import pathlib
import re
import shutil
import subprocess
import tempfile

from conftest import ORVA_BIN, end_manager, ORVA_WINE_RUN, PREFIX, reports_until_final, wait_for, wine_env, win_path
from job_wire import Manager, job

SHOTS = ORVA_BIN / 'screenshots'
DRIVER = str(ORVA_BIN / 'manager_driver.exe')
# Control ids of the main window.
RUNNING, HISTORY, DETAILS, REFRESH, SECONDS = 1009, 1012, 1036, 1021, 1035


class ManagerWindow:
    def __init__(self, folder, display):
        self.folder = folder
        shutil.copy(ORVA_BIN / 'OrvaManager.exe', folder / 'OrvaManager.exe')
        env = dict(wine_env(), DISPLAY=display)
        # Started by the driver on its own Wine desktop; its exit code is the manager's.
        self.proc = subprocess.Popen([ORVA_WINE_RUN, DRIVER, 'start', win_path(folder / 'OrvaManager.exe')],
                                     cwd=folder, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
        self.env = env

    def driver(self, *args):
        return subprocess.run([ORVA_WINE_RUN, DRIVER, *args], env=self.env,
                              stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=60).returncode

    def output(self, *args, timeout=60):
        """(exit code, printed lines) of a driver command."""
        # Through a file: a program the driver starts may inherit a pipe and keep it open.
        with tempfile.TemporaryFile() as out:
            rc = subprocess.run([ORVA_WINE_RUN, DRIVER, *args], env=self.env, stdin=subprocess.DEVNULL, stdout=out,
                                stderr=subprocess.DEVNULL, timeout=timeout).returncode
            out.seek(0)
            return rc, out.read().decode('latin-1').splitlines()

    def windows(self):
        """The titles of the visible windows on the manager's desktop."""
        return self.output('windows')[1]

    def shot_box(self, name):
        """Saves a picture of the message box that shows (or is about to)
        under SHOTS and checks that it shows something."""
        SHOTS.mkdir(exist_ok=True)
        shot = SHOTS / name
        # The box answered just before may still be going away.
        wait_for(lambda: self.driver('window', 'Orvanta', win_path(shot)) == 0, 30, f'a picture of the box {name}')
        check_shot(shot)

    def box(self, button):
        """Waits for a message box, answers it with the button (1 OK, 6 Yes,
        7 No) and gives "[caption] text" with its lines joined by "|"."""
        rc, lines = self.output('box', str(button), timeout=90)
        text = '\n'.join(lines).strip()
        assert rc == 0, (rc, text)
        return text

    def tree(self):
        """The job tree as "{NAME#IMAGE|LINE|...} ..." (empty before it fills)
        and the selected item; None while the driver finds no manager."""
        rc, lines = self.output('tree')
        return (lines + [''])[:2] if rc == 0 and lines else None

    def wait_tree(self, check, seconds, what):
        """The job tree once check(tree) holds."""
        def read():
            tree = self.tree()
            return tree[0] if tree and check(tree[0]) else None
        return wait_for(read, seconds, what)

    def rows(self, control):
        """The rows of a list: (image, first column, other columns...); a
        cell drawn as a progress bar reads "label@percent"."""
        rc, lines = self.output('rows', str(control))
        assert rc == 0, rc
        return [tuple(line.split('\t')) for line in lines]

    def states(self, *controls):
        """(text, enabled, checked) of each of the controls of the main window."""
        rc, lines = self.output('state', *map(str, controls))
        assert rc == 0 and len(lines) == len(controls), (rc, lines)
        return [(text, enabled == '1', checked == '1') for text, enabled, checked in (l.split('\t') for l in lines)]

    def refreshes(self, seconds=30):
        """True when the refresh timer fills the details pane again after the
        driver emptied it (the tree must have a selection)."""
        return self.driver('refill', str(DETAILS), str(seconds)) == 0

    def watch(self, control, until, seconds):
        return Watch(self, control, until, seconds)


class Watch:
    """The driver watching a list: every state of its rows, as often as the
    list answers, until a row holds `until` (tab-separated cells)."""

    def __init__(self, window, control, until, seconds):
        fd, name = tempfile.mkstemp(prefix='orva_watch_')
        os.close(fd)
        self.file = pathlib.Path(name)
        self.seconds = seconds
        with open(self.file, 'ab') as out:
            self.proc = subprocess.Popen([ORVA_WINE_RUN, DRIVER, 'watch', str(control), until, str(seconds)],
                                         env=window.env, stdin=subprocess.DEVNULL, stdout=out,
                                         stderr=subprocess.DEVNULL)
        wait_for(self.states, 60, 'the watch to start')

    def states(self):
        """The states seen so far: each a list of rows as ManagerWindow.rows gives them."""
        out = []
        for line in self.file.read_bytes().decode('latin-1').splitlines():
            if '\t' not in line:
                out.append([])
            elif out:
                out[-1].append(tuple(line.split('\t')))
        return out

    def rows_of(self, name):
        """Every state the row of job `name` took, in order, each once."""
        seen = []
        for state in self.states():
            for row in state:
                if row[1] == name and (not seen or seen[-1] != row):
                    seen.append(row)
        return seen

    def wait(self):
        rc = self.proc.wait(timeout=self.seconds + 60)
        assert rc == 0, ('the watch ended without the row', self.states()[-3:])

    def stop(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        self.file.unlink(missing_ok=True)


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


def running(row):
    """True when a running-job row shows a run that goes on: a progress bar
    short of 100 % and no complete time."""
    status = re.fullmatch(r'(.*)@(\d+)', row[2])
    return bool(status) and int(status.group(2)) < 100 and row[5] == ''


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
    watches = []
    try:
        tree = window.wait_tree(lambda t: t.startswith('{'), 60, 'the job tree')
        assert tree == ('{Weekly#15|Schedule  : Weekly|Type : FULL BACKUP|Time : Mon Fri , 09:30|'
                        'Path : D:\\Orvanta\\Weekly.tav} '
                        '{Img#1|Schedule  : Once|Type : FULL BACKUP|Path : ' + win_path(repo / 'Img.tav') + '} '
                        '{Rep#4|Schedule  : Once|Type : REPLICATION|Source : ' + win_path(live / 'sub') +
                        '|Target : ' + win_path(repo / 'mirror') + '} '
                        '{Slow#1|Schedule  : Once|Type : FULL BACKUP|Path : ' + win_path(repo / 'Slow.tav') + '}')
        # A job added by another manager appears at the end of the tree.
        added = job('Daily', kind='daily', run_state=2)
        other.send(added)
        assert other.receive() == added
        window.wait_tree(lambda t: '} {Daily#15|Schedule  : Daily' in t, 30, 'the echo')
        SHOTS.mkdir(exist_ok=True)
        assert window.driver('shot', win_path(SHOTS / 'manager_main.bmp')) == 0
        check_shot(SHOTS / 'manager_main.bmp')
        # The refresh interval: 0 keeps the timer; "Refresh" off stops it and
        # disables the interval box. The timer shows itself by filling the
        # details pane of the selected item again.
        assert window.states(SECONDS, REFRESH) == [('5', True, False), ('Refresh', True, True)]
        assert window.driver('select', 'root') == 0
        assert window.driver('text', str(SECONDS), '0') == 0
        assert window.states(SECONDS) == [('0', True, False)]
        assert window.refreshes()
        assert window.driver('text', str(SECONDS), '7') == 0
        assert window.driver('check', str(REFRESH), '0') == 11
        assert window.states(SECONDS, REFRESH) == [('7', False, False), ('Refresh', True, False)]
        assert window.driver('check', str(REFRESH), '1') == 10
        assert window.states(SECONDS, REFRESH) == [('7', True, False), ('Refresh', True, True)]
        assert window.refreshes()
        # The computer's menu (two entries) and a job's (five).
        menus = {}
        for item, name in (('root', 'manager_root_menu.bmp'), ('Weekly', 'manager_job_menu.bmp')):
            rc, lines = window.output('menu', item, win_path(SHOTS / name))
            assert rc == 0, (item, rc)
            check_shot(SHOTS / name)
            menus[item] = tuple(map(int, lines[0].split()))
        assert menus['Weekly'][1] > menus['root'][1], menus

        # Run from the window: the service runs the job and its reports fill the
        # list; the first report says the run is being created.
        watch = window.watch(RUNNING, 'Img\tFinish@100\t', 180)
        watches.append(watch)
        assert window.driver('run', 'Img') == 0
        watch.wait()
        reports = reports_until_final(other, 'Img', timeout=60)
        assert reports[0]['jobState'] == 3, [r['jobState'] for r in reports]  # Creating
        rows = watch.rows_of('Img')
        assert running(rows[0]), rows
        final = rows[-1]
        assert final[2] == 'Finish@100' and final[3] and final[4] and final[5], final  # elapsed, start, complete
        window.wait_tree(lambda t: '{Img#1|' in t, 5, 'the tree')
        # A replication: the running mark, then "Finish" with the time it ended.
        watch = window.watch(RUNNING, 'Rep\tFinish\t', 180)
        watches.append(watch)
        assert window.driver('run', 'Rep') == 0
        watch.wait()
        rows = watch.rows_of('Rep')
        assert re.fullmatch(r'Replicating\.{0,3}', rows[0][2]) and rows[0][5] == '', rows
        assert rows[-1][2] == 'Finish' and rows[-1][5], rows[-1]
        window.wait_tree(lambda t: '{Rep#4|' in t, 5, 'the tree')
        # The service's history line shows at the next refresh (every 7 s now).
        assert window.tree()[1] == 'Rep'  # the selected job
        wait_for(lambda: [(r[0], r[4]) for r in window.rows(HISTORY)] == [('0', 'Succeed')], 20, 'the history pane')
        assert window.driver('size', '1000', '760') == 0
        assert window.driver('shot', win_path(SHOTS / 'manager_after_run.bmp')) == 0
        check_shot(SHOTS / 'manager_after_run.bmp')
        assert window.driver('nobox') == 0

        assert window.driver('rowmenu', win_path(SHOTS / 'manager_row_menu.bmp')) == 0
        check_shot(SHOTS / 'manager_row_menu.bmp')
        # Cancel: without a selected row it says so; on a finished row it does nothing.
        assert window.driver('list', '-1', '32799') == 0
        assert window.box(1) == '[Orvanta] Select an backup process.'
        assert window.driver('nobox') == 0
        assert window.driver('list', '0', '32799') == 0
        assert window.driver('nobox') == 0
        # Clear removes the finished rows.
        assert [r[1] for r in window.rows(RUNNING)] == ['Img', 'Rep']
        assert window.driver('list', '0', '32808') == 0
        wait_for(lambda: window.rows(RUNNING) == [], 10, 'the rows to go')
        assert not any('CANCELJOB' in line for line in service.task_lines())  # no cancel went out

        # Cancel of a running job: CANCELJOB goes out and the row says so.
        many = live / 'many'
        many.mkdir()
        chunk = os.urandom(96 << 10)
        for i in range(3000):  # many objects: the engine reads its control word often
            (many / f'f{i:04}.bin').write_bytes(chunk[i % 64:] + chunk[:i % 64])
        watch = window.watch(RUNNING, 'Slow\tCanceled@100\t', 300)
        watches.append(watch)
        assert window.driver('run', 'Slow') == 0
        wait_for(lambda: any(running(r) for r in watch.rows_of('Slow')), 60, 'the slow run')
        # The settings file lies in the 32-bit system folder when the prefix has one.
        settings = [folder / f'OrvaSetVar_Slow_{letter}.cmd'
                    for folder in (service.folder.parent / 'Log', PREFIX / 'drive_c' / 'windows' / 'syswow64')]
        wait_for(lambda: any(p.exists() for p in settings), 60, 'the snapshot')
        assert window.driver('list', '0', '32799') == 0
        assert window.box(6) == '[Orvanta] Are you sure to cancel backup process?'
        watch.wait()
        assert watch.rows_of('Slow')[-1][2] == 'Canceled@100'
        assert not any('CANCELJOB' in line for line in service.task_lines())  # none refused
        assert window.driver('nobox') == 0
        other.close()

        service.stop()
        assert window.box(1) == '[OV Standard Edition] Server connection is closed.'
        assert window.proc.wait(timeout=60) == 0
    finally:
        for watch in watches:
            watch.stop()
        end_manager(window.proc)


def test_manager_without_service_offers_to_start_it_and_ends(wine_scm, tmp_path, display):
    window = ManagerWindow(tmp_path, display)
    # Yes: the start script runs (there is none here).
    assert window.box(6) == ('[Orvanta] Orvanta Windows Backup service is not started.|'
                             'Do you want to start Orvanta Windows Backup Service?')
    assert window.box(1) == '[Orvanta] Please restart the Orvanta Windows Backup Manager.'
    assert window.proc.wait(timeout=60) == 1
