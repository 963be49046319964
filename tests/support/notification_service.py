"""Stand-in notification service and file manager on the bus of DBUS_SESSION_BUS_ADDRESS.

Usage: notification_service.py LOG
Every Notify and ShowItems call is appended to LOG as one JSON object a line;
{"ready": true} is written once both names are owned. A test steers it through
the interface STEER on the notifications object: SetCapabilities(as) changes
what GetCapabilities answers (at first "actions" and "body"), and
InvokeAction(u, s) emits ActionInvoked as a click on a notification's action
would.
"""

import json
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

NOTIFICATIONS = "org.freedesktop.Notifications"
FILE_MANAGER = "org.freedesktop.FileManager1"
STEER = "org.pellmarsh.test.NotificationStandIn"


def note(record):
    with open(sys.argv[1], "a") as log:
        log.write(json.dumps(record) + "\n")


class Notifications(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, "/org/freedesktop/Notifications")
        self.capabilities = ["actions", "body"]
        self.last_id = 0

    @dbus.service.method(NOTIFICATIONS, in_signature="", out_signature="as")
    def GetCapabilities(self):
        return self.capabilities

    @dbus.service.method(NOTIFICATIONS, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout):
        self.last_id += 1
        note({
            "call": "Notify", "id": self.last_id, "app_name": str(app_name),
            "replaces_id": int(replaces_id), "app_icon": str(app_icon), "summary": str(summary),
            "body": str(body), "actions": [str(a) for a in actions],
            "hints": {str(k): str(v) for k, v in hints.items()},
            "expire_timeout": int(expire_timeout),
        })
        return self.last_id

    @dbus.service.method(NOTIFICATIONS, in_signature="u", out_signature="")
    def CloseNotification(self, notification_id):
        self.NotificationClosed(notification_id, 3)

    @dbus.service.signal(NOTIFICATIONS, signature="us")
    def ActionInvoked(self, notification_id, action_key):
        pass

    @dbus.service.signal(NOTIFICATIONS, signature="uu")
    def NotificationClosed(self, notification_id, reason):
        pass

    @dbus.service.method(STEER, in_signature="as", out_signature="")
    def SetCapabilities(self, capabilities):
        self.capabilities = [str(c) for c in capabilities]

    @dbus.service.method(STEER, in_signature="us", out_signature="")
    def InvokeAction(self, notification_id, action_key):
        self.ActionInvoked(notification_id, action_key)


class FileManager(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, "/org/freedesktop/FileManager1")

    @dbus.service.method(FILE_MANAGER, in_signature="ass", out_signature="")
    def ShowItems(self, uris, startup_id):
        note({"call": "ShowItems", "uris": [str(u) for u in uris]})


def main():
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    objects = [Notifications(bus), FileManager(bus)]
    names = [dbus.service.BusName(NOTIFICATIONS, bus), dbus.service.BusName(FILE_MANAGER, bus)]
    note({"ready": True})
    GLib.MainLoop().run()
    del names, objects


if __name__ == "__main__":
    main()
