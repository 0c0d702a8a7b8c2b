"""Image paths a local program may send, and full backups cut short: records
whose image path is no full path of a ".TAV" file, or whose ISO staging tree
would be the service's recovery tree, are refused at ADDJOB and MODIFYJOB and
again by the worker, and touch no file; a full backup replaces only TAV
images and keeps the previous image until the new one is complete, also when
the engine or the whole service ends in the middle of the run."""
import os
import pathlib
import shutil
import signal
import struct
import time

from conftest import (ORVA_BIN, PREFIX, job_lines, listening_on_port, reports_until_final, restore,
                      run_each_from_schedule_file, snapshots, tree, wait_for, win_path, wine)
from job_wire import MODIFYJOB, RUNJOB, Manager, job, schedule_file, unpack, with_code


def wine_pids(exe):
    """Linux ids of this prefix's Wine processes running `exe`."""
    found = []
    for proc in pathlib.Path('/proc').iterdir():
        if not proc.name.isdigit():
            continue
        try:
            environ = (proc / 'environ').read_bytes().split(b'\0')
            argv = (proc / 'cmdline').read_bytes().split(b'\0')
        except OSError:
            continue
        if b'WINEPREFIX=' + str(PREFIX).encode() not in environ:
            continue
        if any(a.replace(b'/', b'\\').rsplit(b'\\', 1)[-1].lower() == exe.lower().encode() for a in argv[:2]):
            found.append(int(proc.name))
    return found


def slow_source(live):
    """Enough objects for a run that lasts a while."""
    many = live / 'many'
    many.mkdir()
    chunk = os.urandom(96 << 10)
    for i in range(3000):
        (many / f'f{i:04}.bin').write_bytes(chunk[i % 64:] + chunk[:i % 64])


def job_list_names(m):
    return [unpack(r)['jobName'] for r in m.job_list()]


def test_hostile_image_paths_are_refused_and_touch_nothing(service, drive, tmp_path):
    letter, _live, repo = drive
    victim = tmp_path / 'victim.txt'
    victim.write_bytes(b'a file of the user\r\n')
    tav_victim = tmp_path / 'victim.TAV'
    tav_victim.write_bytes(b'notes that only look like an image by name\r\n')
    pe = service.folder / 'ORVAPE'
    (pe / 'IMAGE').mkdir(parents=True)
    (pe / 'boot.wim').write_bytes(b'the shipped recovery tree')
    shipped = tree(pe)
    service.start()
    m = Manager()
    m.job_list()
    good = job('Good', driveLetter=letter, imagePath=win_path(repo / 'Good.TAV'))
    m.send(good)
    assert m.receive() == good
    # "once" jobs run at the tick that follows their ADDJOB: a stored one
    # would run at once.
    hostile = [
        job('NotTav', kind='once', driveLetter=letter, imagePath=win_path(victim)),
        job('DotDot', kind='once', driveLetter=letter, imagePath=win_path(repo) + '\\..\\victim.TAV'),
        job('Stream', kind='once', driveLetter=letter, imagePath=win_path(victim) + ':x.TAV'),
        job('Relative', kind='once', driveLetter=letter, imagePath='victim.TAV'),
        job('IsoSvc', kind='once', jobType=306, driveLetter=letter,
            imagePath=win_path(pe / 'IMAGE' / f'{letter}.TAV')),
        job('IsoUp', kind='once', jobType=306, driveLetter=letter,
            imagePath=win_path(service.folder.parent / 'ORVAPE' / 'IMAGE' / f'{letter}.TAV')),
        with_code(job('Good', kind='once', driveLetter=letter, imagePath=win_path(repo) + '\\..\\victim.TAV'),
                  MODIFYJOB),
    ]
    for record in hostile:
        m.send(record)
    probe = job('Probe', driveLetter=letter, imagePath=win_path(repo / 'Probe.tav'))
    m.send(probe)
    assert m.receive() == probe  # nothing refused was echoed
    assert m.receive(timeout=1) is None
    m.close()
    refused = [line for line in service.task_lines() if 'Record refused' in line]
    assert len(refused) == len(hostile), service.task_lines()
    assert any('does not name a file ending in ".TAV"' in line for line in refused), refused
    assert any('".." part' in line for line in refused), refused
    assert any('service folder' in line for line in refused), refused

    m = Manager()
    assert job_list_names(m) == ['Good', 'Probe']
    m.close()
    schedule = service.file('OrvaSchedule.ovc').decode('latin-1')
    assert 'victim' not in schedule and 'ORVAPE' not in schedule, schedule
    time.sleep(1)  # a run would have started by now
    assert victim.read_bytes() == b'a file of the user\r\n'
    assert tav_victim.read_bytes() == b'notes that only look like an image by name\r\n'
    assert tree(pe) == shipped
    assert service.file('OrvaHistory.log') == b''


