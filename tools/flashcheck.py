#!/usr/bin/env python3
"""Decodes flash data the way a device does, independently of the tool's own
decoder: Python's lzma module (raw LZMA1) over the base stream that the
devices hold, tools/base_stream.bin.

    python3 tools/flashcheck.py FLASH SCRIPT       # exit 0 when FLASH holds SCRIPT
    python3 tools/flashcheck.py --stream STREAM SCRIPT

As a module: check_flash(base_stream, flash, script) raises FlashError with
the reason when the flash data does not give back the script byte for byte.
Standard library only.
"""

import argparse
import lzma
import os
import sys

PREFIX = b"123 "
HEADER_SIZE = 6
MAX_LENGTH = 524288          # the devices' decoder dictionary
DELTA_BASE_1 = 0xFFFE        # flags word of a delta against base 1
METHOD_STORED = 0
METHOD_LZMA = 1
LZMA_FILTERS = [{"id": lzma.FILTER_LZMA1, "lc": 4, "lp": 0, "pb": 0, "dict_size": 512 * 1024}]
DEFAULT_BASE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "base_stream.bin")


class FlashError(Exception):
    pass


def parse_header(stream):
    """The six header bytes as a dict; refuses what a device's reader refuses."""
    if len(stream) < HEADER_SIZE:
        raise FlashError("stream shorter than its %d-byte header" % HEADER_SIZE)
    flags = stream[0] << 8 | stream[1]
    length = stream[3] << 16 | stream[4] << 8 | stream[5]
    if length > MAX_LENGTH:
        raise FlashError("stated length %d exceeds %d" % (length, MAX_LENGTH))
    header = {"delta": bool(flags & 0x8000), "flags": flags, "cut": stream[2] & 0x3F, "length": length}
    if header["delta"]:
        header["base_index"] = (~flags) & 0x7FFF
    else:
        header["method"] = flags & 0x7FFF
    return header


def decode_lzma(payload, length):
    decoder = lzma.LZMADecompressor(format=lzma.FORMAT_RAW, filters=LZMA_FILTERS)
    try:
        # No end marker: the stated length is where the data ends.
        out = decoder.decompress(payload, max_length=length)
    except lzma.LZMAError as e:
        raise FlashError("LZMA: %s" % e)
    if len(out) != length:
        raise FlashError("LZMA gave %d bytes, %d stated" % (len(out), length))
    return out


def decode_self_contained(stream, header):
    payload = stream[HEADER_SIZE:]
    if header["method"] == METHOD_STORED:
        if len(payload) != header["length"]:
            raise FlashError("stored payload of %d bytes, %d stated" % (len(payload), header["length"]))
        return payload
    if header["method"] == METHOD_LZMA:
        return decode_lzma(payload, header["length"])
    raise FlashError("unknown method %d" % header["method"])


def decode_stream(stream, base_stream):
    """The bytes a compressed stream decodes to, against the devices' base 1."""
    header = parse_header(stream)
    if not header["delta"]:
        return decode_self_contained(stream, header)
    if header["flags"] != DELTA_BASE_1:
        raise FlashError("delta against base %d; devices hold base 1 only" % header["base_index"])
    base = parse_header(base_stream)
    if base["delta"] or base["method"] != METHOD_LZMA or base["cut"] != 0:
        raise FlashError("the base stream is not a self-contained LZMA stream")
    total = base["length"] + header["length"]
    if total > MAX_LENGTH:
        raise FlashError("base and script, %d bytes, exceed the %d-byte dictionary" % (total, MAX_LENGTH))
    base_payload = base_stream[HEADER_SIZE:]
    cut = header["cut"]
    if cut > len(base_payload):
        raise FlashError("cut %d longer than the base payload" % cut)
    joined = base_payload[:len(base_payload) - cut] + stream[HEADER_SIZE:]
    decoded = decode_lzma(joined, total)
    if decoded[:base["length"]] != decode_lzma(base_payload, base["length"]):
        raise FlashError("the delta does not continue the base text")
    return decoded[base["length"]:]


def decode_flash(base_stream, flash):
    if not flash.startswith(PREFIX):
        raise FlashError("flash data does not start with %r" % PREFIX)
    stream = flash[len(PREFIX):]
    header = parse_header(stream)
    if header["flags"] != DELTA_BASE_1:
        raise FlashError("flags word 0x%04X, want 0x%04X (delta against base 1)" % (header["flags"], DELTA_BASE_1))
    return decode_stream(stream, base_stream)


def compare(decoded, script):
    if decoded == script:
        return
    if len(decoded) != len(script):
        raise FlashError("decoded %d bytes, script has %d" % (len(decoded), len(script)))
    first = next(i for i in range(len(script)) if decoded[i] != script[i])
    raise FlashError("decoded bytes differ from the script at offset %d" % first)


def check_stream(base_stream, stream, script):
    compare(decode_stream(stream, base_stream), script)


def check_flash(base_stream, flash, script):
    """Raises FlashError unless flash is "123 " and a delta stream of script."""
    compare(decode_flash(base_stream, flash), script)


def main(argv=None):
    parser = argparse.ArgumentParser(description="Check flash data against the script it should hold.")
    parser.add_argument("--base", default=DEFAULT_BASE, help="the base stream (default: %(default)s)")
    parser.add_argument("--stream", action="store_true", help="DATA is a bare stream, without the prefix")
    parser.add_argument("data", help="flash data file (or stream with --stream)")
    parser.add_argument("script", help="the script it should decode to")
    args = parser.parse_args(argv)
    with open(args.base, "rb") as f:
        base = f.read()
    with open(args.data, "rb") as f:
        data = f.read()
    with open(args.script, "rb") as f:
        script = f.read()
    try:
        (check_stream if args.stream else check_flash)(base, data, script)
    except FlashError as e:
        print("%s: %s" % (args.data, e))
        return 1
    print("%s: ok, %d bytes" % (args.data, len(script)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
