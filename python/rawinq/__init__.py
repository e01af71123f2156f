"""Upper-air soundings of a station-year archive, from Python.

    import rawinq
    archive = rawinq.Archive("data/sample-archive", "data/support")
    df = archive.to_dataframe("1999-05", station=["KOUN", "KDNR"])
    for s in archive.soundings("1999-05-04", station="KOUN"):
        print(s.station_id, s.time, s.temperature_C[:3])

Everything is done by the C++ library (selection, decoding, formulas);
this module turns its arrays into pandas objects. Dates are written as
people write them ("1999-05-04T00Z", "1999-05-04", "1999-05", "1999", the
ten-digit form), or given as datetime or numpy.datetime64 values (UTC).
"""
import datetime as _datetime

import numpy as _np

from . import _rawinq
from ._rawinq import ArchiveError, CatalogueError, DateError
from ._rawinq import ImportError  # noqa: A004 (the library's import fault)

__all__ = ["Archive", "Sounding", "pack", "FormatWarning", "ArchiveError", "CatalogueError", "DateError",
           "ImportError"]

Sounding = _rawinq.Sounding


class FormatWarning(UserWarning):
    """A part of the archive that cannot be read (a damaged or cut-off
    station-year file); what could be read is returned."""


def _date_text(value):
    """A date as the library reads it: text as it is, datetime or
    numpy.datetime64 values (UTC) to the hour."""
    if value is None:
        return ""
    if isinstance(value, str):
        return value
    if isinstance(value, _np.datetime64):
        value = value.astype("datetime64[s]").astype(_datetime.datetime)
    if isinstance(value, _datetime.datetime):
        if value.tzinfo is not None:
            value = value.astimezone(_datetime.timezone.utc).replace(tzinfo=None)
        return value.strftime("%Y-%m-%dT%H:%MZ")
    if isinstance(value, _datetime.date):
        return value.isoformat()
    raise TypeError("a date is text, datetime or numpy.datetime64, not %r" % (value,))


_REGIONS = {"north-america": (0.0, 90.0, -180.0, -50.0), "global": (-90.0, 90.0, -180.0, 180.0)}


def _selection(station, name, box, region):
    """The library's selection arguments: identifiers, name parts, a box."""
    if isinstance(station, (str, int)):
        station = [station]
    if isinstance(name, str):
        name = [name]
    if region is not None:
        if box is not None:
            raise ValueError("give box= or region=, not both")
        if region not in _REGIONS:
            raise ValueError("region= is one of %s" % ", ".join(sorted(_REGIONS)))
        box = _REGIONS[region]
    return ([str(s) for s in station or []], list(name or []),
            None if box is None else [float(v) for v in box])


def _hours(hours):
    if hours is None or (isinstance(hours, str) and hours == "all"):
        return []
    return [int(h) for h in ([hours] if isinstance(hours, int) else hours)]


def _times(seconds):
    import pandas as pd
    return pd.to_datetime(seconds, unit="s", utc=True)


def _time_property(name):
    def get(self):
        s = getattr(self, name)
        return _np.datetime64("NaT") if _np.isnan(s) else _np.datetime64(int(s), "s")
    return property(get)


def _sounding_dataframe(self):
    """The sounding's levels as a DataFrame, one row per level in
    decreasing pressure."""
    import pandas as pd
    return pd.DataFrame({
        "level_type": self.level_type, "pressure_hPa": self.pressure_hPa,
        "height_m": self.height_m, "temperature_C": self.temperature_C,
        "dewpoint_C": self.dewpoint_C, "wind_direction_deg": self.wind_direction_deg,
        "wind_speed_m_s": self.wind_speed_m_s})


def _sounding_repr(self):
    return "<rawinq.Sounding %s %s, %d levels>" % (
        self.station_id, str(self.time)[:13] + "Z", len(self.pressure_hPa))


