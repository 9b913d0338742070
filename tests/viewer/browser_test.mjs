// The page of `kurvo view` in a real browser (Debian's chromium, headless):
// the scene appears as the host renders it, a panel edit moves the mesh as
// `kurvo eval` of the same edit does, the banner lights, darkens and opens
// its address, refused values show their message, and the token is needed.
// Exits 77 (skipped) when chromium or the npm packages are missing, unless
// KURVO_REQUIRE_BROWSER is set (CI), where that is a failure.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

import { checks, chromium, loadPuppeteer, outDir } from './browser_harness.mjs';
import { examples, startViewer, stopViewer, tool } from './viewer_process.mjs';

const puppeteer = loadPuppeteer();

const work = fs.mkdtempSync(path.join(os.tmpdir(), 'kurvo-browser-'));
const scenePath = path.join(work, 'tube-on-arc.json');
fs.copyFileSync(path.join(examples, 'tube-on-arc.json'), scenePath);

// How far two pictures of the same scene agree: on a coarse grid, the share
// of cells covered by the scene in both (intersection over union), and the
// mean colour difference where both show it. Tolerant of antialiasing,
// line width and per-pixel against per-point shading.
function compare(a, b, width, height, background) {
  const cells = 48, rows = Math.round((cells * height) / width);
  const cell = (img, cx, cy) => {
    let r = 0, g = 0, bl = 0, n = 0, covered = 0;
    for (let y = Math.floor((cy * height) / rows); y < Math.floor(((cy + 1) * height) / rows); ++y)
      for (let x = Math.floor((cx * width) / cells); x < Math.floor(((cx + 1) * width) / cells); ++x) {
        const i = (y * width + x) * 4;
        const d = Math.abs(img[i] - background[0]) + Math.abs(img[i + 1] - background[1]) + Math.abs(img[i + 2] - background[2]);
        if (d > 24) { covered++; r += img[i]; g += img[i + 1]; bl += img[i + 2]; }
        n++;
      }
    return { on: covered > n / 3, colour: covered ? [r / covered, g / covered, bl / covered] : null };
  };
  let both = 0, either = 0, diff = 0;
  for (let cy = 0; cy < rows; ++cy)
    for (let cx = 0; cx < cells; ++cx) {
      const p = cell(a, cx, cy), q = cell(b, cx, cy);
      if (p.on || q.on) either++;
      if (p.on && q.on) {
        both++;
        diff += (Math.abs(p.colour[0] - q.colour[0]) + Math.abs(p.colour[1] - q.colour[1]) + Math.abs(p.colour[2] - q.colour[2])) / 3;
      }
    }
  return { overlap: either ? both / either : 1, colourDifference: both ? diff / both / 255 : 1 };
}

// RGBA pixels of a PNG, decoded by the browser.
async function pixelsOf(page, png) {
  return Buffer.from(await page.evaluate(async (b64) => {
    const image = new Image();
    image.src = `data:image/png;base64,${b64}`;
    await image.decode();
    const canvas = new OffscreenCanvas(image.width, image.height);
    const context = canvas.getContext('2d');
    context.drawImage(image, 0, 0);
    return Array.from(context.getImageData(0, 0, image.width, image.height).data);
  }, png.toString('base64')));
}

// Every 'v' line of an OBJ file.
function objPoints(file) {
  return fs.readFileSync(file, 'utf8').split('\n').filter((l) => l.startsWith('v ')).map((l) => l.split(/\s+/).slice(1, 4).map(Number));
}

const viewer = startViewer([scenePath, '--port', '0', '--quiet']);
let browser;
const { check, failures } = checks();

