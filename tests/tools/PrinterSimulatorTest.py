# The printer simulator as a user and the monitor meet it: the real executable over loopback TCP and its
# pseudo-terminal, changed by typed commands and scripts. What the monitor's own runs show (polls
# answered, named printers) is not repeated here.
import os, select, socket, time, tty
import pytest
from conftest import ALL_WELL, REQUEST, Simulator, connect, exchange, receive, wait_for

CONDITIONS = [("paper low", "01 00 00 F0"), ("head open", "02 00 00 F0"), ("paper empty", "04 00 00 F0"),
              ("over temperature", "08 00 00 F0"), ("cutter error", "10 00 00 F0"), ("paper held", "00 01 00 F0"),
              ("paper jam", "00 02 00 F0"), ("presenter jam", "00 04 00 F0"), ("load error", "00 10 00 F0")]
TAKEN = socket.create_server(("127.0.0.1", 0))  # a port that another program holds
h = bytes.fromhex


class Pty:
    """The monitor's end of the pseudo-terminal, raw as a serial port, read and written like a socket."""

    def __init__(self, path, timeout=2):
        self.fd, self.timeout = os.open(path, os.O_RDWR | os.O_NOCTTY), timeout
        tty.setraw(self.fd)
        self.sendall, self.settimeout = lambda data: os.write(self.fd, data), lambda t: setattr(self, "timeout", t)

    def recv(self, size):
        if not select.select([self.fd], [], [], self.timeout)[0]:
            raise TimeoutError
        return os.read(self.fd, size)


def closes(link):
    """True when the far end ends the connection at a request instead of answering it."""
    try:
        link.sendall(REQUEST)
        return link.recv(4) == b""
    except (BrokenPipeError, ConnectionResetError):
        return True


def test_each_condition_sets_its_bit_conditions_add_up_until_cleared_and_requests_are_found_in_any_chunking(lab):
    sim = Simulator(lab, "--tcp", "0")
    for command, answer in CONDITIONS:
        sim.command("all well")
        assert answer in sim.command(command)
        assert exchange(sim.port()) == h(answer), command
    for command in ("all well", "paper low", "head open", "presenter jam"):
        sim.command(command)
    assert exchange(sim.port()) == h("03 04 00 F0")
    sim.command("clear head open")
    assert exchange(sim.port()) == h("01 04 00 F0")
    assert sim.wait_for_line("printer1 <- 1D 61 01") and sim.wait_for_line("printer1 -> 01 04 00 F0")
    first, second = connect(sim.port(), 0.3), connect(sim.port())
    first.sendall(b"AB\x1d")
    with pytest.raises(TimeoutError):
        first.recv(4)
    first.sendall(b"\x61\x01")
    assert receive(first) == h("01 04 00 F0")
    second.sendall(REQUEST * 2)
    assert receive(second, 8) == h("01 04 00 F0") * 2, "several clients, each request answered"
    assert sim.wait_for_line("printer1 <- 41 42 (not a status request, ignored)")


def test_misbehaviours_shape_the_answer_on_tcp_and_on_the_pty(lab):
    sim = Simulator(lab, "--tcp", "0", "--pty")
    sim.command("paper low")
    for link in (connect(sim.port()), Pty(sim.endpoint("pty"))):
        answer = lambda size=4: (link.sendall(REQUEST), receive(link, size))[1]
        sim.command("early")
        assert answer() == h("01 F0 00 F0")
        sim.command("delay 300")
        asked = time.monotonic()
        assert answer() == h("01 00 00 F0") and time.monotonic() - asked >= 0.28
        sim.command("garbage 7")
        link.settimeout(0.5)
        garbage = answer(8)
        assert len(garbage) == 7 and b"\xf0" not in garbage
        sim.command("normal")
        sim.command("raw 04 00 12 F0 55")
        assert answer(6) == h("04 00 12 F0 55")
        sim.command("all well")
        sim.command("paper low")
    before = connect(sim.port())
    sim.command("close")
    assert closes(connect(sim.port())), "a new connection is closed at once"
    assert closes(before), "a connection made before the command closes at its next request"
    pty = Pty(sim.endpoint("pty"), 0.3)
    pty.sendall(REQUEST)
    with pytest.raises(TimeoutError):  # a pseudo-terminal cannot hang up: it stays silent
        pty.recv(4)


def test_listening_stops_and_resumes_unknown_commands_are_told_and_the_end_of_input_keeps_it_serving_until_sigterm(lab):
    sim = Simulator(lab, "--tcp", "0")
    open_before = connect(sim.port())
    sim.command("stop listening")
    assert closes(open_before)
    assert connect(sim.port()) is None
    assert "(normal, listening)" in sim.command("listen")
    assert exchange(sim.port()) == ALL_WELL
    sim.type("paper low")
    sim.type("paper fell out")
    assert wait_for(lambda: "stdin:4: unknown command 'paper fell out'" in sim.errors())
    sim.type("help")
    for command in ("paper low", "clear", "all well", "raw HH", "delay MS", "garbage", "sleep MS", "quit"):
        assert sim.wait_for_line(command), command
    sim.process.stdin.close()
    assert sim.wait_for_line("standard input ended")
    assert exchange(sim.port()) == h("01 00 00 F0")
    assert sim.exit_code(0.2) is None
    sim.process.terminate()
    assert sim.exit_code() == 0


def test_a_script_runs_its_commands_in_order_with_sleeps(lab):
    with open(lab.path("faults.txt"), "w") as script:
        script.write("# a paper run-out\npaper low\nsleep 1000\npaper empty\nclear paper low\n")
    sim = Simulator(lab, "--tcp", "0", "--no-stdin", "--script", lab.path("faults.txt"))
    assert sim.wait_for_line("printer1 answers 01 00 00 F0")
    assert exchange(sim.port()) == h("01 00 00 F0")
    assert sim.wait_for_line("printer1 answers 04 00 00 F0", 3)
    assert exchange(sim.port()) == h("04 00 00 F0")
    assert sim.errors() == ""


@pytest.mark.parametrize("args, status, message", [
    (["--tcp", "0", "--script", "/nonexistent/faults.txt"], 1, "/nonexistent/faults.txt"),
    (["--tcp", f"127.0.0.1:{TAKEN.getsockname()[1]}"], 1, f"127.0.0.1:{TAKEN.getsockname()[1]}: bind:"),
    (["--printer", "paper"], 2, "Usage: q62m-printer-sim")])
def test_a_start_that_cannot_go_on_ends_with_a_message(lab, args, status, message):
    sim = Simulator(lab, *args, ready=False)
    assert sim.exit_code() == status
    assert message in sim.errors()
