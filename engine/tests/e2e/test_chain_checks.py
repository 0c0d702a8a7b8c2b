"""Increment chains that are not what they seem: a reference whose data
offset points at another file's stream, or that leads to an entry other
than the one it records, members swapped or taken from another chain. None
of them may restore with "Everything is Ok."; a chain moved to another
folder, and files that grew while they were captured, restore cleanly."""
import os
import re
import shutil
import struct
import time

import pytest

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


@pytest.fixture(scope="module")
def chains(tmp_path_factory):
    """Two chains (a, i, i, i and a, i, i) of trees with the same names,
    sizes and times and other bytes; the second one made later. Each test
    works on copies."""
    root = tmp_path_factory.mktemp("chains")
    made = {}
    for name, steps in (("one", ["c.bin", "d.bin", "e.txt"]), ("two", ["c.bin", "d.bin"])):
        src = root / ("src_" + name)
        make_tree(src)
        made[name] = {"src": src, "img": root / name, "states": build_chain(src, root / name, steps)}
        time.sleep(1.1)  # image start times are in whole seconds
    return made


def copy_of(chain, to):
    shutil.copytree(chain["img"], to)
    return to


def swap(a, b):
    spare = a.with_name("spare")
    a.rename(spare)
    b.rename(a)
    spare.rename(b)


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


def test_a_reference_to_another_files_stream_is_an_error(chains, tmp_path):
    one = chains["one"]
    img = copy_of(one, tmp_path / "img")
    full = tav_reader.read_image(img / "Job.TAV")
    small_at, small_length = stream_of(full, "a_small.txt")
    big_at, big_length = stream_of(full, "b_big.bin")
    assert small_length < big_length
    # The reference's data offset (after the flag, the index, the entry's
    # offset and length) moved onto the small file's stream.
    inc_path = img / "Job_0003.TAV"
    at = reference_to(full, tav_reader.read_image(inc_path), "b_big.bin") + 1 + 4 + 8 + 8
    data = bytearray(inc_path.read_bytes())
    assert struct.unpack_from("<q", data, at)[0] == big_at
    struct.pack_into("<q", data, at, small_at)
    inc_path.write_bytes(bytes(data))
    # The next increment copies the reference as it is, unread.
    engine_ok("i", win_path(img / "Job.TAV"), win_path(one["src"]))
    for k, name in enumerate(["Job_0003.TAV", "Job_0004.TAV"]):
        out, got = extract(img / name, tmp_path / f"x{k}")
        assert verdict(out) == ERRORS, text(out)
        assert b"b_big.bin ends before its stored data" in out
        assert {k: v for k, v in one["states"][3].items() if k != "b_big.bin"} == got


def test_swapped_members_are_named(chains, tmp_path):
    one = chains["one"]
    img = copy_of(one, tmp_path / "img")
    first, second, third = (img / f"Job_000{k}.TAV" for k in (1, 2, 3))
    swap(first, second)
    out, _ = extract(second, tmp_path / "x")
    assert verdict(out) == WARNINGS, text(out)
    assert f"The image {win_path(second)} holds the image Job_0001.TAV".encode() in out, text(out)
    assert f"The image {win_path(first)} holds the image Job_0002.TAV".encode() in out
    # Members 2 and 3 swapped: the run that reads them warns in the same
    # words and still writes its increment.
    swap(first, second)
    swap(second, third)
    out = engine("i", win_path(img / "Job.TAV"), win_path(one["src"]))
    assert verdict(out) == WARNINGS, text(out)
    assert b"holds the image Job_0003.TAV: it does not belong" in out
    assert (img / "Job_0004.TAV").exists()


def test_a_member_of_another_chain_is_named(chains, tmp_path):
    one, two = chains["one"], chains["two"]
    assert one["states"][0] != two["states"][0]
    assert {k: len(v) for k, v in one["states"][0].items()} == {k: len(v) for k, v in two["states"][0].items()}
    img = copy_of(one, tmp_path / "img")
    shutil.copyfile(two["img"] / "Job_0001.TAV", img / "Job_0001.TAV")
    out, got = extract(img / "Job_0002.TAV", tmp_path / "x")
    assert verdict(out) == WARNINGS, text(out)
    assert f"The image {win_path(img / 'Job_0001.TAV')} was started later than the image " \
           f"{win_path(img / 'Job_0002.TAV')} that follows it".encode() in out, text(out)
    assert got != one["states"][2]  # restored on, a mix, but not taken for the real tree
    out = engine("i", win_path(img / "Job.TAV"), win_path(one["src"]))
    assert verdict(out) == WARNINGS and b"was started later than the image" in out, text(out)


