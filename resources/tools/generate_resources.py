#!/usr/bin/env python3
"""Writes the firmware texts and translation tables that the updater embeds.

The firmware texts are stand-ins with the record layout of the real images (so that image
building, image choice and transfers exercise the same paths) and deterministic pseudo-random
content; they are only ever written to simulated devices. The translation tables are the
program's display texts in the table format the updater reads.

Usage: generate_resources.py [--out DIR]   (DIR defaults to the resources folder)
Output: DIR/firmware/<id>.hex and DIR/text/<id>.txt. Running it twice gives the same bytes.
"""

import argparse
import os

# ---------------------------------------------------------------------------------------------
# Deterministic pseudo-random numbers (splitmix64), so the output never depends on the
# version of Python or of its random module.


class SplitMix64:
    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFFFFFFFFFF

    def next(self):
        self.state = (self.state + 0x9E3779B97F4A7C15) & 0xFFFFFFFFFFFFFFFF
        z = self.state
        z = ((z ^ (z >> 30)) * 0xBF58476D1CE4E5B9) & 0xFFFFFFFFFFFFFFFF
        z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & 0xFFFFFFFFFFFFFFFF
        return z ^ (z >> 31)

    def below(self, n):
        return self.next() % n

    def between(self, low, high):
        return low + self.below(high - low + 1)

    def bytes(self, n):
        return bytes(self.next() & 0xFF for _ in range(n))

    def shuffle(self, items):
        for i in range(len(items) - 1, 0, -1):
            j = self.below(i + 1)
            items[i], items[j] = items[j], items[i]


# ---------------------------------------------------------------------------------------------
# Intel-HEX records.


def record(address, record_type, data=b""):
    fields = bytes([len(data), (address >> 8) & 0xFF, address & 0xFF, record_type]) + data
    checksum = (0x100 - sum(fields) % 256) % 256
    return ":" + (fields + bytes([checksum])).hex().upper() + "\r\n"


def data_records(address, data, width=16):
    """One segment as records of `width` bytes counted from its start; the last may be shorter."""
    return [record(address + i, 0, data[i:i + width]) for i in range(0, len(data), width)]


# ---------------------------------------------------------------------------------------------
# 8-bit controller images: a reset jump and interrupt jumps at the bottom, code segments up to
# the image's highest byte emitted in linker order (not address order), and the 68-byte
# identification block at 0x3FBC-0x3FFF.

RET = 0x22
LJMP = 0x02


# id: (highest data byte, the four identification bytes of the block at 0x3FBC)
EIGHT_BIT_IMAGES = {
    3032: (0x1E47, bytes([0x04, 0x00, 0x1E, 0x00])),
    3033: (0x1F29, bytes([0x05, 0x00, 0x1E, 0x00])),
    3035: (0x1D8C, bytes([0x02, 0x00, 0x33, 0x00])),
    3036: (0x3BB1, bytes([0x03, 0x00, 0x41, 0x00])),
    3038: (0x1EA6, bytes([0x06, 0x00, 0x27, 0x00])),
    3039: (0x1F03, bytes([0x07, 0x00, 0x27, 0x00])),
}
ID_BLOCK_START = 0x3FBC
ID_BLOCK_END = 0x4000
ID_BLOCK_MARK = bytes([0x55, 0xAA, 0x33, 0xCC])
# Kept free in every 8-bit image: the last 16 bytes of the 0x2000-byte image carry the trailer.
EIGHT_BIT_TRAILER = (0x1FF0, 0x2000)
INTERRUPT_VECTORS = [0x0003, 0x000B, 0x0013, 0x001B, 0x0023, 0x002B]
CODE_START = 0x0033


def code_segments(rng, start, end):
    """(address, length) segments covering start..end-1 with small gaps; the last ends at end."""
    segments = []
    address = start
    while address < end:
        length = min(rng.between(0x60, 0x380), end - address)
        if end - address - length < 0x20:
            length = end - address
        segments.append((address, length))
        address += length
        if address < end - 0x40:
            address += rng.below(6)
    return segments


def code_bytes(rng, length):
    body = bytearray(rng.bytes(length))
    body[-1] = RET
    return bytes(body)


