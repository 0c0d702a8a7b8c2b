"""Stand-alone reader of TAV images and header tables.

Written without the engine's code so the tests can check the engine's
writer against an independent reading of the format.
"""

import struct
import zlib

PROLOGUE_SIZE = 20
RECORD_SIZE = 600
REFERENCE_PREFIX_SIZE = 37
NAME_UNITS = 260
ALT_NAME_UNITS = 14

KIND_UNKNOWN_LINK = 0
KIND_FILE = 10
KIND_HARD_LINK = 11
KIND_DIR_SYMLINK = 12
KIND_FILE_SYMLINK = 13
KIND_JUNCTION = 14
KIND_DIRECTORY = 15
KINDS = frozenset({0, 10, 11, 12, 13, 14, 15})
SECURITY_STATES = frozenset({0, 2, 3})


class TavFormatError(ValueError):
    pass


class _Cursor:
    def __init__(self, data, pos=0, end=None):
        self.data = data
        self.pos = pos
        self.end = len(data) if end is None else end

    def remaining(self):
        return self.end - self.pos

    def take(self, n, what):
        if n < 0 or n > self.remaining():
            raise TavFormatError(
                f"truncated {what} at offset {self.pos}: need {n} bytes, "
                f"{self.remaining()} left")
        chunk = self.data[self.pos:self.pos + n]
        self.pos += n
        return bytes(chunk)

    def unpack(self, fmt, what):
        st = struct.Struct('<' + fmt)
        return st.unpack(self.take(st.size, what))

    def u8(self, what):
        return self.unpack('B', what)[0]

    def u16(self, what):
        return self.unpack('H', what)[0]

    def i32(self, what):
        return self.unpack('i', what)[0]

    def i64(self, what):
        return self.unpack('q', what)[0]

    def count(self, unit, what):
        at = self.pos
        n = self.i32(what + ' count')
        if n < 0:
            raise TavFormatError(f"negative {what} count {n} at offset {at}")
        if n * unit > self.remaining():
            raise TavFormatError(
                f"{what} count {n} at offset {at} exceeds the "
                f"{self.remaining()} bytes left")
        return n

    def string(self, what):
        n = self.count(2, what)
        return self.take(2 * n, what).decode('utf-16-le', 'surrogatepass')

    def blob(self, what):
        return self.take(self.count(1, what), what)


def _wide_z(raw):
    """Text of a fixed wide-character field, up to its first NUL unit."""
    for i in range(0, len(raw), 2):
        if raw[i] == 0 and raw[i + 1] == 0:
            raw = raw[:i]
            break
    return raw.decode('utf-16-le', 'surrogatepass')


def _filetime(cur, what):
    low, high = cur.unpack('II', what)
    return high << 32 | low


def _read_record(cur, entry):
    start = cur.pos
    raw = _Cursor(cur.take(RECORD_SIZE, 'entry record'))
    entry['depth'] = raw.i32('depth')
    entry['attributes'] = raw.unpack('I', 'attributes')[0]
    entry['creation'] = _filetime(raw, 'creation time')
    entry['last_access'] = _filetime(raw, 'last access time')
    entry['last_write'] = _filetime(raw, 'last write time')
    high, low = raw.unpack('II', 'size')
    entry['size'] = high << 32 | low
    entry['reserved0'], entry['reserved1'] = raw.unpack('II', 'reserved')
    entry['name'] = _wide_z(raw.take(2 * NAME_UNITS, 'name'))
    entry['alt_name'] = _wide_z(raw.take(2 * ALT_NAME_UNITS, 'alternate name'))
    kind, state = raw.unpack('BB', 'kind')
    if kind not in KINDS:
        raise TavFormatError(f"unknown entry kind {kind} at offset {start}")
    if state not in SECURITY_STATES:
        raise TavFormatError(
            f"unknown security state {state} at offset {start}")
    entry['kind'] = kind
    entry['security_state'] = state


