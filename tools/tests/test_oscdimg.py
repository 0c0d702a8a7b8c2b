"""The OSCDIMG stand-in (build/bin/oscdimg.exe) under Wine: an ORVAPE-style
tree with a 2048-byte boot file becomes an ISO 9660 image with Joliet names
and an El Torito no-emulation entry; checked with xorriso and isoinfo and
with a small reader of its own; errors leave no target."""
import datetime
import os
import re
import struct
import subprocess

import pytest

from conftest import ORVA_BIN, cmd, tree, win_path

SECTOR = 2048
BOOT = bytes((i * 7 + 3) % 256 for i in range(SECTOR))
OLD = 1_300_000_000


def media_line(source_parent, iso, boot, extra=''):
    """The media maker's pack line (folder paths with their trailing backslash)."""
    bin_folder = win_path(ORVA_BIN) + '\\'
    return (f'"{bin_folder}\\OSCDIMG.EXE" -m -lOrvanta -b"{win_path(boot)}" -n {extra}'
            f'"{win_path(source_parent)}\\\\ORVAPE" "{win_path(iso)}"')


def write(path, data):
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(data)
    os.utime(path, (OLD, OLD))


@pytest.fixture
def media(tmp_path):
    root = tmp_path / 'ORVAPE'
    write(root / 'bootmgr', b'boot manager stand-in')
    write(root / 'boot' / 'bcd', bytes(range(256)) * 20)
    write(root / 'sources' / 'boot.wim', os.urandom(300_000))
    write(root / 'ORVANTA' / 'Weekly backup of the system volume C 2026-12-10.TAV', os.urandom(70_000))
    write(root / 'ORVANTA' / '주간 백업 이미지.TAV', b'korean image')
    write(root / 'ORVANTA' / 'empty.txt', b'')
    write(root / '.hidden', b'a file that Wine shows hidden')
    write(root / 'long' / ('x' * 100) / ('y' * 95 + '.txt'), b'path past MAX_PATH')
    write(root / 'ORVANTA' / '백업.txt', b'same primary name')
    write(root / 'ORVANTA' / '이미.txt', b'as this one')
    write(root / 'a' / 'b' / 'c' / 'd' / 'e' / 'f' / 'g' / 'h' / 'i' / 'nine levels.txt', b'deep')
    write(root / 'same' / 'one.bin', b'Q' * 5000)
    write(root / 'same' / 'two.bin', b'Q' * 5000)
    (root / 'EFI' / 'empty folder').mkdir(parents=True)
    boot = tmp_path / 'etfsboot.com'
    boot.write_bytes(BOOT)
    return tmp_path, root, boot


def both(data, at, size):
    return int.from_bytes(data[at:at + size], 'little')


