# The real executable on an X display with a window manager, beside a kiosk application that has the
# keyboard: its icon in a real notification area, the colours a user sees, a fault, a double-click and
# the icon's menu; a desktop without a notification area; and one that speaks StatusNotifierItem (KDE
# Plasma, GNOME's AppIndicator extension), which reports a click on the icon as the item's Activate and
# has no double-click, played by a stand-in org.kde.StatusNotifierWatcher on a private session bus.
import glob, json, os, pathlib, shutil, subprocess
import pytest
from gi.repository import Gio, GLib
from conftest import ALL_WELL, Monitor, Process, Usb, ask, read, serve, served_client, usb_ini, wait_for

TITLE, FAULT, WATCHER = "Kelvaran Status Monitor Q62m", b"\x04\x00\x12\xf0", "org.kde.StatusNotifierWatcher"
# Qt takes the host as present only when the property is true and listed in the watcher's introspection
# data, which Gio builds from this description.
WATCHER_XML = f"""<node><interface name="{WATCHER}">
  <method name="RegisterStatusNotifierItem"><arg name="service" type="s" direction="in"/></method>
  <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
</interface></node>"""
NOTICES, NOTICES_PATH = "org.freedesktop.Notifications", "/org/freedesktop/Notifications"
NOTICES_XML = f"""<node><interface name="{NOTICES}"><method name="Notify">
  <arg type="s" direction="in"/><arg type="u" direction="in"/><arg type="s" direction="in"/><arg type="s" direction="in"/>
  <arg type="s" direction="in"/><arg type="as" direction="in"/><arg type="a{{sv}}" direction="in"/>
  <arg type="i" direction="in"/><arg type="u" direction="out"/></method></interface></node>"""


def start(lab, desktop):
    desktop.start("xmessage", "-name", "kiosk", "a kiosk application")
    kiosk = desktop.window("--name", "kiosk")
    assert wait_for(lambda: desktop.focus() == kiosk)
    usb = Usb(lab)
    monitor, port = serve(lab, usb_ini, display=desktop.display)
    assert ask(port, ALL_WELL) == ALL_WELL, monitor.errors()
    return kiosk, usb, monitor, port


def test_the_icon_shows_the_state_a_fault_shows_the_window_and_exit_in_the_icons_menu_ends_the_program(lab, desktop):
    desktop.start("trayer", "--edge", "bottom", "--align", "right", "--widthtype", "request", "--height", "32",
                  "--SetDockType", "true", "--expand", "true")
    assert desktop.window("--class", "trayer"), "trayer did not start"
    kiosk, usb, monitor, port = start(lab, desktop)
    icon = desktop.window("--classname", "StatusMonitorQ62m")
    assert wait_for(lambda: usb.count(b"s") >= 2) and wait_for(lambda: desktop.colours(icon) == {"green"})
    assert not desktop.windows("--name", TITLE), "an all-well printer brought the window up"

    # A fault shows the window with the Paper row red and leaves the keyboard with the kiosk.
    usb.set(FAULT)
    window = desktop.window("--name", TITLE)
    assert window, "the fault did not show the window"
    assert wait_for(lambda: desktop.colours(window, (20, 50), (20, 98), (20, 194)) == ["red", "green", "green"])
    assert wait_for(lambda: desktop.colours(icon) == {"red"}), "the icon does not show the fault"
    assert desktop.focus() == kiosk, "the alarm took the keyboard"
    desktop.screenshot("fault.png")
    usb.set(ALL_WELL)
    assert wait_for(lambda: desktop.colours(icon) == {"green"}), "the icon still shows the fault after a clean pass"

    # The user's double-click gives the window the keyboard.
    desktop.run("xdotool", "mousemove", "--window", icon, "8", "8", "click", "--repeat", "2", "--delay", "80", "1")
    assert wait_for(lambda: desktop.focus() == window), "the double-click did not activate the window"

    # Exit in the menu that opens at the right button's release ends the program, its clients and its icon.
    client, before = served_client(port), desktop.windows("--classname", "StatusMonitorQ62m")
    desktop.run("xdotool", "mousemove", "--window", icon, "8", "8", "click", "3")
    assert wait_for(lambda: set(desktop.windows("--classname", "StatusMonitorQ62m")) - set(before)), "no menu"
    desktop.run("xdotool", "key", "Up", "Return")
    assert monitor.exit_code() == 0, monitor.errors()
    assert client.recv(1) == b"", "the status client was not closed"
    assert not desktop.windows("--classname", "StatusMonitorQ62m"), "the icon stayed in the tray"


