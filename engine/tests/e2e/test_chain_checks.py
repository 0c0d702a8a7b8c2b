"""Increment chains that are not what they seem: a reference whose data
offset points at another file's stream, members swapped or taken from
another chain. None of them may restore with "Everything is Ok."; a chain
moved to another folder, and files that grew while they were captured,
restore cleanly."""
import os
import re
import shutil
import struct
import time
from pathlib import Path

from conftest import run_program, win_path
import tav_reader

OK = b"\r\nEverything is Ok.\r\n"
WARNINGS = b"\r\nEverything is Ok but there are some warnings.\r\n"
ERRORS = b"\r\nThe imaging process is finished however there were some errors.\r\n"
FATAL = b"\r\nThere were fatal SYSTEM errors in the imaging process.\r\n"
T0 = 1_600_000_000 * 10**9
# Sizes of the tree's files: random bytes, so that a tree of other bytes
# has streams of the same lengths.
SIZES = {"a_small.txt": 10, "b_big.bin": 131_072, "c.bin": 5_000, "d.bin": 70_000, "e.txt": 1}


def engine(*args):
    done = run_program("OrvaImage.exe", *args)
    assert done.returncode == 0
    return done.stdout


def text(out):
    return out.decode("cp949", "replace")[-3000:]


def verdict(out):
    for v in (OK, WARNINGS, ERRORS, FATAL):
        if v in out:
            return v
    raise AssertionError(text(out))


def write(path, content, when):
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(content)
    os.utime(path, ns=(when, when))


def make_tree(src):
    for i, (name, size) in enumerate(SIZES.items()):
        write(src / name, os.urandom(size), T0 + i * 10**9)


def change(src, name, step):
    write(src / name, os.urandom(SIZES[name]), T0 + (100 + step) * 10**9)


def snapshot(root):
    return {str(p.relative_to(root)): p.read_bytes() for p in sorted(root.rglob("*")) if p.is_file()}


def build_chain(src, img, increments):
    """a, then one i per name in increments (that file changed before it);
    the tree after each step."""
    states = []
    engine_ok("a", win_path(img / "Job.TAV"), win_path(src))
    states.append(snapshot(src))
    for step, name in enumerate(increments, 1):
        change(src, name, step)
        engine_ok("i", win_path(img / "Job.TAV"), win_path(src))
        states.append(snapshot(src))
    return states


def engine_ok(*args):
    out = engine(*args)
    assert OK in out, text(out)
    return out


def extract(image, target):
    out = engine("x", win_path(image), "-o" + win_path(target))
    return out, snapshot(target) if target.exists() else {}


def stream_of(image, name):
    """(offset, length) of a file's stream in the body of an image."""
    for entry, offset, length in tav_reader.body_streams(image):
        if entry["name"] == name:
            return offset, length
    raise KeyError(name)


def reference_to(full, inc, name):
    """Where in the increment's file the reference to name's entry of the
    full image lies."""
    target = next(e for e in full["entries"] if e.get("name") == name)
    for e in inc["entries"]:
        if e["prefix"]["flag"] == 1 and e["prefix"]["image_index"] == 0 \
                and e["prefix"]["entry_offset"] == target["offset"]:
            return inc["table_start"] + e["offset"]
    raise KeyError(name)


def test_a_reference_to_another_files_stream_is_an_error(tmp_path):
    src, img = tmp_path / "src", tmp_path / "img"
    make_tree(src)
    states = build_chain(src, img, ["c.bin"])
    inc_path = img / "Job_0001.TAV"
    full, inc = tav_reader.read_image(img / "Job.TAV"), tav_reader.read_image(inc_path)
    small_at, small_length = stream_of(full, "a_small.txt")
    big_at, big_length = stream_of(full, "b_big.bin")
    assert small_length < big_length
    # The reference's data offset (after the flag, the index, the entry's
    # offset and length) moved onto the small file's stream.
    at = reference_to(full, inc, "b_big.bin") + 1 + 4 + 8 + 8
    data = bytearray(inc_path.read_bytes())
    assert struct.unpack_from("<q", data, at)[0] == big_at
    struct.pack_into("<q", data, at, small_at)
    inc_path.write_bytes(bytes(data))

    out, got = extract(inc_path, tmp_path / "x1")
    assert verdict(out) == ERRORS, text(out)
    assert b"b_big.bin ends before its stored data" in out
    assert "b_big.bin" not in got
    assert {k: v for k, v in states[1].items() if k != "b_big.bin"} == got
    # The next increment copies the reference as it is; its restore reports it.
    change(src, "d.bin", 2)
    engine_ok("i", win_path(img / "Job.TAV"), win_path(src))
    out, got = extract(img / "Job_0002.TAV", tmp_path / "x2")
    assert verdict(out) == ERRORS, text(out)
    assert "b_big.bin" not in got


