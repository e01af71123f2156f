"""rawinq-serve through plain HTTP: every endpoint, every format against
rawinq-extract's file for the same request, the table of refused requests,
the text listing read back by rawinq-pack, concurrent clients, the access
log and the stop on SIGTERM."""
import http.client
import json
import os
import re
import shutil
import signal
import subprocess
import threading
import time
import urllib.error
import urllib.request
import xml.etree.ElementTree as ET

import pytest

SERVE = os.environ["RAWINQ_SERVE"]
EXTRACT = os.environ["RAWINQ_EXTRACT"]
PACK = os.environ["RAWINQ_PACK"]
DATA = os.environ["RAWINQ_DATA"]
ARCHIVE, SUPPORT = DATA + "/sample-archive", DATA + "/support"

SVG = "{http://www.w3.org/2000/svg}"
CLF = re.compile(r'^\S+ - - \[\d\d/[A-Z][a-z]{2}/\d{4}:\d\d:\d\d:\d\d \+0000\] '
                 r'"[^"]*" \d{3} (\d+|-)$')


class Server:
    """A rawinq-serve on a free loopback port, its access log in a file."""

    def __init__(self, tmp, *options, support=SUPPORT):
        self.log = tmp / "access.log"
        self.proc = subprocess.Popen(
            [SERVE, "--listen", "127.0.0.1:0", "--access-log", str(self.log), *options,
             ARCHIVE, support], stderr=subprocess.PIPE, text=True)
        line = self.proc.stderr.readline()
        m = re.search(r"listening on (http://127\.0\.0\.1:\d+)(\S*)/$", line.strip())
        assert m, line
        self.url = m.group(1) + m.group(2)
        self.port = int(m.group(1).rsplit(":", 1)[1])

    def get(self, path):
        """(status, headers, body) of a GET of path (sent as it is)."""
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=30)
        try:
            conn.putrequest("GET", self.url[len(f"http://127.0.0.1:{self.port}"):] + path,
                            skip_accept_encoding=True)
            conn.endheaders()
            r = conn.getresponse()
            return r.status, dict(r.getheaders()), r.read()
        finally:
            conn.close()

    def stop(self):
        self.proc.send_signal(signal.SIGTERM)
        status = self.proc.wait(timeout=20)
        self.proc.stderr.close()
        return status


@pytest.fixture(scope="module")
def server(tmp_path_factory):
    s = Server(tmp_path_factory.mktemp("serve"), "--threads", "4", "--max-extractions", "8")
    yield s
    if s.proc.poll() is None:
        s.stop()


def extract_file(tmp_path, fmt, station, when, hour):
    out = tmp_path / ("x-" + fmt)
    subprocess.run([EXTRACT, "--quiet", "--station", station, "--from", when, "--hours",
                    str(hour), "--format", fmt, "--out", str(out), ARCHIVE, SUPPORT],
                   check=True)
    files = sorted(out.iterdir())
    assert len(files) == 1, files
    return files[0].name, files[0].read_bytes()


def cairo_ids_renumbered(svg):
    """An SVG with cairo's ids (surfaceN, imageN, glyphN-M, clipN, ...),
    which count on across all the documents a process draws, numbered from
    their first use in this document."""
    names = {}

    def number(m):
        return names.setdefault(m.group(0), f"{m.group(1)}@{len(names)}")
    return re.sub(r"\b(surface|image|glyph|clip|pattern|mask|source)\d+(?:-\d+)?\b", number,
                  svg.decode("utf-8"))


def ncdump_without_history(data, tmp_path, name):
    path = tmp_path / name
    path.write_bytes(data)
    text = subprocess.run(["ncdump", str(path)], check=True, capture_output=True,
                          text=True).stdout
    return [l for l in text.splitlines()[1:] if ":history = " not in l]


@pytest.mark.parametrize("fmt", ["zir", "faa604", "csv", "netcdf", "cf", "png", "svg", "pdf"])
@pytest.mark.parametrize("station, when, hour", [("KDNR", "1995010112", 12),
                                                 ("72202", "1999-05-03T00Z", 0)])
