"""Image jobs end to end: the service snapshots a Wine drive letter mapped to
a fixture folder with the shadow-copy stand-in, runs OrvaImage.exe from its
script, reports the run and writes the job log and the history; the image is
restored and compared. A cancelled full backup leaves the previous image."""
import datetime
import os
import re
import time

from conftest import (FINAL_STATES, PREFIX, job_lines, reports_until_final, restore, snapshots, tree, unc_shares,
                      wait_for, win_path)
from job_wire import CANCELJOB, RUNJOB, Manager, job, unpack, with_code
# How long a snapshot-route step may take on a loaded machine before a test
# gives up on it (each step runs the shadow-copy tool under Wine).
SLOW = 240
STAMP = r'\d{4}\.\d\d\.\d\d \d\d:\d\d'
OK = b'Everything is Ok'


def test_full_backup_reports_logs_and_restores_the_snapshot(service, drive, tmp_path):
    letter, live, repo = drive
    service.start()
    m = Manager()
    m.job_list()
    image = repo / 'Img.tav'
    # Wine reports a 64-bit Windows 7: vshadow_amd64.exe writes the settings
    # file into the 32-bit system folder (which a prefix without 32-bit Wine
    # lacks; the Log folder stands in then).
    settings = PREFIX / 'drive_c' / 'windows' / 'syswow64' / f'OrvaSetVar_Img_{letter}.cmd'
    settings.parent.mkdir(exist_ok=True)
    (service.folder / 'vshadow.exe').unlink()
    expected = tree(live)
    del expected['skip'], expected['skip/x.txt'], expected['sub/deep/gone.txt']
    record = job('Img', kind='once', driveLetter=letter, imagePath=win_path(image), compressionLevel=1,
                 excludeList=f'{letter}:\\skip|{letter}:\\sub\\deep\\gone.txt|')
    m.send(record)
    assert m.receive() == record
    # Once the settings file exists the snapshot is made: a change of the
    # live drive from now on is not in the image.
    wait_for(settings.exists, 30, 'the snapshot')
    (live / 'data.txt').write_bytes(b'changed after the snapshot\r\n')
    reports = reports_until_final(m, 'Img')
    m.close()

    states = [r['jobState'] for r in reports]
    assert states[:2] == [3, 5] and states[-2:] == [0, 0], states
    assert set(states[2:-2]) <= {5} and len(states) >= 5, states
    # Once the command interpreter runs, the reports carry its process id.
    assert reports[-1]['processId'] > 0, [r['processId'] for r in reports]
    assert all(r['percent'] <= 99 for r in reports[:-2])
    final = reports[-1]
    assert final['percent'] == 100 and final['runState'] == 1
    assert re.fullmatch(STAMP, final['startTime']) and re.fullmatch(STAMP, final['endTime'])
    assert re.fullmatch(r'\d\d:\d\d:\d\d', final['elapsedTime'])

    assert job_lines(service, 'Img') == [
        f'[FULL_BACKUP] [{letter} Drive] Full backup process starts',
        f'[FULL_BACKUP] [{letter} Drive] Finished to Image backup process.',
        f'FULL_BACKUP [Success] [{letter} Drive] Succeeded to backup drive.',
        f'[FULL_BACKUP] [{letter} Drive] Finished to full backup process.']
    history = service.file('OrvaHistory.log').decode('latin-1')
    assert history == (f"[{final['startTime']}][{final['endTime']}][{final['elapsedTime']}]"
                       f"[FULLBACKUP][Success][Img]\r\n")
    log_dir = service.folder.parent / 'Log'
    assert not (log_dir / f'OrvaImageBackup_Img_{letter}.cmd').exists() and not settings.exists()
    # The engine's output up to its verdict, without the engine's banner.
    engine_out = (log_dir / f'OrvaImage_Img_{letter}.log').read_bytes()
    assert engine_out.rstrip().endswith(b'Everything is Ok.')
    assert b'Orvanta Image Archiver' not in engine_out and b'Imaging parameters' in engine_out, engine_out[:300]

    restore(image, tmp_path / 'restored')
    assert tree(tmp_path / 'restored') == expected


