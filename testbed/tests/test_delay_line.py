"""The delay line: its per-direction queue on a made-up clock, and (as root) a real pair of TAP
devices in two namespaces of the test's own."""

import os
import re
import select
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

import delay_line  # noqa: E402
from delay_line import DelayQueue, DueTimer, earliest_due  # noqa: E402


class DueTimerTest(unittest.TestCase):
    def test_it_fires_when_due_not_before_and_at_once_when_overdue(self):
        timer = DueTimer()
        poller = select.epoll()
        poller.register(timer.fd, select.EPOLLIN)
        try:
            self.assertEqual(poller.poll(0), [])
            due = time.monotonic() + 0.5
            timer.arm(due)
            self.assertEqual(poller.poll(0.010), [])
            self.assertEqual(len(poller.poll(2.0)), 1)
            self.assertGreaterEqual(time.monotonic(), due)
            timer.clear()
            self.assertEqual(poller.poll(0), [])
            timer.arm(time.monotonic() - 1.0)
            self.assertEqual(len(poller.poll(0.5)), 1)
            timer.clear()
            timer.arm(None)
            self.assertEqual(poller.poll(0.010), [])
        finally:
            poller.close()
            timer.close()


class DelayQueueTest(unittest.TestCase):
    def test_frames_leave_in_arrival_order_once_due_and_not_before(self):
        q = DelayQueue(0.020, 1 << 20)
        q.push(100.000, b"a")
        q.push(100.005, b"b")
        q.push(100.005, b"c")
        self.assertEqual(q.pop_due(100.019), [])
        self.assertEqual(q.pop_due(100.020), [b"a"])
        self.assertEqual(q.pop_due(100.024), [])
        self.assertEqual(q.pop_due(100.030), [b"b", b"c"])
        self.assertEqual(q.pop_due(200.0), [])
        self.assertIsNone(q.next_due())

    def test_a_full_buffer_drops_and_frees_its_room_as_frames_leave(self):
        q = DelayQueue(0.010, 3000)
        self.assertTrue(q.push(0.0, b"x" * 1500))
        self.assertTrue(q.push(0.0, b"y" * 1500))
        self.assertFalse(q.push(0.0, b"z"))
        self.assertEqual(q.dropped, 1)
        self.assertEqual([len(f) for f in q.pop_due(0.010)], [1500, 1500])
        self.assertEqual(q.held_bytes, 0)
        self.assertTrue(q.push(0.011, b"w" * 3000))

    def test_the_wait_is_until_the_earliest_head_of_either_direction(self):
        to_lab = DelayQueue(0.020, 1 << 20)
        to_host = DelayQueue(0.020, 1 << 20)
        self.assertIsNone(earliest_due((to_lab, to_host)))
        to_lab.push(5.000, b"a")
        to_host.push(4.990, b"b")
        self.assertAlmostEqual(earliest_due((to_lab, to_host)), 5.010)

    def test_zero_delay_passes_frames_at_once(self):
        q = DelayQueue(0.0, 1 << 20)
        q.push(1.0, b"a")
        self.assertEqual(q.pop_due(1.0), [b"a"])

    def test_random_loss_drops_about_its_share_and_holds_the_rest(self):
        import random
        q = DelayQueue(0.0, 1 << 30, loss=0.01, rng=random.Random(7))
        kept = sum(1 for _ in range(100000) if q.push(1.0, b"f"))
        self.assertEqual(kept + q.lost, 100000)
        self.assertAlmostEqual(q.lost / 100000, 0.01, delta=0.002)
        self.assertEqual(q.dropped, 0)
        self.assertEqual(len(q.pop_due(1.0)), kept)

    def test_arguments_out_of_range_are_refused(self):
        for argv in (["--delay-ms", "-1"], ["--delay-ms", "70000"],
                     ["--delay-ms", "40", "--queue-limit", "0"], ["--delay-ms", "40", "--loss", "100"],
                     ["--delay-ms", "40", "--loss", "-1"]):
            with self.subTest(argv=argv), self.assertRaises(SystemExit):
                delay_line.main(argv + ["--host-dev", "x", "--lab-dev", "y"])


