// The vltxd console: the printers live from the events stream, the last
// tasks with their steps, a test receipt and an X report, a printer's log of
// the day. Everything that came from a printer or a request is put on the
// page as text (textContent), never as HTML.
'use strict';

const vltxd = (() => {
  const TOKEN = 'vltxd-token';  // sessionStorage: gone when the tab closes
  const MAX_TASKS = 20;
  const $ = (id) => document.getElementById(id);
  const printers = new Map();   // id -> row
  const tasks = new Map();      // task id -> card
  let stream = null;
  let logPrinter = '';

  const token = () => sessionStorage.getItem(TOKEN) || '';

  // A fresh Idempotency-Key; crypto.randomUUID needs a secure context, which
  // a console opened over the shop's network is not.
  function newKey() {
    const b = crypto.getRandomValues(new Uint8Array(16));
    return 'console-' + Array.from(b, (x) => x.toString(16).padStart(2, '0')).join('');
  }

  class Unauthorized extends Error {}

  // One API request; resolves to {status, body} (body: the JSON answer).
  async function request(method, path, body, headers = {}) {
    const h = Object.assign({}, headers);
    if (token()) h.Authorization = 'Bearer ' + token();
    if (body !== undefined) h['Content-Type'] = 'application/json';
    const r = await fetch(path, {method, headers: h, body: body === undefined ? undefined : JSON.stringify(body)});
    if (r.status === 401) throw new Unauthorized();
    let json = null;
    try { json = await r.json(); } catch (e) { json = null; }
    return {status: r.status, body: json};
  }

  // A receipt as a POS sends it: one key for the sale, the same key again
  // on a retry; the service prints it once and answers the retry from its
  // journal (repeat: true).
  function printReceipt(printer, receipt, key, waitMs = 0) {
    return request('POST', '/printers/' + encodeURIComponent(printer) + '/receipt?wait=' + waitMs, receipt,
                   {'Idempotency-Key': key});
  }

  const TEST_RECEIPT = {
    items: [{code: '0000000000001', description: 'TEST RECEIPT ITEM', quantity: '1000', price: '100',
             tax: 'T1', unit: 'UN', decimals: '2'}],
    payments: [{form: '01', description: 'DINHEIRO', value: '100'}],
    advertising: ['vltxd console test receipt'],
    operator: 'CONSOLE',
  };

  function say(text, kind = 'info') {
    const m = $('message');
    if (kind === 'error') delete m.dataset.task;
    m.textContent = text;
    m.dataset.kind = kind;
  }

  function cell(row, cls, text) {
    const c = row.querySelector('.' + cls);
    c.textContent = text === undefined || text === null ? '' : String(text);
    return c;
  }

  // ------------------------------------------------------------ printers
  function showPrinter(p) {
    let row = printers.get(p.id);
    if (!row) {
      row = $('printer-row').content.firstElementChild.cloneNode(true);
      row.dataset.printer = p.id;
      row.querySelector('.receipt').addEventListener('click', () => testReceipt(p.id));
      row.querySelector('.xreport').addEventListener('click', () => xReport(p.id));
      row.querySelector('.showlog').addEventListener('click', () => showLog(p.id));
      $('printers').tBodies[0].appendChild(row);
      printers.set(p.id, row);
    }
    cell(row, 'id', p.id);
    cell(row, 'port', p.port);
    cell(row, 'state', p.worker).dataset.state = p.worker;
    cell(row, 'queue', p.queue);
    cell(row, 'error', p.last_error ? p.last_error.message + ' (' + p.last_error.code + ')' : '');
  }

  async function loadPrinter(id) {
    const r = await request('GET', '/printers/' + encodeURIComponent(id));
    if (r.status === 200) showPrinter(r.body);
  }

  async function loadPrinters() {
    const r = await request('GET', '/printers');
    if (r.status !== 200) return say('GET /printers answered ' + r.status, 'error');
    r.body.printers.forEach(showPrinter);
  }

  // --------------------------------------------------------------- tasks
  function time(seconds) {
    return seconds ? new Date(seconds * 1000).toLocaleTimeString() : '';
  }

  function outcomeText(t) {
    const o = t.outcome;
    if (!o || typeof o !== 'object') return '';
    if (o.export !== undefined && o.code !== undefined) {
      let s = 'step ' + o.failed_step + ' (' + o.export + ') answered ' + o.code + ': ' + (o.meaning || '');
      if (o.cancel) s += '; cancellation ' + (o.cancel.code === undefined ? '' : o.cancel.code + ': ' + (o.cancel.meaning || ''));
      return s;
    }
    return o.message || '';
  }

  function showTask(t) {
    let card = tasks.get(t.task);
    if (!card) {
      card = $('task-card').content.firstElementChild.cloneNode(true);
      card.dataset.task = t.task;
      tasks.set(t.task, card);
      $('tasks').prepend(card);
      while (tasks.size > MAX_TASKS) {
        const oldest = $('tasks').lastElementChild;
        tasks.delete(oldest.dataset.task);
        oldest.remove();
      }
    }
    card.dataset.state = t.state;
    const m = $('message');
    if (m.dataset.task === t.task) say(m.dataset.label + t.state + (t.state === 'failed' ? ': ' + outcomeText(t) : ''),
                                       t.state === 'failed' || t.state === 'interrupted' ? 'error' : 'info');
    cell(card, 'when', time(t.created));
    cell(card, 'printer', t.printer);
    cell(card, 'kind', t.kind);
    cell(card, 'state', t.state);
    cell(card, 'outcome', outcomeText(t));
    const body = card.querySelector('.steps').tBodies[0];
    body.replaceChildren();
    for (const s of t.steps || []) {
      const tr = document.createElement('tr');
      const args = Array.isArray(s.args) ? s.args.map((a) => JSON.stringify(a)).join(', ') : '';
      for (const v of [s.n, s.export, args, s.result === null ? '-' : s.result, s.meaning]) {
        const td = document.createElement('td');
        td.textContent = v === undefined ? '' : String(v);
        tr.appendChild(td);
      }
      body.appendChild(tr);
    }
  }

  async function loadTask(id) {
    const r = await request('GET', '/tasks/' + encodeURIComponent(id));
    if (r.status === 200) showTask(r.body);
  }

  async function loadTasks() {
    const r = await request('GET', '/tasks?limit=' + MAX_TASKS);
    if (r.status !== 200) return say('GET /tasks answered ' + r.status, 'error');
    for (const t of r.body.tasks.slice().reverse()) showTask(t);
  }

  // ------------------------------------------------------------- actions
  async function post(printer, what, kind, body, label) {
    const r = kind === 'receipt'
      ? await printReceipt(printer, body, newKey(), 0)
      : await request('POST', '/printers/' + encodeURIComponent(printer) + '/' + kind + '?wait=0', body,
                      {'Idempotency-Key': newKey()});
    if (r.body && r.body.task) {
      const m = $('message');
      m.dataset.task = r.body.task;
      m.dataset.label = label + ' on ' + printer + ': task ' + r.body.task + ' ';
      showTask(r.body);
    } else {
      say(label + ' on ' + printer + ' refused: ' + (r.body ? r.body.message : 'HTTP ' + r.status), 'error');
    }
  }

  async function testReceipt(printer) {
    if (!confirm('Print a test receipt on ' + printer + '?\nIt is a fiscal document: it stays in the printer\'s memory.')) return;
    await guarded(() => post(printer, 'receipt', 'receipt', TEST_RECEIPT, 'Test receipt'));
  }

  async function xReport(printer) {
    if (!confirm('Print an X report on ' + printer + '?\nIt is a fiscal document.')) return;
    await guarded(() => post(printer, 'report', 'report', {type: 'x'}, 'X report'));
  }

  async function showLog(printer) {
    await guarded(async () => {
      const r = await request('GET', '/printers/' + encodeURIComponent(printer) + '/log');
      logPrinter = printer;
      $('log').hidden = false;
      $('log-printer').textContent = printer;
      $('log-download').disabled = r.status !== 200;
      $('log-summary').textContent = r.status === 200 ? r.body.summary : (r.body ? r.body.message : 'HTTP ' + r.status);
    });
  }

  // The download goes through fetch, which can send the token, and is
  // handed to the browser as a file.
  async function downloadLog() {
    await guarded(async () => {
      const h = token() ? {Authorization: 'Bearer ' + token()} : {};
      const r = await fetch('/printers/' + encodeURIComponent(logPrinter) + '/log/file', {headers: h});
      if (r.status === 401) throw new Unauthorized();
      if (!r.ok) return say('the log download answered ' + r.status, 'error');
      const url = URL.createObjectURL(await r.blob());
      const a = document.createElement('a');
      a.href = url;
      a.download = logPrinter + '.log';
      document.body.appendChild(a);
      a.click();
      a.remove();
      setTimeout(() => URL.revokeObjectURL(url), 10000);
    });
  }

  // -------------------------------------------------------------- events
  function onEvent(ev) {
    let e;
    try { e = JSON.parse(ev.data); } catch (x) { return; }
    if (e.type === 'printer') {
      const row = printers.get(e.printer);
      if (row) {
        cell(row, 'state', e.state).dataset.state = e.state;
        if (e.error) cell(row, 'error', e.error);
      }
      guarded(() => loadPrinter(e.printer));
    } else if (e.type === 'task' || e.type === 'step') {
      guarded(() => loadTask(e.task));
      if (e.type === 'task') guarded(() => loadPrinter(e.printer));
    } else if (e.type === 'poll' || e.type === 'progress') {
      const card = tasks.get(e.task);
      if (card) cell(card, 'outcome', e.type === 'poll' ? 'waiting for the printer' : e.bytes + ' bytes so far');
    }
  }

  function listen() {
    if (stream) stream.close();
    const q = token() ? '?access_token=' + encodeURIComponent(token()) : '';
    stream = new EventSource('/events' + q);
    const state = $('stream');
    stream.onopen = () => {
      state.dataset.state = 'live';
      state.textContent = 'live';
      // Whatever happened while the stream was down.
      guarded(loadPrinters);
      guarded(loadTasks);
    };
    stream.onerror = () => {
      state.dataset.state = 'down';
      state.textContent = 'reconnecting';
    };
    stream.onmessage = onEvent;
  }

  // ------------------------------------------------------------- session
  async function guarded(f) {
    try {
      await f();
    } catch (e) {
      if (e instanceof Unauthorized) return askToken();
      say(String(e && e.message ? e.message : e), 'error');
    }
  }

  function askToken() {
    if (stream) stream.close();
    stream = null;
    sessionStorage.removeItem(TOKEN);
    $('login').hidden = false;
    $('forget').hidden = true;
    $('token').focus();
  }

  async function start() {
    $('login').hidden = true;
    $('forget').hidden = !token();
    try {
      await loadPrinters();
      await loadTasks();
      listen();
    } catch (e) {
      if (e instanceof Unauthorized) return askToken();
      say(String(e && e.message ? e.message : e), 'error');
    }
  }

  document.addEventListener('DOMContentLoaded', () => {
    $('login').addEventListener('submit', (ev) => {
      ev.preventDefault();
      sessionStorage.setItem(TOKEN, $('token').value);
      $('token').value = '';
      say('');
      start();
    });
    $('forget').addEventListener('click', askToken);
    $('log-download').addEventListener('click', downloadLog);
    $('log-close').addEventListener('click', () => { $('log').hidden = true; });
    start();
  });

  return {request, printReceipt, newKey, TEST_RECEIPT};
})();
