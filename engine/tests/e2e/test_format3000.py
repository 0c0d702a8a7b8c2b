"""Format-3000 images under Wine: OrvaImage a -v3000, read back apart from
the engine, restored with x and compared with the source tree."""
import os
import re
import stat
import struct

import pytest

from conftest import run_program, win_path
import tav_reader
import test_capture as cap
import tree_tools
from test_restore import dos_attributes, tree

OK = "Everything is Ok."
ERRORS = "The imaging process is finished however there were some errors."
WARNINGS_AND_ERRORS = ("The imaging process is finished however there were "
                       "some warnings and errors.")
FATAL = "There were fatal SYSTEM errors in the imaging process."
END = "[End of Orvanta Imaging Process Log File]"
HIDDEN = 0x2


def capture3000(image, source, *switches):
    return cap.capture(image, source, '-v3000', *switches)


def restore(image, target):
    done = run_program('OrvaImage.exe', 'x', win_path(image),
                       '-o' + win_path(target))
    assert done.returncode == 0
    text = done.stdout.decode('cp949', 'replace').replace('\r\n', '\n')
    assert text.endswith(END)
    verdict = re.search(r'\n\n([^\n]*)\n\n' + re.escape(END) + r'\Z', text)
    rows = {m[1]: tuple(int(v) for v in m.groups()[1:] if v is not None)
            for m in cap.ROW.finditer(text)}
    return text, verdict and verdict[1], rows


def assert_format3000(image_path):
    """The layout of a format-3000 image, byte for byte: prologue, the data
    streams, the table of prefix-less entries, and nothing after it."""
    data = image_path.read_bytes()
    image = tav_reader.read_image(image_path)
    pro = image['prologue']
    assert pro['version'] == 3000
    assert data[:4] == struct.pack('<i', 3000)
    assert image['header'] is None
    assert 20 + pro['header_offset'] + pro['header_length'] == len(data)
    assert image['header_start'] == image['header_end'] == len(data)
    entries = image['entries']
    assert all('prefix' not in e for e in entries)
    if entries:
        # The first entry begins with its int32 depth, 0 at the root.
        assert image['table_start'] == 20 + pro['header_offset']
        assert data[image['table_start']:image['table_start'] + 4] == \
            bytes(4)
    for e in entries:
        if e['security']:
            assert '(ML;' not in e['security']['sddl'], e['name']
    tav_reader.body_streams(image)  # the streams fill the body exactly
    return image


def test_rich_tree_round_trip(tmp_path):
    src = tmp_path / 'src'
    rich = tree_tools.make_rich_tree(src, unreadable=True)
    (src / 'Data' / 'read only.txt').write_bytes(b'do not touch\n')
    os.chmod(src / 'Data' / 'read only.txt', 0o444)
    (src / 'Data' / 'hidden.txt').write_bytes(b'not shown\n')
    os.setxattr(src / 'Data' / 'hidden.txt', 'user.DOSATTRIB', b'0x2')
    image = tmp_path / 'img' / 'Rich.TAV'

    run = capture3000(image, src, '-mx1')
    assert run.verdict == WARNINGS_AND_ERRORS, run.text[-3000:]
    further = {rel for g in rich['link_groups'] for rel in g[1:]}
    names = set(rich['files']) | {'\\Data\\read only.txt',
                                  '\\Data\\hidden.txt'}
    cap.assert_counts(run, files=len(names) - len(further),
                      hard_links=len(further), dirs=len(rich['dirs']),
                      skipped_files=len(rich['unreadable']),
                      security=len(rich['security_warnings']))
    # The older texts: a read failure names no file, a security warning
    # names the object by its own name.
    assert '\n  Zip error : Fail to read (Error code : ' in run.text
    assert '\n  Archiving error' not in run.text
    assert ('\n  Failed to retrieve security information for socket.sock. '
            '(Warning code : ') in run.text
    assert run.progress[-1][0] == 100

    assert_format3000(image)
    tree_tools.compare_image_to_tree(image, src, unreadable=rich['unreadable'])
    cap.assert_work_files(image)

    text, verdict, rows = restore(image, tmp_path / 'restored')
    assert verdict == OK, text[-2000:]
    assert '  Zip error' not in text and 'cancel' not in text
    assert rows['File'][:2] == (len(names) - len(further), 0)
    assert rows['Hard link'][:2] == (len(further), 0)
    unreadable = {r.lstrip('\\').replace('\\', '/') for r in rich['unreadable']}
    expected = tree(src, skip=unreadable)
    restored = tree(tmp_path / 'restored')
    assert sorted(restored) == sorted(expected)
    for rel, (kind, content, mtime, _, mode) in expected.items():
        g = restored[rel]
        assert (g[0], g[1], g[2]) == (kind, content, mtime), rel
        if kind == 'file':
            assert bool(g[4] & stat.S_IWUSR) == bool(mode & stat.S_IWUSR), rel
    assert dos_attributes(tmp_path / 'restored' / 'Data' / 'hidden.txt') \
        & HIDDEN
    for group in rich['link_groups']:
        inodes = {restored[r.lstrip('\\').replace('\\', '/')][3]
                  for r in group}
        assert len(inodes) == 1, group


