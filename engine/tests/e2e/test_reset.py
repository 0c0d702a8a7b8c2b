"""OrvaImage r: the increment list of an image is emptied in place."""
import shutil

import pytest

from conftest import run_program, win_path
import tav_reader

OK = b"\r\nEverything is Ok.\r\n\r\n[End of Orvanta Imaging Process Log File]"
FATAL = b"\r\nThere were fatal SYSTEM errors in the imaging process.\r\n\r\n[End of Orvanta Imaging Process Log File]"


def test_reset_empties_the_list(fixture_dir, tmp_path):
    image = tmp_path / "job.tav"
    shutil.copy(fixture_dir / "image_list.tav", image)
    before = image.read_bytes()
    assert tav_reader.read_image(image)["header"]["increments"]

    done = run_program("OrvaImage.exe", "r", win_path(image))
    assert done.returncode == 0
    assert done.stdout.endswith(OK)
    assert b"Finished updating process.\r\n" in done.stdout

    after = tav_reader.read_image(image)
    assert after["header"]["increments"] == []
    # Only the count changed; the table and the rest of the header did not.
    count_at = after["header_end"] - 4
    assert image.read_bytes()[:count_at] == before[:count_at]
    log = (tmp_path / "job.tav_r.log").read_bytes()
    assert log.startswith(b"Orvanta Imaging Process Log File\r\n")
    assert log.endswith(OK)
    assert b"  Command : r\r\n" in log


@pytest.mark.parametrize("damage", ["missing", "truncated", "bad offset"])
def test_reset_of_a_damaged_image_is_fatal(fixture_dir, tmp_path, damage):
    image = tmp_path / "job.tav"
    data = (fixture_dir / "image_list.tav").read_bytes()
    if damage == "truncated":
        data = data[:len(data) - 60]
    elif damage == "bad offset":
        data = data[:4] + (10**12).to_bytes(8, "little") + data[12:]
    if damage != "missing":
        image.write_bytes(data)

    done = run_program("OrvaImage.exe", "r", win_path(image))
    assert done.returncode == 0
    assert done.stdout.endswith(FATAL)
    if damage != "missing":
        assert image.read_bytes() == data  # nothing written into a damaged image
