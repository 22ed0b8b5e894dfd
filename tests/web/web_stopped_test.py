#!/usr/bin/env python3
"""zelvar-web stopped (SIGSTOP) for a minute while a station publishes 2,000
calls a second through a real Mosquitto into zelvar-collect and the
PostgreSQL of the test command: the collector stores on throughout and loses
nothing, and zelvar-web goes on serving, live calls too, once continued."""
import http.client
import os
import signal
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import live_path  # noqa: E402
import web_api_test as api  # noqa: E402  (its helpers, and the tools' paths from argv)

RATE = 2000
STOPPED = 60
# Long enough for the slowest commit of a loaded machine; a collector that
# stalls behind the stopped reader stalls for the whole minute.
WINDOW = 5


def stored():
    return int(api.psql("SELECT count(*) FROM packages"))


class StoppedView(unittest.TestCase):
    def setUp(self):
        api.make_schema()
        self.addCleanup(api.drop_schema)
        self.path = live_path.LivePath(api.COLLECT, api.STATION, api.SCHEMA)
        self.addCleanup(self.path.close)
        self.web, self.port = api.start()
        self.assertIsInstance(self.port, int)
        self.addCleanup(api.stop, self.web)

    def live_past(self, first):
        """Reads a new live stream until a call of an ID past `first` comes."""
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=60)
        try:
            conn.request("GET", "/api/live")
            stream = conn.getresponse()
            # A bound for a loaded machine: the calls come at once when the stream keeps up.
            until = time.monotonic() + 60
            while max(row["id"] for row in api.next_event(stream, until)) <= first:
                pass
        finally:
            conn.close()

    def test_collector_stores_on_while_the_view_is_stopped(self):
        total = RATE * (STOPPED + 30)
        station = self.path.station("north", total, RATE, 1)
        # The view listens and pushes before it is stopped.
        self.live_past(0)
        os.kill(self.web.pid, signal.SIGSTOP)
        try:
            counts = [stored()]
            end = time.monotonic() + STOPPED
            while time.monotonic() < end:
                time.sleep(WINDOW)
                counts.append(stored())
                self.assertGreater(counts[-1], counts[-2], f"the collector stalled: {counts}")
        finally:
            os.kill(self.web.pid, signal.SIGCONT)
        # Live again: a new stream gets the calls stored from now on.
        self.live_past(stored())
        self.assertEqual(api.get(self.port, "/api/heard?limit=1")[0].status, 200)
        said = station.communicate()[0].splitlines()
        self.assertEqual(station.returncode, 0)
        self.assertEqual(said[-1], f"taken {total} queued 0 dropped 0")
        self.assertEqual(stored(), total)
        self.assertEqual(api.psql("SELECT count(*) FROM refused"), "0")


if __name__ == "__main__":
    unittest.main(verbosity=2)