def test_a_moved_chain_and_grown_files_restore_cleanly(chains, tmp_path):
    one = chains["one"]
    moved = copy_of(one, tmp_path / "elsewhere" / "backups")
    # Files that grew while they were captured: their size fields hold less
    # than their streams. (The record's size: after the prefix byte, the
    # depth, the attributes and three times come its high and low words.)
    full_path = moved / "Job.TAV"
    full = tav_reader.read_image(full_path)
    data = bytearray(full_path.read_bytes())
    for e in full["entries"]:
        if e.get("name") in ("b_big.bin", "e.txt"):
            at = full["table_start"] + e["offset"] + 1 + 4 + 4 + 24 + 4
            assert struct.unpack_from("<I", data, at)[0] == SIZES[e["name"]]
            struct.pack_into("<I", data, at, SIZES[e["name"]] // 2)
    full_path.write_bytes(bytes(data))
    for k, name in ((0, "Job.TAV"), (3, "Job_0003.TAV")):
        out, got = extract(moved / name, tmp_path / f"x{k}")
        assert verdict(out) == OK, text(out)
        assert got == one["states"][k]
    engine_ok("i", win_path(moved / "Job.TAV"), win_path(one["src"]))


def test_each_chain_member_open_shows_its_own_error(chains, tmp_path):
    img = copy_of(chains["one"], tmp_path / "img")
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


THIRTY = [f"f{i:02d}.bin" for i in range(30)]
# A file of the full image that the second increment reaches only through
# a reference.
UNCHANGED = "f10.bin"


@pytest.fixture(scope="module")
def thirty(tmp_path_factory):
    """The chain a, i, i of a tree of thirty files at -mx6; the increments
    change f01.bin and f02.bin. Each test works on a copy."""
    root = tmp_path_factory.mktemp("thirty")
    src, img = root / "src", root / "img"
    for i, name in enumerate(THIRTY):
        write(src / name, os.urandom(100 + 1500 * i), T0 + i * 10**9)
    engine_ok("a", win_path(img / "Job.TAV"), win_path(src), "-mx6")
    for step, name in enumerate(["f01.bin", "f02.bin"], 1):
        write(src / name, os.urandom(777), T0 + (100 + step) * 10**9)
        engine_ok("i", win_path(img / "Job.TAV"), win_path(src), "-mx6")
    return {"src": src, "img": img, "tree": snapshot(src)}


def sddl_count_at(image, name):
    """Where in the image's file the SDDL unit count of a file entry lies:
    before the text, which the stored length follows."""
    e = next(e for e in image["entries"] if e.get("name") == name)
    assert e["security_state"] == 0 and e["kind"] == tav_reader.KIND_FILE
    units = len(e["security"]["sddl"].encode("utf-16-le")) // 2
    return image["table_start"] + e["offset"] + e["length"] - 8 - 2 * units - 4


@pytest.mark.parametrize("damage", ["none", "SDDL count of the entry", "entry length +1", "entry length -1",
                                    "data length +1", "data length -1"])
def test_a_reference_leads_only_to_the_entry_it_records(thirty, tmp_path, damage):
    img = copy_of(thirty, tmp_path / "img")
    full_path, last = img / "Job.TAV", img / "Job_0002.TAV"
    full = tav_reader.read_image(full_path)
    reference = reference_to(full, tav_reader.read_image(last), UNCHANGED)
    if damage.startswith("SDDL"):
        data = bytearray(full_path.read_bytes())
        data[sddl_count_at(full, UNCHANGED)] ^= 0xFF  # the count's low byte
        full_path.write_bytes(bytes(data))
    elif damage != "none":
        # The reference's recorded lengths: after the flag, the index and
        # the entry's offset come the entry's length, then the data's
        # offset and length.
        what, delta = damage.split(" length ")
        at = reference + 1 + 4 + 8 + (16 if what == "data" else 0)
        data = bytearray(last.read_bytes())
        struct.pack_into("<q", data, at, struct.unpack_from("<q", data, at)[0] + int(delta))
        last.write_bytes(bytes(data))
    out, got = extract(last, tmp_path / "x")
    if damage == "none":
        assert verdict(out) == OK, text(out)
        assert got == thirty["tree"]
        return
    assert verdict(out) == ERRORS, text(out)
    said = f"  The entry of {win_path(tmp_path / 'x' / UNCHANGED)} in the image {win_path(full_path)} " \
           "is not the one its reference records: skipped.\r\n"
    assert said.encode() in out, text(out)
    assert got == {k: v for k, v in thirty["tree"].items() if k != UNCHANGED}
    if damage.startswith("SDDL"):
        # The full image reads its own damaged table inline.
        out, _ = extract(full_path, tmp_path / "x0")
        assert verdict(out) == FATAL, text(out)
    if damage.startswith(("SDDL", "entry length +")):
        # An increment on top reads the chain the same way, and refuses it.
        out = engine("i", win_path(full_path), win_path(thirty["src"]), "-mx6")
        assert verdict(out) == FATAL, text(out)
        assert b"refers to an entry that is not the one it records" in out, text(out)
        assert not (img / "Job_0003.TAV").exists()