def test_cancel_keeps_the_previous_image(service, drive, tmp_path):
    letter, live, repo = drive
    image = repo / 'Prev.tav'
    service.start()
    m = Manager()
    m.job_list()
    record = job('Prev', kind='once', driveLetter=letter, imagePath=win_path(image), compressionLevel=0,
                 excludeList='')
    m.send(record)
    assert m.receive() == record
    assert [r['jobState'] for r in reports_until_final(m, 'Prev')][-1] == 0
    first = image.read_bytes()

    # A slower source for the second run: many objects, so that the engine
    # reads the control word often.
    many = live / 'many'
    many.mkdir()
    chunk = os.urandom(96 << 10)
    for i in range(3000):
        (many / f'f{i:04}.bin').write_bytes(chunk[i % 64:] + chunk[:i % 64])
    settings = PREFIX / 'drive_c' / 'windows' / 'syswow64' / f'OrvaSetVar_Prev_{letter}.cmd'
    settings.parent.mkdir(exist_ok=True)
    # The run goes on until its worker has returned, just after its last
    # report; RUNJOB then starts it again (the re-arm wait does not hold it).
    time.sleep(1)
    m.send(with_code(record, RUNJOB))
    wait_for(settings.exists, 60, 'the second snapshot')
    m.send(with_code(record, CANCELJOB))
    reports = reports_until_final(m, 'Prev')
    m.close()
    states = [r['jobState'] for r in reports]
    assert states[:2] == [3, 5] and states[-2:] == [-1, -1], states
    assert reports[-1]['percent'] == 100
    assert image.read_bytes() == first
    assert not (repo / 'Prev.tav.old').exists()
    # The engine stopped by the control word, not by the end of its tree.
    engine_out = (service.folder.parent / 'Log' / f'OrvaImage_Prev_{letter}.log').read_bytes()
    assert b'The user has canceled the imaging process.' in engine_out, engine_out[-1000:]
    assert job_lines(service, 'Prev')[-2:] == [
        f'[FULL_BACKUP] [{letter} Drive] Finished to Image backup process.',
        f'[FULL_BACKUP] [{letter} Drive] Finished to full backup process.']
    history = service.file('OrvaHistory.log').decode('latin-1').split('\r\n')
    assert history[1].endswith('[FULLBACKUP][Warning][Prev]'), history


def test_a_field_that_cannot_be_quoted_never_reaches_a_script(service, drive, tmp_path):
    letter, _live, repo = drive
    service.start()
    m = Manager()
    m.job_list()
    bad = job('Bad', kind='once', driveLetter=letter, imagePath=win_path(repo / '100%.tav'), excludeList='')
    m.send(bad)
    assert m.receive() == bad
    reports = reports_until_final(m, 'Bad', finals=1)
    m.close()
    assert [r['jobState'] for r in reports] == [3, 5, 1]
    assert job_lines(service, 'Bad') == [
        f'[FULL_BACKUP] [{letter} Drive] Full backup process starts',
        f'[FULL_BACKUP] [ERROR] [{letter} Drive] A job field cannot be passed to the image backup command line'
        " (it holds '\"' or '%' or is empty).",
        f'[FULL_BACKUP] [{letter} Drive] Finished to full backup process.']
    assert list((service.folder.parent / 'Log').iterdir()) == []
    assert list(repo.iterdir()) == []
    assert service.file('OrvaHistory.log').decode('latin-1').endswith('[FULLBACKUP][Failed][Bad]\r\n')


EXPOSED_LINES = [
    '[FULL_BACKUP] [{0} Drive] Full backup process starts',
    '[FULL_BACKUP] [{0} Drive] Created a snapshot successfully.',
    '[FULL_BACKUP] [{0} Drive] Successfully identified a snapshot.',
    '[FULL_BACKUP] [{0} Drive] Succeeded to mount the snapshot for drive.',
    '[FULL_BACKUP] [{0} Drive] Finished to Image backup process.',
    'FULL_BACKUP [Success] [{0} Drive] Succeeded to backup drive.',
    '[FULL_BACKUP] [{0} Drive] Finished to full backup process.']


