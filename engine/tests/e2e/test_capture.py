"""OrvaImage a under Wine: full images of folder trees, read back apart
from the engine and compared with the trees on disk."""
import datetime
import os
import re
from types import SimpleNamespace

import pytest

from conftest import run_program, win_path
import tav_reader
import tree_tools
from tree_tools import build_tree, compare_image_to_tree

OK = "Everything is Ok."
ERRORS = "The imaging process is finished however there were some errors."
BOTH = ("The imaging process is finished however there were some warnings "
        "and errors.")
FATAL = "There were fatal SYSTEM errors in the imaging process."
END = "[End of Orvanta Imaging Process Log File]"

ROW = re.compile(r'^(File|Directory|Hard link|Unknown link|Symbolic link for '
                 r'file|Symbolic link for directory|Junction) +(\d+) +(\d+)'
                 r'(?:\( *(\d+)\))? +(\d+) *$', re.M)
SECURITY = re.compile(r'^Security +N/A +(\d+) +N/A *$', re.M)
PROGRESS = re.compile(r'^ *(\d+)%, +(\d+) bytes processed', re.M)
START = re.compile(r'^  Start Time = (\d+)\.(\d+)\.(\d+) (\d+):(\d+):(\d+)$',
                   re.M)


def capture(image, source, *switches):
    """Runs command a; the console text is parsed into the report's parts."""
    before = datetime.datetime.now().replace(microsecond=0)
    args = [win_path(image)] + ([win_path(source)] if source else [])
    done = run_program('OrvaImage.exe', 'a', *args, *switches)
    text = done.stdout.decode('cp949', 'replace').replace('\r\n', '\n')
    verdict = re.search(r'\n\n([^\n]*)\n\n' + re.escape(END) + r'\Z', text)
    rows = {m[1]: tuple(int(v) for v in m.groups()[1:] if v is not None)
            for m in ROW.finditer(text)}
    rows.update(Security=[int(v) for v in SECURITY.findall(text)])
    return SimpleNamespace(
        returncode=done.returncode, text=text, rows=rows,
        verdict=verdict and verdict[1], before=before,
        after=datetime.datetime.now(),
        progress=[(int(p), int(b)) for p, b in PROGRESS.findall(text)])


def skipped(run, heading, links=False):
    """Path -> reason of the records of one of the report's skipped lists
    (the link lists give the target between them)."""
    part = run.text.split(f'\n{heading}\n', 1)[1].split('\nSkipped ', 1)[0]
    target = r'        .*\n' if links else ''
    return dict(re.findall(r'^ \d{5}  (.*)\n' + target + r'        (.*)$',
                           part, re.M))


def assert_counts(run, files=0, dirs=0, hard_links=0, skipped_files=0,
                  intended_files=0, intended_dirs=0, unknown_skipped=0,
                  security=0):
    assert run.rows['File'] == (files, skipped_files, intended_files,
                                files + skipped_files + intended_files)
    assert run.rows['Directory'] == (dirs, 0, intended_dirs,
                                     dirs + intended_dirs)
    assert run.rows['Hard link'] == (hard_links, 0, hard_links)
    assert run.rows['Unknown link'] == (0, unknown_skipped, unknown_skipped)
    for row in ('Symbolic link for file', 'Symbolic link for directory',
                'Junction'):
        assert run.rows[row] == (0, 0, 0)
    assert run.rows['Security'] == [security]


def assert_work_files(image, work_dir=None):
    """The work file is gone; the run log is where it belongs, complete."""
    folder = work_dir or image.parent
    assert not (folder / (image.name + '.tmp')).exists()
    log = (folder / (image.name + '_a.log')).read_bytes()
    assert log.startswith(b'Orvanta Imaging Process Log File\r\n')
    assert log.endswith(END.encode())
    if work_dir:
        assert not (image.parent / (image.name + '_a.log')).exists()
    return log.decode('cp949', 'replace').replace('\r\n', '\n')


