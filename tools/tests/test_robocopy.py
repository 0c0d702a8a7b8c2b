"""The robocopy stand-in (build/bin/robocopy.exe) under Wine: mirror, log
markers, exit codes, injected errors, and the verdicts the replication log
reader draws from its log."""
import os

import pytest

from conftest import attributes, cmd, tree, win_path

WATCHED = ('ERROR 2 (0x00000002)', '0x000005AA', '0x00000015', '0x00000040', '0x00000020', '0x00000043',
           '0x0000052E')
OLD = 1_300_000_000  # seconds: 2011


def verdict(log):
    """What the service's replication log reader concludes: 0 success,
    2 warnings, 1 error."""
    if not log.exists():
        return 1
    lines = log.read_bytes().decode('cp1252').splitlines()
    error = any(code in line for line in lines for code in WATCHED)
    if not lines or 'Ended :' not in lines[-1]:
        return 1
    return 2 if error else 0


def service_form(src, dst, log):
    return (f'robocopy "{win_path(src)}" "{win_path(dst)}" /np /mir /tee /w:1 /r:1 /njh '
            f'/log:"{win_path(log)}"')


def write(path, data, mtime=None):
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(data)
    if mtime is not None:
        os.utime(path, (mtime, mtime))


@pytest.fixture
def source(tmp_path):
    src = tmp_path / 'src'
    write(src / 'top.txt', b'top level\n', OLD)
    write(src / 'changed.bin', b'new content, longer', OLD + 100)
    write(src / 'same.txt', b'0123456789', OLD)
    write(src / 'was a folder', b'now a file', OLD)
    write(src / 'docs' / '보고서 2026.txt', 'Korean name'.encode(), OLD + 5)
    write(src / 'docs' / 'deep' / 'deeper' / 'leaf.dat', bytes(range(256)) * 300, OLD + 7)
    write(src / 'locked.txt', b'read only', OLD)
    write(src / 'secret.txt', b'hidden', OLD)
    (src / 'empty dir').mkdir()
    write(src / 'long' / ('x' * 120) / ('y' * 120) / ('z' * 60 + '.txt'), b'past MAX_PATH', OLD)
    os.utime(src / 'docs', (OLD + 50, OLD + 50))
    code, text = cmd(f'attrib +r "{win_path(src / "locked.txt")}" && attrib +h "{win_path(src / "secret.txt")}"')
    assert code == 0, text
    return src


def test_mirror_copies_what_differs_and_removes_extras(tmp_path, source):
    dst, log = tmp_path / 'dst', tmp_path / 'Replicate_my job.log'
    write(dst / 'changed.bin', b'old content', OLD)
    write(dst / 'same.txt', b'ABCDEFGHIJ', OLD)  # same size and time: left alone
    write(dst / 'extra.txt', b'not in the source')
    write(dst / 'old folder' / 'inner' / 'x.txt', b'x')
    write(dst / 'was a folder' / 'y.txt', b'y')

    code, text = cmd(service_form(source, dst, log))
    assert code == 1 | 2 | 4, text  # copied, extras found, a mismatch
    expected = tree(source)
    expected['same.txt'] = b'ABCDEFGHIJ'
    assert tree(dst) == expected
    for rel, data in tree(source).items():
        if data is not None:
            assert (dst / rel).stat().st_mtime_ns // 100 == (source / rel).stat().st_mtime_ns // 100, rel
    assert (dst / 'docs').stat().st_mtime == OLD + 50
    assert 'R' in attributes(dst / 'locked.txt') and 'H' not in attributes(dst / 'locked.txt')
    assert 'H' in attributes(dst / 'secret.txt')

    lines = log.read_bytes().decode('cp1252').splitlines()
    assert lines[-1].startswith('   Ended : ')
    assert not any('ROBOCOPY' in line for line in lines)  # /njh
    assert not any('ERROR' in line for line in lines)
    assert any('*EXTRA File' in line and 'extra.txt' in line for line in lines)
    assert any('New File' in line and 'top.txt' in line for line in lines)
    assert 'Ended :' in text.splitlines()[-1]  # /tee
    assert verdict(log) == 0

    # A second run finds nothing to do; an unchanged tree keeps its times.
    code, text = cmd(service_form(source, dst, log))
    assert code == 0, text
    assert tree(dst) == expected
    assert verdict(log) == 0


@pytest.mark.parametrize('fail, code, watched', [
    ('docs\\보고서 2026.txt', 32, True),
    ('top.txt', 0x52E, True),
    ('leaf.dat', 5, False),
])
def test_injected_error_is_logged_with_its_code(tmp_path, source, fail, code, watched):
    dst, log = tmp_path / 'dst', tmp_path / 'Replicate_job.log'
    name = fail.split('\\')[-1]
    victim = next(p for p in source.rglob(name))
    former = dst / victim.relative_to(source)
    write(former, b'former copy', OLD - 1000)

    exit_code, text = cmd(service_form(source, dst, log), env={'ORVA_ROBOCOPY_FAIL': f'{fail}={code}'})
    assert exit_code & 8 and exit_code < 16, text
    lines = log.read_bytes().decode('cp1252').splitlines()
    errors = [line for line in lines if f'ERROR {code} (0x{code:08X}) Copying File' in line]
    assert len(errors) == 2  # the try and its one retry
    # The log is in the ANSI code page: names outside it show as '?'.
    assert errors[0].endswith(win_path(victim).encode('cp1252', 'replace').decode('cp1252'))
    assert 'ERROR: RETRY LIMIT EXCEEDED.' in lines
    assert lines[-1].startswith('   Ended : ')
    assert former.read_bytes() == b'former copy'  # a failed copy keeps the former one
    others = {k: v for k, v in tree(source).items() if not k.endswith(name)}
    assert {k: v for k, v in tree(dst).items() if k in others} == others
    assert verdict(log) == (2 if watched else 0)