def _sounding_plot(self, path, format=None, tmin=None, tmax=None, parcel="surface"):
    """Draws the sounding's skew-T log-p diagram (with hodograph and
    indices) into path: format "png", "svg" or "pdf" (default from the
    path's extension); tmin, tmax: the temperature axis at 1000 hPa in degC
    (default from the sounding); parcel: "surface", "mixed-layer" or
    "most-unstable"."""
    import os
    path = os.fspath(path)
    if format is None:
        format = os.path.splitext(path)[1].lstrip(".").lower() or "png"
    nan = float("nan")
    self._plot(path, format, nan if tmin is None else float(tmin),
               nan if tmax is None else float(tmax), parcel)


def _sounding_svg(self):
    """The skew-T as SVG text, so that a notebook shows the sounding."""
    import os
    import tempfile
    fd, path = tempfile.mkstemp(suffix=".svg")
    os.close(fd)
    try:
        self.plot(path, "svg")
        with open(path, encoding="utf-8") as f:
            return f.read()
    finally:
        os.unlink(path)


Sounding.plot = _sounding_plot
Sounding._repr_svg_ = _sounding_svg
Sounding.time = _time_property("_time_s")
Sounding.time.__doc__ = "Nominal (synoptic) time, numpy.datetime64 (UTC)."
Sounding.release_time = _time_property("_release_s")
Sounding.release_time.__doc__ = "Release time of the radiosonde, numpy.datetime64 (UTC) or NaT."
Sounding.to_dataframe = _sounding_dataframe
Sounding.__repr__ = _sounding_repr


