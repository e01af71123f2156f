"""Requests of the rawinq archive as dask collections, partitioned by
station-year, so that work over a whole archive runs on every core (or a
cluster) with dask.distributed. Each task opens the archive by its paths:
nothing sent to a worker holds an open file.

    import rawinq.dask
    from dask.distributed import Client, LocalCluster
    client = Client(LocalCluster(n_workers=2))
    df = rawinq.dask.to_dataframe("data/sample-archive", "data/support",
                                  "1995", "2003", region="global")
    df[df.pressure_hPa == 500].groupby("station_id").temperature_C.mean().compute()
"""
import dask
import dask.bag as db
import dask.dataframe as dd
import pandas as pd

import rawinq

_TEXT = ("station_id", "station_name", "level_type")


def _station_key(row):
    """The identifier that names one station of the catalogue alone."""
    if row.station_wban == row.station_wban:  # a WBAN number (not NaN)
        return "W%d" % row.station_wban
    return "%d" % row.station_wmo


def _partitions(archive_dir, support_dir, start, end, station, name, box, region):
    """(station key, first, last) of every station-year of the request."""
    archive = rawinq.Archive(archive_dir, support_dir)
    first, _ = rawinq._rawinq.time_span(rawinq._date_text(start))
    _, last = rawinq._rawinq.time_span(rawinq._date_text(end if end is not None else start))
    stations = archive.stations(str(first)[:4], str(last)[:4], station=station, name=name,
                                box=box, region=region)
    parts = []
    for row in stations.itertuples():
        for span in row.years.split():
            a, _, b = span.partition("-")
            for year in range(int(a), int(b or a) + 1):
                lo = max(first, year * 1000000 + 10100)
                hi = min(last, year * 1000000 + 123123)
                if lo <= hi:
                    parts.append((_station_key(row), str(lo), str(hi)))
    return parts


def _frame(archive_dir, support_dir, part, kwargs):
    df = rawinq.Archive(archive_dir, support_dir).to_dataframe(
        part[1], part[2], station=part[0], **kwargs)
    df.attrs.clear()
    return df.astype({c: object for c in _TEXT})


def to_dataframe(archive_dir, support_dir, start, end=None, station=None, name=None,
                 box=None, region=None, **kwargs):
    """The request of rawinq.Archive.to_dataframe as a dask DataFrame of
    one partition per station-year (texts as Python strings). Keyword
    arguments hours, levels, wind and derived are those of
    Archive.to_dataframe."""
    archive_dir, support_dir = str(archive_dir), str(support_dir)
    parts = _partitions(archive_dir, support_dir, start, end, station, name, box, region)
    if not parts:
        raise ValueError("no station-year of the archive is in the request")
    meta = _frame(archive_dir, support_dir, (parts[0][0], "1900", "1900"), kwargs)
    frames = [dask.delayed(_frame)(archive_dir, support_dir, p, kwargs) for p in parts]
    return dd.from_delayed(frames, meta=meta)


def _soundings(archive_dir, support_dir, part, kwargs):
    archive = rawinq.Archive(archive_dir, support_dir)
    return [dict(station_id=s.station_id, time=s.time, **s.to_dataframe().to_dict("list"))
            for s in archive.soundings(part[1], part[2], station=part[0], **kwargs)]


def soundings(archive_dir, support_dir, start, end=None, station=None, name=None,
              box=None, region=None, **kwargs):
    """The request's soundings as a dask bag of one partition per
    station-year; each sounding is a dict of its station_id, time and level
    columns (lists). Keyword arguments hours and levels are those of
    Archive.soundings."""
    archive_dir, support_dir = str(archive_dir), str(support_dir)
    parts = _partitions(archive_dir, support_dir, start, end, station, name, box, region)
    return db.from_sequence(parts, npartitions=max(len(parts), 1)).map_partitions(
        lambda ps: [s for p in ps for s in _soundings(archive_dir, support_dir, p, kwargs)])
