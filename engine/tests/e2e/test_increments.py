"""OrvaImage u, i, d and w: one history of a changing tree, each image
restored and compared with the tree as it was; refusals that must leave the
image set as it was."""
import os
import shutil
import stat
import struct
from pathlib import Path

import pytest

from conftest import run_program, win_path
import tav_reader
import tree_tools

OK = b"\r\nEverything is Ok.\r\n"
ERRORS = b"\r\nThe imaging process is finished however there were some errors.\r\n"
FATAL = b"\r\nThere were fatal SYSTEM errors in the imaging process.\r\n"
T0 = 1_600_000_000 * 10**9


def engine(*args):
    done = run_program("OrvaImage.exe", *args)
    assert done.returncode == 0
    return done.stdout


def run_ok(*args):
    out = engine(*args)
    assert OK in out, out.decode("cp949", "replace")[-2500:]
    return out


def snapshot(root):
    """Relative path -> (kind, content, last write in 100 ns) of a tree, and
    the groups of names of one file."""
    files, inodes = {}, {}
    for dirpath, dirnames, filenames in os.walk(root):
        for name in dirnames + filenames:
            p = Path(dirpath, name)
            st = os.stat(p)
            rel = str(p.relative_to(root))
            if stat.S_ISDIR(st.st_mode):
                files[rel] = ("dir", None, None)
            else:
                files[rel] = ("file", p.read_bytes(), st.st_mtime_ns // 100)
                inodes.setdefault(st.st_ino, []).append(rel)
    return files, sorted(sorted(g) for g in inodes.values() if len(g) > 1)


def assert_restores(image, src, target, linked=()):
    """x of image gives the tree src holds now; the names of each group in
    linked are one file again."""
    out = run_ok("x", win_path(image), "-o" + win_path(target))
    want, _ = snapshot(src)
    got, _ = snapshot(target)
    assert sorted(got) == sorted(want)
    for rel, (kind, content, mtime) in want.items():
        assert got[rel] == (kind, content, mtime), rel
    for group in linked:
        assert len({os.stat(target / rel).st_ino for rel in group}) == 1, group
    return out


def header_of(image):
    return tav_reader.read_image(image)["header"]


def check_chain(image, members):
    """Every reference of image names a whole entry of its chain."""
    read = {i: tav_reader.read_image(m) for i, m in enumerate(members)}
    img = tav_reader.read_image(image)
    resolved = tav_reader.resolve_references(img, read)
    assert img["header"]["image_size"] == img["file_length"]
    return img, resolved


def write(path, content, when):
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(content)
    os.utime(path, ns=(when, when))


def make_tree(src):
    big = os.urandom(300_000)
    layout = {
        "keep.txt": b"kept\n", "touch.txt": b"before\n", "delete_me.txt": b"gone soon\n",
        "Case.txt": b"letters\n", "becomes_dir": b"a file for now\n",
        "Old Folder/inner.txt": b"inner\n", "Old Folder/Sub/deep.txt": b"deep\n",
        "Data/big.bin": big, "Data/first.txt": b"one file, three names\n",
        "Nested/A/B/c.txt": b"c\n", "Other/plain.txt": b"plain\n",
        "한글 폴더/한글 문서.txt": "한글\n".encode("utf-8"), "100% done.txt": b"%s%d\n",
    }
    for i, (rel, content) in enumerate(sorted(layout.items())):
        write(src / rel, content, T0 + i * 10**9)
    os.link(src / "Data/first.txt", src / "Data/second.txt")
    os.link(src / "Data/first.txt", src / "Other/third.txt")


def test_history_of_a_changing_tree(tmp_path):
    src, img = tmp_path / "src", tmp_path / "이미지"
    make_tree(src)
    full = img / "Job.TAV"
    inc = lambda n: img / f"Job_{n:04d}.TAV"
    when = T0 + 10**12
    run_ok("a", win_path(full), win_path(src), "-mx1")
    assert header_of(full)["increments"] == []

    # 1st incremental: every kind of change.
    write(src / "touch.txt", b"after\n", when)
    write(src / "added.txt", b"added\n", when)
    write(src / "한글 폴더/새 문서 %s.txt", b"new\n", when)
    (src / "delete_me.txt").unlink()
    (src / "Case.txt").rename(src / "case.txt")
    write(src / "New Folder/x.txt", b"x\n", when)
    write(src / "New Folder/Sub/y.txt", b"y\n", when)
    shutil.rmtree(src / "Old Folder")
    (src / "becomes_dir").unlink()
    write(src / "becomes_dir/now inside.txt", b"inside\n", when)
    (src / "Data/first.txt").unlink()          # the first name of a link group goes
    os.link(src / "keep.txt", src / "Nested/A/link to keep.txt")
    out = run_ok("i", win_path(full), win_path(src), "-mx1")
    assert b"New  Obj. : case.txt" in out and b"Upd. file : touch.txt" in out
    assert header_of(full)["increments"] == [win_path(inc(1))]
    _, resolved = check_chain(inc(1), [full])
    assert header_of(inc(1))["image_type"] == 2
    big = [t for t, _ in resolved if t.get("name") == "big.bin"]
    assert big and tav_reader.read_image(inc(1))["prologue"]["header_offset"] < 100_000  # big.bin stays behind
    assert_restores(inc(1), src, tmp_path / "x1", linked=[["Data/second.txt", "Other/third.txt"]])

    # 2nd incremental: a new name for a group, changes deep in carried folders.
    write(src / "New Folder/x.txt", b"x again\n", when + 10**9)
    write(src / "Nested/A/B/c.txt", b"c changed\n", when + 10**9)
    (src / "added.txt").unlink()
    os.link(src / "Data/second.txt", src / "Other/fourth.txt")
    run_ok("i", win_path(full), win_path(src))
    assert header_of(full)["increments"] == [win_path(inc(1)), win_path(inc(2))]
    check_chain(inc(2), [full, inc(1)])
    group = ["Data/second.txt", "Other/fourth.txt", "Other/third.txt"]
    assert_restores(inc(2), src, tmp_path / "x2", linked=[group])
    # The first increment still restores as it was.
    run_ok("x", win_path(inc(1)), "-o" + win_path(tmp_path / "x1 again"))
    assert snapshot(tmp_path / "x1 again") == snapshot(tmp_path / "x1")
    second = next(e for e in tav_reader.read_image(inc(2))["entries"] if e.get("name") == "fourth.txt")
    assert second["kind"] == tav_reader.KIND_HARD_LINK

    # Differential: against the full image alone.
    write(src / "d new.txt", b"differential\n", when + 2 * 10**9)
    write(src / "keep.txt", b"kept, changed\n", when + 2 * 10**9)
    run_ok("d", win_path(full), win_path(src))
    assert header_of(full)["increments"] == [win_path(inc(n)) for n in (1, 2, 3)]
    d_img, _ = check_chain(inc(3), [full])
    assert d_img["header"]["image_type"] == 3
    assert {e["prefix"].get("image_index", 0) for e in d_img["entries"]} == {0}
    assert_restores(inc(3), src, tmp_path / "x3", linked=[group, ["Nested/A/link to keep.txt", "keep.txt"]])

    # An incremental after the differential: the chain holds all four images.
    write(src / "after d.txt", b"after the differential\n", when + 2 * 10**9)
    run_ok("i", win_path(full), win_path(src))
    assert header_of(full)["increments"] == [win_path(inc(n)) for n in (1, 2, 3, 4)]
    check_chain(inc(4), [full, inc(1), inc(2), inc(3)])
    assert_restores(inc(4), src, tmp_path / "x3 i", linked=[group])

    # Update: the list holds the new update image alone.
    write(src / "u new.txt", b"update\n", when + 3 * 10**9)
    run_ok("u", win_path(full), win_path(src))
    assert header_of(full)["increments"] == [win_path(inc(1))]
    u_img, _ = check_chain(inc(1), [full])
    assert u_img["header"]["image_type"] == 1
    assert not list(img.glob("*.new")) and not list(img.glob("*.tmp"))
    assert_restores(inc(1), src, tmp_path / "x4", linked=[group])
    before = full.read_bytes()
    assert tav_reader.read_image(full)["header"]["image_size"] == len(before)

    # Differential update: a new full image, its list empty.
    write(src / "touch.txt", b"after, again\n", when + 4 * 10**9)
    write(src / "w new.txt", b"whole again\n", when + 4 * 10**9)
    run_ok("w", win_path(full), win_path(src))
    w_img = tav_reader.read_image(full)
    assert w_img["header"]["image_type"] == 0 and w_img["header"]["increments"] == []
    assert w_img["header"]["image_size"] == w_img["file_length"]
    assert not list(img.glob("*.new")) and not list(img.glob("*.tmp"))
    dirs = {"\\" + str(p.relative_to(src)).replace("/", "\\") for p in src.rglob("*") if p.is_dir()}
    tree_tools.compare_image_to_tree(full, src, changed=dirs)
    assert_restores(full, src, tmp_path / "x5", linked=[group, ["Nested/A/link to keep.txt", "keep.txt"]])

    # An incremental of the unchanged tree holds references alone, no data.
    run_ok("i", win_path(full), win_path(src))
    quiet = tav_reader.read_image(inc(1))
    assert quiet["prologue"]["header_offset"] == 0
    assert all(e["prefix"]["flag"] == 1 for e in quiet["entries"])
    assert_restores(inc(1), src, tmp_path / "x6", linked=[group])


def _with_version(path, version):
    data = bytearray(path.read_bytes())
    data[0:4] = struct.pack("<i", version)
    path.write_bytes(bytes(data))


# case -> (damage, what the i run says, whether u, d and w refuse too: they
# read the full image alone).
REFUSALS = {
    "format 3000": (lambda t: _with_version(t["full"], 3000),
                    b"Cannot apply incremental backup for the image.\r\nBuild a new full backup image", True),
    "unfinished member": (lambda t: t["inc1"].write_bytes(t["inc1"].read_bytes()[:4] + bytes(16) +
                                                            t["inc1"].read_bytes()[20:]),
                          b"of the increment chain is damaged", False),
    "damaged member table": (lambda t: t["inc1"].write_bytes(_huge_count(t["inc1"])),
                             b"of the increment chain is damaged", False),
    "missing member": (lambda t: t["inc1"].unlink(), b"Cannot open the body incremental file", False),
    "unreadable source": (lambda t: shutil.rmtree(t["src"]), b"is not a folder or a drive that can be read", True),
    "increment as full image": (lambda t: t.update(full=t["inc1"]), b"is not a full backup image", True),
}


def _huge_count(path):
    """The image with the security string count of a file entry made huge."""
    data = bytearray(path.read_bytes())
    img = tav_reader.read_image(path)
    e = next(e for e in img["entries"] if e["prefix"]["flag"] == 0 and e["kind"] == tav_reader.KIND_FILE)
    at = img["table_start"] + e["offset"] + 1 + 600
    data[at:at + 4] = struct.pack("<i", 0x7FFFFFF0)
    return bytes(data)


@pytest.mark.parametrize("case", sorted(REFUSALS))
def test_refusals_leave_the_image_set_alone(tmp_path, case):
    src, img = tmp_path / "src", tmp_path / "img"
    write(src / "a.txt", b"a\n", T0)
    write(src / "d/b.txt", b"b\n", T0)
    full = img / "Job.TAV"
    run_ok("a", win_path(full), win_path(src))
    write(src / "c.txt", b"c\n", T0 + 10**9)
    run_ok("i", win_path(full), win_path(src))
    t = {"full": full, "inc1": img / "Job_0001.TAV", "src": src}
    damage, message, every_command = REFUSALS[case]
    damage(t)
    kept = lambda: {p.name: p.read_bytes() for p in img.iterdir() if not p.name.endswith(".log")}
    before = kept()
    for command in ("i", "u", "d", "w") if every_command else ("i",):
        out = engine(command, win_path(t["full"]), win_path(src))
        assert FATAL in out and OK not in out, out.decode("cp949", "replace")[-1500:]
        if command == "i":
            assert message in out, out.decode("cp949", "replace")[-1500:]
        assert kept() == before, command


def test_objects_that_cannot_be_read_leave_the_table_in_step(tmp_path):
    src, img = tmp_path / "src", tmp_path / "img"
    write(src / "a.txt", b"a\n", T0)
    write(src / "changes.txt", b"before\n", T0)
    write(src / "locked.txt", b"readable once\n", T0)
    full = img / "Job.TAV"
    run_ok("a", win_path(full), win_path(src))
    # Open, but their first read fails: nothing of them may reach the image.
    os.symlink("/proc/self/mem", src / "memory")
    (src / "locked.txt").unlink()
    os.symlink("/proc/self/mem", src / "locked.txt")  # changed, and no longer readable
    write(src / "changes.txt", b"after\n", T0 + 10**9)
    write(src / "zz after.txt", b"later\n", T0)
    out = engine("i", win_path(full), win_path(src))
    assert ERRORS in out and FATAL not in out, out.decode("cp949", "replace")[-1500:]
    # The archiver's own text, and its result (5: the read failed) as the reason.
    assert b"Upd. file : locked.txt\r\n" in out and b"Cncl Obj. : (05/10) locked.txt\r\n" in out
    assert b"New  Obj. : memory\r\n" in out and b"Cncl Obj. : (05/10) memory\r\n" in out
    log = (img / "Job.TAV_i.log").read_bytes()
    for name in ("locked.txt", "memory"):
        path = win_path(src / name).encode()
        assert b"  Archiving error : Fail to read the file " + path + b" (Error code : " in log, name
        assert b"  " + path + b"\r\n        Read error.\r\n" in log, name  # in the skipped file list
        assert b"  Archiving error : Failed to read the file" not in log  # the walker's wording
    inc = img / "Job_0001.TAV"
    names = [t.get("name") for t, _ in check_chain(inc, [full])[1]]
    assert sorted(names) == ["a.txt", "changes.txt", "zz after.txt"]
    (src / "memory").unlink()
    (src / "locked.txt").unlink()
    assert_restores(inc, src, tmp_path / "x")


def _with_stored_name(data, name):
    """The image bytes with another image name in their image header."""
    at = tav_reader.read_prologue(data)
    at = tav_reader.PROLOGUE_SIZE + at["header_offset"] + at["header_length"]
    units = struct.unpack_from("<i", data, at)[0]
    return data[:at] + struct.pack("<i", len(name)) + name.encode("utf-16-le") + data[at + 4 + 2 * units:]


@pytest.mark.parametrize("stored", ["../evil.TAV", "sub\\..", "C:evil.TAV"])
def test_a_stored_image_name_that_is_a_path_is_refused(tmp_path, stored):
    src, img = tmp_path / "src", tmp_path / "img"
    write(src / "a.txt", b"a\n", T0)
    full = img / "Job.TAV"
    run_ok("a", win_path(full), win_path(src))
    write(src / "b.txt", b"b\n", T0)
    run_ok("i", win_path(full), win_path(src))
    good = full.read_bytes()
    full.write_bytes(_with_stored_name(good, stored))
    # Where the name would lead: a whole full image outside the image folder.
    (tmp_path / "evil.TAV").write_bytes(good)
    files = lambda: {str(p.relative_to(tmp_path)): p.read_bytes() for p in tmp_path.rglob("*")
                     if p.is_file() and not p.name.endswith(".log")}
    before = files()
    for command in ("u", "i", "d", "w"):
        out = engine(command, win_path(full), win_path(src))
        assert FATAL in out and OK not in out, out.decode("cp949", "replace")[-1500:]
        assert b"The image name stored in the image" in out, command
        assert files() == before, command
    # The extraction of an increment reads its chain through the same name.
    out = engine("x", win_path(img / "Job_0001.TAV"), "-o" + win_path(tmp_path / "out"))
    assert FATAL in out and b"is not a file name" in out, out.decode("cp949", "replace")[-1500:]
    assert not (tmp_path / "out").exists()
    assert files() == before


def test_a_failed_run_leaves_the_chain_alone(tmp_path, small_disk):
    src, img = tmp_path / "src", small_disk
    write(src / "a.txt", b"a\n", T0)
    full = img / "Job.TAV"
    run_ok("a", win_path(full), win_path(src))
    run_ok("u", win_path(full), win_path(src))
    before = {p.name: p.read_bytes() for p in img.iterdir() if not p.name.endswith(".log")}
    write(src / "random.bin", os.urandom(3 * 1024 * 1024), T0)
    for command in ("u", "i", "d", "w"):
        out = engine(command, win_path(full), win_path(src), "-mx0")
        assert FATAL in out and OK not in out, out.decode("cp949", "replace")[-1500:]
        # The failed write's own error: the disk is full.
        assert b"(Error code : 112, " in out and b"(Error code : 0, " not in out, command
        assert {p.name: p.read_bytes() for p in img.iterdir() if not p.name.endswith(".log")} == before, command


def test_an_update_never_replaces_the_image_it_depends_on(tmp_path):
    src, img = tmp_path / "src", tmp_path / "img"
    write(src / "a.txt", b"a\n", T0)
    run_ok("a", win_path(img / "Job.TAV"), win_path(src))
    # The full image renamed to the name its update image would take.
    full = img / "Job_0001.TAV"
    (img / "Job.TAV").rename(full)
    before = full.read_bytes()
    out = engine("u", win_path(full), win_path(src))
    assert FATAL in out and b"already names it" in out, out.decode("cp949", "replace")[-1500:]
    assert full.read_bytes() == before
    assert sorted(p.name for p in img.iterdir() if not p.name.endswith(".log")) == ["Job_0001.TAV"]