def _read_security(cur, entry):
    if entry['security_state'] != 0:
        entry['security'] = None
        return
    entry['security'] = {
        'owner': cur.string('owner SID'),
        'group': cur.string('group SID'),
        'dacl': cur.blob('DACL').hex(),
        'sacl': cur.blob('SACL').hex(),
        'sddl': cur.string('SDDL'),
    }


def _read_trailer(cur, kind):
    if kind == KIND_FILE:
        return {'compressed_length': cur.i64('compressed length')}
    if kind == KIND_HARD_LINK:
        return {'first_name': cur.string('first name')}
    if kind in (KIND_DIR_SYMLINK, KIND_FILE_SYMLINK):
        target = cur.string('link target')
        return {'target': target,
                'reparse_head': cur.take(24, 'reparse head').hex()}
    if kind in (KIND_JUNCTION, KIND_UNKNOWN_LINK):
        n = cur.count(2, 'mount point')
        units = cur.take(2 * n, 'mount point units')
        return {'unit_count': n, 'text': _wide_z(units)}
    return {}


def _read_entry(cur, version):
    """One entry. Format 4000 and above put a prefix before each record;
    format 3000 has none (no 'prefix' key) and begins with the depth."""
    entry = {'offset': cur.pos}
    if version >= 4000:
        flag = cur.u8('entry prefix')
        if flag == 1:
            index, e_off, e_len, d_off, d_len = cur.unpack(
                'iqqqq', 'entry reference')
            entry['prefix'] = {'flag': 1, 'image_index': index,
                               'entry_offset': e_off, 'entry_length': e_len,
                               'data_offset': d_off, 'data_length': d_len}
            entry['length'] = cur.pos - entry['offset']
            return entry
        if flag != 0:
            raise TavFormatError(
                f"entry prefix flag {flag} at offset {entry['offset']}")
        entry['prefix'] = {'flag': 0}
    _read_record(cur, entry)
    if entry['kind'] == KIND_FILE:
        _read_security(cur, entry)
        entry['trailer'] = _read_trailer(cur, KIND_FILE)
    else:
        entry['trailer'] = _read_trailer(cur, entry['kind'])
        _read_security(cur, entry)
    entry['length'] = cur.pos - entry['offset']
    return entry


def parse_table(data, version):
    """Entries of a header table; offsets are relative to the table start.

    The last entry must end exactly at the end of data."""
    cur = _Cursor(memoryview(data))
    entries = []
    while cur.remaining():
        entries.append(_read_entry(cur, version))
    return entries


def read_prologue(data):
    if len(data) < PROLOGUE_SIZE:
        raise TavFormatError(f"file of {len(data)} bytes has no prologue")
    version, offset, length = struct.unpack_from('<iqq', data, 0)
    if offset < 0 or length < 0 or \
            PROLOGUE_SIZE + offset + length > len(data):
        raise TavFormatError(
            f"header offset {offset} and length {length} do not fit a file "
            f"of {len(data)} bytes")
    return {'version': version, 'header_offset': offset,
            'header_length': length}


def read_image_header(data, pos):
    """Image header at pos; returns (fields, offset where it ended)."""
    cur = _Cursor(data, pos)
    h = {'image_path': cur.string('image path')}
    for key in ('start', 'finish'):
        year = cur.u16(key + ' year')
        h[key] = [year, *cur.unpack('5B', key + ' time')]
    (h['image_type'], h['compression_level'], h['zero'], h['disk'],
     h['partition'], h['drive_letter']) = cur.unpack('6B', 'image flags')
    h['source_total'] = cur.i64('source total')
    h['image_size'] = cur.i64('image size')
    h['comment'] = cur.string('comment')
    n = cur.count(4, 'increment name')
    h['increments'] = [cur.string('increment name') for _ in range(n)]
    return h, cur.pos


def _tav_string_size(text):
    return 4 + len(text.encode('utf-16-le', 'surrogatepass'))


def image_header_size(h):
    """Serialized size of an image header computed from its fields."""
    return (_tav_string_size(h['image_path']) + 36
            + _tav_string_size(h['comment']) + 4
            + sum(_tav_string_size(n) for n in h['increments']))


