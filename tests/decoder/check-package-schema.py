#!/usr/bin/env python3
"""Checks the JSON form against its schema in docs/: every object the
decoder writes for the sample logs is valid, and objects that break the
form's rules are not.

usage: check-package-schema.py SCHEMA EXPECTED.json...
"""
import json
import sys

import jsonschema


def main():
    schema = json.load(open(sys.argv[1], encoding="utf-8"))
    jsonschema.Draft202012Validator.check_schema(schema)
    validator = jsonschema.Draft202012Validator(schema)
    failures = []

    seen = 0
    for path in sys.argv[2:]:
        for number, line in enumerate(open(path, encoding="utf-8"), 1):
            seen += 1
            for error in validator.iter_errors(json.loads(line)):
                failures.append(f"{path}:{number}: {error.message}")
    if seen == 0:
        failures.append("no objects to check")

    # A live signal report with the own position, as the decoder writes one.
    live = {"station": "north", "source": "run-1", "seq": 3, "port": 2, "stamp": "F4BEE070",
            "time": "2012-06-01T12:00:00.250+10:00", "type": "0F", "dbm": -90,
            "lat": -33.856788, "lon": 151.213715, "pdop": 2.5,
            "hex": "00 00 00 00 0F 00 00 00 00 00 00 5A 00"}
    for error in validator.iter_errors(live):
        failures.append(f"live report: {error.message}")

    broken = {
        "station with a topic separator": {"station": "a/b"},
        "port 5": {"port": 5},
        "lowercase hex": {"hex": "0f 00"},
        "two blanks in the hex text": {"hex": "0F  00"},
        "type 10 as the text log shows it": {"type": "10 Syn"},
        "a time without its zone": {"time": "2012-06-01T12:00:00"},
        "group as a text number": {"group": "100"},
        "source without seq": {"seq": None},
        "latitude without longitude": {"lon": None},
        "an unknown key": {"extra": 1},
    }
    for what, change in broken.items():
        package = dict(live)
        for key, value in change.items():
            if value is None:
                del package[key]
            else:
                package[key] = value
        if not any(True for _ in validator.iter_errors(package)):
            failures.append(f"accepted: {what}")

    for failure in failures:
        print(failure)
    print(f"{seen} objects checked, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
