"""rawinq-serve in a real browser (Debian's chromium, headless, through
chromedriver and selenium): the map with its land outlines, the search,
the date and hour picker, the sounding page with its skew-T, "next", and
the CSV download against rawinq-extract's. Screenshots of each page go to
RAWINQ_SCREENSHOTS. Exits 77 (skipped) only when chromium is not
installed."""
import os
import pathlib
import subprocess
import sys
import tempfile

CHROMIUM, DRIVER = "/usr/bin/chromium", "/usr/bin/chromedriver"
if not os.path.exists(CHROMIUM):
    print("chromium is not installed: skipped")
    sys.exit(77)

from selenium import webdriver  # noqa: E402
from selenium.webdriver.chrome.service import Service  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402
from selenium.webdriver.support import expected_conditions as EC  # noqa: E402
from selenium.webdriver.support.ui import Select, WebDriverWait  # noqa: E402

sys.path.insert(0, os.path.dirname(__file__))
from test_serve import ARCHIVE, EXTRACT, SUPPORT, Server  # noqa: E402

SHOTS = pathlib.Path(os.environ.get("RAWINQ_SCREENSHOTS", "."))


def main():
    tmp = pathlib.Path(tempfile.mkdtemp(prefix="rawinq-browser-"))
    server = Server(tmp, "--base-url", "/raob")
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for arg in ["--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                "--window-size=1280,1000", "--user-data-dir=" + str(tmp / "profile")]:
        options.add_argument(arg)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    driver = webdriver.Chrome(service=Service(DRIVER), options=options)
    wait = WebDriverWait(driver, 30)
    try:
        has_land = server.get("/static/land-110m.json")[0] == 200
        driver.get(server.url + "/")
        assert len(driver.find_elements(By.CSS_SELECTOR, "#map circle.station")) > 5
        if has_land:
            wait.until(lambda d: d.find_elements(By.CSS_SELECTOR, "#land path.land"))
            d = driver.find_element(By.CSS_SELECTOR, "#land path.land").get_attribute("d")
            assert d.count("M") > 100, "the land outlines are not drawn"
        else:
            print("note: web/node_modules has no world-atlas (npm not run): no land outlines")
        driver.save_screenshot(str(SHOTS / "serve-map.png"))

        # Search by name; the one station found is chosen.
        driver.find_element(By.ID, "q").send_keys("denver")
        driver.find_element(By.ID, "find").click()
        wait.until(EC.text_to_be_present_in_element((By.ID, "chosen"), "72469"))
        wait.until(lambda d: d.find_element(By.ID, "date").is_enabled())
        date = driver.find_element(By.ID, "date")
        assert date.get_attribute("min") == "1995-01-01", date.get_attribute("min")
        # A day without soundings moves to the nearest one with them.
        driver.execute_script(
            "const d = document.getElementById('date'); d.value = '1994-06-01';"
            "d.dispatchEvent(new Event('change'));")
        assert date.get_attribute("value") == "1995-01-01"
        assert "nearest" in driver.find_element(By.ID, "note").text
        hours = [o.get_attribute("value") for o in
                 Select(driver.find_element(By.ID, "hour")).options]
        assert hours == ["00", "12"], hours
        Select(driver.find_element(By.ID, "hour")).select_by_value("12")
        driver.save_screenshot(str(SHOTS / "serve-search.png"))
        driver.find_element(By.ID, "show").click()

        wait.until(EC.url_contains("/raob/station/72469/1995-01-01T12Z"))
        paths = driver.find_elements(By.CSS_SELECTOR, ".skewt svg path")
        assert len(paths) > 50, len(paths)
        trace = driver.find_element(By.CSS_SELECTOR, ".skewt svg path.temperature")
        assert trace.size["height"] > 100, trace.size
        assert driver.find_elements(By.CSS_SELECTOR, "table.indices tr")
        driver.save_screenshot(str(SHOTS / "serve-sounding.png"))

        driver.find_element(By.ID, "next").click()
        wait.until(EC.url_contains("/raob/station/72469/1995-01-02T00Z"))
        assert driver.find_elements(By.CSS_SELECTOR, ".skewt svg path")
        driver.save_screenshot(str(SHOTS / "serve-next.png"))

        # The CSV link, fetched by the page itself.
        href = driver.find_element(By.ID, "download-csv").get_attribute("href")
        csv = driver.execute_async_script(
            "const done = arguments[arguments.length - 1];"
            "fetch(arguments[0]).then(r => r.text()).then(done, e => done('failed: ' + e));",
            href)
        expected = subprocess.run(
            [EXTRACT, "--quiet", "--station", "72469", "--from", "1995010200", "--hours", "0",
             "--format", "csv", ARCHIVE, SUPPORT], check=True, capture_output=True,
            text=True).stdout
        assert csv == expected, csv[:200]

        # The month as a time-height section.
        driver.find_element(By.ID, "period").click()
        wait.until(EC.url_contains("/raob/period/72469?from=1995-01"))
        assert len(driver.find_elements(By.CSS_SELECTOR, ".section svg path")) > 100
        driver.save_screenshot(str(SHOTS / "serve-period.png"))

        errors = [e for e in driver.get_log("browser") if e["level"] == "SEVERE"]
        assert not errors, errors[:3]
    finally:
        driver.quit()
        server.stop()
    print("browser check passed; screenshots in", SHOTS)


if __name__ == "__main__":
    main()
