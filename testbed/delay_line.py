#!/usr/bin/python3
"""A delay line between two TAP devices: every frame read from one is written to the other after
a fixed one-way delay, so that the host and the lab namespace see a round trip of twice that.

    delay_line.py --delay-ms MS --host-dev kvlab0 --lab-dev kvlab1 --lab-netns kivota-lab [--loss PCT]

Both devices must exist as persistent TAP devices (ip tuntap add ... mode tap); the lab device
lives in the lab's network namespace, which this process enters only to attach to it. Rates are
not this program's business: tbf on each device's egress shapes what reaches the line. With
--loss it also drops that share of the frames at random, independently in each direction.

Prints "READY" once attached to both; SIGTERM or SIGINT ends it and it prints its counters.
Only Debian's python3 standard library is used.
"""

import argparse
import collections
import ctypes
import errno
import fcntl
import os
import random
import select
import signal
import struct
import sys
import time

TUNSETIFF = 0x400454CA
IFF_TAP = 0x0002
IFF_NO_PI = 0x1000
CLONE_NEWNET = 0x40000000
MAX_FRAME = 65536
# Frames read from one device in a row before the other gets its turn and due frames go out.
READ_BATCH = 64
# What one direction may hold, as a router's buffer would: beyond it frames are dropped rather
# than letting memory grow when nothing upstream limits the rate.
DEFAULT_QUEUE_LIMIT = 32 * 1024 * 1024
# Low among real-time priorities: above every ordinary program, below the kernel's own threads.
REALTIME_PRIORITY = 10
CLOCK_MONOTONIC = 1
TFD_TIMER_ABSTIME = 1


class DelayQueue:
    """One direction of the line. The delay is constant, so due times rise in arrival order and a
    FIFO is enough: the head is always the next frame due."""

    def __init__(self, delay_s, limit_bytes, loss=0.0, rng=None):
        self.delay_s = delay_s
        self.limit_bytes = limit_bytes
        self.loss = loss
        self.rng = rng or random.Random()
        self.frames = collections.deque()
        self.held_bytes = 0
        self.passed = 0
        self.dropped = 0
        self.lost = 0

    def push(self, now, frame):
        """Holds a frame that arrived at `now`; False (and dropped) when the buffer is full or the
        frame is one of the random losses."""
        if self.loss and self.rng.random() < self.loss:
            self.lost += 1
            return False
        if self.held_bytes + len(frame) > self.limit_bytes:
            self.dropped += 1
            return False
        self.frames.append((now + self.delay_s, frame))
        self.held_bytes += len(frame)
        return True

    def pop_due(self, now):
        """The frames whose time has come, oldest first."""
        due = []
        frames = self.frames
        while frames and frames[0][0] <= now:
            frame = frames.popleft()[1]
            self.held_bytes -= len(frame)
            due.append(frame)
        return due

    def next_due(self):
        """When the head frame falls due, or None when the line is empty."""
        return self.frames[0][0] if self.frames else None


def earliest_due(queues):
    """When the first held frame of any direction falls due (None: nothing is held)."""
    dues = [d for d in (q.next_due() for q in queues) if d is not None]
    return min(dues) if dues else None


class _Timespec(ctypes.Structure):
    _fields_ = [("tv_sec", ctypes.c_long), ("tv_nsec", ctypes.c_long)]


class _Itimerspec(ctypes.Structure):
    _fields_ = [("it_interval", _Timespec), ("it_value", _Timespec)]


class DueTimer:
    """A timer descriptor on the clock of time.monotonic(), armed for when the next held frame
    falls due. epoll's own timeout counts whole milliseconds and rounds up, which would let a
    frame leave up to 1 ms late in each direction."""

    def __init__(self):
        self._libc = ctypes.CDLL(None, use_errno=True)
        self.fd = self._libc.timerfd_create(CLOCK_MONOTONIC, os.O_NONBLOCK | os.O_CLOEXEC)
        if self.fd < 0:
            raise OSError(ctypes.get_errno(), "timerfd_create failed")
        self._armed = None

    def arm(self, due):
        """Fires at `due` (monotonic seconds; at once when that has passed); None disarms."""
        if due == self._armed:
            return
        value = _Itimerspec()
        if due is not None:
            sec = int(due)
            value.it_value = _Timespec(sec, max(1, int((due - sec) * 1e9)))  # all zero would disarm
        if self._libc.timerfd_settime(self.fd, TFD_TIMER_ABSTIME, ctypes.byref(value), None) != 0:
            raise OSError(ctypes.get_errno(), "timerfd_settime failed")
        self._armed = due

    def clear(self):
        """After it fired: it is disarmed (it has no interval)."""
        try:
            os.read(self.fd, 8)
        except BlockingIOError:
            pass
        self._armed = None

    def close(self):
        os.close(self.fd)


def attach_tap(name):
    fd = os.open("/dev/net/tun", os.O_RDWR | os.O_CLOEXEC)
    try:
        fcntl.ioctl(fd, TUNSETIFF, struct.pack("16sH", name.encode(), IFF_TAP | IFF_NO_PI))
    except OSError:
        os.close(fd)
        raise
    os.set_blocking(fd, False)
    return fd


