"""The manager against a stand-in for the service on its port, which sends
exactly the records a test gives it: every way a replication run ends takes
the job out of its running display, a Run that is never answered is given
up, Modify of an ISO job is refused, and a record the service would refuse
is not sent but shown."""
import queue
import socket
import struct
import threading

from conftest import ORVA_BIN, end_manager, wait_for, wine, win_path
from job_wire import ADDJOB, JOBLISTBEGIN, JOBLISTEND, MODIFYJOB, RUNJOB, SIZE, job, pack, unpack
from test_manager_window import SHOTS, ManagerWindow, check_shot

PORT = 2000


class StandIn:
    """Listens on the service's port for one manager: sends it the job list,
    keeps every record it sends and sends it what the test gives."""

    def __init__(self, jobs):
        self.server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.server.bind(('127.0.0.1', PORT))
        self.server.listen(5)
        self.jobs = jobs
        self.conn = None
        self.received = queue.Queue()
        threading.Thread(target=self._serve, daemon=True).start()

    def _serve(self):
        self.conn, _ = self.server.accept()
        self.conn.sendall(pack(dict(code=JOBLISTBEGIN, jobType=len(self.jobs), runState=3)))
        for record in self.jobs:
            self.conn.sendall(record)
        self.conn.sendall(pack(dict(code=JOBLISTEND, jobType=len(self.jobs), runState=3)))
        data = b''
        while True:
            try:
                chunk = self.conn.recv(SIZE)
            except OSError:
                return
            if not chunk:
                return
            data += chunk
            while len(data) >= SIZE:
                self.received.put(unpack(data[:SIZE]))
                data = data[SIZE:]

    def status(self, record, state, percent):
        """A status record of the job: run state 1 and the status fields."""
        fields = unpack(record)
        fields.update(runState=1, jobState=state, percent=percent, startTime='10:00', elapsedTime='00:00:05',
                      endTime='10:01' if percent == 100 else '')
        self.conn.sendall(pack(fields))

    def next(self, timeout=10):
        try:
            return self.received.get(timeout=timeout)
        except queue.Empty:
            return None

    def close(self):
        if self.conn:
            try:
                self.conn.shutdown(socket.SHUT_RDWR)  # the reading thread lets go too
            except OSError:
                pass
            self.conn.close()
        self.server.close()


def item(tree, name):
    """The image index of the job item `name` in the tree text."""
    at = tree.index('{' + name + '#') + len(name) + 2
    return int(tree[at:tree.index('|', at)])


