# The metrics endpoint of the real executable, read with Prometheus' own parser: what it tells of a
# network printer (the simulator), an absent serial one and a USB one under a Turkish locale, the
# requests it answers, hostile clients, and the ports it opens.
import contextlib, os, re, socket, subprocess, time, urllib.request
import pytest
from prometheus_client.parser import text_string_to_metric_families
from conftest import ALL_WELL, Monitor, Simulator, Usb, ask, connect, read, receive, serve, usb_ini, wait_for

VERSION = re.search(r"project\(\S+ VERSION (\S+)", read(os.path.join(os.path.dirname(__file__), "../../CMakeLists.txt")))[1]


class Endpoint:
    """The samples on `port` as {(name, (label, value)...): value}, {} when refused; no counter goes down."""

    def __init__(self, port):
        self.port, self.counters = port, {}

    def scrape(self):
        with contextlib.suppress(OSError), urllib.request.urlopen(f"http://127.0.0.1:{self.port}/metrics", timeout=10) as page:
            assert page.headers["Content-Type"] == "text/plain; version=0.0.4; charset=utf-8"
            samples = {}
            for family in text_string_to_metric_families(page.read().decode()):
                assert family.documentation and family.type in ("gauge", "counter"), family.name
                for s in family.samples:
                    key = (s.name, *sorted(s.labels.items()))
                    assert s.labels.get("printer", "1") in ("1", "2", "3"), key
                    samples[key] = s.value
                    if family.type == "counter":
                        assert s.value >= self.counters.get(key, 0), key
                        self.counters[key] = s.value
            return samples
        return {}

    def value(self, name, **labels):
        return self.scrape().get((name, *sorted(labels.items())))

    def until(self, expected, name, **labels):
        wait_for(lambda: self.value(name, **labels) == expected)
        return self.value(name, **labels)

    def conditions(self, printer="1"):
        return {k[1][1] for k, v in self.scrape().items() if k[0] == "q62m_printer_condition" and k[2][1] == printer and v}


def http(port, request):
    """The answer to `request` until the endpoint closes; b"" when refused or reset."""
    with contextlib.suppress(OSError), socket.create_connection(("127.0.0.1", port), timeout=10) as link:
        link.sendall(request)
        return receive(link, 1 << 24)
    return b""


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
    assert wait_for(lambda: e.conditions() == {"paper_empty"}), e.conditions()
    assert (e.value("q62m_printer_fault", printer="1"), e.until(1, "q62m_fault_episodes_total")) == (1, 1)
    requests = e.value("q62m_status_requests_total", port=str(status))
    assert ask(status, b"\x04\x00\x00\xf0") == b"\x04\x00\x00\xf0"
    assert e.value("q62m_status_requests_total", port=str(status)) == requests + 1

    last = e.value("q62m_printer_last_answer_timestamp_seconds", printer="1")
    sim.command("silent")
    assert e.until(0, "q62m_printer_answering", printer="1") == 0
    assert (e.conditions(), e.value("q62m_printer_fault", printer="1")) == ({"paper_empty"}, 1), "the last good answer stands"
    sim.command("normal")
    assert e.until(1, "q62m_printer_answering", printer="1") == 1
    assert e.value("q62m_printer_last_answer_timestamp_seconds", printer="1") > last

    sim.command("all well")
    sim.command("paper held")
    assert wait_for(lambda: e.conditions() == {"paper_held"}), e.conditions()
    assert e.value("q62m_printer_fault", printer="1") == 0, "a ticket held is no fault"
    # Each condition reads its own bit of its own byte.
    sim.command("raw 15 12 00 F0")
    assert wait_for(lambda: e.conditions() == {"paper_low", "paper_empty", "cutter_error", "paper_jam", "load_error"}), e.conditions()
    # Three episodes (the unanswered and the held ticket ended the first two), however many faulty passes.
    polls = answered()
    assert wait_for(lambda: answered() >= polls + 2)
    assert e.value("q62m_fault_episodes_total") == 3


def test_requests_other_than_a_scrape(lab):
    monitor, port = serve(lab, lambda port: f"[General]\nMetricsPort={port}\n[Printer1]\nPort=-1\n")
    for request, answer in [
            (b"HEAD /metrics HTTP/1.0\r\n\r\n", rb"^HTTP/1.0 200 OK\r\n(.*\r\n)*Content-Length: [1-9]\d*\r\n(.*\r\n)*\r\n$"),
            (b"GET /metric HTTP/1.0\r\n\r\n", rb"^HTTP/1.0 404 "),
            (b"POST /metrics HTTP/1.0\r\n\r\n", rb"^HTTP/1.0 405 (.*\r\n)*Allow: GET"),
            (b"\x16\x03\x01 hello\r\n\r\n", rb"^HTTP/1.1 400 "),
            (b"GET /metrics?" + b"x" * (8193 - 13), rb"^HTTP/1.1 400 "),  # over 8 KiB
            (b"GET /metrics HTTP/1.0\n\n", rb"^HTTP/1.0 200 "),  # bare line feeds
            (b"GET /metrics HTTP/1.1\r\nConnection: keep-alive, close\r\n\r\n", rb"^HTTP/1.1 200 OK\r\n(.*\r\n)*Connection: close\r\n"),
            # One connection, two answers.
            (b"GET /metrics HTTP/1.1\r\n\r\nHEAD /metrics HTTP/1.1\r\nConnection: close\r\n\r\n",
             rb"(?s)^HTTP/1.1 200 OK\r\n.*\nHTTP/1.1 200 OK\r\n")]:
        assert re.search(answer, http(port, request)), request


def test_hostile_clients_delay_nothing_and_leave_nothing_open(lab):
    Usb(lab)
    monitor, status, port = serve(lab, lambda status, port: usb_ini(status, general=f"UpdateInterval=1\nMetricsPort={port}"), 2)
    assert ask(status, ALL_WELL) == ALL_WELL
    # A poll holds descriptors for a moment: the fewest seen over a poll interval.
    before = min(len(monitor.descriptors()) for _ in range(15) if not time.sleep(0.1))
    e = Endpoint(port)
    polls = lambda: e.value("q62m_polls_total", printer="1", result="answered") or 0
    answered = polls()
    held = connect(port)
    held.sendall(b"GET /metrics HTTP/1.1\r\nHost: kio")
    http(port, os.urandom(1 << 20))
    # Pipelined requests that are never read: only the kernel's buffers take them in.
    flood = connect(port, 1)
    with contextlib.suppress(OSError):
        flood.sendall(b"GET /metrics HTTP/1.1\r\n\r\n" * 300000)
    crowd = [socket.socket() for _ in range(100)]
    for client in crowd:
        client.setblocking(False)
        client.connect_ex(("127.0.0.1", port))
    assert ask(status, ALL_WELL) == ALL_WELL
    assert len(monitor.descriptors()) <= before + 9, "a few connections served at once"
    # The crowd's idle connections give way to scrapes.
    assert wait_for(lambda: polls() > answered), "polls go on, scrapes too"
    for client in crowd + [held, flood]:
        client.close()
    assert wait_for(lambda: len(monitor.descriptors()) == before), "no descriptor left open"


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
