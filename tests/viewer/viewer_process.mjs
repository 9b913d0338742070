// Starting and stopping a real `kurvo view` for the tests: on 127.0.0.1, on a
// port the system picks, stopped however a test ends.
import { spawn } from 'node:child_process';
import http from 'node:http';

export const tool = process.env.KURVO_TOOL;
export const examples = process.env.KURVO_EXAMPLES;

// Starts `kurvo view` and waits (at most 30 s) for the address it prints.
export function startViewer(args) {
  const child = spawn(tool, ['view', ...args], { stdio: ['ignore', 'pipe', 'pipe'] });
  let out = '', err = '';
  child.stdout.on('data', (d) => (out += d));
  child.stderr.on('data', (d) => (err += d));
  const exited = new Promise((resolve) => child.on('exit', (code, signal) => resolve({ code, signal })));
  const ready = new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error(`no address within 30 s: ${out} ${err}`)), 30000);
    const look = () => {
      const m = out.match(/http:\/\/127\.0\.0\.1:(\d+)\/\?token=([0-9a-f]+)/);
      if (m) {
        clearTimeout(timer);
        resolve({ url: m[0], port: Number(m[1]), token: m[2] });
      }
    };
    child.stdout.on('data', look);
    exited.then(() => { clearTimeout(timer); reject(new Error(`kurvo view ended: ${err}`)); });
  });
  ready.catch(() => {});  // a test that expects the failure awaits `exited` instead
  return { child, ready, exited, output: () => ({ out, err }) };
}

export function stopViewer(viewer) {
  if (viewer.child.exitCode === null && viewer.child.signalCode === null) viewer.child.kill('SIGTERM');
  return viewer.exited;
}

// One request with full control over the headers (Host and Origin included).
export function request(port, { method = 'GET', path = '/', headers = {}, body } = {}) {
  return new Promise((resolve, reject) => {
    const req = http.request({ host: '127.0.0.1', port, method, path, headers, timeout: 20000 }, (res) => {
      const chunks = [];
      res.on('data', (c) => chunks.push(c));
      res.on('end', () => resolve({ status: res.statusCode, headers: res.headers, body: Buffer.concat(chunks) }));
    });
    req.on('timeout', () => req.destroy(new Error('timed out')));
    req.on('error', reject);
    if (body !== undefined) req.write(typeof body === 'string' ? body : JSON.stringify(body));
    req.end();
  });
}
