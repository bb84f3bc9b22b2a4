# The real executable, headless, polling printers over each transport and serving their status
# (configuration, poll, store and status server in one path), and ending on a signal.
import os, resource, signal, socket, time
import pytest
from conftest import ALL_WELL, Endpoint, Monitor, Simulator, Usb, ask, connect, exchange, read, serve, served_client, usb_ini, wait_for

HELD, JAM, HEAD_OPEN, EMPTY = (bytes.fromhex(h) for h in ("00 01 00 F0", "00 02 00 F0", "02 00 00 F0", "04 00 00 F0"))


def no_answers(metrics, printer):
    return Endpoint(metrics).value("q62m_polls_total", printer=str(printer), result="no_answer") or 0


# A kiosk may ship its own copy of the library beside the monitor; else the one the loader finds is used,
# its printer polled and served until it changes.
def test_a_usb_printer_is_served_from_the_library_beside_the_executable_before_the_loaders_own(lab):
    os.mkdir(lab.path("loader"))
    usb = Usb(lab, b"\x04\x01\x12\xf0", into=lab.path("loader"))
    monitor, port = serve(lab, usb_ini, LD_LIBRARY_PATH=lab.path("loader"))
    assert ask(port, b"\x04\x01\x12\xf0") == b"\x04\x01\x12\xf0", "the loader's library was not found"
    usb.set(HELD)
    assert ask(port, HELD) == HELD
    assert monitor.stop() == ""
    Usb(lab, library="Q62M_ZORVADEV_PARTIAL")
    os.remove(usb.counts)
    monitor, port = serve(lab, usb_ini, LD_LIBRARY_PATH=lab.path("loader"))
    assert wait_for(lambda: usb.count(b"o") >= 2 and usb.count(b"c") >= 2)
    assert exchange(port) == b"", "the library beside the executable was passed over"
    errors = monitor.stop()
    assert errors.startswith(f"StatusMonitorQ62m: dlsym(GetSpecStatus): {lab.path('libZorvadev.so')}")
    assert errors.count("\n") == 1, "told once, not at every poll"


# Two network printers, each served on its own port; one of them goes away: its last status stays in
# the store while the other is read on, and it is read again when it returns.
def test_network_printers_are_served_each_on_its_port_and_one_that_vanishes_keeps_its_last_status(lab):
    sim = Simulator(lab, "--printer", "front", "--tcp", "0", "--printer", "back", "--tcp", "0")
    sim.command("back paper jam", "back")
    monitor, front, back, metrics = serve(lab, lambda front, back, metrics: (
        f"[General]\nPrinters=2\nUpdateInterval=1\nMetricsPort={metrics}\nStatusServerAddress=127.0.0.1\n"
        f"[Printer1]\nPort=0\nIP=127.0.0.1\nSocket={sim.port('front')}\nStatusServerSocket={front}\n"
        f"[Printer2]\nPort=0\nIP=127.0.0.1\nSocket={sim.port('back')}\nStatusServerSocket={back}\n"), 3)
    assert ask(front, ALL_WELL) == ALL_WELL
    assert ask(back, JAM) == JAM
    with pytest.raises(ConnectionRefusedError):  # the status servers bind 127.0.0.1 alone
        socket.create_connection(("127.0.0.2", front), 2)
    # Gone: no listener at all, while the other printer is read on. (A silent or garbling printer is
    # NetworkTransportTest's.)
    sim.command("back stop listening", "back")
    polls = no_answers(metrics, 2)
    sim.command("front head open", "front")
    assert ask(front, HEAD_OPEN) == HEAD_OPEN
    assert wait_for(lambda: no_answers(metrics, 2) > polls)
    assert ask(back, JAM, 2) == JAM
    sim.command("back listen", "back")
    sim.command("back all well", "back")
    assert ask(back, ALL_WELL) == ALL_WELL
    assert monitor.errors() == "", "a vanished printer is no error to report"


def test_a_serial_printer_is_polled_and_served_and_outlives_its_device(lab):
    sim = Simulator(lab, "--quiet", "--pty")
    # Through a link that the test removes before the device goes: the kernel may give the
    # pseudo-terminal's number to another test's printer at once.
    os.symlink(sim.endpoint("pty"), lab.path("printer"))
    monitor, port, metrics = serve(lab, lambda port, metrics: (
        f"[General]\nUpdateInterval=1\nMetricsPort={metrics}\n"
        f"[Printer1]\nPort=1\nDevice={lab.path('printer')}\nStatusServerSocket={port}\n"), 2)
    assert ask(port, ALL_WELL) == ALL_WELL
    sim.command("paper empty")
    assert ask(port, EMPTY) == EMPTY
    os.remove(lab.path("printer"))
    sim.type("quit")
    assert sim.exit_code() == 0
    polls = no_answers(metrics, 1)
    assert wait_for(lambda: no_answers(metrics, 1) >= polls + 2)
    assert ask(port, EMPTY, 2) == EMPTY
    assert monitor.stop() == "", "a serial printer's failures are not the user's business"


