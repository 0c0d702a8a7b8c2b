"""OrvaManager.exe against the real service under Wine. The service, its
Wine prefix and server, the fixture drive and the display are the service
end-to-end tests' own fixtures, shared from there."""
import pathlib
import sys

HERE = pathlib.Path(__file__).resolve().parent
sys.path[:0] = [str(HERE), str(HERE.parents[2] / 'tools' / 'pytest')]

from orva_e2e import REPO, load_module  # noqa: E402

load_module('service_e2e', REPO / 'service' / 'tests' / 'e2e' / 'conftest.py')

from service_e2e import *  # noqa: E402,F401,F403


def end_manager(proc):
    """Ends a manager that a test leaves running. The driver's `start` waits
    for the program, so killing the driver alone would leave OrvaManager.exe
    on the desktop, where the next test's driver would find it."""
    if proc.poll() is None:
        wine('taskkill', '/f', '/im', 'OrvaManager.exe')  # noqa: F405
        proc.kill()
        proc.wait()
