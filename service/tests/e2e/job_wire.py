"""The 3168-byte job record of the manager protocol, packed and unpacked
here from its published layout, and a small manager-side client."""
import socket
import struct
import time

# (field, offset, struct code) in record order; gaps are zero bytes.
LAYOUT = [
    ('code', 0, 'i'),
    ('jobName', 4, '50s'),
    ('jobType', 56, 'i'),
    ('runState', 60, 'i'),
    ('driveLetter', 64, '2s'),
    ('volumeSize', 66, '50s'),
    ('imagePath', 116, '512s'),
    ('baseImagePath', 628, '512s'),
    ('compressionLevel', 1140, 'i'),
    ('excludeList', 1144, '1024s'),
    ('sourceFolder', 2168, '100s'),
    ('targetFolder', 2268, '100s'),
    ('reservedText1', 2368, '300s'),
    ('reservedText2', 2668, '300s'),
    ('scheduleKind', 2968, '20s'),
    ('scheduleTime', 2988, '50s'),
    ('daily', 3038, 'c'),
    ('weekly', 3039, 'c'),
    ('monthly', 3040, 'c'),
    ('dayOfMonth', 3044, 'i'),
    ('weekdays', 3048, '7s'),
    ('processId', 3056, 'i'),
    ('startTime', 3060, '20s'),
    ('endTime', 3080, '20s'),
    ('elapsedTime', 3100, '20s'),
    ('totalBytes', 3120, 'q'),
    ('bytesToCopy', 3128, 'q'),
    ('transferRate', 3136, 'q'),
    ('reserved', 3144, 'q'),
    ('bytesLeft', 3152, 'q'),
    ('percent', 3160, 'i'),
    ('jobState', 3164, 'i'),
]
SIZE = 3168

ADDJOB, MODIFYJOB, DELETEJOB, JOBLISTBEGIN, JOBLISTEND, RUNJOB, CANCELJOB = 200, 201, 202, 204, 205, 206, 207


def _format():
    fmt, at = '<', 0
    for _name, offset, code in LAYOUT:
        if offset > at:
            fmt += f'{offset - at}x'
        fmt += code
        at = offset + struct.calcsize('<' + code)
    fmt += f'{SIZE - at}x'
    assert struct.calcsize(fmt) == SIZE
    return fmt


FORMAT = _format()
TEXT_FIELDS = [name for name, _o, code in LAYOUT if code.endswith('s') and name != 'weekdays']


def pack(fields):
    values = []
    for name, _offset, code in LAYOUT:
        value = fields.get(name, b'' if code.endswith('s') or code == 'c' else 0)
        if isinstance(value, str):
            value = value.encode('latin-1')
        if code == 'c' and value == b'':
            value = b'\0'
        values.append(value)
    return struct.pack(FORMAT, *values)


def unpack(data):
    assert len(data) == SIZE
    fields = dict(zip([name for name, _o, _c in LAYOUT], struct.unpack(FORMAT, data)))
    for name in TEXT_FIELDS:
        fields[name] = fields[name].split(b'\0', 1)[0].decode('latin-1')
    return fields


# Twelve hours from the test run: an armed job of a test never comes due
# while the test runs.
DEFAULT_TIME = time.strftime('%H:%M', time.localtime(time.time() + 12 * 3600))


def job(name, code=ADDJOB, kind='daily', run_state=0, **extra):
    """A well-formed job record as a manager sends it."""
    fields = dict(
        code=code, jobName=name, jobType=300, runState=run_state, driveLetter='C',
        volumeSize='120.500 GB', imagePath=f'D:\\Orvanta\\{name}.tav', baseImagePath='none',
        compressionLevel=6, excludeList='C:\\Temp|C:\\pagefile.sys', sourceFolder='none',
        targetFolder='none', reservedText1='none', reservedText2='none', scheduleKind=kind,
        scheduleTime=DEFAULT_TIME, daily=b'y' if kind == 'daily' else b'n', weekly=b'n', monthly=b'n',
        dayOfMonth=0, weekdays=b'nnnnnnn')
    fields.update(extra)
    return pack(fields)


def with_code(record, code):
    return struct.pack('<i', code) + record[4:]


class Manager:
    """One manager connection to the service."""

    def __init__(self, port=2000, timeout=10, rcvbuf=None):
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        if rcvbuf:
            self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, rcvbuf)
        self.sock.settimeout(timeout)
        self.sock.connect(('127.0.0.1', port))

    def send(self, record):
        self.sock.sendall(record)

    def receive(self, timeout=10):
        """One whole record, or None when nothing arrives in time."""
        self.sock.settimeout(timeout)
        data = b''
        try:
            while len(data) < SIZE:
                chunk = self.sock.recv(SIZE - len(data))
                if not chunk:
                    raise ConnectionError('the service closed the connection')
                data += chunk
        except socket.timeout:
            if data:
                raise
            return None
        return data

    def job_list(self):
        """The records between JOBLISTBEGIN and JOBLISTEND, checking both markers."""
        begin = unpack(self.receive())
        assert (begin['code'], begin['runState']) == (JOBLISTBEGIN, 3)
        jobs = [self.receive() for _ in range(begin['jobType'])]
        end = self.receive()
        assert end == with_code(pack(dict(jobType=begin['jobType'], runState=3)), JOBLISTEND)
        assert self.receive(timeout=0.3) is None
        return jobs

    def close(self):
        self.sock.close()


def schedule_file(records):
    """OrvaSchedule.ovc for the records, written from the layout here."""
    lines = [f'Schedule Number: {len(records)}']
    for raw in records:
        r = unpack(raw)
        flag = lambda b: 'y' if b == b'y' else 'n'
        lines += [r['jobName'], str(r['jobType']), str(r['runState']), r['driveLetter'], r['volumeSize'],
                  r['imagePath'], r['baseImagePath'], str(r['compressionLevel']), r['excludeList'],
                  r['sourceFolder'], r['targetFolder'], r['reservedText1'], r['reservedText2'],
                  r['scheduleKind'], r['scheduleTime'], flag(r['daily']), flag(r['weekly']), flag(r['monthly'])]
        lines += [flag(r['weekdays'][i:i + 1]) for i in range(7)]
        lines.append(str(r['dayOfMonth']))
    return ''.join(line + '\r\n' for line in lines).encode('latin-1')
