"""OrvaServer as a service: the job list, the table edits and their echoes,
the schedule file, restarts, refused records, slow managers, stop and the
listening address."""
import re
import shutil
import socket
import time

import pytest

from conftest import ORVA_BIN, SERVICE, listening_on_port, wait_for, win_path, wine
from job_wire import (ADDJOB, CANCELJOB, DELETEJOB, MODIFYJOB, RUNJOB, SIZE, Manager, job, DEFAULT_TIME, pack,
                      schedule_file, unpack, with_code)

TASK_LINE = re.compile(r'^\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\]\[([A-Z]+)\] (.*)$')


def task_entries(service):
    """The command server's task-log lines (the table and options code log there too)."""
    entries = []
    for line in service.task_lines():
        m = TASK_LINE.match(line)
        assert m, line
        if m.group(1) in ('ADDJOB', 'MODIFYJOB', 'DELETEJOB', 'RUNJOB', 'CANCELJOB'):
            entries.append((m.group(1), m.group(2)))
    return entries


def run_reports(m, name):
    """The job's status reports up to its final state."""
    states = []
    while not states or states[-1] not in (0, 1, 2, -1):
        r = unpack(m.receive())
        assert (r['jobName'], r['runState']) == (name, 1)
        states.append(r['jobState'])
    return states


def test_job_list_echo_and_schedule_file(service):
    (service.folder / 'OrvaJob.log').write_bytes(b'x' * 5_120_001)  # one byte over the limit
    service.start()
    assert service.file('OrvaJob.log') == b''
    assert (service.folder.parent / 'Log').is_dir()
    a, b = Manager(), Manager()
    assert a.job_list() == [] and b.job_list() == []

    first = job('DailyC')
    a.send(first)
    assert a.receive() == first  # the sender is echoed too
    assert b.receive() == first
    second = job('OnceD', kind='once', run_state=2, driveLetter='D', excludeList='')  # disarmed: not started
    b.send(second)
    assert a.receive() == second and b.receive() == second

    assert service.file('OrvaSchedule.ovc') == schedule_file([first, second])
    assert task_entries(service) == [('ADDJOB', 'New Job register')] * 2

    # A new manager gets the table as it stands, each entry with its code.
    c = Manager()
    assert c.job_list() == [first, second]
    for m in (a, b, c):
        m.close()


def test_modify_delete_and_unknown_names(service):
    service.start()
    m = Manager()
    m.job_list()
    jobs = [job('First'), job('Second'), job('Third')]
    for j in jobs:
        m.send(j)
        assert m.receive() == j

    changed = job('Second', code=MODIFYJOB, scheduleTime='23:45', weekly=b'y', weekdays=b'ynynynn')
    m.send(changed)
    assert m.receive() == changed
    jobs[1] = changed
    assert service.file('OrvaSchedule.ovc') == schedule_file(jobs)

    m.send(job('First', code=DELETEJOB))
    assert unpack(m.receive())['jobName'] == 'First'
    del jobs[0]
    assert service.file('OrvaSchedule.ovc') == schedule_file(jobs)

    # Unknown names change nothing and are not echoed.
    before = service.file('OrvaSchedule.ovc')
    m.send(job('Nobody', code=MODIFYJOB))
    m.send(job('Nobody', code=DELETEJOB))
    assert m.receive(timeout=1.5) is None
    assert service.file('OrvaSchedule.ovc') == before
    assert task_entries(service)[-2:] == [('MODIFYJOB', 'Not done: no job of that name'),
                                         ('DELETEJOB', 'Not done: no job of that name')]

    # RUNJOB is recorded in the table and on disk; CANCELJOB changes neither.
    m.send(with_code(jobs[1], CANCELJOB))
    m.send(with_code(jobs[1], RUNJOB))
    started = jobs[:]
    started[1] = pack({**unpack(jobs[1]), 'runState': 1})
    wait_for(lambda: service.file('OrvaSchedule.ovc') == schedule_file(started), 10, 'the started job on disk')
    # The image run cannot start (no tools beside this service): 3, 5, then
    # the final state once, all before the next manager connects.
    assert run_reports(m, 'Third') == [3, 5, 1]
    m.close()

    fresh = Manager()
    listed = [unpack(r) for r in fresh.job_list()]
    assert [(r['jobName'], r['runState'], r['scheduleTime']) for r in listed] == [
        ('Second', 0, '23:45'), ('Third', 1, DEFAULT_TIME)]
    fresh.close()


