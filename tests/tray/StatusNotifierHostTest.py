#!/usr/bin/python3
# A notification area that speaks StatusNotifierItem (KDE Plasma, GNOME's
# AppIndicator extension) reports a click on the icon as the item's Activate
# and has no double-click. The real executable on an X display (Xvfb), with a
# stand-in org.kde.StatusNotifierWatcher on a private session bus, registers
# its item and starts with the main window hidden; Activate brings it up.
#   StatusNotifierHostTest.py <StatusMonitorQ62m>
import ctypes, os, shutil, signal, subprocess, sys, tempfile, time, unittest
from gi.repository import Gio, GLib

MONITOR = sys.argv[1]
CAPTION = "Kelvaran Status Monitor Q62m"
WATCHER = "org.kde.StatusNotifierWatcher"
# Qt takes the host as present only when the property is true and listed in
# the watcher's introspection data, which Gio builds from this description.
WATCHER_XML = f"""<node><interface name="{WATCHER}">
  <method name="RegisterStatusNotifierItem"><arg name="service" type="s" direction="in"/></method>
  <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
</interface></node>"""


def wait_for(check, seconds=20):
    """Serves the bus while it waits for `check`."""
    deadline = time.monotonic() + seconds
    while not (result := check()) and time.monotonic() < deadline:
        while GLib.MainContext.default().iteration(False):
            pass
        time.sleep(0.05)
    return result


class StatusNotifierHostTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.dir)
        self.children = []
        self.addCleanup(self.stop_children)
        bus = self.child(["dbus-daemon", "--session", "--nofork", "--print-address=1"])
        xvfb = self.child(["Xvfb", "-displayfd", "1", "-screen", "0", "640x480x24", "-nolisten", "tcp"])
        self.env = dict(os.environ, DBUS_SESSION_BUS_ADDRESS=bus.stdout.readline().strip(),
                        DISPLAY=":" + xvfb.stdout.readline().strip(), XDG_CURRENT_DESKTOP="KDE",
                        XDG_RUNTIME_DIR=self.dir)
        self.env.pop("QT_QPA_PLATFORM", None)
        self.env.pop("WAYLAND_DISPLAY", None)
        self.items = []
        self.bus = Gio.DBusConnection.new_for_address_sync(
            self.env["DBUS_SESSION_BUS_ADDRESS"],
            Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION)
        self.bus.register_object("/StatusNotifierWatcher", Gio.DBusNodeInfo.new_for_xml(WATCHER_XML).interfaces[0],
                                 self.watcher_call, self.watcher_property, None)
        self.bus.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
                           GLib.Variant("(su)", (WATCHER, 0)), None, Gio.DBusCallFlags.NONE, -1, None)

    def child(self, command, **options):
        """A child process that dies with the test."""
        process = subprocess.Popen(command, stdout=subprocess.PIPE, text=True, **options,
                                   preexec_fn=lambda: ctypes.CDLL(None).prctl(1, signal.SIGKILL))
        self.children.append(process)
        return process

    def stop_children(self):
        for process in reversed(self.children):
            process.kill()
            process.wait()

    def watcher_call(self, bus, sender, path, interface, method, arguments, invocation):
        self.items.append(arguments.unpack()[0])
        invocation.return_value(None)

    def watcher_property(self, bus, sender, path, interface, name):
        return GLib.Variant("b", True)

    def window_shown(self):
        return subprocess.run(["xdotool", "search", "--onlyvisible", "--name", CAPTION], env=self.env,
                              capture_output=True).returncode == 0

    def test_activate_on_the_item_brings_the_main_window_into_view(self):
        exe = os.path.join(self.dir, "StatusMonitorQ62m")
        shutil.copy(MONITOR, exe)
        with open(exe + ".ini", "w") as f:
            f.write("[General]\nUpdateInterval=3600\n[Printer1]\nPort=-1\n")
        with open(exe + ".err", "w") as errors:
            self.child([exe], cwd=self.dir, env=self.env, stderr=errors)
        self.assertTrue(wait_for(lambda: self.items), "the monitor registered no item with the watcher")
        # The first poll's word about the absent USB library: start-up is over.
        self.assertTrue(wait_for(lambda: "libZorvadev" in open(exe + ".err").read()), "no poll began")
        self.assertFalse(self.window_shown(), "the main window is shown before any click")

        self.bus.call_sync(self.items[0], "/StatusNotifierItem", "org.kde.StatusNotifierItem", "Activate",
                           GLib.Variant("(ii)", (0, 0)), None, Gio.DBusCallFlags.NONE, 5000, None)
        self.assertTrue(wait_for(self.window_shown), "Activate left the main window hidden")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