def test_the_worker_refuses_what_the_schedule_file_brings(service, drive, tmp_path):
    """Records that never passed ADDJOB: the worker checks the path again, and
    a full backup replaces no file that is not a TAV image."""
    letter, _live, repo = drive
    victim = tmp_path / 'victim.TAV'
    victim.write_bytes(b'a file of the user\r\n')
    notes = repo / 'Notes.TAV'
    notes.write_bytes(b'notes, not an image\r\n')
    pe = service.folder / 'ORVAPE'
    (pe / 'IMAGE').mkdir(parents=True)
    (pe / 'boot.wim').write_bytes(b'the shipped recovery tree')
    shipped = tree(pe)
    records = {
        'DotDot': job('DotDot', kind='once', driveLetter=letter, imagePath=win_path(repo) + '\\..\\victim.TAV'),
        'IsoSvc': job('IsoSvc', kind='once', jobType=306, driveLetter=letter,
                      imagePath=win_path(pe / 'IMAGE' / 'victim.TAV')),
        'Notes': job('Notes', kind='once', driveLetter=letter, imagePath=win_path(notes), excludeList=''),
    }
    run_each_from_schedule_file(service, records)
    assert victim.read_bytes() == b'a file of the user\r\n'
    assert notes.read_bytes() == b'notes, not an image\r\n'
    assert not (repo / 'Notes.TAV.old').exists()
    assert tree(pe) == shipped
    assert (f'[FULL_BACKUP] [ERROR] [{letter} Drive] The image path was refused: the image path holds a "." or ".." '
            f'part: {win_path(repo)}\\..\\victim.TAV') in job_lines(service, 'DotDot')
    assert any('The image path was refused: the staging folder of the ISO backup is the service folder' in line
               for line in job_lines(service, 'IsoSvc')), job_lines(service, 'IsoSvc')
    assert (f'[FULL_BACKUP] [ERROR] [{letter} Drive] The file at the image path is not a TAV image; it was left as '
            f'it is: {win_path(notes)}') in job_lines(service, 'Notes')
    history = service.file('OrvaHistory.log').decode('latin-1')
    assert history.count('[Failed]') == 3, history


def first_image(service, m, record, name):
    m.send(record)
    assert m.receive() == record
    assert [r['jobState'] for r in reports_until_final(m, name)][-1] == 0, job_lines(service, name)


def test_an_engine_ended_mid_full_backup_leaves_the_previous_image(service, drive, tmp_path):
    letter, live, repo = drive
    image = repo / 'Keep.TAV'
    service.start()
    m = Manager()
    m.job_list()
    record = job('Keep', kind='once', driveLetter=letter, imagePath=win_path(image), compressionLevel=0,
                 excludeList='')
    first_image(service, m, record, 'Keep')
    previous, expected = image.read_bytes(), tree(live)
    slow_source(live)
    time.sleep(1)  # past the re-arm
    m.send(with_code(record, RUNJOB))
    wait_for(lambda: (repo / 'Keep.TAV.old').exists() and wine_pids('OrvaImage.exe'), 60, 'the engine run')
    time.sleep(1)
    for pid in wine_pids('OrvaImage.exe'):
        os.kill(pid, signal.SIGKILL)
    reports = reports_until_final(m, 'Keep', timeout=120)
    m.close()
    assert [r['jobState'] for r in reports][-2:] == [1, 1]
    assert image.read_bytes() == previous
    assert not (repo / 'Keep.TAV.old').exists()
    restore(image, tmp_path / 'restored')
    assert tree(tmp_path / 'restored') == expected