def test_restart_keeps_jobs_and_stop_is_reported(service):
    service.start()
    m = Manager()
    m.job_list()
    daily = job('Nightly', run_state=2)
    once = job('JustOnce', kind='once', run_state=0, jobType=304, sourceFolder='C:\\Data', targetFolder='E:\\Copy')
    for j in (daily, once):
        m.send(j)
        assert m.receive() == j
    m.close()

    service.stop()
    state, win32, specific = service.query()
    assert (state, win32, specific) == (1, 0, 0)
    wait_for(lambda: service.event_lines()[-1:] and
             service.event_lines()[-1].endswith('][OrvaStanardServer] Successfully service exited.'),
             20, 'the shutdown event text')
    events = service.event_lines()
    assert any(line.endswith('][OrvaStanardServer] Orvanta services is stoped.') for line in events), events

    (service.folder / 'OrvaJob.log').write_bytes(b'x' * 5_120_000)  # at the limit: kept
    # The second start goes through the script installed beside the program.
    shutil.copy(ORVA_BIN / 'StartOrvaService.cmd', service.folder)
    rc, out = wine('cmd', '/c', win_path(service.folder / 'StartOrvaService.cmd'))
    assert rc == 0, out
    wait_for(listening_on_port, 30, 'the service to listen')
    assert len(service.file('OrvaJob.log')) == 5_120_000
    m = Manager()
    listed = [unpack(r) for r in m.job_list()]
    # Loaded entries carry code 0; "once" comes back disarmed, others armed.
    assert [(r['code'], r['jobName'], r['runState']) for r in listed] == [(0, 'Nightly', 0), (0, 'JustOnce', 2)]
    assert pack({**listed[1], 'code': ADDJOB, 'runState': 0}) == once
    assert service.file('OrvaSchedule.ovc') == schedule_file(
        [pack({**unpack(daily), 'runState': 0}), pack({**unpack(once), 'runState': 2})])
    m.close()


def test_bad_and_split_records(service):
    service.start()
    m, other = Manager(), Manager()
    m.job_list()
    other.job_list()
    before = service.file('OrvaSchedule.ovc')

    m.send(job('Broken', jobType=999))
    m.send(job('NoEnd', scheduleTime='x' * 50))  # no terminator in its field
    m.send(job('Bad/Name'))
    assert m.receive(timeout=1.5) is None and other.receive(timeout=0.2) is None
    assert service.file('OrvaSchedule.ovc') == before
    entries = task_entries(service)
    assert len(entries) == 3
    assert all(tag == 'ADDJOB' and text.startswith('Record refused: ') for tag, text in entries), entries

    # A record that arrives in pieces is put together; ignored codes do nothing.
    good = job('Pieces')
    m.send(with_code(good, 203))
    m.send(good[:1000])
    time.sleep(0.5)
    m.send(good[1000:])
    assert m.receive() == good and other.receive() == good
    assert len(task_entries(service)) == 4

    # A partial record from a manager that goes away is dropped.
    quitter = Manager()
    quitter.job_list()
    quitter.send(job('Half')[:SIZE - 1])
    quitter.close()
    assert m.receive(timeout=1.5) is None
    late = Manager()
    assert [unpack(r)['jobName'] for r in late.job_list()] == ['Pieces']
    for c in (m, other, late):
        c.close()


def test_manager_that_never_reads_is_dropped(service):
    service.start()
    reader = Manager()
    reader.job_list()
    base = job('Busy')
    reader.send(base)
    assert reader.receive() == base

    stuck = Manager(rcvbuf=4096)  # reads nothing from here on
    changes = 80
    started = time.monotonic()
    for i in range(changes):
        record = job('Busy', code=MODIFYJOB, compressionLevel=i % 10, scheduleTime=f'{i % 24:02d}:{i % 60:02d}')
        reader.send(record)
        assert reader.receive(timeout=5) == record, f'echo {i} late'
    # The manager that does not read holds up no echo.
    assert time.monotonic() - started < changes * 0.2 + 10

    assert any('dropped: it does not read its records.' in line for line in service.event_lines())
    # The dropped manager finds its connection closed once it reads what it was sent.
    stuck.sock.settimeout(10)
    try:
        while stuck.sock.recv(65536):
            pass
    except ConnectionResetError:
        pass
    reader.close()
    stuck.close()


