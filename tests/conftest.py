# The harness of the black-box tests: the real executable in a directory of its own (it reads the
# configuration beside it), the printer simulator, loopback status clients, the metrics page, the test USB
# library and a virtual desktop. CMake passes the programs' paths in the environment; by hand they are build/'s.
import contextlib, ctypes, itertools, os, pathlib, pwd, re, shutil, signal, socket, subprocess, tempfile, time
import urllib.request
import pytest
from prometheus_client.parser import text_string_to_metric_families

BUILD = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "build")
PATHS = {name: os.environ.get(name, os.path.join(BUILD, default)) for name, default in (
    ("Q62M_MONITOR", "StatusMonitorQ62m"), ("Q62M_SIMULATOR", "tools/printer-sim/q62m-printer-sim"),
    ("Q62M_ZORVADEV", "fakezorvadev/libZorvadev.so"), ("Q62M_ARTIFACT_DIR", "artifacts"),
    ("Q62M_ZORVADEV_PARTIAL", "fakezorvadev/partial/libZorvadevPartial.so"))}
REQUEST, ALL_WELL = b"\x1d\x61\x01", b"\x00\x00\x00\xf0"
DESKTOP_TOOLS = ("Xvfb", "openbox", "trayer", "xdotool", "import", "xmessage", "dbus-daemon")


def read(path, mode="r"):
    with contextlib.suppress(FileNotFoundError), open(path, mode) as f:
        return f.read()
    return "" if mode == "r" else b""


def wait_for(check, seconds=20):
    """The first true value of `check` within `seconds`; its last value after that."""
    deadline = time.monotonic() + seconds
    while True:
        value = check()
        if value or time.monotonic() >= deadline:
            return value
        time.sleep(0.05)


def receive(link, size=4):
    """Up to `size` bytes; fewer when the far end closes or the link's time-out passes."""
    answer = b""
    with contextlib.suppress(OSError):
        while len(answer) < size and (chunk := link.recv(size - len(answer))):
            answer += chunk
    return answer


def connect(port, seconds=2):
    with contextlib.suppress(OSError):
        return socket.create_connection(("127.0.0.1", port), timeout=seconds)


def exchange(port, request=REQUEST, size=4, seconds=2):
    """What a fresh connection gets for `request` (see receive); b"" when refused or reset."""
    with contextlib.suppress(OSError), socket.create_connection(("127.0.0.1", port), timeout=seconds) as link:
        link.sendall(request)
        return receive(link, size)
    return b""


def ask(port, expected, seconds=20):
    """The status server's answer, asked again (a busy server does not listen) until it is `expected`."""
    answers = []
    wait_for(lambda: answers.append(exchange(port)) or answers[-1] == expected, seconds)
    return answers[-1]


def served_client(port):
    """A connection whose request the status server has answered: it is in the server's hands."""
    def served():
        with contextlib.suppress(OSError):
            client = socket.create_connection(("127.0.0.1", port), timeout=2)
            client.sendall(REQUEST)
            return len(receive(client)) == 4 and client
    return wait_for(served)


class Endpoint:
    """The metrics page on `port`, read with Prometheus' own parser, as {(name, (label, value)...): value};
    {} when refused. No counter goes down from one read to the next."""

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


def usb_ini(*ports, general="UpdateInterval=1"):
    """USB printers, one served on each of `ports`."""
    return f"[General]\n{general}\nPrinters={len(ports)}\n" + "".join(
        f"[Printer{i}]\nPort=-1\nStatusServerSocket={port}\n" for i, port in enumerate(ports, 1))


class Process:
    """A program the test runs, dying with the test program; its output and errors go to files."""

    def __init__(self, lab, name, command, blocked=(), **options):
        """`blocked`: signals the program inherits blocked, as some launchers hand them on."""
        name = f"{name}{next(lab.count)}"
        self.out, self.err = lab.path(name + ".out"), lab.path(name + ".err")
        with open(self.out, "wb") as out, open(self.err, "wb") as err:
            self.process = subprocess.Popen(command, stdout=out, stderr=err, **options, preexec_fn=lambda: (
                signal.pthread_sigmask(signal.SIG_BLOCK, blocked), ctypes.CDLL(None).prctl(1, signal.SIGKILL)))
        lab.processes.append(self.process)

    def errors(self):
        return read(self.err)

    def exit_code(self, seconds=20):
        with contextlib.suppress(subprocess.TimeoutExpired):
            return self.process.wait(seconds)

    def stop(self):
        """What the program wrote to standard error, once SIGTERM has ended it."""
        self.process.terminate()
        assert self.exit_code() is not None, "still running after SIGTERM"
        return self.errors()


