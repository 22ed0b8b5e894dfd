#!/usr/bin/env python3
"""zelvar-web's live calls under load. A station publishes RATE calls a second
through Zelvar's publishing core into a Mosquitto of its own and
zelvar-collect, which stores them into the PostgreSQL of the environment (run
under pg_virtualenv, as run-bench.sh does), while CLIENTS Server-Sent-Events
clients read /api/live. Per run: the delay from a call's receive time at the
station (taken before it is published, so the broker, the collector's batching
and its commit are inside it) to each client (median, 99th percentile and
maximum over every client's events, each event timed by its oldest call),
resets (a client fell behind), zelvar-web's CPU share, and its live queries
per collector notification (both counted in PostgreSQL's statement log). With
--browser, one headless Chromium page instead of the clients: from the receive
time to the row in the page. The figures at the end are medians of the runs.

  bench_web_live WEB COLLECT STATION [--clients N] [--rate R] [--duration S] [--runs N] [--browser]
"""
import argparse
import datetime
import glob
import http.client
import os
import re
import statistics
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "web"))
WEB, COLLECT, STATION = sys.argv[1:4]
sys.argv[1:1] = [WEB, COLLECT, STATION]  # web_api_test takes the tools' paths from argv
import live_path  # noqa: E402
import web_api_test as api  # noqa: E402

TIME = re.compile(rb'"time":"([^"]+)"')


def row_time(text):
    return datetime.datetime.fromisoformat(text.decode()).timestamp()


class Client(threading.Thread):
    """One stream: for each event of calls, the delay of its oldest call."""

    def __init__(self, port, until):
        super().__init__(daemon=True)
        self.port, self.until = port, until
        self.delays, self.resets, self.calls = [], 0, 0
        self.conn = http.client.HTTPConnection("127.0.0.1", port, timeout=60)
        self.conn.request("GET", "/api/live")
        self.stream = self.conn.getresponse()

    def run(self):
        event = b""
        while time.monotonic() < self.until:
            line = self.stream.readline()
            if not line:
                break
            if line.startswith(b"event: "):
                event = line[7:].strip()
                self.resets += event == b"reset"
            elif line.startswith(b"data: ") and event == b"rows":
                arrived = time.time()
                times = TIME.findall(line)
                self.calls += len(times)
                if times:
                    self.delays.append(arrived - row_time(times[-1]))
        self.conn.close()


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def statement_log():
    return glob.glob(os.path.join(os.path.dirname(os.environ["PG_CLUSTER_CONF_ROOT"]), "log", "*.log"))[0]


def count_in_log(log, start, text):
    with open(log, "rb") as file:
        file.seek(start)
        return file.read().count(text)


def percentile(values, share):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(share * len(ordered)))] if ordered else float("nan")


def page_delays(port, until):
    import chromium  # Selenium, only for --browser
    driver = chromium.browser()
    try:
        driver.get(f"http://127.0.0.1:{port}/")
        live_path.wait_until(lambda: driver.execute_script(
            "return document.getElementById('status').textContent") == "Live", "the page")
        # Each row the page adds, against the call's time its first cell gives on hover.
        driver.execute_script("""
            window.delays = [];
            new MutationObserver((changes) => {
              const now = Date.now();
              for (const change of changes) for (const row of change.addedNodes)
                window.delays.push(now - Date.parse(row.cells[0].title.replace(" UTC", "")));
            }).observe(document.querySelector('#heard tbody'), {childList: true});""")
        time.sleep(max(0, until - time.monotonic()))
        return [d / 1000 for d in driver.execute_script("return window.delays")]
    finally:
        driver.quit()


def run(args):
    # The collector and zelvar-web log in as the cluster's owner (zelvar-web then
    # takes the reading role): their sessions log every statement.
    api.make_schema("SELECT zelvar_make_day(current_date + d) FROM generate_series(-1, 1) d; "
                    "ALTER ROLE current_user SET log_statement = 'all'; ")
    path = live_path.LivePath(COLLECT, STATION, api.SCHEMA)
    web, port = api.start("--max-clients", str(args.clients + 10))
    log = statement_log()
    start_of_log = os.path.getsize(log)
    try:
        station = path.station("north", args.rate * (args.duration + 5), args.rate, 1)
        # The first seconds fill the caches; the figures come from the rest.
        live_path.wait_until(lambda: int(api.psql("SELECT count(*) FROM packages")) > 0, "the first calls")
        until = time.monotonic() + args.duration
        cpu = cpu_seconds(web.pid)
        began = time.monotonic()
        if args.browser:
            delays, resets, calls = page_delays(port, until), 0, 0
        else:
            clients = [Client(port, until) for _ in range(args.clients)]
            for client in clients:
                client.start()
            for client in clients:
                client.join()
            delays = [d for client in clients for d in client.delays]
            resets = sum(client.resets for client in clients)
            calls = min(client.calls for client in clients)
        share = (cpu_seconds(web.pid) - cpu) / (time.monotonic() - began)
        station.kill()
        station.wait()
        queries = count_in_log(log, start_of_log, b"json_to_recordset($1::json)")
        notifications = count_in_log(log, start_of_log, b"pg_notify('zelvar_packages'")
    finally:
        api.stop(web)
        path.close()
        api.drop_schema()
    return {"median": statistics.median(delays), "p99": percentile(delays, 0.99), "max": max(delays),
            "cpu": share, "queries/notification": queries / max(1, notifications), "resets": resets,
            "calls/client": calls}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--clients", type=int, default=100)
    parser.add_argument("--rate", type=int, default=2000)
    parser.add_argument("--duration", type=int, default=20)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--browser", action="store_true")
    args = parser.parse_args(sys.argv[4:])
    what = "one Chromium page" if args.browser else f"{args.clients} SSE clients"
    print(f"{what}, {args.rate} calls/s for {args.duration} s, {args.runs} runs")
    results = []
    for number in range(args.runs):
        result = run(args)
        results.append(result)
        print(f"run {number + 1}: " + ", ".join(f"{k} {v:.3f}" for k, v in result.items()), flush=True)
    print("median: " + ", ".join(f"{k} {statistics.median(r[k] for r in results):.3f}" for k in results[0]))


if __name__ == "__main__":
    main()
