// The station page of rawinq-serve: land outlines on the map (Natural
// Earth through world-atlas, read with topojson-client, both served by the
// server itself), the station search and the date and hour picker, which
// offers only the times the chosen station has soundings at.
"use strict";
(function () {
  const body = document.body;
  const base = body.dataset.base || "";
  const el = (id) => document.getElementById(id);
  if (!el("map")) return;

  const svgNS = "http://www.w3.org/2000/svg";

  // Land: equirectangular, x = longitude, y = -latitude (the map's
  // viewBox is -180 -90 360 180).
  // A ring that crosses the 180th meridian is cut there (no line across
  // the whole map).
  function ringPath(ring) {
    let d = "";
    ring.forEach((p, k) => {
      const jump = k > 0 && Math.abs(p[0] - ring[k - 1][0]) > 180;
      d += (k === 0 || jump ? "M" : "L") + p[0].toFixed(2) + "," + (-p[1]).toFixed(2);
    });
    return d + "Z";
  }
  function drawLand(geo) {
    const d = [];
    for (const f of geo.type === "FeatureCollection" ? geo.features : [geo]) {
      const g = f.geometry;
      if (!g) continue;
      const polygons = g.type === "Polygon" ? [g.coordinates] :
        g.type === "MultiPolygon" ? g.coordinates : [];
      for (const polygon of polygons) for (const ring of polygon) d.push(ringPath(ring));
    }
    const path = document.createElementNS(svgNS, "path");
    path.setAttribute("d", d.join(""));
    path.setAttribute("class", "land");
    el("land").appendChild(path);
  }
  if (window.topojson) {
    fetch(base + "/static/land-110m.json")
      .then((r) => (r.ok ? r.json() : Promise.reject(new Error(r.status))))
      .then((topo) => drawLand(window.topojson.feature(topo, topo.objects.land)))
      .catch(() => { el("map").classList.add("no-land"); });
  }

  // The times of the chosen station: date (YYYY-MM-DD) -> hours.
  let station = null;
  let dates = new Map();

  function setText(node, text) { node.textContent = text; }

  function choose(id, label) {
    station = id;
    setText(el("chosen"), label);
    for (const c of document.querySelectorAll("#map .station"))
      c.classList.toggle("chosen", c.dataset.id === id);
    el("date").disabled = true;
    el("show").disabled = true;
    fetch(base + "/api/v1/soundings?station=" + encodeURIComponent(id) + "&hours=all")
      .then((r) => r.json())
      .then((list) => {
        if (station !== id) return;
        dates = new Map();
        for (const t of list.soundings || []) {
          const day = t.slice(0, 10);
          if (!dates.has(day)) dates.set(day, []);
          dates.get(day).push(t.slice(11, 13));
        }
        const days = Array.from(dates.keys());
        if (!days.length) { setText(el("note"), "No soundings of this station."); return; }
        el("date").min = days[0];
        el("date").max = days[days.length - 1];
        el("date").disabled = false;
        el("date").value = days[days.length - 1];
        setText(el("note"), days.length + " days with soundings, " + days[0] + " to " +
          days[days.length - 1] + ".");
        dateChanged();
      });
  }

  // A day without a sounding moves to the nearest day with one.
  function dateChanged() {
    const want = el("date").value;
    if (!want || !dates.size) return;
    let day = want;
    if (!dates.has(want)) {
      const days = Array.from(dates.keys());
      day = days.reduce((best, d) =>
        Math.abs(Date.parse(d) - Date.parse(want)) < Math.abs(Date.parse(best) - Date.parse(want))
          ? d : best, days[0]);
      el("date").value = day;
      setText(el("note"), "No sounding on " + want + "; the nearest day is " + day + ".");
    }
    const hour = el("hour");
    while (hour.firstChild) hour.removeChild(hour.firstChild);
    for (const h of dates.get(day)) {
      const o = document.createElement("option");
      o.value = h;
      o.textContent = h + " UTC";
      hour.appendChild(o);
    }
    el("show").disabled = false;
  }
  el("date").addEventListener("change", dateChanged);

  el("pick").addEventListener("submit", (e) => {
    e.preventDefault();
    if (!station || !el("date").value || !el("hour").value) return;
    window.location.href = base + "/station/" + encodeURIComponent(station) + "/" +
      el("date").value + "T" + el("hour").value + "Z";
  });

  el("search").addEventListener("submit", (e) => {
    e.preventDefault();
    const q = el("q").value.trim();
    if (!q) return;
    fetch(base + "/api/v1/stations?q=" + encodeURIComponent(q))
      .then((r) => r.json())
      .then((found) => {
        const list = el("found");
        while (list.firstChild) list.removeChild(list.firstChild);
        if (!Array.isArray(found) || !found.length) {
          setText(el("note"), "No station matches '" + q + "'.");
          return;
        }
        for (const s of found) {
          const b = document.createElement("button");
          b.type = "button";
          b.className = "found";
          b.dataset.id = s.id;
          const label = s.name + " (" + s.id + (s.icao ? ", " + s.icao : "") + ")";
          b.textContent = label;
          b.addEventListener("click", () => choose(s.id, label));
          list.appendChild(b);
        }
        if (found.length === 1) choose(found[0].id, list.firstChild.textContent);
      });
  });

  for (const c of document.querySelectorAll("#map .station"))
    c.addEventListener("click", (e) => {
      e.preventDefault();
      choose(c.dataset.id, c.dataset.label);
    });
})();