try {
  const address = await viewer.ready;
  browser = await puppeteer.launch({
    executablePath: chromium,
    userDataDir: path.join(work, 'profile'),
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
      '--use-gl=angle', '--use-angle=swiftshader', '--enable-unsafe-swiftshader'],
    defaultViewport: { width: 1300, height: 700 },
    protocolTimeout: 60000,
  });
  const page = await browser.newPage();
  const problems = [];
  page.on('pageerror', (e) => problems.push(e.message));
  await page.goto(address.url);
  await page.waitForFunction('window.kurvo && window.kurvo.ready', { timeout: 30000 });

  await check('the scene appears as the host renders it', async () => {
    assert.deepEqual(problems, []);
    const size = await page.evaluate(() => {
      const c = document.getElementById('canvas');
      return { width: c.width, height: c.height };
    });
    const shot = Buffer.from((await page.evaluate(() => document.getElementById('canvas').toDataURL('image/png'))).split(',')[1], 'base64');
    fs.writeFileSync(path.join(outDir, 'viewer-canvas.png'), shot);
    await page.screenshot({ path: path.join(outDir, 'viewer-page.png') });
    const hostPng = path.join(work, 'host.png');
    execFileSync(tool, ['render', scenePath, '-o', hostPng, '--width', String(size.width), '--height', String(size.height), '--frame-helpers', '--quiet']);
    const result = compare(await pixelsOf(page, shot), await pixelsOf(page, fs.readFileSync(hostPng)), size.width, size.height,
      [0.17 * 255, 0.18 * 255, 0.2 * 255]);
    console.log(`  picture agreement: overlap ${result.overlap.toFixed(3)}, colour difference ${result.colourDifference.toFixed(3)}`);
    assert.ok(result.overlap > 0.8, `overlap ${result.overlap}`);
    assert.ok(result.colourDifference < 0.1, `colour difference ${result.colourDifference}`);
  });

  await check('a panel edit moves the mesh as kurvo eval of the same edit does', async () => {
    const field = 'input[type=number][data-key=KURVO_OFFSET]';
    await page.click(field, { clickCount: 3 });
    await page.type(field, '30');
    const edits = await page.evaluate(() => window.kurvo.edits);
    await page.keyboard.press('Tab');
    await page.waitForFunction((n) => window.kurvo.edits > n, { timeout: 20000 }, edits);
    const shown = await page.evaluate(() => Array.from(window.kurvo.viewport.meshes[0].geometry.getAttribute('position').array));

    const edited = JSON.parse(fs.readFileSync(scenePath, 'utf8'));
    edited.objects[1].children[0].params.KURVO_OFFSET = 0.3;
    const editedPath = path.join(work, 'edited.json');
    fs.writeFileSync(editedPath, JSON.stringify(edited));
    const obj = path.join(work, 'edited.obj');
    execFileSync(tool, ['eval', editedPath, '-o', obj, '--quiet', '--raw-axes']);  // the page shows the scene's own frame
    const expected = objPoints(obj);
    assert.equal(shown.length, expected.length * 3);
    let worst = 0;
    expected.forEach((p, i) => { for (let k = 0; k < 3; ++k) worst = Math.max(worst, Math.abs(p[k] - shown[i * 3 + k])); });
    assert.ok(worst < 0.01, `largest difference ${worst}`);
  });

  await check('a refused value shows the message beside its field and changes nothing', async () => {
    const field = 'input[type=number][data-key=KURVO_OFFSET]';
    const positions = () => page.evaluate(() => Array.from(window.kurvo.viewport.meshes[0].geometry.getAttribute('position').array.slice(0, 30)));
    const was = await positions();
    await page.click(field, { clickCount: 3 });
    await page.type(field, '1e45');
    await page.keyboard.press('Tab');
    const message = await page.waitForFunction(() => {
      const e = document.querySelector('.row[data-key=KURVO_OFFSET] .error');
      return e && e.textContent;
    }, { timeout: 20000 });
    assert.match(await message.jsonValue(), /tube-on-arc\.json.*Bend.*KURVO_OFFSET/);
    assert.deepEqual(await positions(), was);
  });

  await check('an edit whose result no output could write is refused beside its field, and nothing changes', async () => {
    const field = 'input[type=number][data-key=KURVO_OFFSET]';
    const positions = () => page.evaluate(() => Array.from(window.kurvo.viewport.meshes[0].geometry.getAttribute('position').array));
    const was = await positions();
    const valueWas = await page.$eval(field, (f) => f.value);
    await page.click(field, { clickCount: 3 });
    await page.type(field, '1e30');
    await page.keyboard.press('Tab');
    const message = await page.waitForFunction(() => {
      const e = document.querySelector('.row[data-key=KURVO_OFFSET] .error');
      return e && /refused/.test(e.textContent) && e.textContent;
    }, { timeout: 20000 });
    assert.match(await message.jsonValue(), /object "Bend": params\.KURVO_OFFSET: refused: .*not a finite number/);
    // The old value is back in the field and the shape stayed.
    await page.waitForFunction((f, v) => document.querySelector(f).value === v, { timeout: 10000 }, field, valueWas);
    const now = await positions();
    assert.ok(now.every(Number.isFinite), 'every point shown is finite');
    assert.deepEqual(now, was);
    assert.ok(await page.$eval('#status', (e) => e.classList.contains('error') && !/evaluated/.test(e.textContent)));

    // Saved, the scene holds the last good value, not the refused one.
    await page.click('#save');
    await page.waitForFunction(() => /^saved/.test(document.getElementById('status').textContent), { timeout: 20000 });
    const offsets = [];
    const walk = (o) => {
      if (Array.isArray(o)) o.forEach(walk);
      else if (o && typeof o === 'object') {
        if (o.name === 'Bend' && o.params) offsets.push(o.params.KURVO_OFFSET ?? o.params['1000']);
        Object.values(o).forEach(walk);
      }
    };
    walk(JSON.parse(fs.readFileSync(scenePath, 'utf8')));
    assert.deepEqual(offsets.map((v) => Math.round(v * 1e6) / 1e6), [0.3]);
  });

  await check('the path length is shown, not edited', async () => {
    assert.equal(await page.$('input[data-key=KURVO_SPLINE_LENGTH]'), null);
    const shown = await page.$eval('output[data-key=KURVO_SPLINE_LENGTH]', (o) => o.textContent);
    assert.ok(Number(shown) > 0, `path length shown as ${shown}`);
    // A scene unit is a centimetre.
    assert.equal(await page.$eval('.row[data-key=KURVO_SPLINE_LENGTH] .unit', (u) => u.textContent), 'cm');
  });

  await check('a save that fails says why in the page and writes nothing', async () => {
    await page.click('#export-name', { clickCount: 3 });
    await page.type('#export-name', '../kurvo-outside.obj');
    await page.click('#export');
    await page.waitForFunction(() => {
      const s = document.getElementById('status');
      return s.classList.contains('error') && /not saved/.test(s.textContent);
    }, { timeout: 20000 });
    assert.match(await page.$eval('#status', (e) => e.textContent), /writes only inside/);
    assert.ok(!fs.existsSync(path.join(path.dirname(work), 'kurvo-outside.obj')));
  });

  await check('the banner lights under the pointer, goes dark after it, and opens its address', async () => {
    const banner = await page.$('canvas.element');
    assert.ok(banner, 'the title bar element is on the panel');
    const box = await banner.boundingBox();
    const pixels = () => page.evaluate(() => {
      const c = document.querySelector('canvas.element');
      return Array.from(c.getContext('2d').getImageData(0, 0, c.width, c.height).data);
    });
    const changed = (a, b) => a.reduce((n, v, i) => n + (v !== b[i] ? 1 : 0), 0);
    await page.mouse.move(box.x + box.width / 2, box.y + 300);
    await new Promise((r) => setTimeout(r, 300));
    const dark = await pixels();
    await page.mouse.move(box.x + 60, box.y + box.height / 2);
    await page.waitForFunction((d) => {
      const c = document.querySelector('canvas.element');
      const now = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
      return now.some((v, i) => v !== d[i]);
    }, { timeout: 10000 }, dark);
    const lit = await pixels();
    assert.ok(changed(dark, lit) > 20, 'the pointer over the link zone lights the bar');
    await page.mouse.move(box.x + box.width / 2, box.y + 300);
    await page.waitForFunction((d) => {
      const c = document.querySelector('canvas.element');
      const now = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
      return now.every((v, i) => v === d[i]);
    }, { timeout: 10000 }, dark);

    const opened = new Promise((resolve) => browser.once('targetcreated', (t) => resolve(t.url())));
    await page.mouse.click(box.x + 60, box.y + box.height / 2);
    // Poll on a timer: the opened tab puts this page in the background, where
    // animation frames (the default polling) stop.
    await page.waitForFunction(() => window.kurvoOpened, { timeout: 10000, polling: 50 });
    const url = await page.evaluate(() => window.kurvoOpened);
    assert.match(url, /^https:\/\//);
    const target = await Promise.race([opened, new Promise((r) => setTimeout(() => r(''), 5000))]);
    assert.ok(target !== '', 'a new tab was opened');
  });

  await check('without the token the page is refused', async () => {
    const context = await browser.createBrowserContext();
    const stranger = await context.newPage();
    const response = await stranger.goto(`http://127.0.0.1:${address.port}/`);
    assert.equal(response.status(), 403);
    const wrong = await stranger.goto(`http://127.0.0.1:${address.port}/?token=${'1'.repeat(32)}`);
    assert.equal(wrong.status(), 403);
    await context.close();
  });

  await check('edit to picture of 10^5 points', async () => {
    const big = JSON.parse(fs.readFileSync(scenePath, 'utf8'));
    big.objects[1].primitive.rotation_segments = 100;
    big.objects[1].primitive.height_segments = 1000;
    const bigPath = path.join(work, 'big.json');
    fs.writeFileSync(bigPath, JSON.stringify(big));
    const second = startViewer([bigPath, '--port', '0', '--quiet']);
    try {
      const where = await second.ready;
      const p = await browser.newPage();
      await p.goto(where.url);
      await p.waitForFunction('window.kurvo && window.kurvo.ready', { timeout: 60000 });
      const points = await p.evaluate(() => window.kurvo.viewport.meshes[0].geometry.getAttribute('position').count);
      const slider = 'input[type=range][data-key=KURVO_OFFSET]';
      const times = [];
      for (let i = 1; i <= 12; ++i) {
        const n = await p.evaluate(() => window.kurvo.edits);
        await p.$eval(slider, (s, v) => { s.value = v; s.dispatchEvent(new Event('input')); }, String(i * 5));
        await p.waitForFunction((k) => window.kurvo.edits > k, { timeout: 20000 }, n);
        times.push(await p.evaluate(() => window.kurvo.lastEditMs));
      }
      times.sort((a, b) => a - b);
      const line = `edit to picture, ${points} points: median ${times[6].toFixed(1)} ms, best ${times[0].toFixed(1)} ms, worst ${times[11].toFixed(1)} ms`;
      console.log(`  ${line}`);
      fs.writeFileSync(path.join(outDir, 'viewer-timing.txt'), line + '\n');
      assert.ok(points >= 100000);
    } finally {
      await stopViewer(second);
    }
  });
} catch (e) {
  failures.push(e.message);
  console.log(`not ok - ${e.stack}`);
} finally {
  if (browser) await browser.close();
  await stopViewer(viewer);
  fs.rmSync(work, { recursive: true, force: true });
}
if (failures.length) {
  console.log(`${failures.length} failed: ${failures.join('; ')}`);
  process.exit(1);
}