def test_every_format_is_rawinq_extracts(server, tmp_path, fmt, station, when, hour):
    iso = when if "T" in when else f"{when[:4]}-{when[4:6]}-{when[6:8]}T{when[8:]}Z"
    status, headers, body = server.get(f"/api/v1/soundings/{station}/{iso}?format={fmt}")
    assert status == 200, body
    name, expected = extract_file(tmp_path, fmt, station, when, hour)
    assert f'filename="{name}"' in headers["Content-Disposition"]
    if fmt == "cf":
        # The history attribute names the request that made the file.
        assert (ncdump_without_history(body, tmp_path, "served.nc")
                == ncdump_without_history(expected, tmp_path, "extracted.nc"))
    elif fmt == "svg":
        assert cairo_ids_renumbered(body) == cairo_ids_renumbered(expected)
    elif fmt == "pdf":
        # cairo dates a PDF to the second it was made.
        def undated(pdf):
            return re.sub(rb"/CreationDate \(D:\d{14}Z\)", b"/CreationDate (D:0)", pdf)
        assert undated(body) == undated(expected)
    else:
        assert body == expected


def test_station_list_and_search(server):
    status, headers, body = server.get("/api/v1/stations")
    assert status == 200 and headers["Content-Type"] == "application/json"
    stations = json.loads(body)
    listed = subprocess.run([EXTRACT, "--list-stations", ARCHIVE, SUPPORT], check=True,
                            capture_output=True, text=True).stdout.splitlines()[1:]
    with_years = {int(l.split(",")[1]) for l in listed if not l.endswith(",")}
    assert {s["wmo"] for s in stations} == with_years
    for q in ["KDNR", "DNR", "72469", "W23062", "denver"]:
        status, _, body = server.get(f"/api/v1/stations?q={q}")
        assert status == 200
        assert [s["id"] for s in json.loads(body)] == ["72469"], q


def test_sounding_list_and_json(server):
    status, _, body = server.get(
        "/api/v1/soundings?station=DNR&from=1995-01-01&to=1995-01-02&hours=0,12")
    assert status == 200
    assert json.loads(body) == {"station": "72469", "soundings": [
        "1995-01-01T00Z", "1995-01-01T12Z", "1995-01-02T00Z", "1995-01-02T12Z"]}
    status, _, body = server.get("/api/v1/soundings/KDNR/1995-01-01T12Z")
    assert status == 200
    one = json.loads(body)
    assert one["time"] == "1995-01-01T12Z" and one["station"]["id"] == "72469"
    csv = extract_text("--station", "KDNR", "--from", "1995010112", "--hours", "12",
                       "--format", "csv", "--wind", "ms")
    rows = [l.split(",") for l in csv.splitlines()[1:]]
    # The same levels (the CSV orders them by pressure).
    def value(v):
        return -999.0 if v is None or v == "" else float(v)
    assert sorted((lev["pressure_hpa"], value(lev["height_m"]), value(lev["temperature_c"]))
                  for lev in one["levels"]) == sorted(
        (float(r[10]), value(r[11]), value(r[12])) for r in rows)


def extract_text(*args):
    return subprocess.run([EXTRACT, "--quiet", *args, ARCHIVE, SUPPORT], check=True,
                          capture_output=True, text=True).stdout


# (path, status, what the message says)
REFUSED = [
    ("/api/v1/soundings/NOWHERE/1995-01-01T00Z", 404, b"no station"),
    ("/api/v1/soundings/72469/1995-02-30T00Z", 400, b"1995-02-30"),
    ("/api/v1/soundings/72469/1995-01-01", 400, b"not one hour"),
    ("/api/v1/soundings/72469/1995-01-01T03Z", 404, b"no sounding"),
    ("/api/v1/soundings/72469/1995-01-01T00Z?format=gif", 400, b"gif"),
    ("/api/v1/soundings?station=72469&from=1995&to=1999", 413, b"366 days"),
    ("/api/v1/soundings?station=72469&from=1995-01-02&to=1995-01-01", 400, b"before"),
    ("/api/v1/soundings?station=72469&hours=25", 400, b"hour 0-23"),
    ("/api/v1/soundings?from=1995", 400, b"station= is required"),
    ("/api/v1/soundings/72469%3Bls/1995-01-01T00Z", 400, b"not a station identifier"),
    ("/station/..%2f..%2fetc/passwd", 400, b".."),
    ("/station/72469/..%2F..%2F..%2Fetc%2Fpasswd", 400, b".."),
    ("/api/v1/soundings/72469/%2e%2e%2f%2e%2e%2fetc%2fpasswd", 400, b".."),
    ("/station/%ff%fe/1995-01-01T00Z", 400, b"UTF-8"),
    ("/api/v1/stations?q=%c3%28", 400, b"UTF-8"),
    ("/station/72469%00/1995-01-01T00Z", 400, b"control"),
    ("/station/" + "7" * 3000 + "/1995-01-01T00Z", 414, b"2048"),
    ("/nothing/here", 404, b"no such page"),
    ("/api/v1/period/72469?from=1995&format=csv", 413, b"more than 400"),
    ("/api/v1/period/72469?from=1995&to=1996-06&format=csv", 413, b"366 days"),
    ("/api/v1/period/72469?format=csv", 400, b"from= is required"),
    ("/api/v1/period/72469?from=1996-07&format=csv", 404, b"no soundings"),
    ("/api/v1/period/72469?from=1995-01&format=tiff", 400, b"tiff"),
    ("/api/v1/period/72469/section?from=1995-01&format=gif", 400, b"gif"),
    ("/period/72469?from=1995-13", 400, b"1995-13"),
]


