#pragma once

#include <string>

#include "WebQueries.h"

namespace zelvar {

class WebDatabase;

// {"buckets": ["2026-12-08T05:00", ...], "rows": [[bucket, station, packages,
// calls], ...]}: every bucket of the range in the viewer's zone and the
// counts of those that hold any, from the counts per minute the collector
// keeps (so by whole minutes).
std::string Activity(WebDatabase& database, const ActivityQuery& query);

// {"groups": [[group, calls], ...], "ids": [[id, calls], ...]}: the 10
// Groups and IDs with the most calls in the range, counted from the rows.
std::string Busiest(WebDatabase& database, const BusiestQuery& query);

// {"points": [[lat, lon, "#rrggbb", dbm or null, reports], ...], "reports": N}:
// the signal reports with an own position, at most one point per cell of a
// 64 x 64 grid, coloured by the strongest level of the cell in the coverage
// map's bands.
std::string MapPoints(WebDatabase& database, const MapQuery& query);

// [{"floor": -70, "name": "green", "rgb": "00c000"}, ...]: those bands, the
// reports without a reading last.
std::string SignalBandsJson();

}  // namespace zelvar