def attach_tap_in_netns(name, netns):
    """Attaches to a TAP device inside a named namespace, then returns to our own namespace.
    The descriptor stays bound to the device wherever this process lives."""
    libc = ctypes.CDLL(None, use_errno=True)
    own = os.open("/proc/self/ns/net", os.O_RDONLY | os.O_CLOEXEC)
    target = os.open(os.path.join("/run/netns", netns), os.O_RDONLY | os.O_CLOEXEC)
    try:
        if libc.setns(target, CLONE_NEWNET) != 0:
            raise OSError(ctypes.get_errno(), "setns into %s failed" % netns)
        try:
            return attach_tap(name)
        finally:
            if libc.setns(own, CLONE_NEWNET) != 0:
                raise OSError(ctypes.get_errno(), "setns back failed")
    finally:
        os.close(target)
        os.close(own)


class Stop(Exception):
    pass


def read_into(fd, queue, now):
    """Reads what is waiting on fd (up to a batch) into queue. False when the device is gone."""
    for _ in range(READ_BATCH):
        try:
            frame = os.read(fd, MAX_FRAME)
        except BlockingIOError:
            return True
        except OSError as e:
            if e.errno in (errno.EBADFD, errno.EIO, errno.ENODEV):
                return False
            raise
        if not frame:
            return False
        queue.push(now, frame)
    return True


def write_due(fd, queue, now):
    for frame in queue.pop_due(now):
        try:
            os.write(fd, frame)
            queue.passed += 1
        except OSError:
            # The receiving side cannot take it (device going down, out of memory): a wire
            # would lose the frame too.
            queue.dropped += 1


def hold_the_cpu_when_due():
    """Real-time scheduling where the system allows it: a frame then leaves when it falls due even
    while other programs keep every processor busy (the line mostly waits, so it takes little)."""
    try:
        os.sched_setscheduler(0, os.SCHED_FIFO, os.sched_param(REALTIME_PRIORITY))
    except (OSError, AttributeError) as e:
        print(f"delay line: no real-time scheduling ({e}); frames may leave late under load", file=sys.stderr)


def run(delay_ms, host_dev, lab_dev, lab_netns, queue_limit, loss=0.0):
    host_fd = attach_tap(host_dev)
    lab_fd = attach_tap_in_netns(lab_dev, lab_netns) if lab_netns else attach_tap(lab_dev)
    one_way = delay_ms / 2000.0
    to_lab = DelayQueue(one_way, queue_limit, loss)
    to_host = DelayQueue(one_way, queue_limit, loss)
    sources = {host_fd: to_lab, lab_fd: to_host}

    def stop(_signum, _frame):
        raise Stop()

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    hold_the_cpu_when_due()
    timer = DueTimer()
    poller = select.epoll()
    poller.register(host_fd, select.EPOLLIN)
    poller.register(lab_fd, select.EPOLLIN)
    poller.register(timer.fd, select.EPOLLIN)
    print("READY", flush=True)
    try:
        while True:
            timer.arm(earliest_due((to_lab, to_host)))
            events = poller.poll(-1)
            now = time.monotonic()
            for fd, _mask in events:
                if fd == timer.fd:
                    timer.clear()
                elif not read_into(fd, sources[fd], now):
                    print("delay line: a device went away", file=sys.stderr)
                    return 1
            now = time.monotonic()
            write_due(lab_fd, to_lab, now)
            write_due(host_fd, to_host, now)
    except Stop:
        return 0
    finally:
        print("delay line: to lab %d passed %d dropped %d lost; to host %d passed %d dropped %d lost"
              % (to_lab.passed, to_lab.dropped, to_lab.lost, to_host.passed, to_host.dropped, to_host.lost),
              file=sys.stderr)
        poller.close()
        timer.close()
        os.close(host_fd)
        os.close(lab_fd)


def main(argv=None):
    parser = argparse.ArgumentParser(description="Fixed-delay line between two TAP devices.")
    parser.add_argument("--delay-ms", type=float, required=True, help="round trip added, ms")
    parser.add_argument("--host-dev", required=True)
    parser.add_argument("--lab-dev", required=True)
    parser.add_argument("--lab-netns", default="", help="namespace holding --lab-dev")
    parser.add_argument("--queue-limit", type=int, default=DEFAULT_QUEUE_LIMIT,
                        help="bytes one direction may hold")
    parser.add_argument("--loss", type=float, default=0.0, help="share of frames dropped at random, percent")
    args = parser.parse_args(argv)
    if not 0 <= args.loss < 100:
        parser.error("--loss must be at least 0 and below 100")
    if not 0 <= args.delay_ms <= 60000:
        parser.error("--delay-ms must be between 0 and 60000")
    if args.queue_limit <= 0:
        parser.error("--queue-limit must be positive")
    return run(args.delay_ms, args.host_dev, args.lab_dev, args.lab_netns, args.queue_limit, args.loss / 100.0)


if __name__ == "__main__":
    sys.exit(main())
