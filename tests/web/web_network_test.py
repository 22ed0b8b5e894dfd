#!/usr/bin/env python3
"""zelvar-web's activity chart, map and exports in a real browser (headless
Chromium through WebDriver) against a real PostgreSQL (the test command's
pg_virtualenv): what they show is what SQL counts, and hostile ranges get a
clear 400."""
import csv
import http.client
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import unittest

from selenium.webdriver.common.by import By
from selenium.webdriver.support.select import Select
from selenium.webdriver.support.ui import WebDriverWait

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import web_api_test as api  # noqa: E402  (its helpers, and zelvar-web's and zelvar-collect's paths from argv)
import web_browser_test as page  # noqa: E402

PATIENCE = 30
TIME = "to_char(time, 'YYYY-MM-DD\"T\"HH24:MI:SS.US\"Z\"')"
# Signal reports at places far apart, one level each, and their colours
# in the coverage map's bands.
REPORTS = [("-65", "#00c000"), ("-85", "#ffd700"), ("-105", "#ff4500"), ("-115", "#d00000"),
           ("Max", "#00c000"), (None, "#808080")]


def query(sql):
    """Rows of `sql` as lists of texts ('' for NULL)."""
    out = subprocess.run(["psql", "-X", "-q", "-A", "-t", "-F", "\t", "-c", sql], check=True, capture_output=True,
                         text=True, env=dict(os.environ, PGOPTIONS=f"-csearch_path={api.SCHEMA}")).stdout
    return [line.split("\t") for line in out.splitlines()]


