// Working in `kurvo view` in a real browser (Debian's chromium, headless), on
// the sliding-tube example: scrubbing the timeline shows what `kurvo eval
// --frames F:F` writes; a path point dragged with the gizmo moves the tube as
// `kurvo eval` of the file with that point moved; undo gives back the exact
// earlier points across point, parameter and placement edits, redo the later
// ones; an outside change of the file reloads it with the camera and selection
// kept, and a file that no longer loads leaves the last good scene. Then the
// times of edits and drags at 10^5 and 10^6 points, printed, never asserted.
// Exits 77 (skipped) when chromium or the npm packages are missing, unless
// KURVO_REQUIRE_BROWSER is set.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

import { checks, chromium, evalPoints, loadPuppeteer, outDir, worstDifference } from './browser_harness.mjs';
import { examples, startViewer, stopViewer } from './viewer_process.mjs';

const puppeteer = loadPuppeteer();

const work = fs.mkdtempSync(path.join(os.tmpdir(), 'kurvo-edit-'));
const scenePath = path.join(work, 'tube-sliding.json');
// The example with Rotation left unanimated, so that the panel edits it as a plain value.
const example = JSON.parse(fs.readFileSync(path.join(examples, 'tube-sliding.json'), 'utf8'));
const slide = example.objects[1].children[0];
slide.tracks = slide.tracks.filter((t) => t.param !== 'KURVO_ROTATION');
const original = JSON.stringify(example, null, 2);
fs.writeFileSync(scenePath, original);

const { check, failures } = checks();


function median(values) {
  const v = [...values].sort((a, b) => a - b);
  return v[Math.floor(v.length / 2)];
}

const launchArgs = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync',
  '--use-gl=angle', '--use-angle=swiftshader', '--enable-unsafe-swiftshader'];

