'use strict';
// A TCP proxy that stands for one line between a studio and its store, so
// that benchmarks on one machine see what a real line costs:
//   node tools/lineproxy/lineproxy.js --listen 0 --target 127.0.0.1:9000 --rate-mbit 100 --rtt-ms 40
// Each direction is one link shared by every connection: bytes are
// serialised at the line rate (round robin over the connections, in chunks of
// at most 16 KB) and reach the other side half a round trip after their last
// bit left. A new connection sends nothing either way until one round trip
// after it was accepted (the handshake). A connection whose bytes wait for the
// link beyond the bandwidth-delay product (plus a margin) stops being read,
// so the proxy holds little and the sender feels the line's pace.
// On SIGTERM or SIGINT it prints the bytes carried each way and the
// connections opened, and exits.
const net = require('net');
const { performance } = require('perf_hooks');

const CHUNK = 16 * 1024;
// Bytes the proxy may hold for a connection beyond the line's
// bandwidth-delay product: a few reads' worth, so a sender at the line's
// pace is never paused by the proxy itself.
const MARGIN = 256 * 1024;
// A receiver that does not take what was delivered holds its link's turn
// until this much is left to write to it.
const WRITE_BACKLOG = 1024 * 1024;

function parseArgs(argv) {
  const arg = (name, fallback) => {
    const i = argv.indexOf('--' + name);
    return i >= 0 && i + 1 < argv.length ? argv[i + 1] : fallback;
  };
  const target = arg('target');
  const m = /^(.*):(\d+)$/.exec(target || '');
  if (!m) throw new Error('--target HOST:PORT is required');
  const options = {
    listen: Number(arg('listen', '0')),
    host: m[1],
    port: Number(m[2]),
    rateMbit: Number(arg('rate-mbit', '100')),
    rttMs: Number(arg('rtt-ms', '40')),
  };
  if (!(options.rateMbit > 0) || !(options.rttMs >= 0)) throw new Error('--rate-mbit must be > 0, --rtt-ms >= 0');
  return options;
}

// One direction of the line. Times are milliseconds on performance.now().
class Link {
  constructor(name, bytesPerMs, halfRttMs) {
    this.name = name;
    this.bytesPerMs = bytesPerMs;
    this.halfRttMs = halfRttMs;
    this.freeAt = 0;        // when the link has serialised all it was given
    this.flows = [];        // flows with bytes waiting to be serialised
    this.next = 0;          // round-robin position in flows
    this.deliveries = [];   // {due, flow, buf}, due never decreasing: one link serialises in order
    this.head = 0;          // first delivery not yet made
    this.fins = [];         // {due, flow}: ends passed on after the flow's last bytes
    this.carried = 0;
    this.peakQueued = 0;    // the most any one flow held waiting for the link
  }

  // When the flow's first waiting chunk could start on an idle link.
  static readyTime(flow) {
    return Math.max(flow.readyAt, flow.queue[0].at);
  }

  eligible(flow) {
    return flow.dest.writableLength < WRITE_BACKLOG;
  }

  // Serialises every chunk whose turn on the link has begun by now, taking
  // the flows in turn. A chunk whose flow is still in its handshake, or whose
  // bytes came after the link fell idle, starts no earlier than that.
  serialise(now) {
    while (this.flows.length) {
      let chosen = -1;
      let start = Infinity;
      for (let k = 0; k < this.flows.length; k++) {
        const i = (this.next + k) % this.flows.length;
        const flow = this.flows[i];
        if (!this.eligible(flow)) continue;
        const s = Math.max(this.freeAt, Link.readyTime(flow));
        if (s <= now) { chosen = i; start = s; break; }
      }
      if (chosen < 0) return;
      const flow = this.flows[chosen];
      const buf = flow.take(CHUNK);
      this.freeAt = start + buf.length / this.bytesPerMs;
      const due = this.freeAt + this.halfRttMs;
      this.deliveries.push({ due, flow, buf });
      flow.lastDue = due;
      if (!flow.queue.length) {
        this.flows.splice(chosen, 1);
        this.next = this.flows.length ? chosen % this.flows.length : 0;
        if (flow.ended) this.fins.push({ due, flow });
      } else {
        this.next = (chosen + 1) % this.flows.length;
      }
    }
  }

  deliver(now) {
    while (this.head < this.deliveries.length && this.deliveries[this.head].due <= now) {
      const { flow, buf } = this.deliveries[this.head];
      this.deliveries[this.head++] = null;
      if (!flow.dest.destroyed) {
        flow.dest.write(buf);
        this.carried += buf.length;
      }
    }
    if (this.head > 1024 && this.head * 2 > this.deliveries.length) {
      this.deliveries = this.deliveries.slice(this.head);
      this.head = 0;
    }
    this.fins = this.fins.filter(({ due, flow }) => {
      if (due > now) return true;
      if (!flow.dest.destroyed) flow.dest.end();
      return false;
    });
  }

