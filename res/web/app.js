"use strict";
const rails = { positive: "pos", negative: "neg" };
let state = null;

function fill(select, volts) {
  if (select.options.length) return;
  volts.forEach((v, i) => select.add(new Option(v + " V", String(v))));
}

function show(next) {
  state = next;
  for (const [rail, id] of Object.entries(rails)) {
    const select = document.getElementById(id + "-voltage");
    fill(select, next.steps[rail]);
    select.value = String(next.rails[rail].voltage_V);
    const current = next.rails[rail].current_mA;
    document.getElementById(id + "-current").textContent =
      current === null ? "-" : current.toFixed(1);
  }
  document.getElementById("lamp").classList.toggle("on", next.output);
  document.getElementById("connection").textContent = next.supply.up ? next.supply.port : "not connected";
}

async function change(method, path, body, type) {
  const answer = await fetch(path, { method, body, headers: { "Content-Type": type } });
  document.getElementById("refusal").textContent = answer.ok ? "" : await answer.text();
}

document.addEventListener("DOMContentLoaded", () => {
  document.getElementById("output").addEventListener("click", () =>
    change("PUT", "/api/output", state && state.output ? "0" : "1", "text/plain"));
  for (const [rail, id] of Object.entries(rails)) {
    document.getElementById(id + "-voltage").addEventListener("change", (event) =>
      change("PUT", "/api/voltages", JSON.stringify({ [rail + "_V"]: Number(event.target.value) }),
             "application/json"));
  }
  const events = new EventSource("/events");
  events.addEventListener("state", (event) => show(JSON.parse(event.data)));
});
