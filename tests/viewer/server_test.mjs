// The server of `kurvo view` over HTTP: who gets in, what an edit answers,
// a taken port, and a clean stop.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { after, before, test } from 'node:test';

import { examples, request, startViewer, stopViewer } from './viewer_process.mjs';

const scene = path.join(examples, 'tube-on-arc.json');
let viewer, address;

before(async () => {
  viewer = startViewer([scene, '--port', '0', '--quiet']);
  address = await viewer.ready;
});
after(() => stopViewer(viewer));

test('the page and the calls need the token, the own host and the own origin', async () => {
  const { port, token } = address;
  const host = `127.0.0.1:${port}`;
  assert.equal((await request(port, { path: '/' })).status, 403);
  assert.equal((await request(port, { path: '/?token=' + '0'.repeat(32) })).status, 403);
  const page = await request(port, { path: '/?token=' + token });
  assert.equal(page.status, 200);
  const cookie = page.headers['set-cookie'][0].split(';')[0];
  assert.match(page.headers['set-cookie'][0], /HttpOnly; SameSite=Strict/);

  // The page's scripts come with the cookie; nothing comes without it.
  assert.equal((await request(port, { path: '/app/main.js', headers: { Cookie: cookie } })).status, 200);
  assert.equal((await request(port, { path: '/app/main.js' })).status, 403);
  assert.equal((await request(port, { path: '/app/../CMakeLists.txt', headers: { Cookie: cookie } })).status, 404);

  const withToken = { 'X-Kurvo-Token': token };
  assert.equal((await request(port, { path: '/api/scene', headers: withToken })).status, 200);
  assert.equal((await request(port, { path: '/api/scene', headers: { ...withToken, Origin: 'http://evil.example' } })).status, 403);
  assert.equal((await request(port, { path: '/api/scene', headers: { ...withToken, Host: `evil.example:${port}` } })).status, 403);

  // A change needs the token in its header: the cookie alone, which another
  // site's form would carry, is not enough.
  const edit = { object: 1, params: { KURVO_OFFSET: 0.5 } };
  const viaCookie = await request(port, { method: 'POST', path: '/api/edit', headers: { Cookie: cookie, Host: host }, body: edit });
  assert.equal(viaCookie.status, 403);
});

test('edits answer binary geometry or the field\'s message', async () => {
  const { port, token } = address;
  const headers = { 'X-Kurvo-Token': token, 'Content-Type': 'application/json' };
  const info = JSON.parse((await request(port, { path: '/api/scene', headers })).body);
  const bend = info.objects.find((o) => o.name === 'Bend');
  assert.ok(bend, 'the example has the deformer Bend');

  const good = await request(port, { method: 'POST', path: '/api/edit', headers, body: { object: bend.id, params: { KURVO_OFFSET: 0.3 } } });
  assert.equal(good.status, 200);
  assert.equal(good.body.subarray(0, 4).toString(), 'KVF1');

  const bad = await request(port, { method: 'POST', path: '/api/edit', headers, body: { object: bend.id, params: { KURVO_OFFSET: 'far' } } });
  assert.equal(bad.status, 422);
  assert.match(JSON.parse(bad.body).error, /tube-on-arc\.json.*Bend.*KURVO_OFFSET/);

  const garbage = await request(port, { method: 'POST', path: '/api/edit', headers, body: '{"object": ' });
  assert.equal(garbage.status, 400);
  const unknown = await request(port, { path: '/api/panel?object=999999', headers });
  assert.equal(unknown.status, 422);
});

test('save and export write whole files or say why not', async () => {
  const { port, token } = address;
  const headers = { 'X-Kurvo-Token': token, 'Content-Type': 'application/json' };
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'kurvo-view-save-'));
  try {
    const obj = path.join(dir, 'bent.obj');
    const saved = await request(port, { method: 'POST', path: '/api/save', headers, body: { file: obj } });
    assert.equal(saved.status, 200);
    assert.match(fs.readFileSync(obj, 'utf8'), /^v /m);
    const json = path.join(dir, 'edited.json');
    assert.equal((await request(port, { method: 'POST', path: '/api/save', headers, body: { file: json } })).status, 200);
    assert.equal(JSON.parse(fs.readFileSync(json, 'utf8')).format, 'kurvo-scene');

    const unknown = await request(port, { method: 'POST', path: '/api/save', headers, body: { file: path.join(dir, 'x.xyz') } });
    assert.equal(unknown.status, 422);
    assert.match(JSON.parse(unknown.body).error, /unknown output format/);
    const nowhere = await request(port, { method: 'POST', path: '/api/save', headers, body: { file: path.join(dir, 'no', 'such', 'x.obj') } });
    assert.equal(nowhere.status, 422);
    // Nothing half-written or temporary is left behind.
    for (const f of fs.readdirSync(dir)) assert.ok(['bent.obj', 'bent.mtl', 'edited.json'].includes(f), f);
  } finally {
    fs.rmSync(dir, { recursive: true, force: true });
  }
});

test('a second viewer on a taken port says so', async () => {
  const second = startViewer([scene, '--port', String(address.port), '--quiet']);
  const { code } = await second.exited;
  assert.equal(code, 1);
  assert.match(second.output().err, new RegExp(`127\\.0\\.0\\.1:${address.port} is taken`));
});

test('Ctrl-C stops the server cleanly', async () => {
  const own = startViewer([scene, '--port', '0']);
  await own.ready;
  own.child.kill('SIGINT');
  const { code } = await own.exited;
  assert.equal(code, 0);
  assert.match(own.output().out, /stopped/);
});
