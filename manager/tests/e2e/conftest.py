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
