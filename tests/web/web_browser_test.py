#!/usr/bin/env python3
"""zelvar-web's page in a real browser (headless Chromium through WebDriver)
against a real PostgreSQL (the test command's pg_virtualenv): the stations,
calls arriving live from a station through Mosquitto and zelvar-collect, the
filters, values that are markup shown as text, and the page going on by
itself once the server or the database is back.
With ZELVAR_WEB_SCREENSHOT=FILE it leaves a picture of the page there."""
import os
import shutil
import sys
import tempfile
import unittest

from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import live_path  # noqa: E402
from chromium import browser  # noqa: E402
import web_api_test as api  # noqa: E402  (its helpers, and the tools' paths from argv)

SCRIPT_STATION = "<script>document.title='owned'</script>"
SCRIPT_GROUP = "<script>document.title='group'</script>"
# A generous bound for a loaded machine: the page is meant to show a call
# well within 2 seconds of its commit.
PATIENCE = 20


def store(station, seq, group, ident):
    """A call stored as the collector stores a batch: rows and notification in one transaction."""
    api.psql("BEGIN; INSERT INTO packages (station, source, seq, time, port, call, \"group\", id, dbm, hex) "
             f"VALUES ({literal(station)}, 'run3', {seq}, now(), 1, 'Group', {literal(group)}, {ident}, '-80', '00'); "
             "SELECT pg_notify('zelvar_packages', json_build_object('newest', now(), 'stations', "
             f"json_build_array({literal(station)}), 'more', false)::text); COMMIT")


def literal(text):
    return "'" + text.replace("'", "''") + "'"


