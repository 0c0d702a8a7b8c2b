"""Test trees for the capture tests and a comparer of an image with a tree.

The comparer reads the image with tav_reader and the tree with os.stat;
it shares nothing with the engine.  Relative paths are written the way the
engine stores them in hard-link trailers: a backslash before every name
("\\Data\\Sub\\a.txt").
"""

import os
import random
import socket
import stat
from pathlib import Path

import tav_reader

FILETIME_1970 = 11644473600 * 10**7
ATTR_DIRECTORY = 0x10
ATTR_REPARSE_POINT = 0x400


def filetime_of(st):
    """FILETIME of a stat result's last write time (100 ns units)."""
    return st.st_mtime_ns // 100 + FILETIME_1970


def linux_path(root, rel):
    return Path(root, *rel.split('\\')[1:])


def child(rel, name):
    return rel + '\\' + name


def build_tree(root, layout):
    """Makes the folders (value None) and files (value bytes) of layout."""
    root = Path(root)
    root.mkdir(parents=True, exist_ok=True)
    for rel, content in layout.items():
        path = linux_path(root, rel)
        if content is None:
            path.mkdir(parents=True, exist_ok=True)
        else:
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_bytes(content)
    return root


def _big_data(size):
    """Half noise, half text of a small alphabet: zlib has real work."""
    rnd = random.Random(20240601)
    noise = rnd.randbytes(size // 2)
    letters = bytes.maketrans(bytes(range(256)), b'etaoin shrdlu\n.,' * 16)
    return noise + rnd.randbytes(size - size // 2).translate(letters)


def _make_socket(path):
    # A socket's path must be short: bind in its own folder.
    here = os.getcwd()
    os.chdir(path.parent)
    try:
        with socket.socket(socket.AF_UNIX) as s:
            s.bind(path.name)
    finally:
        os.chdir(here)


def make_rich_tree(root, unreadable=False):
    """Builds the tree the full capture tests image; returns its description.

    files: relative path -> content (every name, links included);
    dirs: relative paths of the folders; link_groups: names of one file;
    unreadable: relative path -> why no program under Wine can read it
    (made only on request: a FIFO, a socket and a link to /proc/self/mem,
    which stop or fail native readers of the tree too);
    identity_failures: those whose file identity cannot be read;
    security_warnings: those whose security cannot be read either.
    """
    root = Path(root)
    long_dir = '\\Long\\' + '\\'.join(c * 100 for c in 'abc')
    layout = {
        '\\Data': None,
        '\\Data\\Sub\\Deep\\deepest.txt': b'three levels down\n',
        '\\Data\\Sub\\sub.txt': b'sub\n' * 100,
        '\\Data\\big.bin': _big_data(4 * 1024 * 1024),
        '\\Data\\exact64k.bin': bytes(range(256)) * 256,
        '\\Data\\over64k.bin': b'x' * 65536 + b'!',
        '\\Data\\empty.txt': b'',
        '\\Data\\shared.txt': b'one file, three names\n',
        '\\Other\\Nested\\note.txt': b'note\n',
        '\\Other\\empty.dat': b'',
        '\\Empty Folder': None,
        '\\한글 폴더\\한글 문서.txt': '한글 내용\n'.encode('utf-8'),
        '\\100% done.txt': b'100%\n',
        '\\%s%d.txt': b'%s%d%n\n',
        long_dir + '\\long file.txt': b'far away\n',
        '\\Links': None,
        '\\Unreadable': None,
    }
    build_tree(root, layout)
    files = {k: v for k, v in layout.items() if v is not None}

    # Three names of one file in three folders.
    shared = files['\\Data\\shared.txt']
    for rel in ('\\Other\\shared link.txt',
                '\\Other\\Nested\\shared again.txt'):
        os.link(linux_path(root, '\\Data\\shared.txt'), linux_path(root, rel))
        files[rel] = shared
    # Under Wine a symbolic link to a file is that file: one more name.
    os.symlink('../Data/shared.txt',
               linux_path(root, '\\Links\\to shared.txt'))
    files['\\Links\\to shared.txt'] = shared
    os.symlink('/nowhere/at/all', linux_path(root, '\\Links\\dangling'))

    # Times to the last 100 ns unit, the odd nanoseconds dropped.
    os.utime(linux_path(root, '\\Data\\exact64k.bin'),
             ns=(1_000_000_000_000_000_000, 1_234_567_890_123_456_789))
    os.utime(linux_path(root, '\\%s%d.txt'), ns=(0, 631_152_000_987_654_321))

    # The FIFO lies deep: its message shows a path beyond 260 characters.
    fifo = long_dir + '\\pipe %s.fifo'
    socket_file = '\\Unreadable\\socket.sock'
    special = {
        fifo: 'a FIFO: opens, but Wine cannot tell its file identity',
        socket_file: 'a Unix socket: Wine refuses to open it',
        '\\Unreadable\\process memory':
            'a link to /proc/self/mem: opens, the first read fails',
    }
    if unreadable:
        os.mkfifo(linux_path(root, fifo))
        _make_socket(linux_path(root, socket_file))
        os.symlink('/proc/self/mem',
                   linux_path(root, '\\Unreadable\\process memory'))
    else:
        special, fifo, socket_file = {}, None, None

    dirs = set()
    for rel, content in layout.items():
        parts = rel.split('\\')[1:]
        upto = len(parts) if content is None else len(parts) - 1
        dirs.update('\\' + '\\'.join(parts[:i]) for i in range(1, upto + 1))
    return {
        'root': root, 'files': files, 'dirs': dirs, 'unreadable': special,
        'identity_failures': [p for p in (fifo, socket_file) if p],
        'security_warnings': [socket_file] if socket_file else [],
        'link_groups': [['\\Data\\shared.txt', '\\Other\\shared link.txt',
                         '\\Other\\Nested\\shared again.txt',
                         '\\Links\\to shared.txt']],
        'long_path': long_dir + '\\long file.txt',
    }


def scan_tree(root, skip=()):
    """What a capture of root under Wine should hold.

    Dangling links are not listed under Wine and a link to a folder is a
    reparse point the engine does not follow; both are left out of dirs and
    files (dir_links lists the second).  skip: relative paths left out with
    everything below them."""
    root = Path(root)
    skip = set(skip)
    dirs, files, dir_links = {}, {}, []

    def walk(rel):
        with os.scandir(linux_path(root, rel)) as it:
            for item in it:
                sub = child(rel, item.name)
                if sub in skip:
                    continue
                try:
                    st = os.stat(item.path)
                except OSError:
                    continue
                if stat.S_ISDIR(st.st_mode):
                    if item.is_symlink():
                        dir_links.append(sub)
                    else:
                        dirs[sub] = st
                        walk(sub)
                else:
                    files[sub] = st
    walk('')
    return {'dirs': dirs, 'files': files, 'dir_links': dir_links}


def walk_image(image):
    """(relative path, entry) of every entry, the paths rebuilt from depths."""
    open_dirs, walked, seen = [], [], set()
    for i, e in enumerate(image['entries']):
        if e.get('prefix', {'flag': 0}) != {'flag': 0}:
            raise tav_reader.TavFormatError(f"entry {i} is a reference")
        depth = e['depth']
        if not 0 <= depth <= len(open_dirs):
            raise tav_reader.TavFormatError(
                f"entry {i} ({e['name']!r}) has depth {depth} below "
                f"{len(open_dirs)} open folders")
        del open_dirs[depth:]
        rel = child(open_dirs[-1] if open_dirs else '', e['name'])
        if rel in seen:
            raise tav_reader.TavFormatError(f"{rel} appears twice")
        seen.add(rel)
        if e['kind'] == tav_reader.KIND_DIRECTORY:
            open_dirs.append(rel)
        walked.append((rel, e))
    return walked


def compare_image_to_tree(image_path, root, excluded=(), unreadable=(),
                          changed=()):
    """Checks an image of root against the tree as it lies on disk.

    excluded and unreadable: relative paths that must be missing (folders
    with all they hold); changed: paths whose times moved since the capture.
    Raises AssertionError listing every difference; returns a summary."""
    image = tav_reader.read_image(image_path)
    data = Path(image_path).read_bytes()
    walked = walk_image(image)
    tree = scan_tree(root, set(excluded) | set(unreadable))
    problems = []

    got = {rel for rel, _ in walked}
    want = set(tree['dirs']) | set(tree['files'])
    for rel in sorted(want - got):
        problems.append(f"{rel}: missing from the image")
    for rel in sorted(got - want):
        problems.append(f"{rel}: in the image but not expected")

    first_names = {}  # file identity -> first name in walk order
    for rel, e in walked:
        st = tree['dirs'].get(rel) or tree['files'].get(rel)
        if st is None:
            continue
        is_dir = rel in tree['dirs']
        attrs = e['attributes']
        if (bool(attrs & ATTR_DIRECTORY) != is_dir
                or attrs & ATTR_REPARSE_POINT):
            problems.append(f"{rel}: attributes {attrs:#x}")
        if rel not in changed and e['last_write'] != filetime_of(st):
            problems.append(f"{rel}: last write {e['last_write']}, "
                            f"expected {filetime_of(st)}")
        if is_dir:
            if e['kind'] != tav_reader.KIND_DIRECTORY:
                problems.append(f"{rel}: kind {e['kind']} for a folder")
            continue
        if e['size'] != st.st_size:
            problems.append(f"{rel}: size {e['size']}, expected {st.st_size}")
        # Only a file with more than one name is known as one file again.
        key = (st.st_dev, st.st_ino) if st.st_nlink > 1 else ('single', rel)
        first = first_names.setdefault(key, rel)
        if first == rel and e['kind'] != tav_reader.KIND_FILE:
            problems.append(f"{rel}: first name of its file, kind {e['kind']}")
        elif first != rel and (e['kind'] != tav_reader.KIND_HARD_LINK or
                               e['trailer']['first_name'] != first):
            problems.append(f"{rel}: expected a hard link to {first}, got "
                            f"kind {e['kind']} {e.get('trailer')}")

    names = {id(e): rel for rel, e in walked}
    streams = {}
    for e, offset, length in tav_reader.body_streams(image):
        rel = names[id(e)]
        streams[rel] = (offset, length)
        if rel not in tree['files']:
            continue
        try:
            content = tav_reader.inflate_stream(data, offset, length)
        except tav_reader.TavFormatError as err:
            problems.append(f"{rel}: {err}")
            continue
        if content != linux_path(root, rel).read_bytes():
            problems.append(f"{rel}: data differs ({len(content)} bytes)")

    if problems:
        raise AssertionError(f"image {image_path} differs from {root}:\n  "
                             + '\n  '.join(problems[:60]))
    kinds = [e['kind'] for _, e in walked]
    return {
        'image': image, 'data': data, 'walked': walked, 'streams': streams,
        'dir_links': tree['dir_links'],
        'files': kinds.count(tav_reader.KIND_FILE),
        'hard_links': kinds.count(tav_reader.KIND_HARD_LINK),
        'dirs': kinds.count(tav_reader.KIND_DIRECTORY),
        'bytes': sum(e['size'] for _, e in walked
                     if e['kind'] == tav_reader.KIND_FILE),
    }