def test_a_service_ended_mid_full_backup_gets_its_previous_image_back_at_start(service, drive, tmp_path):
    letter, live, repo = drive
    image = repo / 'Power.TAV'
    service.start()
    m = Manager()
    m.job_list()
    record = job('Power', kind='once', driveLetter=letter, imagePath=win_path(image), compressionLevel=0,
                 excludeList='')
    first_image(service, m, record, 'Power')
    previous, expected = image.read_bytes(), tree(live)
    slow_source(live)
    before = set(snapshots())
    time.sleep(1)
    m.send(with_code(record, RUNJOB))
    wait_for(lambda: (repo / 'Power.TAV.old').exists() and wine_pids('OrvaImage.exe'), 60, 'the engine run')
    time.sleep(1)
    # The service and its engine end at once, as at a power cut.
    for pid in wine_pids('OrvaServer.exe') + wine_pids('OrvaImage.exe'):
        os.kill(pid, signal.SIGKILL)
    m.close()
    # Wine's service manager does not see its service end; it starts it again
    # all the same.
    wait_for(lambda: not wine_pids('OrvaServer.exe') and not listening_on_port(), 30, 'the service to end')
    wait_for(lambda: not wine_pids('vshadow_amd64.exe') and not wine_pids('OrvaImage.exe'), 60, 'the tools to end')
    # The tools went with the service (its job object), the stand-in's
    # snapshot folder stays.
    for leftover in set(snapshots()) - before:
        shutil.rmtree(leftover, ignore_errors=True)
    assert (repo / 'Power.TAV.old').read_bytes() == previous
    assert not image.exists() or image.read_bytes() != previous

    service.start()
    assert image.read_bytes() == previous
    assert not (repo / 'Power.TAV.old').exists()
    assert any('did not finish' in line and 'its previous image was put back' in line
               for line in job_lines(service, 'Power')), job_lines(service, 'Power')
    restore(image, tmp_path / 'restored')
    assert tree(tmp_path / 'restored') == expected


def test_a_full_backup_first_puts_back_an_image_left_aside(service, drive, tmp_path):
    """The state a cut-short run leaves, found by the next run: the previous
    image goes back before it is moved aside again, so the unfinished file
    never replaces it; the new image replaces it only once complete."""
    letter, live, repo = drive
    image = repo / 'Again.TAV'
    service.start()
    m = Manager()
    m.job_list()
    record = job('Again', kind='once', driveLetter=letter, imagePath=win_path(image), compressionLevel=0,
                 excludeList='')
    first_image(service, m, record, 'Again')
    previous = image.read_bytes()
    os.replace(image, repo / 'Again.TAV.old')
    image.write_bytes(struct.pack('<iqq', 4000, 0, 0) + b'part of a body')
    (live / 'new.txt').write_bytes(b'new since the first image\r\n')
    time.sleep(1)
    m.send(with_code(record, RUNJOB))
    reports = reports_until_final(m, 'Again')
    m.close()
    assert [r['jobState'] for r in reports][-1] == 0
    lines = job_lines(service, 'Again')
    assert any('its previous image was put back' in line for line in lines), lines
    assert not (repo / 'Again.TAV.old').exists()
    assert image.read_bytes() != previous
    restore(image, tmp_path / 'restored')
    assert tree(tmp_path / 'restored') == tree(live)


