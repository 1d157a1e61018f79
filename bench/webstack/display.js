// The web-stack display the benchmarks measure beside the kiosk: the design a
// station display of the browser kind has. Pager datagrams arrive on a UDP
// port; each is pushed over a WebSocket to a page in headless Chromium, which
// appends the lines to a bounded list in the DOM once per frame and shows a
// clock. This program also starts that Chromium, so its process tree is the
// whole display.
//
// The benchmark drives it over HTTP on loopback:
//   GET  /ready            200 once the page is connected and its clock matched
//   POST /run              a measured run begins: arrivals from now on are kept
//   GET  /result?wait=MS   held until every line that arrived has been painted
//                          and nothing arrived for a while (or MS passed), then
//                          the run's figures as "key value" lines
// Output: one line "READY udp=PORT http=PORT rcvbuf=BYTES" on stdout.
//
//   node display.js [--udp-port N] [--http-port N] [--chromium PATH]
'use strict';

const dgram = require('dgram');
const fs = require('fs');
const http = require('http');
const os = require('os');
const path = require('path');
const { spawn } = require('child_process');
const { WebSocketServer } = require('ws');

const RECEIVE_BUFFER_BYTES = 4 * 1024 * 1024; // the kiosk's own listener asks for as much
const SETTLE_MS = 150; // a run is over this long after its last arrival, once all is painted

function option(name, fallback) {
  const at = process.argv.indexOf(name);
  return at >= 0 && at + 1 < process.argv.length ? process.argv[at + 1] : fallback;
}
const udpPort = Number(option('--udp-port', '15167'));
const httpPort = Number(option('--http-port', '0'));
const chromiumPath = option('--chromium', '/usr/bin/chromium');

const nowMs = () => Number(process.hrtime.bigint()) / 1e6; // CLOCK_MONOTONIC, as the sender's stamps
const page = fs.readFileSync(path.join(__dirname, 'page.html'));

let client = null; // the page's socket
let offsetMs = null; // monotonic ms less the page's performance.now()

// The measured run: what arrived, in arrival order, and how much the page has painted.
// The page counts the lines it has appended since it loaded; a run counts from
// where that count stood when the run began.
let run = null;
let paintedTotal = 0;
function newRun() {
  return { arrivals: [], painted: [], paintedBefore: paintedTotal, lastArrivalMs: nowMs(), waiting: null };
}

// --- the display's own path: datagram in, WebSocket frame out ---------------
const udp = dgram.createSocket({ type: 'udp4', recvBufferSize: RECEIVE_BUFFER_BYTES });
udp.on('message', (datagram) => {
  if (client !== null) client.send(datagram, { binary: true });
  if (run !== null) {
    run.arrivals.push(datagram);
    run.lastArrivalMs = nowMs();
  }
});

// --- the page and its socket -------------------------------------------------
const server = http.createServer((req, res) => {
  const url = new URL(req.url, 'http://localhost');
  if (url.pathname === '/') {
    res.writeHead(200, { 'Content-Type': 'text/html; charset=utf-8', 'Cache-Control': 'no-store' });
    res.end(page);
  } else if (url.pathname === '/ready') {
    res.writeHead(client !== null && offsetMs !== null ? 200 : 503);
    res.end();
  } else if (url.pathname === '/run' && req.method === 'POST') {
    run = newRun();
    res.end('ok\n');
  } else if (url.pathname === '/result') {
    if (run === null) {
      res.writeHead(409);
      res.end('no run\n');
      return;
    }
    const current = run;
    current.waiting = { res, until: nowMs() + Number(url.searchParams.get('wait') || '10000') };
    checkDone(current);
  } else {
    res.writeHead(404);
    res.end();
  }
});

const sockets = new WebSocketServer({ server, path: '/ws', perMessageDeflate: false });
sockets.on('connection', (socket) => {
  client = socket;
  socket.on('message', (data, isBinary) => {
    if (isBinary) return;
    const message = JSON.parse(data.toString());
    if (message.ping !== undefined) {
      socket.send(JSON.stringify({ ping: message.ping, pong: nowMs() }));
    } else if (message.offset !== undefined) {
      offsetMs = message.offset;
    } else if (message.n !== undefined) {
      // n lines appended in all so far, seen painted at p (p2: after the frame's paint work)
      paintedTotal = message.n;
      if (run !== null) run.painted.push(message);
    }
  });
  socket.on('close', () => {
    if (client === socket) client = null;
  });
});

