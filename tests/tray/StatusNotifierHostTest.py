# A notification area that speaks StatusNotifierItem (KDE Plasma, GNOME's AppIndicator extension) reports
# a click on the icon as the item's Activate and has no double-click. With a stand-in
# org.kde.StatusNotifierWatcher on a private session bus the monitor registers its item and starts with
# the main window hidden; Activate brings it up.
from gi.repository import Gio, GLib
from conftest import Monitor, Process, read, wait_for

WATCHER = "org.kde.StatusNotifierWatcher"
# Qt takes the host as present only when the property is true and listed in the watcher's introspection
# data, which Gio builds from this description.
WATCHER_XML = f"""<node><interface name="{WATCHER}">
  <method name="RegisterStatusNotifierItem"><arg name="service" type="s" direction="in"/></method>
  <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
</interface></node>"""


def serving(check):
    """`check`, asked once the bus's waiting calls have been served."""
    def served():
        while GLib.MainContext.default().iteration(False):
            pass
        return check()
    return served


def test_activate_on_the_item_brings_the_hidden_main_window_into_view(lab, desktop):
    daemon = Process(lab, "dbus", ["dbus-daemon", "--session", "--nofork", "--print-address=1"])
    address = wait_for(lambda: read(daemon.out).endswith("\n") and read(daemon.out).strip())
    bus = Gio.DBusConnection.new_for_address_sync(
        address, Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION)
    items = []

    def register(bus, sender, path, interface, method, arguments, invocation):
        items.append(arguments.unpack()[0])
        invocation.return_value(None)
    bus.register_object("/StatusNotifierWatcher", Gio.DBusNodeInfo.new_for_xml(WATCHER_XML).interfaces[0], register,
                        lambda *_: GLib.Variant("b", True), None)
    bus.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
                  GLib.Variant("(su)", (WATCHER, 0)), None, Gio.DBusCallFlags.NONE, -1, None)
    monitor = Monitor(lab, "[General]\nUpdateInterval=3600\n[Printer1]\nPort=-1\n", display=desktop.display,
                      DBUS_SESSION_BUS_ADDRESS=address, XDG_CURRENT_DESKTOP="KDE")
    assert wait_for(serving(lambda: items)), "the monitor registered no item with the watcher"
    # The first poll's word about the absent USB library: start-up is over.
    assert wait_for(serving(lambda: "libZorvadev" in monitor.errors())), "no poll began"
    title = "Kelvaran Status Monitor Q62m"
    assert not desktop.windows("--name", title), "the main window is shown before any click"
    bus.call_sync(items[0], "/StatusNotifierItem", "org.kde.StatusNotifierItem", "Activate",
                  GLib.Variant("(ii)", (0, 0)), None, Gio.DBusCallFlags.NONE, 5000, None)
    assert wait_for(serving(lambda: desktop.windows("--name", title))), "Activate left the main window hidden"
