"""Replication sets and ISO backups end to end: the service mirrors a
fixture folder with robocopy (the stand-in beside the service), from the live
folder or from an exposed snapshot, and builds a bootable ISO of the recovery
tree and a volume image with OSCDIMG (the stand-in) from a script run under the
shadow-copy tool. Verdicts come from the tools' logs."""
import os
import shutil
import signal
import subprocess
import time

from conftest import (ORVA_BIN, ORVA_WINE_RUN, job_lines, listening_on_port, reports_until_final, restore,
                      run_each_from_schedule_file, snapshots, tree, unc_shares, wait_for, win_path, wine_env)
from job_wire import CANCELJOB, MODIFYJOB, RUNJOB, Manager, job, schedule_file, unpack, with_code

# How long a snapshot-route step may take on a loaded machine before a test
# gives up on it (each step runs the shadow-copy tool under Wine).
SLOW = 240


def install_tools(service):
    for exe in ('OrvaImage.exe', 'vshadow.exe', 'vshadow_amd64.exe', 'robocopy.exe'):
        shutil.copy(ORVA_BIN / exe, service.folder / exe)
    shutil.copy(ORVA_BIN / 'oscdimg.exe', service.folder / 'OSCDIMG.EXE')


def source_tree(root):
    (root / 'sub' / 'deep').mkdir(parents=True)
    (root / 'a.txt').write_bytes(b'alpha\r\n')
    (root / 'sub' / 'b.bin').write_bytes(os.urandom(200_000))
    (root / 'sub' / 'deep' / 'c.txt').write_bytes(b'gamma\r\n')
    (root / 'empty').mkdir()


def replication(name, source, target, kind='once', **extra):
    return job(name, kind=kind, jobType=extra.pop('jobType', 304), sourceFolder=source, targetFolder=target,
               imagePath='none', excludeList='', **extra)


def run_job(service, record, finals=1, timeout=120, **kw):
    m = Manager()
    m.job_list()
    m.send(record)
    assert m.receive() == record
    reports = reports_until_final(m, unpack(record)['jobName'], timeout=timeout, finals=finals, **kw)
    m.close()
    return reports


def history(service):
    return service.file('OrvaHistory.log').decode('latin-1').split('\r\n')[:-1]


def test_replication_mirrors_and_judges_the_log(service, tmp_path):
    install_tools(service)
    src, dst = tmp_path / 'src', tmp_path / 'dst'
    source_tree(src)
    (dst / 'old').mkdir(parents=True)
    (dst / 'old' / 'stale.txt').write_bytes(b'not in the source')
    (dst / 'a.txt').write_bytes(b'outdated')
    service.start()
    reports = run_job(service, replication('Rep', win_path(src), win_path(dst)))
    states = [r['jobState'] for r in reports]
    assert states[0] == 3 and states[-1] == 0 and set(states[:-1]) == {3}, states
    assert tree(dst) == tree(src)
    final = reports[-1]
    assert final['totalBytes'] == final['bytesToCopy'] == 200_014
    done = f'[REPLICATION] Finished to replicate {win_path(src)}.'
    wait_for(lambda: job_lines(service, 'Rep')[-1:] == [done], 10, 'the last job-log line')
    lines = job_lines(service, 'Rep')
    assert lines[:4] == [
        f'[REPLICATION] Replication started for directory {win_path(src)}.',
        f'[REPLICATION] SourceFolder = {win_path(src)} Size = 200014',
        f'[REPLICATION] TargetFolder = {win_path(dst)} Size = 25',
        '[REPLICATION] Replication process start.']
    assert lines[-2:] == ['[REPLICATION] [Success] Finished to replicate.',
                          f'[REPLICATION] Finished to replicate {win_path(src)}.']
    assert history(service)[-1].endswith('[REPLICATION][Success][Rep]')
    log = (service.folder.parent / 'Log' / 'Replicate_Rep.log').read_bytes()
    assert b'Ended :' in log.rstrip().splitlines()[-1]


