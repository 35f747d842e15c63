// The tape picture of a program shown inside: above, the whole program with the chosen stretch
// and the doubtful bytes marked; below, the bytes around the chosen ones, each as long as it
// lasts on tape, with its value, over the signal where the page made it.
'use strict';

self.zxInsideTape = (function () {
  const $ = (id) => document.getElementById(id);

  // Bytes shown around the chosen ones in the lower half, at most.
  const NEAR_BYTES = 24;

  const hex2 = (value) => value.toString(16).toUpperCase().padStart(2, '0');

  // The page's colours, as its style sheet sets them.
  const css = getComputedStyle(document.documentElement);
  const COLOURS = Object.fromEntries(['data', 'chosen', 'accent', 'line', 'ink', 'lead']
    .map((name) => [name, css.getPropertyValue('--' + name).trim()]));

  const startOf = (v, k) => (k < v.times.length ? v.times[k] : v.end);

  // The bytes shown in the lower half, around the first chosen one: as many as leave room for
  // their values, NEAR_BYTES at most.
  function nearBytes(v) {
    const count = Math.max(4, Math.min(NEAR_BYTES, Math.floor($('inside-tape').clientWidth / 36)));
    const first = Math.max(0, Math.min(v.chosen.begin - (count >> 1), v.image.length - count));
    return { first, last: Math.min(v.image.length, first + count) };
  }

  // Draws the program `v` (see zxInside's view) on the tape picture.
  function draw(v) {
    const canvas = $('inside-tape');
    const g = fitCanvas(canvas);
    const w = canvas.width;
    const half = canvas.height / 2;
    g.clearRect(0, 0, w, canvas.height);
    if (!v || v.image.length === 0 || v.times.length === 0) return;
    const begin = v.times[0];
    const span = Math.max(1e-9, v.end - begin);
    const x = (t) => ((t - begin) / span) * w;
    // Above: the whole program, the chosen stretch and the doubtful bytes marked.
    g.fillStyle = COLOURS.data;
    g.fillRect(0, half * 0.35, w, half * 0.3);
    g.fillStyle = COLOURS.chosen;
    const from = x(startOf(v, v.chosen.begin));
    g.fillRect(from, 0, Math.max(2, x(startOf(v, v.chosen.end)) - from), half - 2);
    g.fillStyle = COLOURS.accent;
    for (const k of v.doubtful) g.fillRect(x(startOf(v, k)), 0, Math.max(2, devicePixelRatio), half - 2);
    // Below: the bytes around the chosen ones, each as long as it lasts on tape, with its value.
    const near = nearBytes(v);
    const t0 = startOf(v, near.first);
    const t1 = startOf(v, near.last);
    const nx = (t) => ((t - t0) / Math.max(1e-9, t1 - t0)) * w;
    if (v.samples) {
      drawSignal(g, v, t0, t1, half, w);
    } else if (v.stretch && v.stretch.from === t0 && v.stretch.to === t1) {
      drawRecorded(g, v.stretch, half, w);
    } else if (v.signal) {
      // A read program's recording: the stretch is asked for, and drawn when it comes.
      const asked = { from: t0, to: t1 };
      v.asked = asked;
      v.signal(t0, t1).then((stretch) => {
        if (v.asked !== asked || !stretch) return;
        v.stretch = Object.assign(stretch, asked);
        draw(v);
      }).catch(() => {});
    }
    g.font = Math.round(11 * devicePixelRatio) + 'px monospace';
    g.textAlign = 'center';
    g.textBaseline = 'middle';
    for (let k = near.first; k < near.last; k++) {
      const a = nx(startOf(v, k));
      const b = nx(startOf(v, k + 1));
      const chosen = k >= v.chosen.begin && k < v.chosen.end;
      g.fillStyle = v.doubtful.has(k) ? COLOURS.accent : chosen ? COLOURS.chosen : 'transparent';
      g.globalAlpha = 0.35;
      g.fillRect(a, half + 2, b - a, half - 4);
      g.globalAlpha = 1;
      g.strokeStyle = COLOURS.line;
      g.strokeRect(a, half + 2, b - a, half - 4);
      // The value on a plate of its own, readable over the pulses.
      const label = hex2(v.image[k]);
      const plate = g.measureText(label).width + 6 * devicePixelRatio;
      g.fillStyle = 'rgba(251, 250, 247, 0.92)';
      g.fillRect((a + b) / 2 - plate / 2, half + half / 2 - 8 * devicePixelRatio, plate,
        16 * devicePixelRatio);
      g.fillStyle = COLOURS.ink;
      g.fillText(label, (a + b) / 2, half + half / 2);
    }
  }

  // The converted signal itself under the bytes around the chosen ones.
  function drawSignal(g, v, t0, t1, half, w) {
    const first = Math.floor(t0 * v.rate);
    const last = Math.ceil(t1 * v.rate);
    g.strokeStyle = COLOURS.lead;
    g.globalAlpha = 0.6;
    g.beginPath();
    for (let i = first; i < last; i++) {
      const y = half + 4 + (1 - v.samples[i] / (2 * v.middle - 1)) * (half - 8);
      const px = ((i - first) / Math.max(1, last - first)) * w;
      if (i === first) g.moveTo(px, y); else g.lineTo(px, y);
    }
    g.stroke();
    g.globalAlpha = 1;
  }

  // A read program's recorded signal (samples in -1..1) under the bytes around the chosen ones.
  function drawRecorded(g, stretch, half, w) {
    const samples = stretch.samples;
    g.strokeStyle = COLOURS.lead;
    g.globalAlpha = 0.6;
    g.beginPath();
    samples.forEach((s, i) => {
      const y = half + 4 + ((1 - Math.max(-1, Math.min(1, s))) / 2) * (half - 8);
      const px = (i / Math.max(1, samples.length - 1)) * w;
      if (i === 0) g.moveTo(px, y); else g.lineTo(px, y);
    });
    g.stroke();
    g.globalAlpha = 1;
    // How many recorded samples are drawn, for anyone scripting the page.
    $('inside-tape').dataset.signal = String(samples.length);
  }

  // The byte at a place on the tape picture.
  function byteAt(v, event) {
    const canvas = $('inside-tape');
    const box = canvas.getBoundingClientRect();
    const fraction = (event.clientX - box.left) / box.width;
    let t;
    if (event.clientY - box.top < box.height / 2) {
      t = v.times[0] + fraction * (v.end - v.times[0]);
    } else {
      const near = nearBytes(v);
      t = startOf(v, near.first) + fraction * (startOf(v, near.last) - startOf(v, near.first));
    }
    let low = 0;
    let high = v.times.length - 1;
    while (low < high) {
      const mid = (low + high + 1) >> 1;
      if (v.times[mid] <= t) low = mid; else high = mid - 1;
    }
    return low;
  }

  return { draw, byteAt };
})();
