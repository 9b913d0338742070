// The server of `kurvo view` over HTTP: who gets in, what an edit answers,
// a taken port, and a clean stop.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import { after, before, test } from 'node:test';

import { examples, request, startViewer, stopViewer } from './viewer_process.mjs';

// The scene in a folder of its own, with a second folder named by --save-dir
// and a third the viewer must not write to.
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'kurvo-view-server-'));
const sceneDir = path.join(work, 'scene'), exportDir = path.join(work, 'exports'), elsewhere = path.join(work, 'elsewhere');
for (const d of [sceneDir, exportDir, elsewhere]) fs.mkdirSync(d);
const scene = path.join(sceneDir, 'tube-on-arc.json');
fs.copyFileSync(path.join(examples, 'tube-on-arc.json'), scene);
let viewer, address;

before(async () => {
  viewer = startViewer([scene, '--port', '0', '--quiet', '--save-dir', exportDir]);
  address = await viewer.ready;
});
after(async () => {
  await stopViewer(viewer);
  fs.rmSync(work, { recursive: true, force: true });
});

test('the page and the calls need the token, the own host and the own origin', async () => {
  const { port, token } = address;
  const host = `127.0.0.1:${port}`;
  assert.equal((await request(port, { path: '/' })).status, 403);
  assert.equal((await request(port, { path: '/?token=' + '0'.repeat(32) })).status, 403);
  const page = await request(port, { path: '/?token=' + token });
  assert.equal(page.status, 200);
  // The token stays in the page: browsers send cookies of 127.0.0.1 to every port.
  assert.equal(page.headers['set-cookie'], undefined);
  assert.equal(page.headers['referrer-policy'], 'no-referrer');

  // The page's scripts are the same for everybody; nothing outside their folder comes out.
  assert.equal((await request(port, { path: '/app/main.js' })).status, 200);
  assert.equal((await request(port, { path: '/app/vendor/three.module.js' })).status, 200);
  for (const name of ['/app//etc/passwd', '/app/%2fetc%2fpasswd', '/app//proc/self/environ', '/app/%2e%2e/%2e%2e/CMakeLists.txt',
    '/app/../CMakeLists.txt', '/app/vendor/../../viewer_tests', '/app/', '/app/vendor']) {
    const answer = await request(port, { path: name });
    assert.equal(answer.status, 404, name);
    assert.doesNotMatch(answer.body.toString(), /root:|PATH=/, name);
  }
  // The calls need the token in their header; in the address it is not enough.
  assert.equal((await request(port, { path: '/api/scene?token=' + token })).status, 403);

  const withToken = { 'X-Kurvo-Token': token };
  assert.equal((await request(port, { path: '/api/scene', headers: withToken })).status, 200);
  assert.equal((await request(port, { path: '/api/scene', headers: { ...withToken, Origin: 'http://evil.example' } })).status, 403);
  assert.equal((await request(port, { path: '/api/scene', headers: { ...withToken, Host: `evil.example:${port}` } })).status, 403);

  // A change needs the token in its header, which another site's form cannot send.
  const edit = { object: 1, params: { KURVO_OFFSET: 0.5 } };
  const viaQuery = await request(port, { method: 'POST', path: '/api/edit?token=' + token, headers: { Host: host }, body: edit });
  assert.equal(viaQuery.status, 403);
});

test('idle and dribbling connections neither starve the page nor stay for long', async () => {
  const { port, token } = address;
  const open = (dribble) => new Promise((resolve) => {
    const socket = net.connect(port, '127.0.0.1', () => resolve(socket));
    socket.ended = new Promise((r) => socket.on('close', r));
    socket.on('error', () => {});
    if (dribble) {
      const text = 'GET /api/scene HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Padding: ' + 'x'.repeat(1000);
      let at = 0;
      socket.timer = setInterval(() => { if (!socket.destroyed) socket.write(text[at++ % text.length]); }, 250);
    }
  });
  // One after the other: the listening queue is short. Dribbling ones stay
  // open as long as they send, so the answer below cannot just wait them out.
  const idle = [], slow = [];
  for (let i = 0; i < 40; ++i) slow.push(await open(true));
  for (let i = 0; i < 10; ++i) idle.push(await open(false));
  let slowClosed = 0;
  for (const s of slow) s.ended.then(() => slowClosed++);
  try {
    const answer = await request(port, { path: '/api/scene', headers: { 'X-Kurvo-Token': token } });
    assert.equal(answer.status, 200);
    assert.equal(slowClosed, 0, 'the answer came only after the dribbling connections were closed');
    // Connections that send nothing are closed by the server.
    await Promise.all(idle.map((s) => s.ended));
  } finally {
    for (const s of slow) { clearInterval(s.timer); s.destroy(); }
    for (const s of idle) s.destroy();
  }
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

  const readout = await request(port, { method: 'POST', path: '/api/edit', headers, body: { object: bend.id, params: { KURVO_SPLINE_LENGTH: 5 } } });
  assert.equal(readout.status, 422);
  assert.match(JSON.parse(readout.body).error, /Bend.*KURVO_SPLINE_LENGTH.*read-out/);

  const garbage = await request(port, { method: 'POST', path: '/api/edit', headers, body: '{"object": ' });
  assert.equal(garbage.status, 400);
  const unknown = await request(port, { path: '/api/panel?object=999999', headers });
  assert.equal(unknown.status, 422);

  // A flood of unknown parameter IDs is refused whole; a few are kept.
  const ids = (n, from) => Object.fromEntries(Array.from({ length: n }, (_, i) => [String(from + i), 1]));
  for (const [n, status] of [[100000, 413], [2000, 422], [500, 422]]) {
    const flood = await request(port, { method: 'POST', path: '/api/edit', headers, body: { object: bend.id, params: ids(n, 5000000) } });
    assert.equal(flood.status, status, `${n} unknown IDs`);
    assert.match(JSON.parse(flood.body).error, /at most|more than/);
  }
  const few = await request(port, { method: 'POST', path: '/api/edit', headers, body: { object: bend.id, params: ids(3, 6000000) } });
  assert.equal(few.status, 200);
  const panel = JSON.parse((await request(port, { path: `/api/panel?object=${bend.id}`, headers })).body);
  assert.ok(panel.rows.length > 0);
});