def test_replication_failed_copy_is_a_warning_and_missing_source_a_failure(service, tmp_path):
    install_tools(service)
    src, dst = tmp_path / 'src', tmp_path / 'dst'
    source_tree(src)
    service.start()
    # A file held open without sharing cannot be copied (sharing violation).
    holder = subprocess.Popen([ORVA_WINE_RUN, str(ORVA_BIN / 'file_holder.exe'), win_path(src / 'a.txt')],
                              stdin=subprocess.PIPE, stdout=subprocess.PIPE, env=wine_env())
    try:
        assert holder.stdout.readline().strip() == b'held'
        reports = run_job(service, replication('Held', win_path(src), win_path(dst)))
    finally:
        holder.stdin.close()
        holder.wait(timeout=30)
    assert reports[-1]['jobState'] == 2
    assert '[REPLICATION] [Warning] The replication process finished abnormally with some warnings.' in \
        job_lines(service, 'Held')
    assert (dst / 'sub' / 'deep' / 'c.txt').exists() and not (dst / 'a.txt').exists()
    assert history(service)[-1].endswith('[REPLICATION][Warning][Held]')

    reports = run_job(service, replication('NoSrc', win_path(tmp_path / 'missing'), win_path(tmp_path / 'dst2')))
    assert reports[-1]['jobState'] == 1
    assert '[REPLICATION] [ERROR] The replication process finished abnormally.' in job_lines(service, 'NoSrc')
    assert history(service)[-1].endswith('[REPLICATION][Failed][NoSrc]')


def test_a_robocopy_that_logs_in_korean_and_left_a_file_is_a_warning(service, tmp_path):
    install_tools(service)
    # A robocopy of the tests' own: a Korean log with one failed file, exit code 8.
    shutil.copy(ORVA_BIN / 'korean_robocopy.exe', service.folder / 'robocopy.exe')
    src = tmp_path / 'src'
    source_tree(src)
    service.start()
    reports = run_job(service, replication('Korean', win_path(src), win_path(tmp_path / 'dst')))
    assert reports[-1]['jobState'] == 2
    lines = job_lines(service, 'Korean')
    assert '[REPLICATION] [ERROR] Robocopy ended with exit code 8: some files or folders were not copied.' in lines
    assert '[REPLICATION] [Warning] The replication process finished abnormally with some warnings.' in lines
    assert history(service)[-1].endswith('[REPLICATION][Warning][Korean]')


def test_targets_a_mirror_would_damage_are_refused(service, tmp_path):
    install_tools(service)
    service.start()
    m = Manager()
    m.job_list()
    src = win_path(tmp_path / 'src')
    for bad in ('D:\\', src + '\\inner', 'C:\\windows', win_path(service.folder.parent)):
        m.send(replication('Bad', src, bad))
    m.send(job('BadIso', kind='once', jobType=306, imagePath='D:\\Iso\\image.tav'))
    good = replication('Good', src, win_path(tmp_path / 'dst'))
    m.send(good)
    assert m.receive() == good  # the refused ones were never echoed
    m.close()
    tasks = service.task_lines()
    assert sum('Record refused' in line for line in tasks) == 5, tasks


def test_records_that_cannot_run_are_refused_with_their_field(service, tmp_path):
    """Each record here was once stored and then failed at every run, or ran
    on something else than meant: ADDJOB and MODIFYJOB refuse it, with a
    task-log line that names the field."""
    install_tools(service)
    service.start()
    m = Manager()
    m.job_list()
    src, dst = win_path(tmp_path / 'src'), win_path(tmp_path / 'dst')
    log_dir = win_path(service.folder.parent / 'Log')
    image = win_path(tmp_path / 'repo' / 'x.tav')
    good = replication('Good', src, dst, kind='daily')
    m.send(good)
    assert m.receive() == good
    refused = [  # the record, the field its line names
        (replication('Pct', src + '\\100%', dst), 'source folder'),
        (replication('PctT', src, dst + '\\%TEMP%'), 'target folder'),
        (replication('Bare', 'C:', dst), 'source folder'),
        (replication('BareS', 'C:', dst, jobType=305, driveLetter='C'), 'source folder'),
        (replication('InLog', src, log_dir + '\\mirror'), 'target folder'),
        (replication('Log', src, log_dir), 'target folder'),
        (replication('Unc', '\\\\nas\\share\\data', dst, jobType=305), 'source folder'),
        (replication('Rel', 'data', dst, jobType=305), 'source folder'),
        (job('NoDrive', kind='once', driveLetter='', imagePath=image), 'driveLetter'),
        (job('Digit', kind='once', driveLetter='1', imagePath=image), 'driveLetter'),
        (job('IsoDrive', kind='once', jobType=306, driveLetter='?',
             imagePath=win_path(tmp_path / 'iso' / 'ORVAPE' / 'IMAGE' / 'C.tav')), 'driveLetter'),
        (with_code(replication('Good', src + '\\%x', dst, kind='daily'), MODIFYJOB), 'source folder'),
        (with_code(replication('Good', src, log_dir, kind='daily'), MODIFYJOB), 'target folder'),
    ]
    for record, _field in refused:
        m.send(record)
    probe = replication('Probe', src, win_path(tmp_path / 'dst2'), kind='daily')
    m.send(probe)
    assert m.receive() == probe  # nothing refused was echoed
    assert m.receive(timeout=1) is None
    m.close()
    lines = [line for line in service.task_lines() if 'Record refused' in line]
    assert len(lines) == len(refused), service.task_lines()
    for line, (record, field) in zip(lines, refused):
        assert f'[{"MODIFYJOB" if unpack(record)["code"] == MODIFYJOB else "ADDJOB"}] Record refused: the {field}' \
            in line, line
    m = Manager()
    stored = [unpack(r) for r in m.job_list()]
    m.close()
    assert [(r['jobName'], r['sourceFolder'], r['targetFolder']) for r in stored] == [
        ('Good', src, dst), ('Probe', src, win_path(tmp_path / 'dst2'))]
    time.sleep(1)  # a stored "once" job would have run by now
    assert service.file('OrvaHistory.log') == b''


