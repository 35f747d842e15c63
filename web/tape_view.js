// Pictures of the tape the converter wrote: the signal around the play position, and the whole
// tape at a glance, coloured by what each stretch holds (lead-in and lead-out, name, program).
'use strict';

self.zxTapeView = (function () {
  const $ = (id) => document.getElementById(id);

  const style = getComputedStyle(document.documentElement);
  const COLOURS = {
    lead: style.getPropertyValue('--lead').trim(),
    name: style.getPropertyValue('--name').trim(),
    data: style.getPropertyValue('--data').trim(),
    sound: style.getPropertyValue('--sound').trim(),
  };

  let overviewImage = null;  // the whole tape, drawn once, under the play position

  // The part of a tape of several parts that holds sample `i`, or null.
  function partAt(t, i) {
    let low = 0;
    let high = t.parts.length - 1;
    while (low <= high) {
      const mid = (low + high) >> 1;
      if (i < t.parts[mid].from) high = mid - 1;
      else if (i >= t.parts[mid].to) low = mid + 1;
      else return t.parts[mid];
    }
    return null;
  }

  function colourAt(t, i) {
    if (t.parts) {
      const part = partAt(t, i);
      if (!part || part.kind === 'pause') return COLOURS.lead;
      if (part.kind === 'sound') return COLOURS.sound;
      return i < part.nameTo ? COLOURS.name : COLOURS.data;
    }
    if (i < t.leadInEnd || i >= t.leadOutStart) return COLOURS.lead;
    if (i < t.programStart) return COLOURS.name;
    return COLOURS.data;
  }

  // `span` samples of the tape `t` around `position`, as the signal's line.
  function drawWave(t, position, span) {
    const canvas = $('wave');
    const g = fitCanvas(canvas);
    g.clearRect(0, 0, canvas.width, canvas.height);
    if (!t) return;
    const first = position - span / 2;
    const top = 2 * t.middle - 1;  // the highest level a sample has
    const y = (s) => (1 - s / top) * (canvas.height - 8) + 4;
    g.lineWidth = Math.max(1, devicePixelRatio);
    g.strokeStyle = colourAt(t, Math.max(0, position));
    g.beginPath();
    for (let k = 0; k < span; k++) {
      const i = first + k;
      const s = i >= 0 && i < t.samples.length ? t.samples[i] : t.middle;
      const x0 = (k / span) * canvas.width;
      const x1 = ((k + 1) / span) * canvas.width;
      if (k === 0) g.moveTo(x0, y(s)); else g.lineTo(x0, y(s));
      g.lineTo(x1, y(s));
    }
    g.stroke();
    g.fillStyle = 'rgba(179, 38, 30, 0.8)';
    g.fillRect(canvas.width / 2, 0, Math.max(1, devicePixelRatio), canvas.height);
  }

  // The whole tape, one column of pixels per stretch of samples, coloured by what it holds.
  function drawOverview(t) {
    const canvas = $('overview');
    const g = fitCanvas(canvas);
    g.clearRect(0, 0, canvas.width, canvas.height);
    overviewImage = null;
    if (!t) return;
    const n = t.samples.length;
    const columns = canvas.width;
    const middle = canvas.height / 2;
    for (let c = 0; c < columns; c++) {
      const from = Math.floor((c * n) / columns);
      const to = Math.max(from + 1, Math.floor(((c + 1) * n) / columns));
      let low = t.middle;
      let high = t.middle;
      // Every second sample is enough: a pulse lasts three samples or more.
      for (let i = from; i < to && i < n; i += 2) {
        const s = t.samples[i];
        if (s < low) low = s;
        if (s > high) high = s;
      }
      g.fillStyle = colourAt(t, Math.floor((from + to) / 2));
      const top = middle - ((high - t.middle) / t.middle) * (middle - 2);
      const bottom = middle - ((low - t.middle) / t.middle) * (middle - 2);
      g.fillRect(c, top, 1, Math.max(1, bottom - top));
    }
    overviewImage = g.getImageData(0, 0, canvas.width, canvas.height);
  }

  function drawOverviewPosition(t, position) {
    const canvas = $('overview');
    if (!overviewImage || !t) return;
    const g = canvas.getContext('2d');
    g.putImageData(overviewImage, 0, 0);
    const x = (position / Math.max(1, t.samples.length)) * canvas.width;
    g.fillStyle = 'rgba(179, 38, 30, 0.9)';
    g.fillRect(x, 0, Math.max(2, devicePixelRatio), canvas.height);
  }

  return { drawWave, drawOverview, drawOverviewPosition };
})();