def test_without_a_notification_area_the_window_is_shown_at_start_and_a_fault_restores_it(lab, desktop):
    kiosk, usb, monitor, port = start(lab, desktop)
    window = desktop.window("--name", TITLE)
    assert window, "nothing would bring a hidden window back"
    assert desktop.focus() == kiosk, "the window shown at start took the keyboard"
    desktop.run("xdotool", "windowminimize", window)
    assert wait_for(lambda: not desktop.windows("--name", TITLE))
    desktop.run("xdotool", "windowactivate", "--sync", kiosk)
    usb.set(FAULT)
    assert desktop.window("--name", TITLE) == window, "the fault did not restore the minimised window"
    assert desktop.focus() == kiosk, "the alarm took the keyboard"
    lab.processes[0].kill()  # the X server: a lost display ends with the status the user unit restarts on
    assert monitor.exit_code() == 3, monitor.errors()


def serving(check):
    """`check`, asked once the bus's waiting calls have been served."""
    def served():
        while GLib.MainContext.default().iteration(False):
            pass
        return check()
    return served


def session_bus(lab):
    """A private session bus for a stand-in watcher and notification service: the bus, its address, the items
    registered with the watcher, the notices posted (each as Notify's arguments), and what starts both."""
    daemon = Process(lab, "dbus", ["dbus-daemon", "--session", "--nofork", "--print-address=1"])
    address = wait_for(lambda: read(daemon.out).endswith("\n") and read(daemon.out).strip())
    bus = Gio.DBusConnection.new_for_address_sync(
        address, Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION)
    items, notices = [], []

    def called(bus, sender, path, interface, method, arguments, invocation):
        (notices.append(arguments.unpack()) if method == "Notify" else items.append(arguments.unpack()[0]))
        invocation.return_value(GLib.Variant("(u)", (7,)) if method == "Notify" else None)
    def start():
        for name, path, xml in ((WATCHER, "/StatusNotifierWatcher", WATCHER_XML), (NOTICES, NOTICES_PATH, NOTICES_XML)):
            bus.register_object(path, Gio.DBusNodeInfo.new_for_xml(xml).interfaces[0], called,
                                lambda *_: GLib.Variant("b", True), None)
            bus.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
                          GLib.Variant("(su)", (name, 0)), None, Gio.DBusCallFlags.NONE, -1, None)
    return bus, address, items, notices, start


def test_activate_on_the_item_brings_the_hidden_main_window_into_view(lab, desktop):
    bus, address, items, _, start = session_bus(lab)
    start()
    monitor = Monitor(lab, "[General]\nUpdateInterval=3600\n[Printer1]\nPort=-1\n", display=desktop.display,
                      DBUS_SESSION_BUS_ADDRESS=address, XDG_CURRENT_DESKTOP="KDE")
    assert wait_for(serving(lambda: items)), "the monitor registered no item with the watcher"
    # The first poll's word about the absent USB library: start-up is over.
    assert wait_for(serving(lambda: "libZorvadev" in monitor.errors())), "no poll began"
    assert not desktop.windows("--name", TITLE), "the main window is shown before any click"
    call = lambda path, interface, method, *arguments: bus.call_sync(
        items[0], path, interface, method, GLib.Variant(*arguments), None, Gio.DBusCallFlags.NONE, 5000, None).unpack()
    # The host draws the menu: on Wayland one of the program's own would be a window that takes the keyboard.
    menu = call("/StatusNotifierItem", "org.freedesktop.DBus.Properties", "Get", "(ss)",
                ("org.kde.StatusNotifierItem", "Menu"))[0]
    assert menu != "/NO_DBUSMENU", "the item exports no menu"
    layout = call(menu, "com.canonical.dbusmenu", "GetLayout", "(iias)", (0, -1, []))[1]
    assert [item[1].get("label") for item in layout[2] if "label" in item[1]] == ["Show", "Exit"], layout
    call("/StatusNotifierItem", "org.kde.StatusNotifierItem", "Activate", "(ii)", (0, 0))
    assert wait_for(serving(lambda: desktop.windows("--name", TITLE))), "Activate left the main window hidden"


