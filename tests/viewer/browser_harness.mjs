// What the browser tests of `kurvo view` share: Debian's chromium and the npm
// puppeteer-core (or exit 77, skipped, when either is missing, unless
// KURVO_REQUIRE_BROWSER is set, where that is a failure), named checks that
// report and go on, and the points `kurvo eval` writes for a frame, held
// against what the page shows.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import { createRequire } from 'node:module';
import os from 'node:os';
import path from 'node:path';

import { tool } from './viewer_process.mjs';

export const chromium = process.env.KURVO_CHROMIUM || '/usr/bin/chromium';
export const outDir = process.env.KURVO_BROWSER_OUT || os.tmpdir();

export function loadPuppeteer() {
  const npmDir = process.env.KURVO_NPM_DIR;
  if (!fs.existsSync(chromium) || !fs.existsSync(path.join(npmDir, 'node_modules', 'puppeteer-core'))) {
    console.log(`skipped: needs ${chromium} and puppeteer-core in ${npmDir}`);
    process.exit(process.env.KURVO_REQUIRE_BROWSER ? 1 : 77);
  }
  return createRequire(path.join(npmDir, 'package.json'))('puppeteer-core');
}

// check(name, body) runs body, prints ok / not ok with the stack, and notes
// the failed names in `failures`.
export function checks() {
  const failures = [];
  async function check(name, body) {
    try {
      await body();
      console.log(`ok - ${name}`);
    } catch (e) {
      failures.push(name);
      console.log(`not ok - ${name}\n${e.stack}`);
    }
  }
  return { check, failures };
}

// The points `kurvo eval` writes for frame `frame` of `scene` (the scene's
// own axes, as the page shows them), through a folder made in `work`.
export function evalPoints(work, scene, frame) {
  const dir = fs.mkdtempSync(path.join(work, 'eval-'));
  execFileSync(tool, ['eval', scene, '--frames', `${frame}:${frame}`, '-o', path.join(dir, 'f_####.obj'), '--quiet', '--raw-axes']);
  const file = fs.readdirSync(dir).find((f) => f.endsWith('.obj'));
  return fs.readFileSync(path.join(dir, file), 'utf8').split('\n').filter((l) => l.startsWith('v '))
    .map((l) => l.split(/\s+/).slice(1, 4).map(Number));
}

// The largest coordinate difference between `expected` points and the page's flat list.
export function worstDifference(expected, shown) {
  assert.equal(shown.length, expected.length * 3, 'point count');
  let worst = 0;
  expected.forEach((p, i) => { for (let k = 0; k < 3; ++k) worst = Math.max(worst, Math.abs(p[k] - shown[i * 3 + k])); });
  return worst;
}
