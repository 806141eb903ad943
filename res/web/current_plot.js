"use strict";
// Both rails' currents over the last minutes, drawn on a canvas from the states the event
// stream brings: a viewer asks the server for nothing more than the page does already.

const plotSpanMinutes = 5;
const plotSpanMs = plotSpanMinutes * 60 * 1000;
// An idle supply still gets a scale that reads well.
const plotSmallestTopMa = 10;
const plotHeadroom = 1.1;
const plotTargetTicks = 4;
const plotRails = ["positive", "negative"];

// The smallest of 1, 2 and 5 times a power of ten that is at least `rough`.
function plotStep(rough) {
  const power = 10 ** Math.floor(Math.log10(rough));
  return [1, 2, 5, 10].map((factor) => factor * power).find((step) => step >= rough);
}

class CurrentPlot {
  // `axisLabel` names the current axis; `minutesLabel(n)` writes a mark n minutes from now.
  constructor(canvas, axisLabel, minutesLabel) {
    this.canvas = canvas;
    this.axisLabel = axisLabel;
    this.minutesLabel = minutesLabel;
    this.samples = [];
  }

  // The rails' currents in mA at `time` (ms since the epoch), null for a rail without one, as
  // while the output is off. Each holds until the next: a state is sent only when it changes.
  add(time, positive, negative) {
    this.samples.push({ time, positive, negative });
    // One sample older than the span stays, so that a line enters from the left edge.
    const start = time - plotSpanMs;
    let old = 0;
    while (old + 1 < this.samples.length && this.samples[old + 1].time <= start) {
      old += 1;
    }
    this.samples.splice(0, old);
  }

  draw(now) {
    const canvas = this.canvas;
    const width = canvas.clientWidth;
    const height = canvas.clientHeight;
    const ratio = window.devicePixelRatio || 1;
    if (canvas.width !== Math.round(width * ratio) || canvas.height !== Math.round(height * ratio)) {
      canvas.width = Math.round(width * ratio);
      canvas.height = Math.round(height * ratio);
    }
    const style = getComputedStyle(canvas);
    const colour = (name) => style.getPropertyValue(name).trim();
    const g = canvas.getContext("2d");
    g.setTransform(ratio, 0, 0, ratio, 0, 0);
    g.clearRect(0, 0, width, height);
    g.font = `${style.fontSize} ${style.fontFamily}`;
    const lineHeight = parseFloat(style.fontSize) * 1.3;

    const highest = Math.max(0, ...this.samples.flatMap((s) => plotRails.map((r) => s[r] ?? 0)));
    const step = plotStep(Math.max(plotSmallestTopMa, highest * plotHeadroom) / plotTargetTicks);
    const top = step * Math.ceil(Math.max(plotSmallestTopMa, highest * plotHeadroom) / step);
    const left = lineHeight * 1.5 + g.measureText(String(top)).width;
    const right = width - Math.max(lineHeight, g.measureText(this.minutesLabel(0)).width / 2 + 2);
    const upper = lineHeight * 0.5;
    const lower = height - lineHeight * 1.5;
    const x = (time) => right - ((now - time) / plotSpanMs) * (right - left);
    const y = (ma) => lower - (ma / top) * (lower - upper);

    g.lineWidth = 1;
    g.strokeStyle = colour("--grid");
    g.fillStyle = colour("--muted");
    g.textBaseline = "middle";
    g.textAlign = "right";
    for (let ma = 0; ma <= top + step / 2; ma += step) {
      this.line(g, left, y(ma), right, y(ma));
      g.fillText(String(Math.round(ma * 1000) / 1000), left - lineHeight * 0.3, y(ma));
    }
    g.textBaseline = "top";
    g.textAlign = "center";
    // A line each minute; on a narrow plot, a mark on every second or third.
    const widest = g.measureText(this.minutesLabel(-plotSpanMinutes)).width + lineHeight;
    const marksEvery = Math.ceil(widest / ((right - left) / plotSpanMinutes));
    for (let minutes = 0; minutes <= plotSpanMinutes; minutes += 1) {
      const at = x(now - minutes * 60 * 1000);
      this.line(g, at, upper, at, lower);
      if (minutes % marksEvery === 0) {
        g.fillText(this.minutesLabel(-minutes), at, lower + lineHeight * 0.25);
      }
    }
    g.save();
    g.translate(lineHeight * 0.5, (upper + lower) / 2);
    g.rotate(-Math.PI / 2);
    g.fillText(this.axisLabel, 0, -lineHeight * 0.4);
    g.restore();

    g.save();
    g.beginPath();
    g.rect(left, 0, right - left, height);
    g.clip();
    g.lineWidth = 2;
    for (const rail of plotRails) {
      g.strokeStyle = colour(`--${rail}`);
      this.trace(g, rail, now, x, y);
    }
    g.restore();
  }

  line(g, x0, y0, x1, y1) {
    g.beginPath();
    g.moveTo(x0, y0);
    g.lineTo(x1, y1);
    g.stroke();
  }

  // Steps from sample to sample, broken where the rail had no current, up to now.
  trace(g, rail, now, x, y) {
    g.beginPath();
    let previous = null;
    for (const sample of this.samples) {
      const ma = sample[rail];
      if (previous !== null) {
        g.lineTo(x(sample.time), y(previous));
      }
      if (ma === null || ma === undefined) {
        previous = null;
        continue;
      }
      if (previous === null) {
        g.moveTo(x(sample.time), y(ma));
      } else {
        g.lineTo(x(sample.time), y(ma));
      }
      previous = ma;
    }
    if (previous !== null) {
      g.lineTo(x(now), y(previous));
    }
    g.stroke();
  }
}