# sway on its headless backend, as nobody (it refuses root), with foot as the kiosk that has the keyboard; the panel
# (a StatusNotifierItem host) and the notification service start after the monitor.
def test_on_wayland_a_late_panel_takes_the_icon_and_a_fault_is_a_notice_that_leaves_the_kiosk_the_keyboard(lab):
    if missing := [tool for tool in ("sway", "swaymsg", "foot", "setpriv") if not shutil.which(tool)]:
        (pytest.fail if os.environ.get("CI") else pytest.skip)(f"not installed: {' '.join(missing)} (scripts/setup.sh)")
    os.chmod(lab.dir, 0o755)
    os.mkdir(runtime := lab.path("sway"))
    os.chown(runtime, 65534, 65534)
    pathlib.Path(lab.path("sway.config")).write_text("xwayland disable\n")
    Process(lab, "sway", ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "sway", "-c", lab.path("sway.config")],
            env=dict(os.environ, WLR_BACKENDS="headless", WLR_LIBINPUT_NO_DEVICES="1", WLR_RENDERER="pixman",
                     XDG_RUNTIME_DIR=runtime, HOME=runtime))
    sockets = wait_for(lambda: glob.glob(f"{runtime}/wayland-?") and glob.glob(f"{runtime}/sway-ipc.*"))
    assert sockets, "sway did not start"
    env = dict(os.environ, XDG_RUNTIME_DIR=lab.dir, WAYLAND_DISPLAY=glob.glob(f"{runtime}/wayland-?")[0],
               SWAYSOCK=sockets[0])

    def windows():
        """{app_id: whether it has the keyboard} of the windows sway shows."""
        found, nodes = {}, [json.loads(subprocess.run(["swaymsg", "-t", "get_tree", "-r"], env=env, capture_output=True).stdout)]
        while nodes:
            node = nodes.pop()
            nodes += node.get("nodes", []) + node.get("floating_nodes", [])
            found |= {node["app_id"]: node["focused"]} if node.get("app_id") else {}
        return found
    Process(lab, "foot", ["foot", "--app-id", "kiosk", "cat"], env=env)
    assert wait_for(lambda: windows().get("kiosk")), "the kiosk did not get the keyboard"
    bus, address, items, notices, start = session_bus(lab)
    usb = Usb(lab)
    Monitor(lab, "[General]\nUpdateInterval=1\n[Printer1]\nPort=-1\n", QT_QPA_PLATFORM="wayland", WAYLAND_DISPLAY=env["WAYLAND_DISPLAY"],
            DBUS_SESSION_BUS_ADDRESS=address, XDG_CURRENT_DESKTOP="KDE")
    assert wait_for(lambda: "statusmonitorq62m" in windows()), "without a notification area no window at start"
    start()
    assert wait_for(serving(lambda: items and usb.count(b"s") >= 2)), "the late panel got no item, or no poll"
    subprocess.run(["swaymsg", "[app_id=statusmonitorq62m]", "kill"], env=env)  # the close box
    assert wait_for(lambda: windows() == {"kiosk": True}), "the close box did not hide the window"
    usb.set(FAULT)
    assert wait_for(serving(lambda: notices)), "the fault posted no notice"
    assert windows() == {"kiosk": True}, "the alarm mapped the window, which takes the keyboard on Wayland"
    bus.emit_signal(None, NOTICES_PATH, NOTICES, "ActionInvoked", GLib.Variant("(us)", (7, "default")))
    assert wait_for(serving(lambda: windows().get("statusmonitorq62m"))), "the notice's click did not open the window"