def test_loopback_only_and_port_taken(service):
    service.start()
    assert listening_on_port() == ['0100007F']
    outside = [a for a in socket.gethostbyname_ex(socket.gethostname())[2] if not a.startswith('127.')]
    for address in outside:
        with pytest.raises(OSError):
            socket.create_connection((address, 2000), timeout=2)
    service.stop()

    # With the port held elsewhere the service stops with the Winsock error.
    holder = socket.socket()
    holder.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    holder.bind(('127.0.0.1', 2000))
    holder.listen(1)
    try:
        wine('net', 'start', SERVICE)  # RUNNING is reported before the listener starts
        wait_for(lambda: service.query()[0] == 1, 30, 'the service to stop')
        assert service.query() == (1, 1066, 10048)
        assert any(line.endswith('][OrvaStanardServer [ERROR CODE : 10048]] '
                                 'Always server is running. please check server status.')
                   for line in service.event_lines()), service.event_lines()
    finally:
        holder.close()


def test_pause_continue_interrogate(service):
    service.start()

    def control(code):
        rc, out = wine(str(ORVA_BIN / 'service_control.exe'), SERVICE, str(code))
        assert rc == 0, out
        return tuple(int(v) for v in out.split())

    def texts():
        return [line.split('] ', 1)[1] for line in service.event_lines()]

    assert control(4) == (4, 3)  # interrogate while running: no report, no text
    assert texts() == []
    assert control(2) == (7, 3)
    assert service.query()[0] == 7
    # Paused changes only the reported state: managers are still served.
    m = Manager()
    m.job_list()
    m.send(job('WhilePaused'))
    assert unpack(m.receive())['jobName'] == 'WhilePaused'
    assert control(4) == (7, 3)
    assert control(3) == (4, 3)
    assert control(200) == (4, 3)  # a code of the service's own
    assert texts() == ['Orvanta services is paused.', 'Orvanta services is interrogated.',
                       'Orvanta services is resumed.', 'Successfully orvanta services is started.']
    m.close()


def test_scheduler_starts_once_jobs_and_an_ended_run_holds_back_no_other(service):
    service.start()
    m = Manager()
    m.job_list()
    first = job('First', kind='once')
    m.send(first)
    assert m.receive() == first
    # Started by the ADDJOB's own tick; without the tools beside this service
    # the image run cannot start: 3, 5, then failed.
    assert run_reports(m, 'First') == [3, 5, 1]
    # The run is over, though its entry stays started until it is re-armed a
    # minute later: a backup that runs alone starts at once, and RUNJOB runs
    # the job again.
    iso = job('Iso', kind='once', jobType=306, imagePath='D:\\Iso\\ORVAPE\\IMAGE\\C.tav')
    m.send(iso)
    assert m.receive() == iso
    states = run_reports(m, 'Iso')
    assert states[0] == 3 and 99 not in states, states
    m.send(with_code(first, RUNJOB))
    assert run_reports(m, 'First') == [3, 5, 1]
    assert m.receive(timeout=1.5) is None
    assert service.file('OrvaSchedule.ovc') == schedule_file(
        [pack({**unpack(first), 'runState': 1}), pack({**unpack(iso), 'runState': 1})])
    m.close()


def test_a_daily_job_added_inside_its_minute_starts_in_it(service):
    service.start()
    started = time.monotonic()
    m = Manager()
    m.job_list()
    # The main loop (every 5 s) has ticked in this minute, and the ADDJOB's own
    # tick comes well before its end.
    while not (12 <= time.localtime().tm_sec <= 45 and time.monotonic() - started > 6):
        time.sleep(0.5)
    daily = job('ThisMinute', scheduleTime=time.strftime('%H:%M'))
    m.send(daily)
    assert m.receive() == daily
    assert run_reports(m, 'ThisMinute') == [3, 5, 1]
    m.close()
