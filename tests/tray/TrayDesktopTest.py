# The real executable on an X display with a window manager, beside a kiosk application that has the
# keyboard: its icon in a real notification area, the colours a user sees, a fault, a double-click and
# the icon's menu; and a desktop without a notification area.
from conftest import ALL_WELL, Usb, ask, serve, served_client, usb_ini, wait_for

TITLE, FAULT = "Kelvaran Status Monitor Q62m", b"\x04\x00\x12\xf0"


def start(lab, desktop):
    """The kiosk application with the keyboard, then the monitor on a USB printer answering all well."""
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
