#!/usr/bin/python3
"""The network view over ten million rows: seven days of ten stations, 30 %
of them signal reports with an own position, made by the database itself
(generate_series, one statement per day). Then, in headless Chromium and
timed by the page's own marks (performance.mark): the page's load until the
stations and last heard are filled, a last heard filter by station, the
activity chart of the week (and the busiest Groups and IDs beside it) and
the map of one day; each --runs times, the median printed.

Run it under a throw-away PostgreSQL, in a private network namespace:
  scripts/in-netns.sh pg_virtualenv -t bench/web_network_bench.py \\
      build/tools/zelvar-web/zelvar-web build/tools/zelvar-collect/zelvar-collect [--rows N] [--runs 5]
"""
import argparse
import os
import re
import statistics
import subprocess
import sys
import time

from selenium.webdriver.support.ui import WebDriverWait

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "web"))
from chromium import browser  # noqa: E402

SCHEMA = "webbench"
READER = "webbench_reader"
DAYS = 7
STATIONS = 10


def psql(sql, *flags):
    return subprocess.run(["psql", "-X", "-q", "-v", "ON_ERROR_STOP=1", *flags, "-c", sql], check=True,
                          capture_output=True, text=True,
                          env=dict(os.environ, PGOPTIONS=f"-csearch_path={SCHEMA}")).stdout.strip()


def generate(collect, rows):
    psql(f"DROP SCHEMA IF EXISTS {SCHEMA} CASCADE; CREATE SCHEMA {SCHEMA}")
    subprocess.run([collect, "--database", f"options=-csearch_path={SCHEMA}", "--init"], check=True,
                   capture_output=True)
    psql(f"SELECT zelvar_make_day(current_date - d) FROM generate_series(0, {DAYS}) d; "
         "INSERT INTO stations (station, last_seen, state, hosts, transceivers) "
         f"SELECT 'station' || s, now(), 'online', 1, 4 FROM generate_series(0, {STATIONS - 1}) s")
    for day in range(DAYS):
        first = rows * day // DAYS
        per_day = rows * (day + 1) // DAYS - first
        began = time.monotonic()
        # Row i of the day: its station i % 10; kinds by i % 10 as well, so
        # that each station has all: 0-2 signal reports with a position and
        # a level, 3-7 calls of 200 Groups and 5,000 IDs, 8-9 other packages.
        psql(f"""
INSERT INTO packages (station, source, seq, time, port, type, call, "group", id, dbm, lat, lon, hex)
SELECT 'station' || (i % {STATIONS}), 'bench', {first} + i,
       date_trunc('day', now()) - interval '{DAYS - 1 - day} days' + i * (interval '1 day' / {per_day}),
       1 + (i / 10) % 4,
       CASE WHEN k < 3 THEN 'signal' WHEN k < 8 THEN 'call' ELSE 'data' END,
       CASE WHEN k BETWEEN 3 AND 7 THEN 'Group' END,
       CASE WHEN k BETWEEN 3 AND 7 THEN (100 + h % 200)::text END,
       CASE WHEN k BETWEEN 3 AND 7 THEN 2300000 + h % 5000 END,
       CASE WHEN k < 3 THEN (-125 + h % 80)::text END,
       CASE WHEN k < 3 THEN 52 + (h % 1000) / 2000.0 + (i % {STATIONS}) * 0.2 END,
       CASE WHEN k < 3 THEN 13 + (h / 1000 % 1000) / 1000.0 END,
       '00 11 22 33 44 55 66 77 88 99 AA BB'
FROM (SELECT i, i % 10 AS k, abs(hashint8(i)) AS h FROM generate_series(0, {per_day - 1}) i) g
""")
        print(f"day {day + 1}: {per_day} rows in {time.monotonic() - began:.0f} s", flush=True)
    for table in ("packages", "activity"):
        psql(f"VACUUM ANALYZE {table}")
    psql(f"CREATE ROLE {READER}; GRANT USAGE ON SCHEMA {SCHEMA} TO {READER}; "
         f"GRANT SELECT ON packages, stations, activity TO {READER}")


def start(web):
    options = f"-csearch_path={SCHEMA} -crole={READER}"
    process = subprocess.Popen([web, "--database", f"options='{options}'", "--listen", "127.0.0.1:0"],
                               stderr=subprocess.PIPE, text=True)
    match = re.search(r"listening on 127\.0\.0\.1:(\d+)", process.stderr.readline())
    if not match:
        raise RuntimeError("zelvar-web did not start")
    return process, int(match.group(1))



def mark(driver, name):
    """The time of the page's mark `name` after the start the page noted, in ms."""
    WebDriverWait(driver, 60, poll_frequency=0.02).until(
        lambda d: d.execute_script(f"return performance.getEntriesByName('{name}').length > 0"))
    return driver.execute_script(f"return performance.getEntriesByName('{name}')[0].startTime - (window.benchStart || 0)")


def act(driver, script, name):
    """Runs `script` in the page from a start it notes; the ms until its mark `name`."""
    driver.execute_script(f"performance.clearMarks(); window.benchStart = performance.now(); {script}")
    return mark(driver, name)


def set_range(driver, days):
    """The range form: the last `days` days up to the end of today (local)."""
    driver.execute_script(f"""
const f = document.getElementById('range');
const to = new Date(); to.setHours(24, 0, 0, 0);
f.elements.to.value = localInput(to);
f.elements.from.value = localInput(new Date(to.getTime() - {days} * 86400000));""")


def measure(driver, url, runs):
    times = {"page load": [], "last heard filter": [], "activity, week": [], "busiest, week": [],
             "map, one day": []}
    for _ in range(runs):
        driver.get(url)
        times["page load"].append(max(mark(driver, "stations-shown"), mark(driver, "heard-shown")))
        driver.execute_script("document.getElementsByName('station')[0].value = 'station3'")
        times["last heard filter"].append(
            act(driver, "document.getElementById('filters').requestSubmit()", "heard-shown"))
        driver.execute_script("document.getElementsByName('station')[0].value = ''; "
                              "document.getElementById('filters').requestSubmit()")
        set_range(driver, 7)
        times["activity, week"].append(act(
            driver, "document.getElementById('range').requestSubmit("
                    "document.querySelector('#range button[value=activity]'))", "activity-shown"))
        times["busiest, week"].append(mark(driver, "busiest-shown"))
        set_range(driver, 1)
        times["map, one day"].append(act(
            driver, "document.getElementById('range').requestSubmit("
                    "document.querySelector('#range button[value=map]'))", "map-shown"))
    return times


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("web")
    parser.add_argument("collect")
    parser.add_argument("--rows", type=int, default=10_000_000)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--keep", action="store_true", help="use the rows a run before left")
    args = parser.parse_args()
    if "PGHOST" not in os.environ:
        sys.exit("no PostgreSQL: run under pg_virtualenv")
    if not args.keep:
        generate(args.collect, args.rows)
    print(psql("SELECT count(*) || ' rows, ' || count(lat) || ' with a position' FROM packages", "-t", "-A"))
    server, port = start(args.web)
    driver = browser()
    try:
        times = measure(driver, f"http://127.0.0.1:{port}/", args.runs)
    finally:
        driver.quit()
        server.terminate()
        server.wait()
    for name, values in times.items():
        print(f"{name}: median {statistics.median(values):.0f} ms of {len(values)} "
              f"({', '.join(f'{v:.0f}' for v in values)})")


if __name__ == "__main__":
    main()
