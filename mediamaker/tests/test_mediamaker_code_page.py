"""OrvaMediaMaker in the system's code page 949 (Korean), driven as in
test_mediamaker.py, with every folder of a test inside a folder named "째".
The schedule file's texts are in the code page: a job name and a folder
whose bytes would also read as UTF-8 ("째" is C2 B0, the degree sign in UTF-8)
are listed, found and built as the code page reads them; a backup whose
record cannot be found is refused, never built without its images; an ISO
path keeps the bytes of its two-byte characters when upper-cased ("똠" is
8C 63, its second byte a "c")."""
import os
import subprocess

import pytest

# Before any Wine process of this run starts: the programs take code page 949 from it.
os.environ.update(LC_ALL='ko_KR.UTF-8', LANG='ko_KR.UTF-8')

from test_mediamaker import OK, YES, drive, images, install, one, schedule_text, values, win_path  # noqa: E402,F401

# A name the code page cannot read: C9 is a lead byte, 41 no second byte of it.
UNREADABLE = '\xc9A'


def ansi(text):
    """A text as the schedule file holds it: code page 949 bytes, in the latin-1 form schedule_text writes."""
    return text.encode('cp949').decode('latin-1')


def upper_ascii(path):
    return ''.join(c.upper() if c.isascii() else c for c in path)


@pytest.fixture
def korean_install(install, tmp_path):
    """The installation and the test's folders moved into a folder named "째"."""
    folder = tmp_path / '째'
    folder.mkdir()
    for name in ('Orvanta', 'repo', 'out'):
        (tmp_path / name).rename(folder / name)
    return {key: folder / path.relative_to(tmp_path) for key, path in install.items()}


def iso_files(iso):
    found = subprocess.run(['xorriso', '-indev', str(iso), '-find', '/ORVANTA', '-type', 'f'],
                           capture_output=True, text=True, check=True).stdout
    return {line.strip("'") for line in found.splitlines() if line.startswith("'/")}


def test_names_in_the_code_page_are_found_and_built(korean_install, images):
    install = korean_install
    repo, out = install['repo'], install['out']
    first, second = repo / '째.TAV', repo / '똠 c.tav'
    for image in (first, second):
        image.write_bytes(images['bytes']['Tiny.TAV'])
    jobs = [(ansi('째'), 300, ansi(win_path(first))), (ansi('똠'), 306, ansi(win_path(second))),
            (UNREADABLE, 300, ansi(win_path(first)))]
    (install['bin'] / 'OrvaSchedule.ovc').write_bytes(schedule_text(jobs, codepage='latin-1'))
    iso = out / '째.iso'
    report = drive([
        'start ' + win_path(install['exe']),
        'items', 'text main 1014', 'shot main code_page_main',
        # The ISO image of "똠" under its default name.
        'select 1', 'text main 1014', 'click main 1002',
        'press main 1', 'box %d' % YES, 'finish', 'status', 'press progress 2', 'gone progress',
        # The ISO image of "째", named in its folder.
        'select 0', 'set main 1014 ' + win_path(iso),
        'press main 1', 'box %d' % YES, 'finish', 'status', 'press progress 2', 'gone progress',
        # A backup whose record cannot be found: refused on both media.
        'select 2', 'press main 1', 'box %d' % YES, 'box %d' % OK,
        'click main 1001', 'set main 1005 ' + win_path(out), 'press main 1', 'box %d' % YES, 'box %d' % OK,
        # A name with a letter that the code page lacks reads with a "?" in its place: refused.
        'click main 1002', 'set main 1014 ' + win_path(out / 'café.iso'), 'press main 1', 'box %d' % YES,
        'box %d' % OK,
        'exists ' + win_path(install['script']), 'entries ' + win_path(out),
        'press main 2', 'end',
    ])
    assert one(report, 'items').split('|')[:2] == ['째', '똠'], report
    default = upper_ascii(win_path(second))[:-4] + '.iso'
    assert values(report, 'text 1014') == [upper_ascii(win_path(first))[:-4] + '.iso', default]
    assert values(report, 'status') == ['Successfully completed.'] * 2, report
    boxes = values(report, 'box')
    assert [boxes[i] for i in (0, 1, 2, 4, 6)] == ['Do you want to continue?'] * 5 and len(boxes) == 8, boxes
    refused = "The backup's record cannot be found: no medium is made without its image files."
    assert boxes[3].startswith(refused) and boxes[5].startswith(refused), boxes
    assert boxes[7].startswith('The ISO image name holds characters that the build script cannot carry:'), boxes
    assert boxes[7].endswith(upper_ascii(win_path(out)) + '\\CAF?.ISO'), boxes
    assert one(report, 'exists') == '0' and one(report, 'entries') == '1'
    assert one(report, 'exit') == '0'

    built = repo / '똠 C.ISO'
    assert built.exists(), sorted(p.name for p in repo.iterdir())
    assert iso_files(built) == {'/ORVANTA/똠 c.tav'}
    assert (out / '째.ISO').exists() and iso_files(out / '째.ISO') == {'/ORVANTA/째.TAV'}
    assert not first.exists() and not second.exists(), 'the image files went into the ISO images'
    assert sorted(p.name for p in out.iterdir()) == ['째.ISO'] and not (repo / 'ORVAPE').exists()