@pytest.fixture(scope='module')
def rich(tmp_path_factory):
    return tree_tools.make_rich_tree(tmp_path_factory.mktemp('rich') / 'src',
                                     unreadable=True)


# level switch, header level, zlib FLEVEL bits, -w, -d, -c
RICH_CASES = [
    ('-mx1', 1, 0, False, False, None),
    ('-mx9', 9, 3, True, True, 'Nightly 한글 100% %s'),
    ('-mx0', 0, 0, True, False, None),
]


@pytest.mark.parametrize('switch, level, flevel, work, descriptor, comment',
                         RICH_CASES, ids=[c[0] for c in RICH_CASES])
def test_capture_rich_tree(rich, tmp_path, switch, level, flevel, work,
                           descriptor, comment):
    image = tmp_path / 'out' / 'Job1.TAV'  # its folder is made by the run
    work_dir = tmp_path / 'work' if work else None
    names = rich['files']
    further_names = {rel for g in rich['link_groups'] for rel in g[1:]}
    total = sum(len(v) for rel, v in names.items() if rel not in further_names)
    switches = [switch]
    if work_dir:
        work_dir.mkdir()
        switches.append('-w' + win_path(work_dir))
    if descriptor:
        switches.append(f'-d00C0001{total:012d}')
    if comment:
        switches.append('-c' + comment)

    run = capture(image, rich['root'], *switches)
    assert run.returncode == 0
    assert run.verdict == BOTH, run.text[-3000:]
    assert_counts(run, files=len(names) - len(further_names),
                  hard_links=len(further_names), dirs=len(rich['dirs']),
                  skipped_files=len(rich['unreadable']),
                  security=len(rich['security_warnings']))
    assert len(win_path(rich['root']) + rich['long_path']) > 260
    listed = skipped(run, 'Skipped file list')  # as the user wrote them
    assert sorted(listed) == sorted(
        win_path(rich['root']) + rel for rel in rich['unreadable'])
    for rel in rich['identity_failures']:
        assert listed[win_path(rich['root']) + rel] == 'Failed to identiry.'
    assert run.progress[-1] == (100, total)

    got = compare_image_to_tree(image, rich['root'],
                                unreadable=rich['unreadable'])
    assert got['bytes'] == total
    entries = dict(got['walked'])
    for group in rich['link_groups']:
        [first] = [rel for rel in group
                   if entries[rel]['kind'] == tav_reader.KIND_FILE]
        assert [entries[rel]['trailer']['first_name'] for rel in group
                if rel != first] == [first] * (len(group) - 1)
    for rel, e in got['walked']:
        sec = e['security']
        assert sec and sec['sddl'].startswith(
            f"O:{sec['owner']}G:{sec['group']}"), rel

    # Each stream's zlib header carries the level; level 0 only stores.
    data, streams = got['data'], got['streams']
    for rel, (offset, length) in streams.items():
        assert data[offset] == 0x78 and data[offset + 1] >> 6 == flevel, rel
    at, _ = streams['\\Data\\over64k.bin']
    assert ((data[at + 2] >> 1) & 3 == 0) == (level == 0), 'stored block'
    _, length = streams['\\Data\\big.bin']
    assert (length < len(names['\\Data\\big.bin'])) == (level != 0)

    header = got['image']['header']
    assert header['image_path'] == win_path(image)
    assert header['image_type'] == 0 and header['compression_level'] == level
    assert header['zero'] == 0
    start = datetime.datetime(*header['start'])
    finish = datetime.datetime(*header['finish'])
    assert run.before <= start <= finish <= run.after
    assert [int(v) for v in START.search(run.text).groups()] == \
        header['start']
    assert header['comment'] == (comment or 'No comment')
    assert (chr(header['drive_letter']), header['disk'], header['partition'],
            header['source_total']) == (('C', 0, 1, total) if descriptor
                                        else ('*', 255, 255, -1))
    assert header['increments'] == []
    assert header['image_size'] == got['image']['file_length'] == \
        got['image']['header_end']
    assert got['image']['prologue']['version'] == 4000

    log = assert_work_files(image, work_dir)
    assert log.endswith('\n\n' + BOTH + '\n\n' + END)
    assert f'  Compression level : {level}\n' in log