def test_an_xp_caption_runs_the_script_under_the_xp_tool(service, drive, tmp_path):
    """The shadow-copy tool of the script route follows the caption: with the
    prefix set to XP only vshadow_xp.exe is there, and the run succeeds with
    its settings file in the Log folder."""
    letter, live, repo = drive
    for name in ('vshadow.exe', 'vshadow_amd64.exe'):
        (service.folder / name).unlink()
    shutil.copy(ORVA_BIN / 'vshadow_xp.exe', service.folder / 'vshadow_xp.exe')
    key = 'HKCU\\Software\\Wine'
    rc, out = wine('reg', 'add', key, '/v', 'Version', '/d', 'winxp64', '/f')
    assert rc == 0, out
    try:
        service.start()
        m = Manager()
        m.job_list()
        image = repo / 'Xp.TAV'
        record = job('Xp', kind='once', driveLetter=letter, imagePath=win_path(image), excludeList='')
        settings = service.folder.parent / 'Log' / f'OrvaSetVar_Xp_{letter}.cmd'
        m.send(record)
        assert m.receive() == record
        wait_for(settings.exists, 60, 'the settings file in the Log folder')
        reports = reports_until_final(m, 'Xp')
        m.close()
        assert [r['jobState'] for r in reports][-1] == 0, job_lines(service, 'Xp')
        service.stop()
    finally:
        wine('reg', 'delete', key, '/v', 'Version', '/f')
    restore(image, tmp_path / 'restored')
    assert tree(tmp_path / 'restored') == tree(live)


def test_job_scripts_are_made_new(service, drive, tmp_path):
    """A file already at a script's name (here a hard link to a file of the
    user) is removed and the script made new, never written through; a name
    that cannot be cleared refuses the run."""
    from test_copy_jobs import install_tools
    letter, _live, repo = drive
    install_tools(service)
    pe = service.folder / 'ORVAPE'
    (pe / 'boot').mkdir(parents=True)
    (pe / 'boot' / 'bcd').write_bytes(b'boot configuration')
    (service.folder / 'etfsboot.com').write_bytes(bytes(range(256)) * 8)
    service.start()
    log_dir = service.folder.parent / 'Log'
    victim = tmp_path / 'victim.txt'
    victim.write_bytes(b'a file of the user\r\n')
    staging = tmp_path / 'iso'
    staging.mkdir()
    cases = [  # the record, what lies at its script's name, its final state
        (job('Link', kind='once', driveLetter=letter, imagePath=win_path(repo / 'Link.TAV'), excludeList=''),
         'link', 0),
        (job('IsoLink', kind='once', jobType=306, driveLetter=letter, compressionLevel=1, excludeList='',
             imagePath=win_path(staging / 'ORVAPE' / 'IMAGE' / f'{letter}.tav')), 'link', 0),
        (job('Dir', kind='once', driveLetter=letter, imagePath=win_path(repo / 'Dir.TAV'), excludeList=''),
         'folder', 1),
        (job('IsoDir', kind='once', jobType=306, driveLetter=letter, compressionLevel=1, excludeList='',
             imagePath=win_path(staging / 'ORVAPE' / 'IMAGE' / f'{letter}.tav')), 'folder', 1),
    ]
    for record, there, state in cases:
        name = unpack(record)['jobName']
        m = Manager()  # a connection of its own: the run before sends one more report
        m.job_list()
        script = log_dir / f'OrvaImageBackup_{name}_{letter}.cmd'
        if there == 'link':
            os.link(victim, script)
        else:
            script.mkdir()
        m.send(record)
        assert m.receive() == record
        reports = reports_until_final(m, name, finals=1, timeout=240)
        assert reports[-1]['jobState'] == state, job_lines(service, name)
        assert victim.read_bytes() == b'a file of the user\r\n'
        if there == 'folder':
            assert script.is_dir()
            assert any('Failed to write the' in line and 'script: the file there cannot be deleted' in line
                       for line in job_lines(service, name)), job_lines(service, name)
        wait_for(lambda: service.file('OrvaHistory.log').decode('latin-1').endswith(f'[{name}]\r\n'), 30,
                 'the history line')
        m.close()
        time.sleep(1)  # past the re-arm of the run before
    assert (repo / 'Link.TAV').exists() and not (repo / 'Dir.TAV').exists()
    assert (staging / 'IsoLink.iso').exists() and not (staging / 'IsoDir.iso').exists()