def test_empty_source(tmp_path):
    src = tmp_path / 'empty'
    src.mkdir()
    image = tmp_path / 'empty.tav'
    run = capture3000(image, src)
    assert run.verdict == OK, run.text[-2000:]
    assert image.read_bytes() == struct.pack('<iqq', 3000, 0, 0)
    text, verdict, _ = restore(image, tmp_path / 'out')
    assert verdict == OK, text[-2000:]
    assert list((tmp_path / 'out').iterdir()) == []


def nested_tree(root):
    return tree_tools.build_tree(root, {
        '\\pagefile.sys': b'p' * 1000,
        '\\keep.txt': b'keep',
        '\\Sub\\pagefile.sys': b'sub page',
        '\\Sub\\Deeper\\PageFile.SYS': b'deeper page',
        '\\Sub\\pagefile\\inside.txt': b'inside a folder named pagefile',
        '\\Sub\\notes.txt': b'notes',
        '\\Data\\Sub\\f.txt': b'f',
        '\\Other\\Data\\g.txt': b'g',
        '\\Other\\keep.txt': b'another keep',
    })


# patterns, excluded relative paths, intended file and folder skips
NESTED_CASES = [
    (['pagefile.sys'], ['\\pagefile.sys', '\\Sub\\pagefile.sys',
                        '\\Sub\\Deeper\\PageFile.SYS'], 3, 0),
    (['\\PAGEFILE.SYS'], ['\\pagefile.sys', '\\Sub\\pagefile.sys',
                          '\\Sub\\Deeper\\PageFile.SYS'], 3, 0),
    (['pagefile'], ['\\Sub\\pagefile'], 0, 1),
    (['Data'], ['\\Data', '\\Other\\Data'], 0, 2),
    (['keep.txt', 'Sub'], ['\\keep.txt', '\\Other\\keep.txt', '\\Sub',
                           '\\Data\\Sub'], 2, 2),
    # A path is never a bare name, and parts of names exclude nothing.
    (['Data\\Sub', '\\Sub\\notes.txt', 'page', 'pagefile.sy'], [], 0, 0),
]


@pytest.fixture(scope='module')
def nested_source(tmp_path_factory):
    return nested_tree(tmp_path_factory.mktemp('nested') / 'src')


@pytest.mark.parametrize('patterns, excluded, files, dirs', NESTED_CASES,
                         ids=[' '.join(c[0]) for c in NESTED_CASES])
def test_exclusions_act_in_every_folder(nested_source, tmp_path, patterns,
                                        excluded, files, dirs):
    image = tmp_path / 'x.tav'
    run = capture3000(image, nested_source, *['-x!' + p for p in patterns])
    assert run.verdict == OK, run.text[-3000:]
    assert_format3000(image)
    got = tree_tools.compare_image_to_tree(image, nested_source,
                                           excluded=excluded)
    cap.assert_counts(run, files=got['files'], dirs=got['dirs'],
                      intended_files=files, intended_dirs=dirs)
    # The pre-scan skips the same objects, so the walk ends at 100 %.
    assert run.progress[-1] == (100, got['bytes'])


# Damaged images, each made from a good one: the run never crashes, tells
# the damage by its verdict and writes nothing outside the target.

def _good_image(tmp_path):
    src = tmp_path / 'src'
    (src / 'dir').mkdir(parents=True)
    (src / 'dir' / 'one.txt').write_bytes(b'1' * 70000)
    (src / 'two.txt').write_bytes(b'2' * 1000)
    os.link(src / 'two.txt', src / 'dir' / 'link.txt')
    image = tmp_path / 'good.TAV'
    run = capture3000(image, src, '-mx1')
    assert run.verdict == OK, run.text[-2000:]
    return image, assert_format3000(image)


def _entry(img, name):
    return next(e for e in img['entries'] if e['name'] == name)


def _replace(data, at, raw):
    return data[:at] + raw + data[at + len(raw):]


