"""The manager's service connection (its table and receiving thread, run by a
small probe program without windows) against the real service: the job
list at connection, echoes of its own and another manager's commands, and
the end of the process when the service stops or cannot be reached."""
import queue
import subprocess
import threading

from conftest import ORVA_BIN, ORVA_WINE_RUN, listening_on_port, wine_env
from job_wire import Manager, job


class Probe:
    def __init__(self, answer='no'):
        self.proc = subprocess.Popen([ORVA_WINE_RUN, str(ORVA_BIN / 'connection_probe.exe'), answer],
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, env=wine_env())
        self.lines = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for raw in self.proc.stdout:
            self.lines.put(raw.decode('latin-1').rstrip('\r\n'))
        self.lines.put(None)

    def expect(self, prefix, timeout=30):
        """The next line that starts with `prefix` (other lines are skipped)."""
        seen = []
        while True:
            line = self.lines.get(timeout=timeout)
            assert line is not None, f'the probe ended before "{prefix}": {seen}'
            if line.startswith(prefix):
                return line
            seen.append(line)

    def send(self, command):
        self.proc.stdin.write((command + '\n').encode())
        self.proc.stdin.flush()


def test_list_echoes_and_close(service):
    service.start()
    other = Manager()
    other.job_list()
    for name in ('First', 'Second'):
        record = job(name, run_state=2)
        other.send(record)
        assert other.receive() == record

    probe = Probe()
    try:
        assert probe.expect('rebuild') == 'rebuild 2 First,Second,'
        probe.send('add Third')
        assert probe.expect('added') == 'added Third 3'
        assert other.receive()[4:9] == b'Third'  # the other manager sees the echo too
        probe.send('delete First')
        probe.send('show')
        line = probe.expect('table')
        while line != 'table 2 Second,Third,':  # until the echo has come back
            probe.send('show')
            line = probe.expect('table')
        # Another manager's change reaches this one.
        changed = job('Second', code=201, run_state=2, compressionLevel=9)
        other.send(changed)
        assert probe.expect('modified') == 'modified Second,Third,'
        other.close()

        service.stop()
        assert probe.expect('message') == 'message [OV Standard Edition] Server connection is closed.'
        assert probe.proc.wait(timeout=30) == 0
    finally:
        if probe.proc.poll() is None:
            probe.proc.kill()


def test_no_service_asks_to_start_it_and_ends(wine_scm):
    assert not listening_on_port()
    for answer, ran in (('no', False), ('yes', True)):
        probe = Probe(answer)
        assert probe.expect('message') == ('message [Orvanta] Orvanta Windows Backup service is not started.|'
                                           'Do you want to start Orvanta Windows Backup Service?')
        if ran:
            assert probe.expect('run') == 'run cmd.exe /c StartOrvaService.cmd'
            assert probe.expect('message') == 'message [Orvanta] Please restart the Orvanta Windows Backup Manager.'
        assert probe.proc.wait(timeout=30) == 1