def read_image(path):
    """Prologue, entries and image header of a whole image file.

    'header_end' is where the image header ended; a fresh image ends there,
    a rewritten one may hold leftover bytes of a longer old list."""
    with open(path, 'rb') as f:
        data = f.read()
    prologue = read_prologue(data)
    table_start = PROLOGUE_SIZE + prologue['header_offset']
    header_start = table_start + prologue['header_length']
    entries = parse_table(data[table_start:header_start], prologue['version'])
    header, header_end = None, header_start
    if prologue['version'] > 3999:
        header, header_end = read_image_header(data, header_start)
    elif header_start != len(data):
        # Format 3000 has no image header: the file ends with its table.
        raise TavFormatError(
            f"{len(data) - header_start} bytes after the header table")
    return {'prologue': prologue, 'entries': entries, 'header': header,
            'table_start': table_start, 'header_start': header_start,
            'header_end': header_end, 'file_length': len(data)}


def body_streams(image):
    """(entry, body offset, length) of every file entry's data stream.

    The streams lie one after another from the end of the prologue in walk
    order; together they must fill the body exactly."""
    pos, streams = PROLOGUE_SIZE, []
    for entry in image['entries']:
        if entry.get('kind') != KIND_FILE:
            continue
        length = entry['trailer']['compressed_length']
        if length < 0:
            raise TavFormatError(
                f"negative compressed length of {entry['name']!r}")
        streams.append((entry, pos, length))
        pos += length
    if pos != image['table_start']:
        raise TavFormatError(
            f"file streams end at {pos}, the header table starts at "
            f"{image['table_start']}")
    return streams


def inflate_stream(data, offset, length):
    """Data of the zlib stream at offset; it must end exactly at length."""
    if offset < 0 or offset + length > len(data):
        raise TavFormatError(f"stream at {offset} of {length} bytes "
                             f"is outside the {len(data)} bytes given")
    inflater = zlib.decompressobj()
    try:
        out = inflater.decompress(bytes(data[offset:offset + length]))
    except zlib.error as e:
        raise TavFormatError(f"stream at {offset}: {e}") from None
    if not inflater.eof:
        raise TavFormatError(f"stream at {offset} is not complete "
                             f"after its {length} bytes")
    if inflater.unused_data:
        raise TavFormatError(
            f"stream at {offset} ends {len(inflater.unused_data)} bytes "
            f"before its length {length}")
    return out


def resolve_references(image, members):
    """Checks every reference of an increment image against the images of
    its chain (members: image index -> read_image result of that file).

    A reference must name an inline entry that begins exactly at its entry
    offset, is exactly entry_length long and whose data lie in that image's
    body at data_offset.  Returns (entry, member index or None) of every
    entry, references replaced by their targets."""
    out, streams = [], {}
    for index, member in members.items():
        streams[index] = {id(t): (o, n) for t, o, n in body_streams(member)}
    for i, e in enumerate(image['entries']):
        prefix = e['prefix']
        if prefix['flag'] != 1:
            out.append((e, None))
            continue
        index = prefix['image_index']
        if index not in members:
            raise TavFormatError(f"entry {i} names image {index}, "
                                 f"outside its chain")
        target = next((t for t in members[index]['entries']
                       if t['offset'] == prefix['entry_offset']), None)
        if target is None or target['prefix'] != {'flag': 0}:
            raise TavFormatError(f"entry {i} names no inline entry at "
                                 f"{prefix['entry_offset']} of image {index}")
        if target['length'] != prefix['entry_length']:
            raise TavFormatError(f"entry {i}: length {prefix['entry_length']}"
                                 f", the entry has {target['length']}")
        if target['kind'] == KIND_FILE:
            if streams[index][id(target)] != (prefix['data_offset'],
                                       prefix['data_length']):
                raise TavFormatError(
                    f"entry {i}: data at {prefix['data_offset']} of "
                    f"{prefix['data_length']} bytes, the stream lies at "
                    f"{streams[index][id(target)]}")
        out.append((target, index))
    return out
