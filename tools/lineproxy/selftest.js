'use strict';
// Checks the line proxy against its model, through the real command and a
// server of its own on loopback:
//   node tools/lineproxy/selftest.js
// It fails (exit 1) where the proxy beats physics or holds too much: an
// answer sooner than the round trips it must cost, a bulk transfer faster
// than the line's rate, a sender that is not paused. How close the proxy
// comes to the line (rate used, fairness among streams) is printed, not
// asserted: that depends on how busy the machine is.
const net = require('net');
const path = require('path');
const childProcess = require('child_process');
const crypto = require('crypto');
const { performance } = require('perf_hooks');

const PROXY = path.join(__dirname, 'lineproxy.js');
const MB = 1000 * 1000;
let failures = 0;
let passes = 0;
const integrity = [];  // streams whose bytes did not arrive as sent

function check(ok, what) {
  if (ok) passes++;
  else failures++;
  console.log(`selftest: ${ok ? 'ok  ' : 'FAIL'} ${what}`);
}

// A server that answers "ask\n" lines at once and, once a sender is done,
// says how many bytes it got and their digest.
function startTarget() {
  const server = net.createServer({ allowHalfOpen: true }, (socket) => {
    socket.setNoDelay(true);
    let count = 0;
    let pending = '';
    const digest = crypto.createHash('sha256');
    socket.on('data', (buf) => {
      count += buf.length;
      digest.update(buf);
      if (buf.length < 64) {
        pending += buf.toString();
        while (pending.includes('\n')) {
          pending = pending.slice(pending.indexOf('\n') + 1);
          socket.write('answer\n');
        }
      }
    });
    socket.on('end', () => socket.end(`got ${count} ${digest.digest('hex')}\n`));
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
}

function startProxy(targetPort, rateMbit, rttMs) {
  const child = childProcess.spawn(process.execPath,
    [PROXY, '--listen', '0', '--target', `127.0.0.1:${targetPort}`, '--rate-mbit', String(rateMbit), '--rtt-ms', String(rttMs)],
    { stdio: ['ignore', 'pipe', 'inherit'] });
  let out = '';
  child.stdout.on('data', (d) => { out += d; });
  return new Promise((resolve, reject) => {
    const poll = setInterval(() => {
      const m = /port (\d+)/.exec(out);
      if (!m) return;
      clearInterval(poll);
      const stop = () => new Promise((done) => {
        child.once('exit', () => done(out));
        child.kill('SIGTERM');
      });
      resolve({ port: Number(m[1]), stop });
    }, 10);
    child.once('exit', (code) => { clearInterval(poll); reject(new Error(`lineproxy ended (${code}): ${out}`)); });
  });
}

function connect(port) {
  return new Promise((resolve) => {
    const socket = net.connect({ host: '127.0.0.1', port, allowHalfOpen: true, noDelay: true }, () => resolve(socket));
  });
}

function nextLine(socket) {
  return new Promise((resolve) => {
    let got = '';
    const onData = (d) => {
      got += d;
      if (got.includes('\n')) { socket.off('data', onData); resolve(got); }
    };
    socket.on('data', onData);
  });
}

// Letters in no order, so that bytes lost, doubled or reordered change the
// digest, and no newline reads as a request.
function payload(bytes) {
  const buf = crypto.randomBytes(bytes);
  for (let i = 0; i < bytes; i++) buf[i] = 0x61 + (buf[i] % 26);
  return buf;
}

// Sends the bytes and half-closes; resolves with the milliseconds from the
// connect until the server's count came back.
async function send(port, data) {
  const bytes = data.length;
  const expected = `got ${bytes} ${crypto.createHash('sha256').update(data).digest('hex')}`;
  const t0 = performance.now();
  const socket = await connect(port);
  const answer = nextLine(socket);
  socket.end(data);
  const line = (await answer).trim();
  const ms = performance.now() - t0;
  socket.destroy();
  if (line !== expected) integrity.push(`"${line}" for ${bytes} bytes`);
  return ms;
}

function held(report) {
  const m = /up (\d+) bytes, down (\d+) bytes \(limit (\d+)\)/.exec(report);
  if (!m) throw new Error(`no report from the proxy: ${report}`);
  return { up: Number(m[1]), down: Number(m[2]), limit: Number(m[3]) };
}

function carried(report) {
  const m = /carried up (\d+) bytes, down (\d+) bytes over (\d+) connections/.exec(report);
  if (!m) throw new Error(`no report from the proxy: ${report}`);
  return { up: Number(m[1]), down: Number(m[2]), connections: Number(m[3]) };
}

const lineMs = (bytes, rateMbit) => (bytes * 8) / (rateMbit * 1000);

async function roundTrips(target) {
  const rtt = 100;
  const proxy = await startProxy(target.address().port, 100, rtt);
  const t0 = performance.now();
  const socket = await connect(proxy.port);
  let answer = nextLine(socket);
  socket.write('ask\n');
  await answer;
  const first = performance.now() - t0;
  const t1 = performance.now();
  answer = nextLine(socket);
  socket.write('ask\n');
  await answer;
  const again = performance.now() - t1;
  socket.destroy();
  const report = await proxy.stop();
  console.log(`selftest: ${rtt} ms line: first answer on a new connection after ${first.toFixed(1)} ms, ` +
    `the next on it after ${again.toFixed(1)} ms`);
  // The handshake's round trip, then the request's; timers never fire early.
  check(first >= 2 * rtt - 1, `a new connection's first answer takes two round trips (${first.toFixed(1)} >= ${2 * rtt} ms)`);
  check(again >= rtt - 1, `a request on an open connection takes one round trip (${again.toFixed(1)} >= ${rtt} ms)`);
  const c = carried(report);
  check(c.up === 8 && c.down === 14 && c.connections === 1,
    `the proxy counts what it carried (up ${c.up}, down ${c.down}, ${c.connections} connection)`);
}

async function bulk(target, rateMbit, rttMs, bytes) {
  const proxy = await startProxy(target.address().port, rateMbit, rttMs);
  const ms = await send(proxy.port, payload(bytes));
  const h = held(await proxy.stop());
  const least = lineMs(bytes, rateMbit) + 2 * rttMs;
  console.log(`selftest: one stream of ${bytes / MB} MB at ${rateMbit} Mbit/s, ${rttMs} ms: ${ms.toFixed(0)} ms, ` +
    `line use ${(least / ms).toFixed(3)} (the line's time with handshake and round trip over the time taken); ` +
    `most held ${h.up} bytes`);
  check(ms >= least - 1, `${bytes / MB} MB at ${rateMbit} Mbit/s takes at least the line's time (${ms.toFixed(0)} >= ${least.toFixed(0)} ms)`);
  // A proxy that read on would hold nearly all of it.
  check(h.up <= h.limit + 64 * 1024, `a sender that outruns the line is paused (held ${h.up} <= ${h.limit} + one read)`);
}

async function parallel(target, rateMbit, rttMs, streams, bytes) {
  const proxy = await startProxy(target.address().port, rateMbit, rttMs);
  const data = Array.from({ length: streams }, () => payload(bytes));
  const t0 = performance.now();
  const times = await Promise.all(data.map((d) => send(proxy.port, d)));
  const ms = performance.now() - t0;
  await proxy.stop();
  const least = lineMs(streams * bytes, rateMbit) + 2 * rttMs;
  const first = Math.min(...times);
  const last = Math.max(...times);
  console.log(`selftest: ${streams} streams of ${bytes / MB} MB at ${rateMbit} Mbit/s, ${rttMs} ms: ${ms.toFixed(0)} ms, ` +
    `line use ${(least / ms).toFixed(3)}; streams ended between ${first.toFixed(0)} and ${last.toFixed(0)} ms ` +
    `(first / last ${(first / last).toFixed(3)})`);
  check(ms >= least - 1, `${streams} streams share one line (${ms.toFixed(0)} >= ${least.toFixed(0)} ms)`);
  // Each stream alone would need only its own bytes' time; sharing fairly,
  // even the first to end waited for most of the others' bytes.
  check(first >= lineMs((streams - 1) * bytes, rateMbit), `no stream gets the line to itself (first ended at ${first.toFixed(0)} ms)`);
}

async function main() {
  const target = await startTarget();
  try {
    await roundTrips(target);
    await bulk(target, 80, 20, 10 * MB);
    await parallel(target, 80, 20, 8, 1.25 * MB);
    // The fastest line the benchmark drives: can the proxy itself keep up?
    await bulk(target, 500, 30, 30 * MB);
  } finally {
    target.close();
  }
  check(!integrity.length, `every stream arrived whole and in order${integrity.length ? ` (not: ${integrity[0]} and ${integrity.length - 1} more)` : ''}`);
  console.log(`selftest: ${passes} passed, ${failures} failed`);
  process.exit(failures ? 1 : 0);
}

main().catch((e) => { console.error(`selftest: ${e.stack || e}`); process.exit(1); });
