"""A StatusNotifier desktop's D-Bus side, for the tray test, and what a host
asks of an item.

  status_notifier_desktop.py watcher LOG        the item registry; each
                                                registration is a line of LOG
  status_notifier_desktop.py notifications LOG  the notification server; each
                                                notification is a JSON line
  status_notifier_desktop.py icon-name SERVICE  the item's IconName
  status_notifier_desktop.py menu SERVICE       the menu's items: label, enabled
  status_notifier_desktop.py click SERVICE LABEL  a click on a menu item
  status_notifier_desktop.py activate SERVICE   a left click on the item

Runs on the session bus; the servers run until they are killed.
"""

import json
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

WATCHER = "org.kde.StatusNotifierWatcher"
NOTIFICATIONS = "org.freedesktop.Notifications"
ITEM = "org.kde.StatusNotifierItem"
MENU = "com.canonical.dbusmenu"


# Qt reads the watcher through a QDBusInterface, whose properties come from
# the introspection data: dbus-python's own leaves them out.
WATCHER_XML = """<node>
 <interface name="org.kde.StatusNotifierWatcher">
  <method name="RegisterStatusNotifierItem"><arg name="service" type="s" direction="in"/></method>
  <method name="RegisterStatusNotifierHost"><arg name="service" type="s" direction="in"/></method>
  <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
  <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
  <property name="ProtocolVersion" type="i" access="read"/>
  <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
 </interface>
 <interface name="org.freedesktop.DBus.Properties">
  <method name="Get"><arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="v" direction="out"/></method>
  <method name="GetAll"><arg type="s" direction="in"/><arg type="a{sv}" direction="out"/></method>
 </interface>
</node>"""


class Watcher(dbus.service.Object):
    def __init__(self, bus, log):
        self.items = []
        self.log = log
        dbus.service.Object.__init__(self, bus, "/StatusNotifierWatcher")

    @dbus.service.method(WATCHER, in_signature="s", sender_keyword="sender")
    def RegisterStatusNotifierItem(self, service, sender=None):
        # Qt gives its object path or its bus name; the item lives at the
        # sender's name either way.
        self.items.append(sender)
        with open(self.log, "a") as out:
            out.write(sender + "\n")
        self.StatusNotifierItemRegistered(sender)

    @dbus.service.method(WATCHER, in_signature="s")
    def RegisterStatusNotifierHost(self, service):
        pass

    @dbus.service.signal(WATCHER, signature="s")
    def StatusNotifierItemRegistered(self, service):
        pass

    @dbus.service.method(dbus.INTROSPECTABLE_IFACE, out_signature="s")
    def Introspect(self):
        return WATCHER_XML

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        return self.GetAll(interface)[name]

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return {
            "IsStatusNotifierHostRegistered": True,
            "ProtocolVersion": dbus.Int32(0),
            "RegisteredStatusNotifierItems": dbus.Array(self.items, signature="s"),
        }


class Notifications(dbus.service.Object):
    def __init__(self, bus, log):
        self.log = log
        self.count = 0
        dbus.service.Object.__init__(self, bus, "/org/freedesktop/Notifications")

    @dbus.service.method(NOTIFICATIONS, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app, replaces, icon, summary, body, actions, hints, timeout):
        self.count += 1
        with open(self.log, "a") as out:
            out.write(json.dumps({"summary": str(summary), "body": str(body)}, ensure_ascii=False) + "\n")
        return self.count

    @dbus.service.method(NOTIFICATIONS, out_signature="as")
    def GetCapabilities(self):
        return ["body"]

    @dbus.service.method(NOTIFICATIONS, out_signature="ssss")
    def GetServerInformation(self):
        return ("kelvane-test", "example", "1", "1.2")

    @dbus.service.method(NOTIFICATIONS, in_signature="u")
    def CloseNotification(self, id):
        pass


def serve(name, make):
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    keep = dbus.service.BusName(name, bus)
    server = make(bus)
    GLib.MainLoop().run()


def item(service):
    return dbus.SessionBus().get_object(service, "/StatusNotifierItem")


def menu_items(service):
    path = item(service).Get(ITEM, "Menu", dbus_interface=dbus.PROPERTIES_IFACE)
    menu = dbus.SessionBus().get_object(service, path)
    _, layout = menu.GetLayout(0, -1, dbus.Array([], signature="s"), dbus_interface=MENU)
    found = []
    for child in layout[2]:
        number, properties = int(child[0]), child[1]
        if properties.get("type") == "separator":
            continue
        found.append((number, str(properties.get("label", "")), bool(properties.get("enabled", True))))
    return menu, found


def main(argv):
    command = argv[1]
    if command == "watcher":
        serve(WATCHER, lambda bus: Watcher(bus, argv[2]))
    elif command == "notifications":
        serve(NOTIFICATIONS, lambda bus: Notifications(bus, argv[2]))
    elif command == "icon-name":
        print(item(argv[2]).Get(ITEM, "IconName", dbus_interface=dbus.PROPERTIES_IFACE))
    elif command == "menu":
        for _, label, enabled in menu_items(argv[2])[1]:
            print(label, "enabled" if enabled else "disabled")
    elif command == "click":
        menu, found = menu_items(argv[2])
        number = next(number for number, label, _ in found if label == argv[3])
        menu.Event(dbus.Int32(number), "clicked", dbus.String("", variant_level=1), dbus.UInt32(0),
                   dbus_interface=MENU)
    elif command == "activate":
        item(argv[2]).Activate(dbus.Int32(0), dbus.Int32(0), dbus_interface=ITEM)
    else:
        sys.exit("unknown command " + command)


if __name__ == "__main__":
    main(sys.argv)
