"""The manager in the system's code page 949 (Korean) against the stand-in
for the service of test_manager_status.py: job names whose code page bytes
would also read as UTF-8 ("째" is C2 B0, the degree sign in UTF-8) show as
the code page reads them, and the records the manager sends back carry the
same bytes.

This file runs on a Wine prefix of its own started in the Korean locale (its
CTest entry has one)."""
import os

# Before any Wine process of this run starts: wineserver and the manager take code page 949 from it.
os.environ.update(LC_ALL='ko_KR.UTF-8', LANG='ko_KR.UTF-8')

from conftest import end_manager, wait_for, win_path, wine  # noqa: E402
from job_wire import RUNJOB, job  # noqa: E402
from test_manager_status import StandIn  # noqa: E402
from test_manager_window import SHOTS, ManagerWindow, check_shot  # noqa: E402

NAMES = ['째', '똠 백업', '홉']


def ansi(text):
    """A text as the record carries it: code page 949 bytes (in the latin-1 form the wire helpers use)."""
    return text.encode('cp949').decode('latin-1')


def test_korean_job_names_show_and_go_back_unchanged(wine_scm, display, tmp_path):
    rc, out = wine('reg', 'query', 'HKLM\\System\\CurrentControlSet\\Control\\Nls\\CodePage', '/v', 'ACP')
    assert rc == 0 and out.split()[-1] == '949', out
    folder = tmp_path / 'Orvanta'
    folder.mkdir()
    repo = tmp_path / '저장소'
    repo.mkdir()
    (folder / 'OrvaOption.ovc').write_bytes(
        f'Repository Directory:\r\n{win_path(repo)}|\r\nNetwork Repository Directory:\r\n\r\n'.encode('cp949'))
    records = [job(ansi(name), kind='once', run_state=2, excludeList='', imagePath=ansi(f'D:\\저장소\\{name}.tav'))
               for name in NAMES]
    stand_in = StandIn(records)
    window = ManagerWindow(folder, display)
    try:
        tree = window.wait_tree(lambda t: '{' + ansi(NAMES[-1]) + '#' in t, 60, 'the job tree')
        assert [name for name in NAMES if '{' + ansi(name) + '#' in tree] == NAMES, tree

        # Run finds the job by the name the tree shows and sends the record's own bytes.
        assert window.driver('run', NAMES[0]) == 0
        sent = stand_in.next()
        assert sent and sent['code'] == RUNJOB and sent['jobName'] == ansi(NAMES[0]), sent
        stand_in.status(records[0], 0, 100)
        wait_for(lambda: [r for r in window.rows(1009) if r[1] == ansi(NAMES[0])], 10, 'the running row of the job')
        shot = SHOTS / 'manager_korean_names.bmp'
        SHOTS.mkdir(exist_ok=True)
        assert window.driver('shot', win_path(shot)) == 0
        check_shot(shot)
    finally:
        stand_in.close()
        end_manager(window.proc)
