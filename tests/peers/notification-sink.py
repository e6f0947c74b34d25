#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
# A desktop notification service for the demo: it owns org.freedesktop.Notifications on the
# session bus in DBUS_SESSION_BUS_ADDRESS and writes each notice it is asked to show to
# FOLDER/notice-N.txt (application, summary, body). Prints "ready" once it owns the name.
#
#   notification-sink.py FOLDER
import os
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

NAME = "org.freedesktop.Notifications"


class Notifications(dbus.service.Object):
    def __init__(self, bus, folder):
        super().__init__(bus, "/org/freedesktop/Notifications")
        self.folder = folder
        self.count = 0

    @dbus.service.method(NAME, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app, replaces, icon, summary, body, actions, hints, timeout):
        self.count += 1
        path = os.path.join(self.folder, "notice-%d.txt" % self.count)
        with open(path + ".part", "w", encoding="utf-8") as out:
            out.write("application: %s\nicon: %s\nsummary: %s\nbody:\n%s\n" % (app, icon, summary, body))
        os.replace(path + ".part", path)
        return self.count

    @dbus.service.method(NAME, in_signature="", out_signature="as")
    def GetCapabilities(self):
        return ["body", "body-markup"]

    @dbus.service.method(NAME, in_signature="", out_signature="ssss")
    def GetServerInformation(self):
        return ("korvalen-demo", "korvalen", "1", "1.2")


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: notification-sink.py FOLDER")
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    name = dbus.service.BusName(NAME, bus, do_not_queue=True)
    service = Notifications(bus, sys.argv[1])
    print("ready", flush=True)
    GLib.MainLoop().run()
    del name, service


if __name__ == "__main__":
    main()
