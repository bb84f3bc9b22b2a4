# The status servers of the real executable under bad clients: a flood of connections that close at
# once, leave without reading or send garbage, then a client that sends a megabyte. The other server
# keeps answering throughout, the troubled one serves again afterwards, and the monitor holds no more
# descriptors than before. Longer runs under load are the soak benchmark's.
import contextlib, statistics, time
from conftest import REQUEST, Usb, ask, connect, read, receive, serve, usb_ini, wait_for

STATUS = b"\x04\x00\x12\xf0"


def queues(local, remote):
    """The send and receive queues of the loopback connection from port `local` to port `remote`."""
    for row in (line.split() for line in read("/proc/net/tcp").splitlines()[1:]):
        if (int(row[1][-4:], 16), int(row[2][-4:], 16)) == (local, remote):
            return tuple(int(queue, 16) for queue in row[4].split(":"))


def test_bad_clients_of_one_server_leave_the_other_answering_and_nothing_open(lab):
    Usb(lab, STATUS)
    monitor, troubled, other = serve(lab, usb_ini, 2)
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
    assert wait_for(lambda: min(samples()) <= before, 10), "descriptors left open"
    assert monitor.process.poll() is None, monitor.errors()
