#!/usr/bin/python3
"""Checks CSV and CF files of rawinq-extract against the ZIR text of the
same request: the same soundings in the same order, level for level, with
equal values. The CF file is opened by xarray with its default options
(times decoded, fill values masked).

usage: analysis_outputs_check.py ZIR_TEXT CSV_FILE CF_FILE [CUBE_FILE]
The ZIR text must have wind speeds in m/s (--wind ms) and the CSV file too.
A cube of the same request on the mandatory pressures (--grid pressure)
must hold every time of the profiles, and at each profile's mandatory
levels above the ground the profile's temperature and height.
"""
import csv
import datetime
import math
import sys

import numpy as np
import xarray as xr

MISSING = 99999
MONTHS = ["JAN", "FEB", "MAR", "APR", "MAY", "JUN", "JUL", "AUG", "SEP",
          "OCT", "NOV", "DEC"]
WORDS = {9: "surface", 4: "mandatory", 5: "significant_temperature",
         6: "significant_wind", 7: "tropopause", 8: "maximum_wind",
         0: "below_ground"}


def pressure_order(levels):
    """The levels as the analysis formats give them: in decreasing pressure
    (equal pressures in archive order), those at a higher pressure than the
    surface's typed 0 (below the ground)."""
    assert all(l[1] != MISSING for l in levels), levels
    surface = next((l[1] for l in levels if l[0] == 9), None)
    typed = [((0,) + l[1:]) if surface is not None and l[0] != 9 and l[1] > surface
             else l for l in levels]
    return sorted(typed, key=lambda l: -l[1])


def zir_soundings(path):
    out = []
    with open(path) as f:
        lines = f.read().splitlines()
    i = 0
    while i < len(lines):
        head = lines[i].split()
        assert head[0] == "254", (path, i, lines[i])
        hour, day, mon, year = int(head[1]), int(head[2]), head[3], int(head[4])
        station = lines[i + 1].split()
        wban, wmo = int(station[1]), int(station[2])
        count = int(lines[i + 2].split()[4]) - 4
        levels = [tuple(int(v) for v in lines[i + 4 + k].split())
                  for k in range(count)]
        time = "%04d-%02d-%02dT%02d:00:00" % (year, MONTHS.index(mon) + 1, day, hour)
        out.append((wmo, wban, time, release(time, int(station[-1])),
                    pressure_order(levels)))
        i += 4 + count
    return out


