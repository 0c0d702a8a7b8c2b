"""The manager's job commands against the real service: every command opens
its dialog from its button, its menu entry and, for About, the system menu;
Modify changes the job in the service; Remove from Inventory and Delete from
Disk remove it there, Delete from Disk with exactly the job's own files; the
Repository dialog writes OrvaOption.ovc, which the service then reads."""
import struct

from conftest import ORVA_BIN, end_manager, wait_for, wine, win_path
from job_wire import DELETEJOB, MODIFYJOB, Manager, job, schedule_file, unpack
from test_manager_window import SHOTS, ManagerWindow, check_shot

# (name, how, id, window title, button that closes it: 0 the caption's close button)
COMMANDS = [
    ('backup_button', 'command', 1000, 'Select Backup', 0),
    ('backup_menu', 'command', 32788, 'Select Backup', 0),
    ('backup_root_menu', 'command', 32798, 'Select Backup', 0),
    ('repository_button', 'command', 1002, 'Repository', 0),
    ('repository_menu', 'command', 32771, 'Repository', 0),
    ('about_button', 'command', 1013, 'About Orvanta', 1),
    ('about_menu', 'command', 32793, 'About Orvanta', 1),
    ('about_system_menu', 'sys', 0x10, 'About Orvanta', 1),
    ('replication_button', 'command', 1001, 'Add Replication Job', 1003),
    ('replication_menu', 'command', 32789, 'Add Replication Job', 1003),
    ('replication_add_sync', 'command', 32777, 'Add Replication Job', 1003),
    ('existing_backup_menu', 'command', 32797, 'Use an existing backup', 2),
    ('log_button', 'command', 1005, 'Orvanta Log Viewer', 0),
]


def records_until(other, check, what, seconds=30):
    """The first record the service sends that satisfies check."""
    for _ in range(int(seconds)):
        raw = other.receive(timeout=1)
        if raw and check(unpack(raw)):
            return unpack(raw)
    raise AssertionError(f'no {what}')


def start(service, display, *records):
    service.start()
    other = Manager()
    other.job_list()
    for record in records:
        other.send(record)
        assert other.receive() == record
    window = ManagerWindow(service.folder, display)
    window.wait_tree(lambda t: t.startswith('{'), 60, 'the job tree')
    return other, window


def stop(service, window):
    service.stop()
    assert window.box(1) == '[OV Standard Edition] Server connection is closed.'
    assert window.proc.wait(timeout=60) == 0


def test_commands_open_their_dialogs_and_modify_changes_the_jobs(service, drive, display):
    letter, live, repo = drive
    image = job('Img', kind='once', run_state=2, driveLetter=letter, imagePath=win_path(repo / 'Img.tav'),
                compressionLevel=1, excludeList='')
    mirror = job('Rep', kind='once', run_state=2, jobType=304, sourceFolder=win_path(live / 'sub'),
                 targetFolder=win_path(repo / 'mirror'), imagePath='none', excludeList='')
    # A line for the log viewer to show.
    (service.folder / 'OrvaJob.log').write_bytes(b'[2026-12-01 10:00:00][Img] [Success] Backup completed.\r\r\n')
    other, window = start(service, display, image, mirror)
    try:
        SHOTS.mkdir(exist_ok=True)
        for name, how, command, title, close in COMMANDS:
            assert window.driver(how, str(command)) == 0, name
            shot = SHOTS / f'manager_dialog_{name}.bmp'
            assert window.driver('window', title, win_path(shot)) == 0, (name, window.windows())
            check_shot(shot)
            assert window.driver('close', title, str(close)) == 0, name
            if window.driver('nobox') != 0:
                raise AssertionError((name, 'a message box shows', window.box(1)))

        # Modify of an image job: the wizard (its caption is its page's),
        # where the schedule becomes daily at 07:45.
        assert window.driver('select', 'Img') == 0
        assert window.driver('command', '32796') == 0
        first = 'Select Backup Drive(s)'
        assert window.driver('window', first, win_path(SHOTS / 'manager_dialog_modify_image.bmp')) == 0, \
            window.windows()
        check_shot(SHOTS / 'manager_dialog_modify_image.bmp')
        assert window.driver('click', first, '12324') == 0  # Next
        assert window.driver('click', 'Select Backup Type', '12324') == 0
        options = 'Select Backup Option.'
        assert window.driver('click', options, '1018') == 0  # daily
        assert window.driver('set', options, '1007', '07') == 0
        assert window.driver('set', options, '1008', '45') == 0
        assert window.driver('click', options, '12324') == 0
        assert window.driver('close', 'Summary', '12325') == 0  # Finish
        echo = records_until(other, lambda r: r['jobName'] == 'Img', 'MODIFYJOB echo of Img')
        assert (echo['code'], echo['scheduleKind'], echo['scheduleTime'], echo['daily']) == \
               (MODIFYJOB, 'daily', '07:45', b'y')
        assert echo['runState'] == 0 and echo['imagePath'] == win_path(repo / 'Img.tav')

        # Modify of a replication set: its dialog in edit mode, weekly on Monday.
        assert window.driver('select', 'Rep') == 0
        assert window.driver('command', '32796') == 0
        sync = 'Add Replication Job'  # its caption in edit mode too
        assert window.driver('window', sync, win_path(SHOTS / 'manager_dialog_modify_replication.bmp')) == 0
        check_shot(SHOTS / 'manager_dialog_modify_replication.bmp')
        assert window.driver('click', sync, '1019') == 0  # weekly
        assert window.driver('click', sync, '1021') == 0  # Monday
        assert window.driver('set', sync, '1007', '08') == 0
        assert window.driver('close', sync, '1002') == 0  # OK
        echo = records_until(other, lambda r: r['jobName'] == 'Rep', 'MODIFYJOB echo of Rep')
        assert (echo['code'], echo['jobType'], echo['scheduleKind'], echo['scheduleTime']) == \
               (MODIFYJOB, 304, 'weekly', '08:00')
        assert echo['weekdays'] == b'ynnnnnn' and echo['targetFolder'] == win_path(repo / 'mirror')

        # The Repository dialog's OK writes the options file.
        options = service.folder / 'OrvaOption.ovc'
        assert window.driver('command', '1002') == 0
        assert window.driver('set', 'Repository', '1007', win_path(repo)) == 0
        assert window.driver('click', 'Repository', '1000') == 0  # Add
        assert window.driver('click', 'Repository', '1') == 0     # OK, then Yes to its question
        assert window.box(6).startswith('[Orvanta] ')
        wait_for(lambda: 'Repository' not in window.windows(), 10, 'the Repository dialog to close')
        wait_for(lambda: win_path(repo) + '|' in options.read_bytes().decode('latin-1'), 10, 'the options file')
        written = options.read_bytes().decode('latin-1').split('\r\n')
        assert written[0] == 'Repository Directory:' and written[2] == 'Network Repository Directory:'
        other.close()
        stop(service, window)
    finally:
        end_manager(window.proc)

    # The service reads the file the manager wrote: after a restart it keeps
    # the repository (and refuses nothing).
    service.start()
    Manager().job_list()
    assert win_path(repo) + '|' in options.read_bytes().decode('latin-1').split('\r\n')[1]
    assert not (service.folder / 'OrvaOption.ovc.bad').exists()