test('save and export write whole files inside the allowed folders or say why not', async () => {
  const { port, token } = address;
  const headers = { 'X-Kurvo-Token': token, 'Content-Type': 'application/json' };
  const save = (file) => request(port, { method: 'POST', path: '/api/save', headers, body: file === undefined ? {} : { file } });
  const listing = (dir) => fs.readdirSync(dir).sort();

  // Beside the scene (relative or absolute) and in the --save-dir folder.
  assert.equal((await save('bent.obj')).status, 200);
  assert.match(fs.readFileSync(path.join(sceneDir, 'bent.obj'), 'utf8'), /^v /m);
  const json = path.join(exportDir, 'edited.json');
  assert.equal((await save(json)).status, 200);
  assert.equal(JSON.parse(fs.readFileSync(json, 'utf8')).format, 'kurvo-scene');
  assert.equal((await save(path.join(exportDir, 'sub', '..', 'again.obj'))).status, 200);
  assert.equal((await save()).status, 200);

  // Anywhere else is refused with the reason, and nothing is written there.
  fs.writeFileSync(path.join(elsewhere, 'settings.json'), '{"mine": true}');
  fs.symlinkSync(path.join(elsewhere, 'settings.json'), path.join(sceneDir, 'link.json'));
  const before = listing(elsewhere);
  for (const file of [path.join(elsewhere, 'settings.json'), path.join(elsewhere, 'x.obj'), '../elsewhere/x.obj',
    '../x.obj', 'link.json', `${exportDir}-2/x.obj`, '/tmp/kurvo-view-x.json', sceneDir]) {
    const refused = await save(file);
    assert.equal(refused.status, 422, file);
    assert.match(JSON.parse(refused.body).error, /writes only inside/, file);
  }
  assert.deepEqual(listing(elsewhere), before);
  assert.equal(fs.readFileSync(path.join(elsewhere, 'settings.json'), 'utf8'), '{"mine": true}');
  assert.ok(!fs.existsSync(path.join(work, 'x.obj')));

  const unknown = await save('x.xyz');
  assert.equal(unknown.status, 422);
  assert.match(JSON.parse(unknown.body).error, /unknown output format/);
  const nowhere = await save(path.join('no', 'such', 'x.obj'));
  assert.equal(nowhere.status, 422);
  // Nothing half-written or temporary is left behind.
  assert.deepEqual(listing(sceneDir), ['bent.mtl', 'bent.obj', 'link.json', 'tube-on-arc.json']);
  assert.deepEqual(listing(exportDir), ['again.mtl', 'again.obj', 'edited.json']);
});

// A scene written by hand, in forms the tool itself would not write:
// positions (not matrices), a parameter by its ID, defaults left out.
const handWritten = {
  format: 'kurvo-scene',
  version: 1,
  objects: [
    { name: 'Ring', type: 'spline', primitive: { kind: 'circle', radius: 250 } },
    {
      name: 'Star bar', type: 'polygon', mesh: 'meshes/star-bar.obj', position: [0, 0, 300],
      children: [{
        name: 'Bend', type: 'Kurvo2', position: [0, 0, -300],
        params: { KURVO_SPLINE: 'Ring', 1000: 0.125, KURVO_UP_VECTOR: [0, 0, 1] },
      }],
    },
  ],
};

