"""OrvaMediaMaker itself under Wine and Xvfb, in a test installation folder:
media_driver sends the messages a user's clicks would send and reads the
windows back; the ISO images are checked with xorriso."""
import os
import pathlib
import shutil
import struct
import subprocess
import tempfile

import pytest

from conftest import ORVA_BIN, ORVA_WINE_RUN, run_wine, win_path

BOOT = bytes((i * 7 + 3) % 256 for i in range(2048))
YES, NO, OK = 6, 7, 1
USB_DRIVE = 'u:'


def wine(*args, cwd=None, timeout=600, env=None):
    done = subprocess.run([ORVA_WINE_RUN, *map(str, args)], stdin=subprocess.DEVNULL, capture_output=True, cwd=cwd,
                          timeout=timeout, env=env)
    decode = lambda data: data.decode('utf-8', errors='replace')
    return done.returncode, decode(done.stdout), decode(done.stderr)


def schedule_text(jobs, codepage='cp1252'):
    """The service's schedule file: the count, then 26 lines per job."""
    lines = ['Schedule Number: %d' % len(jobs)]
    for name, kind, image in jobs:
        lines += [name, str(kind), '2', 'C', '10 GB', image, 'none', '1', '', '', '', 'none', 'none', 'once', '10:00']
        lines += ['n'] * 10 + ['1']
    return ('\r\n'.join(lines) + '\r\n').encode(codepage)


@pytest.fixture(scope='module')
def images(tmp_path_factory):
    """A full image with two increments and a small one, made by OrvaImage."""
    root = tmp_path_factory.mktemp('images')
    src = root / 'src'
    (src / 'sub').mkdir(parents=True)
    (src / 'a.txt').write_bytes(b'first\n')
    (src / 'sub' / 'b.bin').write_bytes(os.urandom(1_300_000))
    repo = root / 'repo'
    repo.mkdir()
    full = repo / 'Daily.TAV'
    assert wine(ORVA_BIN / 'OrvaImage.exe', 'a', win_path(full), win_path(src), '-mx1')[0] == 0
    for step in range(2):
        (src / ('new%d.bin' % step)).write_bytes(os.urandom(50_000))
        assert wine(ORVA_BIN / 'OrvaImage.exe', 'i', win_path(full), win_path(src), '-mx1')[0] == 0
    tiny = repo / 'Tiny.TAV'
    assert wine(ORVA_BIN / 'OrvaImage.exe', 'a', win_path(tiny), win_path(src / 'sub'), '-mx1')[0] == 0
    chain = [full, repo / 'Daily_0001.TAV', repo / 'Daily_0002.TAV']
    assert all(p.exists() for p in chain)
    return {'chain': chain, 'tiny': tiny, 'bytes': {p.name: p.read_bytes() for p in chain + [tiny]}}


@pytest.fixture
def install(tmp_path, images):
    """Orvanta\\bin with the program, its tools and ORVAPE; Orvanta\\Log; a copy of the images."""
    top = tmp_path / 'Orvanta'
    bin_ = top / 'bin'
    (bin_ / 'ORVAPE' / 'boot').mkdir(parents=True)
    (bin_ / 'ORVAPE' / 'ORVANTA').mkdir()
    (bin_ / 'ORVAPE' / 'bootmgr').write_bytes(b'boot manager stand-in')
    (bin_ / 'ORVAPE' / 'boot' / 'bcd').write_bytes(bytes(range(256)) * 8)
    (top / 'Log').mkdir()
    shutil.copy(ORVA_BIN / 'OrvaMediaMaker.exe', bin_)
    shutil.copy(ORVA_BIN / 'oscdimg.exe', bin_ / 'OSCDIMG.EXE')
    shutil.copy(ORVA_BIN / 'robocopy.exe', bin_ / 'robocopy.exe')
    (bin_ / 'etfsboot.com').write_bytes(BOOT)
    repo = tmp_path / 'repo'
    repo.mkdir()
    for name, data in images['bytes'].items():
        (repo / name).write_bytes(data)
    # The image keeps the paths of its increments: the copies must lie where those say.
    chain = images['chain']
    jobs = [('Daily', 300, win_path(chain[0])), ('Mirror', 304, 'none'),
            ('Tiny disc', 306, win_path(repo / 'Tiny.TAV'))]
    (bin_ / 'OrvaSchedule.ovc').write_bytes(schedule_text(jobs))
    out = tmp_path / 'out'
    out.mkdir()
    return {'top': top, 'bin': bin_, 'exe': bin_ / 'OrvaMediaMaker.exe', 'repo': repo, 'out': out,
            'script': top / 'Log' / 'OrvaImageCreate.cmd', 'log': top / 'Log' / 'OrvaISOPECopy.log'}


