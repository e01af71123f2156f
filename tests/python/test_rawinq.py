"""The Python module against the command line: the same request gives the
same rows as rawinq-extract's CSV read by pandas, the same stations as
--list-stations, and the library's faults as Python exceptions."""
import io
import os
import subprocess
import sys

import numpy as np
import pandas as pd
import pytest

import rawinq

EXTRACT = os.environ["RAWINQ_EXTRACT"]
DATA = os.environ["RAWINQ_DATA"]
ARCHIVE, SUPPORT = DATA + "/sample-archive", DATA + "/support"


@pytest.fixture(scope="module")
def archive():
    return rawinq.Archive(ARCHIVE, SUPPORT)


def extract(*args):
    """rawinq-extract's standard output for the sample archive."""
    return subprocess.run([EXTRACT, "--quiet", *args, ARCHIVE, SUPPORT], check=True,
                          capture_output=True, text=True).stdout


@pytest.mark.parametrize("request_args, cli_args", [
    (dict(start="1999-05", station=["KOUN", "LWK"], hours=[0, 12]),
     ["--from", "1999-05", "--station", "KOUN,LWK", "--hours", "0,12"]),
    (dict(start="1995-07-01", end="1995-07-03", region="global", levels="mandatory",
          order="station", wind="knots"),
     ["--from", "1995-07-01", "--to", "1995-07-03", "--region", "global", "--levels",
      "mandatory", "--order", "station", "--wind", "knots"]),
])
def test_dataframe_equals_the_csv(archive, tmp_path, request_args, cli_args):
    wind = request_args.get("wind", "ms")
    df = archive.to_dataframe(**request_args, derived=True)
    subprocess.run([EXTRACT, "--quiet", *cli_args, "--wind", wind, "--format", "csv",
                    "--derived", "--out", str(tmp_path), ARCHIVE, SUPPORT], check=True)
    [name] = [f for f in os.listdir(tmp_path) if not f.endswith("_indices.csv")]
    csv = pd.read_csv(tmp_path / name, parse_dates=["time", "release_time"])
    assert list(df.columns) == list(csv.columns)
    assert len(df) == len(csv) > 100
    for column in csv.columns:
        got, want = df[column], csv[column]
        if want.dtype == object or str(got.dtype) == "category":
            assert list(got.astype(str)) == list(want.astype(str)), column
        elif column in ("time", "release_time"):
            assert (got.isna() == want.isna()).all() and (got[want.notna()] == want[want.notna()]).all(), column
        else:
            # The archive's values exactly; the derived columns as the CSV
            # rounds them (to one decimal at the coarsest).
            derived = list(csv.columns).index(column) > list(csv.columns).index(df.columns[15])
            np.testing.assert_allclose(got, want.astype(float), rtol=0,
                                       atol=0.0501 if derived else 0,
                                       equal_nan=True, err_msg=column)
    indices = pd.read_csv(tmp_path / name.replace(".csv", "_indices.csv"))
    got = df.attrs["indices"]
    assert len(got) == len(indices)
    np.testing.assert_allclose(got["sb_cape_J_kg"], indices["sb_cape_J_kg"], atol=0.051,
                               equal_nan=True)


def test_soundings_one_at_a_time(archive):
    df = archive.to_dataframe("1999-05-04", station="KOUN")
    soundings = list(archive.soundings("1999-05-04", station="KOUN"))
    assert [str(s.time) for s in soundings] == ["1999-05-04T00:00:00", "1999-05-04T12:00:00"]
    first = soundings[0]
    rows = df[df.time == pd.Timestamp("1999-05-04T00", tz="UTC")]
    np.testing.assert_array_equal(first.temperature_C, rows.temperature_C.to_numpy())
    assert first.level_type == list(rows.level_type.astype(str))
    assert (first.station_id, first.station_wmo, first.station_name) == ("KOUN", 72357, "NORMAN")
    assert str(first.release_time) == "1999-05-03T23:25:00"
    assert set(first.indices()) >= {"sb_cape_J_kg", "precipitable_water_mm"}
    assert list(first.to_dataframe().columns)[:2] == ["level_type", "pressure_hPa"]
    # A stream left early stops its reader; a whole archive streams in
    # order without being held.
    stream = archive.soundings("1995", region="global")
    assert next(stream).station_id and stream.close() is None
    assert sum(1 for _ in archive.soundings("1995-01", region="global", hours=[0])) > 300