# The last row's parent blocked the signals, as weston's autolaunch does; the monitor must not inherit that.
@pytest.mark.parametrize("number, blocked", [(signal.SIGTERM, ()), (signal.SIGINT, ()), (signal.SIGHUP, ()),
                                             (signal.SIGTERM, (signal.SIGTERM, signal.SIGINT, signal.SIGHUP))])
def test_a_signal_while_the_loop_waits_closes_both_servers_and_ends_the_program_at_once_with_status_zero(lab, number, blocked):
    Usb(lab, EMPTY)
    monitor, port1, port2 = serve(lab, lambda *ports: usb_ini(*ports, general="UpdateInterval=600"), 2, blocked=blocked)
    clients = [served_client(port1), served_client(port2)]
    assert all(clients), "the status servers never answered"
    monitor.process.send_signal(number)
    assert monitor.exit_code(10) == 0, monitor.errors() or "still waiting out its 600-second pause"
    assert [client.recv(1) for client in clients] == [b"", b""]


def test_a_signal_during_a_poll_closes_the_printer_link_and_ends_without_waiting_for_the_reply(lab):
    sim = Simulator(lab, "--tcp", "0")
    sim.command("silent")
    monitor = Monitor(lab, f"[General]\nUpdateInterval=600\n[Printer1]\nPort=0\nIP=127.0.0.1\nSocket={sim.port()}\n")
    assert sim.wait_for_line("<- 1D 61 01"), "the monitor never asked the printer"
    start = time.monotonic()
    monitor.process.terminate()
    assert sim.wait_for_line(" ended", 4), "the printer link stayed open"
    assert monitor.exit_code() == 0, monitor.errors()
    assert time.monotonic() - start < 4.5, "the 5-second reply wait ran out first"


# Descriptors run out for a moment: the limit drops to what the monitor holds while clients wait. No
# core is spun meanwhile, polls, status clients and scrapes are back within the interval and five
# seconds once the moment has passed, and a signal in the next shortage ends it within a second.
def test_a_shortage_of_descriptors_costs_the_moment_it_lasts(lab):
    sim = Simulator(lab, "--tcp", "0")
    monitor, port, metrics = serve(lab, lambda port, metrics: (
        f"[General]\nUpdateInterval=1\nMetricsPort={metrics}\n"
        f"[Printer1]\nPort=0\nIP=127.0.0.1\nSocket={sim.port()}\nStatusServerSocket={port}\n"), 2)
    assert ask(port, ALL_WELL) == ALL_WELL
    pid, (soft, hard) = monitor.process.pid, resource.prlimit(monitor.process.pid, resource.RLIMIT_NOFILE)
    used = lambda: sum(map(int, read(f"/proc/{pid}/stat").rsplit(")", 1)[1].split()[11:13])) / os.sysconf("SC_CLK_TCK")
    answered = lambda: Endpoint(metrics).value("q62m_polls_total", printer="1", result="answered") or 0
    for ending in ("relief", "signal"):
        resource.prlimit(pid, resource.RLIMIT_NOFILE, (len(monitor.descriptors()), hard))
        waiting = [connect(port), connect(metrics)]
        if ending == "signal":
            start = time.monotonic()
            monitor.process.terminate()
            assert monitor.exit_code(5) == 0 and time.monotonic() - start < 1, monitor.errors()
            return
        samples = [used() for _ in range(7) if not time.sleep(0.5)]  # three seconds of the shortage
        assert samples[-1] - samples[0] < 0.3, f"{samples[-1] - samples[0]:.2f} s of processor time in 3 s"
        resource.prlimit(pid, resource.RLIMIT_NOFILE, (soft, hard))
        polls, start = answered(), time.monotonic()
        assert wait_for(lambda: answered() > polls and ask(port, ALL_WELL, 1) == ALL_WELL, 10), monitor.errors()
        # A poll that began in the shortage waits out its 5-second connect wait, then the interval.
        assert time.monotonic() - start < 8, "back later than the connect wait, the interval and the poll"