def can_make_namespaces():
    return os.geteuid() == 0 and os.path.exists("/dev/net/tun") and os.path.exists("/usr/sbin/ip")


@unittest.skipUnless(can_make_namespaces(), "needs root, /dev/net/tun and ip")
class DelayLineOverTapTest(unittest.TestCase):
    """Two namespaces of this test's own, one TAP device in each, the delay line between them."""

    DELAY_MS = 30

    def run_ip(self, *args, ns=None):
        prefix = ["ip", "netns", "exec", ns] if ns else []
        subprocess.run(prefix + ["ip", *args], check=True, capture_output=True)

    def setUp(self):
        tag = str(os.getpid())
        self.ns_a, self.ns_b = "kvdlt-a-" + tag, "kvdlt-b-" + tag
        self.dev_a, self.dev_b = "kvdlta" + tag[-6:], "kvdltb" + tag[-6:]
        self.addCleanup(self.remove_namespaces)
        for ns, dev, addr in ((self.ns_a, self.dev_a, "10.254.7.1/24"),
                              (self.ns_b, self.dev_b, "10.254.7.2/24")):
            self.run_ip("netns", "add", ns)
            self.run_ip("tuntap", "add", "dev", dev, "mode", "tap", ns=ns)
            self.run_ip("addr", "add", addr, "dev", dev, ns=ns)
        # The line runs in namespace a and enters b by name, as the lab's runs on the host.
        script = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                              "delay_line.py")
        self.line = subprocess.Popen(
            ["ip", "netns", "exec", self.ns_a, sys.executable, script, "--delay-ms",
             str(self.DELAY_MS), "--host-dev", self.dev_a, "--lab-dev", self.dev_b,
             "--lab-netns", self.ns_b], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.addCleanup(self.stop_line)
        self.assertEqual(self.line.stdout.readline().strip(), "READY")
        for ns, dev in ((self.ns_a, self.dev_a), (self.ns_b, self.dev_b)):
            self.run_ip("link", "set", dev, "up", ns=ns)

    def stop_line(self):
        if self.line.poll() is None:
            self.line.terminate()
        self.line.communicate(timeout=10)

    def remove_namespaces(self):
        for ns in (self.ns_a, self.ns_b):
            subprocess.run(["ip", "netns", "del", ns], capture_output=True)

    def test_round_trips_take_at_least_the_delay_and_the_line_stops_cleanly(self):
        ping = subprocess.run(["ip", "netns", "exec", self.ns_a, "ping", "-c", "3", "-i", "0.2",
                               "-W", "5", "10.254.7.2"], capture_output=True, text=True, timeout=30)
        self.assertEqual(ping.returncode, 0, ping.stdout + ping.stderr)
        rtt_min = float(re.search(r"= ([0-9.]+)/", ping.stdout).group(1))
        self.assertGreaterEqual(rtt_min, self.DELAY_MS)
        self.line.terminate()
        _, err = self.line.communicate(timeout=10)
        self.assertEqual(self.line.returncode, 0, err)
        passed = [int(n) for n in re.findall(r"(\d+) passed", err)]
        self.assertEqual(len(passed), 2)
        self.assertTrue(all(n >= 3 for n in passed), err)  # ARP and echo both ways

    def test_the_line_ends_when_a_device_goes_away(self):
        # Deleting the namespace would not do: the line's descriptor keeps it, and the device, alive.
        self.run_ip("link", "del", self.dev_b, ns=self.ns_b)
        _, err = self.line.communicate(timeout=10)
        self.assertEqual(self.line.returncode, 1, err)


if __name__ == "__main__":
    unittest.main()
