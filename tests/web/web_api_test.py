#!/usr/bin/env python3
"""zelvar-web's API against a real PostgreSQL (the test command's
pg_virtualenv): what it answers, how it pages, and that hostile parameters
get a 400 with one error and nothing else."""
import http.client
import json
import os
import re
import shutil
import socket
import ssl
import subprocess
import sys
import tempfile
import time
import unittest

WEB = sys.argv.pop(1)
COLLECT = sys.argv.pop(1)
STATION = sys.argv.pop(1)
SCHEMA = f"web{os.getpid()}"
READER = f"{SCHEMA}_reader"


def psql(sql):
    """Runs `sql` in the test's schema; the first value of its last result, as text."""
    return subprocess.run(["psql", "-X", "-q", "-A", "-t", "-v", "ON_ERROR_STOP=1", "-c", sql], check=True,
                          stdout=subprocess.PIPE, text=True,
                          env=dict(os.environ, PGOPTIONS=f"-csearch_path={SCHEMA}")).stdout.strip()


def make_schema(sql=""):
    """The collector's tables in a schema of the test's own, filled by `sql`, and a role that only reads them."""
    if "PGHOST" not in os.environ:
        raise RuntimeError("no PostgreSQL: run the tests under pg_virtualenv, as scripts/run-tests.sh does")
    psql(f"CREATE SCHEMA {SCHEMA}")
    subprocess.run([COLLECT, "--database", f"options=-csearch_path={SCHEMA}", "--init"], check=True,
                   capture_output=True)
    psql(f"{sql}CREATE ROLE {READER}; GRANT USAGE ON SCHEMA {SCHEMA} TO {READER}; "
         f"GRANT SELECT ON packages, stations TO {READER}")


def drop_schema():
    psql(f"DROP SCHEMA IF EXISTS {SCHEMA} CASCADE; DROP OWNED BY {READER}; DROP ROLE IF EXISTS {READER}")


def start(*args, role=READER, listen="127.0.0.1:0"):
    options = f"-csearch_path={SCHEMA}" + (f" -crole={role}" if role else "")
    process = subprocess.Popen([WEB, "--database", f"application_name={SCHEMA}_web options='{options}'",
                                "--listen", listen, *args],
                               stderr=subprocess.PIPE, text=True)
    line = process.stderr.readline()
    match = re.search(r"listening on 127\.0\.0\.1:(\d+)", line)
    if not match:
        process.wait()
        process.stderr.close()
        return process, line
    return process, int(match.group(1))


def stop(process):
    """Stops zelvar-web as systemd does; it ends cleanly."""
    process.terminate()
    status = process.wait()
    process.stderr.close()
    if status != 0:
        raise AssertionError(f"zelvar-web ended with {status} on SIGTERM")


def get(port, path):
    return send(port, "GET", path)


def send(port, method, path, form=None, cookies=None, source="127.0.0.1"):
    conn = http.client.HTTPConnection("127.0.0.1", port, timeout=30, source_address=(source, 0))
    headers = {"Cookie": "; ".join(f"{k}={v}" for k, v in cookies.items())} if cookies else {}
    body = None
    if form is not None:
        body = "&".join(f"{k}={quote(v)}" for k, v in form.items())
        headers["Content-Type"] = "application/x-www-form-urlencoded"
    conn.request(method, path, body=body, headers=headers)
    response = conn.getresponse()
    body = response.read()
    conn.close()
    return response, body


def set_cookies(response):
    """The response's cookies: name -> the whole Set-Cookie line."""
    return {line.split("=", 1)[0]: line for line in response.msg.get_all("Set-Cookie") or []}


def users_file(folder, mode):
    """A users file of "alice" with the password "right horse"."""
    made = subprocess.run([WEB, "--hash-password", "alice"], input="right horse\n", capture_output=True, text=True,
                          check=True).stdout
    if not made.startswith("alice:$argon2id$"):
        raise AssertionError(made)
    path = os.path.join(folder, f"users{mode:o}")
    with open(os.open(path, os.O_WRONLY | os.O_CREAT, mode), "w") as file:
        file.write("# who may look\n" + made)
    return path