function paintedInRun(current) {
  return current.painted.length ? current.painted[current.painted.length - 1].n - current.paintedBefore : 0;
}

function checkDone(current) {
  if (current.waiting === null) return;
  const now = nowMs();
  const settled = paintedInRun(current) >= current.arrivals.length && now - current.lastArrivalMs >= SETTLE_MS;
  if (!settled && now < current.waiting.until) {
    setTimeout(() => checkDone(current), 10);
    return;
  }
  const res = current.waiting.res;
  current.waiting = null;
  res.writeHead(200, { 'Content-Type': 'text/plain' });
  res.end(summarise(current));
}

// Reads "SEQ=<digits>" and "T=<digits>" (the send time in monotonic ns) from a line.
function stamp(datagram) {
  const text = datagram.toString('latin1');
  const seq = /SEQ=(\d+)/.exec(text);
  const sent = /T=(\d+)/.exec(text);
  return seq && sent ? { seq: Number(seq[1]), sentMs: Number(BigInt(sent[1]) / 1000n) / 1000 } : null;
}

// The run's figures: how many arrived, how many the page handled (appended),
// how many of those came after every line before them, and each painted line's send-to-painted time.
function summarise(current) {
  const lines = [];
  let handled = 0;
  let inOrder = 0;
  let previous = null;
  let endNs = 0;
  const latencies = [];
  const afterPaint = [];
  let from = 0;
  for (const frame of current.painted) {
    const to = Math.min(frame.n - current.paintedBefore, current.arrivals.length);
    const paintedMs = frame.p + offsetMs;
    const afterPaintMs = frame.p2 + offsetMs;
    for (let i = Math.max(from, 0); i < to; i++) {
      const s = stamp(current.arrivals[i]);
      if (s === null) continue;
      ++handled;
      if (previous === null || s.seq > previous) {
        ++inOrder;
        previous = s.seq;
      }
      latencies.push((paintedMs - s.sentMs).toFixed(3));
      afterPaint.push((afterPaintMs - s.sentMs).toFixed(3));
      endNs = Math.round(paintedMs * 1e6);
    }
    from = Math.max(from, to);
  }
  lines.push(`arrived ${current.arrivals.length}`);
  lines.push(`handled ${handled}`);
  lines.push(`in_order ${inOrder}`);
  lines.push(`last_seq ${previous === null ? -1 : previous}`);
  lines.push(`end_ns ${endNs}`);
  lines.push(`latency_ms ${latencies.join(',')}`);
  lines.push(`after_paint_ms ${afterPaint.join(',')}`);
  return lines.join('\n') + '\n';
}

// --- start-up ----------------------------------------------------------------
function startChromium(address) {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'web-stack-profile-'));
  const args = [
    '--headless=new',
    '--no-first-run',
    '--no-default-browser-check',
    '--disable-extensions',
    '--disable-background-networking',
    '--disable-component-update',
    '--disable-sync',
    '--disable-default-apps',
    '--mute-audio',
    // a station display is always in front: no throttling of a "background" page
    '--disable-background-timer-throttling',
    '--disable-renderer-backgrounding',
    '--disable-backgrounding-occluded-windows',
    '--window-size=1280,1024',
    `--user-data-dir=${profile}`,
  ];
  if (process.getuid && process.getuid() === 0) args.push('--no-sandbox');
  const browser = spawn(chromiumPath, [...args, address], { stdio: 'ignore' });
  const cleanUp = () => fs.rmSync(profile, { recursive: true, force: true });
  browser.on('exit', cleanUp);
  const stop = () => {
    browser.kill('SIGTERM');
    setTimeout(() => process.exit(0), 500);
  };
  process.on('SIGTERM', stop);
  process.on('SIGINT', stop);
}

udp.bind(udpPort, '127.0.0.1', () => {
  server.listen(httpPort, '127.0.0.1', () => {
    const address = `http://127.0.0.1:${server.address().port}/`;
    startChromium(address);
    const ready = setInterval(() => {
      if (client === null || offsetMs === null) return;
      clearInterval(ready);
      console.log(`READY udp=${udp.address().port} http=${server.address().port} rcvbuf=${udp.getRecvBufferSize()}`);
    }, 20);
  });
});