def test_inventory_equals_the_command_line(archive):
    got = archive.inventory("1995", "2003")
    cli = pd.read_csv(io.StringIO(extract("--inventory", "--from", "1995", "--to", "2003",
                                          "--region", "global", "--hours", "all")), sep="\t")
    assert list(got.columns) == list(cli.columns) and len(got) == len(cli) == 36
    for column in cli.columns:
        if cli[column].dtype == object:
            assert list(got[column]) == list(cli[column]), column
        else:
            np.testing.assert_array_equal(got[column], cli[column], err_msg=column)


def test_stations_equal_list_stations(archive):
    got = archive.stations()
    cli = pd.read_csv(io.StringIO(extract("--list-stations")), keep_default_na=False)
    assert len(got) == len(cli) == 106
    for column in cli.columns:
        want = cli[column].replace("", np.nan) if cli[column].dtype == object else cli[column]
        if column in ("station_wmo", "station_wban", "latitude_deg", "longitude_deg", "elevation_m"):
            np.testing.assert_array_equal(got[column], pd.to_numeric(want), err_msg=column)
        else:
            assert list(got[column]) == list(cli[column].astype(str)), column


@pytest.mark.parametrize("call, error, message", [
    (lambda a: a.to_dataframe("1999", station="XYZ"), ValueError, "no station 'XYZ'"),
    (lambda a: a.to_dataframe("1999", name="san"), ValueError, "names 3 stations"),
    (lambda a: a.to_dataframe("1999-02-30", station="KOUN"), ValueError, "not a date"),
    (lambda a: a.to_dataframe("1999", "1998", station="KOUN"), ValueError, "before"),
    (lambda a: a.to_dataframe("1999", station="KOUN", region="global"), ValueError, "one selection"),
    (lambda a: a.to_dataframe("1999", station="KOUN", hours=[24]), ValueError, "hour 24"),
    (lambda a: a.soundings("1999", station="KOUN", levels="most"), ValueError, "levels="),
    (lambda a: a.to_dataframe(object(), station="KOUN"), TypeError, "a date"),
    (lambda a: rawinq.Archive("/nonexistent", SUPPORT), FileNotFoundError, "/nonexistent"),
    (lambda a: rawinq.pack(SUPPORT + "/stat2000.txt", "/nonexistent/db", source="igra2"),
     rawinq.ImportError, "stat2000.txt:1: "),
    (lambda a: rawinq.pack([], "/nonexistent/db", source="grib"), ValueError, "source="),
])
def test_faults_are_python_exceptions(archive, call, error, message):
    with pytest.raises(error, match=message):
        call(archive)


def test_dates_as_datetimes(archive):
    import datetime
    as_text = archive.to_dataframe("1999-05-04T12Z", station="KOUN")
    for value in (datetime.datetime(1999, 5, 4, 12), np.datetime64("1999-05-04T12"),
                  datetime.datetime(1999, 5, 4, 14, tzinfo=datetime.timezone(datetime.timedelta(hours=2)))):
        assert archive.to_dataframe(value, station="KOUN").equals(as_text)


@pytest.mark.parametrize("grid", [None, "height:0,500,1000,5000"])
def test_dataset_equals_the_cf_file(archive, tmp_path, grid):
    import xarray as xr
    ds = archive.to_xarray("1999-05-01", "1999-05-03", station=["KOUN", "LWK"], grid=grid,
                           derived=grid is None)
    args = ["--from", "1999-05-01", "--to", "1999-05-03", "--station", "KOUN,LWK",
            "--format", "cf", "--out", str(tmp_path)]
    args += ["--grid", grid] if grid else ["--derived"]
    subprocess.run([EXTRACT, "--quiet", *args, ARCHIVE, SUPPORT], check=True)
    [name] = os.listdir(tmp_path)
    with xr.open_dataset(tmp_path / name) as cf:
        assert ds.attrs.pop("history") != cf.attrs.pop("history")
        xr.testing.assert_identical(ds, cf.load())
    if grid:
        t = ds.air_temperature.sel(station="KOUN", time="1999-05-02T12", level=500)
        assert 250 < float(t) < 300


def test_pack_round_trip(archive, tmp_path):
    """ZIR text of a month packed into a new archive reads back the same."""
    (tmp_path / "month.txt").write_text(
        extract("--from", "1995-01", "--station", "KDNR,LWK", "--wind", "ms"))
    report, warnings = rawinq.pack(tmp_path / "month.txt", tmp_path / "db", source="zir")
    assert "soundings read" in report and warnings == ""
    again = rawinq.Archive(tmp_path / "db", SUPPORT)
    request = dict(start="1995-01", station=["KDNR", "LWK"])
    assert again.to_dataframe(**request).equals(archive.to_dataframe(**request))


