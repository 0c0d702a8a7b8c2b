import pathlib
import sys

HERE = pathlib.Path(__file__).resolve().parent
sys.path[:0] = [str(HERE), str(HERE.parents[1] / 'tools' / 'pytest')]

from orva_e2e import ORVA_BIN, ORVA_WINE_RUN, run_wine, win_path  # noqa: E402,F401