const viewer = startViewer([scenePath, '--port', '0', '--quiet']);
let browser;
try {
  const address = await viewer.ready;
  browser = await puppeteer.launch({ executablePath: chromium, userDataDir: path.join(work, 'profile'), args: launchArgs,
    defaultViewport: { width: 1300, height: 760 }, protocolTimeout: 120000 });
  const page = await browser.newPage();
  const problems = [];
  page.on('pageerror', (e) => problems.push(e.message));
  page.on('console', (m) => { if (m.type() === 'error') console.log(`  page: ${m.text()}`); });
  await page.goto(address.url);
  await page.waitForFunction('window.kurvo && window.kurvo.ready', { timeout: 30000 });
  const positions = () => page.evaluate(() => Array.from(window.kurvo.viewport.meshes[0].geometry.getAttribute('position').array));
  const hostShape = (name) => page.evaluate(async (n) => {
    const token = new URLSearchParams(location.search).get('token');
    const get = (p) => fetch(p, { headers: { 'X-Kurvo-Token': token } }).then((r) => r.json());
    const scene = await get('/api/scene');
    return get(`/api/shape?object=${scene.objects.find((o) => o.name === n).id}`);
  }, name);
  const selectInTree = async (name) => {
    const items = await page.$$('#tree div');
    for (const item of items) if ((await item.evaluate((e) => e.firstChild.textContent)) === name) await item.click();
    await page.waitForFunction((n) => {
      const s = document.querySelector('#tree div.selected');
      return s && s.firstChild.textContent === n && window.kurvo.handles.shape && window.kurvo.handles.shape.name === n;
    }, { timeout: 20000 }, name);
  };
  // Waits until no move is on its way or waiting.
  const settled = () => page.waitForFunction(() => !window.kurvo.handles.busy && !window.kurvo.handles.latest, { timeout: 60000 });
  // Drags what the gizmo holds: presses on the gizmo's centre and moves by (dx, dy) pixels in steps.
  const dragGizmo = async (dx, dy) => {
    const at = await page.evaluate(() => {
      const { handles, viewport } = window.kurvo;
      const p = handles.gizmo.object.getWorldPosition(new handles.gizmo.object.position.constructor()).project(viewport.camera);
      const box = viewport.canvas.getBoundingClientRect();
      return { x: box.left + ((p.x + 1) / 2) * box.width, y: box.top + ((1 - p.y) / 2) * box.height };
    });
    await page.mouse.move(at.x, at.y);
    await page.mouse.down();
    for (let i = 1; i <= 10; ++i) await page.mouse.move(at.x + (dx * i) / 10, at.y + (dy * i) / 10);
    await page.mouse.up();
    await settled();
  };
  let scrubbed, dragged, frame = 36;

  await check('scrubbing to a frame shows what kurvo eval --frames writes for it', async () => {
    assert.deepEqual(problems, []);
    assert.equal(await page.$eval('#timeline', (t) => t.hidden), false, 'the timeline shows for an animated scene');
    const before = await page.evaluate(() => window.kurvo.frames);
    await page.$eval('#timeline .scrub', (s, f) => { s.value = f; s.dispatchEvent(new Event('input')); }, String(frame));
    await page.waitForFunction((n, f) => window.kurvo.frames > n && window.kurvo.frame === f, { timeout: 20000 }, before, frame);
    assert.equal(await page.$eval('#timeline .frame', (i) => Number(i.value)), frame);
    scrubbed = await positions();
    const worst = worstDifference(evalPoints(work, scenePath, frame), scrubbed);
    assert.ok(worst < 0.01, `largest difference ${worst}`);
    // Played frames go on from there.
    await page.click('#timeline .play');
    await page.waitForFunction((f) => window.kurvo.frame > f, { timeout: 20000 }, frame);
    await page.click('#timeline .play');
    await page.waitForFunction(() => !window.kurvo.timeline.busy, { timeout: 20000 });
    frame = await page.evaluate(() => window.kurvo.frame);
    scrubbed = await positions();
    const again = worstDifference(evalPoints(work, scenePath, frame), scrubbed);
    assert.ok(again < 0.01, `frame ${frame}: largest difference ${again}`);
  });

  await check('a dragged path point moves the tube as kurvo eval of the file with that point moved', async () => {
    await selectInTree('Path');
    // A real click on the handle of point 2 picks it.
    const at = await page.evaluate(() => {
      const { handles, viewport } = window.kurvo;
      const p = handles.points[2].getWorldPosition(handles.points[2].position.clone()).project(viewport.camera);
      const box = viewport.canvas.getBoundingClientRect();
      return { x: box.left + ((p.x + 1) / 2) * box.width, y: box.top + ((1 - p.y) / 2) * box.height };
    });
    await page.mouse.click(at.x, at.y);
    await page.waitForFunction(() => window.kurvo.handles.gizmo.object === window.kurvo.handles.points[2], { timeout: 10000 });
    const sentBefore = await page.evaluate(() => window.kurvo.shapeEditsSent);
    await dragGizmo(-120, -60);
    const sent = (await page.evaluate(() => window.kurvo.shapeEditsSent)) - sentBefore;
    assert.ok(sent >= 1 && sent <= 10, `${sent} edits for 10 moves`);
    assert.equal(await page.evaluate(() => window.kurvo.mostMovesOnTheirWay), 1, 'one move on its way at a time');
    const shape = await hostShape('Path');
    const moved = shape.spline.points[2];
    const file = JSON.parse(original);
    const filePoint = file.objects[0].points[2];
    assert.ok(Math.hypot(moved[0] - filePoint[0], moved[1] - filePoint[1], moved[2] - filePoint[2]) > 5, `the point moved: ${moved}`);
    // The other points stay as the file has them.
    shape.spline.points.forEach((p, i) => { if (i !== 2) assert.deepEqual(p, file.objects[0].points[i]); });
    file.objects[0].points[2] = moved;
    const editedPath = path.join(work, 'moved-point.json');
    fs.writeFileSync(editedPath, JSON.stringify(file));
    dragged = await positions();
    await page.screenshot({ path: path.join(outDir, 'viewer-edit-page.png') });
    const worst = worstDifference(evalPoints(work, editedPath, frame), dragged);
    assert.ok(worst < 0.01, `largest difference ${worst}`);
  });

  await check('undo goes back to the exact earlier points across point, parameter and placement edits; redo forward', async () => {
    // A parameter edit in the panel.
    await selectInTree('Slide');
    const field = 'input[type=number][data-key=KURVO_ROTATION]';
    await page.waitForSelector(field, { timeout: 20000 });
    const edits = await page.evaluate(() => window.kurvo.edits);
    await page.click(field, { clickCount: 3 });
    await page.type(field, '40');
    await page.keyboard.press('Tab');
    await page.waitForFunction((n) => window.kurvo.edits > n, { timeout: 20000 }, edits);
    const afterParam = await positions();
    assert.notDeepEqual(afterParam, dragged);
    // A placement edit: the tube moved with the gizmo.
    await selectInTree('Tube');
    await page.click('#tools button[data-mode=move]');
    await dragGizmo(80, 40);
    const afterMove = await positions();
    assert.notDeepEqual(afterMove, afterParam);
    const camera = await page.evaluate(() => window.kurvo.viewport.camera.position.toArray());

    const undoOnce = async () => {
      const n = await page.evaluate(() => window.kurvo.undos);
      await page.click('#canvas', { offset: { x: 5, y: 5 } });
      await page.keyboard.down('Control');
      await page.keyboard.press('z');
      await page.keyboard.up('Control');
      await page.waitForFunction((k) => window.kurvo.undos > k, { timeout: 20000 }, n);
    };
    await undoOnce();
    assert.deepEqual(await positions(), afterParam);
    await undoOnce();
    assert.deepEqual(await positions(), dragged);
    await undoOnce();
    assert.deepEqual(await positions(), scrubbed, 'back to the exact points before the drag');
    assert.deepEqual((await hostShape('Path')).spline.points, JSON.parse(original).objects[0].points);
    assert.equal(await page.$eval('#undo', (b) => b.disabled), true, 'nothing left to undo');
    for (let i = 0; i < 3; ++i) {
      const n = await page.evaluate(() => window.kurvo.undos);
      await page.click('#redo');
      await page.waitForFunction((k) => window.kurvo.undos > k, { timeout: 20000 }, n);
    }
    assert.deepEqual(await positions(), afterMove);
    assert.deepEqual(await page.evaluate(() => window.kurvo.viewport.camera.position.toArray()), camera);
  });

  await check('an outside change reloads the scene, keeping camera, frame and selection; a broken file keeps the last good one', async () => {
    const camera = await page.evaluate(() => window.kurvo.viewport.camera.position.toArray());
    const changed = original.replace('"radius": 30', '"radius": 45');
    assert.notEqual(changed, original);
    fs.writeFileSync(scenePath, changed);
    await page.waitForFunction(() => window.kurvo.reloads >= 1, { timeout: 30000, polling: 100 });
    await page.waitForFunction(() => window.kurvo.handles.shape && window.kurvo.handles.shape.name === 'Tube', { timeout: 20000 });
    const shown = await positions();
    const worst = worstDifference(evalPoints(work, scenePath, frame), shown);
    assert.ok(worst < 0.01, `largest difference ${worst}`);
    assert.deepEqual(await page.evaluate(() => window.kurvo.viewport.camera.position.toArray()), camera);
    assert.equal(await page.$eval('#tree div.selected', (e) => e.firstChild.textContent), 'Tube');
    assert.equal(await page.evaluate(() => window.kurvo.frame), frame);

    fs.writeFileSync(scenePath, changed.replace('"radius": 45', '"radius": forty'));
    await page.waitForFunction(() => window.kurvo.watchError, { timeout: 30000, polling: 100 });
    assert.match(await page.$eval('#status', (s) => s.textContent), /tube-sliding\.json:\d+:\d+/);
    assert.deepEqual(await positions(), shown, 'the last good scene stays');
    assert.equal(await page.evaluate(() => window.kurvo.reloads), 1);
    assert.deepEqual(problems, []);
  });
} catch (e) {
  failures.push(e.message);
  console.log(`not ok - ${e.stack}`);
} finally {
  // The first page stops asking before its viewer goes away.
  if (browser) for (const p of await browser.pages()) await p.close();
  await stopViewer(viewer);
}