def test_exposed_snapshot_route_runs_two_jobs_at_once(service, drive, windows10, tmp_path):
    letter, live, repo = drive
    service.start()
    m = Manager()
    m.job_list()
    expected = tree(live)
    names = ('ExpA', 'ExpB')
    records = [job(name, kind='once', driveLetter=letter, imagePath=win_path(repo / f'{name}.tav'),
                   compressionLevel=1, excludeList='') for name in names]
    for record in records:
        m.send(record)
    # Once a snapshot is exposed the live drive may change: the image shows
    # the drive as it was.
    for name in names:
        mount_log = service.folder.parent / 'Log' / f'OrvaShadow_Mount_{name}_{letter}.log'
        wait_for(mount_log.exists, SLOW, 'the exposed snapshots')
    (live / 'data.txt').write_bytes(b'changed after the snapshot\r\n')
    reports = {n: [] for n in names}
    end = time.monotonic() + 2 * SLOW

    def finals():  # two per run: the run's end, then after the history line
        return sum(1 for got in reports.values() for x in got if x['jobState'] in FINAL_STATES)
    while finals() < 4 and time.monotonic() < end:
        raw = m.receive(timeout=max(0.1, end - time.monotonic()))
        assert raw is not None, {n: [x['jobState'] for x in r] for n, r in reports.items()}
        if raw in records:  # the echo of an added job
            records.remove(raw)
            continue
        r = unpack(raw)
        if r['jobName'] in reports:
            reports[r['jobName']].append(r)
    m.close()
    assert not records, 'an added job was not echoed'
    for name in names:
        states = [r['jobState'] for r in reports[name]]
        # No one-job rule on this route: neither run is refused with 99.
        assert states[:3] == [3, 4, 5] and states[-1] == 0 and 99 not in states, (name, states)
        assert job_lines(service, name) == [x.format(letter) for x in EXPOSED_LINES]
        engine_out = (service.folder.parent / 'Log' / f'OrvaImage_{name}_{letter}.log').read_text('latin-1')
        assert re.search(r'\\\\\d+\.\d+\.\d+\.\d+\\' + name + '_' + letter + r'_\d+_\d+', engine_out), engine_out[:1500]
        restore(repo / f'{name}.tav', tmp_path / f'restored-{name}')
        assert tree(tmp_path / f'restored-{name}') == expected
    history = service.file('OrvaHistory.log').decode('latin-1')
    assert history.count('[FULLBACKUP][Success]') == 2, history
    # Each snapshot was deleted with its share.
    wait_for(lambda: not snapshots() and not unc_shares(), 60, 'the snapshots to go')


def test_exposed_snapshot_route_failed_create(service, drive, windows10, tmp_path):
    _letter, _live, repo = drive
    used = {p.name[0].lower() for p in (PREFIX / 'dosdevices').iterdir() if len(p.name) == 2}
    missing = next(c for c in 'mnopjkl' if c not in used).upper()
    service.start()
    m = Manager()
    m.job_list()
    record = job('NoVol', kind='once', driveLetter=missing, imagePath=win_path(repo / 'NoVol.tav'), excludeList='')
    m.send(record)
    assert m.receive() == record
    reports = reports_until_final(m, 'NoVol', timeout=SLOW, states=(10,))
    m.close()
    assert [r['jobState'] for r in reports] == [3, 10, 10]
    assert job_lines(service, 'NoVol') == [
        f'[FULL_BACKUP] [{missing} Drive] Full backup process starts',
        f'[FULL_BACKUP] [ERROR] [{missing} Drive] Failed to create a snapshot.',
        f'[FULL_BACKUP] [{missing} Drive] Finished to full backup process.']
    assert service.file('OrvaHistory.log').decode('latin-1').endswith('[FULLBACKUP][Failed][NoVol]\r\n')
    assert list(repo.iterdir()) == [] and not snapshots()


def test_exposed_snapshot_route_cancel_deletes_the_snapshot(service, drive, windows10, tmp_path):
    letter, live, repo = drive
    many = live / 'many'
    many.mkdir()
    chunk = os.urandom(96 << 10)
    for i in range(3000):
        (many / f'f{i:04}.bin').write_bytes(chunk[i % 64:] + chunk[:i % 64])
    service.start()
    m = Manager()
    m.job_list()
    record = job('ExpC', kind='once', driveLetter=letter, imagePath=win_path(repo / 'ExpC.tav'),
                 compressionLevel=0, excludeList='')
    m.send(record)
    assert m.receive() == record
    engine_out = service.folder.parent / 'Log' / f'OrvaImage_ExpC_{letter}.log'
    wait_for(engine_out.exists, SLOW, 'the engine run')
    m.send(with_code(record, CANCELJOB))
    reports = reports_until_final(m, 'ExpC', timeout=SLOW)
    m.close()
    states = [r['jobState'] for r in reports]
    assert states[:3] == [3, 4, 5] and states[-1] == -1, states
    assert b'The user has canceled the imaging process.' in engine_out.read_bytes()
    assert not (repo / 'ExpC.tav').exists()
    wait_for(lambda: not snapshots() and not unc_shares(), 60, 'the snapshot to go')