class NetworkView(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if "PGHOST" not in os.environ:
            raise RuntimeError("no PostgreSQL: run the tests under pg_virtualenv, as scripts/run-tests.sh does")
        api.psql(f"CREATE SCHEMA {api.SCHEMA}")
        subprocess.run([api.COLLECT, "--database", f"options=-csearch_path={api.SCHEMA}", "--init"], check=True,
                       capture_output=True)
        # The range: the three whole hours before this minute. Calls of two
        # stations in it and before it, some with a Group a spreadsheet
        # would run; the signal reports in it.
        cls.start, cls.end = query("SELECT date_trunc('minute', now()) - interval '3 hours', "
                                   "date_trunc('minute', now())")[0]
        values = ", ".join(f"({i}, {page.literal(dbm) if dbm else 'NULL'}, {52 + i}, {13 + i})"
                           for i, (dbm, _) in enumerate(REPORTS))
        api.psql("SELECT zelvar_make_day(current_date + d) FROM generate_series(-1, 1) d; "
                 "INSERT INTO packages (station, source, seq, time, port, call, \"group\", id, dbm, hex) "
                 "SELECT CASE WHEN n % 3 = 0 THEN 'south' ELSE 'north' END, 'run1', n, "
                 f"'{cls.start}'::timestamptz + (n - 40) * interval '97 seconds', 1 + n % 4, "
                 "CASE WHEN n % 5 <> 0 THEN 'Group' END, CASE WHEN n % 4 = 0 THEN '=1+1' ELSE '100' END, "
                 "2000 + n % 3, (-60 - n)::text, '00' FROM generate_series(1, 150) n; "
                 "INSERT INTO packages (station, source, seq, time, port, dbm, lat, lon, hex) "
                 f"SELECT 'north', 'run2', r.n, '{cls.start}'::timestamptz + interval '1 hour', 1, r.dbm, r.lat, r.lon, "
                 f"'00' FROM (VALUES {values}) r(n, dbm, lat, lon); "
                 "INSERT INTO stations (station, last_seen, state) VALUES ('north', now(), 'online'); "
                 f"CREATE ROLE {api.READER}; GRANT USAGE ON SCHEMA {api.SCHEMA} TO {api.READER}; "
                 f"GRANT SELECT ON packages, stations, activity TO {api.READER}")
        cls.server, cls.port = api.start()
        if not isinstance(cls.port, int):
            raise RuntimeError(f"zelvar-web did not start: {cls.port}")
        cls.downloads = tempfile.mkdtemp()
        cls.driver = page.browser()
        cls.driver.execute_cdp_cmd("Browser.setDownloadBehavior",
                                   {"behavior": "allow", "downloadPath": cls.downloads})
        cls.driver.get(f"http://127.0.0.1:{cls.port}/")
        cls.wait_for(lambda d: d.find_element(By.ID, "status").text == "Live")
        # The range in the form, as the viewer's local times.
        cls.driver.execute_script(
            "const f = document.getElementById('range');"
            "f.elements.from.value = localInput(new Date(arguments[0]));"
            "f.elements.to.value = localInput(new Date(arguments[1])); exportLinks();",
            cls.start.replace(" ", "T").replace("+00", "Z"), cls.end.replace(" ", "T").replace("+00", "Z"))

    @classmethod
    def tearDownClass(cls):
        if getattr(cls, "driver", None):
            cls.driver.quit()
        if getattr(cls, "server", None):
            api.stop(cls.server)
        shutil.rmtree(cls.downloads, ignore_errors=True)
        api.psql(f"DROP SCHEMA IF EXISTS {api.SCHEMA} CASCADE; DROP OWNED BY {api.READER}; "
                 f"DROP ROLE IF EXISTS {api.READER}")

    @classmethod
    def wait_for(cls, condition):
        return WebDriverWait(cls.driver, PATIENCE, poll_frequency=0.05).until(condition)

    def show(self, what, mark):
        self.driver.execute_script("performance.clearMarks(arguments[1]); document.getElementById('range')"
                                   ".requestSubmit(document.querySelector(`#range button[value=${arguments[0]}]`))",
                                   what, mark)
        self.wait_for(lambda d: d.execute_script("return performance.getEntriesByName(arguments[0]).length", mark))

    def in_range(self, what):
        """`what` of each station's rows in the range."""
        return query(f"SELECT {what} FROM packages WHERE time >= '{self.start}' AND time < '{self.end}' GROUP BY station")

    def test_chart_totals_equal_sql(self):
        chart_sums = ("return Chart.getChart('activity-chart').data.datasets"
                      ".map(d => [d.label, d.data.reduce((a, b) => a + b, 0)])")
        for step in ("minute", "hour"):
            Select(self.driver.find_element(By.NAME, "step")).select_by_value(step)
            self.show("activity", "activity-shown")
            for measure, counted in (("packages", "count(*)"), ("calls", "count(call)")):
                with self.subTest(step=step, measure=measure):
                    Select(self.driver.find_element(By.ID, "measure")).select_by_value(measure)
                    self.assertEqual(sorted(self.driver.execute_script(chart_sums)),
                                     sorted([s, int(n)] for s, n in self.in_range(f"station, {counted}")))
        self.wait_for(lambda d: d.execute_script("return performance.getEntriesByName('busiest-shown').length"))
        for table, column in (("busiest-groups", '"group"'), ("busiest-ids", "id")):
            shown = [[td.text for td in row.find_elements(By.TAG_NAME, "td")]
                     for row in self.driver.find_elements(By.CSS_SELECTOR, f"#{table} tbody tr")]
            self.assertEqual(shown, query(f"SELECT {column}, count(*) FROM packages WHERE call IS NOT NULL "
                                          f"AND time >= '{self.start}' AND time < '{self.end}' "
                                          "GROUP BY 1 ORDER BY 2 DESC, 1"))

    def test_map_colours_known_levels(self):
        self.show("map", "map-shown")
        fills = [p.get_attribute("fill") for p in
                 self.driver.find_elements(By.CSS_SELECTOR, "#map path.leaflet-interactive")]
        self.assertEqual(sorted(fills), sorted(colour for _, colour in REPORTS))
        self.assertEqual(self.driver.find_element(By.ID, "map-total").text, f"{len(REPORTS)} signal reports, "
                         f"{len(REPORTS)} points")

    def test_export_downloads_the_filtered_rows(self):
        station = self.driver.find_element(By.NAME, "station")
        station.clear()
        station.send_keys("north")
        station.submit()
        self.wait_for(lambda d: "station=north" in d.find_element(By.ID, "export-csv").get_attribute("href"))
        self.driver.find_element(By.ID, "export-csv").click()
        path = os.path.join(self.downloads, "zelvar-calls.csv")
        self.wait_for(lambda d: os.path.exists(path))
        with open(path, newline="") as file:
            rows = list(csv.reader(file))
        self.assertEqual(rows[0][:8], ["time", "station", "source", "seq", "port", "call", "group", "id"])
        expected = query(f"SELECT {TIME}, station, source, seq, port, call, "
                         "CASE WHEN \"group\" LIKE '=%' THEN '''' || \"group\" ELSE \"group\" END, id, clr, enc, ptt, "
                         f"dbm, lat, lon FROM packages WHERE station = 'north' AND call IS NOT NULL "
                         f"AND time >= '{self.start}' AND time < '{self.end}' ORDER BY time, seq")
        self.assertGreater(len(expected), 20)
        self.assertEqual(rows[1:], expected)
        self.assertIn("'=1+1", [r[6] for r in rows[1:]])

    def test_one_export_at_a_time_per_address(self):
        # Far more rows than the sockets' buffers hold, so that an export
        # read slowly is still streaming.
        api.psql("INSERT INTO packages (station, source, seq, time, port, call, hex) SELECT 'bulk', 'run3', n, "
                 "date_trunc('day', now(), 'UTC') + interval '1 day' + n * interval '1 ms', 1, 'Group', '00' "
                 "FROM generate_series(1, 150000) n")
        day = query("SELECT to_char(now() AT TIME ZONE 'UTC' + interval '1 day', 'YYYY-MM-DD')")[0][0]
        bulk = f"/api/export?from={day}T00:00:00Z&to={day}T01:00:00Z&format=csv&station=bulk"
        empty = f"/api/export?from={day}T02:00:00Z&to={day}T03:00:00Z&format=csv"
        reader = socket.socket()
        reader.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
        reader.connect(("127.0.0.1", self.port))
        reader.sendall(f"GET {bulk} HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n".encode())
        first = http.client.HTTPResponse(reader, method="GET")
        first.begin()
        self.assertEqual(first.status, 200)
        rows = first.read(4096)
        response, body = api.get(self.port, empty)
        self.assertEqual((response.status, json.loads(body)["error"]),
                         (429, "an export of yours is running: wait for its end"))
        rows += first.read(4096)
        response, body = api.send(self.port, "GET", empty, source="127.0.0.2")
        self.assertEqual((response.status, body.count(b"\n")), (200, 1))
        # The first export was not cut short; once it ends, the next goes.
        self.assertEqual((rows + first.read()).count(b"\n"), 1 + 150000)
        reader.close()
        self.wait_for(lambda d: api.get(self.port, empty)[0].status == 200)

    def test_tiles_origin_joins_the_policy(self):
        server, port = api.start("--tiles", "https://tiles.example:8443/osm/{z}/{x}/{y}.png")
        try:
            response, _ = api.get(port, "/")
            self.assertIn("img-src 'self' https://tiles.example:8443;", response.getheader("Content-Security-Policy"))
            self.assertEqual(json.loads(api.get(port, "/api/settings")[1])["tiles"],
                             "https://tiles.example:8443/osm/{z}/{x}/{y}.png")
        finally:
            api.stop(server)
        for url in ("https://*.example/{z}/{x}/{y}.png", "https://a.example;script-src */{z}/{x}/{y}",
                    "javascript://x/{z}/{x}/{y}", "https://a.example/{z}/{x}.png", "https://u@a.example/{z}/{x}/{y}"):
            with self.subTest(url=url):
                server, answer = api.start("--tiles", url)
                self.assertNotIsInstance(answer, int)
                self.assertEqual(server.returncode, 2)

    def test_hostile_ranges_are_refused(self):
        good = "from=2026-12-08T00:00:00Z&to=2026-12-09T00:00:00Z"
        hostile = {
            "/api/busiest": [good + "&zone=UTC", "from=2026-12-08T00:00:00Z", good + "&station=%FF"],
            "/api/activity": ["from=2026-12-09T00:00:00Z&to=2026-12-08T00:00:00Z&zone=UTC",
                              "from=2026-11-01T00:00:00Z&to=2026-12-08T00:00:00Z&zone=UTC",
                              "from=2026-02-30T00:00:00Z&to=2026-03-02T00:00:00Z&zone=UTC",
                              "from=0&to=99999999999&zone=UTC", "to=2026-12-09T00:00:00Z&zone=UTC",
                              good, good + "&zone=Mars/Olympus", good + "&zone=UTC%27%3B%20DROP%20TABLE%20x--",
                              good + "&zone=%2B25:00", good + "&zone=../../etc/passwd", good + "&zone=%FF",
                              "from=2026-12-01T00:00:00Z&to=2026-12-08T00:00:00Z&zone=UTC&step=minute",
                              good + "&zone=UTC&step=second", good + "&zone=UTC&zone=Europe/Berlin"],
            "/api/map": [good + "&south=1", good + "&south=91&west=0&north=92&east=1",
                         good + "&south=2&west=0&north=1&east=1", good + "&south=nan&west=0&north=1&east=1",
                         good + "&south=1e999&west=0&north=1&east=1", good + "&station=" + "x" * 65,
                         "from=2026-12-08T00:00:00+01:00&to=2026-12-09T00:00:00Z"],
            "/api/export": [good, good + "&format=xlsx", good + "&format=csv&id=-1",
                            "from=2026-10-01T00:00:00Z&to=2026-12-08T00:00:00Z&format=csv",
                            good + "&format=csv&group=%00", good + "&format=csv&where=1"],
        }
        for path, queries in hostile.items():
            for hostile_query in queries:
                with self.subTest(path=path, query=hostile_query):
                    response, body = api.get(self.port, f"{path}?{hostile_query}")
                    self.assertEqual(response.status, 400, body)
                    answer = json.loads(body)
                    self.assertEqual(list(answer), ["error"])
                    self.assertRegex(answer["error"], r"^[ -~]+$")


if __name__ == "__main__":
    unittest.main(verbosity=2)