// The times of a parameter edit (Rotation) and of a dragged path point on a tube of
// `segments` x 100 points: the host's part (Server-Timing), the page's part
// from the answer into the GPU buffers, and the software drawing apart.
async function timings(segments) {
  const big = JSON.parse(original);
  big.objects[1].primitive.rotation_segments = 100;
  big.objects[1].primitive.height_segments = segments;
  const bigPath = path.join(work, `big-${segments}.json`);
  fs.writeFileSync(bigPath, JSON.stringify(big));
  const second = startViewer([bigPath, '--port', '0', '--quiet']);
  try {
    const where = await second.ready;
    const p = await browser.newPage();
    await p.goto(where.url);
    await p.waitForFunction('window.kurvo && window.kurvo.ready', { timeout: 120000 });
    const points = await p.evaluate(() => window.kurvo.viewport.meshes[0].geometry.getAttribute('position').count);
    const lines = [];
    for (const kind of ['parameter edit', 'path point drag']) {
      const samples = await p.evaluate(async (k) => {
        const { post } = await import('/app/api.js');
        const out = [];
        const scene = await (await fetch('/api/scene', { headers: { 'X-Kurvo-Token': new URLSearchParams(location.search).get('token') } })).json();
        const slide = scene.objects.find((o) => o.name === 'Slide').id;
        const pathId = scene.objects.find((o) => o.name === 'Path').id;
        for (let i = 1; i <= 8; ++i) {
          const body = k === 'parameter edit' ? { object: slide, params: { KURVO_ROTATION: i * 0.1 } }
            : { object: pathId, points: [[0, 0, 0], [150, 80, 200], [i * 10, 160, 400], [-150, 80, 600], [0, 0, 800]] };
          const answer = await post(k === 'parameter edit' ? '/api/edit' : '/api/shape', body);
          const frame = (await import('/app/api.js')).parseFrame(answer.buffer);
          if (frame.header.meshes.length !== 1) throw new Error(`${k} ${i}: the moved tube was not sent`);
          const show = window.kurvo.viewport.showTimed(frame);
          out.push({ host: answer.hostMs, hostCpu: answer.hostCpuMs, apply: show.apply, upload: show.upload, draw: show.draw });
        }
        return out;
      }, kind);
      const m = (key) => median(samples.map((s) => s[key])).toFixed(1);
      lines.push(`${kind}, ${points} points: host ${m('host')} ms (CPU ${m('hostCpu')} ms), ` +
        `page answer to GPU buffers ${median(samples.map((s) => s.apply + s.upload)).toFixed(1)} ms ` +
        `(into buffers ${m('apply')}, upload ${m('upload')}), software drawing ${m('draw')} ms (medians of ${samples.length})`);
    }
    await p.close();
    return lines;
  } finally {
    await stopViewer(second);
  }
}

try {
  if (browser && !failures.length && process.env.KURVO_EDIT_TIMINGS !== '0') {
    const lines = [...await timings(1000), ...await timings(10000)];
    for (const line of lines) console.log(`  ${line}`);
    fs.writeFileSync(path.join(outDir, 'viewer-edit-timing.txt'), lines.join('\n') + '\n');
  }
} catch (e) {
  failures.push(e.message);
  console.log(`not ok - timings\n${e.stack}`);
} finally {
  if (browser) await browser.close();
  fs.rmSync(work, { recursive: true, force: true });
}
if (failures.length) {
  console.log(`${failures.length} failed: ${failures.join('; ')}`);
  process.exit(1);
}
