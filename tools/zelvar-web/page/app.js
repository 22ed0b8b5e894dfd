// The network view: every value from the server goes into the page as text.
"use strict";

const kRowsMax = 500;
const kSilentMs = 5 * 60 * 1000;
let filters = new URLSearchParams();
let oldest = null;      // the keyset of the last row shown
let waiting = [];       // live rows held while the user scrolls
const shown = new Set(); // the keys of the rows in the table

function cell(row, text, title) {
  const td = row.insertCell();
  td.textContent = text === null || text === undefined ? "" : String(text);
  if (title) td.title = title;
  return td;
}

function localTime(iso) {
  return iso ? new Date(iso).toLocaleString() : "";
}

async function getJson(path) {
  const response = await fetch(path, { headers: { Accept: "application/json" } });
  const body = await response.json();
  if (!response.ok) throw new Error(body.error || response.statusText);
  return body;
}

async function loadStations() {
  const stations = await getJson("/api/stations");
  const body = document.querySelector("#stations tbody");
  body.replaceChildren();
  const now = Date.now();
  for (const s of stations) {
    const row = body.insertRow();
    if (s.state !== "online") row.classList.add("offline");
    if (s.last_seen && now - Date.parse(s.last_seen) > kSilentMs) row.classList.add("silent");
    if (s.hosts !== null && s.hosts >= 2) row.classList.add("twohosts");
    cell(row, s.station);
    cell(row, s.state || "unknown");
    cell(row, localTime(s.last_package), s.last_package);
    cell(row, s.lag === null ? "" : Number(s.lag).toFixed(1) + " s");
    cell(row, s.queued);
    cell(row, s.dropped);
    cell(row, s.gps === null ? "" : s.gps ? "yes" : "no");
    cell(row, s.transceivers);
  }
  performance.mark("stations-shown");
}

function matches(r) {
  return (!filters.get("station") || r.station === filters.get("station")) &&
         (!filters.get("group") || r.group === filters.get("group")) &&
         (!filters.get("id") || String(r.id) === filters.get("id"));
}

// A row's key in the table: the live stream may bring again a call the page
// loaded (a station's first calls after the server started).
function heardKey(r) {
  return JSON.stringify([r.station, r.source, r.seq]);
}

function heardRow(r, before) {
  const key = heardKey(r);
  if (shown.has(key)) return;
  shown.add(key);
  const body = document.querySelector("#heard tbody");
  const row = body.insertRow(before ? 0 : -1);
  row.dataset.key = key;
  cell(row, localTime(r.time), r.time + " UTC");
  for (const name of ["station", "port", "call", "group", "id", "clr", "enc", "ptt", "dbm"]) cell(row, r[name]);
  while (body.rows.length > kRowsMax) {
    shown.delete(body.rows[body.rows.length - 1].dataset.key);
    body.deleteRow(-1);
  }
}

async function loadHeard(more) {
  const query = new URLSearchParams(filters);
  query.set("limit", "100");
  if (more && oldest) {
    for (const key of ["time", "station", "source", "seq"]) query.set("before_" + key, String(oldest[key]));
  } else {
    document.querySelector("#heard tbody").replaceChildren();
    shown.clear();
  }
  const { rows } = await getJson("/api/heard?" + query);
  for (const r of rows) heardRow(r, false);
  if (rows.length > 0) oldest = rows[rows.length - 1];
  performance.mark("heard-shown");
}

function showLive(rows) {
  // Oldest first, so that the newest ends on top.
  for (const r of rows.slice().reverse()) if (matches(r)) heardRow(r, true);
}

function flushWaiting() {
  if (window.scrollY > 0 || waiting.length === 0) return;
  showLive(waiting);
  waiting = [];
  document.getElementById("paused").hidden = true;
}

function listen() {
  const source = new EventSource("/api/live");
  const status = document.getElementById("status");
  source.onopen = () => { status.textContent = "Live"; };
  source.onerror = () => { status.textContent = "Reconnecting..."; };
  source.addEventListener("rows", (event) => {
    const { rows } = JSON.parse(event.data);
    if (window.scrollY > 0) {
      waiting = rows.concat(waiting).slice(0, kRowsMax);
      document.getElementById("waiting").textContent = String(waiting.length);
      document.getElementById("paused").hidden = false;
    } else {
      showLive(rows);
    }
  });
  source.addEventListener("reset", () => { loadHeard(false).catch(report); });
}

// With logins, who is logged in and the logout form's token; without, nothing.
async function showLogin() {
  const response = await fetch("/api/session", { headers: { Accept: "application/json" } });
  if (!response.ok) return;
  const session = await response.json();
  const form = document.getElementById("logout");
  document.getElementById("user").textContent = session.user;
  form.elements.csrf.value = session.csrf;
  form.hidden = false;
}

function report(error) {
  document.getElementById("status").textContent = "Error: " + error.message;
}

