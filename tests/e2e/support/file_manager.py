#!/usr/bin/python3
"""A stand-in for the file manager's D-Bus service (org.freedesktop.FileManager1) on the session
bus: it writes each ShowItems call's URIs, one a line, to the file named on its command line."""
import sys

from gi.repository import Gio, GLib

INTERFACE = """
<node>
  <interface name="org.freedesktop.FileManager1">
    <method name="ShowItems">
      <arg type="as" name="uris" direction="in"/>
      <arg type="s" name="startupId" direction="in"/>
    </method>
  </interface>
</node>
"""


def main(record):
    node = Gio.DBusNodeInfo.new_for_xml(INTERFACE)

    def called(connection, sender, path, interface, method, parameters, invocation):
        uris, _ = parameters.unpack()
        with open(record, "a", encoding="utf-8") as out:
            out.write("".join(uri + "\n" for uri in uris))
        invocation.return_value(None)

    def acquired(connection, name):
        connection.register_object("/org/freedesktop/FileManager1", node.interfaces[0], called)

    Gio.bus_own_name(Gio.BusType.SESSION, "org.freedesktop.FileManager1",
                     Gio.BusNameOwnerFlags.NONE, acquired, None, None)
    GLib.MainLoop().run()


if __name__ == "__main__":
    main(sys.argv[1])