def test_the_worker_refuses_folders_the_schedule_file_brings(service, drive, tmp_path):
    """Records that never passed ADDJOB: the worker checks them again and
    names the field; the mirror never runs."""
    letter, _live, repo = drive
    install_tools(service)
    (tmp_path / 'src').mkdir()
    (tmp_path / 'src' / 'a.txt').write_bytes(b'alpha\r\n')
    src = win_path(tmp_path / 'src')
    log_dir = service.folder.parent / 'Log'
    log_dir.mkdir()
    (log_dir / 'keep.txt').write_bytes(b'a log of the service\r\n')
    records = {
        'Pct': replication('Pct', src + '\\%x', win_path(tmp_path / 'dst')),
        'InLog': replication('InLog', src, win_path(log_dir)),
        'Digit': job('Digit', kind='once', driveLetter='1', imagePath=win_path(repo / 'Digit.tav'), excludeList=''),
    }
    run_each_from_schedule_file(service, records)
    assert any("The replication cannot run: the source folder holds '%'" in line for line in job_lines(service, 'Pct'))
    assert any('The replication cannot run: the target folder holds or lies in the folder' in line
               for line in job_lines(service, 'InLog'))
    assert f'[FULL_BACKUP] [ERROR] [1 Drive] The job was refused: the driveLetter "1" is not one letter A-Z.' in \
        job_lines(service, 'Digit')
    assert (log_dir / 'keep.txt').read_bytes() == b'a log of the service\r\n'
    assert not (tmp_path / 'dst').exists() and list(repo.iterdir()) == []


def test_cancel_ends_a_replication(service, tmp_path):
    install_tools(service)
    src, dst = tmp_path / 'src', tmp_path / 'dst'
    (src / 'many').mkdir(parents=True)
    chunk = os.urandom(64 << 10)
    for i in range(3000):
        (src / 'many' / f'f{i:04}.bin').write_bytes(chunk)
    service.start()
    m = Manager()
    m.job_list()
    record = replication('Long', win_path(src), win_path(dst))
    m.send(record)
    assert m.receive() == record
    wait_for(lambda: (dst / 'many').exists(), 60, 'the copy to start')
    m.send(with_code(record, CANCELJOB))
    reports = reports_until_final(m, 'Long', timeout=60, finals=1)
    m.close()
    assert reports[-1]['jobState'] == -1
    assert len(list((dst / 'many').iterdir())) < 3000
    assert history(service)[-1].endswith('[REPLICATION][Warning][Long]')