def _damage(kind, data, img):
    table = img['table_start']
    pro = img['prologue']
    link = next(e for e in img['entries']
                if e['kind'] == tav_reader.KIND_HARD_LINK)
    trailer = table + link['offset'] + 600  # no prefix byte in format 3000
    if kind == 'zero prologue':
        return data[:4] + bytes(16) + data[20:], FATAL
    if kind == 'cut table':
        return data[:table + 300], FATAL
    if kind == 'length beyond the file':
        return _replace(data, 12, struct.pack('<q', pro['header_length'] + 9)), FATAL
    if kind == 'huge string count':
        return _replace(data, trailer, struct.pack('<i', 0x7FFFFFFF)), FATAL
    if kind == 'unknown kind':
        return _replace(data, table + _entry(img, 'two.txt')['offset'] + 596,
                        b'\x4d'), FATAL
    if kind == 'format-4000 table':
        # A prefix byte before the first record puts every field out of place.
        return (data[:4] + struct.pack('<qq', pro['header_offset'],
                                       pro['header_length'] + 1)
                + data[20:table] + b'\0' + data[table:]), FATAL
    if kind == 'traversal name':
        at = table + _entry(img, 'one.txt')['offset'] + 4 + 44
        return _replace(data, at, '..'.encode('utf-16-le') + bytes(518)), ERRORS
    if kind == 'dot-dot hard link':
        count = struct.unpack_from('<i', data, trailer)[0]
        evil = '\\..\\..\\x'.ljust(count, 'x')[:count]
        return _replace(data, trailer + 4, evil.encode('utf-16-le')), ERRORS
    if kind == 'depth jump':
        e = next(e for e in img['entries'] if e['depth'] == 1)
        return _replace(data, table + e['offset'], struct.pack('<i', 5)), ERRORS
    if kind == 'inflate error in the first block':
        return data[:22] + bytes(b ^ 0xFF for b in data[22:40]) + data[40:], ERRORS
    raise AssertionError(kind)


DAMAGES = ['zero prologue', 'cut table', 'length beyond the file',
           'huge string count', 'unknown kind', 'format-4000 table',
           'traversal name', 'dot-dot hard link', 'depth jump',
           'inflate error in the first block']


@pytest.mark.parametrize('kind', DAMAGES)
def test_damaged_images(tmp_path, kind):
    image, img = _good_image(tmp_path)
    bad, verdict = _damage(kind, image.read_bytes(), img)
    broken = tmp_path / 'broken.TAV'
    broken.write_bytes(bad)
    text, got, _ = restore(broken, tmp_path / 'out')
    if verdict == ERRORS:  # a failed hard link also counts a security warning
        assert got in (ERRORS, WARNINGS_AND_ERRORS), text[-1500:]
    else:
        assert got == verdict, text[-1500:]
    assert sorted(p.name for p in tmp_path.iterdir()) == sorted(
        ['src', 'good.TAV', 'good.TAV_a.log', 'broken.TAV',
         'broken.TAV_x.log'] + (['out'] if (tmp_path / 'out').exists() else []))


def test_disk_full_restore_reports_once_per_file(tmp_path, small_disk):
    src = tree_tools.build_tree(tmp_path / 'src', {
        '\\big.bin': os.urandom(3 * 1024 * 1024),
        '\\Sub\\small.txt': b'small\n',
        '\\after.txt': b'after\n',
    })
    image = tmp_path / 'full.TAV'
    run = capture3000(image, src, '-mx0')
    assert run.verdict == OK, run.text[-2000:]

    target = small_disk / 'out'
    text, verdict, rows = restore(image, target)
    assert verdict == ERRORS, text[-2000:]
    failures = re.findall(r'^  Failed to write data to the file (.*)\. '
                          r'\(Error code : (\d+), ', text, re.M)
    assert failures == [(win_path(target / 'big.bin'), '112')]
    assert rows['File'][:2] == (2, 1)
    assert not (target / 'big.bin').exists()  # no half file left
    assert (target / 'after.txt').read_bytes() == b'after\n'
    assert (target / 'Sub' / 'small.txt').read_bytes() == b'small\n'


def test_disk_full_capture_leaves_an_image_that_is_refused(tmp_path,
                                                            small_disk):
    src = tree_tools.build_tree(tmp_path / 'src', {
        '\\sub\\random.bin': os.urandom(3 * 1024 * 1024),
        '\\small.txt': b'small\n',
    })
    image = small_disk / 'image.TAV'
    work = tmp_path / 'work'
    work.mkdir()
    run = capture3000(image, src, '-mx0', '-w' + win_path(work))
    assert run.verdict == FATAL, run.text[-2000:]
    # The unfinished image never takes the image's name, and is removed.
    assert list(small_disk.iterdir()) == []
    # As it was left before it was written under a name of its own: data,
    # but a prologue never completed.
    image = tmp_path / 'unfinished.TAV'
    image.write_bytes(struct.pack('<iqq', 3000, 0, 0) + bytes(5000))

    text, verdict, _ = restore(image, tmp_path / 'out')
    assert verdict == FATAL, text[-2000:]
    assert 'is damaged or was never completed' in text
    assert not (tmp_path / 'out').exists()