def test_daily_weekly_and_monthly_schedules_fire_once_in_their_minute(service, drive, windows10, tmp_path):
    """Waits out the real clock: the jobs are set for the coming minute."""
    letter, _live, repo = drive
    service.start()
    m = Manager()
    m.job_list()
    now = datetime.datetime.now()
    at = (now + datetime.timedelta(minutes=2 if now.second > 50 else 1)).replace(second=0, microsecond=0)
    today = at.weekday()  # Monday first, as the record's weekday flags
    flags = lambda day: b''.join(b'y' if i == day else b'n' for i in range(7))
    common = dict(driveLetter=letter, compressionLevel=1, excludeList='', scheduleTime=at.strftime('%H:%M'))
    records = {
        'Day': job('Day', kind='daily', imagePath=win_path(repo / 'Day.tav'), **common),
        'Week': job('Week', kind='weekly', weekly=b'y', weekdays=flags(today), imagePath=win_path(repo / 'Week.tav'),
                    **common),
        'Month': job('Month', kind='monthly', monthly=b'y', dayOfMonth=at.day, imagePath=win_path(repo / 'Month.tav'),
                     **common),
        'OtherDay': job('OtherDay', kind='weekly', weekly=b'y', weekdays=flags((today + 1) % 7),
                        imagePath=win_path(repo / 'OtherDay.tav'), **common),
    }
    for record in records.values():
        m.send(record)
        assert m.receive() == record
    starts, finals = {}, {}
    # Until a tick after the minute that follows: no job fires twice for its
    # minute (a job is re-armed a minute after its run; the scheduler's own
    # tests re-arm one at once within the minute).
    end = at + datetime.timedelta(minutes=1, seconds=8)
    while datetime.datetime.now() < end:
        raw = m.receive(timeout=max(0.1, (end - datetime.datetime.now()).total_seconds()))
        if raw is None:
            continue
        r = unpack(raw)
        if r['jobState'] == 3:
            starts.setdefault(r['jobName'], []).append(datetime.datetime.now())
        if r['jobState'] in FINAL_STATES:
            finals.setdefault(r['jobName'], []).append(r['jobState'])
    m.close()
    assert sorted(starts) == ['Day', 'Month', 'Week'], starts
    for name, when in starts.items():
        assert len(when) == 1 and at <= when[0] < at + datetime.timedelta(seconds=30), (name, when)
        assert finals[name] == [0, 0], (name, finals)
    assert not (repo / 'OtherDay.tav').exists()


def test_an_old_engine_output_that_cannot_go_refuses_the_run(service, drive):
    letter, _live, repo = drive
    # The output of an earlier run that ended well, read-only: it cannot be
    # deleted, and the engine cannot write this run's output over it.
    logs = service.folder.parent / 'Log'
    logs.mkdir(exist_ok=True)
    old = logs / f'OrvaImage_Old_{letter}.log'
    old.write_bytes(b'Orvanta Image Archiver\r\n\r\nEverything is Ok.\r\n')
    old.chmod(0o444)
    try:
        service.start()
        m = Manager()
        m.job_list()
        record = job('Old', kind='once', driveLetter=letter, imagePath=win_path(repo / 'Old.tav'),
                     compressionLevel=1, excludeList='')
        m.send(record)
        assert m.receive() == record
        reports = reports_until_final(m, 'Old', timeout=SLOW, finals=1)
        m.close()
    finally:
        old.chmod(0o644)
    assert reports[-1]['jobState'] == 1, [r['jobState'] for r in reports]
    lines = job_lines(service, 'Old')
    assert any('[ERROR]' in line and 'The log of an earlier run cannot be removed: ' in line and
               line.endswith(f'\\Log\\OrvaImage_Old_{letter}.log') for line in lines), lines
    assert not (repo / 'Old.tav').exists()
