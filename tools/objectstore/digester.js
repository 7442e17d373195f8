'use strict';
// Hashes request bodies for the store's front on a thread of its own, so that
// checking the writes of several clients does not hold up the front's one
// event loop. Messages: {id, algorithms} opens a job, {id, chunk} feeds it,
// {id, end: true} answers {id, digests} with sha256 in hex and md5 in base64.
const { parentPort } = require('worker_threads');
const crypto = require('crypto');

const jobs = new Map();
parentPort.on('message', ({ id, algorithms, chunk, end }) => {
  if (algorithms) {
    jobs.set(id, algorithms.map((name) => [name, crypto.createHash(name)]));
    return;
  }
  const hashes = jobs.get(id);
  if (chunk) {
    for (const [, hash] of hashes) hash.update(chunk);
    return;
  }
  if (end) {
    jobs.delete(id);
    const digests = {};
    for (const [name, hash] of hashes) digests[name] = hash.digest(name === 'md5' ? 'base64' : 'hex');
    parentPort.postMessage({ id, digests });
  }
});