@pytest.mark.parametrize("path, status, message", REFUSED)
def test_refused_requests(server, path, status, message):
    got, headers, body = server.get(path)
    assert got == status, body
    assert message in body
    if path.startswith("/api/"):
        assert "error" in json.loads(body)


@pytest.mark.parametrize("fmt", ["zir", "csv", "cf", "png"])
def test_period_download_is_rawinq_extracts_as_one_file(server, tmp_path, fmt):
    status, headers, body = server.get(
        f"/api/v1/period/KDNR?from=1995-01-01&to=1995-01-03T00Z&hours=0,12&format={fmt}")
    assert status == 200, body
    out = tmp_path / "x"
    subprocess.run([EXTRACT, "--quiet", "--station", "KDNR", "--from", "1995010100", "--to",
                    "1995010300", "--hours", "0,12", "--format", fmt, "--out", str(out),
                    ARCHIVE, SUPPORT], check=True)
    files = sorted(out.iterdir())
    if fmt == "png":  # a drawing a sounding: a zip of them
        assert headers["Content-Type"] == "application/zip"
        zipped = tmp_path / "served.zip"
        zipped.write_bytes(body)
        import zipfile
        with zipfile.ZipFile(zipped) as z:
            assert sorted(z.namelist()) == [f.name for f in files] and len(files) == 5
            for f in files:
                assert z.read(f.name) == f.read_bytes()
    elif fmt == "cf":
        assert len(files) == 1
        assert (ncdump_without_history(body, tmp_path, "served.nc")
                == ncdump_without_history(files[0].read_bytes(), tmp_path, "extracted.nc"))
    else:
        assert len(files) == 1 and body == files[0].read_bytes()
        assert f'filename="{files[0].name}"' in headers["Content-Disposition"]


def test_period_page_and_section(server):
    status, headers, body = server.get("/period/DNR?from=1995-01&hours=12")
    assert status == 200
    page = body.decode()
    assert page.count("<svg") == 1 and page.count("<path") > 100
    assert page.count('href="/station/72469/1995-01-') == 31
    assert ('href="/api/v1/period/72469?from=1995-01-01T00Z&amp;to=1995-01-31T23Z&amp;'
            'hours=12&amp;format=csv"') in page
    for fmt, magic in [("png", b"\x89PNG"), ("pdf", b"%PDF"), ("svg", b"<?xml")]:
        status, headers, body = server.get(
            f"/api/v1/period/72469/section?from=1995-01&hours=12&format={fmt}")
        assert status == 200 and body.startswith(magic), fmt
    # The sounding page links to its month.
    status, _, body = server.get("/station/72469/1995-01-05T00Z")
    assert 'href="/period/72469?from=1995-01&amp;hours=0,12"' in body.decode()


