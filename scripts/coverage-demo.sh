#!/usr/bin/env bash
# The coverage demo: a drive-test log that the package decoder writes from the
# GPS emulator's walk, one signal report a second falling with the distance
# from a chosen point, exported by zelvar-coverage in the four formats and,
# with GDAL installed, drawn as a picture.
#
#   scripts/coverage-demo.sh [BUILD] [OUT]    (OUT: BUILD/demo-coverage)
#   ZELVAR_DEMO_POINT=LAT,LON                 the repeater (the walk's start)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=${2:-$build/demo-coverage}
mkdir -p "$out"
point=()
[ -n "${ZELVAR_DEMO_POINT:-}" ] && point=(--point "$ZELVAR_DEMO_POINT")

"$build/tools/zelvar-coverage/zelvar-coverage-demo-log" "${point[@]}" >"$out/drive-test.txt"
# The log was written with the default time zone, GMTCorrection 4.
for format in kml gpx geojson csv; do
  "$build/tools/zelvar-coverage/zelvar-coverage" --gmt-correction 4 --format "$format" \
    --output "$out/coverage.$format" "$out/drive-test.txt" 2>"$out/counts"
done
echo "coverage demo: $(tail -n1 "$out/counts")"
rm -f "$out/counts"

# The points on a plain canvas in the colours of the KML scale: one pixel per
# 2 m by 1.3 m, enlarged three times.
if command -v gdal_rasterize >/dev/null && command -v gdaldem >/dev/null; then
  cat >"$out/colours.txt" <<'COLOURS'
nv 255 255 255
-50 0 192 0
-70 0 192 0
-71 154 205 50
-80 154 205 50
-81 255 215 0
-90 255 215 0
-91 255 140 0
-100 255 140 0
-101 255 69 0
-109 255 69 0
-110 208 0 0
-200 208 0 0
COLOURS
  gdal_rasterize -q -dialect SQLite -a level -a_nodata 0 -init 0 -ot Int16 \
    -tr 0.000018 0.000012 \
    -sql "SELECT geometry, CASE WHEN dbm = 'Max' THEN -55 WHEN dbm IS NULL THEN 0
          ELSE CAST(dbm AS INTEGER) END AS level FROM coverage" \
    "$out/coverage.geojson" "$out/level.tif"
  gdaldem color-relief -q -nearest_color_entry "$out/level.tif" "$out/colours.txt" "$out/rgb.tif"
  gdal_translate -q -of PNG -outsize 300% 300% -r nearest "$out/rgb.tif" "$out/coverage.png"
  rm -f "$out/level.tif" "$out/rgb.tif" "$out/colours.txt" "$out"/*.aux.xml
fi
echo "coverage demo: $(ls "$out" | tr '\n' ' ')in $out"