def eight_bit_hex(image_id, highest, id_bytes):
    rng = SplitMix64(image_id)
    segments = []
    trailer_low, trailer_high = EIGHT_BIT_TRAILER
    if highest < trailer_low:
        segments += code_segments(rng, CODE_START, highest + 1)
    else:
        segments += code_segments(rng, CODE_START, trailer_low - rng.between(8, 40))
        segments += code_segments(rng, trailer_high + rng.between(4, 40), highest + 1)
    main = segments[rng.below(len(segments))][0]

    chunks = []
    for address, length in segments:
        chunks.append(data_records(address, code_bytes(rng, length)))
    for vector in INTERRUPT_VECTORS:
        if rng.below(3) != 0:
            target = segments[rng.below(len(segments))][0]
            chunks.append(data_records(vector, bytes([LJMP, target >> 8, target & 0xFF])))
    rng.shuffle(chunks)

    block = b"\xff" * (ID_BLOCK_END - ID_BLOCK_START - 8) + id_bytes + ID_BLOCK_MARK
    lines = [record(0x0000, 0, bytes([LJMP, main >> 8, main & 0xFF]))]
    for chunk in chunks:
        lines += chunk
    lines += data_records(ID_BLOCK_START, block)
    lines.append(record(0, 1))
    return "".join(lines)


# ---------------------------------------------------------------------------------------------
# 32-bit controller images, flash at 0x08000000: a small program with its own vector table in
# the first 4 KiB, the main program with its vector table at 0x1000, records of 16 bytes (4 at
# the end of a section), a start linear address of the main program's reset handler.

FLASH_BASE = 0x08000000
MAIN_START = 0x1000
MAIN_RESET_HANDLER = 0x080010ED
VECTOR_COUNT = 48

# id: highest data byte
THIRTY_TWO_BIT_IMAGES = {
    3037: 0x6BA3,
    3040: 0x62B3,
    3041: 0x6B8F,
    3042: 0x6B6F,
    3043: 0x6B3F,
}


def word(value):
    return value.to_bytes(4, "little")


def vector_table(rng, stack_top, reset_handler, code_low, code_high):
    words = [stack_top, reset_handler]
    default_handler = FLASH_BASE + rng.between(code_low, code_high) & ~1 | 1
    for index in range(2, VECTOR_COUNT):
        reserved = index in (7, 8, 9, 10, 13)
        if reserved:
            words.append(0)
        elif rng.below(4) == 0:
            words.append(FLASH_BASE + (rng.between(code_low, code_high) & ~1) | 1)
        else:
            words.append(default_handler)
    return b"".join(word(w) for w in words)


def thumb_code(rng, length):
    """Halfwords that look like Thumb code: mostly small immediates and branches."""
    out = bytearray()
    while len(out) < length:
        kind = rng.below(8)
        if kind == 0:
            out += bytes([0x70, 0x47])  # bx lr
        elif kind == 1:
            out += bytes([rng.below(256), 0xE7])  # b
        else:
            out += rng.bytes(2)
    return bytes(out[:length])


def section_end(low, high, rng):
    """An end address in low..high that leaves the section's last record with 4 bytes."""
    return (rng.between(low, high) & ~0xF) + 4


def thirty_two_bit_hex(image_id, highest):
    rng = SplitMix64(image_id)
    end = highest + 1

    loader_end = section_end(0x0A00, 0x0E00, rng)
    loader = bytearray(vector_table(rng, 0x20000800, FLASH_BASE + 0xC1, 0xC0, loader_end - 2))
    loader += thumb_code(rng, loader_end - len(loader))

    # The main program's text ends with a 4-byte record; its read-only data follows at the next
    # 16-byte boundary and runs to the highest byte (a 4-byte record again when the end says so).
    text_end = section_end(end - 0x900, end - 0x300, rng)
    data_start = (text_end + 0xF) & ~0xF
    main = bytearray(vector_table(rng, 0x20002800, MAIN_RESET_HANDLER, 0x10C0, text_end - 2))
    main += thumb_code(rng, text_end - MAIN_START - len(main))
    data = rng.bytes(end - data_start)

    lines = [record(0, 4, bytes([0x08, 0x00]))]
    lines += data_records(0x0000, bytes(loader))
    lines += data_records(MAIN_START, bytes(main))
    lines += data_records(data_start, data)
    lines.append(record(0, 4, bytes([0x08, 0x00])))
    lines.append(record(0, 5, word(MAIN_RESET_HANDLER)[::-1]))
    lines.append(record(0, 1))
    return "".join(lines)


# ---------------------------------------------------------------------------------------------
# Translation tables: UTF-16LE with a byte-order mark, one text per line ended by CR LF, source
# and translation in turn. "|" stands for LF, "*" for CR and "^" for "*". The last line of every
# table (the translation of the last pair) has no CR LF, so that pair is never in force.

