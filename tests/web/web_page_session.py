"""A person at the web page, in headless Chromium: one scenario of web_page_test.cpp, against
a running `pelmora-cli serve --http` on the simulated supply. Prints what the page showed as
"NAME VALUE" lines; the test judges them, and what reached the supply.

    web_page_session.py HTTP_PORT SCPI_PORT SCENARIO [SUPPLY_LOG]"""

import datetime
import json
import re
import socket
import sys
import urllib.request

from headless_chromium import Browser
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import Select, WebDriverWait

# Only a hang runs into it.
BOUND_S = 20
LOOK_S = 0.01
JAPANESE = re.compile(r"[\u3040-\u30ff\u4e00-\u9fff]")


def show(name, value):
    print(name, value, flush=True)


class Page:
    def __init__(self, driver, http_port, query=""):
        self.driver = driver
        self.base = f"http://127.0.0.1:{http_port}"
        driver.get(f"{self.base}/{query}")
        # The first state has come once the lists are filled and the port is named.
        self.wait(lambda: len(Select(self.get("pos-voltage")).options) == 16
                  and self.text("connection") != "", "the first state")

    def get(self, element_id):
        return self.driver.find_element(By.ID, element_id)

    def text(self, element_id):
        return self.get(element_id).text

    def value(self, element_id):
        return self.get(element_id).get_attribute("value")

    def lamp_on(self):
        return "on" in self.get("lamp").get_attribute("class").split()

    def wait(self, condition, what):
        try:
            WebDriverWait(self.driver, BOUND_S, poll_frequency=LOOK_S).until(
                lambda driver: condition())
        except Exception:
            body = self.driver.find_element(By.TAG_NAME, "body").text
            sys.exit(f"{what} did not come; the page says:\n{body}")

    def state(self):
        with urllib.request.urlopen(f"{self.base}/api/state") as answer:
            return json.load(answer)

    def choose(self, element_id, volts):
        Select(self.get(element_id)).select_by_value(volts)

    def refusal(self):
        self.wait(lambda: self.text("refusal") != "", "a refusal")
        return self.text("refusal")


class Scpi:
    """Another client of the server, on its SCPI port."""

    def __init__(self, port):
        self.connection = socket.create_connection(("127.0.0.1", port), timeout=BOUND_S)
        self.replies = self.connection.makefile("r", encoding="ascii", newline="\n")

    def send(self, line):
        self.connection.sendall(line.encode("ascii") + b"\n")

    def query(self, line):
        self.send(line)
        return self.replies.readline().rstrip("\n")


def log_times(log_file, command):
    """When the supply received each `command`, in ms since the epoch, from its log file."""
    times = []
    with open(log_file, encoding="ascii") as log:
        for line in log:
            stamp, _, received = line.rstrip("\n").partition(" ")
            if received == command + "\\r":
                when = datetime.datetime.strptime(stamp, "%Y-%m-%dT%H:%M:%S.%fZ")
                times.append(when.replace(tzinfo=datetime.timezone.utc).timestamp() * 1000)
    return times


def shown_at(page, condition):
    """The browser's clock when `condition` (a script's expression) first held, in ms since
    the epoch: looked at in the page itself, so that Selenium's own delay does not count. (The
    page's policy allows no eval.)"""
    return page.driver.execute_async_script(
        f"""const done = arguments[0];
        const look = () => ({condition} ? done(Date.now()) : setTimeout(look, 1));
        look();""")


def plot_pixels(driver, colour_property):
    """How many pixels of the plot are drawn in the colour the page's styles give
    `colour_property`: its lines are drawn on a clear canvas, so their edges differ only in
    how opaque they are."""
    return driver.execute_script(
        """const canvas = document.getElementById("plot");
        const probe = document.createElement("canvas").getContext("2d");
        probe.fillStyle = getComputedStyle(canvas).getPropertyValue(arguments[0]);
        probe.fillRect(0, 0, 1, 1);
        const colour = probe.getImageData(0, 0, 1, 1).data;
        const pixels = canvas.getContext("2d").getImageData(0, 0, canvas.width, canvas.height).data;
        const near = (i) => [0, 1, 2].every((c) => Math.abs(pixels[i + c] - colour[c]) <= 8);
        let count = 0;
        for (let i = 0; i < pixels.length; i += 4) {
          if (pixels[i + 3] > 0 && near(i)) count++;
        }
        return count;""", colour_property)


