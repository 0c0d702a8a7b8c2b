"""Image jobs end to end: the service snapshots a Wine drive letter mapped to
a fixture folder with the shadow-copy stand-in, runs OrvaImage.exe from its
script, reports the run and writes the job log and the history; the image is
restored and compared. A cancelled full backup leaves the previous image."""
import os
import re
import shutil
import time

import pytest

from conftest import ORVA_BIN, PREFIX, wait_for, win_path, wine
from job_wire import CANCELJOB, RUNJOB, Manager, job, unpack, with_code

FINAL_STATES = (0, 1, 2, -1)
LOG_LINE = re.compile(r'^\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\]\[([^\]]+)\] (.*)$')
STAMP = r'\d{4}\.\d\d\.\d\d \d\d:\d\d'
OK = b'Everything is Ok'


@pytest.fixture
def drive(service, tmp_path):
    """The service folder with the tools and the test settings, and a drive
    letter of the service prefix on a fixture folder."""
    for exe in ('OrvaImage.exe', 'vshadow.exe'):
        shutil.copy(ORVA_BIN / exe, service.folder / exe)
    (service.folder / 'OrvaTestSettings.txt').write_text('rearm_ms=300\r\n')
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


def reports_until_final(m, name, timeout=60, finals=2):
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
        if sum(1 for x in got if x['jobState'] in FINAL_STATES) == finals:
            return got
    raise AssertionError(f'no final report: {[x["jobState"] for x in got]}')


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


def test_full_backup_reports_logs_and_restores_the_snapshot(service, drive, tmp_path):
    letter, live, repo = drive
    service.start()
    m = Manager()
    m.job_list()
    image = repo / 'Img.tav'
    settings = service.folder.parent / 'Log' / f'OrvaSetVar_Img_{letter}.cmd'
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
    assert (log_dir / f'OrvaImage_Img_{letter}.log').read_bytes().rstrip().endswith(b'Everything is Ok.')

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
    settings = service.folder.parent / 'Log' / f'OrvaSetVar_Prev_{letter}.cmd'
    # The run lasts until its re-arm (300 ms here); RUNJOB then starts it again.
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


def test_time_limit_ends_the_tools_and_puts_the_previous_image_back(service, drive, tmp_path):
    letter, _live, repo = drive
    (service.folder / 'OrvaTestSettings.txt').write_text('rearm_ms=300\r\ntool_timeout_ms=200\r\n')
    image = repo / 'Slow.tav'
    image.write_bytes(b'the previous image')
    snapshots = list(PREFIX.glob('drive_c/users/*/Temp/orva_snapshots'))
    before = {p for s in snapshots for p in s.iterdir()}
    service.start()
    m = Manager()
    m.job_list()
    record = job('Slow', kind='once', driveLetter=letter, imagePath=win_path(image), excludeList='')
    m.send(record)
    assert m.receive() == record
    try:
        states = [r['jobState'] for r in reports_until_final(m, 'Slow')]
    finally:
        m.close()
        # A snapshot the ended tool could not remove.
        for s in PREFIX.glob('drive_c/users/*/Temp/orva_snapshots'):
            for p in set(s.iterdir()) - before:
                shutil.rmtree(p, ignore_errors=True)
    assert states[:2] == [3, 5] and states[-2:] == [1, 1], states
    assert image.read_bytes() == b'the previous image'
    assert not (repo / 'Slow.tav.old').exists()
    assert (f'[FULL_BACKUP] [ERROR] [{letter} Drive] The image backup process passed its time limit and was ended.'
            in job_lines(service, 'Slow'))
    assert service.file('OrvaHistory.log').decode('latin-1').endswith('[FULLBACKUP][Failed][Slow]\r\n')
