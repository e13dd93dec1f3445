// How fast the page opens a file: in headless Chromium, the time from choosing a file with the
// "Open" button to the first tile drawn, and the page's memory once the file is open (its
// console text arrived) against twice the file's size plus 64 MiB. The memory counted is the
// JavaScript heaps of the page and its workers, the workers' WebAssembly memory, the files'
// bytes they keep and the decoded frames the page keeps. Opens a large file made by
// large-art.mjs (eight pictures of 100 frames of 256 x 256) and door.art, each in a fresh page.
// Usage: node open-bench.mjs PAGE.html SOURCE_DIR [ROUNDS]
import { mkdtempSync, rmSync, statSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import puppeteer from 'puppeteer-core';
import { largeArt } from './large-art.mjs';

const [pagePath, sourceDir, rounds = '5'] = process.argv.slice(2);
if (!pagePath || !sourceDir) {
  console.error('Usage: node open-bench.mjs PAGE.html SOURCE_DIR [ROUNDS]');
  process.exit(2);
}
const MiB = 2 ** 20;
const work = mkdtempSync(path.join(tmpdir(), 'vostrel-open-bench-'));
const large = path.join(work, 'large.art');
writeFileSync(large, largeArt());

const browser = await puppeteer.launch({
  executablePath: process.env.VOSTREL_CHROMIUM || '/usr/bin/chromium',
  headless: true,
  userDataDir: path.join(work, 'chromium'),
  args: ['--no-sandbox', '--disable-gpu', '--no-first-run', '--enable-precise-memory-info',
    '--proxy-server=http://127.0.0.1:9', '--host-resolver-rules=MAP * ~NOTFOUND'],
});

// The JavaScript heap in use in the page and in its worker, through the browser's own count.
async function jsHeaps(page) {
  let bytes = (await page.metrics()).JSHeapUsedSize;
  for (const worker of page.workers()) {
    bytes += (await worker.client.send('Runtime.getHeapUsage')).usedSize;
  }
  return bytes;
}

// One opening in a fresh page: milliseconds to the first tile, and the memory once open.
async function openOnce(file) {
  const page = await browser.newPage();
  await page.setViewport({ width: 1200, height: 900 });
  await page.goto(pathToFileURL(pagePath).href);
  await page.waitForFunction(() => window.vostrel);
  // Marks the choice (the file input's change) and the first tile drawn (a canvas of the
  // pictures given its data-shown), both on the page's own clock.
  await page.evaluate(() => {
    window.benchTimes = {};
    document.getElementById('open').addEventListener('change', () => {
      window.benchTimes.chosen = performance.now();
    }, { capture: true });
    new MutationObserver(() => {
      if (!window.benchTimes.drawn && document.querySelector('#pictures canvas[data-shown]')) {
        window.benchTimes.drawn = performance.now();
      }
    }).observe(document.getElementById('pictures'), { subtree: true, childList: true, attributes: true });
  });
  await (await page.$('#open')).uploadFile(file);
  await page.waitForFunction(() => window.benchTimes.drawn, { timeout: 60000 });
  const { chosen, drawn } = await page.evaluate(() => window.benchTimes);
  // Open: its console text shown. Then the memory, after a collection where the browser allows.
  const name = path.basename(file);
  await page.waitForFunction((n) => document.getElementById('status').textContent.startsWith(`${n}:`),
    { timeout: 60000 }, name);
  const core = await page.evaluate(async () => (window.vostrel.memory ? window.vostrel.memory() : { wasm: NaN, files: NaN }));
  const heaps = await jsHeaps(page);
  await page.close();
  return { ms: drawn - chosen, memory: heaps + core.wasm + core.files + (core.page ?? 0) };
}

const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];
try {
  for (const file of [large, path.join(sourceDir, 'examples/door.art')]) {
    const runs = [];
    for (let i = 0; i < Number(rounds); ++i) runs.push(await openOnce(file));
    const size = statSync(file).size;
    const ms = median(runs.map((r) => r.ms));
    const memory = Math.max(...runs.map((r) => r.memory));
    const limit = 2 * size + 64 * MiB;
    console.log(`${path.basename(file)} (${(size / MiB).toFixed(1)} MiB): first tile ${(ms / 1000).toFixed(3)} s ` +
      `after choosing it (median of ${rounds}; ${runs.map((r) => (r.ms / 1000).toFixed(3)).join(' ')}), ` +
      `memory at most ${(memory / MiB).toFixed(1)} MiB (2 x size + 64 MiB: ${(limit / MiB).toFixed(1)} MiB)`);
  }
  // Figures only: on a shared machine the times say little, so they never fail the run.
  console.log('targets: the first tile of large.art within 0.2 s; memory at most 2 x size + 64 MiB');
} finally {
  await browser.close();
  rmSync(work, { recursive: true, force: true });
}
