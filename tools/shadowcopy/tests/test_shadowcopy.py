"""The shadow-copy stand-in (vshadow.exe in build/bin) under Wine, on a drive
letter mapped to a fixture folder: the script form with its settings file,
and the persistent create, expose and delete steps with their markers."""
import os
import pathlib
import re
import subprocess
import tempfile

import pytest

from conftest import ORVA_BIN, ORVA_WINE_RUN, win_path

CREATE_MARKER = 'List of created shadow copies: '
EXPOSE_MARKER = '(Option: Expose a shadow copy)'
DELETE_MARKER = '(Option: Delete a shadow copy)'


def engine_prefix():
    return pathlib.Path(os.environ.get('WINEPREFIX', ORVA_BIN.parent / 'wineprefix'))


def dosdevices():
    return engine_prefix() / 'dosdevices'


def free_letters():
    used = {p.name[0].lower() for p in dosdevices().iterdir() if len(p.name) == 2 and p.name[1] == ':'}
    return [c for c in 'tuvwxyrsq' if c not in used]


def run(args, cwd, snaps, timeout=120):
    """Runs a program of the engine prefix; returns its console text."""
    env = dict(os.environ, ORVA_SNAPSHOT_ROOT=win_path(snaps))
    with tempfile.TemporaryFile() as out:
        subprocess.run([ORVA_WINE_RUN, *args], cwd=cwd, stdin=subprocess.DEVNULL, stdout=out,
                       stderr=subprocess.STDOUT, env=env, timeout=timeout)
        out.seek(0)
        return out.read().decode('latin-1')


def parse_snapshot_id(text):
    """As the service's parser: the last line with SNAPSHOT ID after its
    first character gives the braced identifier."""
    result = ''
    for line in text.splitlines():
        if line.find('SNAPSHOT ID') > 0:
            piece = line[line.find('{'):][:line.find('}')] if '{' in line else ''
            result = piece[:piece.find('}') + 1] if '}' in piece else piece
    return result


def step_part(text, marker):
    """The lines the service keeps of a step: from the marker line on."""
    lines = text.splitlines()
    for i, line in enumerate(lines):
        if marker in line:
            return lines[i:]
    return []


def has_error(part):
    return any('ERROR:' in line for line in part)


@pytest.fixture
def volume(tmp_path):
    """A Wine drive letter on a fixture folder, and the snapshot store."""
    live = tmp_path / 'live'
    (live / 'sub').mkdir(parents=True)
    (live / 'data.txt').write_bytes(b'old content\r\n')
    (live / 'sub' / 'inner.txt').write_bytes(b'inner\r\n')
    snaps = tmp_path / 'snaps'
    snaps.mkdir()
    letter = free_letters()[0]
    link = dosdevices() / f'{letter}:'
    link.symlink_to(live)
    try:
        yield letter.upper(), live, snaps
    finally:
        link.unlink()


def test_script_form_reads_the_snapshot_not_the_live_volume(volume, tmp_path):
    letter, live, snaps = volume
    work = tmp_path / 'work'
    work.mkdir()
    (work / 'backup.cmd').write_bytes((
        'call SETVAR1.cmd\r\n'
        'echo %SHADOW_DEVICE_1%> device.txt\r\n'
        f'echo new content> {letter}:\\data.txt\r\n'
        'copy "%SHADOW_DEVICE_1%\\data.txt" seen.txt\r\n'
        'dir /b /s "%SHADOW_DEVICE_1%\\" > listing.txt\r\n').encode())
    out = run([str(ORVA_BIN / 'vshadow.exe'), '-script=SETVAR1.cmd', f'-exec={win_path(work / "backup.cmd")}',
               f'{letter}:'], work, snaps)
    assert (live / 'data.txt').read_bytes() == b'new content\r\n', out
    assert (work / 'seen.txt').read_bytes() == b'old content\r\n', out
    listing = (work / 'listing.txt').read_text('latin-1')
    assert 'inner.txt' in listing and 'data.txt' in listing

    device = (work / 'device.txt').read_text('latin-1').strip()
    setvar = (work / 'SETVAR1.cmd').read_text('latin-1').splitlines()
    assert f'SET SHADOW_DEVICE_1={device}' in setvar
    ident = parse_snapshot_id(out)
    assert re.fullmatch(r'\{[0-9A-F-]{36}\}', ident), out
    assert device == win_path(snaps) + '\\' + ident
    assert step_part(out, CREATE_MARKER) and not has_error(step_part(out, CREATE_MARKER)), out
    assert list(snaps.iterdir()) == [], 'the snapshot outlived the script'


def test_persistent_snapshot_create_expose_delete(volume, tmp_path):
    letter, live, snaps = volume
    tool = str(ORVA_BIN / 'vshadow_amd64.exe')
    out = run([tool, '-p', '-nw', f'{letter}:'], tmp_path, snaps)
    part = step_part(out, CREATE_MARKER)
    assert part and not has_error(part), out
    ident = parse_snapshot_id('\n'.join(part))
    assert re.fullmatch(r'\{[0-9A-F-]{36}\}', ident), out
    assert (snaps / ident / 'sub' / 'inner.txt').read_bytes() == b'inner\r\n'
    (live / 'data.txt').write_bytes(b'changed\r\n')

    exposed = free_letters()[0].upper()
    out = run([tool, f'-er={ident},{exposed}:'], tmp_path, snaps)
    part = step_part(out, EXPOSE_MARKER)
    assert part and not has_error(part), out
    # The snapshot still holds what the volume held at the create step. (A
    # letter mapped with DefineDosDevice is not seen by other processes under
    # Wine, so the copy is read from the store.)
    assert (snaps / ident / 'data.txt').read_bytes() == b'old content\r\n'
    assert (snaps / f'{ident}.txt').read_text().splitlines()[:2] == [f'{letter}:', f'{exposed}:']

    # A second exposure of the same snapshot, and unknown identifiers, fail
    # after the step's marker.
    bad = '{00000000-0000-0000-0000-000000000000}'
    for args, marker in (([f'-er={ident},{exposed}:'], EXPOSE_MARKER),
                         ([f'-er={bad},{exposed}:'], EXPOSE_MARKER),
                         ([f'-ds={bad}'], DELETE_MARKER),
                         (['-p', '-nw', 'B:'], CREATE_MARKER)):
        out = run([tool, *args], tmp_path, snaps)
        assert has_error(step_part(out, marker)), (args, out)

    out = run([tool, f'-ds={ident}'], tmp_path, snaps)
    part = step_part(out, DELETE_MARKER)
    assert part and not has_error(part), out
    assert list(snaps.iterdir()) == []
    assert not (dosdevices() / f'{exposed.lower()}:').exists()
