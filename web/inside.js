// What a program holds, shown three ways and linked: its listing, its bytes and its stretch of
// tape. Choosing a line, a byte or a place on the tape chooses the same bytes in all three.
// Doubtful bytes are marked in all three, and each can be settled by hand: the page offers the
// values its doubtful bits allow, shows what each makes of the listing and of the checks, and
// downloads the program as settled, with the choices in its report. The listing and the checks
// come from zx8xread compiled to WebAssembly (the `lister`), so no rule is written here.
'use strict';

self.zxInside = (function () {
  const $ = (id) => document.getElementById(id);

  let view = null;  // what is shown: see show()

  const hex2 = (value) => value.toString(16).toUpperCase().padStart(2, '0');

  const listingOf = (v, image) => zxWasm.listing(v.lister, image, v.machine);
  const checksOf = (v, image) => zxWasm.checks(v.lister, image, v.machine);
  const choicesFor = (v, d) => zxWasm.choices(v.lister, v.image, v.machine, d);

  // The text of a listed line or variable, each character in its own span only where it must
  // be marked: inverse video, or shown from a doubtful byte.
  function textNodes(text, doubtful) {
    const nodes = [];
    let k = 0;
    for (const [run, inverse] of text.runs) {
      for (const glyph of Array.from(run)) {
        const doubt = doubtful.has(text.src[k++]);
        const last = nodes[nodes.length - 1];
        const kind = (inverse ? 'inv' : '') + (doubt ? ' doubt' : '');
        if (last && last.kind === kind) {
          last.text += glyph;
        } else {
          nodes.push({ kind, text: glyph });
        }
      }
    }
    return nodes.map(({ kind, text: t }) => {
      if (kind === '') return document.createTextNode(t);
      const span = document.createElement(kind.includes('doubt') ? 'mark' : 'span');
      span.className = kind.trim();
      span.textContent = t;
      return span;
    });
  }

  function row(className, begin, end, children) {
    const div = document.createElement('div');
    div.id = 'row-' + rowCount++;
    div.className = className;
    div.dataset.begin = String(begin);
    div.dataset.end = String(end);
    div.setAttribute('role', 'option');
    div.tabIndex = -1;
    div.append(...children);
    return div;
  }

  let rowCount = 0;  // rows made, for their ids

  function showListing() {
    const v = view;
    const listing = v.listing;
    const rows = [];
    for (const [name, text, begin, end] of listing.system) {
      rows.push(row('system', begin, end, [name.padEnd(8) + text]));
    }
    for (const line of listing.lines) {
      const children = [line.number + ' ', ...textNodes(line.text, v.doubtful)];
      if (line.code[1] > line.code[0]) {
        const note = document.createElement('span');
        note.className = 'note';
        note.textContent = '  (machine code: ' + (line.code[1] - line.code[0]) + ' bytes)';
        children.push(note);
      }
      rows.push(row('line', line.begin, line.end, children));
    }
    // A ZX81's display file, row by row, so that each of its bytes belongs to a row.
    (listing.display || []).forEach((shown, k) => {
      rows.push(row('display', shown.begin, shown.end,
        ['row ' + String(k + 1).padStart(2) + '  ', ...textNodes(shown.text, v.doubtful)]));
    });
    for (const variable of listing.variables) {
      const children = textNodes(variable.text, v.doubtful);
      if (variable.note) children.push('  ' + variable.note);
      rows.push(row('variable', variable.begin, variable.end, children));
    }
    const problems = listing.problems.concat(...listing.lines.map((l) => l.problems),
      ...listing.variables.map((x) => x.problems));
    for (const [offset, text] of problems) {
      rows.push(row('problem', offset, offset + 1, ['at byte ' + offset + ': ' + text]));
    }
    $('listing').replaceChildren(...rows);
  }

  // The bytes sixteen to a row, made as markup (only digits and the page's own names in it), the
  // first rows at once and the rest a piece at a time, so that a 64K image shows without a wait.
  const HEX_ROWS_AT_ONCE = 128;
  const HEX_ROWS_LATER = 256;

  // Adds the rows of the hex view up to row `last` (not included).
  function addHexRows(v, last) {
    const hex = $('hex');
    const rows = [];
    const first = hex.children.length;
    const end = Math.min(last, Math.ceil(v.image.length / 16));
    for (let r = first; r < end; r++) {
      let row = '<div>' + String(16 * r).padStart(5, ' ') + ' ';
      for (let k = 16 * r; k < Math.min(16 * r + 16, v.image.length); k++) {
        const classes = (v.doubtful.has(k) ? 'doubt ' : '') +
          (k >= v.chosen.begin && k < v.chosen.end ? 'chosen' : '');
        row += ' <span data-offset="' + k + '"' + (classes ? ' class="' + classes.trim() + '"' : '') +
          '>' + hex2(v.image[k]) + '</span>';
      }
      rows.push(row + '</div>');
    }
    if (rows.length) hex.insertAdjacentHTML('beforeend', rows.join(''));
  }

  function showHex() {
    const v = view;
    $('hex').replaceChildren();
    addHexRows(v, HEX_ROWS_AT_ONCE);
    const more = () => {
      if (view !== v || $('hex').children.length >= Math.ceil(v.image.length / 16)) return;
      addHexRows(v, $('hex').children.length + HEX_ROWS_LATER);
      setTimeout(more, 0);
    };
    setTimeout(more, 0);
  }

  // The span of byte k in the hex view (each row holds sixteen, as its only elements), made now
  // if its row is still to come.
  function byteSpan(k) {
    if ((k >> 4) >= $('hex').children.length) addHexRows(view, (k >> 4) + 1);
    return $('hex').children[k >> 4].children[k & 15];
  }

  function showChecks() {
    const v = view;
    const failed = checksOf(v, v.image);
    const open = [...v.doubtful].filter((k) => !v.choices.has(k)).length;
    const say = failed.length ? 'Checks failed: ' + failed.join(', ') + '.' : 'All checks pass.';
    const repairs = v.report && v.report.bit_slips && v.report.bit_slips.length > 0;
    $('inside-checks').textContent = say + (v.doubtful.size === 0 ? ''
      : open === 0 ? ' Every doubtful byte is settled.' : ' ' + open + ' doubtful ' +
        (open === 1 ? 'byte is' : 'bytes are') + ' not settled yet.') +
      (failed.length && repairs && !v.repair ? ' A bit lost or gained on tape would explain ' +
        'it: the repairs are offered below.' : '');
    $('inside-checks').dataset.failed = String(failed.length);
    v.failed = failed;
  }

  // --- The tape --------------------------------------------------------------------------------

  // Where byte k starts on tape, and where the program's tape ends, in seconds.
  // --- Choosing --------------------------------------------------------------------------------

  // Chooses bytes [begin, end) in all three views; `from` is the view chosen in, which keeps its
  // scroll position.
  function choose(begin, end, from) {
    const v = view;
    v.chosen = { begin, end: Math.max(begin + 1, end) };
    for (const old of document.querySelectorAll('#listing .chosen, #hex .chosen')) {
      old.classList.remove('chosen');
      old.removeAttribute('aria-selected');
    }
    let first = null;
    for (const r of $('listing').children) {
      const b = Number(r.dataset.begin);
      const e = Number(r.dataset.end);
      if (r.className.includes('problem')) continue;
      if (b < v.chosen.end && e > v.chosen.begin) {
        r.classList.add('chosen');
        r.setAttribute('aria-selected', 'true');
        first = first || r;
      }
    }
    for (let k = v.chosen.begin; k < Math.min(v.chosen.end, v.image.length); k++) {
      byteSpan(k).classList.add('chosen');
    }
    if (first) $('listing').setAttribute('aria-activedescendant', first.id);
    else $('listing').removeAttribute('aria-activedescendant');
    sayChosen(first);
    if (from !== 'listing' && first) scrollWithin($('listing'), first);
    if (from !== 'hex' && v.chosen.begin < v.image.length) {
      scrollWithin($('hex'), byteSpan(v.chosen.begin).parentElement);
    }
    $('inside').dataset.chosen = v.chosen.begin + '-' + v.chosen.end;
    zxInsideTape.draw(v);
  }

  // Says what is chosen, for those who cannot see the three views: the bytes, their values and
  // the row of the listing they belong to.
  function sayChosen(row) {
    const v = view;
    const { begin, end } = v.chosen;
    const last = Math.min(end, v.image.length) - 1;
    const values = Array.from(v.image.subarray(begin, Math.min(last + 1, begin + 4)), hex2).join(' ');
    $('inside-chosen').textContent = (last > begin ? 'Bytes ' + begin + ' to ' + last : 'Byte ' + begin) +
      ': ' + values + (last - begin >= 4 ? ' …' : '') +
      (row ? '. ' + row.textContent.replace(/\s+/g, ' ').trim() : '');
  }

  // Arrows, Page Up and Down, Home and End move the chosen byte in the bytes and on the tape.
  function moveChoice(e) {
    const steps = { ArrowLeft: -1, ArrowRight: 1, ArrowUp: -16, ArrowDown: 16, PageUp: -256,
      PageDown: 256, Home: -Infinity, End: Infinity };
    if (!view || !(e.key in steps) || view.image.length === 0) return;
    e.preventDefault();
    const k = Math.max(0, Math.min(view.image.length - 1, view.chosen.begin + steps[e.key]));
    choose(k, k + 1, 'keys');
  }

  // Scrolls a box (not the page) so that `item` shows; the box is positioned, so an item's
  // offsetTop is measured from the box.
  function scrollWithin(box, item) {
    const top = item.offsetTop;
    if (top < box.scrollTop || top + item.offsetHeight > box.scrollTop + box.clientHeight) {
      box.scrollTop = Math.max(0, top - box.clientHeight / 3);
    }
  }

  // --- Settling doubtful bytes -----------------------------------------------------------------

  // Each doubtful byte as an item that opens to the values it may have. Those are worked out
  // when it is first opened (each is the program listed and checked once more), so that a tape
  // with many doubtful bytes shows at once. The first one starts open.
  function showDoubts() {
    const v = view;
    const items = v.doubts.map((d, k) => {
      const li = document.createElement('li');
      li.dataset.offset = String(d.offset);
      const details = document.createElement('details');
      const head = document.createElement('summary');
      head.className = 'doubt-head';
      head.textContent = 'Byte ' + d.offset + (d.time !== undefined ? ' at ' + d.time.toFixed(3) + ' s' : '') +
        ': read as ' + hex2(d.value) + ', ' + (d.margin < 0.05 ? 'no clearer than its other values'
          : 'its doubtful bits ' + Math.round(d.margin * 100) + ' % of the way to certain');
      const choices = document.createElement('div');
      choices.className = 'choices';
      details.addEventListener('toggle', () => {
        if (!details.open) return;
        choose(d.offset, d.offset + 1, 'doubts');
        if (choices.children.length === 0) showChoices(d, choices);
      });
      details.append(head, choices);
      if (k === 0) {
        showChoices(d, choices);
        details.open = true;
      }
      li.append(details);
      return li;
    });
    const repairs = showRepairs();
    if (repairs) items.unshift(repairs);
    $('doubt-list').replaceChildren(...items);
    $('doubts').hidden = items.length === 0;
  }

  // The repairs of a bit lost or gained that the reader found: a dropout can swallow a whole
  // bit, and then every byte after it is wrong though few look doubtful. Each repair is a choice,
  // with what it makes of the program; "as read" undoes it.
  function showRepairs() {
    const v = view;
    const slips = (v.report && v.report.bit_slips) || [];
    if (slips.length === 0) return null;
    const li = document.createElement('li');
    li.className = 'repairs';
    const details = document.createElement('details');
    details.open = true;
    const head = document.createElement('summary');
    head.className = 'doubt-head';
    head.textContent = 'A bit lost or gained near byte ' + slips[0].offset +
      ' would explain the failed checks';
    const box = document.createElement('div');
    box.className = 'choices';
    const options = [null, ...zxWasm.slipChoices(v.lister, v.readImage, v.machine, slips)];
    for (const choice of options) {
      const label = document.createElement('label');
      const radio = document.createElement('input');
      radio.type = 'radio';
      radio.name = 'repair';
      radio.value = choice ? choice.bit + ' ' + choice.text : 'as read';
      radio.checked = v.repair === choice;
      radio.addEventListener('change', () => repair(choice));
      const what = document.createElement('span');
      what.className = 'choice';
      what.textContent = choice ? choice.text + ' at byte ' + (choice.bit >> 3) + ', bit ' +
        (7 - (choice.bit & 7)) + '  ' + choice.item : 'as read';
      const checks = document.createElement('span');
      const failed = choice ? choice.failed : v.readFailed;
      checks.className = failed.length ? 'fails' : 'passes';
      checks.textContent = failed.length ? 'fails: ' + failed.join(', ') : 'checks pass';
      label.append(radio, what, ' ', checks);
      box.append(label);
    }
    details.append(head, box);
    li.append(details);
    return li;
  }

  // Puts the repair chosen (null for none) into the program shown; bytes settled before are
  // settled again on the repaired program.
  function repair(choice) {
    const v = view;
    v.repair = choice;
    v.image = choice ? Uint8Array.from(choice.image.match(/../g), (h) => parseInt(h, 16))
      : v.readImage.slice();
    for (const [offset, value] of v.choices) if (offset < v.image.length) v.image[offset] = value;
    v.listing = listingOf(v, v.image);
    showListing();
    showHex();
    showChecks();
    showDownloads();
    const at = choice ? choice.bit >> 3 : v.chosen.begin;
    choose(at, at + 1, 'doubts');
  }

  function showChoices(d, box) {
    const v = view;
    const chosenValue = v.choices.has(d.offset) ? v.choices.get(d.offset) : null;
    const all = choicesFor(v, d);
    const asRead = all.find((c) => c.value === d.value);
    for (const choice of all) {
      const label = document.createElement('label');
      const radio = document.createElement('input');
      radio.type = 'radio';
      radio.name = 'doubt-' + d.offset;
      radio.value = String(choice.value);
      radio.checked = chosenValue === choice.value;
      radio.addEventListener('change', () => settle(d, choice.value));
      const what = document.createElement('span');
      what.className = 'choice';
      what.append(hex2(choice.value) + (choice.value === d.value ? ' (as read)' : '') + '  ',
        ...marked(choice.item, asRead ? asRead.item : choice.item));
      const checks = document.createElement('span');
      checks.className = choice.failed.length ? 'fails' : 'passes';
      checks.textContent = choice.failed.length ? 'fails: ' + choice.failed.join(', ') : 'checks pass';
      label.append(radio, what, ' ', checks);
      box.append(label);
    }
  }

  // `text` with what differs from `other` marked: a choice's line shows what the value changes.
  function marked(text, other) {
    if (text === other) return [text];
    let start = 0;
    while (start < text.length && text[start] === other[start]) start++;
    let end = 0;
    while (end < text.length - start && end < other.length - start &&
           text[text.length - 1 - end] === other[other.length - 1 - end]) end++;
    const mark = document.createElement('mark');
    mark.className = 'differs';
    mark.textContent = text.slice(start, text.length - end);
    return [text.slice(0, start), mark, text.slice(text.length - end)];
  }

  function settle(d, value) {
    const v = view;
    v.image[d.offset] = value;
    v.choices.set(d.offset, value);
    v.listing = listingOf(v, v.image);
    showListing();
    byteSpan(d.offset).textContent = hex2(value);
    showChecks();
    showDownloads();
    choose(d.offset, d.offset + 1, 'doubts');
  }

  function showDownloads() {
    const v = view;
    for (const id of ['inside-download', 'inside-report']) {
      const a = $(id);
      if (a.href) URL.revokeObjectURL(a.href);
      a.removeAttribute('href');
    }
    $('inside-downloads').hidden = !v.report || (v.choices.size === 0 && !v.repair);
    if ($('inside-downloads').hidden) return;
    const program = $('inside-download');
    program.href = URL.createObjectURL(new Blob([v.image], { type: 'application/octet-stream' }));
    program.download = v.name;
    program.textContent = 'Download ' + v.name + ' as settled';
    const open = v.doubts.some((d) => !v.choices.has(d.offset));
    const entry = Object.assign({}, v.report, {
      status: v.failed.length ? 'failed' : open ? 'doubtful' : 'settled',
      checks_failed: v.failed,
      size: v.image.length,
      repair: v.repair ? { bit: v.repair.bit, change: v.repair.text } : null,
      choices: v.doubts.filter((d) => v.choices.has(d.offset)).map((d) => ({
        offset: d.offset, read: d.value, chosen: v.choices.get(d.offset),
      })),
    });
    const report = JSON.stringify({ version: 1, programs: [entry] }, null, 2) + '\n';
    const link = $('inside-report');
    link.href = URL.createObjectURL(new Blob([report], { type: 'application/json' }));
    link.download = v.name.replace(/\.[^.]*$/, '') + '.json';
  }

  // --- Showing a program -----------------------------------------------------------------------

  // Shows `program`: { name, bytes, machine (its machine number), times (where each byte starts
  // on tape, seconds), end (where the last ends), samples, rate and middle (the signal, when the
  // page made it), report (zx8xread's report of it, when read from tape) }, listed by `lister`.
  function show(program, lister) {
    const report = program.report || null;
    const doubts = report ? report.doubtful_bytes.slice() : [];
    view = {
      lister,
      name: program.name,
      machine: program.machine,
      image: new Uint8Array(program.bytes),
      readImage: new Uint8Array(program.bytes),
      repair: null,
      times: program.times || [],
      end: program.end,
      samples: program.samples || null,
      signal: program.signal || null,  // a read program's recording, asked for a stretch at a time
      stretch: null,
      rate: program.rate || 0,
      middle: program.middle || 0,
      report,
      doubts,
      doubtful: new Set(doubts.map((d) => d.offset)),
      choices: new Map(),
      chosen: { begin: 0, end: 1 },
      failed: [],
    };
    view.listing = listingOf(view, view.image);
    view.readFailed = checksOf(view, view.image);
    $('inside').hidden = false;
    $('inside-what').textContent = program.name + ': ' + view.listing.machine + ' program, ' +
      view.image.length + ' bytes, ' + view.listing.lines.length +
      (view.listing.lines.length === 1 ? ' line' : ' lines') +
      (doubts.length ? ', ' + doubts.length + ' doubtful ' + (doubts.length === 1 ? 'byte' : 'bytes') : '') + '.';
    showListing();
    showHex();
    showChecks();
    showDoubts();
    showDownloads();
    choose(doubts.length ? doubts[0].offset : 0, doubts.length ? doubts[0].offset + 1 : 1, 'show');
    $('inside').dataset.name = program.name;
  }

  function hide() {
    view = null;
    $('inside').hidden = true;
  }

  // Shows `program` as show() does, but with its machine named ('ZX80' or 'ZX81') and its byte
  // times to be asked for (`times()`), and scrolls to it.
  async function open(program) {
    const started = performance.now();
    try {
      const lister = await zxWasm.readerInstance();
      const times = await program.times();
      show(Object.assign({}, program, {
        machine: zxWasm.machineCode(lister, program.machine), times,
      }), lister);
    } catch (e) {
      $('inside').hidden = false;
      $('inside-what').textContent = 'Something went wrong on this page: ' + e;
      throw e;
    }
    // How long listing and showing took, in milliseconds, for anyone timing the page.
    $('inside').dataset.ms = (performance.now() - started).toFixed(1);
    $('inside').scrollIntoView();
    // The keyboard goes on from what was opened.
    $('inside-title').focus();
  }

  // Choosing with the mouse and the keys in each of the three views.
  function connect() {
    $('listing').addEventListener('click', (e) => {
      const r = e.target.closest('[data-begin]');
      if (r && view) choose(Number(r.dataset.begin), Number(r.dataset.end), 'listing');
    });
    // Up and down move the choice through the listing's rows.
    $('listing').addEventListener('keydown', (e) => {
      if (!view || (e.key !== 'ArrowDown' && e.key !== 'ArrowUp')) return;
      e.preventDefault();
      const rows = Array.from($('listing').children);
      const at = rows.findIndex((r) => r.classList.contains('chosen'));
      const next = rows[Math.max(0, Math.min(rows.length - 1, at + (e.key === 'ArrowDown' ? 1 : -1)))];
      if (!next) return;
      choose(Number(next.dataset.begin), Number(next.dataset.end), 'keys');
    });
    $('hex').addEventListener('click', (e) => {
      const b = e.target.closest('[data-offset]');
      if (!b || !view) return;
      const k = Number(b.dataset.offset);
      choose(k, k + 1, 'hex');
    });
    $('hex').addEventListener('keydown', moveChoice);
    $('inside-tape').addEventListener('keydown', moveChoice);
    $('inside-tape').addEventListener('click', (e) => {
      if (!view || view.times.length === 0) return;
      const k = zxInsideTape.byteAt(view, e);
      choose(k, k + 1, 'tape');
    });
    window.addEventListener('resize', () => {
      if (view) zxInsideTape.draw(view);
    });
  }

  return { open, hide, connect };
})();
