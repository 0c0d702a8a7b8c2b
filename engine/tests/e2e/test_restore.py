"""OrvaImage x: round trips of real trees, and damaged images."""
import os
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
END = b"[End of Orvanta Imaging Process Log File]"
HIDDEN = 0x2


def capture(image, src, *args):
    done = run_program("OrvaImage.exe", "a", win_path(image), win_path(src), *args)
    assert done.returncode == 0
    return done.stdout


def restore(image, target):
    done = run_program("OrvaImage.exe", "x", win_path(image), "-o" + win_path(target))
    assert done.returncode == 0
    assert done.stdout.endswith(END)
    return done.stdout


def tree(root, skip=()):
    """Relative path -> (kind, content, mtime in 100 ns, inode, mode) of a Linux tree."""
    out = {}
    for dirpath, dirnames, filenames in os.walk(root):
        for name in dirnames + filenames:
            p = Path(dirpath, name)
            if str(p.relative_to(root)) in skip:
                continue
            try:
                st = os.stat(p)
            except OSError:
                continue  # a dangling link
            rel = str(p.relative_to(root))
            if not (stat.S_ISDIR(st.st_mode) or stat.S_ISREG(st.st_mode)):
                continue  # pipes and sockets are no files to restore
            kind = "dir" if stat.S_ISDIR(st.st_mode) else "file"
            content = p.read_bytes() if kind == "file" else None
            out[rel] = (kind, content, st.st_mtime_ns // 100, st.st_ino, st.st_mode)
    return out


def dos_attributes(path):
    try:
        return int(os.getxattr(path, "user.DOSATTRIB").split(b"\0")[0], 16)
    except OSError:
        return 0


def test_round_trip_of_the_rich_tree(tmp_path):
    src = tmp_path / "src"
    rich = tree_tools.make_rich_tree(src)
    (src / "Data" / "read only.txt").write_bytes(b"do not touch\n")
    os.chmod(src / "Data" / "read only.txt", 0o444)
    (src / "Data" / "hidden.txt").write_bytes(b"not shown\n")
    os.setxattr(src / "Data" / "hidden.txt", "user.DOSATTRIB", b"0x2")
    image = tmp_path / "img" / "Rich.TAV"
    capture(image, src, "-mx1")

    out = restore(image, tmp_path / "restored")
    assert ERRORS not in out and FATAL not in out, out.decode("cp949", "replace")[-2000:]
    assert OK in out

    unreadable = {r.lstrip("\\").replace("\\", "/") for r in rich["unreadable"]}
    expected = tree(src, skip=unreadable)
    got = tree(tmp_path / "restored")
    assert sorted(got) == sorted(expected)
    for rel, (kind, content, mtime, _, mode) in expected.items():
        g = got[rel]
        assert g[0] == kind, rel
        assert g[1] == content, rel
        assert g[2] == mtime, rel
        if kind == "file":
            assert bool(g[4] & stat.S_IWUSR) == bool(mode & stat.S_IWUSR), rel
    assert dos_attributes(tmp_path / "restored" / "Data" / "hidden.txt") & HIDDEN
    # The names of one file are one file again.
    for group in rich["link_groups"]:
        inodes = {got[rel.lstrip("\\").replace("\\", "/")][3] for rel in group}
        assert len(inodes) == 1, group
    assert (tmp_path / "restored" / rich["long_path"].lstrip("\\").replace("\\", "/")).read_bytes() == b"far away\n"


def test_existing_target_and_drive_root(tmp_path):
    src = tmp_path / "src"
    src.mkdir()
    (src / "a.txt").write_text("a")
    image = tmp_path / "i.TAV"
    capture(image, src)
    target = tmp_path / "exists"
    target.mkdir()
    out = restore(image, target)
    assert b" Target folder already exists.\r\n" in out
    assert ERRORS in out
    assert list(target.iterdir()) == []


def test_restore_into_a_drive_root(tmp_path):
    src = tmp_path / "src"
    (src / "sub").mkdir(parents=True)
    (src / "a.txt").write_bytes(b"at the root\n")
    (src / "sub" / "b.txt").write_bytes(b"below\n")
    image = tmp_path / "i.TAV"
    capture(image, src)
    # A drive of its own, mapped to an empty folder.
    root = tmp_path / "root"
    root.mkdir()
    drive = Path(os.environ.get("WINEPREFIX", str(Path.home() / ".wine"))) / "dosdevices" / "q:"
    assert not drive.exists() and not drive.is_symlink(), drive
    drive.symlink_to(root)
    try:
        done = run_program("OrvaImage.exe", "x", win_path(image), "-oQ:")
    finally:
        drive.unlink()
    out = done.stdout
    assert out.endswith(END)
    assert OK in out, out.decode("cp949", "replace")[-1500:]
    assert b"Target folder already exists" not in out
    assert (root / "a.txt").read_bytes() == b"at the root\n"
    assert (root / "sub" / "b.txt").read_bytes() == b"below\n"
    assert sorted(p.name for p in root.iterdir()) == ["a.txt", "sub"]


# Damaged images: each made from a good one; the run never crashes and
# tells the damage by its verdict.

def _good_image(tmp_path):
    src = tmp_path / "src"
    (src / "dir").mkdir(parents=True)
    (src / "dir" / "one.txt").write_bytes(b"1" * 70000)
    (src / "two.txt").write_bytes(b"2" * 1000)
    os.link(src / "two.txt", src / "dir" / "link.txt")
    image = tmp_path / "good.TAV"
    capture(image, src, "-mx1")
    return image, tav_reader.read_image(image)


def _entry(img, name):
    return next(e for e in img["entries"] if e.get("name") == name)


def _hard_link(img):
    return next(e for e in img["entries"] if e.get("kind") == tav_reader.KIND_HARD_LINK)


def _name_at(data, img, entry, new_name):
    at = img["table_start"] + entry["offset"] + 1 + 4 + 44
    raw = new_name.encode("utf-16-le").ljust(520, b"\0")
    return data[:at] + raw + data[at + 520:]


def _damage(kind, data, img):
    table = img["table_start"]
    if kind == "zero prologue":
        return data[:4] + bytes(16) + data[20:], FATAL
    if kind == "cut body":
        return data[:table // 2], FATAL
    if kind == "huge string count":
        at = table + _hard_link(img)["offset"] + 1 + 600
        return data[:at] + struct.pack("<i", 0x7FFFFFFF) + data[at + 4:], FATAL
    if kind == "bad reference index":
        e = _entry(img, "one.txt")
        at = table + e["offset"]
        ref = b"\x01" + struct.pack("<iqqqq", 7, 0, 601, 20, 10)
        return data[:at] + ref + data[at + e["length"]:], FATAL
    if kind == "traversal name":
        return _name_at(data, img, _entry(img, "one.txt"), ".."), ERRORS
    if kind == "dot-dot hard link":
        at = table + _hard_link(img)["offset"] + 1 + 600
        count = struct.unpack_from("<i", data, at)[0]
        evil = "\\..\\..\\x".ljust(count, "x")[:count]
        return data[:at + 4] + evil.encode("utf-16-le") + data[at + 4 + 2 * count:], ERRORS
    if kind == "depth jump":
        e = next(e for e in img["entries"] if e.get("depth") == 1)
        at = table + e["offset"] + 1
        return data[:at] + struct.pack("<i", 5) + data[at + 4:], ERRORS
    if kind == "folder at the greatest depth":
        e = _entry(img, "dir")
        at = table + e["offset"] + 1
        return data[:at] + struct.pack("<i", 2147483647) + data[at + 4:], ERRORS
    if kind == "inflate error in the first block":
        return data[:22] + bytes(b ^ 0xFF for b in data[22:40]) + data[40:], ERRORS
    raise AssertionError(kind)


@pytest.mark.parametrize("kind", ["zero prologue", "cut body", "huge string count", "bad reference index",
                                  "traversal name", "dot-dot hard link", "depth jump",
                                  "folder at the greatest depth", "inflate error in the first block"])
def test_damaged_images(tmp_path, kind):
    image, img = _good_image(tmp_path)
    bad, verdict = _damage(kind, image.read_bytes(), img)
    broken = tmp_path / "broken.TAV"
    broken.write_bytes(bad)
    out = restore(broken, tmp_path / "out")
    if verdict == ERRORS:  # a failed hard link also counts its security as a warning
        assert b"however there were some" in out and FATAL not in out, out.decode("cp949", "replace")[-1500:]
    else:
        assert verdict in out, out.decode("cp949", "replace")[-1500:]
    assert OK not in out
    if kind == "folder at the greatest depth":
        # The folder is reported, and no entry after it is lost: each is
        # restored where it stands, or reported and listed.
        assert b"  Header file may be collapsed. (current level = 0, header level = 2147483647)\r\n" in out
        assert not (tmp_path / "out" / "dir").exists()
        names = [e.get("name") for e in img["entries"]]
        after = img["entries"][names.index("dir") + 1:]
        assert after
        for e in after:
            path = tmp_path / "out" / e["name"]
            if e["depth"] == 0 and e["kind"] != tav_reader.KIND_HARD_LINK:
                assert path.exists(), e["name"]
            else:  # out of its folder, or a link to a name in it
                assert win_path(path).encode() in out, e["name"]
    # Nothing lands outside the target folder.
    assert sorted(p.name for p in tmp_path.iterdir()) == sorted(
        ["src", "good.TAV", "good.TAV_a.log", "broken.TAV", "broken.TAV_x.log"] +
        (["out"] if (tmp_path / "out").exists() else []))


def _with_type(data, img, image_type):
    """The image with another image type in its header."""
    at = img["header_start"]
    path_units = struct.unpack_from("<i", data, at)[0]
    at += 4 + 2 * path_units + 14
    return data[:at] + bytes([image_type]) + data[at + 1:]


@pytest.mark.parametrize("case", ["no full image", "increment number beyond the list"])
def test_dependent_image_without_its_chain(tmp_path, case):
    image, img = _good_image(tmp_path)
    data = image.read_bytes()
    if case == "no full image":
        dependent = tmp_path / "Job_0001.TAV"
        dependent.write_bytes(_with_type(data, img, 1))
        expected = b"Cannot open the body full backup image file"
    else:
        (tmp_path / "Job.TAV").write_bytes(data)  # a full image with no increments
        dependent = tmp_path / "Job_0002.TAV"
        dependent.write_bytes(_with_type(data, img, 2))
        expected = b"The incremental number is invalid."
    out = restore(dependent, tmp_path / "out")
    assert expected in out
    assert FATAL in out
    assert not (tmp_path / "out").exists()
    # No work file stays: beside the images there is only the run's log.
    images = ["good.TAV", dependent.name] + (["Job.TAV"] if case != "no full image" else [])
    assert sorted(p.name for p in tmp_path.iterdir()) == sorted(
        ["src", "good.TAV_a.log", dependent.name + "_x.log"] + images)
