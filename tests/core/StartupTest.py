# Start-up of the real executable: the failures that stop it and the single-instance rule.
import os, socket
import pytest
from conftest import Monitor, read, wait_for

HELD = socket.create_server(("127.0.0.1", 0))  # a status port that another program holds


@pytest.mark.parametrize("ini, message", [
    (None, "StatusMonitorQ62m: Unable to open ini file!\n"),
    ("[General]\nPrinters=2\n[Printer1]\nPort=1\n[Printer2]\nPort=USB\n", "StatusMonitorQ62m: Run-time error 13: Type mismatch"),
    ("[General]\nUpdateInterval=40000\n[Printer1]\nPort=-1\n", "StatusMonitorQ62m: Run-time error 6: Overflow"),
    (f"[Printer1]\nPort=-1\nStatusServerSocket={HELD.getsockname()[1]}\n",
     "StatusMonitorQ62m: Run-time error 10048: Address already in use."),
    # The configuration is named after the executable.
    ("[Printer1]\nPort=-1\n", "StatusMonitorQ62m: Unable to open ini file!\n")])
def test_a_failure_ends_the_program_with_its_message_and_status_one(lab, ini, message):
    monitor = Monitor(lab, ini, name="KioskMonitor" if ini == "[Printer1]\nPort=-1\n" else "StatusMonitorQ62m")
    assert monitor.exit_code() == 1, monitor.errors()
    assert monitor.errors().startswith(message)


def test_a_second_instance_ends_at_once_and_silently(lab):
    first = Monitor(lab, "[General]\nUpdateInterval=60\n[Printer1]\nPort=-1\n")
    # The kernel's list of locks names the lock file's inode once the first instance holds it.
    lock = lab.path("StatusMonitorQ62m.lock")
    assert wait_for(lambda: os.path.exists(lock) and f":{os.stat(lock).st_ino} " in read("/proc/locks")), "no lock"
    second = Monitor(lab)
    assert second.exit_code() == 0
    assert (second.errors(), second.output()) == ("", "")
    assert first.process.poll() is None, "the running instance was disturbed"