def drive(commands, env=None):
    """Runs the commands through media_driver; the report as a list of (key, value)."""
    here = pathlib.Path.cwd()
    with tempfile.NamedTemporaryFile('w', suffix='.txt', delete=False, encoding='utf-8') as f:
        f.write('\n'.join(commands) + '\n')
    try:
        code, text, errors = wine(ORVA_BIN / 'media_driver.exe', win_path(f.name), cwd=here, env=env)
    finally:
        os.unlink(f.name)
    print(text)
    assert code == 0, text + errors
    report = []
    for line in text.splitlines():
        if '=' in line and not line.startswith('> '):
            key, value = line.split('=', 1)
            report.append((key, value))
    assert not [v for k, v in report if k == 'error'], text
    check_boxes(commands, report)
    for name in values(report, 'shot'):
        assert shows_something(here / 'screenshots' / (name + '.bmp')), name
    return report


def check_boxes(commands, report):
    """Every box answered is the kit's: the program's caption and message icon, and
    the buttons of its kind (Yes and No for a question, OK for a message)."""
    answers = [int(c.split()[1]) for c in commands if c.startswith('box ')]
    assert len(values(report, 'box buttons')) == len(answers), report
    assert values(report, 'box title') == ['Orvanta'] * len(answers), report
    assert values(report, 'box icon') == ['1'] * len(answers), report
    assert values(report, 'box buttons') == ['Yes|No' if a in (YES, NO) else 'OK' for a in answers], report


def shows_something(bmp):
    """A saved screenshot shows more than one colour."""
    data = bmp.read_bytes()
    offset, width, height = struct.unpack_from('<I', data, 10)[0], *struct.unpack_from('<ii', data, 18)
    stride = (width * 3 + 3) & ~3
    colours = set()
    for y in range(0, abs(height), 3):
        row = data[offset + y * stride: offset + y * stride + width * 3]
        colours.update(row[x:x + 3] for x in range(0, len(row), 9))
        if len(colours) > 1:
            return True
    return False


def values(report, key):
    return [v for k, v in report if k == key]


def one(report, key):
    found = values(report, key)
    assert len(found) == 1, (key, report)
    return found[0]


def restore_chain(images):
    """Puts the chain back where its headers say, as the images fixture made it."""
    for p in images['chain']:
        p.write_bytes(images['bytes'][p.name])


