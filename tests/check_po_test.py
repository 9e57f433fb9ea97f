#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""check_po.py against changed copies of po/: the real one passes, and a message left out of the
template, a fuzzy or untranslated entry and a catalogue that lacks a message of the template each
fail it, so a check that quietly stopped looking fails here.
Usage: check_po_test.py SOURCE_DIR"""
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

ROOT = pathlib.Path(sys.argv.pop(1) if len(sys.argv) > 1 else pathlib.Path(__file__).parents[1])
CHECKER = ROOT / "tests" / "check_po.py"
# A message of the settings window that stays marked.
MESSAGE = 'msgid "Manage Actions"\n'


class CheckPo(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.po = pathlib.Path(self.tmp.name) / "po"
        shutil.copytree(ROOT / "po", self.po)

    def tearDown(self):
        self.tmp.cleanup()

    def check(self):
        return subprocess.run([sys.executable, str(CHECKER), str(ROOT), str(self.po)], capture_output=True, text=True)

    def change(self, name, old, new):
        path = self.po / name
        text = path.read_text(encoding="utf-8")
        self.assertIn(old, text)
        path.write_text(text.replace(old, new, 1), encoding="utf-8")

    def assertFailsWith(self, words):
        result = self.check()
        self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
        self.assertIn(words, result.stdout)

    def test_the_committed_translations_pass(self):
        result = self.check()
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)

    def test_a_marked_message_missing_from_the_template_fails(self):
        self.change("orvane.pot", MESSAGE, 'msgid "Manage Actions (gone)"\n')
        self.assertFailsWith("not in po/orvane.pot")

    def test_a_fuzzy_translation_fails(self):
        self.change("de.po", MESSAGE, "#, fuzzy\n" + MESSAGE)
        self.assertFailsWith("not complete")

    def test_an_untranslated_message_fails(self):
        path = self.po / "de.po"
        text = path.read_text(encoding="utf-8")
        text, count = re.subn(r'(msgid "Manage Actions"\nmsgstr )"[^"]*"', r'\1""', text)
        self.assertEqual(count, 1)
        path.write_text(text, encoding="utf-8")
        self.assertFailsWith("not complete")

    def test_a_catalogue_without_a_message_of_the_template_fails(self):
        path = self.po / "de.po"
        text = path.read_text(encoding="utf-8")
        text, count = re.subn(r'(#[^\n]*\n)*msgid "Manage Actions"\nmsgstr "[^"]*"\n\n', "", text)
        self.assertEqual(count, 1)
        path.write_text(text, encoding="utf-8")
        self.assertFailsWith("lacks a message")


if __name__ == "__main__":
    unittest.main()