def switch(http_port, scpi_port, log):
    with Browser("ja") as driver:
        page = Page(driver, http_port)
        show("connection", page.text("connection"))
        page.choose("pos-voltage", "5")
        page.wait(lambda: page.state()["rails"]["positive"]["voltage_V"] == 5, "+5 V")
        page.choose("neg-voltage", "-12")
        page.wait(lambda: page.state()["rails"]["negative"]["voltage_V"] == -12, "-12 V")
        page.get("output").click()
        page.wait(page.lamp_on, "the lamp")
        show("pressed", page.get("output").get_attribute("aria-pressed"))
        show("output", page.text("output-state"))
        page.wait(lambda: page.text("pos-current") != "-", "a current")
        show("positive_mA", page.text("pos-current"))
        page.choose("pos-voltage", "6")
        page.wait(lambda: page.state()["rails"]["positive"]["voltage_V"] == 6, "+6 V")
        show("refusal", repr(page.text("refusal")))

        # A limit being typed stays while the currents come in, until it is applied.
        limit = page.get("pos-limit")
        limit.clear()
        limit.send_keys("250")
        page.get("pos-watched").click()
        polls = len(log_times(log, "REQA"))
        page.wait(lambda: len(log_times(log, "REQA")) >= polls + 2, "two more polls")
        show("limit_typed", page.value("pos-limit"))
        driver.find_element(By.CSS_SELECTOR, "#protection button[type=submit]").click()
        page.wait(lambda: page.state()["rails"]["positive"]["protection"]["limit_mA"] == 250,
                  "the limit applied")
        protection = page.state()["rails"]["positive"]["protection"]
        show("protection", f"{protection['on']} {protection['limit_mA']}")


def live(http_port, scpi_port, log):
    with Browser("ja") as driver:
        page = Page(driver, http_port)
        other = Scpi(scpi_port)
        other.send("APPL POS,7;APPL NEG,-3;OUTP ON")
        show("complete", other.query("*OPC?"))
        settings_at = shown_at(page, """document.getElementById("pos-voltage").value === "7"
            && document.getElementById("neg-voltage").value === "-3"
            && document.getElementById("lamp").classList.contains("on")""")
        current_at = shown_at(page, """document.getElementById("pos-current").textContent
            !== "-" """)
        changed = log_times(log, "V070030")[-1]
        polls = log_times(log, "REQA")
        show("polls_before_settings", sum(changed < poll <= settings_at for poll in polls))
        show("polls_before_current", sum(changed < poll <= current_at for poll in polls))
        show("positive_mA", page.text("pos-current"))
        show("negative_mA", page.text("neg-current"))
        # A few samples more, for a line on the plot.
        seen = len(polls)
        page.wait(lambda: len(log_times(log, "REQA")) >= seen + 3, "three more polls")
        show("positive_plot_pixels", plot_pixels(driver, "--positive"))
        show("negative_plot_pixels", plot_pixels(driver, "--negative"))


def language(http_port, scpi_port, _log):
    def texts(page, prefix):
        body = page.driver.find_element(By.TAG_NAME, "body").text
        show(f"{prefix}_lang", page.driver.find_element(By.TAG_NAME, "html").get_attribute("lang"))
        show(f"{prefix}_heading", page.text("pos-title"))
        show(f"{prefix}_output", page.text("output-state"))
        show(f"{prefix}_japanese", len(JAPANESE.findall(body)))

    with Browser("en-US") as driver:
        page = Page(driver, http_port)
        texts(page, "english")
        show("english_connection", page.text("connection"))
        # The supply drops the line after a few polls.
        Scpi(scpi_port).query("OUTP ON;*OPC?")
        page.wait(lambda: page.text("connection") == "Not connected", "Not connected")
        show("english_away", page.text("connection"))
    with Browser("ja") as driver:
        page = Page(driver, http_port)
        texts(page, "japanese")
        show("japanese_away", page.text("connection"))
    with Browser("ja") as driver:
        texts(Page(driver, http_port, "?lang=en"), "chosen")