def release(time, reltime):
    """hhmm as "YYYY-MM-DDTHH:MM:00" on the day nearest to `time`, or "" when missing."""
    if reltime == MISSING:
        return ""
    nominal = datetime.datetime.fromisoformat(time)
    on_day = nominal.replace(hour=reltime // 100, minute=reltime % 100)
    return min((on_day + datetime.timedelta(days=d) for d in (-1, 0, 1)),
               key=lambda c: abs(c - nominal)).isoformat()


def tenths(text):
    return MISSING if text == "" else round(float(text) * 10)


def whole(text):
    return MISSING if text == "" else int(text)


def check_csv(path, soundings):
    with open(path, newline="") as f:
        rows = list(csv.DictReader(f))
    for r in rows:
        assert r["station_id"] and r["station_name"], r
        assert -90 <= float(r["latitude_deg"]) <= 90 and -180 <= float(r["longitude_deg"]) <= 180, r
        int(r["elevation_m"])
    k = 0
    for wmo, wban, time, rel, levels in soundings:
        for fr, pr, ht, tp, dp, wd, ws in levels:
            r = rows[k]
            k += 1
            assert int(r["station_wmo"]) == wmo, (r, wmo)
            assert whole(r["station_wban"]) == wban, (r, wban)
            assert r["time"] == time + "Z", (r, time)
            assert r["release_time"] == (rel + "Z" if rel else ""), (r, rel)
            assert r["level_type"] == WORDS[fr], (r, fr)
            got = (tenths(r["pressure_hPa"]), whole(r["height_m"]),
                   tenths(r["temperature_C"]), tenths(r["dewpoint_C"]),
                   whole(r["wind_direction_deg"]), tenths(r["wind_speed_m_s"]))
            assert got == (pr, ht, tp, dp, wd, ws), (r, (pr, ht, tp, dp, wd, ws))
    assert k == len(rows), (k, len(rows))
    return k


def stored(values, scale, offset=0.0):
    """CF values back to the archive's integers, NaN to the missing code."""
    return [MISSING if math.isnan(v) else int(round((v - offset) * scale))
            for v in values.astype(float)]


def check_cf(path, soundings):
    ds = xr.open_dataset(path)
    assert ds.attrs["Conventions"] == "CF-1.8" and ds.attrs["featureType"] == "profile"
    assert np.issubdtype(ds.time.dtype, np.datetime64), ds.time.dtype
    assert ds.sizes["profile"] == len(soundings), (ds.sizes["profile"], len(soundings))
    assert int(ds.row_size.sum()) == ds.sizes["obs"]
    for name in ds.variables:
        assert "valid_range" not in ds[name].attrs, name
    pr = stored(ds.air_pressure.values, 10)
    ht = stored(ds.geopotential_height.values, 1)
    tp = stored(ds.air_temperature.values, 10, 273.15)
    dp = stored(ds.dew_point_temperature.values, 10, 273.15)
    wd = stored(ds.wind_from_direction.values, 1)
    ws = stored(ds.wind_speed.values, 10)
    fr = [int(v) for v in ds.level_type.values]
    wmos = ds.station_wmo.values
    wbans = ds.station_wban.values
    times = ds.time.values
    releases = ds.release_time.values
    assert ds.release_time.attrs["standard_name"] == "time"
    # Station metadata as text, with their standard names.
    assert all(isinstance(v, str) and v for v in ds.station_name.values)
    assert all(isinstance(v, str) and v for v in ds.station_id.values)
    assert ds.latitude.standard_name == "latitude" and ds.altitude.standard_name == "surface_altitude"
    below = ds.level_type.values == 0
    assert below.any(), "no level below the ground"
    rows = ds.row_size.values
    start = 0
    released = 0
    for i, (wmo, wban, time, rel, levels) in enumerate(soundings):
        assert int(wmos[i]) == wmo
        assert (MISSING if math.isnan(wbans[i]) else int(wbans[i])) == wban
        assert str(times[i]).startswith(time), (times[i], time)
        if rel:
            assert str(releases[i]).startswith(rel), (releases[i], rel)
            released += 1
        else:
            assert np.isnat(releases[i]), (i, releases[i])
        assert int(rows[i]) == len(levels), (i, rows[i], len(levels))
        got = list(zip(fr, pr, ht, tp, dp, wd, ws))[start:start + len(levels)]
        assert got == levels, (i, got, levels)
        start += len(levels)
    assert released > 0, "no sounding with a release time"
    return start


def check_cube(path, cf_path):
    ds = xr.open_dataset(cf_path)
    cube = xr.open_dataset(path)
    assert cube.air_temperature.dims == ("station", "time", "level")
    assert list(cube.time.values) == sorted(set(ds.time.values)), "time axis"
    ids = [str(v) for v in ds.station_id.values]
    pr = ds.air_pressure.values
    t = ds.air_temperature.values
    z = ds.geopotential_height.values
    fr = ds.level_type.values
    start = 0
    compared = 0
    for i, n in enumerate(ds.row_size.values):
        n = int(n)
        p_i, t_i, z_i, fr_i = pr[start:start + n], t[start:start + n], z[start:start + n], fr[start:start + n]
        start += n
        column = cube.sel(station=ids[i], time=ds.time.values[i])
        for k in range(n):
            if fr_i[k] != 4 or np.isnan(t_i[k]) or (p_i == p_i[k]).sum() != 1:
                continue
            if float(p_i[k]) not in cube.level.values:
                continue
            at = column.sel(level=float(p_i[k]))
            assert float(at.air_temperature) == t_i[k], (ids[i], i, p_i[k])
            if not np.isnan(z_i[k]):
                assert float(at.geopotential_height) == z_i[k], (ids[i], i, p_i[k])
            compared += 1
    assert compared > 0
    return compared


def main():
    zir, csv_path, cf_path = sys.argv[1:4]
    soundings = zir_soundings(zir)
    assert soundings, "no soundings in the ZIR text"
    n_csv = check_csv(csv_path, soundings)
    n_cf = check_cf(cf_path, soundings)
    print("%d soundings, %d levels in CSV, %d in CF" % (len(soundings), n_csv, n_cf))
    if len(sys.argv) > 4:
        print("%d mandatory levels in the cube" % check_cube(sys.argv[4], cf_path))


main()
