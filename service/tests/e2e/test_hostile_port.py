"""What any local program can do to the service through its files and its
port: a schedule file with a bad record, a crowd of idle connections, a
cancel for a job that does not run, and the one-image-job rule after a run
whose job was deleted."""
import socket
import time

from conftest import job_lines, reports_until_final, wait_for, win_path
from job_wire import (CANCELJOB, DELETEJOB, JOBLISTBEGIN, RUNJOB, SIZE, Manager, job, DEFAULT_TIME, pack,
                      schedule_file, unpack, with_code)
from test_service import TASK_LINE

MAX_MANAGERS = 64


def test_a_bad_record_leaves_out_only_itself(service):
    nightly = job('Nightly', run_state=1)
    broken = job('Broken', jobType=399)
    # A "once" job without a time, as the one-click and wizard dialogs write it.
    clicked = job('Clicked', kind='once', run_state=0, scheduleTime='none', daily=b'n')
    original = schedule_file([nightly, broken, clicked])
    (service.folder / 'OrvaSchedule.ovc').write_bytes(original)
    # A Log folder made by someone else gets the service's own access list
    # (Wine does not read it back: the call's failure would be reported).
    (service.folder.parent / 'Log').mkdir()
    service.start()
    assert not [line for line in service.event_lines() if 'access list' in line]
    m = Manager()
    listed = [unpack(r) for r in m.job_list()]
    m.close()
    assert [(r['jobName'], r['runState'], r['scheduleTime']) for r in listed] == [
        ('Nightly', 0, DEFAULT_TIME), ('Clicked', 2, 'none')]
    # The file as read is kept beside the rewritten one.
    assert service.file('OrvaSchedule.ovc.bad') == original
    assert service.file('OrvaSchedule.ovc') == schedule_file(
        [pack({**unpack(nightly), 'runState': 0}), pack({**unpack(clicked), 'runState': 2})])
    notes = [TASK_LINE.match(line).group(2) for line in service.task_lines()
             if TASK_LINE.match(line).group(1) == 'SCHEDULE']
    assert len(notes) == 1 and 'job 2 (Broken): jobType 399' in notes[0] and 'OrvaSchedule.ovc.bad' in notes[0], \
        notes


def test_idle_connections_neither_hold_up_an_echo_nor_crowd_out_managers(service):
    service.start()
    active = Manager()
    active.job_list()
    idle = []
    for _ in range(200):
        s = socket.create_connection(('127.0.0.1', 2000), timeout=10)
        idle.append(s)
    # The first 63 beside the active manager get their job list; the others
    # are closed at once, without one.
    served, closed = [], []
    for s in idle:
        s.settimeout(10)
        try:
            data = s.recv(SIZE)
        except ConnectionResetError:
            data = b''
        (served if data else closed).append(s)
        if data:
            assert unpack((data + s.recv(SIZE - len(data), socket.MSG_WAITALL)))['code'] == JOBLISTBEGIN
    assert (len(served), len(closed)) == (MAX_MANAGERS - 1, 200 - MAX_MANAGERS + 1)
    for s in closed:
        s.close()

    # An echo reaches the sender within a second (a broadcast waited 100 ms
    # per connection: 6.4 s here).
    record = job('Crowded')
    started = time.monotonic()
    active.send(record)
    assert active.receive(timeout=10) == record
    assert time.monotonic() - started < 1.0

    # A place that frees is taken by the next manager.
    served.pop().close()

    def next_manager():
        s = socket.create_connection(('127.0.0.1', 2000), timeout=10)
        try:
            first = s.recv(SIZE, socket.MSG_WAITALL)
        except ConnectionResetError:
            first = b''
        if not first:
            s.close()
            return None
        return s, first
    s, first = wait_for(next_manager, 30, 'a free place')
    assert unpack(first)['code'] == JOBLISTBEGIN and unpack(first)['jobType'] == 1
    s.close()
    refusals = [line for line in service.event_lines() if 'managers are connected' in line]
    assert len(refusals) >= 1
    for c in served:
        c.close()
    active.close()


def test_a_cancel_for_a_job_that_does_not_run_never_reaches_its_next_run(service, drive):
    letter, _live, repo = drive
    service.start()
    m = Manager()
    m.job_list()
    record = job('Later', kind='once', run_state=2, driveLetter=letter, imagePath=win_path(repo / 'Later.tav'),
                 compressionLevel=1, excludeList='')
    m.send(record)
    assert m.receive() == record
    m.send(with_code(record, CANCELJOB))  # nothing of it runs
    m.send(with_code(record, RUNJOB))
    states = [r['jobState'] for r in reports_until_final(m, 'Later')]
    m.close()
    assert states[0] == 3 and states[-2:] == [0, 0], states
    assert any(line.endswith('[CANCELJOB] Not done: the job is not running') for line in service.task_lines())
    assert (repo / 'Later.tav').exists()
    assert job_lines(service, 'Later')[-1] == f'[FULL_BACKUP] [{letter} Drive] Finished to full backup process.'


def test_an_image_job_runs_at_once_after_another_job_was_deleted_right_after_its_run(service, drive):
    letter, _live, repo = drive
    # The deleted job's run must not count during its re-arm wait of a minute.
    service.start()
    m = Manager()
    m.job_list()
    second = job('Second', kind='once', run_state=2, driveLetter=letter, imagePath=win_path(repo / 'Second.tav'),
                 compressionLevel=1, excludeList='')
    m.send(second)
    assert m.receive() == second
    first = job('First', kind='once', driveLetter=letter, imagePath=win_path(repo / 'First.tav'),
                compressionLevel=1, excludeList='')
    m.send(first)
    assert m.receive() == first
    # While the first run goes on (started by the ADDJOB), the second is
    # refused with 99.
    m.send(with_code(second, RUNJOB))
    seen = {'First': [], 'Second': []}
    while seen['First'][-2:] != [0, 0]:
        r = unpack(m.receive(timeout=60))
        seen[r['jobName']].append(r['jobState'])
        assert len(seen['First']) < 1000 and seen['First'][-1:] != [1]
    assert seen['Second'] == [99]
    m.send(with_code(first, DELETEJOB))
    assert unpack(m.receive())['jobName'] == 'First'
    m.send(with_code(second, RUNJOB))
    reports = reports_until_final(m, 'Second')
    m.close()
    states = [r['jobState'] for r in reports]
    assert 99 not in states and states[0] == 3 and states[-2:] == [0, 0], states
    assert (repo / 'Second.tav').exists()