  // The earliest time at which anything on this link is due.
  nextDue() {
    let t = Infinity;
    if (this.head < this.deliveries.length) t = this.deliveries[this.head].due;
    for (const { due } of this.fins) t = Math.min(t, due);
    for (const flow of this.flows) {
      if (this.eligible(flow)) t = Math.min(t, Math.max(this.freeAt, Link.readyTime(flow)));
    }
    return t;
  }
}

// One direction of one connection: what its source sent that the link has
// not yet serialised.
class Flow {
  constructor(link, source, dest, readyAt, limit, wake) {
    this.link = link;
    this.source = source;
    this.dest = dest;
    this.readyAt = readyAt;
    this.limit = limit;
    this.queue = [];      // {at, buf}
    this.queued = 0;
    this.lastDue = 0;
    this.ended = false;
    this.paused = false;
    source.on('data', (buf) => {
      if (!this.queue.length) link.flows.push(this);
      this.queue.push({ at: performance.now(), buf });
      this.queued += buf.length;
      link.peakQueued = Math.max(link.peakQueued, this.queued);
      if (this.queued > this.limit && !this.paused) {
        this.paused = true;
        source.pause();
      }
      wake();
    });
    source.on('end', () => {
      this.ended = true;
      // Nothing left to serialise: the end follows the last bytes given.
      if (!this.queue.length) {
        link.fins.push({ due: Math.max(performance.now() + link.halfRttMs, this.lastDue, readyAt + link.halfRttMs), flow: this });
        wake();
      }
    });
    dest.on('drain', wake);
    // Bytes for a receiver that is gone would only take the line's time.
    dest.on('close', () => {
      const i = link.flows.indexOf(this);
      if (i >= 0) link.flows.splice(i, 1);
      this.queue = [];
      this.queued = 0;
    });
  }

  take(max) {
    const head = this.queue[0];
    let buf = head.buf;
    if (buf.length > max) {
      head.buf = buf.subarray(max);
      buf = buf.subarray(0, max);
    } else {
      this.queue.shift();
    }
    this.queued -= buf.length;
    if (this.paused && this.queued <= this.limit / 2) {
      this.paused = false;
      this.source.resume();
    }
    return buf;
  }
}

function start(options, announce = console.log) {
  const bytesPerMs = (options.rateMbit * 1e6) / 8 / 1000;
  const halfRtt = options.rttMs / 2;
  const up = new Link('up', bytesPerMs, halfRtt);
  const down = new Link('down', bytesPerMs, halfRtt);
  const limit = Math.ceil(bytesPerMs * options.rttMs) + MARGIN;

  // One timer for the whole line, set for the earliest due time; each tick
  // does everything that has come due, so the line keeps its rate however
  // coarse the timers are.
  let timer = null;
  let timerAt = Infinity;
  const tick = () => {
    timer = null;
    timerAt = Infinity;
    const now = performance.now();
    for (const link of [up, down]) {
      link.serialise(now);
      link.deliver(now);
    }
    schedule();
  };
  const schedule = () => {
    const at = Math.min(up.nextDue(), down.nextDue());
    if (at === Infinity || at >= timerAt) return;
    if (timer) clearTimeout(timer);
    timerAt = at;
    timer = setTimeout(tick, Math.max(0, at - performance.now()));
  };
  // New bytes wait for the timer already set when that is soon enough.
  const wake = () => schedule();

  let connections = 0;
  const server = net.createServer({ allowHalfOpen: true, noDelay: true }, (client) => {
    connections++;
    const readyAt = performance.now() + options.rttMs;
    const store = net.connect({ host: options.host, port: options.port, allowHalfOpen: true, noDelay: true });
    const drop = () => { client.destroy(); store.destroy(); };
    client.on('error', drop);
    store.on('error', drop);
    client.on('close', (hadError) => { if (hadError) drop(); });
    store.on('close', (hadError) => { if (hadError) drop(); });
    new Flow(up, client, store, readyAt, limit, wake);
    new Flow(down, store, client, readyAt, limit, wake);
  });

  const report = () =>
    `lineproxy: carried up ${up.carried} bytes, down ${down.carried} bytes over ${connections} connections; ` +
    `most held for one connection up ${up.peakQueued} bytes, down ${down.peakQueued} bytes (limit ${limit})`;
  return new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(options.listen, '127.0.0.1', () => {
      announce(`lineproxy listening on port ${server.address().port} ` +
        `(${options.rateMbit} Mbit/s, ${options.rttMs} ms to ${options.host}:${options.port})`);
      resolve({ server, port: server.address().port, report });
    });
  });
}

if (require.main === module) {
  let options;
  try {
    options = parseArgs(process.argv);
  } catch (e) {
    console.error(`lineproxy: ${e.message}`);
    process.exit(2);
  }
  start(options).then(({ report }) => {
    const stop = () => { console.log(report()); process.exit(0); };
    process.on('SIGTERM', stop);
    process.on('SIGINT', stop);
  }, (e) => { console.error(`lineproxy: ${e.message}`); process.exit(2); });
}

module.exports = { start, parseArgs };