class Archive:
    """An archive of station-year files and the station catalogue of its
    support folder (stat2000.txt, international_sites.txt and the world
    table of identifiers).

    Raises FileNotFoundError when the archive cannot be opened and
    ValueError (rawinq.CatalogueError) when a catalogue cannot be read.
    """

    def __init__(self, database_dir, support_dir):
        self._archive = _rawinq.Archive(str(database_dir), str(support_dir))

    def _request(self, start, end, station, name, box, region):
        ids, names, box = _selection(station, name, box, region)
        return _date_text(start), _date_text(end), ids, names, box

    def soundings(self, start, end=None, station=None, name=None, hours=None,
                  levels="all", box=None, region=None, order="synoptic"):
        """The request's soundings, one Sounding at a time (read a few ahead
        by the library; memory stays flat whatever the archive).

        start, end: dates as people write them (end defaults to the end of
        the period start names); station: identifiers (WMO or W+WBAN
        numbers, ICAO or 3-letter codes, IGRA2 ids); name: parts of station
        names; box=(LATMIN, LATMAX, LONMIN, LONMAX) or region="global" |
        "north-america"; hours: the sounding hours (default all); levels:
        "all", "mandatory" or "mandatory+significant"; order: "synoptic" or
        "station". One selection is required.
        """
        s, e, ids, names, box = self._request(start, end, station, name, box, region)
        return self._archive.soundings(s, e, ids, names, _hours(hours), levels, box, order)

    def to_dataframe(self, start, end=None, station=None, name=None, hours=None,
                     levels="all", box=None, region=None, order="synoptic",
                     wind="ms", derived=False):
        """All level rows of a request as one DataFrame with the columns of
        rawinq-extract --format csv (wind="ms": wind_speed_m_s, "knots":
        wind_speed_kt; derived=True adds the derived columns). Times are
        UTC timestamps; texts are categoricals; missing values NaN. With
        derived=True the indices of each sounding are in df.attrs["indices"]
        (a DataFrame keyed by station_id and time)."""
        import pandas as pd
        if wind not in ("ms", "knots"):
            raise ValueError("wind= is ms or knots")
        s, e, ids, names, box = self._request(start, end, station, name, box, region)
        table = self._archive.level_table(s, e, ids, names, _hours(hours), levels, box,
                                          order, wind == "knots", bool(derived))
        indices = table.pop("indices", None)
        columns = {}
        for key, value in table.items():
            if isinstance(value, tuple):
                codes, categories = value
                value = pd.Categorical.from_codes(codes, categories=categories)
            elif key in ("time", "release_time"):
                value = _times(value)
            columns[key] = value
        df = pd.DataFrame(columns)
        if indices is not None:
            first = indices.pop("first_row").astype(int)
            keys = df.iloc[first][["station_id", "time"]].reset_index(drop=True)
            df.attrs["indices"] = pd.concat([keys, pd.DataFrame(indices)], axis=1)
        return df

    def to_xarray(self, start, end=None, station=None, name=None, hours=None,
                  levels="all", box=None, region=None, grid=None, derived=False):
        """The request as the xarray Dataset of rawinq-extract --format cf,
        made in memory by the same writer (no file is written): ragged
        profiles (the obs and profile dimensions, row_size), or with
        grid="pressure[:LIST]" | "height[:LIST]" the (station, time, level)
        cube, selectable as ds.sel(station="KOUN", time="1999-05-04T00")."""
        import netCDF4
        import xarray as xr
        if grid is not None and derived:
            raise ValueError("derived= is not for a grid")
        s, e, ids, names, box = self._request(start, end, station, name, box, region)
        data = self._archive.cf_bytes(s, e, ids, names, _hours(hours), levels, box,
                                      grid or "", bool(derived))
        store = xr.backends.NetCDF4DataStore(netCDF4.Dataset("in-memory.nc", memory=data))
        return xr.open_dataset(store).load()

    def inventory(self, start=None, end=None, station=None, name=None, hours=None,
                  box=None, region=None):
        """The selection's station-year files (all stations and years
        without a selection or dates) as a DataFrame with the columns of
        rawinq-extract --inventory: numbers and initials, year, the
        soundings the file's day index lists in the period at the hours
        (default all), the first and last of them (YYYYMMDDHH, NaN when
        none), and the station columns. Only the day indexes are read."""
        import pandas as pd
        if station is None and name is None and box is None and region is None:
            region = "global"
        s, e, ids, names, box = self._request(start or "1900", end or "2099", station,
                                              name, box, region)
        return pd.DataFrame(self._archive.inventory_table(s, e, ids, names, _hours(hours), box))

    def stations(self, start=None, end=None, station=None, name=None, box=None,
                 region=None):
        """The selection's stations (all without one) as a DataFrame with
        the columns of rawinq-extract --list-stations: identifiers, name,
        position and elevation of the latest catalogue entry in the period,
        and the years the archive holds a file of the station for."""
        import pandas as pd
        if station is None and name is None and box is None and region is None:
            region = "global"
        s, e, ids, names, box = self._request(start or "1900", end or "2099", station,
                                              name, box, region)
        return pd.DataFrame(self._archive.station_table(s, e, ids, names, box))


def pack(inputs, database_dir, source="igra2", replace=False, catalogue=None,
         support_dir=None, station_list=None, wmo=None, month=None):
    """Imports sounding files into the archive in database_dir, as
    rawinq-pack does: source is "igra2", "wyoming", "temp", "bufr" or "zir"; inputs
    are files (plain, .gz or .zip), read in order. catalogue (a
    stat2000.txt) and support_dir file stations of WMO numbers under their
    WBAN numbers; station_list (IGRA2's) with support_dir adds the stations'
    catalogue entries; wmo names the station of Wyoming comma-separated
    listings; month (YYYYMM) dates TEMP messages. Nothing is written when an
    input has a fault: rawinq.ImportError (a ValueError) names its file and
    line. Returns the report (the files written and the summary) and the
    warnings, as two texts."""
    if isinstance(inputs, (str, bytes)) or hasattr(inputs, "__fspath__"):
        inputs = [inputs]
    return _rawinq.pack([str(i) for i in inputs], str(database_dir), source, bool(replace),
                        str(catalogue or ""), str(support_dir or ""), str(station_list or ""),
                        int(wmo or 0), int(month or 0))
