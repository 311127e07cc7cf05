#!/usr/bin/python3
"""Reads and operates the tray app's windows through the accessibility bus, as a screen reader
does. Run with the session bus of the desktop under test in the environment.

  accessible.py tree            every showing object of the app, one JSON object a line
  accessible.py do PATH ACTION  performs the named action (Press, Toggle, SetFocus...) of the
                                object at PATH (child indices from the app, joined by "/")

Exit status 0 on success, 1 when the app or the object or the action is not there.
"""
import json
import sys

import pyatspi


def application():
    desktop = pyatspi.Registry.getDesktop(0)
    for index in range(desktop.childCount):
        app = desktop.getChildAtIndex(index)
        if app is not None and (app.name or "").lower() == "pivana":
            return app
    return None


def describe(node, path):
    states = node.getState()
    described = {
        "path": "/".join(str(i) for i in path),
        "role": node.getRoleName(),
        "name": node.name or "",
        "description": node.description or "",
        "states": sorted(pyatspi.stateToString(s) for s in states.getStates()),
        "actions": [],
        "extents": [0, 0, 0, 0],
    }
    try:
        box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        described["extents"] = [box.x, box.y, box.width, box.height]
    except NotImplementedError:
        pass
    try:
        action = node.queryAction()
        described["actions"] = [action.getName(i) for i in range(action.nActions)]
    except NotImplementedError:
        pass
    return described


def walk(node, path, out):
    if node is None:
        return
    showing = node.getState().contains(pyatspi.STATE_SHOWING)
    if path and not showing:
        return
    if path:
        out.append(describe(node, path))
    for index in range(node.childCount):
        walk(node.getChildAtIndex(index), path + [index], out)


def find(app, path):
    node = app
    for index in path.split("/"):
        node = node.getChildAtIndex(int(index))
        if node is None:
            return None
    return node


def main(argv):
    app = application()
    if app is None:
        return 1
    if argv[1:2] == ["tree"]:
        out = []
        walk(app, [], out)
        for entry in out:
            print(json.dumps(entry))
        return 0
    if argv[1:2] == ["do"] and len(argv) == 4:
        node = find(app, argv[2])
        if node is None:
            return 1
        action = node.queryAction()
        for i in range(action.nActions):
            if action.getName(i).lower() == argv[3].lower():
                return 0 if action.doAction(i) else 1
        return 1
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