def test_runs_end_their_running_display_and_refusals_show(wine_scm, display, tmp_path):
    folder = tmp_path / 'Orvanta'
    folder.mkdir()
    repo = tmp_path / 'repo'
    (repo / 'other').mkdir(parents=True)
    source = tmp_path / 'source'
    source.mkdir()
    (source / 'a.txt').write_bytes(b'data')
    # A real image under another folder than the job of the same name.
    rc, out = wine(str(ORVA_BIN / 'OrvaImage.exe'), 'a', win_path(repo / 'other' / 'Img.tav'), win_path(source))
    assert 'Everything is Ok' in out, out[-2000:]
    (folder / 'OrvaOption.ovc').write_bytes(
        f'Repository Directory:\r\n{win_path(repo / "other")}|\r\nNetwork Repository Directory:\r\n\r\n'.encode())
    mirror = dict(jobType=304, sourceFolder=win_path(source), targetFolder=win_path(tmp_path / 'copy'),
                  imagePath='none', excludeList='')
    rep = job('Rep', **mirror)                                       # daily: idle image 16
    shadow = job('Shadow', kind='once', run_state=2, **dict(mirror, jobType=305))  # once: idle image 4
    iso = job('Iso', kind='once', run_state=2, jobType=306, excludeList='',
              imagePath=win_path(repo / 'iso' / 'ORVAPE' / 'IMAGE' / 'Iso.tav'))
    img = job('Img', kind='once', run_state=2, imagePath=win_path(repo / 'Img.tav'), excludeList='')
    stand_in = StandIn([rep, shadow, iso, img])
    window = ManagerWindow(folder, display)
    try:
        tree = window.wait_tree(lambda t: '{Img#' in t, 60, 'the job tree')
        assert (item(tree, 'Rep'), item(tree, 'Shadow'), item(tree, 'Iso')) == (16, 4, 1)

        # Each final state of a replication run ends its running display:
        # the item takes its idle or error image, the row shows the end, and
        # Modify opens the set's dialog again.
        for state, image, text in ((-1, 16, 'Canceled'), (11, 3, 'Mount Error'), (99, 16,
                                   'Another backup job is running. Not started.')):
            assert window.driver('run', 'Rep') == 0
            assert stand_in.next()['code'] == RUNJOB
            window.wait_tree(lambda t: item(t, 'Rep') == 7, 10, 'the Run image')
            if state != 99:  # a run that is refused reports only its refusal
                stand_in.status(rep, 3, 0)
                window.wait_tree(lambda t: item(t, 'Rep') == 5, 10, 'the running image')
            stand_in.status(rep, state, 100)
            window.wait_tree(lambda t: item(t, 'Rep') == image, 10, f'image {image} after state {state}')
            rows = [r for r in window.rows(1009) if r[1] == 'Rep']
            assert rows and rows[-1][2] == text and rows[-1][5].strip(), (state, rows)
            shot = SHOTS / f'manager_replication_ended_{state}.bmp'
            assert window.driver('shot', win_path(shot)) == 0
            check_shot(shot)
            assert window.driver('select', 'Rep') == 0
            assert window.driver('command', '32796') == 0  # Modify
            assert window.driver('window', 'Add Replication Job', '-') == 0, state
            assert window.driver('close', 'Add Replication Job', '1003') == 0
            assert window.driver('nobox') == 0
            assert window.driver('command', '32808') == 0  # Clear takes the finished row

        # A Run that the service never answers leaves the running display
        # after its time, and says so.
        assert window.driver('run', 'Shadow') == 0
        assert stand_in.next()['code'] == RUNJOB
        window.wait_tree(lambda t: item(t, 'Shadow') == 7, 10, 'the Run image')
        window.shot_box('manager_run_not_answered.bmp')
        told = window.box(1)
        assert told == '[Orvanta] The service did not start "Shadow": no report of the run came within 30 seconds.'
        assert item(window.tree()[0], 'Shadow') == 4
        assert window.driver('select', 'Shadow') == 0
        assert window.driver('command', '32796') == 0
        assert window.driver('close', 'Add Replication Job', '1003') == 0

        # Modify of an ISO job opens no replication dialog; it is refused.
        assert window.driver('select', 'Iso') == 0
        assert window.driver('command', '32796') == 0
        window.shot_box('manager_modify_iso_refused.bmp')
        told = window.box(1)
        assert 'ISO backup job' in told and 'cannot be modified' in told, told
        assert 'Add Replication Job' not in window.windows()

        # An existing image whose name is a job's already: refused before
        # sending, with the reason.
        assert window.driver('command', '32797') == 0
        dialog = 'Use an existing backup'
        assert window.driver('window', dialog, '-') == 0
        assert window.driver('pickrow', dialog, '1012', '0') == 0
        assert window.driver('close', dialog, '1') == 0
        window.shot_box('manager_send_refused.bmp')
        told = window.box(1)
        assert told == ('[Orvanta] The job "Img" was not sent to the service, which would refuse it:|'
                        'a job named "Img" already exists.'), told

        # Nothing else went out: no record the service would refuse.
        assert stand_in.next(timeout=2) is None
        stand_in.close()
        assert window.box(1) == '[OV Standard Edition] Server connection is closed.'
        assert window.proc.wait(timeout=60) == 0
    finally:
        stand_in.close()
        end_manager(window.proc)