def test_swapped_members_are_named(tmp_path):
    src, img = tmp_path / "src", tmp_path / "img"
    make_tree(src)
    build_chain(src, img, ["c.bin", "d.bin", "e.txt"])
    first, second = img / "Job_0001.TAV", img / "Job_0002.TAV"
    swap = tmp_path / "swap"
    first.rename(swap)
    second.rename(first)
    swap.rename(second)
    out, _ = extract(second, tmp_path / "x")
    assert verdict(out) == WARNINGS, text(out)
    assert f"The image {win_path(second)} holds the image Job_0001.TAV".encode() in out, text(out)
    assert f"The image {win_path(img / 'Job_0001.TAV')} holds the image Job_0002.TAV".encode() in out
    # Members 2 and 3 of the chain swapped: the run that reads them warns
    # in the same words and still writes its increment.
    for a, b in ((first, second), (second, img / "Job_0003.TAV")):
        a.rename(swap)
        b.rename(a)
        swap.rename(b)
    out = engine("i", win_path(img / "Job.TAV"), win_path(src))
    assert verdict(out) == WARNINGS, text(out)
    assert b"holds the image Job_0003.TAV: it does not belong" in out
    assert (img / "Job_0004.TAV").exists()


def test_a_member_of_another_chain_is_named(tmp_path):
    """Two chains of trees with the same names, sizes and times; the second
    chain is made later, and its first increment replaces the first one's."""
    trees, folders, states = [tmp_path / "src1", tmp_path / "src2"], [tmp_path / "one", tmp_path / "two"], []
    for src, img in zip(trees, folders):
        make_tree(src)
        states.append(build_chain(src, img, ["c.bin", "d.bin"]))
        time.sleep(1.1)  # image start times are in whole seconds
    assert states[0][0] != states[1][0]
    assert {k: len(v) for k, v in states[0][0].items()} == {k: len(v) for k, v in states[1][0].items()}
    one = folders[0]
    shutil.copyfile(folders[1] / "Job_0001.TAV", one / "Job_0001.TAV")
    out, got = extract(one / "Job_0002.TAV", tmp_path / "x")
    assert verdict(out) == WARNINGS, text(out)
    assert f"The image {win_path(one / 'Job_0001.TAV')} was started later than the image " \
           f"{win_path(one / 'Job_0002.TAV')} that follows it".encode() in out, text(out)
    assert got != states[0][2]  # restored on: a mix, but not taken for the real one
    out = engine("i", win_path(one / "Job.TAV"), win_path(trees[0]))
    assert verdict(out) == WARNINGS and b"was started later than the image" in out, text(out)


def test_a_moved_chain_and_grown_files_restore_cleanly(tmp_path):
    src, img = tmp_path / "src", tmp_path / "img"
    make_tree(src)
    states = build_chain(src, img, ["c.bin", "d.bin"])
    # Files that grew while they were captured: their size fields hold less
    # than their streams. (The record's size: after the prefix byte, the
    # depth, the attributes and three times comes the high then the low word.)
    full_path = img / "Job.TAV"
    full = tav_reader.read_image(full_path)
    data = bytearray(full_path.read_bytes())
    for e in full["entries"]:
        if e.get("name") in ("b_big.bin", "e.txt"):
            at = full["table_start"] + e["offset"] + 1 + 4 + 4 + 24 + 4
            assert struct.unpack_from("<I", data, at)[0] == SIZES[e["name"]]
            struct.pack_into("<I", data, at, SIZES[e["name"]] // 2)
    full_path.write_bytes(bytes(data))
    moved = tmp_path / "elsewhere" / "backups"
    moved.parent.mkdir()
    img.rename(moved)
    for k, name in enumerate(["Job.TAV", "Job_0001.TAV", "Job_0002.TAV"]):
        out, got = extract(moved / name, tmp_path / f"x{k}")
        assert verdict(out) == OK, text(out)
        assert got == states[k]
    change(src, "e.txt", 3)
    engine_ok("i", win_path(moved / "Job.TAV"), win_path(src))


def test_each_chain_member_open_shows_its_own_error(tmp_path):
    src, img = tmp_path / "src", tmp_path / "img"
    make_tree(src)
    build_chain(src, img, ["c.bin", "d.bin"])
    # The first increment's work file cannot be made (a folder has its
    # name) and the increment itself is gone.
    (img / "Job_0001.TAV.tmp").mkdir()
    (img / "Job_0001.TAV").unlink()
    out, _ = extract(img / "Job_0002.TAV", tmp_path / "x")
    assert verdict(out) == FATAL, text(out)
    header = re.search(rb"Cannot open the header incremental file (.*)\. \((\d+),", out)
    body = re.search(rb"Cannot open the body incremental file (.*)\. \((\d+),", out)
    assert header and body, text(out)
    assert header.group(1) == win_path(img / "Job_0001.TAV.tmp").encode()
    assert body.group(1) == win_path(img / "Job_0001.TAV").encode()
    assert (int(header.group(2)), int(body.group(2))) == (5, 2), text(out)
