// Takes the README's picture of `kurvo view`: the sliding-tube example in
// headless Chromium at frame 30, the deformer selected so that its panel
// (placement, animated values marked) and the timeline show.
//   KURVO_NPM_DIR=build/web-npm node tools/viewer_screenshot.mjs build/bin/kurvo docs/viewer.png
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import { createRequire } from 'node:module';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const [tool, out] = process.argv.slice(2);
if (!tool || !out) {
  console.error('usage: node tools/viewer_screenshot.mjs KURVO OUT.png (with KURVO_NPM_DIR set)');
  process.exit(2);
}
const root = path.dirname(path.dirname(fileURLToPath(import.meta.url)));
const puppeteer = createRequire(path.resolve(process.env.KURVO_NPM_DIR || 'build/web-npm', 'package.json'))('puppeteer-core');
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'kurvo-shot-'));
const scene = path.join(work, 'tube-sliding.json');
fs.copyFileSync(path.join(root, 'examples', 'tube-sliding.json'), scene);

const child = spawn(tool, ['view', scene, '--port', '0', '--quiet'], { stdio: ['ignore', 'pipe', 'inherit'] });
const url = await new Promise((resolve, reject) => {
  let text = '';
  child.stdout.on('data', (d) => {
    text += d;
    const m = text.match(/http:\/\/127\.0\.0\.1:\d+\/\?token=[0-9a-f]+/);
    if (m) resolve(m[0]);
  });
  child.on('exit', () => reject(new Error('kurvo view ended')));
});
const browser = await puppeteer.launch({ executablePath: process.env.KURVO_CHROMIUM || '/usr/bin/chromium',
  userDataDir: path.join(work, 'profile'),
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--no-first-run', '--use-gl=angle', '--use-angle=swiftshader',
    '--enable-unsafe-swiftshader'],
  defaultViewport: { width: 1400, height: 860 } });
try {
  const page = await browser.newPage();
  await page.goto(url);
  await page.waitForFunction('window.kurvo && window.kurvo.ready', { timeout: 30000 });
  await page.$eval('#timeline .scrub', (s) => { s.value = '30'; s.dispatchEvent(new Event('input')); });
  await page.waitForFunction(() => window.kurvo.frame === 30 && !window.kurvo.timeline.busy, { timeout: 20000 });
  for (const item of await page.$$('#tree div'))
    if ((await item.evaluate((e) => e.firstChild.textContent)) === 'Slide') await item.click();
  await page.waitForSelector('.row[data-key=KURVO_OFFSET]', { timeout: 20000 });
  await new Promise((r) => setTimeout(r, 1500));  // the banner's first drawing
  await page.screenshot({ path: out });
  console.log(`wrote ${out}`);
} finally {
  await browser.close();
  child.kill('SIGTERM');
  fs.rmSync(work, { recursive: true, force: true });
}