def exclusion_tree(root):
    return build_tree(root, {
        '\\hiberfil.sys': b'h' * 300_000,
        '\\hib': b'not the hibernation file',
        '\\System\\sys.txt': b'system',
        '\\System Volume Information\\tracking.log': b'tracking',
        '\\Data\\keep.txt': b'keep',
        '\\Data\\Sub\\f.txt': b'f',
        '\\Data\\Sub\\Deeper\\g.txt': b'g',
        '\\Data\\Subway.txt': b'subway',
        '\\Other\\Data\\Sub\\h.txt': b'h',
    })


# patterns, excluded relative paths, intended file and folder skips
EXCLUSION_CASES = [
    (['hiberfil.sys'], ['\\hiberfil.sys'], 1, 0),
    (['HIBERFIL.SYS'], ['\\hiberfil.sys'], 1, 0),
    (['\\hiberfil.sys'], ['\\hiberfil.sys'], 1, 0),
    (['System'], ['\\System'], 0, 1),
    (['System Volume Information'], ['\\System Volume Information'], 0, 1),
    (['Data\\Sub'], ['\\Data\\Sub'], 0, 1),
    (['\\data\\sub'], ['\\Data\\Sub'], 0, 1),
    (['Data'], ['\\Data'], 0, 1),
    (['\\Other\\Data\\Sub\\h.txt', 'hib', 'System'],
     ['\\Other\\Data\\Sub\\h.txt', '\\hib', '\\System'], 2, 1),
    # Only whole keys count: parts of names and of paths exclude nothing.
    (['hiberfil', 'Sub', 'Data\\Su', 'Subway.txt', 'System Volume', ''],
     [], 0, 0),
]


@pytest.fixture(scope='module')
def exclusion_source(tmp_path_factory):
    return exclusion_tree(tmp_path_factory.mktemp('exclusions') / 'src')


@pytest.mark.parametrize('patterns, excluded, files, dirs', EXCLUSION_CASES,
                         ids=[' '.join(c[0]) or '(empty)'
                              for c in EXCLUSION_CASES])
def test_capture_exclusions(exclusion_source, tmp_path, patterns, excluded,
                            files, dirs):
    image = tmp_path / 'x.tav'
    run = capture(image, exclusion_source,
                  *['-x!' + p for p in patterns])
    assert run.returncode == 0
    assert run.verdict == OK, run.text[-3000:]
    got = compare_image_to_tree(image, exclusion_source, excluded=excluded)
    assert_counts(run, files=got['files'], dirs=got['dirs'],
                  intended_files=files, intended_dirs=dirs)
    # The pre-scan skips the same objects, so the walk ends at 100 %.
    assert run.progress[-1] == (100, got['bytes'])
    log = assert_work_files(image)
    assert ''.join(f'     {p}\n' for p in patterns) in log


FATAL_CASES = {
    'missing source': lambda src: (src / 'nothing here', []),
    'source is a file': lambda src: (src / 'keep.txt', []),
    'no source': lambda src: (None, []),
    'version 1234': lambda src: (src, ['-v1234']),
}


@pytest.mark.parametrize('case', FATAL_CASES)
def test_capture_fatal_runs(tmp_path, case):
    src = build_tree(tmp_path / 'src', {'\\keep.txt': b'keep'})
    source, switches = FATAL_CASES[case](src)
    run = capture(tmp_path / 'img.tav', source, *switches)
    assert run.returncode == 0
    assert run.verdict == FATAL, run.text[-3000:]


# image and -w folder, and the run's own files, relative to the source
OWN_FILES = [
    ('\\img.tav', None, ['\\img.tav', '\\img.tav.new', '\\img.tav.tmp', '\\img.tav_a.log']),
    ('\\Sub\\img.tav', '\\Work',
     ['\\Sub\\img.tav', '\\Sub\\img.tav.new', '\\Work\\img.tav.tmp', '\\Work\\img.tav_a.log']),
]


