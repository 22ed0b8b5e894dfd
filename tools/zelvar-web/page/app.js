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
    loadHeard(false).catch(report);
  });
  document.getElementById("older").addEventListener("click", () => { loadHeard(true).catch(report); });
  window.addEventListener("scroll", flushWaiting);
  loadStations().catch(report);
  setInterval(() => { loadStations().catch(report); }, 10000);
  loadHeard(false).catch(report);
  listen();
  showLogin().catch(report);
});
