# The servers of the real executable under bad clients. The status servers: a flood of connections that
# close at once, leave without reading or send garbage, then a megabyte in one. The metrics endpoint:
# requests other than a scrape, one never finished, random bytes, pipelined requests never read, a
# crowd of idle connections and request heads sent a byte at a time. The other status server answers and
# the polls go on throughout, each troubled server serves again afterwards, and the monitor holds no more
# descriptors than before. Longer runs under load are the soak benchmark's.
import contextlib, os, re, socket, statistics, struct, subprocess, sys, threading, time
from conftest import REQUEST, Endpoint, Usb, ask, connect, exchange, read, receive, serve, served_client, usb_ini, wait_for

STATUS = b"\x04\x00\x12\xf0"


def queues(local, remote):
    """The send and receive queues of the loopback connection from port `local` to port `remote`."""
    for row in (line.split() for line in read("/proc/net/tcp").splitlines()[1:]):
        if (int(row[1][-4:], 16), int(row[2][-4:], 16)) == (local, remote):
            return tuple(int(queue, 16) for queue in row[4].split(":"))


def slow_head(port, source, stop):  # a request head never ended, a byte every 0.3 s; back at once when dropped
    while not stop.is_set():
        with contextlib.suppress(OSError), socket.create_connection(("127.0.0.1", port), 2, (source, 0)) as s:
            s.sendall(b"GET /metrics HTTP/1.1\r\nHost: kiosk")
            while not stop.wait(0.3):
                s.sendall(b"x")


def test_bad_clients_of_one_server_delay_nothing_and_leave_nothing_open(lab):
    Usb(lab, STATUS)
    monitor, troubled, other, port = serve(
        lab, lambda troubled, other, port: usb_ini(troubled, other, general=f"UpdateInterval=1\nMetricsPort={port}"), 3)
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
        assert re.search(answer, exchange(port, request, 1 << 24, 10)), request
    assert ask(troubled, STATUS) == STATUS and ask(other, STATUS) == STATUS
    # Descriptors come and go for a moment: a poll holds the library's files, a server listening again
    # closes its old socket before it opens the new one. Over a second of samples the most frequent
    # count is the monitor's own, and the fewest tells whether any stayed behind.
    samples = lambda: [len(monitor.descriptors()) for _ in range(21) if not time.sleep(0.05)]
    before = statistics.mode(samples())

    # The flood: every twentieth step a client of the other server must be answered.
    held, missed = [], 0
    for i in range(400):
        with contextlib.suppress(OSError):
            if client := connect(troubled):
                client.send((b"", REQUEST, b"garbage")[i % 3])
                held.append(client) if i % 3 == 2 else client.close()
        while len(held) > 40:
            held.pop(0).close()
        missed += i % 20 == 19 and ask(other, STATUS, 2) != STATUS
    for client in held:
        client.close()
    assert missed == 0, "the other server missed answers during the flood"

    # While a client is served the port does not listen, yet no other user's program can bind it, with
    # whatever options and on whatever address; a client that resets its connection is no error.
    client, lines = served_client(troubled), monitor.errors().count("\n")
    taken = subprocess.run(["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", sys.executable, "-c", f"""
import itertools, socket
for reuse, address in itertools.product(((1, 0), (0, 1), (1, 1), (0, 0)), ("0.0.0.0", "127.0.0.1", "127.0.0.2")):
    with socket.socket() as s:
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, reuse[0])
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEPORT, reuse[1])
        try: s.bind((address, {troubled})); s.listen(); print(reuse, address)
        except OSError: pass"""], capture_output=True, text=True)
    assert (taken.returncode, taken.stdout) == (0, ""), taken
    client.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    client.close()
    assert ask(troubled, STATUS) == STATUS and monitor.errors().count("\n") == lines, monitor.errors()

    # A megabyte in one connection is read to its end and dropped, so that a request after it, in a
    # read of its own, is answered; all of it within the five seconds the server gives a client.
    assert ask(troubled, STATUS) == STATUS, "the flooded server does not serve again"
    big = wait_for(lambda: connect(troubled))
    big.sendall(b"x" * (1 << 20))
    mine = big.getsockname()[1]
    assert wait_for(lambda: queues(mine, troubled) == queues(troubled, mine) == (0, 0), 4), "the server stopped reading"
    assert ask(other, STATUS, 2) == STATUS
    big.sendall(REQUEST)
    assert receive(big) == STATUS, "the request after the megabyte got no answer"
    big.close()
    assert ask(troubled, STATUS) == STATUS, "the server does not serve again"

    e = Endpoint(port)
    polls = lambda: e.value("q62m_polls_total", printer="1", result="answered") or 0
    answered = polls()
    held = connect(port)
    held.sendall(b"GET /metrics HTTP/1.1\r\nHost: kio")
    exchange(port, os.urandom(1 << 20), 1 << 24, 10)
    # Pipelined requests that are never read: only the kernel's buffers take them in.
    flood = connect(port, 1)
    with contextlib.suppress(OSError):
        flood.sendall(b"GET /metrics HTTP/1.1\r\n\r\n" * 300000)
    crowd = [socket.socket() for _ in range(100)]
    for client in crowd:
        client.setblocking(False)
        client.connect_ex(("127.0.0.1", port))
    assert ask(other, STATUS) == STATUS
    assert len(monitor.descriptors()) <= before + 9, "a few connections served at once"
    # The crowd's idle connections give way to scrapes.
    assert wait_for(lambda: polls() > answered), "polls go on, scrapes too"
    for client in crowd + [held, flood]:
        client.close()
    assert wait_for(lambda: min(samples()) <= before), "descriptors left open"

    # Slow heads from eight addresses, then 32 from one address, beside a scraper.
    sockets = lambda: sum(d.startswith("socket:") for d in monitor.descriptors())
    alone = sockets()
    for sources, places in ([f"127.0.0.{i}" for i in range(2, 10)], 8), (["127.0.0.10"] * 32, 3):
        stop = threading.Event()
        for source in sources:
            threading.Thread(target=slow_head, args=(port, source, stop), daemon=True).start()
        assert wait_for(lambda: sockets() >= alone + places), "the slow heads hold their places"
        counts = [(bool(e.scrape()), sockets()) for _ in range(20)]
        stop.set()
        assert sum(ok for ok, _ in counts) >= 18 and max(n for _, n in counts) <= alone + places + 2, counts  # few per peer
        assert wait_for(lambda: sockets() <= alone), "the slow heads' connections end with them"
    assert monitor.process.poll() is None, monitor.errors()