def read_iso(path):
    """Volume descriptors, both directory trees (checked against the path
    tables) and the boot catalog of an image."""
    data = path.read_bytes()
    assert len(data) % SECTOR == 0
    result = {'size': len(data)}
    sector = 16
    while True:
        vd = data[sector * SECTOR:(sector + 1) * SECTOR]
        assert vd[1:6] == b'CD001' and vd[6] == 1
        kind = vd[0]
        if kind == 255:
            break
        if kind == 0:
            assert vd[7:30] == b'EL TORITO SPECIFICATION'
            result['catalog'] = struct.unpack_from('<I', vd, 71)[0]
        elif kind in (1, 2):
            wide = kind == 2
            if wide:
                assert vd[88:91] == b'%/E'
            assert both(vd, 80, 4) * SECTOR == len(data)
            assert struct.unpack_from('>I', vd, 84)[0] == both(vd, 80, 4)
            decode = (lambda b: b.decode('utf-16-be')) if wide else (lambda b: b.decode('ascii'))
            result['label' + ('J' if wide else '')] = decode(vd[40:72]).rstrip(' \0')
            files, dirs = {}, {}

            def walk(extent, size, prefix):
                dirs[extent] = prefix
                pos = 0
                body = data[extent * SECTOR:extent * SECTOR + size]
                seen = 0
                while pos < size:
                    length = body[pos]
                    if length == 0:
                        pos = (pos // SECTOR + 1) * SECTOR
                        continue
                    rec = body[pos:pos + length]
                    ident = rec[33:33 + rec[32]]
                    at, n, flags = both(rec, 2, 4), both(rec, 10, 4), rec[25]
                    assert struct.unpack_from('>I', rec, 6)[0] == at and struct.unpack_from('>I', rec, 14)[0] == n
                    seen += 1
                    if seen == 1:
                        assert ident == b'\0' and at == extent
                    elif seen > 2:
                        name = decode(ident)
                        if flags & 2:
                            walk(at, n, prefix + name + '/')
                        else:
                            files[prefix + name] = (at, n, flags)
                            stamp = datetime.datetime(1900 + rec[18], *rec[19:24], tzinfo=datetime.timezone.utc)
                            result.setdefault('times', {})[prefix + name] = stamp.timestamp()
                    pos += length

            root = vd[156:190]
            walk(both(root, 2, 4), both(root, 10, 4), '')
            # The path tables name the same folders, in both byte orders.
            table_size = both(vd, 132, 4)
            for where, order in ((struct.unpack_from('<I', vd, 140)[0], '<'), (struct.unpack_from('>I', vd, 148)[0], '>')):
                table = data[where * SECTOR:where * SECTOR + table_size]
                pos, extents = 0, []
                while pos < table_size:
                    n = table[pos]
                    extent, parent = struct.unpack_from(order + 'IH', table, pos + 2)
                    assert parent <= len(extents) + 1
                    extents.append(extent)
                    pos += 8 + n + n % 2
                assert sorted(extents) == sorted(dirs)
            result['files' + ('J' if wide else '')] = files
            result['dirs' + ('J' if wide else '')] = sorted(dirs.values())
        sector += 1
    catalog = data[result['catalog'] * SECTOR:][:64]
    words = struct.unpack_from('<16H', catalog)
    assert catalog[0] == 1 and catalog[30:32] == b'\x55\xaa' and sum(words) % 65536 == 0
    indicator, media_type, segment, system, count, rba = struct.unpack_from('<BBHBxHI', catalog, 32)
    result['boot'] = dict(bootable=indicator == 0x88, emulation=media_type, segment=segment, count=count,
                          data=data[rba * SECTOR:rba * SECTOR + count * 512])
    result['data'] = data
    return result


def test_media_image(media):
    folder, root, boot = media
    iso = folder / 'BACKUP.ISO'
    code, text = cmd(media_line(folder, iso, boot))
    assert code == 0, text
    assert text.rstrip().endswith('Done.')
    assert 'Scanning source tree complete (13 files in 17 directories)' in text

    image = read_iso(iso)
    files = image['filesJ']
    expected = {k: v for k, v in tree(root).items() if v is not None}
    assert {name[:-2] for name in files} == set(expected)  # Joliet names carry ";1"
    for name, (extent, size, _) in files.items():
        assert image['data'][extent * SECTOR:extent * SECTOR + size] == expected[name[:-2]]
    assert files['.hidden;1'][2] == 1 and files['bootmgr;1'][2] == 0  # the hidden flag
    assert set(image['times'].values()) == {OLD}
    assert 'EFI/empty folder/' in image['dirsJ'] and 'a/b/c/d/e/f/g/h/i/' in image['dirsJ']
    # The primary tree holds the same files under d-character names.
    assert len(image['files']) == len(files)
    assert {'ORVANTA/__.TXT;1', 'ORVANTA/__~1.TXT;1'} <= set(image['files'])
    assert 'ORVANTA/WEEKLY_BACKUP_OF_THE_SYSTEM.TAV;1' in image['files']
    assert all(n.upper() == n for n in image['files'])
    assert image['label'] == 'ORVANTA' and image['labelJ'] == 'Orvanta'
    assert image['boot'] == dict(bootable=True, emulation=0, segment=0, count=4, data=BOOT)

    # Debian's readers agree.
    found = subprocess.run(['xorriso', '-indev', str(iso), '-find', '/', '-type', 'f'],
                           capture_output=True, text=True, check=True).stdout.split('\n')
    assert {line.strip("'")[1:] for line in found if line.startswith("'/")} == set(expected)
    report = subprocess.run(['xorriso', '-indev', str(iso), '-report_el_torito', 'plain'],
                            capture_output=True, text=True, check=True).stdout
    assert any(line.split()[:8] == ['El', 'Torito', 'boot', 'img', ':', '1', 'BIOS', 'y'] and 'none' in line
               for line in report.splitlines()), report
    info = subprocess.run(['isoinfo', '-d', '-i', str(iso)], capture_output=True, text=True, check=True).stdout
    assert 'Volume id: ORVANTA' in info and 'Joliet with UCS level 3 found' in info
    assert 'Boot media 0 (No Emulation Boot)' in info and 'Nsect 4' in info
    extracted = folder / 'extracted'
    subprocess.run(['xorriso', '-osirrox', 'on', '-indev', str(iso), '-extract', '/', str(extracted)],
                   capture_output=True, check=True)
    assert tree(extracted) == tree(root)


def test_optimize_stores_equal_files_once(media):
    folder, root, boot = media
    plain, optimized = folder / 'plain.iso', folder / 'optimized.iso'
    assert cmd(media_line(folder, plain, boot))[0] == 0
    code, text = cmd(media_line(folder, optimized, boot, '-o '))
    assert code == 0, text
    a, b = read_iso(plain)['filesJ'], read_iso(optimized)['filesJ']
    assert a['same/one.bin;1'][0] != a['same/two.bin;1'][0]
    assert b['same/one.bin;1'][:2] == b['same/two.bin;1'][:2]
    assert optimized.stat().st_size == plain.stat().st_size - 3 * SECTOR


@pytest.mark.parametrize('case', ['missing source', 'missing boot file', 'bad switch', 'label too long',
                                  'no boot switch', 'file of 4 GiB', 'name too long', 'missing target folder'])
def test_errors_leave_no_target(media, case):
    folder, root, boot = media
    iso = folder / 'out.iso'
    line = media_line(folder, iso, boot)
    if case == 'missing source':
        line = line.replace('\\ORVAPE"', '\\NOPE"')
    elif case == 'missing boot file':
        line = line.replace('etfsboot.com', 'nothing.com')
    elif case == 'bad switch':
        line = line.replace(' -n ', ' -q ')
    elif case == 'label too long':
        line = line.replace('-lOrvanta', '-l' + 'L' * 33)
    elif case == 'no boot switch':
        line = line.replace(f'-b"{win_path(boot)}"', '')
    elif case == 'file of 4 GiB':
        with open(root / 'sources' / 'huge.wim', 'wb') as f:
            f.truncate(4 << 30)
    elif case == 'name too long':
        write(root / ('n' * 104 + '.txt'), b'x')
    elif case == 'missing target folder':
        iso = folder / 'no such folder' / 'out.iso'
        line = media_line(folder, iso, boot)
    before = sorted(p.name for p in folder.iterdir())
    code, text = cmd(line)
    assert code != 0, text
    assert 'ERROR' in text
    assert not iso.exists()
    assert sorted(p.name for p in folder.iterdir()) == before  # no work file left either


def test_failed_run_keeps_a_former_image(media):
    folder, root, boot = media
    iso = folder / 'BACKUP.ISO'
    iso.write_bytes(b'former image')
    write(root / 'sources' / ('x' * 110), b'x')
    code, text = cmd(media_line(folder, iso, boot))
    assert code != 0
    assert iso.read_bytes() == b'former image'


def test_media_build_script(tmp_path):
    """The media maker's ISO script: mirror the recovery tree into the staging
    folder, move the image in, pack, remove the staging folder."""
    exe = tmp_path / 'Orvanta'
    write(exe / 'ORVAPE' / 'bootmgr', b'boot manager')
    (exe / 'ORVAPE' / 'ORVANTA').mkdir()
    (exe / 'etfsboot.com').write_bytes(BOOT)
    image = tmp_path / 'images' / 'Nightly.TAV'
    write(image, os.urandom(40_000))
    content = image.read_bytes()
    out = tmp_path / 'media'
    out.mkdir()
    iso, log = out / 'NIGHTLY.ISO', tmp_path / 'OrvaISOPECopy.log'
    exe_folder, iso_folder = win_path(exe) + '\\', win_path(out) + '\\'
    script = '\r\n'.join([
        f'robocopy "{exe_folder}\\ORVAPE" "{iso_folder}\\ORVAPE" /mir /w:1 /r:1 /tee /log:"{win_path(log)}"',
        f'move /y "{win_path(image)}" "{iso_folder}\\ORVAPE\\ORVANTA" ',
        f'"{win_path(ORVA_BIN)}\\OSCDIMG.EXE" -m -lOrvanta -b"{exe_folder}\\etfsboot.com" -n "{iso_folder}\\ORVAPE" '
        f'"{win_path(iso)}"',
        f'rd /s /q "{iso_folder}\\ORVAPE" ',
    ])
    code, text = cmd(script)
    assert code == 0, text
    assert sorted(p.name for p in out.iterdir()) == ['NIGHTLY.ISO']
    assert log.read_text('cp1252').splitlines()[-1].startswith('   Ended : ')
    got = read_iso(iso)
    assert set(got['filesJ']) == {'bootmgr;1', 'ORVANTA/Nightly.TAV;1'}
    extent, size, _ = got['filesJ']['ORVANTA/Nightly.TAV;1']
    assert got['data'][extent * SECTOR:extent * SECTOR + size] == content
    assert got['boot']['data'] == BOOT


def test_without_long_names_the_primary_tree_is_8_3(media):
    folder, root, boot = media
    iso = folder / 'short.iso'
    code, text = cmd(media_line(folder, iso, boot).replace(' -n ', ' '))
    assert code == 0, text
    image = read_iso(iso)
    assert len(image['files']) == len(image['filesJ'])
    for path in image['files']:
        *dirs, name = path.split('/')
        assert re.fullmatch(r'[A-Z0-9_~]{0,8}\.[A-Z0-9_]{0,3};1', name), path
        assert all(re.fullmatch(r'[A-Z0-9_~]{1,8}', d) for d in dirs), path
    assert 'ORVANTA/WEEKLY_B.TAV;1' in image['files']