class WebPage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        api.make_schema("SELECT zelvar_make_day(current_date + d) FROM generate_series(-1, 1) d; "
                        "INSERT INTO stations (station, last_seen, state, hosts, transceivers) VALUES "
                        f"('north', now(), 'online', 1, 4), ({literal(SCRIPT_STATION)}, now(), 'offline', 1, 2); ")
        for seq in range(1, 7):
            store("north" if seq % 2 else SCRIPT_STATION, seq, SCRIPT_GROUP if seq == 6 else "100", 1000 + seq)
        cls.path = live_path.LivePath(api.COLLECT, api.STATION, api.SCHEMA)
        cls.server, cls.port = api.start()
        if not isinstance(cls.port, int):
            raise RuntimeError(f"zelvar-web did not start: {cls.port}")
        cls.driver = browser()
        cls.driver.get(f"http://127.0.0.1:{cls.port}/")
        cls.wait_for(lambda d: d.find_element(By.ID, "status").text == "Live")

    @classmethod
    def tearDownClass(cls):
        if getattr(cls, "driver", None):
            cls.driver.quit()
        if getattr(cls, "server", None):
            api.stop(cls.server)
        if getattr(cls, "path", None):
            cls.path.close()
        api.drop_schema()

    @classmethod
    def wait_for(cls, condition):
        return WebDriverWait(cls.driver, PATIENCE, poll_frequency=0.05).until(condition)

    def column(self, table, index):
        rows = self.driver.find_elements(By.CSS_SELECTOR, f"#{table} tbody tr")
        return [row.find_elements(By.TAG_NAME, "td")[index].text for row in rows]

    def test_1_stations_and_markup_as_text(self):
        self.wait_for(lambda d: len(self.column("stations", 0)) == 2)
        self.assertEqual(list(zip(self.column("stations", 0), self.column("stations", 1))),
                         [(SCRIPT_STATION, "offline"), ("north", "online")])
        self.wait_for(lambda d: len(self.column("heard", 1)) == 6)
        self.assertEqual(self.column("heard", 4)[0], SCRIPT_GROUP)
        self.assertEqual(self.column("heard", 1)[0], SCRIPT_STATION)
        # Nothing the database held became an element or ran.
        self.assertEqual(len(self.driver.find_elements(By.TAG_NAME, "script")), 1)
        self.assertEqual(self.driver.title, "Zelvar network")

    def publish(self, ident, group=100):
        """A call of the station "north" that goes the stations' way, until the collector confirmed it."""
        station = self.path.station("north", 1, 100, ident, group)
        station.communicate()
        self.assertEqual(station.returncode, 0)

    def test_2_published_call_shows_without_reload(self):
        self.wait_for(lambda d: len(self.column("heard", 1)) == 6)
        self.driver.execute_script("window.notReloaded = true")
        self.publish(2007, 200)
        self.wait_for(lambda d: self.column("heard", 5)[:1] == ["2007"])
        # Only the new call: none of those the page had loaded comes again.
        self.assertEqual(self.column("heard", 5), ["2007", "1006", "1005", "1004", "1003", "1002", "1001"])
        self.assertEqual(self.column("heard", 1)[0], "north")
        self.assertTrue(self.driver.execute_script("return window.notReloaded === true"))
        screenshot = os.environ.get("ZELVAR_WEB_SCREENSHOT")
        if screenshot:
            self.driver.save_screenshot(screenshot)

    def test_3_filters_narrow_the_rows(self):
        self.wait_for(lambda d: "2007" in self.column("heard", 5))
        station = self.driver.find_element(By.NAME, "station")
        station.send_keys("north")
        station.submit()
        self.wait_for(lambda d: set(self.column("heard", 1)) == {"north"})
        self.assertEqual(self.column("heard", 5), ["2007", "1005", "1003", "1001"])
        group = self.driver.find_element(By.NAME, "group")
        group.send_keys("200")
        group.submit()
        self.wait_for(lambda d: self.column("heard", 5) == ["2007"])
        # A call that does not match the filters does not come in live.
        store("north", 8, "100", 2008)
        store("north", 9, "200", 2009)
        self.wait_for(lambda d: self.column("heard", 5) == ["2009", "2007"])

    def test_4_page_goes_on_after_the_database_and_the_server_come_back(self):
        self.wait_for(lambda d: "2007" in self.column("heard", 5))
        self.driver.get(f"http://127.0.0.1:{self.port}/")
        self.wait_for(lambda d: d.find_element(By.ID, "status").text == "Live")
        # The database ends zelvar-web's sessions, its listening one too.
        ended = api.psql("SELECT count(pg_terminate_backend(pid)) FROM pg_stat_activity "
                         f"WHERE application_name = '{api.SCHEMA}_web'")
        self.assertGreaterEqual(int(ended), 2)
        self.publish(3001)
        self.wait_for(lambda d: self.column("heard", 5)[:1] == ["3001"])
        # The server goes and comes back on its port.
        api.stop(type(self).server)
        self.wait_for(lambda d: d.find_element(By.ID, "status").text == "Reconnecting...")
        type(self).server, port = api.start(listen=f"127.0.0.1:{self.port}")
        self.assertEqual(port, self.port)
        self.wait_for(lambda d: d.find_element(By.ID, "status").text == "Live")
        self.publish(3002)
        self.wait_for(lambda d: self.column("heard", 5)[:1] == ["3002"])
        self.assertEqual(self.column("heard", 5)[:3], ["3002", "3001", "2009"])

    def test_5_page_needs_a_login(self):
        folder = tempfile.mkdtemp()
        server, port = api.start("--users", api.users_file(folder, 0o600))
        driver = browser()
        try:
            self.assertIsInstance(port, int)
            driver.get(f"http://127.0.0.1:{port}/")
            self.assertTrue(driver.current_url.endswith("/login"))
            driver.find_element(By.NAME, "name").send_keys("alice")
            driver.find_element(By.NAME, "password").send_keys("right horse")
            driver.find_element(By.NAME, "password").submit()
            WebDriverWait(driver, PATIENCE).until(lambda d: d.find_element(By.ID, "user").text == "alice")
            driver.find_element(By.CSS_SELECTOR, "#logout button").click()
            WebDriverWait(driver, PATIENCE).until(lambda d: d.current_url.endswith("/login"))
            driver.get(f"http://127.0.0.1:{port}/api/stations")
            self.assertIn("log in first", driver.page_source)
        finally:
            driver.quit()
            api.stop(server)
            shutil.rmtree(folder)


if __name__ == "__main__":
    unittest.main(verbosity=2)
