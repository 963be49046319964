"""Stand-in NetworkManager and logind on the bus of DBUS_SYSTEM_BUS_ADDRESS.

Usage: power_services.py LOG TYPE...
Each TYPE becomes an active connection, numbered from 1 in the given order.
Every call that would hang up or switch off is appended to LOG as a line
("deactivate <path>", "poweroff <interactive>"), and so is each sleep
inhibitor taken ("inhibit <what> <who> <mode> <why>") and let go
("released"); "ready" is written once both names are owned. NetworkManager's
Metered starts unknown (0); the test sets it with SetMetered(u) on
org.example.StandIn, which signals the change as NetworkManager does.
"""

import os
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

NM = "org.freedesktop.NetworkManager"
NM_PATH = "/org/freedesktop/NetworkManager"
ACTIVE = NM + ".Connection.Active"
PROPERTIES = "org.freedesktop.DBus.Properties"
LOGIN = "org.freedesktop.login1"
STAND_IN = "org.example.StandIn"


def note(line):
    with open(sys.argv[1], "a") as log:
        log.write(line + "\n")


class ActiveConnection(dbus.service.Object):
    def __init__(self, bus, path, kind):
        super().__init__(bus, path)
        self.kind = kind

    @dbus.service.method(PROPERTIES, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        if interface == ACTIVE and name == "Type":
            return dbus.String(self.kind)
        raise dbus.exceptions.DBusException("no such property", name=PROPERTIES + ".Error")


class NetworkManager(dbus.service.Object):
    def __init__(self, bus, paths):
        super().__init__(bus, NM_PATH)
        self.paths = paths
        self.metered = 0

    @dbus.service.method(PROPERTIES, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        if interface == NM and name == "ActiveConnections":
            return dbus.Array([dbus.ObjectPath(p) for p in self.paths], signature="o")
        if interface == NM and name == "Metered":
            return dbus.UInt32(self.metered)
        raise dbus.exceptions.DBusException("no such property", name=PROPERTIES + ".Error")

    @dbus.service.method(NM, in_signature="o", out_signature="")
    def DeactivateConnection(self, path):
        note("deactivate " + str(path))

    @dbus.service.signal(PROPERTIES, signature="sa{sv}as")
    def PropertiesChanged(self, interface, changed, invalidated):
        pass

    @dbus.service.method(STAND_IN, in_signature="u", out_signature="")
    def SetMetered(self, value):
        self.metered = value
        self.PropertiesChanged(
            NM,
            dbus.Dictionary({"Metered": dbus.UInt32(value)}, signature="sv"),
            dbus.Array([], signature="s"),
        )


class Login(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, "/org/freedesktop/login1")

    @dbus.service.method(LOGIN + ".Manager", in_signature="b", out_signature="")
    def PowerOff(self, interactive):
        note("poweroff " + ("true" if interactive else "false"))

    # As logind does: the caller holds the lock while it keeps the pipe's
    # writing end open; its close shows here as the end of the pipe.
    @dbus.service.method(LOGIN + ".Manager", in_signature="ssss", out_signature="h")
    def Inhibit(self, what, who, why, mode):
        kept, given = os.pipe()
        note(" ".join(["inhibit", what, who, mode, why]))
        GLib.io_add_watch(kept, GLib.PRIORITY_DEFAULT, GLib.IO_IN | GLib.IO_HUP | GLib.IO_ERR,
                          self.released)
        lock = dbus.types.UnixFd(given)  # a copy: ours goes at once
        os.close(given)
        return lock

    def released(self, fd, condition):
        note("released")
        os.close(fd)
        return False


def main():
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SystemBus()
    paths = []
    objects = []
    for number, kind in enumerate(sys.argv[2:], start=1):
        path = NM_PATH + "/ActiveConnection/%d" % number
        paths.append(path)
        objects.append(ActiveConnection(bus, path, kind))
    objects.append(NetworkManager(bus, paths))
    objects.append(Login(bus))
    names = [dbus.service.BusName(NM, bus), dbus.service.BusName(LOGIN, bus)]
    note("ready")
    GLib.MainLoop().run()
    del names


if __name__ == "__main__":
    main()
