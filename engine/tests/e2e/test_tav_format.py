import json
import struct

import pytest

import tav_reader
from tav_reader import TavFormatError

IMAGES = ['image', 'image_size', 'image_list', 'image_reset',
          'image_fromheader']
# Rewrites that shorten the increment list leave old bytes at the end.
LEAVES_LEFTOVER = {'image_reset'}


def load(folder, name):
    with open(folder / (name + '.json'), encoding='utf-8') as f:
        return json.load(f)


def without_placement(entry):
    return {k: v for k, v in entry.items()
            if k not in ('offset', 'length', 'prefix')}


@pytest.mark.parametrize('version', [4000, 3000])
def test_header_table_matches_manifest(fixture_dir, version):
    manifest = load(fixture_dir, f'entries{version}')
    assert manifest['version'] == version
    data = (fixture_dir / f'entries{version}.tbl').read_bytes()
    entries = tav_reader.parse_table(data, version)

    expected = manifest['entries']
    # The manifest's own placements tile the table with no gap.
    ends = [e['offset'] + e['length'] for e in expected]
    assert [e['offset'] for e in expected] == [0] + ends[:-1]
    assert ends[-1] == len(data)

    assert len(entries) == len(expected)
    for got, want in zip(entries, expected):
        assert got == want, f"entry at offset {want['offset']}"
        if version >= 4000 and want['prefix']['flag'] == 0:
            assert data[want['offset']] == 0
        if version >= 4000 and want['prefix']['flag'] == 1:
            assert want['length'] == tav_reader.REFERENCE_PREFIX_SIZE
            assert data[want['offset']] == 1
    kinds = {e.get('kind') for e in entries}
    assert kinds >= {0, 10, 11, 12, 14, 15}


def test_image_layout(fixture_dir):
    manifest = load(fixture_dir, 'image')
    image = tav_reader.read_image(fixture_dir / 'image.tav')
    pro, header = image['prologue'], image['header']
    assert pro == {k: manifest[k] for k in
                   ('version', 'header_offset', 'header_length')}
    assert image['file_length'] == manifest['file_length']
    assert image['header_end'] == image['file_length']
    size = tav_reader.image_header_size(header)
    assert image['header_end'] - image['header_start'] == size
    assert header['image_size'] == image['file_length'] == (
        20 + pro['header_offset'] + pro['header_length'] + size)
    assert header['zero'] == 0

    # The image's table holds, inline, the entries of the 3000 table,
    # each one byte longer for its prefix.
    old = load(fixture_dir, 'entries3000')['entries']
    entries = image['entries']
    assert [without_placement(e) for e in entries] == \
        [without_placement(e) for e in old]
    assert all(e['prefix'] == {'flag': 0} for e in entries)
    assert [e['length'] for e in entries] == [e['length'] + 1 for e in old]

    empty = [e for e in entries if e['name'] == 'empty folder']
    assert len(empty) == 1
    assert empty[0]['kind'] == tav_reader.KIND_DIRECTORY
    assert empty[0]['security_state'] == 2
    assert empty[0]['length'] == 601
    assert [e['length'] for e in old if e['name'] == 'empty folder'] == [600]


@pytest.mark.parametrize('name', IMAGES)
def test_image_header_matches_manifest(fixture_dir, name):
    manifest = load(fixture_dir, name)
    image = tav_reader.read_image(fixture_dir / (name + '.tav'))
    header = dict(image['header'])
    assert header.pop('zero') == 0
    assert header == {k: v for k, v in manifest.items() if k in header}
    assert set(manifest) - set(header) == {
        'version', 'header_offset', 'header_length', 'file_length'}
    assert image['file_length'] == manifest['file_length']
    if name in LEAVES_LEFTOVER:
        assert image['header_end'] < image['file_length']
    else:
        assert image['header_end'] == image['file_length']


def test_image_size_rewrite_touches_only_the_size(fixture_dir):
    before = (fixture_dir / 'image.tav').read_bytes()
    after = (fixture_dir / 'image_size.tav').read_bytes()
    image = tav_reader.read_image(fixture_dir / 'image_size.tav')
    # Image path string, then 28 bytes of times, flags and source total.
    at = (image['header_start'] + 4
          + len(image['header']['image_path'].encode('utf-16-le')) + 28)
    assert len(after) == len(before)
    assert after[:at] == before[:at] and after[at + 8:] == before[at + 8:]
    assert struct.unpack_from('<q', after, at)[0] == \
        load(fixture_dir, 'image_size')['image_size']


def _patch(data, at, fmt, value):
    data = bytearray(data)
    struct.pack_into('<' + fmt, data, at, value)
    return bytes(data)


# Damaged inputs built from the first 3000 entry (a directory with a
# security block): the owner SID count sits right after the record.
DAMAGED_TABLES = [
    ('truncated record', lambda d: d[:599], 'truncated'),
    ('unknown kind', lambda d: _patch(d, 596, 'B', 7), 'kind 7'),
    ('negative count', lambda d: _patch(d, 600, 'i', -1), 'negative'),
    ('oversized count', lambda d: _patch(d, 600, 'i', 0x7FFFFFFF), 'exceeds'),
    ('truncated trailer', lambda d: d[:-3], 'truncated'),
]


@pytest.mark.parametrize('damage, message', [c[1:] for c in DAMAGED_TABLES],
                         ids=[c[0] for c in DAMAGED_TABLES])
def test_reader_refuses_damaged_table(fixture_dir, damage, message):
    data = (fixture_dir / 'entries3000.tbl').read_bytes()
    with pytest.raises(TavFormatError, match=message):
        tav_reader.parse_table(damage(data), 3000)


@pytest.mark.parametrize('at, value', [(4, 1 << 40), (12, 1 << 40), (4, -1)])
def test_reader_refuses_prologue_outside_file(fixture_dir, tmp_path, at, value):
    damaged = tmp_path / 'damaged.tav'
    damaged.write_bytes(_patch((fixture_dir / 'image.tav').read_bytes(),
                               at, 'q', value))
    with pytest.raises(TavFormatError, match='do not fit'):
        tav_reader.read_image(damaged)