@pytest.mark.parametrize('image_rel, work_rel, own', OWN_FILES,
                         ids=['beside', 'work folder'])
def test_capture_skips_its_own_files(tmp_path, image_rel, work_rel, own):
    src = build_tree(tmp_path / 'src', {
        '\\a.txt': b'a', '\\Sub\\b.txt': b'b', '\\Work': None})
    image = tree_tools.linux_path(src, image_rel)
    work = tree_tools.linux_path(src, work_rel) if work_rel else None
    switches = ['-w' + win_path(work)] if work else []
    run = capture(image, src, *switches)
    assert run.returncode == 0
    assert run.verdict == OK, run.text[-3000:]
    assert_counts(run, files=2, dirs=2, intended_files=3)
    # The work file's folder changed when the file was deleted, the image's
    # when the finished image took its name.
    compare_image_to_tree(image, src, excluded=own, changed={work_rel, image_rel.rsplit('\\', 1)[0]})
    assert_work_files(image, work)


def test_capture_does_not_follow_folder_links(tmp_path):
    src = build_tree(tmp_path / 'src', {'\\Real\\file.txt': b'real'})
    os.symlink('Real', src / 'link to Real')
    os.symlink('..', src / 'Real' / 'up')  # a cycle back to the source
    os.symlink('missing', src / 'dangling')
    image = tmp_path / 'links.tav'
    run = capture(image, src)
    assert run.returncode == 0
    assert run.verdict == ERRORS, run.text[-3000:]
    got = compare_image_to_tree(image, src)
    assert sorted(got['dir_links']) == ['\\Real\\up', '\\link to Real']
    assert [rel for rel, _ in got['walked']] == ['\\Real', '\\Real\\file.txt']
    assert_counts(run, files=1, dirs=1, unknown_skipped=2)
    assert sorted(skipped(run, 'Skipped unknown link list', True)) == sorted(
        win_path(src / p) for p in ('link to Real', 'Real/up'))
    assert_work_files(image)


# Under Wine a symbolic link to a file is the file itself. Only a file with
# more than one name is looked up among the names already captured, so a
# link to a file with one name is stored as a second copy.
FILE_LINKS = {
    'to a file with one name': (['\\one.txt'], 3, 0),
    'to a file with two names': (['\\one.txt', '\\Sub\\two.txt'], 2, 2),
    'to a file outside the tree': ([], 2, 0),
}


@pytest.mark.parametrize('case', FILE_LINKS)
def test_capture_file_links(tmp_path, case):
    names, files, hard_links = FILE_LINKS[case]
    target = tmp_path / 'outside.txt'
    src = build_tree(tmp_path / 'src', {'\\plain.txt': b'plain',
                                        '\\Links': None, '\\Sub': None})
    if names:
        target = tree_tools.linux_path(src, names[0])
    target.write_bytes(b'the linked file')
    for rel in names[1:]:
        os.link(target, tree_tools.linux_path(src, rel))
    os.symlink(target, src / 'Links' / 'link.txt')
    image = tmp_path / 'files.tav'
    run = capture(image, src)
    assert run.returncode == 0
    assert run.verdict == OK, run.text[-3000:]
    assert_counts(run, files=files, dirs=2, hard_links=hard_links)
    compare_image_to_tree(image, src)
    assert_work_files(image)


def test_capture_of_an_empty_folder(tmp_path):
    src = tmp_path / 'empty'
    src.mkdir()
    image = tmp_path / 'empty.tav'
    run = capture(image, src)
    assert run.returncode == 0
    assert run.verdict == OK, run.text[-3000:]
    assert_counts(run)
    got = tav_reader.read_image(image)
    assert got['entries'] == []
    assert got['prologue'] == {'version': 4000, 'header_offset': 0,
                               'header_length': 0}
    assert got['header']['image_size'] == got['file_length'] == \
        got['header_end']
    assert_work_files(image)
