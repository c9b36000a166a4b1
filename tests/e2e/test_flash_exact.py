#!/usr/bin/env python3
"""The bytes the devices depend on: the base stream (pinned by length and
SHA-256, the same in tools/, in the build and inside the program) and the
flash data of three committed scripts, which must not change by one byte."""

import hashlib
import os
import sys
import tempfile
import unittest

from flashfixture import FLASH_DATA, ROOT, build_dir, flashcheck, read, run_fixture

BUILD = build_dir(sys.argv)
BASE_STREAM_SIZE = 10636
BASE_STREAM_SHA256 = "7fd5b425356c2e64e8a69a3dc9d0d9c5c6c1cada49271358150cc6146eeda52b"
FIXTURES = ["hostname", "office", "unicode"]


class ExactBytes(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory(prefix="flash-exact-")

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def test_base_stream(self):
        exported = read(os.path.join(ROOT, "tools", "base_stream.bin"))
        self.assertEqual(len(exported), BASE_STREAM_SIZE)
        self.assertEqual(hashlib.sha256(exported).hexdigest(), BASE_STREAM_SHA256)
        self.assertEqual(exported[:6], b"\x00\x01\x00\x01\xa1\xc8")
        self.assertEqual(read(os.path.join(BUILD, "generated", "base_stream.bin")), exported)
        embedded = os.path.join(self.tmp.name, "embedded.bin")
        run_fixture(BUILD, "base", ("path", embedded))
        self.assertEqual(read(embedded), exported)
        self.assertEqual(flashcheck.decode_stream(exported, exported),
                         read(os.path.join(ROOT, "res", "base_script.txt")))

    def test_committed_flash_data(self):
        args = ["flash"]
        for name in FIXTURES:
            args += [("path", os.path.join(FLASH_DATA, name + ".txt")),
                     ("path", os.path.join(self.tmp.name, name + ".flash"))]
        run_fixture(BUILD, *args)
        for name in FIXTURES:
            with self.subTest(name):
                expected = read(os.path.join(FLASH_DATA, name + ".flash"))
                self.assertEqual(read(os.path.join(self.tmp.name, name + ".flash")), expected)
                flashcheck.check_flash(read(os.path.join(ROOT, "tools", "base_stream.bin")), expected,
                                       read(os.path.join(FLASH_DATA, name + ".txt")))


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