def test_injected_folder_error_skips_that_branch(tmp_path, source):
    dst, log = tmp_path / 'dst', tmp_path / 'r.log'
    code, text = cmd(service_form(source, dst, log), env={'ORVA_ROBOCOPY_FAIL': 'docs\\deep=21'})
    assert code & 8, text
    assert not (dst / 'docs' / 'deep').exists() and (dst / 'docs' / '보고서 2026.txt').exists()
    assert 'ERROR 21 (0x00000015) Creating Destination Directory' in log.read_text('cp1252')
    assert verdict(log) == 2


@pytest.mark.parametrize('case', ['missing source', 'bad switch', 'source inside destination', 'same folder'])
def test_fatal_errors_end_without_summary(tmp_path, source, case):
    log = tmp_path / 'r.log'
    dst = tmp_path / 'dst'
    write(dst / 'keep.txt', b'keep')
    line = {
        'missing source': service_form(tmp_path / 'nothing here', dst, log),
        'bad switch': service_form(source, dst, log) + ' /bogus',
        'source inside destination': service_form(dst / 'sub', dst, log),
        'same folder': service_form(dst, dst, log),
    }[case]
    (dst / 'sub').mkdir()
    code, text = cmd(line)
    assert code == 16, text
    assert tree(dst) == {'keep.txt': b'keep', 'sub': None}
    content = log.read_text('cp1252')
    assert 'Ended :' not in content
    assert ('ERROR 2 (0x00000002) Accessing Source Directory' in content) == (case == 'missing source')
    assert verdict(log) == 1


def test_media_maker_forms(tmp_path, source):
    """The ISO staging mirror (job header, doubled separators in the source)
    and the USB copy (/e: extras stay, unquoted target)."""
    stage, usb, log = tmp_path / 'iso', tmp_path / 'usb', tmp_path / 'OrvaISOPECopy.log'
    write(stage / 'ORVAPE' / 'stale.txt', b'stale')
    write(usb / 'mine.txt', b'user file')
    exe_folder = win_path(source.parent) + '\\'
    code, text = cmd(f'robocopy "{exe_folder}\\src" "{win_path(stage)}\\ORVAPE" /mir /w:1 /r:1 /tee '
                     f'/log:"{win_path(log)}"')
    assert code == 1 | 2, text
    assert tree(stage / 'ORVAPE') == tree(source)
    content = log.read_text('cp1252')
    assert f'Source : {win_path(source)}\\' in content and 'Started : ' in content
    assert content.splitlines()[-1].startswith('   Ended : ')

    code, text = cmd(f'robocopy "{exe_folder}\\src" {win_path(usb)}\\ /e /w:1 /r:1 /tee /log:"{win_path(log)}"')
    assert code == 1 | 2, text
    assert tree(usb) == {**tree(source), 'mine.txt': b'user file'}
    assert (usb / 'empty dir').is_dir()

    # Folders given with their closing backslash inside the quotes.
    code, text = cmd(f'robocopy "{win_path(source)}\\" "{win_path(tmp_path / "third")}\\" /mir /r:0 /w:0')
    assert code == 1, text
    assert tree(tmp_path / 'third') == tree(source)


def test_destination_inside_source_and_log_inside_destination(tmp_path, source):
    dst = source / 'mirror'
    log = dst / 'copy.log'
    dst.mkdir()
    code, text = cmd(service_form(source, dst, log))
    assert code == 1, text
    copied = tree(dst)
    assert copied.pop('copy.log').decode('cp1252').splitlines()[-1].startswith('   Ended : ')
    assert copied == {k: v for k, v in tree(source).items() if not k.startswith('mirror')}


def test_links_are_never_followed(tmp_path, source):
    outside = tmp_path / 'outside'
    write(outside / 'precious.txt', b'must survive')
    (source / 'link to outside').symlink_to(outside)
    dst, log = tmp_path / 'dst', tmp_path / 'r.log'
    dst.mkdir()
    (dst / 'stale link').symlink_to(outside)
    write(source / 'was a link' / 'inner.txt', b'inner')
    (dst / 'was a link').symlink_to(outside)
    code, text = cmd(service_form(source, dst, log).replace('/r:1', '/r:0'))
    assert not (dst / 'link to outside').exists()
    assert tree(outside) == {'precious.txt': b'must survive'}
    content = log.read_text('cp1252')
    assert 'Skipped link' in content
    # Wine cannot remove a folder link: the failure is reported, nothing behind it is touched.
    if (dst / 'stale link').is_symlink():
        assert code & 8 and 'Deleting Extra Directory' in content
