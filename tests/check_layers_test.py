#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""check_layers.py against small trees: a clean one passes, and each kind of breach is named, so
a checker that quietly stopped seeing includes or link lines fails here.
Usage: check_layers_test.py PATH_TO_check_layers.py"""
import pathlib
import subprocess
import sys
import tempfile
import unittest

CHECKER = sys.argv.pop(1) if len(sys.argv) > 1 else str(pathlib.Path(__file__).with_name("check_layers.py"))

CLEAN = {
    "platform/Files.cpp": '#include "platform/Files.h"\n#include <glib.h>\n',
    "model/OVStore.cpp": '#include "archive/UTF8.h"\n#include "platform/Files.h"\n',
    "model/OVChangeSender.cpp": '#include "messaging/OVWormhole.h"\n',
    "menus/FinderSync.cpp": '#include "model/OVStore.h"\n',
    "settings/AppDelegate.cpp": '#include "menus/OVMenuExporter.h"\n#include <gtk/gtk.h>\n',
    "tools/screenshots.cpp": '#include "settings/AppDelegate.h"\n#include "runner/Window.h"\n',
    "tests/support/TestSupport.h": '#include "model/OVStore.h"\n',
    "tests/extension/Support.h": '#include "menus/FinderSync.h"\n#include "support/TestSupport.h"\n',
    "tests/extension_module/ModuleTests.cpp": '#include "extension/Support.h"\n',
    "menus/CMakeLists.txt": "add_library(orvane_menus STATIC FinderSync.cpp)\n"
                            "target_link_libraries(orvane_menus PUBLIC orvane_model)\n",
    "model/CMakeLists.txt": "add_library(orvane_model STATIC OVStore.cpp)\n",
    "ui/CMakeLists.txt": "add_library(orvane_ui STATIC Window.cpp)\n",
    "runner/CMakeLists.txt": "add_library(orvane_runner STATIC Run.cpp)\n",
    "settings/CMakeLists.txt": "add_library(orvane_settings STATIC AppDelegate.cpp)\n"
                               "target_link_libraries(orvane_settings PUBLIC orvane_menus\n  orvane_ui)\n",
}

BREACHES = {
    "an include from a peer program": ("runner/Run.cpp", '#include "settings/AppDelegate.h"\n', "settings/"),
    "an include from above": ("model/OVStore.h", '#include "menus/FinderSync.h"\n', "menus/"),
    "an include between menus and ui": ("ui/Window.cpp", '#include "menus/FinderSync.h"\n', "menus/"),
    "the protocol outside the change sender": ("model/OVPrefs.cpp", '#include "messaging/OVProtocol.h"\n', "messaging/"),
    "a GLib header in the model": ("model/OVTimer.cpp", "#include <gio/gio.h>\n", "gio/gio.h"),
    "a GTK header in the menus": ("menus/OVMenu.h", "#  include <adwaita.h>\n", "adwaita.h"),
    "a layer using a tool": ("platform/Paths.cpp", '#include "tools/RemoveTree.h"\n', "tools/"),
    "a test reaching above its layer": ("tests/model/StoreTests.cpp", '#include "runner/Run.h"\n', "runner/"),
    "the test support reaching ui": ("tests/support/Windows.h", '#include "ui/Window.h"\n', "ui/"),
    "a link to a peer program": ("runner/CMakeLists.txt", "add_library(orvane_runner STATIC Run.cpp)\n"
                                 "target_link_libraries(orvane_runner PUBLIC orvane_model orvane_settings)\n",
                                 "orvane_settings"),
    "a link to a peer library": ("menus/CMakeLists.txt", "add_library(orvane_menus STATIC FinderSync.cpp)\n"
                                 "target_link_libraries(orvane_menus PUBLIC\n  orvane_ui)\n", "orvane_ui"),
}


def run_checker(files):
    with tempfile.TemporaryDirectory() as root:
        for name, text in files.items():
            path = pathlib.Path(root, name)
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_text(text)
        done = subprocess.run([sys.executable, CHECKER, root], capture_output=True, text=True)
        return done.returncode, done.stdout


class CheckLayersTest(unittest.TestCase):
    def test_clean_tree_passes(self):
        self.assertEqual(run_checker(CLEAN), (0, ""))

    def test_every_breach_is_named(self):
        for what, (name, text, named) in BREACHES.items():
            with self.subTest(what):
                status, out = run_checker({**CLEAN, name: text})
                self.assertEqual(status, 1, out)
                self.assertIn(name, out)
                self.assertIn(named, out)


if __name__ == "__main__":
    unittest.main()