test('save writes the file as written, with only the edited values changed', async () => {
  const dir = path.join(work, 'hand');
  fs.mkdirSync(path.join(dir, 'meshes'), { recursive: true });
  fs.copyFileSync(path.join(examples, 'star-bar.obj'), path.join(dir, 'meshes', 'star-bar.obj'));
  const file = path.join(dir, 'scene.json');
  fs.writeFileSync(file, JSON.stringify(handWritten, null, 1));
  const own = startViewer([file, '--port', '0', '--quiet', '--save-dir', exportDir]);
  try {
    const { port, token } = await own.ready;
    const headers = { 'X-Kurvo-Token': token, 'Content-Type': 'application/json' };
    const info = JSON.parse((await request(port, { path: '/api/scene', headers })).body);
    const bend = info.objects.find((o) => o.name === 'Bend').id;
    assert.equal(info.objects.find((o) => o.name === 'Ring').kind, 'circle spline');
    const edit = async (params) => assert.equal((await request(port, { method: 'POST', path: '/api/edit', headers, body: { object: bend, params } })).status, 200);
    const saved = async (name) => {
      const answer = await request(port, { method: 'POST', path: '/api/save', headers, body: name ? { file: name } : {} });
      assert.equal(answer.status, 200, answer.body.toString());
      return JSON.parse(fs.readFileSync(name ? path.resolve(dir, name) : file, 'utf8'));
    };
    const expected = structuredClone(handWritten);
    const bendOf = (scene) => scene.objects[1].children[0];

    assert.deepEqual(await saved(), expected, 'unedited');
    // The offset the file gave by ID stays under its ID; a value the file
    // left out is added by symbol; nothing else moves.
    await edit({ KURVO_OFFSET: 0.25 });
    bendOf(expected).params[1000] = 0.25;
    assert.deepEqual(await saved(), expected, 'after one edit');
    // Set back to what the file gave before saving, a value is left as the file had it.
    await edit({ KURVO_ROTATION: 0.5 });
    await edit({ KURVO_ROTATION: 0 });
    assert.deepEqual(await saved(), expected, 'after an edit taken back');
    await edit({ KURVO_ROTATION: 0.5 });
    bendOf(expected).params.KURVO_ROTATION = 0.5;
    assert.deepEqual(await saved(), expected, 'after an edit of a default');

    // Written elsewhere, mesh files are named from the new folder.
    const copy = await saved(path.join(exportDir, 'copy.json'));
    assert.equal(path.resolve(exportDir, copy.objects[1].mesh), path.join(dir, 'meshes', 'star-bar.obj'));
    copy.objects[1].mesh = expected.objects[1].mesh;
    assert.deepEqual(copy, expected, 'exported');
  } finally {
    await stopViewer(own);
  }
});

test('animated values are marked; an edit keys the current frame, and save keeps the key', async () => {
  const dir = path.join(work, 'animated');
  fs.mkdirSync(dir);
  const original = JSON.parse(fs.readFileSync(path.join(examples, 'tube-sliding.json'), 'utf8'));
  // Rotation keyed from frame 10 on: an edit at the first frame (0) adds a key.
  const slideOf = (scene) => scene.objects[1].children[0];
  slideOf(original).tracks[1].keys = [[10, 0], [72, 3]];
  const file = path.join(dir, 'sliding.json');
  fs.writeFileSync(file, JSON.stringify(original));
  const own = startViewer([file, '--port', '0', '--quiet']);
  try {
    const { port, token } = await own.ready;
    const headers = { 'X-Kurvo-Token': token, 'Content-Type': 'application/json' };
    const info = JSON.parse((await request(port, { path: '/api/scene', headers })).body);
    const slide = info.objects.find((o) => o.name === 'Slide').id;
    const panel = JSON.parse((await request(port, { path: `/api/panel?object=${slide}`, headers })).body);
    const animated = panel.rows.filter((r) => r.animated).map((r) => r.key).sort();
    assert.deepEqual(animated, ['KURVO_OFFSET', 'KURVO_ROTATION']);
    for (const params of [{ KURVO_OFFSET: 0.5 }, { KURVO_ROTATION: 0.25 }, { KURVO_STRETCH: true }]) {
      const answer = await request(port, { method: 'POST', path: '/api/edit', headers, body: { object: slide, params } });
      assert.equal(answer.status, 200);
    }
    assert.equal((await request(port, { method: 'POST', path: '/api/save', headers, body: {} })).status, 200);
    const expected = structuredClone(original);
    slideOf(expected).tracks[0].keys[0] = [0, 0.5];  // the key at frame 0 set
    slideOf(expected).tracks[1].keys.unshift([0, 0.25]);  // a key added at frame 0
    slideOf(expected).params.KURVO_STRETCH = true;  // not animated: the value itself
    assert.deepEqual(JSON.parse(fs.readFileSync(file, 'utf8')), expected);
  } finally {
    await stopViewer(own);
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
