"""Debian's Chromium, headless and driven through its chromedriver by Selenium, as the web
page's tests, its screenshot and its benchmark open the page.

The machines that run these have no network: Chromium is kept from reaching for one (its own
services, QUIC, updates, sync), since those connections would be refused and slow it down."""

import shutil
import sys
import tempfile

CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"
MISSING = ("Chromium, its driver or Selenium is not installed: scripts/bootstrap installs "
           "chromium, chromium-driver and python3-selenium")

try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
except ImportError:
    sys.exit(MISSING)

FLAGS = [
    "--headless",
    "--no-sandbox",
    "--disable-gpu",
    "--disable-quic",
    "--no-first-run",
    "--disable-background-networking",
    "--disable-component-update",
    "--disable-sync",
]


class Browser:
    """A headless Chromium with a profile of its own, which goes with it.

    `language` is the browser's: it sends it as Accept-Language. A phone's page is laid out as
    a phone lays it out, `width` and `height` CSS pixels at twice the density; a window is never
    that narrow. Use as a context manager."""

    def __init__(self, language="ja", width=1024, height=900, phone=False):
        if not shutil.which(CHROMIUM) or not shutil.which(CHROMEDRIVER):
            sys.exit(MISSING)
        self._profile = tempfile.TemporaryDirectory(prefix="pelmora-chromium-")
        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        for flag in FLAGS:
            options.add_argument(flag)
        options.add_argument(f"--user-data-dir={self._profile.name}")
        if phone:
            options.add_experimental_option("mobileEmulation", {
                "deviceMetrics": {"width": width, "height": height, "pixelRatio": 2}})
        else:
            options.add_argument(f"--window-size={width},{height}")
        options.add_argument(f"--lang={language}")
        options.add_experimental_option("prefs", {"intl.accept_languages": language})
        try:
            self.driver = webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
        except Exception:
            self._profile.cleanup()
            raise

    def __enter__(self):
        return self.driver

    def __exit__(self, *exception):
        try:
            self.driver.quit()
        finally:
            self._profile.cleanup()
