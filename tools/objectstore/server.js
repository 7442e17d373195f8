'use strict';
// Local S3-compatible object store for tests, benchmarks and the demo.
// s3rver keeps the objects in a child process of its own, so that storing
// and checking do not share one thread; this front, on loopback, checks every
// write the way the real store does before passing it on: the SigV4 signature (with
// AWS's own signer), the access key, the session token, the payload hash and
// Content-MD5 against the body. Reads (GET, HEAD) are public, as the image
// host is. /__control/ lets tests make writes fail or stall, swap the
// accepted credentials and read the requests per object.
// With --tls-cert FILE --tls-key FILE (PEM) the front speaks https only, as a
// private store with a studio's own CA would.
const http = require('http');
const https = require('https');
const childProcess = require('child_process');
const crypto = require('crypto');
const fs = require('fs');
const os = require('os');
const path = require('path');
const S3rver = require('s3rver');
const { SignatureV4 } = require('@smithy/signature-v4');
const { Sha256 } = require('@aws-crypto/sha256-js');

function arg(name, fallback) {
  const i = process.argv.indexOf('--' + name);
  return i > 0 && i + 1 < process.argv.length ? process.argv[i + 1] : fallback;
}

const port = Number(arg('port', '27090'));
// Made only when no folder is named, so a start with --dir leaves no empty one behind.
const dataDir = arg('dir') || fs.mkdtempSync(path.join(os.tmpdir(), 'objectstore-'));
const stsFile = arg('sts', path.join(__dirname, '..', 'localbackend', 'data', 'sts.json'));
const sts = JSON.parse(fs.readFileSync(stsFile, 'utf8'));
const tlsCert = arg('tls-cert');
const tlsKey = arg('tls-key');

let accepted = {
  accessKeyId: sts.accessKeyId,
  secretAccessKey: sts.secretAccessKey,
  sessionToken: sts.sessionToken,
};
const retiredTokens = new Set();
let faults = [];          // {kind: 'fail' | 'stall', times}
// Requests left to answer as a captive portal would (-1: until reset).
let portal = 0;
// Connections accepted, so a test sees that uploads keep theirs.
const stats = { writes: 0, reads: 0, connections: 0, rejected: {} };
// Requests that reached the store per object path and method, written or
// refused alike, so a test can see that no object was sent twice.
let requests = {};
const stalled = [];

// Every answer carries the store's Date, from which a client with a wrong
// clock learns the store's time.
function s3Error(res, status, code, message, extra = '') {
  stats.rejected[code] = (stats.rejected[code] || 0) + 1;
  const body = `<?xml version="1.0" encoding="UTF-8"?>\n<Error><Code>${code}</Code><Message>${message}</Message>${extra}</Error>`;
  res.writeHead(status, {
    'Content-Type': 'application/xml', 'Content-Length': Buffer.byteLength(body), Date: new Date().toUTCString(),
  });
  res.end(body);
}

// The digests a write's headers ask to be checked are taken while the body
// arrives, so no request waits behind a whole body being hashed at its end.
function readBody(req) {
  const digests = {};
  if (/^[0-9a-f]{64}$/.test(req.headers['x-amz-content-sha256'] || '')) digests.sha256 = crypto.createHash('sha256');
  if (req.headers['content-md5'] !== undefined) digests.md5 = crypto.createHash('md5');
  return new Promise((resolve, reject) => {
    const parts = [];
    req.on('data', (c) => {
      parts.push(c);
      for (const d of Object.values(digests)) d.update(c);
    });
    req.on('end', () => resolve({
      body: Buffer.concat(parts),
      sha256: digests.sha256 && digests.sha256.digest('hex'),
      md5: digests.md5 && digests.md5.digest('base64'),
    }));
    req.on('error', reject);
  });
}

function parseAmzDate(text) {
  const m = /^(\d{4})(\d{2})(\d{2})T(\d{2})(\d{2})(\d{2})Z$/.exec(text || '');
  return m ? new Date(Date.UTC(+m[1], +m[2] - 1, +m[3], +m[4], +m[5], +m[6])) : null;
}