document.addEventListener("DOMContentLoaded", () => {
  document.getElementById("filters").addEventListener("submit", (event) => {
    event.preventDefault();
    filters = new URLSearchParams();
    for (const [key, value] of new FormData(event.target)) if (value !== "") filters.set(key, String(value));
    oldest = null;
    exportLinks();
    loadHeard(false).catch(report);
  });
  document.getElementById("older").addEventListener("click", () => { loadHeard(true).catch(report); });
  window.addEventListener("scroll", flushWaiting);
  loadStations().catch(report);
  setInterval(() => { loadStations().catch(report); }, 10000);
  loadHeard(false).catch(report);
  listen();
  showLogin().catch(report);
  setUpRange();
});

// Activity, the map and the exports: over a range in the viewer's zone.

const kPalette = ["#1f77b4", "#ff7f0e", "#2ca02c", "#d62728", "#9467bd", "#8c564b", "#e377c2", "#7f7f7f",
                  "#bcbd22", "#17becf"];
let settings = null;  // /api/settings: the tile server and the colour bands
let activity = null;  // the last answer of /api/activity
let chart = null;
let map = null;
let mapLayer = null;
let mapRange = null;  // the query of the points shown, without the view's box

// Chart.js and Leaflet, loaded when first needed: the page opens without them.
const libraries = new Map();
function library(src) {
  if (!libraries.has(src)) {
    libraries.set(src, new Promise((resolve, reject) => {
      const script = document.createElement("script");
      script.src = src;
      script.onload = resolve;
      script.onerror = () => reject(new Error("cannot load " + src + ": is its Debian package installed?"));
      document.head.append(script);
    }));
  }
  return libraries.get(src);
}

function localInput(date) {
  const pad = (n) => String(n).padStart(2, "0");
  return `${date.getFullYear()}-${pad(date.getMonth() + 1)}-${pad(date.getDate())}T` +
         `${pad(date.getHours())}:${pad(date.getMinutes())}`;
}

// The viewer's zone: its name, or else its offset now.
function viewerZone() {
  const name = Intl.DateTimeFormat().resolvedOptions().timeZone;
  if (name) return name;
  const east = -new Date().getTimezoneOffset();
  const pad = (n) => String(Math.floor(Math.abs(n))).padStart(2, "0");
  return (east < 0 ? "-" : "+") + pad(east / 60) + ":" + pad(east % 60);
}

// The range's parameters (UTC times), with the station filter of last heard.
function rangeQuery() {
  const form = document.getElementById("range");
  const query = new URLSearchParams();
  query.set("from", new Date(form.elements.from.value).toISOString());
  query.set("to", new Date(form.elements.to.value).toISOString());
  if (filters.get("station")) query.set("station", filters.get("station"));
  return query;
}

function exportLinks() {
  const form = document.getElementById("range");
  if (!form.elements.from.value || !form.elements.to.value) return;
  for (const format of ["csv", "geojson"]) {
    const query = rangeQuery();
    for (const key of ["group", "id"]) if (filters.get(key)) query.set(key, filters.get(key));
    query.set("format", format);
    document.getElementById("export-" + format).href = "/api/export?" + query;
  }
}

async function loadActivity() {
  const query = rangeQuery();
  query.set("step", document.getElementById("range").elements.step.value);
  query.set("zone", viewerZone());
  [activity] = await Promise.all([getJson("/api/activity?" + query), library("/lib/chart.js")]);
  activity.step = query.get("step");
  document.getElementById("activity").hidden = false;
  drawActivity();
  performance.mark("activity-shown");
}

// Counted from the rows themselves: it may come a while after the chart.
async function loadBusiest() {
  const busiest = await getJson("/api/busiest?" + rangeQuery());
  for (const [table, rows] of [["busiest-groups", busiest.groups], ["busiest-ids", busiest.ids]]) {
    const body = document.querySelector(`#${table} tbody`);
    body.replaceChildren();
    for (const [talker, calls] of rows) {
      const row = body.insertRow();
      cell(row, talker);
      cell(row, calls);
    }
  }
  performance.mark("busiest-shown");
}

function drawActivity() {
  const measure = document.getElementById("measure").value;
  const column = measure === "calls" ? 3 : 2;
  const index = new Map(activity.buckets.map((b, i) => [b, i]));
  const series = new Map();
  let packages = 0;
  let calls = 0;
  for (const r of activity.rows) {
    if (!series.has(r[1])) series.set(r[1], new Array(activity.buckets.length).fill(0));
    series.get(r[1])[index.get(r[0])] += r[column];
    packages += r[2];
    calls += r[3];
  }
  const datasets = [...series].map(([station, data], i) => ({
    label: station, data, borderColor: kPalette[i % kPalette.length],
    backgroundColor: kPalette[i % kPalette.length], borderWidth: 1, pointRadius: 0,
  }));
  document.getElementById("activity-total").textContent = `${packages} packages, ${calls} calls`;
  if (chart) chart.destroy();
  chart = new Chart(document.getElementById("activity-chart"), {
    type: "line",
    data: { labels: activity.buckets, datasets },
    options: {
      animation: false, responsive: true, maintainAspectRatio: false, normalized: true,
      interaction: { mode: "index", intersect: false },
      scales: { y: { beginAtZero: true, title: { display: true, text: measure + " per " + activity.step } } },
    },
  });
}