class Monitor(Process):
    """The executable copied into the lab's directory as `name`, headless unless given a display."""

    def __init__(self, lab, ini=None, name="StatusMonitorQ62m", display=None, user=None, blocked=(), **env):
        if not os.path.exists(lab.path(name)):
            shutil.copy(PATHS["Q62M_MONITOR"], lab.path(name))
        command = [lab.path(name)]
        if user:  # another user, who must be able to reach the lab's directory
            os.chmod(lab.dir, 0o755)
            command[:0] = ["setpriv", f"--reuid={user}", f"--regid={pwd.getpwnam(user).pw_gid}", "--clear-groups"]
        if ini is not None:  # 8-bit text, read as Latin-1
            pathlib.Path(lab.path("StatusMonitorQ62m.ini")).write_text(ini, encoding="latin-1")
        # No session bus: the desktop's notification area is the one the test starts.
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS")} | {
            "QT_QPA_PLATFORM": "xcb" if display else "offscreen"} | env | {
            "XDG_RUNTIME_DIR": lab.dir, "ZORVADEV_CONTROL": lab.path("zorvadev.control"),
            "ZORVADEV_COUNTS": lab.path("zorvadev.counts")}
        env |= {"DISPLAY": display} if display else {}
        super().__init__(lab, name, command, blocked, cwd=lab.dir, env=env)

    def descriptors(self):
        fds, targets = f"/proc/{self.process.pid}/fd", []
        with contextlib.suppress(OSError):  # the process may end meanwhile
            for fd in os.listdir(fds):
                with contextlib.suppress(OSError):
                    targets.append(os.readlink(f"{fds}/{fd}"))
        return targets

    def listening(self):
        inodes = {d[8:-1] for d in self.descriptors() if d.startswith("socket:[")}
        rows = [line.split() for table in ("tcp", "tcp6") for line in read(f"/proc/net/{table}").splitlines()[1:]]
        return {int(row[1][-4:], 16) for row in rows if row[3] == "0A" and row[9] in inodes}


def free_ports(count, even=False):
    """`count` ports that no socket holds on any address, even ones if asked. The kernel hands out odd ones
    for a bind; even ones are what connect() takes for clients, so an even neighbour is bound to be sure,
    without SO_REUSEADDR, which would let it share a port that a unit test holds for its own server."""
    def bound(port):
        listener = held.enter_context(socket.socket())
        listener.bind(("", port))
        listener.listen()
        return listener.getsockname()[1]
    chosen = []
    with contextlib.ExitStack() as held:
        while len(chosen) < count:
            port = bound(0)
            with contextlib.suppress(OSError):
                if even and port % 2:
                    port = bound(port + 1)
                chosen.append(port)
    return chosen


def serve(lab, ini, ports=1, even=False, **options):
    """A monitor on `ini(*ports)` listening on free ports (even if asked), anew if another process took one first."""
    for _ in range(5):
        chosen = free_ports(ports, even)
        monitor = Monitor(lab, ini(*chosen), **options)
        wait_for(lambda: monitor.process.poll() is not None or monitor.listening() >= set(chosen))
        if "Address already in use" not in monitor.errors():
            return (monitor, *chosen)
        monitor.process.kill()
        monitor.process.wait()
    raise AssertionError(f"no free ports in five tries; the last {chosen}: {monitor.errors()}")


class Usb:
    """The test USB library (tests/support/zorvadev) in `into`, answering what set() gave it last."""

    def __init__(self, lab, status=ALL_WELL, library="Q62M_ZORVADEV", into=None):
        shutil.copy(PATHS[library], os.path.join(into or lab.dir, "libZorvadev.so"))
        self.control, self.counts = lab.path("zorvadev.control"), lab.path("zorvadev.counts")
        self.set(status)

    def set(self, status, mode=b"o"):
        """Mode o answers `status`, f fails; replaced at once, so a reading library never sees half of it."""
        pathlib.Path(self.control + ".new").write_bytes(mode + status)
        os.replace(self.control + ".new", self.control)

    def count(self, letter):
        """Calls so far: o OpenDevice, s GetSpecStatus, c CloseDevice."""
        return read(self.counts, "rb").count(letter)


class Simulator(Process):
    """The printer simulator: commands typed on its standard input, each line of its log found once, in order."""

    def __init__(self, lab, *args, ready=True):
        super().__init__(lab, "simulator", [PATHS["Q62M_SIMULATOR"], *args], stdin=subprocess.PIPE, text=True)
        self.cursor = 0
        assert not ready or self.wait_for_line("ready"), self.errors()

    def wait_for_line(self, text, seconds=20):
        def find():
            lines = read(self.out).split("\n")[:-1]
            found = next((i for i in range(self.cursor, len(lines)) if text in lines[i]), None)
            if found is not None:
                self.cursor = found + 1
                return lines[found]
        return wait_for(find, seconds)

    def endpoint(self, kind, printer="printer1"):
        """What the simulator printed before "ready" as `printer`'s TCP address or pseudo-terminal."""
        return re.search(f"^{printer} {kind} (.*)$", read(self.out).split("ready\n")[0], re.M)[1]

    def port(self, printer="printer1"):
        return int(self.endpoint("tcp", printer).rsplit(":", 1)[1])

    def type(self, line):
        print(line, file=self.process.stdin, flush=True)

    def command(self, line, printer="printer1"):
        """Types `line`; the state line it makes `printer` print ("printer1 answers 01 00 00 F0 ...")."""
        self.type(line)
        return self.wait_for_line(f"{printer} answers ")