def test_shadow_replication_copies_the_snapshot(service, drive, windows10, tmp_path):
    letter, live, _repo = drive
    install_tools(service)
    dst = tmp_path / 'mirror'
    service.start()
    m = Manager()
    m.job_list()
    record = replication('Shadow', f'{letter}:\\sub', win_path(dst), jobType=305, driveLetter=letter)
    m.send(record)
    assert m.receive() == record
    expose_log = service.folder.parent / 'Log' / f'Replicate_Shadow_Mount_Shadow_{letter}.log'
    wait_for(expose_log.exists, SLOW, 'the exposed snapshot')
    expected = tree(live / 'sub')
    (live / 'sub' / 'inner.txt').write_bytes(b'changed after the snapshot\r\n')
    reports = reports_until_final(m, 'Shadow', timeout=SLOW, finals=1)
    m.close()
    states = [r['jobState'] for r in reports]
    assert states[:2] == [3, 4] and 6 in states and states[-1] == 0, states
    assert tree(dst) == expected
    done = f'[REPLICATION_SHADOW] Finished to replicate {letter}:\\sub.'
    wait_for(lambda: job_lines(service, 'Shadow')[-1:] == [done], SLOW, 'the last job-log line')
    lines = job_lines(service, 'Shadow')
    assert f'[REPLICATION_SHADOW] [{letter} Volume] Created a snapshot successfully.' in lines
    assert f'[REPLICATION_SHADOW] [{letter} Volume] Succeeded to mount the snapshot. ' in lines
    assert lines[-1] == f'[REPLICATION_SHADOW] Finished to replicate {letter}:\\sub.'
    assert history(service)[-1].endswith('[REPLICATION_SHADOW][Success][Shadow]')
    wait_for(lambda: not snapshots() and not unc_shares(), 60, 'the snapshot to go')


def test_iso_backup_holds_the_recovery_tree_and_the_image(service, drive, tmp_path):
    letter, live, _repo = drive
    install_tools(service)
    pe = service.folder / 'ORVAPE'
    (pe / 'boot').mkdir(parents=True)
    (pe / 'boot' / 'bcd').write_bytes(b'boot configuration')
    (pe / 'IMAGE').mkdir()
    (service.folder / 'etfsboot.com').write_bytes(bytes(range(256)) * 8)
    staging = tmp_path / 'iso'
    staging.mkdir()
    image = staging / 'ORVAPE' / 'IMAGE' / f'{letter}.tav'
    service.start()
    record = job('Media', kind='once', jobType=306, driveLetter=letter, imagePath=win_path(image),
                 compressionLevel=1, excludeList='')
    reports = run_job(service, record, timeout=180)
    states = [r['jobState'] for r in reports]
    assert states[:2] == [3, 5] and states[-1] == 0, states
    iso = staging / 'Media.iso'
    assert iso.exists() and not (staging / 'ORVAPE').exists()
    assert history(service)[-1].endswith('][Success][Media]')
    listing = subprocess.run(['xorriso', '-indev', str(iso), '-find', '/', '-type', 'f'], capture_output=True,
                             text=True, check=True).stdout
    assert "'/boot/bcd'" in listing and f"'/IMAGE/{letter}.tav'" in listing, listing
    boot = subprocess.run(['xorriso', '-indev', str(iso), '-report_el_torito', 'plain'], capture_output=True,
                          text=True, check=True).stdout
    assert 'El Torito boot img' in boot and 'none' in boot.lower(), boot
    # The image inside the ISO restores to the volume.
    out = tmp_path / 'image.tav'
    subprocess.run(['xorriso', '-osirrox', 'on', '-indev', str(iso), '-extract', f'/IMAGE/{letter}.tav', str(out)],
                   capture_output=True, check=True)
    restore(out, tmp_path / 'restored')
    assert tree(tmp_path / 'restored') == tree(live)


def iso_service_folder(service, oscdimg):
    """The tools, a recovery tree and a boot sector beside the service, with
    `oscdimg` in OSCDIMG's place."""
    install_tools(service)
    shutil.copy(oscdimg, service.folder / 'OSCDIMG.EXE')
    pe = service.folder / 'ORVAPE'
    (pe / 'boot').mkdir(parents=True)
    (pe / 'boot' / 'bcd').write_bytes(b'boot configuration')
    (pe / 'IMAGE').mkdir()
    (service.folder / 'etfsboot.com').write_bytes(bytes(range(256)) * 8)


