"""The way a station's calls go live, for the network view's tests and
benchmark: a Mosquitto of their own on a free loopback port, zelvar-collect
storing from it into a schema of the PostgreSQL of the environment, and
stations publishing through Zelvar's publishing core (web_station)."""
import os
import shutil
import socket
import subprocess
import tempfile
import time


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def wait_until(condition, what, limit=60):
    """Returns condition()'s first true value; a generous limit for a loaded machine."""
    end = time.monotonic() + limit
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > end:
            raise AssertionError(f"still waiting for {what}")
        time.sleep(0.05)


def accepts(port):
    try:
        socket.create_connection(("127.0.0.1", port), timeout=1).close()
        return True
    except OSError:
        return False


class LivePath:
    def __init__(self, collect, station_tool, schema):
        self.station_tool = station_tool
        self.folder = tempfile.mkdtemp(prefix="zelvar-live-")
        self.port = free_port()
        config = os.path.join(self.folder, "mosquitto.conf")
        with open(config, "w") as file:
            # As root Mosquitto would become the user mosquitto, who cannot write here.
            file.write(f"user root\nlistener {self.port} 127.0.0.1\nallow_anonymous true\n"
                       f"max_queued_messages 1000000\nmax_inflight_messages 0\n"
                       f"log_dest file {self.folder}/mosquitto.log\n")
        self.broker = subprocess.Popen(["mosquitto", "-c", config])
        wait_until(lambda: accepts(self.port), "Mosquitto")
        # Into a file: a pipe nobody reads would stop the collector once full.
        self.said = os.path.join(self.folder, "collect.err")
        with open(self.said, "w") as said:
            self.collector = subprocess.Popen(
                [collect, "--database", f"options=-csearch_path={schema}", "--broker", f"127.0.0.1:{self.port}",
                 "--client-id", f"collect-{schema}"], stderr=said)
        # Packages published before the collector subscribed would wait for the station's resend.
        wait_until(lambda: "subscribed" in self.collector_said() or self.collector.poll() is not None,
                   "zelvar-collect to subscribe")
        if self.collector.poll() is not None:
            raise AssertionError(f"zelvar-collect did not start: {self.collector_said()}")

    def collector_said(self):
        with open(self.said) as said:
            return said.read()

    def station(self, name, count, rate, first_id, group=100):
        """A station publishing `count` calls at `rate` a second; it ends once all are confirmed."""
        return subprocess.Popen([self.station_tool, str(self.port), name, os.path.join(self.folder, f"{name}.outbox"),
                                 str(count), str(rate), str(first_id), str(group)], stdout=subprocess.PIPE, text=True)

    def close(self):
        for process in (self.collector, self.broker):
            process.terminate()
            process.wait()
        shutil.rmtree(self.folder)
