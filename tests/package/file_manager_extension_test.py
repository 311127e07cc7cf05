"""The "Convert with Pivana" extension of Nautilus, Nemo and Caja, loaded as each file manager
loads it, against a small stand-in for the file manager's module (the real one only works
inside a running file manager) and the real `pivana --targets` from the build.

usage: file_manager_extension_test.py EXTENSION BUILD_BIN
"""

import os
import sys
import tempfile
import types
import unittest
from urllib.parse import quote

EXTENSION, BUILD_BIN = sys.argv[1], sys.argv[2]
os.environ["PATH"] = BUILD_BIN + os.pathsep + os.environ["PATH"]


class MenuItem:
    def __init__(self, name, label, tip, icon):
        self.name, self.label, self.submenu, self.handlers = name, label, None, []

    def connect(self, signal, handler, *data):
        self.handlers.append((signal, handler, data))

    def set_submenu(self, menu):
        self.submenu = menu

    def activate(self):
        for signal, handler, data in self.handlers:
            if signal == "activate":
                handler(self, *data)


class Menu:
    def __init__(self):
        self.items = []

    def append_item(self, item):
        self.items.append(item)


class FileInfo:
    def __init__(self, path, uri_scheme="file", directory=False):
        self.path, self.scheme, self.directory = path, uri_scheme, directory

    def get_uri(self):
        return self.scheme + "://" + quote(os.fsencode(self.path))

    def get_uri_scheme(self):
        return self.scheme

    def is_directory(self):
        return self.directory


def install_stand_ins(host):
    """A gi package with GObject, GLib (recording what would be started) and the host's
    module, imported the way the host's python loader imports it."""
    spawned = []
    gi = types.ModuleType("gi")
    gi.__path__ = []
    repository = types.ModuleType("gi.repository")
    repository.__path__ = []
    gobject = types.ModuleType("gi.repository.GObject")
    gobject.GObject = type("GObject", (), {})
    glib = types.ModuleType("gi.repository.GLib")
    glib.Error = type("Error", (Exception,), {})
    glib.SpawnFlags = types.SimpleNamespace(
        SEARCH_PATH=1, STDOUT_TO_DEV_NULL=2, STDERR_TO_DEV_NULL=4)
    glib.spawn_async = lambda argv, flags: spawned.append((argv, flags))
    manager = types.ModuleType("gi.repository." + host)
    manager.MenuProvider = type("MenuProvider", (), {})
    manager.Menu, manager.MenuItem = Menu, MenuItem
    for module in (gi, repository, gobject, glib, manager):
        sys.modules[module.__name__] = module
    repository.GObject, repository.GLib = gobject, glib
    setattr(repository, host, manager)
    return spawned


def load_extension(host):
    for name in [n for n in sys.modules if n == "gi" or n.startswith("gi.")]:
        del sys.modules[name]
    spawned = install_stand_ins(host)
    # Loaded afresh for each host, as the host's own Python would, with the stand-ins above.
    module = types.ModuleType("pivana_convert_" + host)
    module.__file__ = EXTENSION
    with open(EXTENSION, encoding="utf-8") as source:
        exec(compile(source.read(), EXTENSION, "exec"), module.__dict__)
    # The time limit has a test of its own; a sanitized pivana on a busy machine may need more.
    module.QUERY_SECONDS = 120
    return module, spawned


class ConvertWithPivana(unittest.TestCase):
    HOSTS = {"Nautilus": False, "Nemo": True, "Caja": True}  # does it pass a window?

    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.addCleanup(self.folder.cleanup)

    def file(self, name, **kind):
        return FileInfo(os.path.join(self.folder.name, name), **kind)

    def menu(self, host, files):
        module, spawned = load_extension(host)
        provider = module.PivanaMenuProvider()
        args = (object(), files) if self.HOSTS[host] else (files,)
        return provider.get_file_items(*args), spawned

    def offered(self, host, files):
        items, _ = self.menu(host, files)
        if not items:
            return []
        self.assertEqual([item.label for item in items], ["Convert with Pivana"])
        return [item.label for item in items[0].submenu.items]

    def test_offers_the_common_targets_in_the_panels_order_in_every_file_manager(self):
        for host in self.HOSTS:
            with self.subTest(host=host):
                self.assertEqual(
                    self.offered(host, [self.file("a.jpg"), self.file("b.PNG")]),
                    ["HEIC", "AVIF", "EXR", "TIFF", "GIF", "BMP", "PSD", "WEBP", "PDF"])
                self.assertEqual(
                    self.offered(host, [self.file("clip.mov")]),
                    ["MP4", "M4V", "WEBM", "GIF", "M4A", "WAV", "AIFF", "AAC", "FLAC", "MP3",
                     "OPUS"])

    def test_offers_nothing_where_the_panel_would_not(self):
        cases = {
            "mixed kinds": [self.file("a.gif"), self.file("b.png")],
            "pdf with a document": [self.file("a.pdf"), self.file("b.docx")],
            "no route": [self.file("notes.zip")],
            "one file without a route": [self.file("a.mp3"), self.file("b.wma")],
            "a folder named like an image": [self.file("holiday.png", directory=True)],
            "a remote file": [self.file("a.png", uri_scheme="sftp")],
            "nothing selected": [],
        }
        for case, files in cases.items():
            with self.subTest(case):
                self.assertEqual(self.offered("Nautilus", files), [])

    def test_choosing_a_format_hands_the_exact_paths_to_the_app_without_waiting(self):
        files = [self.file("Scan 1 (100%).tiff"), self.file("ünïcode #2.heic"),
                 self.file(os.fsdecode(b"latin-1 \xe9t\xe9.jpg"))]
        items, spawned = self.menu("Nemo", files)
        png = next(item for item in items[0].submenu.items if item.label == "PNG")
        self.assertEqual(spawned, [])
        png.activate()
        self.assertEqual(len(spawned), 1)
        argv, flags = spawned[0]
        self.assertEqual(argv, ["pivana", "--convert", "png"] + [f.path for f in files])
        self.assertTrue(flags & 1, "pivana is found on the PATH")

    def test_a_pivana_that_does_not_answer_in_time_shows_nothing(self):
        module, _ = load_extension("Caja")
        slow = os.path.join(self.folder.name, "pivana")
        with open(slow, "w") as script:
            script.write("#!/bin/sh\nexec sleep 30\n")
        os.chmod(slow, 0o755)
        module.PIVANA, module.QUERY_SECONDS = slow, 0.2
        self.assertEqual(module.PivanaMenuProvider().get_file_items(None, [self.file("a.png")]),
                         [])
        module.PIVANA = os.path.join(self.folder.name, "missing")
        self.assertEqual(module.PivanaMenuProvider().get_file_items(None, [self.file("a.png")]),
                         [])


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