// Returns [status, code, message] of the first rule the write breaks, or null.
async function verify(req, { body, sha256, md5: bodyMd5 }) {
  const auth = req.headers['authorization'] || '';
  const m = /^AWS4-HMAC-SHA256 Credential=([^/]+)\/(\d{8})\/([^/]+)\/([^/]+)\/aws4_request, ?SignedHeaders=([^,]+), ?Signature=([0-9a-f]{64})$/.exec(auth);
  if (!m) return [403, 'AccessDenied', 'Missing or malformed AWS4 authorization'];
  const [, accessKey, , region, service, signedHeaderList, signature] = m;
  if (accessKey !== accepted.accessKeyId) return [403, 'InvalidAccessKeyId', 'The access key does not exist'];

  const token = req.headers['x-amz-security-token'];
  if (!token) return [403, 'InvalidToken', 'The session token is missing'];
  if (retiredTokens.has(token)) return [400, 'ExpiredToken', 'The provided token has expired'];
  if (token !== accepted.sessionToken) return [403, 'InvalidToken', 'The provided token is malformed or otherwise invalid'];

  const date = parseAmzDate(req.headers['x-amz-date']);
  if (!date) return [403, 'AccessDenied', 'x-amz-date is missing'];
  if (Math.abs(Date.now() - date.getTime()) > 15 * 60 * 1000) {
    return [403, 'RequestTimeTooSkewed', 'The difference between the request time and the current time is too large.',
      `<RequestTime>${req.headers['x-amz-date']}</RequestTime><ServerTime>${new Date().toISOString()}</ServerTime>`
      + '<MaxAllowedSkewMilliseconds>900000</MaxAllowedSkewMilliseconds>'];
  }

  const signedHeaders = signedHeaderList.split(';');
  for (const h of ['host', 'x-amz-date', 'x-amz-content-sha256', 'x-amz-security-token']) {
    if (!signedHeaders.includes(h)) return [403, 'AccessDenied', `${h} is not signed`];
  }
  const payloadHash = req.headers['x-amz-content-sha256'] || '';
  if (/^[0-9a-f]{64}$/.test(payloadHash)) {
    if (sha256 !== payloadHash)
      return [400, 'XAmzContentSHA256Mismatch', 'The provided x-amz-content-sha256 does not match what was computed'];
  } else if (payloadHash !== 'UNSIGNED-PAYLOAD') {
    return [400, 'InvalidArgument', 'x-amz-content-sha256 must be the payload hash'];
  }
  const md5 = req.headers['content-md5'];
  if (md5 !== undefined && bodyMd5 !== md5)
    return [400, 'BadDigest', 'The Content-MD5 you specified did not match what we received'];

  const url = new URL(req.url, 'http://' + req.headers.host);
  const query = {};
  for (const [k, v] of url.searchParams) query[k] = v;
  const headers = {};
  for (const h of signedHeaders) headers[h] = req.headers[h];
  const signer = new SignatureV4({
    credentials: { accessKeyId: accepted.accessKeyId, secretAccessKey: accepted.secretAccessKey, sessionToken: token },
    region, service, sha256: Sha256, uriEscapePath: false, applyChecksum: false,
  });
  const signed = await signer.sign(
    { method: req.method, protocol: 'http:', hostname: url.hostname, port: url.port, path: url.pathname, query, headers, body },
    { signingDate: date, signingRegion: region, signingService: service },
  );
  const expected = /Signature=([0-9a-f]{64})/.exec(signed.headers['authorization'] || '');
  if (process.env.OBJECTSTORE_DEBUG) console.error('signed headers', signedHeaders, headers, 'path', url.pathname, query);
  if (!expected || expected[1] !== signature)
    return [403, 'SignatureDoesNotMatch', 'The request signature we calculated does not match the signature you provided'];
  return null;
}

function forward(req, res, body, target) {
  // Checked here already: the store behind takes the request as anonymous.
  const headers = { ...req.headers, host: `127.0.0.1:${target}` };
  delete headers['authorization'];
  delete headers['x-amz-security-token'];
  const out = http.request({ host: '127.0.0.1', port: target, method: req.method, path: req.url, headers }, (up) => {
    res.writeHead(up.statusCode, up.headers);
    up.pipe(res);
  });
  out.on('error', (e) => s3Error(res, 500, 'InternalError', e.message));
  out.end(body);
}

