"""Capture onto a disk that fills up: the run ends fatally, and the image
that was there before is left as it was."""
import os

import pytest

from conftest import run_program, win_path

FATAL = b"\r\nThere were fatal SYSTEM errors in the imaging process.\r\n"


@pytest.mark.parametrize("work_on_small_disk", [True, False])
def test_disk_full(tmp_path, small_disk, work_on_small_disk):
    src = tmp_path / "src"
    (src / "sub").mkdir(parents=True)
    (src / "sub" / "random.bin").write_bytes(os.urandom(3 * 1024 * 1024))
    (src / "small.txt").write_text("small\n")
    image = small_disk / "image.TAV"
    work = small_disk if work_on_small_disk else tmp_path / "work"
    work.mkdir(exist_ok=True)
    # The previous image of a smaller tree.
    (tmp_path / "before").mkdir()
    (tmp_path / "before" / "old.txt").write_text("old\n")
    done = run_program("OrvaImage.exe", "a", win_path(image), win_path(tmp_path / "before"))
    assert b"Everything is Ok" in done.stdout
    previous = image.read_bytes()

    done = run_program("OrvaImage.exe", "a", win_path(image), win_path(src), "-mx0", "-w" + win_path(work))
    assert done.returncode == 0
    assert FATAL in done.stdout
    assert b"Everything is Ok" not in done.stdout
    assert image.read_bytes() == previous
    assert not (small_disk / "image.TAV.new").exists(), "the unfinished image is removed"
    assert not (work / "image.TAV.tmp").exists(), "a failed run removes its work file"
    # The failed write's own error: the disk is full.
    assert b"  Archiving error : Failed to write the file " in done.stdout
    assert b"(Error code : 112, " in done.stdout, done.stdout.decode("cp949", "replace")[-2000:]
    assert b"(Error code : 0, " not in done.stdout
    done = run_program("OrvaImage.exe", "x", win_path(image), "-o" + win_path(tmp_path / "out"))
    assert b"Everything is Ok" in done.stdout
    assert (tmp_path / "out" / "old.txt").read_text() == "old\n"


def test_an_image_that_cannot_be_made_is_named(tmp_path):
    src = tmp_path / "src"
    src.mkdir()
    (src / "a.txt").write_text("a\n")
    image = tmp_path / "img" / "image.TAV"
    # A folder holds the name the image is written under until it is whole.
    (tmp_path / "img" / "image.TAV.new").mkdir(parents=True)
    done = run_program("OrvaImage.exe", "a", win_path(image), win_path(src))
    assert done.returncode == 0
    assert FATAL in done.stdout
    message = f"Target file body ({win_path(image)}) open error! (5, ".encode()
    assert message in done.stdout, done.stdout.decode("cp949", "replace")[-2000:]
    assert not image.exists()
    assert not (tmp_path / "img" / "image.TAV.tmp").exists(), "a failed run removes its work file"