# (source, English display form, Simplified Chinese)
PAIRS = [
    ('||FIRMWARE UPGRADE ', '||FIRMWARE UPGRADE', '||固件升级'),
    ('KORVEX 6.0*|*|Not Found !', 'KORVEX 6.0*|*|Not found !', '没有找到 KORVEX 6.0*|*|!'),
    ('Your KORVEX 6.0*|is currently on*|Version ', 'Your KORVEX 6.0*|is currently on*|version', '您的 KORVEX 6.0*|正在使用*|版本'),
    ('With this upgrade package your product|can be updated to the latest firmware. |Once the upgrade is started, it cannot be cancelled or reversed.*|Use at your own Risk.', 'With this upgrade package your product|can be updated to the latest firmware. |Once the upgrade is started, it cannot be cancelled or reversed.*|Use at your own risk.', '通过这个升级包，|您的产品将更新到最新的固件。|升级开始后，不能中断或重新启动|使用者自担风险。'),
    ('Your Product can not be Upgraded to the|latest Firmware included in this Upgrade|package. There is no supported product|connected to your system|Press Exit button to exit.', 'Your product can not be upgraded to the|latest firmware included in this upgrade|package. There is no supported product|connected to your system|Press exit button to close.', '您的产品不能升级到|包括这个升级包的最新固件|没有找到与系统相连的所支持的产品，|请按退出键退出'),
    ('Your Product can not be Upgraded.|You already have the latest Firmware or newer than|included in this Upgrade Package.|Press Exit button to Exit', 'Your product can not be upgraded.|You already have the latest firmware or newer than|included in this upgrade package.|Press exit button to close', '您的产品不能升级。|您已经拥有了包括这个升级包的|最新的或者更新的固件，|请按退出键退出'),
    ('EXIT', 'EXIT', '退出'),
    ('UPGRADE NOW', 'UPGRADE NOW', '点击升级'),
    ('Transfer in progress ...', 'Transfer in progress ...', '正在传送 ...'),
    ('Do not disconnect your device until the transfer is complete.|Disconnecting your device while the transfer is in progress may damage your device.', 'Do not disconnect your device until the transfer is complete.|Disconnecting your device while the transfer is in progress|may damage your device.', '不能断开设备，直到传送结束。|传送过程中断开设备|可能损害您的设备。'),
    ('Do Not Disconnect your Device !|After Reprogramming your Device is complete,|your Device will restart automatically', 'Do not disconnect your device !|After reprogramming your device is complete,|your device will restart automatically ', '不要断开您的设备！|您的设备再编程完成后，|您的设备将自动重新启动。 '),
    ('||Firmware upgrade was NOT successful!|Please restart the application and try again.', '||Firmware upgrade was NOT successful!|Please restart the application and try again. ', '||固件升级失败！|请重新启动应用并重试。 '),
    ('||Firmware upgrade was successful!', '||Firmware upgrade was successful!', '||固件升级成功！'),
    ('Transfer completed. Please unplug the device now.*|', 'Transfer completed. Please unplug the device now.*|', '传送结束，现在请断开设备*|'),
    ('Transfer completed. Reprogramming the device now.*|', None, None),

]
# The last pair's translations exist in the tables but are never read.
LAST_PAIR_TRANSLATIONS = (
    "Transfer completed. Reprogramming the device now.*|",
    "传送结束，正在对设备重新编程*|",
)
NOT_TRANSLATED = "NOT TRANSLATED YET"
ENGLISH_TABLE = 4000
CHINESE_TABLE = 4008
TABLE_IDS = range(4000, 4011)


def translations(table_id):
    for index, (source, english, chinese) in enumerate(PAIRS):
        last = index == len(PAIRS) - 1
        if table_id == ENGLISH_TABLE:
            yield source, LAST_PAIR_TRANSLATIONS[0] if last else english
        elif table_id == CHINESE_TABLE:
            yield source, LAST_PAIR_TRANSLATIONS[1] if last else chinese
        else:
            yield source, NOT_TRANSLATED


def table_bytes(table_id):
    lines = []
    for source, translation in translations(table_id):
        lines += [source, translation]
    return b"\xff\xfe" + "\r\n".join(lines).encode("utf-16-le")


# ---------------------------------------------------------------------------------------------


def write(path, content):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(content)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", default=os.path.dirname(here), help="resources folder to write")
    out = parser.parse_args().out

    for image_id, (highest, id_bytes) in EIGHT_BIT_IMAGES.items():
        text = eight_bit_hex(image_id, highest, id_bytes)
        write(os.path.join(out, "firmware", "%d.hex" % image_id), text.encode("ascii"))
    for image_id, highest in THIRTY_TWO_BIT_IMAGES.items():
        text = thirty_two_bit_hex(image_id, highest)
        write(os.path.join(out, "firmware", "%d.hex" % image_id), text.encode("ascii"))
    for table_id in TABLE_IDS:
        write(os.path.join(out, "text", "%d.txt" % table_id), table_bytes(table_id))


if __name__ == "__main__":
    main()