// Lines every so many degrees, as many as fit the view: a layer of its own
// that stands in for the tiles' grid.
function drawGraticule(layer) {
  layer.clearLayers();
  const b = map.getBounds();
  const span = Math.max(b.getNorth() - b.getSouth(), b.getEast() - b.getWest());
  const step = [45, 20, 10, 5, 2, 1, 0.5, 0.2, 0.1, 0.05, 0.02, 0.01, 0.005, 0.002, 0.001]
    .find((s) => span / s >= 4) || 0.001;
  const style = { color: "#bbb", weight: 1, interactive: false };
  const south = Math.max(-85, b.getSouth()), north = Math.min(85, b.getNorth());
  for (let lat = Math.ceil(south / step) * step; lat <= north; lat += step) {
    layer.addLayer(L.polyline([[lat, b.getWest()], [lat, b.getEast()]], style));
  }
  for (let lon = Math.ceil(b.getWest() / step) * step; lon <= b.getEast(); lon += step) {
    layer.addLayer(L.polyline([[south, lon], [north, lon]], style));
  }
}

function makeMap() {
  map = L.map("map", { worldCopyJump: false });
  if (settings.tiles) {
    L.tileLayer(settings.tiles, { maxZoom: 19 }).addTo(map);
  } else {
    const graticule = L.layerGroup().addTo(map);
    map.on("moveend", () => drawGraticule(graticule));
  }
  L.control.scale().addTo(map);
  mapLayer = L.featureGroup().addTo(map);
  // A point's tooltip is made when the pointer first comes to it: a view
  // holds thousands.
  mapLayer.on("mouseover", (event) => {
    const point = event.layer;
    if (point.getTooltip()) return;
    const tip = document.createElement("span");
    const [dbm, count] = point.options.report;
    tip.textContent = `${dbm === null ? "no reading" : dbm + " dBm"}, ${count} report${count === 1 ? "" : "s"}`;
    point.bindTooltip(tip).openTooltip(event.latlng);
  });
  map.setView([0, 0], 2);
  // Moved by the user: the points of the new view, binned again.
  map.on("moveend", () => {
    if (mapRange && !map.fitting) loadPoints(true).catch(report);
  });
  const legend = document.getElementById("legend");
  settings.bands.forEach((band, i) => {
    const item = document.createElement("li");
    const swatch = document.createElement("span");
    swatch.style.backgroundColor = "#" + band.rgb;
    item.append(swatch);
    const stronger = settings.bands[i - 1];
    item.append(band.floor !== null ? `${band.floor} dBm and stronger` :
                stronger && stronger.floor !== null ? `weaker than ${stronger.floor} dBm` : "no reading");
    legend.append(item);
  });
}

async function loadPoints(inView) {
  const query = new URLSearchParams(mapRange);
  if (inView) {
    const b = map.getBounds();
    const clamp = (v, m) => Math.max(-m, Math.min(m, v)).toFixed(6);
    query.set("south", clamp(b.getSouth(), 90));
    query.set("west", clamp(b.getWest(), 180));
    query.set("north", clamp(b.getNorth(), 90));
    query.set("east", clamp(b.getEast(), 180));
  }
  const { points, reports } = await getJson("/api/map?" + query);
  mapLayer.clearLayers();
  for (const [lat, lon, colour, dbm, count] of points) {
    L.circleMarker([lat, lon], { radius: 5, color: colour, fillColor: colour, fillOpacity: 0.8, weight: 1,
                                 report: [dbm, count] }).addTo(mapLayer);
  }
  document.getElementById("map-total").textContent = `${reports} signal reports, ${points.length} points`;
  if (!inView && points.length > 0) {
    map.fitting = true;
    map.fitBounds(points.map((p) => [p[0], p[1]]), { maxZoom: 14, padding: [20, 20], animate: false });
    map.fitting = false;
  }
  performance.mark("map-shown");
}

async function loadMap() {
  document.getElementById("coverage").hidden = false;
  if (!map) {
    [settings] = await Promise.all([getJson("/api/settings"), library("/lib/leaflet.js")]);
    makeMap();
  }
  mapRange = rangeQuery();
  await loadPoints(false);
}

function setUpRange() {
  const form = document.getElementById("range");
  const to = new Date(Math.ceil(Date.now() / 60000) * 60000);
  form.elements.to.value = localInput(to);
  form.elements.from.value = localInput(new Date(to.getTime() - 24 * 3600 * 1000));
  exportLinks();
  form.addEventListener("change", exportLinks);
  form.addEventListener("submit", (event) => {
    event.preventDefault();
    exportLinks();
    if (event.submitter && event.submitter.value === "map") {
      loadMap().catch(report);
    } else {
      loadActivity().catch(report);
      loadBusiest().catch(report);
    }
  });
  document.getElementById("measure").addEventListener("change", () => { if (activity) drawActivity(); });
}
