#!/usr/bin/env python3
"""Flash data made by the Windows program for a table of scripts, decoded by an
independent decoder (tools/flashcheck.py, Python's lzma) and compared byte for
byte; scripts that must yield no flash data yield an empty file."""

import os
import random
import sys
import tempfile
import unittest

from flashfixture import FLASH_DATA, ROOT, build_dir, flashcheck, read, run_fixture

BUILD = build_dir(sys.argv)
BASE_TEXT_SIZE = 106952
LARGEST_SCRIPT = 524288 - BASE_TEXT_SIZE


def config_text(size, seed):
    """Configuration text in the devices' section syntax, of exactly size bytes."""
    rng = random.Random(seed)
    kinds = ["port", "vlan", "address", "route", "account", "task", "shaper", "ssid"]
    keys = ["description", "state", "mtu", "via", "distance", "group", "every", "download", "note"]
    parts = ["# generated for the flash tests\n\n"]
    length = len(parts[0])
    while length < size:
        lines = ["[%s %s-%d]\n" % (rng.choice(kinds), rng.choice(["north", "yard", "lab"]), rng.randint(1, 99))]
        for _ in range(rng.randint(2, 5)):
            lines.append("    %-15s 10.%d.%d.%d/%d\n" % (rng.choice(keys), rng.randint(0, 250), rng.randint(0, 250),
                                                       rng.randint(1, 250), rng.randint(16, 30)))
        lines.append("\n")
        block = "".join(lines)
        parts.append(block)
        length += len(block)
    return "".join(parts).encode()[:size]


class IndependentDecoder(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory(prefix="flash-e2e-")
        cls.base = read(os.path.join(ROOT, "tools", "base_stream.bin"))

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def path(self, name):
        return os.path.join(self.tmp.name, name)

    def flash_for(self, scripts):
        """Flash data for {name: bytes or None (no file)}, made in one run of the fixture."""
        args = ["flash"]
        for name, data in scripts.items():
            if data is not None:
                with open(self.path(name), "wb") as f:
                    f.write(data)
            args += [("path", self.path(name)), ("path", self.path(name + ".flash"))]
        run_fixture(BUILD, *args)
        return {name: read(self.path(name + ".flash")) for name in scripts}

    def test_round_trips(self):
        scripts = {
            "empty": b"",
            "one-byte": b"\n",
            "office-5k": read(os.path.join(FLASH_DATA, "office.txt")),
            "config-64k": config_text(64 * 1024, 1),
            "base-text": read(os.path.join(ROOT, "res", "base_script.txt")),
            "utf8": read(os.path.join(FLASH_DATA, "unicode.txt")),
            "largest": config_text(LARGEST_SCRIPT, 2),
        }
        flash = self.flash_for(scripts)
        for name, script in scripts.items():
            with self.subTest(name):
                data = flash[name]
                self.assertEqual(data[:6], b"123 \xff\xfe")
                self.assertLessEqual(data[6] & 0x3F, 63)
                flashcheck.check_flash(self.base, data, script)
        # The empty script's stream is its header alone.
        self.assertEqual(flash["empty"], b"123 \xff\xfe\x00\x00\x00\x00")

    def test_no_flash_data(self):
        flash = self.flash_for({
            "missing": None,
            "past-dictionary": config_text(LARGEST_SCRIPT + 1, 3),
            "past-header": config_text(524289, 4),
            "million": config_text(1000000, 5),
            "too-big": config_text(1000001, 6),
            "random-300k": random.Random(7).randbytes(300000),
        })
        for name, data in flash.items():
            with self.subTest(name):
                self.assertEqual(data, b"")

    def test_random_bytes_stream(self):
        # Incompressible: no flash data (the stream outgrows the script by more
        # than 1000 bytes), but the stream itself must still decode.
        script = random.Random(7).randbytes(300000)
        with open(self.path("random"), "wb") as f:
            f.write(script)
        run_fixture(BUILD, "stream", ("path", self.path("random")), ("path", self.path("random.stream")))
        flashcheck.check_stream(self.base, read(self.path("random.stream")), script)

    def test_checker_refuses_damage(self):
        # The checker itself must see a wrong byte, or the tests above prove nothing.
        script = read(os.path.join(FLASH_DATA, "office.txt"))
        flash = read(os.path.join(FLASH_DATA, "office.flash"))
        flashcheck.check_flash(self.base, flash, script)
        damaged = [b"124 " + flash[4:], flash[:4] + b"\xff\xfd" + flash[6:], flash[:-1],
                   flash[:40] + bytes([flash[40] ^ 0x10]) + flash[41:]]
        for d in damaged:
            with self.assertRaises(flashcheck.FlashError):
                flashcheck.check_flash(self.base, d, script)
        with self.assertRaises(flashcheck.FlashError):
            flashcheck.check_flash(self.base, flash, script[:-1] + b"X")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
