# The metrics endpoint of the real executable: what it tells of a network printer (the simulator), an
# absent serial one and a USB one under a Turkish locale, and the ports it opens. Its bad clients are
# BadClientsTest's.
import os, re, socket, subprocess, time
import pytest
from conftest import Endpoint, Monitor, Simulator, Usb, ask, read, serve, wait_for

VERSION = re.search(r"project\(\S+ VERSION (\S+)", read(os.path.join(os.path.dirname(__file__), "../../CMakeLists.txt")))[1]


# A decimal comma wherever the C library or Qt lets the locale reach a number, and an upper-case I
# without a one-byte lower case: halves of ports round to the even port, [PRINTER1] matches Printer1.
def test_the_printers_and_their_conditions_follow_what_they_answer_whatever_the_locale(lab):
    sim = Simulator(lab, "--tcp", "0")
    subprocess.run(["localedef", "-i", "tr_TR", "-f", "UTF-8", lab.path("tr_TR.UTF-8")], check=True)
    monitor, status, port = serve(lab, lambda status, metrics: (
        f"[General]\nUpdateInterval=1\nMetricsPort={metrics - 1}.5\nMetricsAddress=127.0.0.1\nPrinters=3\n[PRINTER1]\n"
        f"Port=0\nIP=127.0.0.1\nSocket={sim.port()}\nStatusServerSocket={status}.5\nName=Kiosk \"A\" \\ \xe9\n"
        "[Printer2]\nPort=1\nDevice=/nonexistent/tty\n[Printer3]\nPort=-1\n"), 2, even=True,
        LOCPATH=lab.dir, LC_ALL="tr_TR.UTF-8")
    assert monitor.listening() == {status, port}, monitor.errors()
    assert f"0100007F:{port:04X} 00000000:0000 0A" in read("/proc/net/tcp"), "on 127.0.0.1 only"
    e = Endpoint(port)
    conditions = lambda: {k[1][1] for k, v in e.scrape().items() if k[0] == "q62m_printer_condition" and k[2][1] == "1" and v}
    assert wait_for(lambda: e.value("q62m_polls_total", printer="2", result="no_answer")), monitor.errors()
    s = e.scrape()
    assert {k[1:]: v for k, v in s.items() if k[0] == "q62m_printer_info"} == {
        (("address", f"127.0.0.1:{sim.port()}"), ("name", 'Kiosk "A" \\ é'), ("printer", "1"), ("transport", "network")): 1,
        (("address", "/nonexistent/tty"), ("name", ""), ("printer", "2"), ("transport", "serial")): 1,
        (("address", "usb"), ("name", ""), ("printer", "3"), ("transport", "usb")): 1}
    assert s[("q62m_printer_answering", ("printer", "2"))] == 0
    assert not [k for k in s if ("printer", "2") in k and k[0] in (
        "q62m_printer_condition", "q62m_printer_fault", "q62m_printer_last_answer_timestamp_seconds")], "known before an answer"
    assert s[("process_start_time_seconds",)] <= time.time()
    assert [k for k in s if k[0] == "q62m_build_info"] == [("q62m_build_info", ("version", VERSION))]

    answered = lambda: e.value("q62m_polls_total", printer="1", result="answered")
    sim.command("paper empty")
    assert wait_for(lambda: conditions() == {"paper_empty"}), conditions()
    assert (e.value("q62m_printer_fault", printer="1"), e.until(1, "q62m_fault_episodes_total")) == (1, 1)
    requests = e.value("q62m_status_requests_total", port=str(status))
    assert ask(status, b"\x04\x00\x00\xf0") == b"\x04\x00\x00\xf0"
    assert e.value("q62m_status_requests_total", port=str(status)) == requests + 1

    last = e.value("q62m_printer_last_answer_timestamp_seconds", printer="1")
    sim.command("silent")
    assert e.until(0, "q62m_printer_answering", printer="1") == 0
    assert (conditions(), e.value("q62m_printer_fault", printer="1")) == ({"paper_empty"}, 1), "the last good answer stands"
    sim.command("normal")
    assert e.until(1, "q62m_printer_answering", printer="1") == 1
    assert e.value("q62m_printer_last_answer_timestamp_seconds", printer="1") > last

    sim.command("all well")
    sim.command("paper held")
    assert wait_for(lambda: conditions() == {"paper_held"}), conditions()
    assert e.value("q62m_printer_fault", printer="1") == 0, "a ticket held is no fault"
    # Each condition reads its own bit of its own byte.
    sim.command("raw 15 12 00 F0")
    assert wait_for(lambda: conditions() == {"paper_low", "paper_empty", "cutter_error", "paper_jam", "load_error"}), conditions()
    # Three episodes (the unanswered and the held ticket ended the first two), however many faulty passes.
    polls = answered()
    assert wait_for(lambda: answered() >= polls + 2)
    assert e.value("q62m_fault_episodes_total") == 3


# Only a port it can have, and only when asked; else it goes on without and tells why once.
@pytest.mark.parametrize("general, told", [("", 0), ("MetricsPort=65536", 0), ("MetricsPort={taken}", 1)])
def test_the_endpoint_opens_only_its_own_port_and_only_when_asked(lab, general, told):
    usb = Usb(lab)
    with socket.create_server(("127.0.0.1", 0)) as taken:
        monitor = Monitor(lab, f"[General]\nUpdateInterval=1\n{general.format(taken=taken.getsockname()[1])}\n[Printer1]\nPort=-1\n")
        assert wait_for(lambda: usb.count(b"s") >= 2)
        assert monitor.listening() == set()
    errors = monitor.stop()
    assert (len(errors.splitlines()), errors.count("metrics endpoint")) == (told, told), errors