async function control(req, res) {
  const body = (await readBody(req)).body.toString('utf8');
  const json = body ? JSON.parse(body) : {};
  const name = req.url.replace(/^\/__control\//, '').replace(/\?.*$/, '');
  if (name === 'fault' && json.kind === 'portal') portal = json.times || 1;
  else if (name === 'fault') faults.push({ kind: json.kind, times: json.times || 1 });
  else if (name === 'credentials') {
    if (json.sessionToken && json.sessionToken !== accepted.sessionToken) retiredTokens.add(accepted.sessionToken);
    accepted = { ...accepted, ...json };
    retiredTokens.delete(accepted.sessionToken);
  } else if (name === 'reset') {
    retiredTokens.clear();
    faults = [];
    portal = 0;
    stats.writes = 0; stats.reads = 0; stats.connections = 0; stats.rejected = {};
    requests = {};
    while (stalled.length) stalled.pop().destroy();
  } else if (name !== 'stats' && name !== 'requests') {
    res.writeHead(404); res.end(); return;
  }
  const reply = JSON.stringify(name === 'requests' ? requests : stats);
  res.writeHead(200, { 'Content-Type': 'application/json' });
  res.end(reply);
}

// What a captive portal or a proxy in front of the store does: 200 and a page
// of its own to every request, nothing stored.
function portalPage(req, res) {
  if (portal > 0) portal--;
  const body = '<html><body>Please log in to the network</body></html>';
  res.writeHead(200, { 'Content-Type': 'text/html', 'Content-Length': Buffer.byteLength(body) });
  res.end(req.method === 'HEAD' ? undefined : body);
}

// The child ends with its parent: a front killed outright closes the IPC
// channel, and no store is left behind holding the data folder.
async function runStore() {
  const store = new S3rver({
    address: '127.0.0.1', port: 0, silent: true, directory: dataDir,
    allowMismatchedSignatures: true,
    configureBuckets: [{ name: 'normal-order-image' }, { name: 'special-order-image' }],
  });
  const { port: storePort } = await store.run();
  process.on('disconnect', () => { store.close().finally(() => process.exit(0)); });
  process.send({ storePort });
}

function startStore() {
  const child = childProcess.fork(__filename, [...process.argv.slice(2), '--dir', dataDir, '--store-child', '1'],
    { stdio: ['ignore', 'inherit', 'inherit', 'ipc'] });
  return new Promise((resolve, reject) => {
    child.once('message', ({ storePort }) => resolve({ child, storePort }));
    child.once('exit', (code) => reject(new Error(`store process ended (${code})`)));
  });
}

async function main() {
  if (arg('store-child')) return runStore();
  const { child, storePort } = await startStore();
  child.removeAllListeners('exit');
  child.on('exit', () => { console.error('objectstore: store process ended'); process.exit(2); });

  const serve = async (req, res) => {
    try {
      if (req.url.startsWith('/__control/')) return await control(req, res);
      const counts = requests[req.url.replace(/\?.*$/, '')] ||= {};
      counts[req.method] = (counts[req.method] || 0) + 1;
      const received = await readBody(req);
      if (portal !== 0) return portalPage(req, res);
      const { body } = received;
      if (req.method === 'GET' || req.method === 'HEAD') {
        stats.reads++;
        return forward(req, res, body, storePort);
      }
      const problem = await verify(req, received);
      if (problem) return s3Error(res, ...problem);
      if (req.method === 'PUT' && faults.length) {
        const fault = faults[0];
        if (--fault.times <= 0) faults.shift();
        if (fault.kind === 'stall') { stalled.push(req.socket); return; }
        return s3Error(res, 500, 'InternalError', 'We encountered an internal error. Please try again.');
      }
      if (req.method === 'PUT') stats.writes++;
      forward(req, res, body, storePort);
    } catch (e) {
      s3Error(res, 500, 'InternalError', String(e && e.message));
    }
  };
  const front = tlsCert
    ? https.createServer({ cert: fs.readFileSync(tlsCert), key: fs.readFileSync(tlsKey || tlsCert) }, serve)
    : http.createServer(serve);
  front.on(tlsCert ? 'secureConnection' : 'connection', () => { stats.connections++; });
  front.listen(port, '127.0.0.1', () => {
    console.log(`objectstore listening on port ${front.address().port} (${tlsCert ? 'https' : 'http'}, data in ${dataDir})`);
  });
  const stop = () => {
    front.close();
    child.removeAllListeners('exit');
    child.once('exit', () => process.exit(0));
    child.disconnect();
  };
  process.on('SIGTERM', stop);
  process.on('SIGINT', stop);
}

main().catch((e) => { console.error('objectstore:', e); process.exit(2); });
