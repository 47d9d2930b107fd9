// The panel of vqhw-sim: the readers' state and frames from /api/events,
// control requests through /api/readers/N/control, the record and its
// timeline. Every request goes to this page's own origin, so the token's
// cookie (set by opening /?token=T) carries it.
'use strict';

(() => {
  const MAX_FRAME_ROWS = 500;  // a page left open a day stays this size
  const MAX_REPLY_LOG = 20;
  const BYTE_MS_115200 = 10 / 115200 * 1000;  // one byte on the line at 115200 baud
  const SVG = 'http://www.w3.org/2000/svg';

  const $ = (id) => document.getElementById(id);
  const readers = new Map();  // number -> READER as the API answers it
  let current = 1;
  let examples = {cards: [], scenarios: []};
  let memorySerial = null;  // the MIFARE ONE card whose memory is shown
  let lastFrameId = -1;

  // ---- Requests -----------------------------------------------------------

  async function request(path, options = {}) {
    const response = await fetch(path, {credentials: 'same-origin', ...options});
    const type = response.headers.get('Content-Type') || '';
    const body = type.includes('application/json') ? await response.json() : await response.text();
    if (!response.ok) {
      const message = body && typeof body === 'object' && body.error ? body.error : String(body || response.statusText);
      throw new Error(`${response.status}: ${message}`);
    }
    return body;
  }

  function postJson(path, value) {
    return request(path, {method: 'POST', headers: {'Content-Type': 'application/json'}, body: JSON.stringify(value)});
  }

  function showReply(text, ok) {
    const box = $('reply');
    box.hidden = false;
    box.textContent = text;
    box.dataset.kind = ok ? 'ok' : 'error';
    box.dataset.count = String(Number(box.dataset.count || 0) + 1);
    const item = document.createElement('li');
    item.textContent = text;
    item.className = ok ? 'ok' : 'error';
    const log = $('reply-log');
    log.prepend(item);
    while (log.children.length > MAX_REPLY_LOG) log.lastElementChild.remove();
  }

  // Sends one control request to the reader shown; answers the reply, or
  // null when it was refused (the error is shown either way).
  async function control(line) {
    const reader = current;
    try {
      const answer = await postJson(`/api/readers/${reader}/control`, {request: line});
      showReply(`reader ${reader}: ${abbreviate(line)} → ${answer.reply}`, true);
      refreshReader(reader);
      return answer.reply;
    } catch (error) {
      showReply(`reader ${reader}: ${abbreviate(line)} → ${error.message}`, false);
      return null;
    }
  }

  function abbreviate(line) {
    return line.length > 80 ? `${line.slice(0, 77)}...` : line;
  }

  async function refreshReader(number) {
    try {
      updateReader(await request(`/api/readers/${number}`));
    } catch (error) {
      showReply(`reader ${number}: ${error.message}`, false);
    }
  }

  // A JSON text made one line, so it travels as one request; throws on bad JSON.
  function compactJson(text) {
    return JSON.stringify(JSON.parse(text));
  }

  function readFile(file) {
    return new Promise((resolve, reject) => {
      const reader = new FileReader();
      reader.onload = () => resolve(reader.result);
      reader.onerror = () => reject(reader.error);
      reader.readAsText(file);
    });
  }

  // ---- Reader state -------------------------------------------------------

  function updateReader(reader) {
    if (!reader || typeof reader.number !== 'number') return;
    readers.set(reader.number, reader);
    renderPicker();
    if (reader.number === current) renderReader();
  }

  function renderPicker() {
    const select = $('reader-select');
    const numbers = [...readers.keys()].sort((a, b) => a - b);
    if (select.options.length !== numbers.length) {
      select.replaceChildren(...numbers.map((n) => new Option(`${n}: ${readers.get(n).port || ''}`, String(n))));
      select.value = String(current);
    }
    $('reader-picker').hidden = numbers.length < 2;
  }

  function renderReader() {
    const reader = readers.get(current);
    if (!reader) return;
    $('reader-line').textContent = `reader ${reader.number} at ${reader.port} · timing ${reader.timing} · ${reader.baud} baud`;
    renderCards(reader.cards || []);
    $('psam-state').textContent = reader.psam;
    $('psam-state').dataset.psam = reader.psam;
    fillList($('armed'), reader.armed, 'nothing');
    fillList($('scenario-events'), reader.scenario, 'none');
    renderRecord(reader.record || {});
    renderSwapChoices(reader.cards || []);
    renderMemory(reader.cards || []);
  }

  function fillList(list, lines, none) {
    const items = (lines && lines.length ? lines : [none]).map((line) => {
      const item = document.createElement('li');
      item.textContent = line;
      if (!lines || !lines.length) item.className = 'muted';
      return item;
    });
    list.replaceChildren(...items);
  }

  function cell(text, className) {
    const td = document.createElement('td');
    td.textContent = text;
    if (className) td.className = className;
    return td;
  }

  function actionButton(label, action, serial) {
    const button = document.createElement('button');
    button.type = 'button';
    button.textContent = label;
    button.dataset.action = action;
    button.dataset.serial = serial;
    return button;
  }

  // Rows are replaced only where they changed: a button does not vanish
  // under the pointer each time a state event comes.
  function replaceRows(body, rows) {
    rows.forEach((row, i) => {
      const old = body.rows[i];
      if (!old) body.append(row);
      else if (old.dataset.signature !== row.dataset.signature) old.replaceWith(row);
    });
    while (body.rows.length > rows.length) body.lastElementChild.remove();
  }

  function renderCards(cards) {
    const rows = cards.map((card) => {
      const row = document.createElement('tr');
      const {blocks, records, ...shown} = card;
      row.dataset.signature = JSON.stringify(shown);
      row.dataset.serial = card.serial;
      row.dataset.kind = card.kind;
      row.dataset.place = card.inField ? 'field' : 'aside';
      row.dataset.selected = String(Boolean(card.selected));
      if (card.selected) row.classList.add('selected');
      const cpu = card.kind === 'cpu';
      const sector = card.authenticatedSector;
      row.append(
          cell(card.kind), cell(card.serial, 'mono'),
          cell(card.inField ? (card.selected ? 'in field, selected' : 'in field') : 'aside', 'place'),
          cell(sector === undefined || sector === null ? '' : String(sector), 'sector'),
          cell(cpu ? String(card.balance) : '', 'balance'), cell(cpu ? String(card.purchaseCounter) : '', 'purchases'));
      const actions = document.createElement('td');
      actions.className = 'actions';
      actions.append(card.inField ? actionButton('leave', 'leave', card.serial) : actionButton('enter', 'enter', card.serial),
                     actionButton('remove', 'remove', card.serial));
      if (card.kind === 'mifare-one') actions.append(actionButton('memory', 'memory', card.serial));
      row.append(actions);
      return row;
    });
    replaceRows($('cards').tBodies[0], rows);
    $('cards-empty').hidden = cards.length > 0;
  }

  function renderSwapChoices(cards) {
    const out = $('swap-out');
    const into = $('swap-in');
    const keepOut = out.value;
    const keepIn = into.value;
    out.replaceChildren(...cards.filter((c) => c.inField).map((c) => new Option(c.serial, c.serial)));
    into.replaceChildren(
        ...cards.filter((c) => !c.inField).map((c) => new Option(`${c.serial} (aside)`, `enter:${c.serial}`)),
        ...examples.cards.map((e, i) => new Option(`example: ${e.name}`, `example:${i}`)));
    if ([...out.options].some((o) => o.value === keepOut)) out.value = keepOut;
    if ([...into.options].some((o) => o.value === keepIn)) into.value = keepIn;
  }

  function renderRecord(record) {
    const recording = Boolean(record.recording);
    const button = $('record-toggle');
    button.textContent = recording ? 'stop recording' : 'start recording';
    button.dataset.recording = String(recording);
    $('record-status').textContent =
        `${recording ? 'recording' : 'not recording'}, ${record.frames || 0} frames${record.full ? ' (full: no more is kept)' : ''}`;
    $('record-download').href = `/api/readers/${current}/record`;
  }

  // ---- MIFARE ONE memory --------------------------------------------------

  // Who may do what under each condition C1C2C3 (the number C1*4 + C2*2 + C3).
  const DATA_RIGHTS = [
    {read: 'A|B', write: 'A|B', increment: 'A|B', decrement: 'A|B'},
    {read: 'A|B', write: '', increment: '', decrement: 'A|B'},
    {read: 'A|B', write: '', increment: '', decrement: ''},
    {read: 'B', write: 'B', increment: '', decrement: ''},
    {read: 'A|B', write: 'B', increment: '', decrement: ''},
    {read: 'B', write: '', increment: '', decrement: ''},
    {read: 'A|B', write: 'B', increment: 'B', decrement: 'A|B'},
    {read: '', write: '', increment: '', decrement: ''},
  ];
  const TRAILER_RIGHTS = [
    {writeKeyA: 'A', readAccess: 'A', writeAccess: '', readKeyB: 'A', writeKeyB: 'A'},
    {writeKeyA: 'A', readAccess: 'A', writeAccess: 'A', readKeyB: 'A', writeKeyB: 'A'},
    {writeKeyA: '', readAccess: 'A', writeAccess: '', readKeyB: 'A', writeKeyB: ''},
    {writeKeyA: 'B', readAccess: 'A|B', writeAccess: 'B', readKeyB: '', writeKeyB: 'B'},
    {writeKeyA: 'B', readAccess: 'A|B', writeAccess: '', readKeyB: '', writeKeyB: 'B'},
    {writeKeyA: '', readAccess: 'A|B', writeAccess: 'B', readKeyB: '', writeKeyB: ''},
    {writeKeyA: '', readAccess: 'A|B', writeAccess: '', readKeyB: '', writeKeyB: ''},
    {writeKeyA: '', readAccess: 'A|B', writeAccess: '', readKeyB: '', writeKeyB: ''},
  ];

  function keys(rights) {
    return rights === 'A|B' ? 'A or B' : rights || 'never';
  }

  // The conditions of blocks 0..3 from trailer bytes 6, 7, 8, or null when
  // a bit disagrees with its inverse.
  function decodeAccessBits(b6, b7, b8) {
    const c1 = b7 >> 4;
    const c2 = b8 & 0x0F;
    const c3 = b8 >> 4;
    if ((b6 & 0x0F) !== (~c1 & 0x0F) || (b6 >> 4) !== (~c2 & 0x0F) || (b7 & 0x0F) !== (~c3 & 0x0F)) return null;
    return [0, 1, 2, 3].map((block) => ((c1 >> block) & 1) << 2 | ((c2 >> block) & 1) << 1 | ((c3 >> block) & 1));
  }

  function conditionBits(condition) {
    return `C1C2C3 ${(condition >> 2) & 1}${(condition >> 1) & 1}${condition & 1}`;
  }

  // Where key B can be read it is data: authenticated with it, the card
  // refuses every access, so only key A's rights are left.
  function describeData(condition, keyBReadable) {
    const rights = (given) => (keyBReadable ? (given.includes('A') ? 'A' : '') : given);
    const r = DATA_RIGHTS[condition];
    return `read ${keys(rights(r.read))} · write ${keys(rights(r.write))} · increment ${keys(rights(r.increment))} · ` +
        `decrement ${keys(rights(r.decrement))}`;
  }

  function describeTrailer(condition) {
    const r = TRAILER_RIGHTS[condition];
    const text = `key A: write ${keys(r.writeKeyA)} · access bits: read ${keys(r.readAccess)}, ` +
        `write ${keys(r.writeAccess)} · key B: read ${keys(r.readKeyB)}, write ${keys(r.writeKeyB)}`;
    return r.readKeyB ? `${text} (key B is readable: data, not a key)` : text;
  }

  function hexBytes(hex) {
    const bytes = [];
    for (let i = 0; i + 1 < hex.length; i += 2) bytes.push(parseInt(hex.slice(i, i + 2), 16));
    return bytes;
  }

  // A value block: value, ~value, value (little endian), addr, ~addr, addr, ~addr.
  function valueOf(bytes) {
    if (bytes.length !== 16) return null;
    for (let i = 0; i < 4; ++i) {
      if (bytes[i] !== bytes[i + 8] || bytes[i] !== (~bytes[i + 4] & 0xFF)) return null;
    }
    if (bytes[12] !== bytes[14] || bytes[13] !== bytes[15] || bytes[12] !== (~bytes[13] & 0xFF)) return null;
    const value = (bytes[0] | bytes[1] << 8 | bytes[2] << 16 | bytes[3] << 24);  // signed 32 bits
    return {value, address: bytes[12]};
  }

  function spacedHex(hex) {
    return hex.replace(/(..)(?!$)/g, '$1 ');
  }

  function renderMemory(cards) {
    const section = $('memory-section');
    const card = cards.find((c) => c.serial === memorySerial && c.kind === 'mifare-one');
    if (!card || !card.blocks) {
      section.hidden = true;
      return;
    }
    section.hidden = false;
    $('memory-serial').textContent = `${card.serial} (${card.inField ? 'in field' : 'aside'})`;
    const rows = [];
    for (let sector = 0; sector < 16; ++sector) {
      const trailerHex = card.blocks[String(sector * 4 + 3)] || '';
      const trailer = hexBytes(trailerHex);
      const conditions = trailer.length === 16 ? decodeAccessBits(trailer[6], trailer[7], trailer[8]) : null;
      const keyBReadable = conditions !== null && TRAILER_RIGHTS[conditions[3]].readKeyB !== '';
      for (let i = 0; i < 4; ++i) {
        const block = sector * 4 + i;
        const hex = card.blocks[String(block)] || '';
        const row = document.createElement('tr');
        row.dataset.block = String(block);
        row.dataset.signature = `${card.serial} ${hex} ${trailerHex} ${card.authenticatedSector === sector}`;
        if (i === 0) row.classList.add('sector-start');
        if (card.authenticatedSector === sector) row.classList.add('authenticated');
        let meaning = '';
        if (block === 0) meaning = 'manufacturer block (read only)';
        else if (i === 3) meaning = 'trailer: key A, access bits, key B';
        else {
          const value = valueOf(hexBytes(hex));
          if (value) meaning = `value ${value.value} (address ${value.address})`;
          if (value) row.dataset.value = String(value.value);
        }
        let access;
        if (!conditions) access = 'access bits inconsistent: the sector is locked';
        else if (i === 3) access = `${conditionBits(conditions[3])}: ${describeTrailer(conditions[3])}`;
        else access = `${conditionBits(conditions[i])}: ${describeData(conditions[i], keyBReadable)}`;
        row.append(cell(i === 0 ? String(sector) : ''), cell(String(block)), cell(spacedHex(hex), 'data'),
                   cell(meaning, 'meaning'), cell(access, 'access'));
        rows.push(row);
      }
    }
    replaceRows($('memory').tBodies[0], rows);
  }

  // ---- Frames -------------------------------------------------------------

  function fixed(value) {
    return typeof value === 'number' ? value.toFixed(3) : '';
  }

  // Frames come by the hundred a second while a lane polls: they are
  // added in batches, a layout a batch instead of one a frame.
  let pendingFrames = [];

  function addFrame(frame) {
    if (typeof frame.id === 'number') {
      if (frame.id <= lastFrameId) return;  // a reconnection repeats the last frames
      lastFrameId = frame.id;
    }
    pendingFrames.push(frame);
    if (pendingFrames.length === 1) setTimeout(flushFrames, 50);
  }

  function flushFrames() {
    const frames = pendingFrames.slice(-MAX_FRAME_ROWS);
    pendingFrames = [];
    const body = $('frames').tBodies[0];
    const scroll = body.closest('.frames-scroll');
    const atEnd = scroll.scrollHeight - scroll.scrollTop - scroll.clientHeight < 60;
    const fragment = document.createDocumentFragment();
    for (const frame of frames) fragment.append(frameRow(frame));
    body.append(fragment);
    for (let extra = body.rows.length - MAX_FRAME_ROWS; extra > 0; --extra) body.firstElementChild.remove();
    $('frames-count').textContent = `${body.rows.length} shown (at most ${MAX_FRAME_ROWS})`;
    if (atEnd) scroll.scrollTop = scroll.scrollHeight;
  }

  function frameRow(frame) {
    const row = document.createElement('tr');
    row.dataset.id = String(frame.id);
    row.dataset.reader = String(frame.reader);
    row.dataset.direction = frame.direction;
    if (frame.code) row.dataset.code = frame.code;
    row.className = frame.direction;
    const sw = frame.sw ? `${frame.sw} ${frame.swText || ''}` : (frame.status ? `status ${frame.status}` : '');
    let limitText = '';
    if (typeof frame.exchangeMs === 'number') {
      const limit = (frame.wireMs || 0) + (frame.cardMs || 0);
      limitText = `${fixed(frame.wireMs)} + ${fixed(frame.cardMs)}`;
      row.dataset.exchangeMs = String(frame.exchangeMs);
      row.dataset.limitMs = String(limit);
    }
    const direction = {command: '>', answer: '<', noise: '?'}[frame.direction] || frame.direction;
    row.append(cell(fixed(frame.ms)), cell(String(frame.reader)), cell(direction), cell(frame.sequence ?? ''),
               cell(frame.name || ''), cell(frame.data ?? frame.bytes ?? '', 'data'), cell(sw),
               cell(fixed(frame.exchangeMs), 'exchange'), cell(limitText));
    markOverLimit(row);
    filterRow(row);
    return row;
  }

  function markOverLimit(row) {
    if (row.dataset.exchangeMs === undefined) return;
    const margin = Number($('frames-margin').value) || 0;
    row.classList.toggle('over', Number(row.dataset.exchangeMs) > Number(row.dataset.limitMs) + margin);
  }

  function filterRow(row) {
    row.hidden = $('frames-this-reader').checked && row.dataset.reader !== String(current);
  }

  // ---- Events -------------------------------------------------------------

  function setEventsStatus(state, text) {
    const badge = $('events-status');
    badge.dataset.state = state;
    badge.textContent = `events: ${text}`;
  }

  function openEvents() {
    const source = new EventSource('/api/events', {withCredentials: true});
    source.onopen = () => setEventsStatus('open', 'live');
    source.onerror = () => {
      if (source.readyState === EventSource.CLOSED) {
        // Refused (not a stream): try again later; the browser retries the rest itself.
        setEventsStatus('closed', 'closed, retrying');
        source.close();
        setTimeout(openEvents, 3000);
      } else {
        setEventsStatus('connecting', 'reconnecting');
      }
    };
    source.addEventListener('state', (event) => {
      const state = JSON.parse(event.data);
      updateReader({...state, number: state.number ?? state.reader});
    });
    source.addEventListener('frame', (event) => addFrame(JSON.parse(event.data)));
  }

  // ---- Timeline -----------------------------------------------------------

  let timeline = null;  // {exchanges, noise, scale (px per ms), selected}
  let timelinesOpened = 0;  // on the svg as data-opened: which drawing is this

  async function openTimeline(recordText) {
    try {
      const answer = await request('/api/timeline', {method: 'POST', headers: {'Content-Type': 'text/plain'}, body: recordText});
      timeline = {exchanges: answer.exchanges || [], noise: answer.noise || 0, scale: 0, selected: -1};
      fitTimeline();
      $('timeline').dataset.opened = String(++timelinesOpened);
      const failed = timeline.exchanges.filter((e) => e.failed).length;
      const retried = timeline.exchanges.filter((e) => e.retry).length;
      $('timeline-summary').textContent =
          `${timeline.exchanges.length} exchanges, ${failed} failed, ${retried} retried, ${timeline.noise} noise`;
      $('exchange-detail').hidden = true;
    } catch (error) {
      showReply(`timeline: ${error.message}`, false);
    }
  }

  function timelineSpan() {
    const exchanges = timeline.exchanges;
    if (!exchanges.length) return {from: 0, to: 1};
    const from = Math.min(0, ...exchanges.map((e) => e.start - (e.host || 0)));
    const to = Math.max(...exchanges.map((e) => e.end));
    return {from, to: Math.max(to, from + 1)};
  }

  function fitTimeline() {
    if (!timeline) return;
    const span = timelineSpan();
    const width = Math.max(200, $('timeline-scroll').clientWidth - 40);
    timeline.scale = width / (span.to - span.from);
    drawTimeline();
  }

  function zoomTimeline(factor, anchorX) {
    if (!timeline) return;
    const scroll = $('timeline-scroll');
    const anchor = anchorX ?? scroll.clientWidth / 2;
    const ms = (scroll.scrollLeft + anchor - 20) / timeline.scale;
    timeline.scale = Math.min(2000, Math.max(1e-4, timeline.scale * factor));
    drawTimeline();
    scroll.scrollLeft = ms * timeline.scale + 20 - anchor;
  }

  function svgElement(name, attributes) {
    const element = document.createElementNS(SVG, name);
    for (const [key, value] of Object.entries(attributes)) element.setAttribute(key, String(value));
    return element;
  }

  // A tick step of 1, 2 or 5 times a power of ten, some 100 px apart.
  function tickStep(scale) {
    const raw = 100 / scale;
    const power = 10 ** Math.floor(Math.log10(raw));
    return [1, 2, 5, 10].map((m) => m * power).find((step) => step >= raw);
  }

  // The parts of an exchange in order on the time axis: the host before its
  // command, the command's bytes, the card, the reader's wait, the answer's bytes.
  function exchangeParts(exchange) {
    const commandWire = Math.min(exchange.wire || 0, (exchange.command || '').length / 2 * BYTE_MS_115200);
    const answerWire = Math.max(0, (exchange.wire || 0) - commandWire);
    const length = exchange.end - exchange.start;
    const card = Math.min(exchange.card || 0, Math.max(0, length - commandWire - answerWire));
    const wait = Math.max(0, length - commandWire - card - answerWire);
    return [['host', -(exchange.host || 0)], ['wire', commandWire], ['card', card], ['wait', wait], ['wire', answerWire]];
  }

  function drawTimeline() {
    const svg = $('timeline');
    const span = timelineSpan();
    const scale = timeline.scale;
    const left = 20;
    const x = (ms) => left + (ms - span.from) * scale;
    const width = Math.ceil(x(span.to) + left);
    const barTop = 26;
    const barHeight = 26;
    svg.setAttribute('width', width);
    svg.setAttribute('height', barTop + barHeight + 14);
    svg.replaceChildren();

    const axis = svgElement('g', {class: 'axis'});
    const step = tickStep(scale);
    for (let t = Math.ceil(span.from / step) * step; t <= span.to; t += step) {
      axis.append(svgElement('line', {x1: x(t), x2: x(t), y1: 14, y2: barTop + barHeight + 4}));
      const label = svgElement('text', {x: x(t) + 2, y: 11});
      label.textContent = `${Number(t.toFixed(6))} ms`;
      axis.append(label);
    }
    svg.append(axis);

    timeline.exchanges.forEach((exchange, index) => {
      const group = svgElement('g', {class: 'exchange', 'data-index': index, 'data-sequence': exchange.sequence});
      if (exchange.failed) group.classList.add('failed');
      if (exchange.retry) group.classList.add('retry');
      if (index === timeline.selected) group.classList.add('chosen');
      const title = svgElement('title', {});
      title.textContent = `${exchange.name} (${exchange.code}), ${exchange.status}, ${fixed(exchange.end - exchange.start)} ms`;
      group.append(title);
      let at = exchange.start;
      for (const [kind, length] of exchangeParts(exchange)) {
        const from = length < 0 ? at + length : at;
        const size = Math.abs(length);
        if (length >= 0) at += length;
        if (size <= 0) continue;
        // The host's time is a thin line before the bar: it is mostly the lane waiting.
        const thin = kind === 'host';
        group.append(svgElement('rect', {class: `part ${kind}`, x: x(from), y: thin ? barTop + barHeight / 2 - 2 : barTop,
                                         width: Math.max(size * scale, 0.5), height: thin ? 4 : barHeight}));
      }
      // The outline takes the clicks, even of a bar a pixel wide.
      const outline = svgElement('rect', {class: 'outline', x: x(exchange.start) - 1, y: barTop - 2,
                                          width: Math.max((exchange.end - exchange.start) * scale, 1) + 2, height: barHeight + 4});
      group.append(outline);
      if (exchange.failed || exchange.retry) {
        const mark = svgElement('text', {class: 'mark', x: x(exchange.start), y: barTop + barHeight + 12});
        mark.textContent = exchange.failed ? (exchange.retry ? '✕↻' : '✕') : '↻';
        group.append(mark);
      }
      group.addEventListener('click', () => showExchange(index));
      svg.append(group);
    });
  }

  function showExchange(index) {
    const exchange = timeline.exchanges[index];
    timeline.selected = index;
    for (const group of $('timeline').querySelectorAll('.exchange')) {
      group.classList.toggle('chosen', Number(group.dataset.index) === index);
    }
    const detail = $('exchange-detail');
    detail.hidden = false;
    detail.dataset.index = String(index);
    const lines = [
      `#${index + 1} ${exchange.name} (code ${exchange.code}), sequence ${exchange.sequence}: ${exchange.status}` +
          `${exchange.failed ? ', FAILED' : ''}${exchange.retry ? ', a retry' : ''}`,
      `${fixed(exchange.start)} – ${fixed(exchange.end)} ms: wire ${fixed(exchange.wire)}, card ${fixed(exchange.card)}, ` +
          `host before it ${fixed(exchange.host)}`,
      `command ${spacedHex(exchange.command || '')}`,
      `answer  ${exchange.answer ? spacedHex(exchange.answer) : '(none)'}`,
    ];
    detail.replaceChildren(...lines.map((line, i) => {
      const div = document.createElement('div');
      div.textContent = line;
      div.className = ['summary', 'times', 'command', 'answer'][i];
      return div;
    }));
  }

  // ---- Controls -----------------------------------------------------------

  function exampleCardText(index) {
    const card = examples.cards[index].card;
    return typeof card === 'string' ? compactJson(card) : JSON.stringify(card);
  }

  async function presentText(text, clone) {
    let json;
    try {
      json = compactJson(text);
    } catch (error) {
      showReply(`not a JSON file: ${error.message}`, false);
      return;
    }
    await control(`present ${clone ? 'clone ' : ''}${json}`);
  }

  async function playScenarioText(text) {
    try {
      await control(`scenario ${compactJson(text)}`);
    } catch (error) {
      showReply(`not a JSON file: ${error.message}`, false);
    }
  }

  // A file dropped on the page: a record opens as a timeline, a scenario
  // plays, any other JSON is presented as a card or field.
  async function takeDroppedFile(file) {
    const text = await readFile(file);
    if (text.trimStart().startsWith('#')) {
      openTimeline(text);
      return;
    }
    let parsed = null;
    try {
      parsed = JSON.parse(text);
    } catch (error) {
      showReply(`${file.name}: not JSON: ${error.message}`, false);
      return;
    }
    if (parsed && typeof parsed === 'object' && Array.isArray(parsed.events)) await playScenarioText(text);
    else await presentText(text, $('card-file-clone').checked);
  }

  function onSubmit(id, handler) {
    $(id).addEventListener('submit', (event) => {
      event.preventDefault();
      handler();
    });
  }

  function onClick(id, handler) {
    $(id).addEventListener('click', handler);
  }

  function validCount(id) {
    const count = Number($(id).value);
    return Number.isInteger(count) && count > 0 ? count : null;
  }

  function faultRequest() {
    const kind = $('fault-kind').value;
    const count = validCount('fault-count');
    if (count === null) return {error: 'N must be a whole number above 0'};
    const value = $('fault-value').value.replace(/[\s:]/g, '');
    if (kind === 'late') {
      if (!/^\d+$/.test(value)) return {error: 'late: MS must be a whole number of milliseconds'};
      return {line: `fault late ${value} ${count}`};
    }
    if (kind === 'garbage') {
      if (!/^([0-9a-fA-F]{2})+$/.test(value)) return {error: 'garbage: HEX must be whole bytes of hex'};
      return {line: `fault garbage ${value.toUpperCase()} ${count}`};
    }
    return {line: `fault ${kind} ${count}`};
  }

  // 32 hex digits, blanks and colons between pairs allowed; null when not.
  function blockHex(text) {
    const hex = text.replace(/[\s:]/g, '');
    return /^[0-9a-fA-F]{32}$/.test(hex) ? hex.toUpperCase() : null;
  }

  function wireControls() {
    onSubmit('present-example', () => {
      if ($('example-card').value !== '') control(`present ${exampleCardText(Number($('example-card').value))}`);
    });
    onClick('present-example-clone', () => {
      if ($('example-card').value !== '') control(`present clone ${exampleCardText(Number($('example-card').value))}`);
    });
    $('card-file').addEventListener('change', async (event) => {
      const file = event.target.files[0];
      if (file) await presentText(await readFile(file), $('card-file-clone').checked);
      event.target.value = '';
    });
    onClick('remove-all', () => control('remove'));
    onClick('power-off', () => {
      const ms = validCount('power-off-ms');
      if (ms === null) showReply('power off: MS must be a whole number above 0', false);
      else control(`power-off ${ms}`);
    });
    for (const button of document.querySelectorAll('[data-psam]')) {
      button.addEventListener('click', () => control(`psam ${button.dataset.psam}`));
    }
    $('cards').addEventListener('click', (event) => {
      const button = event.target.closest('button[data-action]');
      if (!button) return;
      const {action, serial} = button.dataset;
      if (action === 'memory') {
        memorySerial = serial;
        renderReader();
        $('memory-section').scrollIntoView({block: 'nearest'});
      } else {
        control(`${action} ${serial}`);
      }
    });
    onSubmit('swap-form', async () => {
      const out = $('swap-out').value;
      const into = $('swap-in').value;
      if (!out || !into) {
        showReply('swap: a card in the field and one to take its place are needed', false);
        return;
      }
      if (await control(`leave ${out}`) === null) return;
      if (into.startsWith('enter:')) await control(`enter ${into.slice(6)}`);
      else await control(`present ${exampleCardText(Number(into.slice(8)))}`);
    });
    $('fault-kind').addEventListener('change', () => {
      const kind = $('fault-kind').value;
      $('fault-value').hidden = kind !== 'late' && kind !== 'garbage';
      $('fault-value').placeholder = kind === 'late' ? 'MS' : 'HEX';
    });
    onSubmit('fault-form', () => {
      const fault = faultRequest();
      if (fault.error) showReply(fault.error, false);
      else control(fault.line);
    });
    onClick('fault-clear', () => control('fault clear'));
    onSubmit('tear-form', () => {
      const target = $('tear-target').value;
      control(`tear ${$('tear-outcome').value}${target ? ` ${target}` : ''}`);
    });
    onSubmit('scenario-form', () => {
      const index = $('example-scenario').value;
      if (index === '') return;
      const scenario = examples.scenarios[Number(index)].scenario;
      control(`scenario ${typeof scenario === 'string' ? compactJson(scenario) : JSON.stringify(scenario)}`);
    });
    $('scenario-file').addEventListener('change', async (event) => {
      const file = event.target.files[0];
      if (file) await playScenarioText(await readFile(file));
      event.target.value = '';
    });
    onClick('scenario-stop', () => control('scenario stop'));
    onSubmit('raw-form', () => {
      const line = $('raw-request').value.trim();
      if (line) control(line);
    });
    onSubmit('write-form', () => {
      const block = Number($('write-block').value);
      const hex = blockHex($('write-data').value);
      if (!Number.isInteger(block) || block < 0 || block > 63) showReply('write: the block is 0 to 63', false);
      else if (hex === null) showReply('write: the data must be 32 hex digits (16 bytes)', false);
      else control(`write ${memorySerial} ${block} ${hex}`);
    });
    $('write-data').addEventListener('input', () => {
      const digits = $('write-data').value.replace(/[\s:]/g, '').length;
      $('write-hint').textContent = `${digits} of 32 digits`;
    });
    $('memory').addEventListener('click', (event) => {
      const row = event.target.closest('tr[data-block]');
      if (!row) return;
      $('write-block').value = row.dataset.block;
      $('write-data').value = row.querySelector('.data').textContent.replace(/ /g, '');
      $('write-data').dispatchEvent(new Event('input'));
    });

    onClick('record-toggle', async () => {
      const reader = current;
      const recording = $('record-toggle').dataset.recording !== 'true';
      try {
        const record = await postJson(`/api/readers/${reader}/record`, {recording});
        const known = readers.get(reader);
        if (known) known.record = record;
        if (reader === current) renderRecord(record);
        showReply(`reader ${reader}: recording ${recording ? 'started' : 'stopped'}, ${record.frames} frames`, true);
      } catch (error) {
        showReply(`reader ${reader}: record: ${error.message}`, false);
      }
    });

    $('timeline-file').addEventListener('change', async (event) => {
      const file = event.target.files[0];
      if (file) await openTimeline(await readFile(file));
      event.target.value = '';
    });
    onClick('timeline-current', async () => {
      try {
        await openTimeline(await request(`/api/readers/${current}/record`));
      } catch (error) {
        showReply(`record: ${error.message}`, false);
      }
    });
    onClick('timeline-zoom-in', () => zoomTimeline(2));
    onClick('timeline-zoom-out', () => zoomTimeline(0.5));
    onClick('timeline-zoom-fit', fitTimeline);
    $('timeline-scroll').addEventListener('wheel', (event) => {
      if (!timeline) return;
      event.preventDefault();
      const box = $('timeline-scroll').getBoundingClientRect();
      zoomTimeline(event.deltaY < 0 ? 1.25 : 0.8, event.clientX - box.left);
    }, {passive: false});

    $('frames-clear').addEventListener('click', () => {
      $('frames').tBodies[0].replaceChildren();
      $('frames-count').textContent = '';
    });
    $('frames-this-reader').addEventListener('change', () => [...$('frames').tBodies[0].rows].forEach(filterRow));
    $('frames-margin').addEventListener('input', () => [...$('frames').tBodies[0].rows].forEach(markOverLimit));
    $('reader-select').addEventListener('change', () => {
      current = Number($('reader-select').value);
      memorySerial = null;
      renderReader();
      [...$('frames').tBodies[0].rows].forEach(filterRow);
    });

    document.addEventListener('dragover', (event) => {
      event.preventDefault();
      $('drop-zone').classList.add('dragging');
    });
    document.addEventListener('dragleave', () => $('drop-zone').classList.remove('dragging'));
    document.addEventListener('drop', (event) => {
      event.preventDefault();
      $('drop-zone').classList.remove('dragging');
      const file = event.dataTransfer.files[0];
      if (file) takeDroppedFile(file);
    });
  }

  // ---- Start --------------------------------------------------------------

  async function start() {
    // The token has become a cookie; keep it out of the address bar and history.
    if (new URLSearchParams(location.search).has('token')) history.replaceState(null, '', location.pathname);
    wireControls();
    openEvents();
    try {
      examples = await request('/api/examples');
      $('example-card').replaceChildren(...(examples.cards || []).map((e, i) => new Option(e.name, String(i))));
      $('example-scenario').replaceChildren(...(examples.scenarios || []).map((e, i) => new Option(e.name, String(i))));
    } catch (error) {
      showReply(`examples: ${error.message}`, false);
    }
    try {
      const answer = await request('/api/readers');
      for (const reader of answer.readers || []) updateReader(reader);
    } catch (error) {
      showReply(`readers: ${error.message}`, false);
    }
  }

  start();
})();