class WebApi(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        # 30 calls over two stations, a row without a decoded line, and
        # texts that are markup or SQL.
        make_schema("SELECT zelvar_make_day('2026-12-08'); "
             "INSERT INTO packages (station, source, seq, time, port, call, \"group\", id, dbm, hex) "
             "SELECT CASE WHEN n % 2 = 0 THEN 'north' ELSE '<script>alert(1)</script>' END, 'run1', n, "
             "'2026-12-08 05:00:00+00'::timestamptz + n * interval '1 second', 1, 'Group', "
             "CASE WHEN n % 3 = 0 THEN '<b>9</b>' ELSE '100' END, 1000 + n % 5, '-90', '00' "
             "FROM generate_series(1, 30) n; "
             "INSERT INTO packages (station, source, seq, time, port, hex) "
             "VALUES ('north', 'run1', 99, '2026-12-08 06:00:00+00', 1, '00'); "
             "INSERT INTO stations (station, last_seen, state, hosts) "
             "VALUES ('north', now(), 'online', 1), ('<img src=x onerror=alert(1)>', now(), 'offline', 2); ")
        cls.server, cls.port = start()
        if not isinstance(cls.port, int):
            raise RuntimeError(f"zelvar-web did not start: {cls.port}")

    @classmethod
    def tearDownClass(cls):
        if getattr(cls, "server", None):
            stop(cls.server)
        drop_schema()

    def ok(self, path):
        response, body = get(self.port, path)
        self.assertEqual(response.status, 200, body)
        self.assertEqual(response.getheader("X-Content-Type-Options"), "nosniff")
        self.assertIn("frame-ancestors 'none'", response.getheader("Content-Security-Policy"))
        self.assertTrue(response.getheader("Content-Type").startswith("application/json"))
        return json.loads(body)

    def test_stations_as_stored(self):
        stations = self.ok("/api/stations")
        self.assertEqual([(s["station"], s["state"], s["hosts"]) for s in stations],
                         [("<img src=x onerror=alert(1)>", "offline", 2), ("north", "online", 1)])

    def test_heard_pages_by_keyset_and_filters(self):
        everything = self.ok("/api/heard?limit=500")["rows"]
        self.assertEqual([r["seq"] for r in everything], list(range(30, 0, -1)))
        self.assertEqual(everything[0]["time"], "2026-12-08T05:00:30+00:00")
        pages, before = [], ""
        while True:
            rows = self.ok("/api/heard?limit=7" + before)["rows"]
            if not rows:
                break
            pages += rows
            last = rows[-1]
            before = "&" + "&".join(f"before_{k}={quote(str(last[k]))}" for k in ("time", "station", "source", "seq"))
        self.assertEqual(pages, everything)
        north = self.ok("/api/heard?station=north&id=1002")["rows"]
        self.assertEqual([r["seq"] for r in north], [22, 12, 2])
        marked = self.ok("/api/heard?group=%3Cb%3E9%3C%2Fb%3E&station=" + quote("<script>alert(1)</script>"))
        self.assertEqual([r["seq"] for r in marked["rows"]], [27, 21, 15, 9, 3])
        # A text that looks like SQL is only a name nobody has.
        self.assertEqual(self.ok("/api/heard?station=" + quote("x' OR '1'='1") + "&group=" + quote("1; DROP TABLE packages"))["rows"], [])

    def test_hostile_parameters_are_refused(self):
        hostile = [
            "limit=0", "limit=501", "limit=-1", "limit=1e3", "limit=99999999999999999999999", "limit=",
            "id=-1", "id=2147483648", "id=1%20OR%201=1", "id=0x10",
            "before_time=2026-02-30T00:00:00Z&before_station=a&before_source=b&before_seq=1",
            "before_time=2026-12-08&before_station=a&before_source=b&before_seq=1",
            "before_time=2026-12-08T05:00:00%27%3B%20DROP%20TABLE%20packages--&before_station=a&before_source=b&before_seq=1",
            "before_time=2026-12-08T24:00:00Z&before_station=a&before_source=b&before_seq=1",
            "before_time=0001-01-01T00:00:00Z&before_station=a&before_source=b&before_seq=1",
            "before_time=2026-12-08T05:00:00Z", "before_seq=1e9",
            "station=%FF", "station=%C0%AF", "station=%ED%A0%80", "station=a%00b", "station=%F4%90%80%80",
            "station=" + "x" * 65, "group=%1B%5B31m", "station=", "station=a&station=b", "where=1", "limit=10;",
            "id=1=1", "=1", "limit", "limit=5&", "&limit=5",
        ]
        for query in hostile:
            with self.subTest(query=query):
                response, body = get(self.port, "/api/heard?" + query)
                self.assertEqual(response.status, 400, body)
                answer = json.loads(body)
                self.assertEqual(list(answer), ["error"])
                self.assertRegex(answer["error"], r"^[ -~]+$")
        response, _ = get(self.port, "/api/stations?limit=1")
        self.assertEqual(response.status, 400)
        self.assertEqual(self.ok("/api/heard?limit=1")["rows"][0]["seq"], 30)

    def test_clients_beyond_the_limit_hear_503(self):
        server, port = start("--max-clients", "1")
        try:
            idle = socket.create_connection(("127.0.0.1", port))
            response, body = get(port, "/api/stations")
            self.assertEqual(response.status, 503, body)
            idle.close()
            # The one thread is free again once it saw the idle client go.
            for _ in range(300):
                response, _ = get(port, "/api/stations")
                if response.status == 200:
                    break
            self.assertEqual(response.status, 200)
        finally:
            stop(server)

    def test_owner_is_refused_unless_allowed(self):
        server, message = start(role=None)
        self.assertEqual(server.returncode, 2)
        self.assertIn("owns the tables", message)
        server, port = start("--allow-owner", role=None)
        try:
            self.assertIsInstance(port, int)
            self.assertEqual(len(self.ok_at(port, "/api/heard?limit=3")["rows"]), 3)
        finally:
            stop(server)

    def test_logins_guard_every_page_and_call(self):
        folder = tempfile.mkdtemp()
        server, message = start("--users", users_file(folder, 0o644))
        self.assertEqual(server.returncode, 2)
        self.assertIn("chmod 600", message)
        server, port = start("--users", users_file(folder, 0o600))
        try:
            for path in ("/", "/app.js", "/api/stations", "/api/heard?limit=1", "/api/live", "/api/session"):
                with self.subTest(path=path):
                    response, _ = get(port, path)
                    if path.startswith("/api/"):
                        self.assertEqual(response.status, 401)
                    else:
                        self.assertEqual((response.status, response.getheader("Location")), (303, "/login"))
            response, body = get(port, "/login")
            self.assertEqual(response.status, 200)
            form_token = re.search(r'name="csrf" value="([0-9a-f]{64})"', body.decode()).group(1)
            cookie = set_cookies(response)["zelvar_login"]
            self.assertIn("; HttpOnly; SameSite=Strict", cookie)
            self.assertNotIn("Secure", cookie)
            login = {"zelvar_login": cookie.split(";")[0].split("=", 1)[1]}

            def log_in(password, source="127.0.0.1", token=form_token, cookies=login):
                return send(port, "POST", "/login", {"csrf": token, "name": "alice", "password": password},
                            cookies, source)[0]

            # The form's token must come back beside its cookie.
            self.assertEqual(log_in("right horse", token="").status, 403)
            self.assertEqual(log_in("right horse", cookies={}).status, 403)
            self.assertEqual(log_in("right horse", token="0" * 64).status, 403)
            # An address that failed five times waits, even with the right
            # password; another address does not.
            for _ in range(5):
                self.assertEqual(log_in("wrong horse", source="127.0.0.2").status, 401)
            throttled = log_in("right horse", source="127.0.0.2")
            self.assertEqual(throttled.status, 429)
            self.assertGreater(int(throttled.getheader("Retry-After")), 0)
            response = log_in("right horse")
            self.assertEqual((response.status, response.getheader("Location")), (303, "/"))
            cookie = set_cookies(response)["zelvar_session"]
            self.assertIn("; Path=/; HttpOnly; SameSite=Strict", cookie)
            session = {"zelvar_session": cookie.split(";")[0].split("=", 1)[1]}
            self.assertEqual(send(port, "GET", "/", cookies=session)[0].status, 200)
            self.assertEqual(send(port, "GET", "/api/stations", cookies=session)[0].status, 200)
            response, body = send(port, "GET", "/api/session", cookies=session)
            who = json.loads(body)
            self.assertEqual(who["user"], "alice")
            # Logging out needs the session's own token.
            for token in ("", form_token):
                self.assertEqual(send(port, "POST", "/logout", {"csrf": token}, session)[0].status, 403)
            self.assertEqual(send(port, "GET", "/api/stations", cookies=session)[0].status, 200)
            response, _ = send(port, "POST", "/logout", {"csrf": who["csrf"]}, session)
            self.assertEqual((response.status, response.getheader("Location")), (303, "/login"))
            self.assertEqual(send(port, "GET", "/api/stations", cookies=session)[0].status, 401)
        finally:
            stop(server)
            shutil.rmtree(folder)

    def test_tls(self):
        folder = tempfile.mkdtemp()
        cert, key = os.path.join(folder, "cert.pem"), os.path.join(folder, "key.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                        "-nodes", "-keyout", key, "-out", cert, "-subj", "/CN=127.0.0.1", "-days", "1",
                        "-addext", "subjectAltName=IP:127.0.0.1"], check=True, capture_output=True)
        server, message = start("--tls-cert", cert, "--tls-key", os.path.join(folder, "missing.pem"))
        self.assertEqual(server.returncode, 2)
        self.assertIn("cannot read the TLS certificate or key", message)
        server, port = start("--tls-cert", cert, "--tls-key", key)
        try:
            conn = http.client.HTTPSConnection("127.0.0.1", port, timeout=30,
                                               context=ssl.create_default_context(cafile=cert))
            conn.request("GET", "/api/heard?limit=2")
            response = conn.getresponse()
            self.assertEqual(response.status, 200)
            self.assertEqual(len(json.loads(response.read())["rows"]), 2)
            conn.close()
        finally:
            stop(server)
        # Over TLS the cookies are kept to it.
        server, port = start("--tls-cert", cert, "--tls-key", key, "--users", users_file(folder, 0o600))
        try:
            conn = http.client.HTTPSConnection("127.0.0.1", port, timeout=30,
                                               context=ssl.create_default_context(cafile=cert))
            conn.request("GET", "/login")
            response = conn.getresponse()
            response.read()
            self.assertEqual(response.status, 200)
            self.assertTrue(set_cookies(response)["zelvar_login"].endswith("; Secure"))
            conn.close()
        finally:
            stop(server)
            shutil.rmtree(folder)

    def test_page_is_served_under_its_policy(self):
        sources = {}
        for path, kind in (("/", "text/html"), ("/app.js", "text/javascript"), ("/app.css", "text/css")):
            response, body = get(self.port, path)
            self.assertEqual(response.status, 200)
            self.assertTrue(response.getheader("Content-Type").startswith(kind))
            self.assertEqual(response.getheader("X-Content-Type-Options"), "nosniff")
            self.assertEqual(response.getheaders().count(("Content-Security-Policy", response.getheader("Content-Security-Policy"))), 1)
            policy = response.getheader("Content-Security-Policy")
            self.assertIn("script-src 'self';", policy)
            self.assertIn("frame-ancestors 'none'", policy)
            self.assertNotIn("unsafe", policy)
            sources[path] = body.decode()
        # Scripts come from files only, and put values in as text.
        self.assertEqual(re.findall(r"<script[^>]*>", sources["/"]), ['<script src="/app.js" defer>'])
        self.assertNotRegex(sources["/"], r"<script[^>]*>[^<]|\son[a-z]+=")
        self.assertNotRegex(sources["/app.js"], r"innerHTML|outerHTML|insertAdjacentHTML|document\.write|eval\(")
        self.assertEqual(get(self.port, "/appXjs")[0].status, 404)

    def test_live_pushes_new_calls_once(self):
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=60)
        conn.request("GET", "/api/live")
        stream = conn.getresponse()
        self.assertEqual(stream.status, 200)
        self.assertTrue(stream.getheader("Content-Type").startswith("text/event-stream"))
        # Two stations whose clocks differ by half an hour, stored as the
        # collector stores a batch: rows and notification in one transaction.
        notify = ("SELECT pg_notify('zelvar_packages', json_build_object('newest', now(), 'stations', "
                  "json_build_array({stations}), 'more', false)::text)")
        psql("BEGIN; INSERT INTO packages (station, source, seq, time, port, call, \"group\", id, hex) VALUES "
             "('live-a', 'run2', 1, now(), 2, 'Group', '<i>7</i>', 7, '00'), "
             "('live-b', 'run2', 1, now() - interval '30 minutes', 3, 'Group', '8', 8, '00'); "
             + notify.format(stations="'live-a', 'live-b'") + "; COMMIT")
        self.assertEqual([(r["station"], r["group"]) for r in next_event(stream)],
                         [("live-a", "<i>7</i>"), ("live-b", "8")])
        # Only what is new: a second batch of live-b, and a notification naming a station that has nothing new.
        psql("BEGIN; INSERT INTO packages (station, source, seq, time, port, call, \"group\", id, hex) VALUES "
             "('live-b', 'run2', 2, now() - interval '29 minutes', 3, 'Group', '9', 9, '00'); "
             + notify.format(stations="'live-a', 'live-b'") + "; COMMIT")
        self.assertEqual([(r["station"], r["seq"]) for r in next_event(stream)], [("live-b", 2)])
        conn.close()

    def ok_at(self, port, path):
        response, body = get(port, path)
        self.assertEqual(response.status, 200, body)
        return json.loads(body)


def next_event(stream, until=None):
    """The rows of the next "rows" event, past comments; an AssertionError past `until` (time.monotonic())."""
    event = None
    while True:
        if until is not None and time.monotonic() > until:
            raise AssertionError("no rows in time")
        line = stream.readline().decode()
        if line.startswith("event: "):
            event = line[7:].strip()
        elif line.startswith("data: ") and event == "rows":
            return json.loads(line[6:])["rows"]
        elif not line:
            raise AssertionError("the stream ended")


def quote(text):
    from urllib.parse import quote as q
    return q(text, safe="")


if __name__ == "__main__":
    unittest.main()