def test_a_failed_oscdimg_keeps_the_previous_iso(service, drive, tmp_path):
    letter, _live, _repo = drive
    # An OSCDIMG of the tests' own that writes part of its file and fails.
    iso_service_folder(service, ORVA_BIN / 'failing_oscdimg.exe')
    staging = tmp_path / 'iso'
    staging.mkdir()
    previous = b'the previous good ISO\r\n' * 1000
    (staging / 'Media.iso').write_bytes(previous)
    image = staging / 'ORVAPE' / 'IMAGE' / f'{letter}.tav'
    service.start()
    record = job('Media', kind='once', jobType=306, driveLetter=letter, imagePath=win_path(image),
                 compressionLevel=1, excludeList='')
    reports = run_job(service, record, timeout=180)
    assert reports[-1]['jobState'] == 1, [r['jobState'] for r in reports]
    assert history(service)[-1].endswith('][Failed][Media]')
    assert (staging / 'Media.iso').read_bytes() == previous
    # The partial file went; the staging tree holds the new image, and the
    # job log says where.
    assert sorted(p.name for p in staging.iterdir()) == ['Media.iso', 'ORVAPE']
    assert image.stat().st_size > 0
    lines = job_lines(service, 'Media')
    volume = f'[ISOBACKUP] [ERROR] [{letter} Volume] '
    assert volume + 'OSCDIMG ended with exit code 1; no ISO file was made.' in lines, lines
    assert volume + f'The new image stays in the staging folder: {win_path(staging / "ORVAPE")}' in lines, lines


def test_a_replication_whose_old_log_cannot_go_is_refused(service, tmp_path):
    install_tools(service)
    src, dst = tmp_path / 'src', tmp_path / 'dst'
    source_tree(src)
    # The log of an earlier run that ended well, read-only: it cannot be
    # deleted, and robocopy cannot write this run's log over it.
    logs = service.folder.parent / 'Log'
    logs.mkdir(exist_ok=True)
    old = logs / 'Replicate_Stuck.log'
    old.write_bytes(b'\t    New File  \t\t      12\ta.txt\r\n   Ended : Thursday, December 10, 2026 9:08:07 AM\r\n')
    old.chmod(0o444)
    try:
        service.start()
        reports = run_job(service, replication('Stuck', win_path(src), win_path(dst)))
    finally:
        old.chmod(0o644)
    assert reports[-1]['jobState'] == 1
    lines = job_lines(service, 'Stuck')
    assert any(line.startswith('[REPLICATION] [ERROR] The log of an earlier run cannot be removed: ') and
               line.endswith('\\Log\\Replicate_Stuck.log') for line in lines), lines
    assert history(service)[-1].endswith('[REPLICATION][Failed][Stuck]')
    assert not dst.exists()


def test_a_snapshot_an_interrupted_run_left_goes_at_the_next_run(service, drive, windows10, tmp_path):
    from test_image_paths import wine_pids
    letter, live, _repo = drive
    install_tools(service)
    many = live / 'sub' / 'many'
    many.mkdir()
    for i in range(1500):
        (many / f'f{i:04}.txt').write_bytes(b'%d\r\n' % i)
    dst = tmp_path / 'mirror'
    before, shares = set(snapshots()), set(unc_shares())
    service.start()
    m = Manager()
    m.job_list()
    record = replication('Cut', f'{letter}:\\sub', win_path(dst), jobType=305, driveLetter=letter)
    m.send(record)
    assert m.receive() == record
    copy_log = service.folder.parent / 'Log' / 'Replicate_Cut.log'
    wait_for(copy_log.exists, SLOW, 'the copy from the snapshot')
    # The service ends mid-copy, as at a power cut: the run never gets to
    # its delete step.
    for pid in wine_pids('OrvaServer.exe') + wine_pids('robocopy.exe'):
        os.kill(pid, signal.SIGKILL)
    m.close()
    wait_for(lambda: not wine_pids('OrvaServer.exe') and not listening_on_port(), 30, 'the service to end')
    wait_for(lambda: not wine_pids('robocopy.exe') and not wine_pids('vshadow.exe'), 60, 'the tools to end')
    assert set(snapshots()) - before or set(unc_shares()) - shares, 'the interrupted run left no snapshot'

    service.start()
    m = Manager()
    m.job_list()
    m.send(with_code(record, RUNJOB))
    reports = reports_until_final(m, 'Cut', timeout=SLOW, finals=1)
    m.close()
    assert reports[-1]['jobState'] == 0, [r['jobState'] for r in reports]
    assert tree(dst) == tree(live / 'sub')
    wait_for(lambda: not (set(snapshots()) - before) and not (set(unc_shares()) - shares), 60, 'every snapshot to go')
    lines = job_lines(service, 'Cut')
    assert any(line.startswith('[REPLICATION_SHADOW] Deleted the snapshot {') and
               line.endswith('} that an earlier run left behind.') for line in lines), lines
