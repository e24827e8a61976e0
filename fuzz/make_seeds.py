#!/usr/bin/env python3
"""Writes the structured seed inputs of fuzz/corpus/ (the targets that read
their input through FuzzedDataProvider). Run from the repository root; the
files it writes are kept in the repository."""
import os
import struct


def fdp_str(s):
    # ConsumeRandomLengthString: a backslash followed by anything but a
    # backslash ends the string; two backslashes stand for one.
    return s.replace(b'\\', b'\\\\') + b'\\n'


def tail(*packed):
    # Integers are taken from the end of the input, the first one last.
    return b''.join(reversed(packed))


def write(target, name, data):
    folder = os.path.join('fuzz', 'corpus', target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), 'wb') as f:
        f.write(data)


def record(update, new, clock, code, room):
    ints = [struct.pack('<H', v) for v in clock]
    ints.append(struct.pack('<I', (code + 2**31) & 0xFFFFFFFF))  # int: INT_MIN + value
    ints.append(struct.pack('<H', room))
    return fdp_str(update) + fdp_str(new) + tail(*ints)


def paths(a, b, c, room, spc=8, bps=512, free=500):
    ints = [struct.pack('<H', room)]
    return fdp_str(a) + fdp_str(b) + fdp_str(c) + struct.pack('<I', free) + struct.pack('<I', bps) + \
        struct.pack('<I', spc) + tail(*ints)


# time hh:mm:ss, then date mm-dd-yyyy
write('recordline', 'example_28', record(b'Sample Driver Update', b'2.04.11', [9, 5, 7, 3, 7, 2004], 28, 512))
write('recordline', 'success_exact_room', record(b'Sample Driver Update', b'2.04.11', [0, 0, 0, 12, 31, 1999], 0, 90))
write('recordline', 'longest_exact_room', record(b'u' * 127, b'n' * 127, [65535] * 6, -2**31, 343))
write('recordline', 'commas_negative', record(b' Drv, ver=2 ', b'a,b ,', [23, 59, 59, 1, 2, 5], -5, 100))

# cmdline: front: the work directory, the runner's command; back: the buffer room.
def cmdline(directory, command, room):
    return fdp_str(directory) + fdp_str(command) + tail(struct.pack('<H', room))


write('cmdline', 'update_dir', cmdline(b'E:\\UPDATE\\', b'mervane.exe /l E:\\UPDATE\\VOR.LOG', 261))
write('cmdline', 'drive_root', cmdline(b'C:\\\\', b'', 260))
write('cmdline', 'dir_94', cmdline(b'C:\\' + b'p' * 90 + b'\\', b'c' * 247, 260))
write('cmdline', 'dir_95_blank', cmdline(b'C:\\Program Files\\' + b'p' * 77 + b'\\', b'c' * 248, 260))
write('cmdline', 'ampersand', cmdline(b'E:\\a&mervane.exe\\', b'x & y', 100))

write('paths', 'staging_name', paths(b'C:\\QVT1A2.tmp', b'', b'\\', 260))
write('paths', 'source_form_root', paths(b'E:\\', b'sub', b'*.*', 260))
write('paths', 'dir_259', paths(b'C:\\' + b'p' * 250, b'\\name', b'\\', 260))
write('paths', 'systemdrive_114', paths(b'C:\\' + b'd' * 111, b'c:', b'', 128, 1, 1, 2000000))


# logscan: one byte n, n % 33 piece sizes, then the log's bytes.
def logscan(sizes, log):
    return bytes([len(sizes)]) + bytes(sizes) + log


write('logscan', 'driver_255_pieces', logscan([], b'start\nError Code 28: driver back-level\nend\n'))
write('logscan', 'both_crlf', logscan([], b'start\r\nError Code 29: x\r\nError Code 28: y\r\n'))
write('logscan', 'straddles_255th', logscan([], b'x' * 250 + b'Error Code 28:' + b'x' * 40 + b'\n'))
write('logscan', 'after_zero_byte', logscan([7], b'status\0 Error Code 29:\n'))
write('logscan', 'byte_by_byte', logscan([1], b'Error Code 28:Error Code 29:'))
write('logscan', 'near_misses', logscan([13, 14, 0], b'error code 28:\nError Code 280:\nError Code\x0028:\nError Code 2'))
