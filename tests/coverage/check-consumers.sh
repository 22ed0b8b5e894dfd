#!/usr/bin/env bash
# The four exports of a drive-test log as GDAL (ogrinfo) and libxml2
# (xmllint) read them: the feature counts, the layers per port, the fields
# and a value of each. Usage: check-consumers.sh ZELVAR-COVERAGE LOG
set -euo pipefail
tool=$1 log=$2
fail() { echo "check-consumers: $*" >&2; exit 1; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

for format in kml gpx geojson csv; do
  "$tool" --gmt-correction 4 --format "$format" --output "$scratch/map.$format" "$log" 2>"$scratch/err" ||
    fail "$format: exit $?: $(cat "$scratch/err")"
  [ "$(tail -n1 "$scratch/err")" = "9 reports with position (9 kept), 1 without, 0 unreadable lines" ] ||
    fail "$format: counts $(tail -n1 "$scratch/err")"
done

# Summary of a layer (or of all): "Feature Count", the field list.
summary() { ogrinfo -ro -so "$@" 2>&1; }
count() { summary "$@" | sed -n 's/^Feature Count: //p'; }
has_fields() {
  local text=$1; shift
  for field in "$@"; do grep -q "^$field: " <<<"$text" || fail "no field $field in: $text"; done
}

xmllint --noout "$scratch/map.kml" "$scratch/map.gpx" || fail "xmllint refuses the KML or GPX"

# KML: a layer (folder) per port, the reports of each in it.
kml=$(summary -al "$scratch/map.kml")
[ "$(sed -n 's/^Layer name: //p' <<<"$kml" | tr '\n' ,)" = "Port 1,Port 2,Port 3,Port 4," ] ||
  fail "KML layers: $(sed -n 's/^Layer name: //p' <<<"$kml")"
[ "$(sed -n 's/^Feature Count: //p' <<<"$kml" | tr '\n' ,)" = "4,3,1,1," ] || fail "KML counts"
has_fields "$kml" Name description timestamp dbm_value
ogrinfo -ro -q "$scratch/map.kml" "Port 1" | grep -q "timestamp (DateTime) = 2026/12/09 21:58:11" ||
  fail "KML time"

# GPX: a track per port, a track point per report with its dBm extension.
gpx_options=(-oo GPX_USE_EXTENSIONS=YES)
[ "$(count "${gpx_options[@]}" "$scratch/map.gpx" tracks)" = 4 ] || fail "GPX tracks"
[ "$(count "${gpx_options[@]}" "$scratch/map.gpx" track_points)" = 9 ] || fail "GPX track points"
has_fields "$(summary "${gpx_options[@]}" "$scratch/map.gpx" track_points)" time pdop zelvar_dbm zelvar_dbm_value track_fid
ogrinfo -ro -q "${gpx_options[@]}" "$scratch/map.gpx" track_points | grep -q "zelvar_dbm (String) = Max" ||
  fail "GPX dBm"

# GeoJSON: points with typed properties.
geojson=$(summary -al "$scratch/map.geojson")
grep -q "^Geometry: Point" <<<"$geojson" || fail "GeoJSON geometry"
[ "$(sed -n 's/^Feature Count: //p' <<<"$geojson")" = 9 ] || fail "GeoJSON count"
for typed in "port: Integer" "time: DateTime" "pdop: Real" "dbm: " "dbm_value: Integer"; do
  grep -q "^$typed" <<<"$geojson" || fail "GeoJSON field $typed in: $geojson"
done
ogrinfo -ro -q -al -where "port = 4" "$scratch/map.geojson" | grep -q "POINT (37.610592 55.669537)" ||
  fail "GeoJSON position"

# CSV: the columns, and points from lat and lon.
csv_options=(-oo X_POSSIBLE_NAMES=lon -oo Y_POSSIBLE_NAMES=lat)
csv=$(summary -al "${csv_options[@]}" "$scratch/map.csv")
grep -q "^Geometry: Point" <<<"$csv" || fail "CSV geometry"
[ "$(sed -n 's/^Feature Count: //p' <<<"$csv")" = 9 ] || fail "CSV count"
has_fields "$csv" port time lat lon pdop dbm dbm_value
echo "check-consumers: KML, GPX, GeoJSON and CSV read as expected"