def test_main_dialog_then_an_iso_image_of_the_chain(install, images):
    iso = install['out'] / 'DAILY.ISO'
    iso.write_bytes(b'an older ISO image, replaced')
    report = drive([
        'start ' + win_path(install['exe']),
        'items',
        'text main 1003', 'text main 1014', 'state main 1001', 'state main 1002', 'state main 1005',
        'state main 1014', 'text main 1006', 'text main 1026',
        'shot main main_dialog',
        'click main 1002',
        'state main 1005', 'state main 1014', 'state main 4', 'state main 3',
        'set main 1014 ' + win_path(install['out']) + '\\daily',
        'press main 1',
        'shot box question_box',
        'box %d' % YES, 'box %d' % YES,
        'shot progress progress_dialog',
        'finish', 'status', 'shot progress progress_done',
        'press progress 2', 'gone progress',
        'text main 1014',
        'press main 2', 'end',
    ])
    try:
        assert one(report, 'started') == 'Recovery'
        assert one(report, 'items') == 'Daily|Tiny disc'
        texts = values(report, 'text 1014')
        assert texts[0] == win_path(images['chain'][0]).upper()[:-4] + '.iso'
        size = sum(len(images['bytes'][p.name]) for p in images['chain'])
        assert one(report, 'text 1003') == '( %d MB )' % (size // 1048576)
        states = values(report, 'state 1001') + values(report, 'state 1002')
        assert states == ['1 1', '1 0']
        assert values(report, 'state 1005') == ['1 0', '0 0'] and values(report, 'state 1014') == ['0 0', '1 0']
        assert values(report, 'state 4') == ['0 0'] and values(report, 'state 3') == ['1 0']
        assert one(report, 'text 1006') == 'Create a recovery CD or USB' and one(report, 'text 1026') == 'Download'
        assert values(report, 'box') == ['Do you want to continue?',
                                         win_path(iso).upper() + ' already exists. Do you want to replace it?']
        assert one(report, 'finished') == '1'
        assert one(report, 'status') == 'Successfully completed.' and one(report, 'bar') == '100'
        assert one(report, 'gone progress') == '1'
        assert texts[1] == (win_path(install['out']) + '\\DAILY.ISO').upper()
        assert one(report, 'exit') == '0'

        assert iso.exists() and not install['script'].exists()
        assert sorted(p.name for p in install['out'].iterdir()) == ['DAILY.ISO']
        assert not (install['out'] / 'ORVAPE').exists(), 'the staging folder is removed once the ISO exists'
        assert not any(p.exists() for p in images['chain']), 'the image files went into the ISO image'
        found = subprocess.run(['xorriso', '-indev', str(iso), '-find', '/', '-type', 'f'],
                               capture_output=True, text=True, check=True).stdout
        names = {line.strip("'") for line in found.splitlines() if line.startswith("'/")}
        assert names == {'/bootmgr', '/boot/bcd', '/ORVANTA/Daily.TAV', '/ORVANTA/Daily_0001.TAV',
                         '/ORVANTA/Daily_0002.TAV'}
        torito = subprocess.run(['xorriso', '-indev', str(iso), '-report_el_torito', 'plain'],
                                capture_output=True, text=True, check=True).stdout
        assert any(line.split()[:8] == ['El', 'Torito', 'boot', 'img', ':', '1', 'BIOS', 'y'] and 'none' in line
                   for line in torito.splitlines()), torito
        extracted = install['out'] / 'extracted'
        subprocess.run(['xorriso', '-osirrox', 'on', '-indev', str(iso), '-extract', '/', str(extracted)],
                       capture_output=True, check=True)
        for p in images['chain']:
            assert (extracted / 'ORVANTA' / p.name).read_bytes() == images['bytes'][p.name]
        assert (extracted / 'bootmgr').read_bytes() == b'boot manager stand-in'
    finally:
        restore_chain(images)


def test_a_failed_pack_keeps_the_image_files(install, images):
    # An OSCDIMG that refuses every command line: the robocopy stand-in under that name.
    shutil.copy(ORVA_BIN / 'robocopy.exe', install['bin'] / 'OSCDIMG.EXE')
    try:
        report = drive([
            'start ' + win_path(install['exe']),
            'click main 1002',
            'set main 1014 ' + win_path(install['out']) + '\\daily.iso',
            'press main 1', 'box %d' % YES,
            'finish', 'box %d' % OK, 'status',
            # Neither Escape nor Enter closes it; its OK does.
            'key progress 27', 'key progress 13', 'wait 300', 'state progress 2',
            'press progress 2', 'gone progress',
            'press main 2', 'end',
        ])
        boxes = values(report, 'box')
        assert one(report, 'state 2') == '1 0'
        assert one(report, 'gone progress') == '1'
        assert boxes[1].startswith('The ISO image could not be created.'), boxes
        assert one(report, 'status') == 'The ISO image could not be created.'
        assert one(report, 'ok') == '1'
        for p in images['chain']:
            assert p.read_bytes() == images['bytes'][p.name], p
        assert not (install['out'] / 'ORVAPE').exists() and not (install['out'] / 'DAILY.ISO').exists()
        assert not install['script'].exists()
    finally:
        restore_chain(images)


def test_a_partial_image_keeps_the_image_files_and_the_old_iso(install, images):
    # OSCDIMG writes part of the image and fails, as on a full disk; an ISO image of
    # that name was there before, and the user agrees to replace it.
    shutil.copy(ORVA_BIN / 'partial_oscdimg.exe', install['bin'] / 'OSCDIMG.EXE')
    old = install['out'] / 'DAILY.ISO'
    old.write_bytes(b'the ISO image of last week')
    try:
        report = drive([
            'start ' + win_path(install['exe']),
            'click main 1002',
            'set main 1014 ' + win_path(install['out']) + '\\daily.iso',
            'press main 1', 'box %d' % YES, 'box %d' % YES,
            'finish', 'shot box failure_box', 'box %d' % OK, 'status', 'shot progress progress_failed',
            'press progress 2', 'gone progress',
            'press main 2', 'end',
        ])
        boxes = values(report, 'box')
        assert boxes[1] == win_path(old).upper() + ' already exists. Do you want to replace it?', boxes
        assert boxes[2].startswith('The ISO image could not be created.'), boxes
        assert one(report, 'status') == 'The ISO image could not be created.' and one(report, 'ok') == '1'
        for p in images['chain']:
            assert p.read_bytes() == images['bytes'][p.name], p
        assert old.read_bytes() == b'the ISO image of last week'
        assert sorted(p.name for p in install['out'].iterdir()) == ['DAILY.ISO'], 'no staging tree, no partial image'
        assert not install['script'].exists()
    finally:
        restore_chain(images)


def test_an_image_with_a_korean_name_under_code_page_949(install, images):
    # The schedule file is in the system's code page; "홉" there is C8 A9, bytes that
    # would also read as a UTF-8 character.
    image = install['repo'] / '홉.TAV'
    image.write_bytes(images['bytes']['Tiny.TAV'])
    (install['bin'] / 'OrvaSchedule.ovc').write_bytes(
        schedule_text([('Korean', 300, win_path(image))], codepage='cp949'))
    iso = install['out'] / 'K.ISO'
    report = drive([
        'start ' + win_path(install['exe']),
        'items', 'click main 1002',
        'set main 1014 ' + win_path(iso),
        'press main 1', 'box %d' % YES,
        'finish', 'status',
        'press progress 2', 'gone progress',
        'press main 2', 'end',
    ], env=dict(os.environ, LANG='ko_KR.UTF-8', LC_ALL='ko_KR.UTF-8'))
    assert one(report, 'items') == 'Korean'
    assert one(report, 'status') == 'Successfully completed.', report
    assert not image.exists(), 'the image went into the ISO image'
    found = subprocess.run(['xorriso', '-indev', str(iso), '-find', '/ORVANTA', '-type', 'f'],
                           capture_output=True, text=True, check=True).stdout
    assert "'/ORVANTA/홉.TAV'" in found.splitlines(), found


@pytest.fixture
def delayed_expansion_prefix(tmp_path):
    """A Wine prefix of its own whose command processor starts with delayed
    expansion on, as a system set up so does: Wine's cmd reads no such setting,
    so delayed_cmd takes its place (loaded as native) and runs it with /v:on.
    Its server and services run without the test's pipes, which they outlive."""
    prefix = tmp_path / 'prefix'
    env = dict(os.environ, WINEPREFIX=str(prefix))
    server = shutil.which('wineserver') or '/usr/lib/wine/wineserver64'
    quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
    daemon = subprocess.Popen([server, '-f', '-p'], **quiet)
    try:
        assert subprocess.run([ORVA_WINE_RUN, 'wineboot', '-i'], timeout=300, **quiet).returncode == 0
        system = prefix / 'drive_c' / 'windows' / 'system32'
        shutil.copy(system / 'cmd.exe', system / 'cmd_real.exe')
        shutil.copy(ORVA_BIN / 'delayed_cmd.exe', system / 'cmd.exe')
        assert subprocess.run([ORVA_WINE_RUN, 'reg', 'add', r'HKCU\Software\Wine\DllOverrides', '/v', 'cmd.exe',
                               '/t', 'REG_SZ', '/d', 'native', '/f'], timeout=120, **quiet).returncode == 0
        yield env
    finally:
        subprocess.run([server, '-k'], **quiet)
        daemon.wait(timeout=60)


def test_a_bang_in_the_iso_folder_is_kept(install, images, delayed_expansion_prefix):
    # The command processor expands !...! in every line it reads: the script turns it off.
    folder = install['out'] / 'a!b'
    folder.mkdir()
    probe = install['top'] / 'probe.cmd'
    probe.write_bytes(b'@echo off\r\nset X=1\r\n>"%~dp0probe.txt" echo [!X!]\r\n')
    assert run_wine(['cmd', '/c', win_path(probe)], env=delayed_expansion_prefix)[0] == 0
    assert (install['top'] / 'probe.txt').read_text().strip() == '[1]', 'the prefix expands !X!'
    try:
        report = drive([
            'start ' + win_path(install['exe']),
            'click main 1002',
            'set main 1014 ' + win_path(folder) + '\\daily.iso',
            'press main 1', 'box %d' % YES,
            'finish', 'status',
            'press progress 2', 'gone progress',
            'press main 2', 'end',
        ], env=delayed_expansion_prefix)
        assert one(report, 'status') == 'Successfully completed.', report
        assert sorted(p.name for p in install['out'].iterdir()) == ['a!b']
        assert sorted(p.name for p in folder.iterdir()) == ['DAILY.ISO']
        found = subprocess.run(['xorriso', '-indev', str(folder / 'DAILY.ISO'), '-find', '/ORVANTA', '-type', 'f'],
                               capture_output=True, text=True, check=True).stdout
        assert {"'/ORVANTA/%s'" % p.name for p in images['chain']} <= set(found.splitlines()), found
        assert not any(p.exists() for p in images['chain']), 'the image files went into the ISO image'
    finally:
        restore_chain(images)


@pytest.fixture
def usb_drive(tmp_path):
    """A Wine drive letter over an empty folder: the disk the recovery media goes on."""
    prefix = pathlib.Path(os.environ.get('WINEPREFIX', pathlib.Path(ORVA_WINE_RUN).resolve().parents[1] / 'build' /
                                         'wineprefix'))
    folder = tmp_path / 'usb'
    folder.mkdir()
    link = prefix / 'dosdevices' / USB_DRIVE
    if link.is_symlink():
        link.unlink()
    link.symlink_to(folder)
    yield folder
    link.unlink()


def test_usb_disk_from_the_disk_browser(install, images, usb_drive):
    report = drive([
        'start ' + win_path(install['exe']),
        'press main 4',
        'text browse 1017', 'text browse 1022', 'rows',
        'click browse 1017',
        'text browse 1017', 'rows',
        'pick Z:',
        'shot browse disk_browser',
        'press browse 1', 'gone browse',
        'text main 1005',
        # Wine lists a drive letter made while it runs as no disk type: typed instead.
        'set main 1005 U:',
        'press main 1', 'box %d' % YES,
        'finish', 'status', 'shot progress progress_usb',
        'press progress 2', 'gone progress',
        # Again onto the same disk: the image is there already and is not overwritten.
        'press main 1', 'box %d' % YES,
        'finish', 'box %d' % OK, 'status',
        'press progress 2', 'gone progress',
        'press main 2', 'end',
    ])
    assert values(report, 'text 1017') == ['Show a local disk', 'Hide a local disk']
    assert one(report, 'text 1022') == 'Select an USB disk or local disk.'
    rows = [v.split('|') for k, v in report if k == 'row']
    local = [r for r in rows if r[0] == 'Z:']
    assert len(local) == 1 and local[0][1].endswith(('MB', 'GB')), rows
    assert one(report, 'text 1005') == 'Z:'
    assert values(report, 'status') == ['Successfully completed.', 'An image file could not be copied.']
    assert values(report, 'bar')[0] == '100'
    assert values(report, 'box')[-1].startswith('The image file '), report
    assert one(report, 'exit') == '0'

    assert (usb_drive / 'bootmgr').read_bytes() == b'boot manager stand-in'
    assert (usb_drive / 'boot' / 'bcd').exists()
    assert (usb_drive / 'ORVANTA' / 'Daily.TAV').read_bytes() == images['bytes']['Daily.TAV']
    for name in ('Daily_0001.TAV', 'Daily_0002.TAV'):
        assert (usb_drive / 'ORVANTA' / name).read_bytes() == images['bytes'][name]
    assert all(p.exists() for p in images['chain']), 'a USB disk gets copies'
    assert not install['script'].exists()
    assert 'ORVAPE' in install['log'].read_text('cp1252', errors='replace')


def test_disk_browser_and_folder_picker_share_the_programs_thread(install):
    # The disk query runs in the apartment the program sets up for the folder picker, before and after it.
    report = drive([
        'start ' + win_path(install['exe']),
        'press main 4', 'click browse 1017', 'rows', 'press browse 2', 'gone browse',
        'click main 1002', 'text main 1014',
        'press main 3', 'shot folder folder_picker', 'folder',
        'text main 1014',
        'press main 4', 'click browse 1017', 'rows', 'press browse 2', 'gone browse',
        'press main 3', 'folder',
        'press main 2', 'end',
    ])
    assert values(report, 'folder title') == ['Select a folder to save an ISO image.'] * 2, report
    texts = values(report, 'text 1014')
    assert len(texts) == 2 and texts[0] == texts[1], 'a cancelled choice keeps the ISO path'
    assert [int(n) > 0 for n in values(report, 'rows')] == [True, True], 'the local disks are listed'
    assert one(report, 'exit') == '0'


# Each refusal: what is moved out of the installation for it, the medium, the
# path typed ({out}: the empty output folder; {folder}: a folder whose path
# holds ".iso"), and the start of the message that refuses (None: no message).
REFUSALS = [
    ('no log folder', 'Log', 'iso', r'{out}\x.iso', 'The folder for the build script and its log is missing:'),
    ('no oscdimg', r'bin\OSCDIMG.EXE', 'iso', r'{out}\x.iso', 'The ISO image tool is missing:'),
    ('no orvape', r'bin\ORVAPE', 'usb', '{out}', 'The recovery environment is missing:'),
    ('no orvanta', r'bin\ORVAPE\ORVANTA', 'iso', r'{out}\x.iso',
     'The recovery environment has no folder for the image files:'),
    ('iso names a folder', None, 'iso', r'{folder}', 'The ISO image name is the path of a folder:'),
    ('system drive', None, 'usb', 'C:', 'The USB path is on C:, the drive of the Windows folder:'),
    ('quote', None, 'iso', r'{out}\a"b.iso', 'The ISO image name must not contain the character ".'),
    ('percent', None, 'iso', r'{out}\%TEMP%.iso', 'The ISO image name must not contain the character %.'),
    ('relative', None, 'iso', 'daily.iso', 'The ISO image name must be a full path'),
    ('empty iso', None, 'iso', '', 'Please enter an ISO image name.'),
    ('empty usb', None, 'usb', '', 'Please enter an USB path.'),
    ('answer no', None, 'iso', r'{out}\x.iso', None),
]


def test_refusals_write_nothing(install, images):
    """Every refusal of Build, one after the other in one run of the program: each
    case takes its part out of the installation, builds, and puts the part back;
    nothing is written by any of them and the image files stay as they are."""
    top, out = install['top'], install['out']
    folder = top.parent / 'iso.iso' / 'out'
    folder.mkdir(parents=True)
    commands = ['start ' + win_path(install['exe'])]
    for case, moved, medium, typed, want in REFUSALS:
        commands.append('case ' + case)
        if moved:
            commands.append('move %s|%s.off' % (win_path(top) + '\\' + moved, win_path(top) + '\\' + moved))
        typed = typed.replace('{out}', win_path(out)).replace('{folder}', win_path(folder))
        if medium == 'iso':
            commands += ['click main 1002', 'set main 1014 ' + typed]
        else:
            commands += ['click main 1001', 'set main 1005 ' + typed]
        commands += ['press main 1', 'box %d' % (NO if case == 'answer no' else YES)]
        if want:
            commands.append('box %d' % OK)
        commands += ['wait 300', 'exists ' + win_path(install['script']), 'entries ' + win_path(out)]
        if moved:
            commands.append('move %s.off|%s' % (win_path(top) + '\\' + moved, win_path(top) + '\\' + moved))
    commands += ['press main 2', 'end']
    report = drive(commands)
    assert one(report, 'exit') == '0'
    cases = [v for k, v in report if k == 'case']
    assert cases == [c[0] for c in REFUSALS]
    # The report of each case runs from its mark to the next.
    marks = [i for i, (k, _) in enumerate(report) if k == 'case'] + [len(report)]
    for (case, _, _, _, want), begin, end in zip(REFUSALS, marks, marks[1:]):
        part = report[begin:end]
        boxes = values(part, 'box')
        assert boxes[0] == 'Do you want to continue?', (case, boxes)
        if want:
            assert len(boxes) == 2 and boxes[1].startswith(want), (case, boxes)
        else:
            assert len(boxes) == 1, (case, boxes)
        assert one(part, 'exists') == '0', case
        assert one(part, 'entries') == '0', case
    assert not install['script'].exists()
    assert not (out / 'ORVAPE').exists() and list(out.iterdir()) == []
    for p in images['chain']:
        assert p.read_bytes() == images['bytes'][p.name], p
    assert list(folder.iterdir()) == []


def test_image_files_that_cannot_go_back_are_named(install, images):
    # OSCDIMG fails after it took the backup's folder away: the image files stay in
    # the work folder, and both the failure and the next Build say where they are.
    shutil.copy(ORVA_BIN / 'partial_oscdimg.exe', install['bin'] / 'OSCDIMG.EXE')
    repo = images['chain'][0].parent
    away = repo.with_name(repo.name + '.away')
    held = install['out'] / 'ORVAPE' / 'ORVANTA'
    try:
        report = drive([
            'start ' + win_path(install['exe']),
            'click main 1002',
            'set main 1014 ' + win_path(install['out']) + '\\daily.iso',
            'press main 1', 'box %d' % YES,
            'finish', 'box %d' % OK, 'status',
            'press progress 2', 'gone progress',
            'move %s|%s' % (win_path(away), win_path(repo)),
            'press main 1', 'box %d' % YES, 'box %d' % OK,
            'wait 300', 'exists ' + win_path(install['script']),
            'press main 2', 'end',
        ], env=dict(os.environ, ORVA_OSCDIMG_HIDE=win_path(repo)))
        boxes = [b.upper() for b in values(report, 'box')]
        assert one(report, 'status') == 'The ISO image could not be created.'
        assert boxes[1].startswith('THE ISO IMAGE COULD NOT BE CREATED.'), boxes
        assert 'THEY ARE IN ' + win_path(held).upper() + ':' in boxes[1], boxes
        assert 'STAY WHERE THEY WERE' not in boxes[1], boxes
        assert all(p.name.upper() in boxes[1] for p in images['chain']), boxes
        assert boxes[3].startswith('THE WORK FOLDER OF THE ISO IMAGE ALREADY EXISTS'), boxes
        assert win_path(held).upper() in boxes[3] and 'REMOVE' not in boxes[3], boxes
        assert one(report, 'exists') == '0' and one(report, 'exit') == '0'
        for p in images['chain']:
            assert (held / p.name).read_bytes() == images['bytes'][p.name], p
    finally:
        if away.exists():
            away.rename(repo)
        restore_chain(images)


def test_one_build_at_a_time(install, images, tmp_path):
    # The first program's OSCDIMG waits until the test lets it go; meanwhile a second
    # program's Build is refused and leaves the first one's script alone.
    hold, other = tmp_path / 'hold', tmp_path / 'other'
    hold.mkdir()
    other.mkdir()
    (hold / 'go.off').write_bytes(b'')
    shutil.copy(ORVA_BIN / 'waiting_oscdimg.exe', install['bin'] / 'OSCDIMG.EXE')
    env = dict(os.environ, ORVA_OSCDIMG_HOLD=win_path(hold), ORVA_OSCDIMG_NEXT=win_path(ORVA_BIN / 'oscdimg.exe'))
    try:
        report = drive([
            'start ' + win_path(install['exe']),
            'click main 1002',
            'set main 1014 ' + win_path(install['out']) + '\\daily.iso',
            'press main 1', 'box %d' % YES,
            'await ' + win_path(hold / 'held'),
            'start ' + win_path(install['exe']),
            'select 1', 'click main 1002',
            'set main 1014 ' + win_path(other) + '\\tiny.iso',
            'press main 1', 'box %d' % YES, 'box %d' % OK,
            'wait 300', 'exists ' + win_path(install['script']), 'entries ' + win_path(other),
            'move %s|%s' % (win_path(hold / 'go.off'), win_path(hold / 'go')),
            'program 1', 'finish', 'status', 'press progress 2', 'gone progress', 'press main 2', 'end',
            # Once the first build is over, the second program builds.
            'program 2', 'press main 1', 'box %d' % YES, 'finish', 'status',
            'press progress 2', 'gone progress', 'press main 2', 'end',
        ], env=env)
        assert one(report, 'await') == '1'
        assert values(report, 'box') == ['Do you want to continue?'] * 2 + [
            'A recovery medium is being built on this computer already. Build again when it is finished.',
            'Do you want to continue?']
        assert one(report, 'exists') == '1' and one(report, 'entries') == '0'
        assert values(report, 'status') == ['Successfully completed.'] * 2
        assert values(report, 'exit') == ['0', '0']
        for iso, want in ((install['out'] / 'DAILY.ISO', {p.name for p in images['chain']}),
                          (other / 'TINY.ISO', {'Tiny.TAV'})):
            found = subprocess.run(['xorriso', '-indev', str(iso), '-find', '/ORVANTA', '-type', 'f'],
                                   capture_output=True, text=True, check=True).stdout
            assert {line.strip("'")[len('/ORVANTA/'):] for line in found.splitlines()
                    if line.startswith("'/ORVANTA/")} == want, found
        assert sorted(p.name for p in install['out'].iterdir()) == ['DAILY.ISO']
        assert sorted(p.name for p in other.iterdir()) == ['TINY.ISO']
    finally:
        restore_chain(images)


def test_replications_only_give_an_empty_list(install):
    (install['bin'] / 'OrvaSchedule.ovc').write_bytes(schedule_text([('Mirror', 304, 'none'), ('Shadow', 305, 'none')]))
    report = drive([
        'start ' + win_path(install['exe']),
        'items', 'state main 1002', 'state main 3', 'text main 1003',
        'press main 1', 'box %d' % YES, 'box %d' % OK,
        'press main 2', 'end',
    ])
    assert one(report, 'items') == ''
    assert one(report, 'state 1002') == '0 0' and one(report, 'state 3') == '0 0'
    assert one(report, 'text 1003') == ''
    assert values(report, 'box') == ['Do you want to continue?', 'Please enter an USB path.']
    assert not install['script'].exists()


@pytest.fixture
def small_disk(tmp_path):
    """A folder on a 1 MB file system: a medium without room for the backup."""
    folder = tmp_path / 'small'
    folder.mkdir()
    if subprocess.run(['mount', '-t', 'tmpfs', '-o', 'size=1m', 'tmpfs', str(folder)],
                      capture_output=True).returncode != 0:
        pytest.skip('a small file system cannot be mounted here')
    yield folder
    subprocess.run(['umount', str(folder)], check=True)


def test_a_medium_without_room_gets_nothing(install, images, small_disk):
    report = drive([
        'start ' + win_path(install['exe']),
        'set main 1005 ' + win_path(small_disk),
        'press main 1', 'box %d' % YES,
        'finish', 'box %d' % OK, 'status',
        'press progress 2', 'gone progress',
        'press main 2', 'end',
    ])
    boxes = values(report, 'box')
    assert boxes[1].startswith('There is not enough free space on ' + win_path(small_disk) + ': '), boxes
    assert boxes[1].endswith(' KB needed, 1024 KB free.'), boxes
    assert one(report, 'status') == 'Not enough free space on the medium.' and one(report, 'ok') == '1'
    assert one(report, 'gone progress') == '1' and one(report, 'exit') == '0'
    assert list(small_disk.iterdir()) == [] and not install['script'].exists()


def fake_image(path, final_size):
    """A TAV file whose header claims `final_size` bytes: prologue, then the header record."""
    def text(t):
        units = t.encode('utf-16-le')
        return struct.pack('<i', len(units) // 2) + units
    header = text(win_path(path))
    header += struct.pack('<H5B', 2026, 12, 10, 9, 0, 0) + struct.pack('<H5B', 2026, 12, 10, 9, 5, 0)
    header += bytes([0, 1, 0, 1, 1, ord('C')]) + struct.pack('<qq', -1, final_size)
    header += text('Windows') + struct.pack('<i', 0)
    path.write_bytes(struct.pack('<iqq', 4000, 1, 0) + b'\0' + header)


def test_a_chain_too_big_for_a_dvd_turns_the_medium_to_usb(install):
    repo = install['repo']
    big, edge = repo / 'Big.TAV', repo / 'Edge.TAV'
    fake_image(big, 5046586573)                     # just above 4.7 x 2^30
    fake_image(edge, int(4.6 * 1073741824))
    (install['bin'] / 'OrvaSchedule.ovc').write_bytes(
        schedule_text([('Edge', 300, win_path(edge)), ('Big', 303, win_path(big))]))
    report = drive([
        'start ' + win_path(install['exe']),
        'text main 1003', 'click main 1002', 'state main 1002',
        'select 1',
        'text main 1003', 'state main 1001', 'state main 1002', 'state main 1005', 'state main 1014',
        'select 0',
        'text main 1003', 'state main 1001', 'state main 1002',
        'press main 2', 'end',
    ])
    assert values(report, 'text 1003') == ['( 4.710 GB )', '( 4.812 GB )', '( 4.710 GB )']
    assert values(report, 'state 1002') == ['1 1', '0 0', '1 0']
    assert values(report, 'state 1001') == ['1 1', '1 1']
    assert one(report, 'state 1005') == '1 0' and one(report, 'state 1014') == '0 0'