def test_sounding_page(server):
    status, headers, body = server.get("/station/KDNR/1995-01-01T12Z")
    assert status == 200
    assert "script-src 'self'" in headers["Content-Security-Policy"]
    page = body.decode()
    assert page.count("<svg") == 1 and "<path" in page
    # The skew-T is well-formed SVG with the title's text and a vertex of
    # the temperature trace per level with a temperature.
    svg = ET.fromstring(page[page.index("<svg"):page.index("</svg>") + 6])
    texts = [t.text for t in svg.iter(SVG + "text")]
    assert "DENVER/STAPLETON  DEN   WMO 72469" in texts, texts[:5]
    trace = [p.get("d") for p in svg.iter(SVG + "path") if p.get("class") == "temperature"]
    one = json.loads(server.get("/api/v1/soundings/KDNR/1995-01-01T12Z")[2])
    levels = [l for l in one["levels"] if l["temperature_c"] is not None]
    assert len(trace) == 1 and len(re.findall("[ML]", trace[0])) == len(levels)
    assert 'href="/station/72469/1995-01-01T00Z"' in page
    assert 'href="/station/72469/1995-01-02T00Z"' in page
    for fmt in ["zir", "faa604", "csv", "cf", "png", "pdf"]:
        assert f'href="/api/v1/soundings/72469/1995-01-01T12Z?format={fmt}"' in page
    assert "<script>" not in page and " on" + "load=" not in page
    status, headers, _ = server.get("/station/KDNR")
    assert status == 302 and headers["Location"].startswith("/station/72469/")


def test_listing_is_read_back_by_rawinq_pack(server, tmp_path):
    status, _, body = server.get("/station/72469/1995-01-01T12Z/listing")
    assert status == 200
    listing = tmp_path / "listing.html"
    listing.write_bytes(body)
    text = body.decode()
    for column in "PRES HGHT TEMP DWPT RELH MIXR DRCT SKNT THTA THTE THTV".split():
        assert column in text
    subprocess.run([PACK, "--from", "wyoming", "--support", SUPPORT, str(tmp_path / "db"),
                    str(listing)], check=True, capture_output=True)

    def levels(archive):
        csv = subprocess.run([EXTRACT, "--quiet", "--station", "72469", "--from",
                              "1995010112", "--hours", "12", "--format", "csv", "--wind",
                              "ms", archive, SUPPORT], check=True, capture_output=True,
                             text=True).stdout
        rows = [l.split(",") for l in csv.splitlines()[1:]]
        return sorted((r[10], r[11], r[12], r[13], r[14], r[15]) for r in rows)
    before, after = levels(ARCHIVE), levels(str(tmp_path / "db"))
    assert len(before) == len(after) > 10
    for b, a in zip(before, after):
        assert a[:5] == b[:5]
        if b[5]:  # speeds pass through whole knots
            assert abs(float(a[5]) - float(b[5])) <= 0.3


def test_catalogue_text_is_escaped_everywhere(tmp_path):
    # Denver's name with markup and a Latin-1 byte, in the same 16 columns.
    support = tmp_path / "support"
    shutil.copytree(SUPPORT, support)
    stat = support / "stat2000.txt"
    hostile = b"<b>&\"Z\xfcrich'</i>"
    stat.write_bytes(stat.read_bytes().replace(b"DENVER/STAPLETON", hostile)
                     .replace(b"DENVER          ", hostile))
    name = "<b>&\"Z\u00fcrich'</i>"
    s = Server(tmp_path, support=str(support))
    try:
        stations = json.loads(s.get("/api/v1/stations")[2])
        assert [st["name"] for st in stations if st["wmo"] == 72469] == [name]
        for path in ["/period/72469?from=1995-01", "/", "/station/72469/1995-01-01T12Z"]:
            status, _, body = s.get(path)
            page = body.decode()  # UTF-8 throughout
            assert status == 200 and "<b>" not in page and "</i>" not in page, path
        # The sounding page's heading and its skew-T's title.
        assert "&lt;b&gt;&amp;&quot;Z\u00fcrich&#39;&lt;/i&gt;" in page
        svg = ET.fromstring(page[page.index("<svg"):page.index("</svg>") + 6])
        assert any(t.text.startswith(name) for t in svg.iter(SVG + "text"))
        # The plots with that name in their title are drawn.
        for fmt in ["png", "svg", "pdf"]:
            assert s.get(f"/api/v1/soundings/72469/1995-01-01T12Z?format={fmt}")[0] == 200, fmt
    finally:
        s.stop()