def tav_string(text):
    data = text.encode('utf-16-le')
    return struct.pack('<i', len(data) // 2) + data


def set_increments(image, names):
    """Rewrites the increment list at the end of an image's header."""
    data = bytearray(image.read_bytes())
    _version, offset, length = struct.unpack_from('<iqq', data, 0)
    at = 20 + offset + length
    at += 4 + 2 * struct.unpack_from('<i', data, at)[0]  # image path
    at += 20 + 16                                         # times, kind, levels, disk, sizes
    at += 4 + 2 * struct.unpack_from('<i', data, at)[0]  # comment
    image.write_bytes(bytes(data[:at]) + struct.pack('<i', len(names)) + b''.join(tav_string(n) for n in names))


def test_remove_and_delete_from_disk_take_only_the_jobs_own(service, drive, display, tmp_path, monkeypatch):
    letter, live, repo = drive
    # A real full image whose header lists two increments of its chain and two
    # files that are not: one in another folder, one reached through "..".
    image = repo / 'Chain.tav'
    rc, out = wine(str(ORVA_BIN / 'OrvaImage.exe'), 'a', win_path(image), win_path(live / 'sub' / 'deep'))
    assert 'Everything is Ok' in out, out[-2000:]
    planted = tmp_path / 'planted'
    planted.mkdir()
    for f in ('Chain_0001.TAV', 'Chain_0003.TAV'):
        (planted / f).write_bytes(b'not the job\'s')
    (repo / 'Chain_0001.TAV').write_bytes(b'increment 1')
    (repo / 'Chain_0002.TAV').write_bytes(b'increment 2')
    (repo / 'Chain.tav_i.log').write_bytes(b'run log')
    (repo / 'Other.tav').write_bytes(b'another job')
    foreign = [win_path(planted / 'Chain_0001.TAV'), win_path(repo) + '\\..\\planted\\Chain_0003.TAV']
    set_increments(image, [win_path(repo / 'Chain_0001.TAV'), 'Chain_0002.TAV'] + foreign)
    assert (repo / 'Chain.tav_a.log').exists()
    chain = job('Chain', kind='once', run_state=2, jobType=302, driveLetter=letter, imagePath=win_path(image),
                excludeList='')
    kept = job('Kept', kind='once', run_state=2, driveLetter=letter, imagePath=win_path(repo / 'Other.tav'),
               excludeList='')
    # A replication set whose target holds its source: the service refuses
    # such a target, so it can only come from an older schedule file.
    unsafe = job('Unsafe', kind='once', run_state=2, jobType=304, sourceFolder=win_path(live / 'sub'),
                 targetFolder=win_path(live), imagePath='none', excludeList='')
    # An image job whose image path names a document, not an image.
    docs = tmp_path / 'docs'
    docs.mkdir()
    (docs / 'Letter.tav').write_bytes(b'Dear reader, this is a letter.\r\n' * 40)
    letter_job = job('Letter', kind='once', run_state=2, driveLetter=letter, imagePath=win_path(docs / 'Letter.tav'),
                     excludeList='')
    # A replication target named with "%": the folder of that very name goes,
    # with a read-only file and a folder inside, and not the folder the
    # variable names.
    copies = tmp_path / 'copies'
    target = copies / '%ORVA_OTHER_COPY%'
    (target / 'inner').mkdir(parents=True)
    (target / 'inner' / 'b.txt').write_bytes(b'copy')
    (target / 'a.txt').write_bytes(b'copy')
    (target / 'a.txt').chmod(0o444)
    (copies / 'victim').mkdir()
    (copies / 'victim' / 'keep.txt').write_bytes(b'not a copy')
    monkeypatch.setenv('ORVA_OTHER_COPY', 'victim')
    percent = job('Percent', kind='once', run_state=2, jobType=304, sourceFolder=win_path(live / 'sub'),
                  targetFolder=win_path(target), imagePath='none', excludeList='')
    (service.folder / 'OrvaSchedule.ovc').write_bytes(schedule_file([unsafe, percent]))
    other, window = start(service, display, chain, kept, letter_job)
    try:
        assert '{Unsafe#' in window.tree()[0]
        # Remove from Inventory: the job goes, its image stays.
        assert window.driver('select', 'Kept') == 0
        assert window.driver('command', '32782') == 0
        assert window.box(6) == ('[Orvanta] Are you sure to remove this from backup inventory?|'
                                 'This will not delete the image file from repository.')
        echo = records_until(other, lambda r: r['jobName'] == 'Kept', 'DELETEJOB echo of Kept')
        assert echo['code'] == DELETEJOB
        window.wait_tree(lambda t: '{Kept#' not in t, 10, 'the tree without Kept')
        assert (repo / 'Other.tav').exists()

        # Delete from Disk: the image, its logs and its own increments go; the
        # files the header names elsewhere stay, and the user is told.
        assert window.driver('select', 'Chain') == 0
        assert window.driver('command', '32783') == 0
        assert window.box(6) == '[Orvanta] Are you sure you want to delete the selected job and data from disk?'
        told = window.box(1)
        assert all(name in told for name in foreign), told
        echo = records_until(other, lambda r: r['jobName'] == 'Chain', 'DELETEJOB echo of Chain')
        assert echo['code'] == DELETEJOB
        window.wait_tree(lambda t: '{Chain#' not in t, 10, 'the tree without Chain')
        assert sorted(p.name for p in repo.iterdir()) == ['Other.tav']
        assert sorted(p.name for p in planted.iterdir()) == ['Chain_0001.TAV', 'Chain_0003.TAV']

        # Delete from Disk of a job whose image path names a document keeps
        # the document and the job, and says why.
        assert window.driver('select', 'Letter') == 0
        assert window.driver('command', '32783') == 0
        assert window.box(6) == '[Orvanta] Are you sure you want to delete the selected job and data from disk?'
        window.shot_box('manager_delete_from_disk_not_an_image.bmp')
        told = window.box(1)
        assert win_path(docs / 'Letter.tav') in told and 'not a TAV image' in told, told
        assert (docs / 'Letter.tav').read_bytes().startswith(b'Dear reader')
        assert other.receive(timeout=3) is None  # no DELETEJOB went out
        assert '{Letter#' in window.tree()[0]

        # Delete from Disk of the set whose target holds "%" takes that folder.
        assert window.driver('select', 'Percent') == 0
        assert window.driver('command', '32783') == 0
        window.box(6)
        echo = records_until(other, lambda r: r['jobName'] == 'Percent', 'DELETEJOB echo of Percent')
        assert echo['code'] == DELETEJOB
        assert window.driver('nobox') == 0
        assert not target.exists()
        assert (copies / 'victim' / 'keep.txt').read_bytes() == b'not a copy'

        # Delete from Disk of the unsafe set keeps its target and says so.
        assert window.driver('select', 'Unsafe') == 0
        assert window.driver('command', '32783') == 0
        window.box(6)
        told = window.box(1)
        assert win_path(live) in told and 'not deleted' in told, told
        echo = records_until(other, lambda r: r['jobName'] == 'Unsafe', 'DELETEJOB echo of Unsafe')
        assert echo['code'] == DELETEJOB
        assert (live / 'data.txt').exists() and (live / 'sub' / 'inner.txt').exists()
        other.close()
        stop(service, window)
    finally:
        end_manager(window.proc)
