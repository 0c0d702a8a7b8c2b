"""Jobs named in the system's language: the service under Wine in code page
949 (Korean), with Korean job names, folders and image paths. Every file the
service names from a record's text must be the file the tools write and the
service reads back.

This file runs on a Wine prefix of its own started in the Korean locale
(its CTest entry has one); Wine writes Korean file names only when the Linux
locale ko_KR.UTF-8 exists (scripts/common.sh makes it)."""
import os
import subprocess

import pytest

# Before any Wine process of this run starts: wineserver, services and the
# service all take code page 949 from it.
os.environ.update(LC_ALL='ko_KR.UTF-8', LANG='ko_KR.UTF-8')

from conftest import (FINAL_STATES, job_lines, restore, snapshots, tree, unc_shares, wait_for, win_path,  # noqa: E402
                      wine)
from job_wire import job  # noqa: E402
from test_copy_jobs import SLOW, history, install_tools, replication, run_job, source_tree  # noqa: E402


# A snapshot error ends a run too.
ENDS = FINAL_STATES + (10,)


def ansi(text):
    """A text as the record carries it: code page 949 bytes (in the latin-1
    form the wire helpers use)."""
    return text.encode('cp949').decode('latin-1')


@pytest.fixture(autouse=True)
def korean_code_page(wine_scm):
    if 'ko_KR.utf8' not in subprocess.run(['locale', '-a'], capture_output=True, text=True).stdout:
        pytest.fail('the Linux locale ko_KR.UTF-8 is missing (scripts/common.sh install_packages makes it)')
    rc, out = wine('reg', 'query', 'HKLM\\System\\CurrentControlSet\\Control\\Nls\\CodePage', '/v', 'ACP')
    assert rc == 0 and out.split()[-1] == '949', out


def test_replication_iso_and_image_with_korean_names(service, drive, tmp_path):
    letter, live, repo = drive
    install_tools(service)
    log_dir = service.folder.parent / 'Log'
    service.start()

    # A replication: the sizes of both folders and the verdict of its log.
    src, dst = tmp_path / '원본', tmp_path / '사본'
    source_tree(src)
    (src / '한글 파일.txt').write_bytes(b'korean\r\n')
    (dst / '옛것').mkdir(parents=True)
    name = ansi('문서')
    reports = run_job(service, replication(name, ansi(win_path(src)), ansi(win_path(dst))), states=ENDS)
    assert reports[-1]['jobState'] == 0, job_lines(service, name)
    assert reports[-1]['totalBytes'] == 200_022 and tree(dst) == tree(src)
    wait_for(lambda: history(service)[-1:] and history(service)[-1].endswith(f'[REPLICATION][Success][{name}]'), 10,
             'the history line')
    assert f'[REPLICATION] SourceFolder = {ansi(win_path(src))} Size = 200022' in job_lines(service, name)
    assert (log_dir / 'Replicate_문서.log').exists()

    # An ISO backup of the drive, staged in a Korean folder.
    pe = service.folder / 'ORVAPE'
    (pe / 'boot').mkdir(parents=True)
    (pe / 'boot' / 'bcd').write_bytes(b'boot configuration')
    (service.folder / 'etfsboot.com').write_bytes(bytes(range(256)) * 8)
    staging = tmp_path / '매체'
    staging.mkdir()
    name = ansi('매체')
    record = job(name, kind='once', jobType=306, driveLetter=letter,
                 imagePath=ansi(win_path(staging / 'ORVAPE' / 'IMAGE' / f'{letter}.tav')), compressionLevel=1,
                 excludeList='')
    reports = run_job(service, record, timeout=SLOW, states=ENDS)
    assert reports[-1]['jobState'] == 0, job_lines(service, name)
    assert (staging / '매체.iso').stat().st_size > 0 and not (staging / 'ORVAPE').exists()
    assert (log_dir / f'OrvaImage_매체_{letter}.log').exists()

    # A full image from the shadow-copy tool's script.
    (live / '한글').mkdir()
    (live / '한글' / '메모.txt').write_bytes(b'memo\r\n')
    name = ansi('백업')
    image = repo / '백업.tav'
    record = job(name, kind='once', driveLetter=letter, imagePath=ansi(win_path(image)), compressionLevel=1,
                 excludeList='')
    reports = run_job(service, record, finals=2, timeout=SLOW, states=ENDS)
    assert reports[-1]['jobState'] == 0, job_lines(service, name)
    restore(image, tmp_path / 'restored')
    assert tree(tmp_path / 'restored') == tree(live)


def test_snapshot_jobs_with_korean_names(service, drive, windows10, tmp_path):
    letter, live, repo = drive
    install_tools(service)
    (live / '자료').mkdir()
    (live / '자료' / '사진.txt').write_bytes(b'photo\r\n')
    # The prefix outlives a run: what an earlier one left is not this one's.
    before = set(snapshots()), set(unc_shares())
    service.start()

    # A shadow replication copies the snapshot and deletes it.
    dst = tmp_path / '사본'
    name = ansi('사진')
    record = replication(name, ansi(f'{letter}:\\자료'), ansi(win_path(dst)), jobType=305, driveLetter=letter)
    reports = run_job(service, record, timeout=SLOW, states=ENDS)
    assert reports[-1]['jobState'] == 0, job_lines(service, name)
    assert tree(dst) == tree(live / '자료')
    wait_for(lambda: (set(snapshots()), set(unc_shares())) == before, 60, 'the snapshot to go')

    # A full image over an exposed snapshot.
    name = ansi('백업')
    image = repo / '백업.tav'
    record = job(name, kind='once', driveLetter=letter, imagePath=ansi(win_path(image)), compressionLevel=1,
                 excludeList='')
    reports = run_job(service, record, finals=2, timeout=SLOW, states=ENDS)
    assert reports[-1]['jobState'] == 0, job_lines(service, name)
    wait_for(lambda: (set(snapshots()), set(unc_shares())) == before, 60, 'the snapshot to go')
    restore(image, tmp_path / 'restored')
    assert tree(tmp_path / 'restored') == tree(live)
