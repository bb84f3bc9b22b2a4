# Start-up of the real executable: the failures that stop it and the single-instance rule.
import hashlib, os, pathlib, re, socket, sys
import pytest
from conftest import Monitor, Process, read, wait_for

HELD = socket.create_server(("127.0.0.1", 0))  # a status port that another program holds


@pytest.mark.parametrize("ini, message", [
    (None, "StatusMonitorQ62m: Unable to open ini file!\n"),
    ("[General]\nPrinters=2\n[Printer1]\nPort=1\n[Printer2]\nPort=USB\n", "StatusMonitorQ62m: Run-time error 13: Type mismatch"),
    ("[General]\nUpdateInterval=40000\n[Printer1]\nPort=-1\n", "StatusMonitorQ62m: Run-time error 6: Overflow"),
    (f"[Printer1]\nPort=-1\nStatusServerSocket={HELD.getsockname()[1]}\n",
     "StatusMonitorQ62m: Run-time error 10048: Address already in use."),
    # The configuration is named after the executable.
    ("[Printer1]\nPort=-1\n", "StatusMonitorQ62m: Unable to open ini file!\n"),
    # A FIFO would block the reader until someone writes to it: no regular file, no configuration.
    ("fifo", "StatusMonitorQ62m: Unable to open ini file!\n"),
    ("large", "StatusMonitorQ62m: The ini file is larger than 1048576 bytes")])
def test_a_failure_ends_the_program_with_its_message_and_status_one(lab, ini, message):
    if made := {"fifo": os.mkfifo, "large": lambda path: pathlib.Path(path).write_text("x" * (1 << 20) + "\n")}.get(ini):
        made(lab.path("StatusMonitorQ62m.ini"))
    monitor = Monitor(lab, None if made else ini,
                      name="KioskMonitor" if ini == "[Printer1]\nPort=-1\n" else "StatusMonitorQ62m")
    assert monitor.exit_code() == 1, monitor.errors()
    assert monitor.errors().startswith(message)


# A Wayland socket that is gone, an X server that is not there, a platform plugin that is missing: one
# line says so, every line of Qt's message is prefixed, and the status is neither Qt's abort nor 1.
@pytest.mark.parametrize("env", [dict(WAYLAND_DISPLAY="wayland-gone", QT_QPA_PLATFORM=""), dict(display=":1999"),
                                 dict(QT_QPA_PLATFORM="wayland-absent")])
def test_a_display_that_cannot_be_opened_ends_the_start_with_a_message_and_status_two(lab, env):
    monitor = Monitor(lab, "[Printer1]\nPort=-1\n", **env)
    assert monitor.exit_code() == 2, monitor.errors()
    lines = monitor.errors().splitlines()
    assert lines[-1].startswith("StatusMonitorQ62m: no display to start on"), lines
    assert all(line.startswith("StatusMonitorQ62m: ") for line in lines), lines


# One monitor per configuration file on the whole machine, whoever starts it and by whichever path. A name
# held by another user's program, which takes no connections, is told, with a status the unit restarts on.
SQUAT = "import signal, socket, sys; s = socket.socket(socket.AF_UNIX); s.bind(chr(0) + sys.argv[1]); signal.pause()"


@pytest.mark.parametrize("user, name, status, errors", [
    (None, "StatusMonitorQ62m", 0, "^$"), ("nobody", "StatusMonitorQ62m", 0, "^$"), (None, "Linked", 0, "^$"),
    (None, "squatter", 4, r"^StatusMonitorQ62m: the single-instance name @{name} is held by process {pid} \(python3\) of user nobody, ")])
def test_a_second_monitor_ends_at_once_quietly_and_one_kept_out_by_another_program_says_so(lab, user, name, status, errors):
    held = "StatusMonitorQ62m/" + hashlib.sha256(os.path.realpath(lab.path("StatusMonitorQ62m.ini")).encode()).hexdigest()
    squatter = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", sys.executable, "-c", SQUAT, held]
    first = Process(lab, name, squatter) if name == "squatter" else Monitor(lab, "[General]\nUpdateInterval=60\n[Printer1]\nPort=-1\n")
    os.symlink(lab.path("StatusMonitorQ62m.ini"), lab.path("Linked.ini"))
    assert wait_for(lambda: f" @{held}\n" in read("/proc/net/unix")), "no name held"
    second = Monitor(lab, name="StatusMonitorQ62m" if name == "squatter" else name, user=user)
    assert second.exit_code() == status
    assert re.search(errors.format(name=held, pid=first.process.pid), second.errors()) and read(second.out) == ""
    assert first.process.poll() is None, "the running monitor was disturbed"