def test_concurrent_clients_get_their_own_answers(server):
    """8 threads, 6 requests each, every one a different sounding in a
    format: each answer is the one asked for (nothing lost or mixed)."""
    status, _, body = server.get("/api/v1/soundings?station=72469&from=1995-01&hours=0,12")
    times = json.loads(body)["soundings"][:48]
    assert len(times) == 48
    expected = {}
    for t in times:
        status, _, body = server.get(f"/api/v1/soundings/72469/{t}?format=zir")
        assert status == 200
        expected[t] = body
    assert len(set(expected.values())) == len(times)
    failures, done = [], []

    def client(k):
        for t in times[k::8]:
            try:
                status, _, body = server.get(f"/api/v1/soundings/72469/{t}?format=zir")
                if status != 200 or body != expected[t]:
                    failures.append((t, status))
                else:
                    done.append(t)
            except OSError as e:
                failures.append((t, str(e)))
    threads = [threading.Thread(target=client, args=(k,)) for k in range(8)]
    start = time.monotonic()
    for t in threads:
        t.start()
    for t in threads:
        t.join(timeout=120)
    assert time.monotonic() - start < 120
    assert failures == [] and sorted(done) == sorted(times)


def test_busy_server_answers_503_and_stops_on_sigterm(tmp_path):
    s = Server(tmp_path, "--threads", "8", "--max-extractions", "1", "--base-url", "/raob/")
    try:
        assert s.url.endswith("/raob")
        statuses = []

        def client():
            for _ in range(4):
                statuses.append(s.get("/api/v1/soundings/72469/1995-01-01T12Z?format=png")[0])
        threads = [threading.Thread(target=client) for _ in range(6)]
        for t in threads:
            t.start()
        for t in threads:
            t.join(timeout=120)
        assert set(statuses) <= {200, 503} and 200 in statuses and 503 in statuses
        got, headers, body = s.get("/api/v1/soundings/72469/1995-01-01T12Z?format=png")
        assert got in (200, 503)
        if got == 503:
            assert headers["Retry-After"] == "1"
        assert s.get("/station/KDNR/1995-01-01T12Z")[0] == 200
    finally:
        status = s.stop()
    assert status == 128 + signal.SIGTERM
    lines = s.log.read_text().splitlines()
    assert len(lines) == len(statuses) + 2
    assert all(CLF.match(l) for l in lines), lines[:3]
    # A line is written once its answer is sent, so the page's line and the
    # request's before it may come in either order.
    assert any('"GET /raob/station/KDNR/1995-01-01T12Z HTTP/1.1" 200 ' in l for l in lines[-2:])


def test_in_flight_request_finishes_on_sigterm(tmp_path):
    """A request under way when SIGTERM comes is answered, then the server
    exits with 128 + 15; a new connection is refused meanwhile."""
    s = Server(tmp_path)
    conn = http.client.HTTPConnection("127.0.0.1", s.port, timeout=30)
    conn.connect()
    conn.sock.sendall(b"GET /api/v1/soundings?station=72469&from=1995-01-01 HTTP/1.1\r\n")
    time.sleep(0.3)  # accepted, its headers still coming
    s.proc.send_signal(signal.SIGTERM)
    time.sleep(0.5)
    assert s.proc.poll() is None  # waiting for the request under way
    conn.sock.sendall(b"Host: 127.0.0.1\r\nConnection: close\r\n\r\n")
    r = http.client.HTTPResponse(conn.sock)
    r.begin()
    assert r.status == 200
    assert json.loads(r.read())["soundings"] == ["1995-01-01T00Z", "1995-01-01T12Z"]
    conn.close()
    assert s.proc.wait(timeout=20) == 128 + signal.SIGTERM
    s.proc.stderr.close()


def test_a_slow_client_is_cut_off_and_others_are_served(tmp_path):
    """A client that sends half a request and stops is answered 400 (or cut
    off) after --timeout, then disconnected; the server goes on answering."""
    s = Server(tmp_path, "--timeout", "1", "--threads", "2")
    try:
        import socket
        slow = socket.create_connection(("127.0.0.1", s.port), timeout=10)
        slow.sendall(b"GET /api/v1/stations HTTP/1.1\r\nHost: x\r\n")
        start = time.monotonic()
        answer = slow.recv(4096)  # 400, or the connection closed
        assert time.monotonic() - start < 3.5  # --timeout 1, not the 5 s default
        assert answer == b"" or answer.startswith(b"HTTP/1.1 400 "), answer[:80]
        while slow.recv(4096):  # then closed (after the keep-alive wait)
            pass
        slow.close()
        assert s.get("/api/v1/stations?q=KDNR")[0] == 200
    finally:
        assert s.stop() == 128 + signal.SIGTERM
