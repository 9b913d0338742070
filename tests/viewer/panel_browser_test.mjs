// The panels of `kurvo view` in a real browser (Debian's chromium, headless),
// on the sliding-tube example: a polygon object and a spline get their name,
// placement and shape as fields; a position and a spline's closed flag typed
// there move the tube as `kurvo eval` of the file with those values written,
// and Save writes the file as it was plus exactly those values. Then an
// animated value (Offset) edited at a frame is saved as a key at that frame,
// and so is a typed position of a tube whose position has a track.
// Exits 77 (skipped) when chromium or the npm packages are missing, unless
// KURVO_REQUIRE_BROWSER is set.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

import { checks, chromium, evalPoints, loadPuppeteer, outDir, worstDifference } from './browser_harness.mjs';
import { examples, startViewer, stopViewer } from './viewer_process.mjs';

const puppeteer = loadPuppeteer();

const work = fs.mkdtempSync(path.join(os.tmpdir(), 'kurvo-panels-'));
const scenePath = path.join(work, 'tube-sliding.json');
const original = fs.readFileSync(path.join(examples, 'tube-sliding.json'), 'utf8');
fs.writeFileSync(scenePath, original);

const { check, failures } = checks();


const viewer = startViewer([scenePath, '--port', '0', '--quiet']);
let browser, animatedViewer;
try {
  const address = await viewer.ready;
  browser = await puppeteer.launch({ executablePath: chromium, userDataDir: path.join(work, 'profile'),
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
      '--use-gl=angle', '--use-angle=swiftshader', '--enable-unsafe-swiftshader'],
    defaultViewport: { width: 1300, height: 760 }, protocolTimeout: 120000 });
  const page = await browser.newPage();
  const problems = [];
  page.on('pageerror', (e) => problems.push(e.message));
  await page.goto(address.url);
  await page.waitForFunction('window.kurvo && window.kurvo.ready', { timeout: 30000 });
  const positions = () => page.evaluate(() => Array.from(window.kurvo.viewport.meshes[0].geometry.getAttribute('position').array));
  const selectInTree = async (name) => {
    for (const item of await page.$$('#tree div'))
      if ((await item.evaluate((e) => e.firstChild.textContent)) === name) await item.click();
    await page.waitForFunction((n) => {
      const title = document.querySelector('#panel section.object h2');
      return title && title.firstChild.textContent === n;
    }, { timeout: 20000 }, name);
  };
  // Types `text` into the input `selector` and leaves it; waits for the host's answer.
  const typeInto = async (selector, text) => {
    const edits = await page.evaluate(() => window.kurvo.edits);
    await page.click(selector, { clickCount: 3 });
    await page.type(selector, text);
    await page.keyboard.press('Tab');
    await page.waitForFunction((n) => window.kurvo.edits > n, { timeout: 20000 }, edits);
  };
  const save = async (file = scenePath) => {
    await page.click('#save');
    await page.waitForFunction(() => /^saved /.test(document.getElementById('status').textContent), { timeout: 20000 });
    return JSON.parse(fs.readFileSync(file, 'utf8'));
  };
  const scrubTo = async (frame) => {
    const frames = await page.evaluate(() => window.kurvo.frames);
    await page.$eval('#timeline .scrub', (s, f) => { s.value = f; s.dispatchEvent(new Event('input')); }, String(frame));
    await page.waitForFunction((n, f) => window.kurvo.frames > n && window.kurvo.frame === f, { timeout: 20000 }, frames, frame);
  };
  const expected = JSON.parse(original);

  await check('a polygon object and a spline show their panels; typed placement and closed flag match kurvo eval and save as written', async () => {
    await selectInTree('Tube');
    const text = await page.$eval('#panel', (p) => p.textContent);
    assert.ok(!text.includes('attribute description'), text);
    assert.match(await page.$eval('#panel section.object h2', (h) => h.textContent), /Tube\s+polygon/);
    const shownPosition = await page.$$eval('input[data-key="placement.position"]', (i) => i.map((e) => Number(e.value)));
    assert.deepEqual(shownPosition, [0, 0, 120]);
    assert.deepEqual(await page.$$eval('input[data-key="placement.scale"]', (i) => i.map((e) => Number(e.value))), [1, 1, 1]);
    await typeInto('input[data-key="placement.position"]:nth-of-type(3)', '150');

    await selectInTree('Path');
    assert.equal(await page.$eval('select[data-key="spline.interpolation"]', (s) => s.value), 'cubic');
    assert.equal(await page.$eval('input[data-key="spline.closed"]', (c) => c.checked), false);
    const pointRows = await page.$$eval('.row[data-key^="point."]', (rows) => rows.map((r) =>
      Array.from(r.querySelectorAll('input'), (i) => Number(i.value))));
    assert.deepEqual(pointRows, expected.objects[0].points);
    const edits = await page.evaluate(() => window.kurvo.edits);
    await page.click('input[data-key="spline.closed"]');
    await page.waitForFunction((n) => window.kurvo.edits > n, { timeout: 20000 }, edits);
    assert.deepEqual(problems, []);

    expected.objects[1].position = [0, 0, 150];
    expected.objects[0].closed = true;
    const editedPath = path.join(work, 'edited.json');
    fs.writeFileSync(editedPath, JSON.stringify(expected));
    const worst = worstDifference(evalPoints(work, editedPath, 0), await positions());
    assert.ok(worst < 0.01, `largest difference ${worst}`);
    assert.deepEqual(await save(), expected, 'the file as it was plus the two values');
    await page.screenshot({ path: path.join(outDir, 'viewer-panels.png') });
  });

  await check('an animated value edited at a frame is marked and saved as a key at that frame', async () => {
    const frame = 30;
    const frames = await page.evaluate(() => window.kurvo.frames);
    await page.$eval('#timeline .scrub', (s, f) => { s.value = f; s.dispatchEvent(new Event('input')); }, String(frame));
    await page.waitForFunction((n, f) => window.kurvo.frames > n && window.kurvo.frame === f, { timeout: 20000 }, frames, frame);
    await selectInTree('Slide');
    await page.waitForSelector('.row[data-key=KURVO_OFFSET]', { timeout: 20000 });
    assert.equal(await page.$eval('.row[data-key=KURVO_OFFSET]', (r) => r.classList.contains('animated')), true,
      'Offset is marked as animated');
    assert.equal(await page.$eval('.row[data-key=KURVO_STRETCH]', (r) => r.classList.contains('animated')), false);
    await typeInto('input[type=number][data-key=KURVO_OFFSET]', '50');
    const shown = await positions();
    const slide = expected.objects[1].children[0];
    const offset = slide.tracks.find((t) => t.param === 'KURVO_OFFSET');
    offset.keys = [[0, 0], [frame, 0.5], [72, 0.7]];
    assert.deepEqual(await save(), expected, 'a key added at the frame, nothing else changed');
    // What the page showed is what the saved file gives at that frame.
    const worst = worstDifference(evalPoints(work, scenePath, frame), shown);
    assert.ok(worst < 0.01, `largest difference ${worst}`);
    assert.deepEqual(problems, []);
  });

  await check('an animated position is marked, and a typed one is saved as a key at the frame', async () => {
    const animatedPath = path.join(work, 'animated.json');
    const animated = JSON.parse(original);
    animated.objects[1].tracks = [{ placement: 'position', keys: [[0, [0, 0, 120]], [72, [0, 0, 200]]] }];
    fs.writeFileSync(animatedPath, JSON.stringify(animated, null, 2));
    animatedViewer = startViewer([animatedPath, '--port', '0', '--quiet']);
    await page.goto((await animatedViewer.ready).url);
    await page.waitForFunction('window.kurvo && window.kurvo.ready', { timeout: 30000 });
    const frame = 30;
    await scrubTo(frame);
    await selectInTree('Tube');
    const marked = (key) => page.$eval(`.row[data-key="placement.${key}"]`, (r) => r.classList.contains('animated'));
    assert.equal(await marked('position'), true, 'the position is marked as animated');
    assert.equal(await marked('rotation'), false);
    await typeInto('input[data-key="placement.position"]:nth-of-type(3)', '150');
    const shown = await positions();
    animated.objects[1].tracks[0].keys.splice(1, 0, [frame, [0, 0, 150]]);
    assert.deepEqual(await save(animatedPath), animated, 'a key added at the frame, nothing else changed');
    const worst = worstDifference(evalPoints(work, animatedPath, frame), shown);
    assert.ok(worst < 0.01, `largest difference ${worst}`);
    // Another frame and back: the key holds.
    await scrubTo(10);
    await scrubTo(frame);
    assert.ok(worstDifference(evalPoints(work, animatedPath, frame), await positions()) < 0.01, 'the edit kept at the frame');
    assert.deepEqual(problems, []);
  });
} catch (e) {
  failures.push(e.message);
  console.log(`not ok - ${e.stack}`);
} finally {
  if (browser) await browser.close();
  await stopViewer(viewer);
  if (animatedViewer) await stopViewer(animatedViewer);
  fs.rmSync(work, { recursive: true, force: true });
}
if (failures.length) {
  console.log(`${failures.length} failed: ${failures.join('; ')}`);
  process.exit(1);
}
