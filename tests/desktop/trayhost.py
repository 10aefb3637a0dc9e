#!/usr/bin/env python3
"""A StatusNotifierItem host and a notification server on the session bus.

Stands in for the tray of KDE Plasma, GNOME's AppIndicator extension or XFCE:
items register with the watcher, notifications are recorded. The test reads
what it saw through the x.sentrel.TestHost interface.

    trayhost.py [--no-watcher] [--no-notifications] [--no-body-markup]
"""

import argparse
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

WATCHER = "org.kde.StatusNotifierWatcher"
NOTIFICATIONS = "org.freedesktop.Notifications"
PROPERTIES = "org.freedesktop.DBus.Properties"
TEST_HOST = "x.sentrel.TestHost"

WATCHER_XML = """<node>
 <interface name="org.kde.StatusNotifierWatcher">
  <method name="RegisterStatusNotifierItem"><arg name="service" type="s" direction="in"/></method>
  <method name="RegisterStatusNotifierHost"><arg name="service" type="s" direction="in"/></method>
  <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
  <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
  <property name="ProtocolVersion" type="i" access="read"/>
  <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
  <signal name="StatusNotifierItemUnregistered"><arg type="s"/></signal>
  <signal name="StatusNotifierHostRegistered"/>
 </interface>
 <interface name="org.freedesktop.DBus.Properties">
  <method name="Get"><arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="v" direction="out"/></method>
  <method name="GetAll"><arg type="s" direction="in"/><arg type="a{sv}" direction="out"/></method>
 </interface>
 <interface name="org.freedesktop.DBus.Introspectable">
  <method name="Introspect"><arg type="s" direction="out"/></method>
 </interface>
</node>"""


class Watcher(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, "/StatusNotifierWatcher")
        self.bus = bus
        self.items = []
        bus.add_signal_receiver(self._owner_changed, "NameOwnerChanged",
                                "org.freedesktop.DBus", "org.freedesktop.DBus")

    def _owner_changed(self, name, old, new):
        gone = [i for i in self.items if not new and (i == name or i.startswith(name + "/"))]
        for item in gone:
            self.items.remove(item)
            self.StatusNotifierItemUnregistered(item)

    @dbus.service.method(WATCHER, in_signature="s", sender_keyword="sender")
    def RegisterStatusNotifierItem(self, service, sender=None):
        # An item may pass its object path only; then the sender names it.
        item = sender + service if service.startswith("/") else service
        if item not in self.items:
            self.items.append(item)
            self.StatusNotifierItemRegistered(item)

    @dbus.service.method(WATCHER, in_signature="s")
    def RegisterStatusNotifierHost(self, service):
        pass

    @dbus.service.signal(WATCHER, signature="s")
    def StatusNotifierItemRegistered(self, item):
        pass

    @dbus.service.signal(WATCHER, signature="s")
    def StatusNotifierItemUnregistered(self, item):
        pass

    @dbus.service.signal(WATCHER, signature="")
    def StatusNotifierHostRegistered(self):
        pass

    def _properties(self):
        return {"RegisteredStatusNotifierItems": dbus.Array(self.items, signature="s"),
                "IsStatusNotifierHostRegistered": dbus.Boolean(True),
                "ProtocolVersion": dbus.Int32(0)}

    # Clients that read properties through introspection need them listed.
    @dbus.service.method("org.freedesktop.DBus.Introspectable", out_signature="s")
    def Introspect(self):
        return WATCHER_XML

    @dbus.service.method(PROPERTIES, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        return self._properties()[name]

    @dbus.service.method(PROPERTIES, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return self._properties()


class Notifications(dbus.service.Object):
    def __init__(self, bus, body_markup):
        super().__init__(bus, "/org/freedesktop/Notifications")
        self.capabilities = ["body", "actions"] + (["body-markup"] if body_markup else [])
        self.received = []

    @dbus.service.method(NOTIFICATIONS, out_signature="as")
    def GetCapabilities(self):
        return self.capabilities

    @dbus.service.method(NOTIFICATIONS, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app, replaces, icon, summary, body, actions, hints, timeout):
        self.received.append((str(app), str(summary), str(body), str(icon)))
        return dbus.UInt32(len(self.received))

    @dbus.service.method(NOTIFICATIONS, in_signature="u")
    def CloseNotification(self, id):
        pass

    @dbus.service.method(NOTIFICATIONS, out_signature="ssss")
    def GetServerInformation(self):
        return ("test-host", "sentrel", "1", "1.2")


class TestHost(dbus.service.Object):
    def __init__(self, bus, watcher, notifications):
        super().__init__(bus, "/TestHost")
        self.watcher = watcher
        self.notifications = notifications

    @dbus.service.method(TEST_HOST, out_signature="as")
    def Items(self):
        return self.watcher.items if self.watcher else []

    @dbus.service.method(TEST_HOST, out_signature="a(ssss)")
    def Notifications(self):
        return self.notifications.received if self.notifications else []


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--no-watcher", action="store_true")
    parser.add_argument("--no-notifications", action="store_true")
    parser.add_argument("--no-body-markup", action="store_true")
    args = parser.parse_args()

    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    watcher = None if args.no_watcher else Watcher(bus)
    notifications = None if args.no_notifications else Notifications(bus, not args.no_body_markup)
    TestHost(bus, watcher, notifications)
    names = [dbus.service.BusName(TEST_HOST, bus)]  # kept: a dropped BusName is released
    if notifications:
        names.append(dbus.service.BusName(NOTIFICATIONS, bus))
    if watcher:
        # Last, so a program that sees the watcher finds everything else.
        names.append(dbus.service.BusName(WATCHER, bus))
    sys.stdout.write("ready\n")
    sys.stdout.flush()
    GLib.MainLoop().run()


if __name__ == "__main__":
    main()
