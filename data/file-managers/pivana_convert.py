# SPDX-License-Identifier: GPL-3.0-or-later
"""Convert with Pivana: a context-menu entry for Nautilus, Nemo and Caja.

The submenu offers exactly the formats `pivana --targets` offers for the selection, in its
order; choosing one hands the files to the tray app with `pivana --convert FORMAT FILE...`,
which converts them with the panel's progress and a notification. The file manager runs this
code in its own process and waits for get_file_items, so the query is bounded by a short time
limit, and the conversion is started detached.
"""

import os
import subprocess
import sys
from urllib.parse import unquote_to_bytes, urlsplit

from gi.repository import GLib, GObject

# Each file manager's python loader imports its own extension module before it loads any
# extension, and the three modules share one menu API. Importing another file manager's module
# would load its library into this process, so the host is only ever the one already loaded.
_HOSTS = ("Nautilus", "Nemo", "Caja")
FileManager = next(
    (sys.modules["gi.repository." + name] for name in _HOSTS
     if "gi.repository." + name in sys.modules),
    None,
)
if FileManager is None:
    raise ImportError("pivana_convert runs inside Nautilus, Nemo or Caja")

PIVANA = "pivana"
SUBMENU_TITLE = "Convert with Pivana"
# A menu that appears late is better than a file manager that hangs; a slower answer shows
# nothing.
QUERY_SECONDS = 2.0


def local_paths(files):
    """The selection as local paths, or None when any item is a folder or not a local file."""
    paths = []
    for info in files:
        if info.get_uri_scheme() != "file" or info.is_directory():
            return None
        # File names are bytes; the URI keeps them exactly, UTF-8 or not.
        paths.append(os.fsdecode(unquote_to_bytes(urlsplit(info.get_uri()).path)))
    return paths


def common_targets(paths):
    """The formats every file can become, in the panel's order; empty when none can be offered,
    when pivana fails or does not answer within QUERY_SECONDS."""
    try:
        answer = subprocess.run(
            [PIVANA, "--targets", *paths],
            stdin=subprocess.DEVNULL,
            capture_output=True,
            timeout=QUERY_SECONDS,
            check=False,
        )
    except (OSError, subprocess.SubprocessError):
        return []
    if answer.returncode != 0:
        return []
    return answer.stdout.decode("utf-8", "replace").split()


def convert(target, paths):
    """Starts the conversion in the tray app without waiting for it; the app reports the
    outcome, and a refusal, with its own notification."""
    flags = (GLib.SpawnFlags.SEARCH_PATH | GLib.SpawnFlags.STDOUT_TO_DEV_NULL
             | GLib.SpawnFlags.STDERR_TO_DEV_NULL)
    try:
        # Without DO_NOT_REAP_CHILD GLib reaps the child itself: no zombie, no wait.
        GLib.spawn_async([PIVANA, "--convert", target, *paths], flags=flags)
    except (GLib.Error, TypeError, UnicodeError):
        pass  # nothing in the menu can show it, and the file manager must go on


class PivanaMenuProvider(GObject.GObject, FileManager.MenuProvider):
    def get_file_items(self, *args):
        # Nautilus 4 passes (files); Nemo and Caja pass (window, files).
        files = args[-1]
        paths = local_paths(files) if files else None
        targets = common_targets(paths) if paths else []
        if not targets:
            return []
        submenu = FileManager.Menu()
        for target in targets:
            item = FileManager.MenuItem(
                name="PivanaConvert::" + target,
                label=target.upper(),
                tip="Convert to {} with Pivana".format(target.upper()),
                icon="",
            )
            item.connect("activate", self._chosen, target, paths)
            submenu.append_item(item)
        top = FileManager.MenuItem(
            name="PivanaConvert", label=SUBMENU_TITLE, tip="", icon="io.pivana.Pivana"
        )
        top.set_submenu(submenu)
        return [top]

    def _chosen(self, _item, target, paths):
        convert(target, paths)