def test_pack_bufr_round_trip(archive, tmp_path):
    """A month written as BUFR packs back into the same values."""
    subprocess.run([EXTRACT, "--quiet", "--from", "1995-01", "--station", "KDNR,LWK",
                    "--format", "bufr", "--out", str(tmp_path / "bufr"), ARCHIVE, SUPPORT],
                   check=True)
    files = sorted(tmp_path.glob("bufr/*.bufr"))
    report, warnings = rawinq.pack(files, tmp_path / "db", source="bufr",
                                   catalogue=SUPPORT + "/stat2000.txt")
    assert " packed, 0 skipped" in report and warnings == ""
    again = rawinq.Archive(tmp_path / "db", SUPPORT)
    request = dict(start="1995-01", station=["KDNR", "LWK"])
    assert again.to_dataframe(**request).equals(archive.to_dataframe(**request))


def test_dask_climatology_on_two_workers(archive):
    """The mean 500 hPa temperature by station and month over the whole
    archive, computed by two worker processes from station-year partitions,
    equals the one-process result."""
    from dask.distributed import Client, LocalCluster
    import rawinq.dask
    request = dict(start="1995", end="2003", region="global", levels="mandatory")
    df = rawinq.dask.to_dataframe(ARCHIVE, SUPPORT, **request)
    assert df.npartitions == 36  # 12 stations, 3 years
    at500 = df[df.pressure_hPa == 500]
    mean = at500.groupby([at500.station_id, at500.time.dt.month]).temperature_C.mean()
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                      dashboard_address=None) as cluster, Client(cluster):
        distributed = mean.compute().sort_index()
    one = archive.to_dataframe(**request)
    one = one[one.pressure_hPa == 500]
    expected = one.groupby([one.station_id.astype(str), one.time.dt.month]) \
        .temperature_C.mean().sort_index()
    assert len(distributed) == 12 * 12
    np.testing.assert_allclose(distributed.to_numpy(), expected.to_numpy(), rtol=1e-12)
    assert list(distributed.index) == list(expected.index)
    bag = rawinq.dask.soundings(ARCHIVE, SUPPORT, "1995-01", station="KDNR")
    assert bag.count().compute(scheduler="sync") == 62


def test_examples_page_runs(tmp_path):
    """docs/python.md's examples, in order, as one script in a folder
    where data/ is the project's data."""
    import re
    page = open(os.path.join(os.path.dirname(__file__), "../../docs/python.md")).read()
    blocks = re.findall(r"```python\n(.*?)```", page, re.S)
    assert len(blocks) == 5
    (tmp_path / "data").symlink_to(DATA)
    (tmp_path / "examples.py").write_text("\n".join(blocks))
    r = subprocess.run([sys.executable, "examples.py"], cwd=tmp_path, capture_output=True,
                       text=True, timeout=300)
    assert r.returncode == 0, r.stderr
    assert (tmp_path / "koun.png").stat().st_size > 0 and (tmp_path / "section.png").exists()
    assert "soundings read, 4 packed" in r.stdout


@pytest.mark.parametrize("long_call", [
    lambda a: a.to_dataframe("1995", "2003", region="global", derived=True),
    lambda a: a.to_xarray("1995", "2003", region="global", derived=True),
])
def test_ctrl_c_ends_a_long_read_promptly(archive, long_call):
    """The library reads without the GIL (some 9 s here); Ctrl-C still
    ends it within a few soundings."""
    import _thread
    import threading
    import time
    threading.Timer(0.3, _thread.interrupt_main).start()
    began = time.monotonic()
    with pytest.raises(KeyboardInterrupt):
        long_call(archive)
        time.sleep(5)  # not reached: the read takes longer than the timer
    assert time.monotonic() - began < 3


def test_a_damaged_file_is_a_warning_and_the_rest_is_read(archive, tmp_path):
    import shutil
    (tmp_path / "db").mkdir()
    shutil.copytree(ARCHIVE + "/Raob1995", tmp_path / "db/Raob1995")
    cut = tmp_path / "db/Raob1995/23062_95.buf"
    cut.write_bytes(cut.read_bytes()[:3000])
    damaged = rawinq.Archive(tmp_path / "db", SUPPORT)
    request = dict(start="1995-01", station=["KDNR", "KOUN"])
    with pytest.warns(rawinq.FormatWarning, match="23062_95.buf"):
        df = damaged.to_dataframe(**request)
    assert df.equals(archive.to_dataframe("1995-01", station="KOUN"))
    with pytest.warns(rawinq.FormatWarning, match="23062_95.buf"):
        assert {s.station_id for s in damaged.soundings(**request)} == {"KOUN"}