class Desktop:
    """An X server of its own (Xvfb) with a window manager (openbox); other programs on demand."""

    def __init__(self, lab):
        self.lab, self.env = lab, dict(os.environ)
        # -noreset: otherwise the server resets whenever its last client leaves, and a client that
        # connects meanwhile (trayer, the monitor) is dropped and finds no display.
        with open(lab.path("display"), "w") as number:
            Process(lab, "xvfb", ["Xvfb", "-displayfd", str(number.fileno()), "-noreset", "-nolisten", "tcp",
                                  "-screen", "0", "640x480x24"], pass_fds=(number.fileno(),))
        display = wait_for(lambda: read(lab.path("display")).endswith("\n") and read(lab.path("display")))
        assert display, "Xvfb did not start"
        self.env["DISPLAY"] = self.display = ":" + display.strip()
        # Openbox names itself the window manager before it handles the windows that map; a window mapped
        # in between is never shown. Its start-up command runs once it does.
        self.start("openbox", "--sm-disable", "--startup", f"touch {lab.path('openbox-started')}")
        assert wait_for(lambda: os.path.exists(lab.path("openbox-started"))), "openbox did not start"

    def start(self, *command):
        return Process(self.lab, command[0], command, env=self.env)

    def run(self, *command):
        """The standard output of an X client run on this display."""
        return subprocess.run(command, env=self.env, capture_output=True).stdout.decode()

    def windows(self, *search):
        """The visible windows that `xdotool search` finds."""
        return self.run("xdotool", "search", "--onlyvisible", *search).split()

    def window(self, *search):
        return (wait_for(lambda: self.windows(*search)) or [None])[0]

    def focus(self):
        return self.run("xdotool", "getwindowfocus").strip()

    def colours(self, window, *points):
        """The colours a user sees in `window` ("red", "green" or "other") at `points`, or the set of
        those that show anywhere in it."""
        picture = subprocess.run(["import", "-window", window, "-depth", "8", "ppm:-"], env=self.env, capture_output=True)
        if picture.returncode != 0:  # the window is gone
            return [] if points else set()
        _, size, _, data = picture.stdout.split(b"\n", 3)
        at = lambda i: "red" if data[i] > 150 and data[i + 1] < 80 else "green" if data[i + 1] > 100 and data[i] < 80 else ""
        if points:
            return [at(3 * (y * int(size.split()[0]) + x)) for x, y in points]
        return {at(i) for i in range(0, len(data), 3)} - {""}

    def screenshot(self, name):
        self.run("import", "-window", "root", self.lab.path(name))


class Lab:
    """A test's directory and the processes it starts; both end with the test."""

    def __init__(self):
        self.dir, self.processes, self.count = tempfile.mkdtemp(prefix="q62m-"), [], itertools.count()

    def path(self, name):
        return os.path.join(self.dir, name)


def pytest_sessionfinish(session):
    # A skipped test shows in ctest as skipped (SKIP_RETURN_CODE), never as passed.
    if session.exitstatus == 0 and session.config.pluginmanager.get_plugin("terminalreporter").stats.get("skipped"):
        session.exitstatus = 77


@pytest.fixture
def lab(request):
    lab, failures = Lab(), request.session.testsfailed
    yield lab
    for process in reversed(lab.processes):  # the X server last, so that its clients end quietly
        process.kill()
        process.wait()
    # Pictures are kept for a person to look at; after a failure also what tells why.
    kept = os.path.join(PATHS["Q62M_ARTIFACT_DIR"], request.node.name)
    shutil.rmtree(kept, ignore_errors=True)
    for name in os.listdir(lab.dir):
        if name.endswith(".png") or request.session.testsfailed > failures and name.endswith((".out", ".err")):
            os.makedirs(kept, exist_ok=True)
            shutil.copy(lab.path(name), kept)
    shutil.rmtree(lab.dir)


@pytest.fixture
def desktop(lab, request):
    # Every tool is looked for before the X server starts; in CI a missing one fails the test.
    if missing := [tool for tool in DESKTOP_TOOLS if not shutil.which(tool)]:
        (pytest.fail if os.environ.get("CI") else pytest.skip)(f"not installed: {' '.join(missing)} (scripts/setup.sh)")
    desktop, failures = Desktop(lab), request.session.testsfailed
    yield desktop
    if request.session.testsfailed > failures:
        desktop.screenshot("failure.png")
