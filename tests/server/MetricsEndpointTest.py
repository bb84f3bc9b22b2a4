#!/usr/bin/python3
# The metrics endpoint of the real executable, read with Prometheus' own
# parser, with the printer simulator standing in for a network printer and
# the monitor in a German locale (a decimal comma).
#   MetricsEndpointTest.py <StatusMonitorQ62m> <q62m-printer-sim> <version>
import contextlib, ctypes, os, re, shutil, signal, socket, subprocess, sys, tempfile, time, unittest, urllib.request
from prometheus_client.parser import text_string_to_metric_families

MONITOR, SIMULATOR, VERSION = sys.argv[1:4]
ports_given = set()


def read(path):
    with open(path) as f:
        return f.read()


def free_port(even=False):
    """A port nobody listens on, never the same twice; Linux hands out odd ones, so an even one is the next."""
    with socket.create_server(("127.0.0.1", 0)) as s:
        port = s.getsockname()[1] + (even and s.getsockname()[1] % 2)
    with contextlib.suppress(OSError), socket.create_server(("127.0.0.1", port)):
        return free_port(even) if port in ports_given else ports_given.add(port) or port
    return free_port(even)


def start(command, **options):
    """A child process that dies with the test."""
    return subprocess.Popen(command, preexec_fn=lambda: ctypes.CDLL(None).prctl(1, signal.SIGKILL), **options)


def wait_for(check, seconds=10):
    deadline = time.monotonic() + seconds
    while not (result := check()) and time.monotonic() < deadline:
        time.sleep(0.1)
    return result


def exchange(port, request, size=None):
    """Sends `request` and returns `size` bytes or all until the server closes; b"" when refused or reset."""
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=5) as s:
            s.sendall(request)
            answer = b""
            while (chunk := s.recv(65536)) and len(answer := answer + chunk) != size:
                pass
            return answer
    except OSError:
        return b""


def ask_status(port):
    """The status server's answer, asking again while it is busy with an earlier client."""
    return wait_for(lambda: exchange(port, b"\x1d\x61\x01", 4), 5)


class Monitor:
    """A copy of the executable in a directory of its own with `ini` beside it, headless."""

    def __init__(self, ini, **environment):
        self.dir = tempfile.mkdtemp()
        exe = os.path.join(self.dir, "StatusMonitorQ62m")
        shutil.copy(MONITOR, exe)
        with open(exe + ".ini", "wb") as f:
            f.write(ini)
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        with open(exe + ".err", "w") as errors:
            self.process = start([exe], cwd=self.dir, stderr=errors,
                                 env=dict(env, QT_QPA_PLATFORM="offscreen", XDG_RUNTIME_DIR=self.dir, **environment))

    def stop(self):
        """Kills the monitor and returns what it wrote to standard error."""
        self.process.kill()
        self.process.wait()
        errors = read(os.path.join(self.dir, "StatusMonitorQ62m.err"))
        shutil.rmtree(self.dir)
        return errors

    def descriptors(self):
        fds = f"/proc/{self.process.pid}/fd"
        return [os.readlink(f"{fds}/{fd}") for fd in os.listdir(fds) if os.path.lexists(f"{fds}/{fd}")]

    def listening_ports(self):
        inodes = {d[8:-1] for d in self.descriptors() if d.startswith("socket:[")}
        rows = [line.split() for table in ("/proc/net/tcp", "/proc/net/tcp6") for line in read(table).splitlines()[1:]]
        return {int(row[1].rsplit(":", 1)[1], 16) for row in rows if row[3] == "0A" and row[9] in inodes}


def network_printer_ini(sim_port, status_port, general=b""):
    return b"[General]\nUpdateInterval=1\n%s\n[PRINTER1]\nPort=0\nIP=127.0.0.1\nSocket=%d\nStatusServerSocket=%s\n" % (
        general, sim_port, str(status_port).encode())


class MetricsEndpointTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.sim_out = tempfile.NamedTemporaryFile("w+")
        cls.sim = start([SIMULATOR, "--tcp", "0"], stdin=subprocess.PIPE, stdout=cls.sim_out, text=True)
        cls.sim_port = int(wait_for(lambda: re.search(r"printer1 tcp 127.0.0.1:(\d+)\nready", read(cls.sim_out.name)))[1])
        # A decimal comma wherever the C library or Qt lets the locale reach a
        # number, and an upper-case I without a one-byte lower case.
        cls.locales, cls.counters = tempfile.mkdtemp(), {}
        subprocess.run(["localedef", "-i", "tr_TR", "-f", "UTF-8", cls.locales + "/tr_TR.UTF-8"], check=True)
        for attempt in range(3):  # again on other ports should another program take one meanwhile
            cls.status_port, cls.metrics_port = free_port(even=True), free_port(even=True)
            # Halves round to the even port.
            cls.monitor = Monitor(network_printer_ini(cls.sim_port, "%d.5" % cls.status_port, b"MetricsPort=%d.5\n"
                                                      b"MetricsAddress=127.0.0.1\nPrinters=3" % (cls.metrics_port - 1))
                                  + b'Name=Kiosk "A" \\ \xe9\n[Printer2]\nPort=1\nDevice=/nonexistent/tty\n[Printer3]\nPort=-1\n',
                                  LOCPATH=cls.locales, LC_ALL="tr_TR.UTF-8")
            wait_for(lambda: cls.monitor.process.poll() is not None
                     or cls.monitor.listening_ports() == {cls.status_port, cls.metrics_port})
            if cls.monitor.process.poll() is None or attempt == 2:
                break
            cls.monitor.stop()

    @classmethod
    def tearDownClass(cls):
        cls.monitor.stop()
        cls.sim.kill()
        cls.sim.communicate()
        cls.sim_out.close()
        shutil.rmtree(cls.locales)

    def type(self, command):
        self.sim.stdin.write(command + "\n")
        self.sim.stdin.flush()

    def scrape(self):
        """The samples as {(name, (label, value)...): value}, {} when refused; no counter may go down."""
        try:
            with urllib.request.urlopen(f"http://127.0.0.1:{self.metrics_port}/metrics", timeout=5) as answer:
                self.assertEqual(answer.headers["Content-Type"], "text/plain; version=0.0.4; charset=utf-8")
                text = answer.read().decode("utf-8")
        except OSError:
            return {}
        samples = {}
        for family in text_string_to_metric_families(text):
            self.assertTrue(family.documentation and family.type in ("gauge", "counter"), family.name)
            for s in family.samples:
                key = (s.name,) + tuple(sorted(s.labels.items()))
                self.assertIn(s.labels.get("printer", "1"), ("1", "2", "3"), key)
                samples[key] = s.value
                if family.type == "counter":
                    self.assertGreaterEqual(s.value, self.counters.get(key, 0), key)
                    self.counters[key] = s.value
        return samples

    def value(self, name, **labels):
        return self.scrape().get((name,) + tuple(sorted(labels.items())))

    def until(self, name, expected, **labels):
        return expected if wait_for(lambda: self.value(name, **labels) == expected) else self.value(name, **labels)

    def test_the_printers_and_their_conditions_follow_what_the_printer_answers(self):
        s = self.scrape()
        self.assertEqual(s[("q62m_printer_info", ("address", f"127.0.0.1:{self.sim_port}"), ("name", 'Kiosk "A" \\ é'),
                            ("printer", "1"), ("transport", "network"))], 1)
        self.assertEqual(s[("q62m_printer_info", ("address", "/nonexistent/tty"), ("name", ""), ("printer", "2"),
                            ("transport", "serial"))], 1)
        self.assertEqual(s[("q62m_printer_info", ("address", "usb"), ("name", ""), ("printer", "3"), ("transport", "usb"))], 1)
        self.assertEqual(s[("q62m_printer_answering", ("printer", "2"))], 0)
        self.assertFalse([k for k in s if ("printer", "2") in k and k[0] in (
            "q62m_printer_condition", "q62m_printer_fault", "q62m_printer_last_answer_timestamp_seconds")],
            "nothing known before an answer")
        self.assertGreater(s[("q62m_polls_total", ("printer", "2"), ("result", "no_answer"))], 0)
        self.assertLessEqual(s[("process_start_time_seconds",)], time.time())
        self.assertEqual([k for k in s if k[0] == "q62m_build_info"], [("q62m_build_info", ("version", VERSION))])

        self.type("paper empty")
        self.assertEqual(self.until("q62m_printer_condition", 1, printer="1", condition="paper_empty"), 1)
        s = self.scrape()
        self.assertEqual(s[("q62m_printer_condition", ("condition", "head_open"), ("printer", "1"))], 0)
        self.assertEqual(s[("q62m_printer_fault", ("printer", "1"))], 1)
        self.assertEqual(self.until("q62m_fault_episodes_total", 1), 1)
        requests = s.get(("q62m_status_requests_total", ("port", str(self.status_port))), 0)
        self.assertEqual(ask_status(self.status_port), b"\x04\x00\x00\xf0")
        self.assertEqual(self.value("q62m_status_requests_total", port=str(self.status_port)), requests + 1)

        last = self.value("q62m_printer_last_answer_timestamp_seconds", printer="1")
        self.type("silent")
        self.assertEqual(self.until("q62m_printer_answering", 0, printer="1"), 0)
        s = self.scrape()
        self.assertEqual((s[("q62m_printer_condition", ("condition", "paper_empty"), ("printer", "1"))],
                          s[("q62m_printer_fault", ("printer", "1"))]), (1, 1), "the last good answer stands")
        self.type("normal")
        self.assertEqual(self.until("q62m_printer_answering", 1, printer="1"), 1)
        self.assertGreater(self.value("q62m_printer_last_answer_timestamp_seconds", printer="1"), last)

        self.type("all well")
        self.type("paper held")
        self.assertEqual(self.until("q62m_printer_condition", 1, printer="1", condition="paper_held"), 1)
        self.assertEqual(self.value("q62m_printer_condition", printer="1", condition="paper_empty"), 0)
        self.assertEqual(self.value("q62m_printer_fault", printer="1"), 0, "a ticket held is no fault")
        # Each condition reads its own bit of its own byte.
        self.type("raw 15 12 00 F0")
        on = lambda: {k[1][1] for k, v in self.scrape().items() if k[0] == "q62m_printer_condition" and k[2][1] == "1" and v}
        self.assertTrue(wait_for(lambda: on() == {"paper_low", "paper_empty", "cutter_error", "paper_jam", "load_error"}), on())
        self.type("all well")

    def test_requests_other_than_a_scrape(self):
        port = self.metrics_port
        head = exchange(port, b"HEAD /metrics HTTP/1.0\r\n\r\n")
        self.assertRegex(head, rb"^HTTP/1.0 200 OK\r\n(.*\r\n)*Content-Length: [1-9]\d*\r\n(.*\r\n)*\r\n$")
        self.assertRegex(exchange(port, b"GET /metric HTTP/1.0\r\n\r\n"), rb"^HTTP/1.0 404 ")
        self.assertRegex(exchange(port, b"POST /metrics HTTP/1.0\r\n\r\n"), rb"^HTTP/1.0 405 (.*\r\n)*Allow: GET")
        self.assertRegex(exchange(port, b"\x16\x03\x01 hello\r\n\r\n"), rb"^HTTP/1.1 400 ")
        self.assertRegex(exchange(port, b"GET /metrics?" + b"x" * (8193 - 13)), rb"^HTTP/1.1 400 ", "over 8 KiB")
        self.assertRegex(exchange(port, b"GET /metrics HTTP/1.0\n\n"), rb"^HTTP/1.0 200 ", "bare line feeds")
        self.assertRegex(exchange(port, b"GET /metrics HTTP/1.1\r\nConnection: keep-alive, close\r\n\r\n"),
                         rb"^HTTP/1.1 200 OK\r\n(.*\r\n)*Connection: close\r\n")
        two = exchange(port, b"GET /metrics HTTP/1.1\r\n\r\nHEAD /metrics HTTP/1.1\r\nConnection: close\r\n\r\n")
        self.assertEqual(len(re.findall(rb"HTTP/1.1 200 OK", two)), 2, "one connection, two answers")

    def test_hostile_clients_delay_nothing_and_leave_nothing_open(self):
        # A poll holds a descriptor for a moment: the fewest seen over a poll interval.
        before = min(len(self.monitor.descriptors()) for _ in range(15) if time.sleep(0.1) is None)
        polls = lambda: self.value("q62m_polls_total", printer="1", result="answered")
        answered = polls()
        held = socket.create_connection(("127.0.0.1", self.metrics_port))
        held.sendall(b"GET /metrics HTTP/1.1\r\nHost: kio")
        exchange(self.metrics_port, os.urandom(1 << 20))
        # Pipelined requests that are never read: only the kernel's buffers take them in.
        flood = socket.create_connection(("127.0.0.1", self.metrics_port), timeout=1)
        with contextlib.suppress(OSError):
            flood.sendall(b"GET /metrics HTTP/1.1\r\n\r\n" * 300000)
        crowd = [socket.socket() for _ in range(100)]
        for s in crowd:
            s.setblocking(False)
            s.connect_ex(("127.0.0.1", self.metrics_port))
        self.assertEqual(ask_status(self.status_port), b"\x00\x00\x00\xf0")
        self.assertLessEqual(len(self.monitor.descriptors()), before + 9, "a few connections served at once")
        # The crowd's idle connections give way to scrapes.
        self.assertTrue(wait_for(lambda: polls() is not None and polls() > answered), "polls go on, scrapes too")
        for s in crowd + [held, flood]:
            s.close()
        self.assertTrue(wait_for(lambda: len(self.monitor.descriptors()) == before), "no descriptor left open")

    def test_the_endpoint_opens_only_its_own_port_and_only_when_asked(self):
        self.assertEqual(self.monitor.listening_ports(), {self.status_port, self.metrics_port})
        self.assertIn("0100007F:%04X 00000000:0000 0A" % self.metrics_port, read("/proc/net/tcp"), "on 127.0.0.1 only")
        with socket.create_server(("127.0.0.1", 0)) as taken:
            for general, lines in ((b"", 0), (b"MetricsPort=65536", 0), (b"MetricsPort=%d" % taken.getsockname()[1], 1)):
                status = free_port()
                other = Monitor(network_printer_ini(self.sim_port, status, general))
                self.assertTrue(wait_for(lambda: ask_status(status)))
                # The status server stops listening while it serves a client.
                self.assertTrue(wait_for(lambda: other.listening_ports() == {status}), other.listening_ports())
                errors = other.stop()
                self.assertEqual((len(errors.splitlines()), errors.count("metrics endpoint")), (lines, lines), errors)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
