#!/usr/bin/env python3
"""Builds data/support/world_stations.csv, the world table of upper-air
stations, from two public station lists:

  igra2-station-list.txt  the IGRA2 station list (fixed columns: id,
                          latitude, longitude, elevation, state, name, first
                          and last year, number of soundings)
  station-table.txt       a world station table (state, name, ICAO, IATA/FAA
                          code, WMO number, position, elevation, flags; the
                          U column marks rawinsonde sites with X)

Every IGRA2 station is a row, with its WMO number (IGRA2 ids of network M
end in it) or WBAN number (network W), and the ICAO and 3-letter codes of
the station-table rows of the same WMO number: the rows flagged as a
rawinsonde site first, every code any row gives kept (3-letter codes of
upper-air sites differ between sources and over time).

usage: make_world_stations.py IGRA2_LIST STATION_TABLE OUTPUT
"""
import csv
import sys


def station_table(path):
    """WMO number -> [(rawinsonde, icao, iata)] in file order."""
    rows = {}
    with open(path, encoding="latin-1") as f:
        for line in f:
            line = line.rstrip("\n")
            if line.startswith("!") or len(line) < 60:
                continue
            wmo = line[32:37].strip()
            if not wmo.isdigit():
                continue
            rows.setdefault(int(wmo), []).append(
                (len(line) > 71 and line[71] == "X",
                 line[20:24].strip(), line[26:29].strip()))
    return rows


def codes(rows):
    """The ICAO and 3-letter codes of a station's rows, rawinsonde rows
    first, each code once."""
    icao, iata = [], []
    for _, i, a in sorted(rows, key=lambda r: not r[0]):
        if len(i) == 4 and i.isalnum() and i not in icao:
            icao.append(i)
        if len(a) == 3 and a.isalnum() and a not in iata:
            iata.append(a)
    return icao, iata


def main(igra2_list, table_path, output):
    table = station_table(table_path)
    out_rows = []
    with open(igra2_list, encoding="latin-1") as f:
        for line in f:
            if len(line) < 80:
                continue
            ident = line[0:11]
            network, number = ident[2], ident[3:11].lstrip("0")
            wmo = int(number) if network == "M" and number.isdigit() else ""
            wban = int(number) if network == "W" and number.isdigit() else ""
            elevation = float(line[31:37])
            icao, iata = codes(table.get(wmo, [])) if wmo != "" else ([], [])
            out_rows.append([
                ident, wmo, wban, " ".join(icao), " ".join(iata),
                line[41:71].strip(), "%.4f" % float(line[12:20]),
                "%.4f" % float(line[21:30]),
                "" if elevation < -998 else "%.1f" % elevation,
                line[72:76], line[77:81]])
    with open(output, "w", newline="") as f:
        f.write("# World table of upper-air stations, one row per station of "
                "the IGRA2 station list\n"
                "# (NOAA NCEI, public domain), with the ICAO and 3-letter "
                "codes of the rows of the\n"
                "# same WMO number in the NCAR/RAP station table (NCEP/AWC, "
                "2 Jan 2019).\n"
                "# Made by tools/world_stations/make_world_stations.py; do "
                "not edit by hand.\n")
        w = csv.writer(f, lineterminator="\n")
        w.writerow(["igra2_id", "wmo", "wban", "icao", "codes", "name",
                    "latitude_deg", "longitude_deg", "elevation_m",
                    "first_year", "last_year"])
        w.writerows(out_rows)


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    main(*sys.argv[1:])
