"use strict";
// The page: shows the state the server streams, and sends what its user changes. The server
// carries each change out as any SCPI client's, and says why when it refuses one; the page
// shows that, and the stream shows what came of it.

const english = document.documentElement.lang === "en";
const railIds = { positive: "pos", negative: "neg" };
// The program's time left counts down, and the plot moves on, between states.
const tickMs = 1000;
const refusalLeads = { 409: "refusedNow", 400: "refusedValue", 503: "refusedSupply" };

const byId = (id) => document.getElementById(id);
let shown = null;
let shownAt = 0;
let shownProtection = "";
// Lists whose choice is on its way: a state from before it must not undo it on the screen.
const choosing = new Set();
let plot = null;
let drawQueued = false;

// A text in the page's language, with %1, %2… filled in as Qt's arg() does.
function tr(key, ...values) {
  const source = pageTexts[key];
  const text = english ? englishTexts[source] || source : source;
  return text.replace(/%(\d)/g, (mark, number) => String(values[Number(number) - 1]));
}

function voltsText(volts) {
  return `${volts}V`;
}

function say(text) {
  byId("refusal").textContent = text;
}

// Sends a change; false when it was refused or did not arrive, which the page then says.
async function change(method, path, body, type) {
  let answer;
  try {
    answer = await fetch(path, {
      method,
      body,
      headers: type ? { "Content-Type": type } : {},
    });
  } catch (error) {
    say(tr("unreachable"));
    return false;
  }
  if (answer.ok) {
    say("");
    return true;
  }
  say(`${tr(refusalLeads[answer.status] || "refused")}: ${await answer.text()}`);
  return false;
}

function fillList(select, steps) {
  if (select.options.length === 0) {
    for (const volts of steps) {
      select.add(new Option(voltsText(volts), String(volts)));
    }
  }
}

function showRails(state) {
  for (const [rail, id] of Object.entries(railIds)) {
    const select = byId(`${id}-voltage`);
    fillList(select, state.steps[rail]);
    if (!choosing.has(select)) {
      select.value = String(state.rails[rail].voltage_V);
    }
    const current = state.rails[rail].current_mA;
    byId(`${id}-current`).textContent = current === null ? "-" : current.toFixed(1);
  }
}

function showConnection(supply) {
  let text = tr("notConnected");
  if (supply.up) {
    text = supply.silent ? tr("silent", supply.port) : supply.port;
  }
  byId("connection").textContent = text;
  byId("model").textContent = supply.up ? `${supply.model} ${supply.version}` : "";
}

function showOutput(on) {
  byId("lamp").classList.toggle("on", on);
  byId("output-state").textContent = tr(on ? "on" : "off");
  byId("output").setAttribute("aria-pressed", String(on));
}

function showProgram(program) {
  byId("program").hidden = program === null;
  byId("program-none").hidden = program !== null;
  if (program !== null) {
    byId("program-step").textContent = tr("step", program.step, program.steps);
  }
  showTimeLeft();
}

function showTimeLeft() {
  const program = shown && shown.program;
  if (!program) {
    return;
  }
  if (program.left_s === null) {
    byId("program-left").textContent = tr("endless");
    return;
  }
  const left = Math.max(0, Math.round(program.left_s - (Date.now() - shownAt) / 1000));
  const seconds = String(left % 60).padStart(2, "0");
  byId("program-left").textContent = tr("left", Math.floor(left / 60), seconds);
}

function showTrip(trip) {
  const line = byId("trip");
  line.classList.toggle("tripped", trip !== null);
  byId("trip-clear").hidden = trip === null;
  if (trip === null) {
    line.textContent = tr("notTripped");
    return;
  }
  const rail = tr(trip.rail === "positive" ? "positiveRail" : "negativeRail");
  // "2026-12-08T14:03:07.250+09:00" is the server's local time: shown as it stands.
  const time = trip.time.slice(0, 19).replace("T", " ");
  line.textContent = tr("tripped", tr("trip", rail, trip.reading_mA, trip.limit_mA, time));
}

// The settings only when they changed, so that a current's update leaves an edit alone.
function showProtection(state) {
  const settings = JSON.stringify([
    state.rails.positive.protection,
    state.rails.negative.protection,
    state.protection.delay_s,
  ]);
  if (settings === shownProtection) {
    return;
  }
  shownProtection = settings;
  for (const [rail, id] of Object.entries(railIds)) {
    byId(`${id}-watched`).checked = state.rails[rail].protection.on;
    byId(`${id}-limit`).value = String(state.rails[rail].protection.limit_mA);
  }
  byId("delay").value = String(state.protection.delay_s);
}

function queueDraw() {
  if (!drawQueued) {
    drawQueued = true;
    requestAnimationFrame(() => {
      drawQueued = false;
      plot.draw(Date.now());
    });
  }
}

function show(state) {
  shown = state;
  shownAt = Date.now();
  showConnection(state.supply);
  showRails(state);
  showOutput(state.output);
  showProgram(state.program);
  showTrip(state.protection.trip);
  showProtection(state);
  plot.add(shownAt, state.rails.positive.current_mA, state.rails.negative.current_mA);
  queueDraw();
}

async function chooseVoltage(rail, select) {
  choosing.add(select);
  const taken = await change(
    "PUT",
    "/api/voltages",
    JSON.stringify({ [`${rail}_V`]: Number(select.value) }),
    "application/json"
  );
  choosing.delete(select);
  if (!taken && shown) {
    select.value = String(shown.rails[rail].voltage_V);
  }
}

function protectionRequest() {
  const rail = (id) => ({
    on: byId(`${id}-watched`).checked,
    limit_mA: Number(byId(`${id}-limit`).value),
  });
  return JSON.stringify({
    positive: rail("pos"),
    negative: rail("neg"),
    delay_s: Number(byId("delay").value),
  });
}

document.addEventListener("DOMContentLoaded", () => {
  for (const element of document.querySelectorAll("[data-text]")) {
    element.textContent = tr(element.dataset.text);
  }
  plot = new CurrentPlot(byId("plot"), tr("currentAxis"), (minutes) => tr("minutes", minutes));
  byId("output").addEventListener("click", () => {
    if (shown) {
      change("PUT", "/api/output", shown.output ? "0" : "1", "text/plain");
    }
  });
  for (const [rail, id] of Object.entries(railIds)) {
    const select = byId(`${id}-voltage`);
    select.addEventListener("change", () => chooseVoltage(rail, select));
  }
  byId("program-stop").addEventListener("click", () => change("DELETE", "/api/program"));
  byId("trip-clear").addEventListener("click", () => change("DELETE", "/api/trip"));
  byId("protection").addEventListener("submit", (event) => {
    event.preventDefault();
    change("PUT", "/api/protection", protectionRequest(), "application/json");
  });
  window.addEventListener("resize", queueDraw);
  setInterval(() => {
    showTimeLeft();
    queueDraw();
  }, tickMs);
  queueDraw();

  const events = new EventSource("/events");
  events.addEventListener("state", (event) => show(JSON.parse(event.data)));
  events.addEventListener("error", () => {
    byId("connection").textContent = tr("serverLost");
  });
});