def refusal(http_port, scpi_port, _log):
    with Browser("en-US") as driver:
        page = Page(driver, http_port)
        show("refusal_role", page.get("refusal").get_attribute("role"))
        other = Scpi(scpi_port)
        # 1 V into 100 ohms is 10 mA, over a 5 mA limit.
        other.query("CURR:PROT 0.005;PROT:STAT ON;DEL 0;:OUTP ON;*OPC?")
        page.wait(lambda: "tripped" in page.get("trip").get_attribute("class").split(), "a trip")
        show("trip", page.text("trip"))
        show("limit", page.value("pos-limit"))
        show("watched", page.get("pos-watched").is_selected())
        page.get("output").click()
        show("refused_on", page.refusal())
        show("lamp_on", page.lamp_on())
        page.get("trip-clear").click()
        page.wait(lambda: page.text("trip") == "Not tripped", "the trip cleared")
        show("cleared", page.text("trip"))
        show("clear_shown", page.get("trip-clear").is_displayed())

        other.send("CURR:PROT:STAT OFF;:LIST:VOLT 2,3;DWEL 30,30;:INIT")
        page.wait(lambda: page.get("program").is_displayed(), "the program")
        show("step", page.text("program-step"))
        show("left", page.text("program-left"))
        page.choose("pos-voltage", "9")
        show("refused_voltage", page.refusal())
        page.wait(lambda: page.value("pos-voltage") == "2", "the list back at 2 V")
        show("list_after", page.value("pos-voltage"))
        page.get("program-stop").click()
        page.wait(lambda: not page.get("program").is_displayed(), "the program's end")
        page.wait(lambda: not page.lamp_on(), "the lamp off")
        show("stopped", page.text("program-none"))


def keyboard(http_port, scpi_port, _log):
    with Browser("ja") as driver:
        page = Page(driver, http_port)
        order = []
        while len(order) < 10 and (not order or order[-1] != "output"):
            driver.switch_to.active_element.send_keys(Keys.TAB)
            order.append(driver.switch_to.active_element.get_attribute("id"))
        show("order", ",".join(order))
        focused = driver.switch_to.active_element
        show("outline", f"{focused.value_of_css_property('outline-style')} "
                        f"{focused.value_of_css_property('outline-width')}")
        focused.send_keys(Keys.SPACE)
        page.wait(page.lamp_on, "the lamp on")
        show("space", page.text("output-state"))
        focused.send_keys(Keys.ENTER)
        page.wait(lambda: not page.lamp_on(), "the lamp off")
        show("enter", page.text("output-state"))
        page.get("neg-voltage").send_keys(Keys.ARROW_DOWN)
        page.wait(lambda: page.state()["rails"]["negative"]["voltage_V"] != -1, "a new voltage")
        show("arrow", page.state()["rails"]["negative"]["voltage_V"])


def phone(http_port, scpi_port, _log):
    with Browser("ja", width=390, height=844, phone=True) as driver:
        page = Page(driver, http_port)
        width = driver.execute_script("return document.documentElement.clientWidth")
        show("overflow", driver.execute_script(
            "return document.documentElement.scrollWidth") - width)
        positive = page.get("pos-title").rect
        negative = page.get("neg-title").rect
        show("stacked", negative["y"] > positive["y"] + positive["height"])
        button = page.get("output").rect
        show("button_inside", button["x"] + button["width"] <= width)


SCENARIOS = {scenario.__name__: scenario
             for scenario in (switch, live, language, refusal, keyboard, phone)}

if __name__ == "__main__":
    SCENARIOS[sys.argv[3]](int(sys.argv[1]), int(sys.argv[2]),
                           sys.argv[4] if len(sys.argv) > 4 else None)
