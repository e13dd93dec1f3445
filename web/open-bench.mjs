// How fast the page opens a file and how much memory it takes, in headless Chromium: from choosing
// a file with the "Open" button, the time to its first frame on screen and to vostrel's console
// text in the messages; the memory of the page's processes (the proportional set size of its
// renderer, whose threads run the workers too) with no file open, when the first frame shows,
// once the text is there (and a second later) and after the BMP zip has downloaded, and the most
// it took while converting and while zipping (sampled every 100 ms). Opens the large files that
// large-art.mjs makes (eight pictures of 100 and of 1,000 frames of 256 x 256) and door.art,
// each round in a fresh browser.
// Usage: node open-bench.mjs PAGE.html SOURCE_DIR [ROUNDS]
import { mkdtempSync, readFileSync, readdirSync, rmSync, statSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import puppeteer from 'puppeteer-core';
import { largeArt } from './large-art.mjs';

const [pagePath, sourceDir, rounds = '3'] = process.argv.slice(2);
if (!pagePath || !sourceDir) {
  console.error('Usage: node open-bench.mjs PAGE.html SOURCE_DIR [ROUNDS]');
  process.exit(2);
}
const MiB = 2 ** 20;
// Long enough for the larger file on a loaded machine, with the page as it was before.
const timeout = 20 * 60 * 1000;
const work = mkdtempSync(path.join(tmpdir(), 'vostrel-open-bench-'));
const files = [
  [path.join(work, 'large.art'), 100],
  [path.join(work, 'larger.art'), 1000],
].map(([file, frames]) => {
  writeFileSync(file, largeArt(frames));
  return file;
});
files.push(path.join(sourceDir, 'examples/door.art'));

// The processes below pid, pid included.
function descendants(pid) {
  const children = new Map();
  for (const entry of readdirSync('/proc')) {
    if (!/^\d+$/.test(entry)) continue;
    try {
      const parent = Number(readFileSync(`/proc/${entry}/stat`, 'utf8').replace(/^.*\) /s, '').split(' ')[1]);
      children.set(parent, [...(children.get(parent) ?? []), Number(entry)]);
    } catch {
      // Gone since it was listed.
    }
  }
  const found = [pid];
  for (let i = 0; i < found.length; ++i) found.push(...(children.get(found[i]) ?? []));
  return found;
}

// The proportional set size of the browser's renderer processes, in bytes.
function rendererPss(browser) {
  let bytes = 0;
  for (const pid of descendants(browser.process().pid)) {
    try {
      if (!readFileSync(`/proc/${pid}/cmdline`, 'utf8').includes('--type=renderer')) continue;
      bytes += Number(/^Pss:\s+(\d+) kB/m.exec(readFileSync(`/proc/${pid}/smaps_rollup`, 'utf8'))[1]) * 1024;
    } catch {
      // Gone since it was listed.
    }
  }
  return bytes;
}

// One opening in a fresh browser: times in milliseconds from the choice, memory in bytes.
async function openOnce(file) {
  const downloads = mkdtempSync(path.join(work, 'downloads-'));
  const browser = await puppeteer.launch({
    executablePath: process.env.VOSTREL_CHROMIUM || '/usr/bin/chromium',
    headless: true,
    userDataDir: mkdtempSync(path.join(work, 'chromium-')),
    // The page's script may be held up for long by the page as it was before.
    protocolTimeout: timeout,
    args: ['--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync', '--proxy-server=http://127.0.0.1:9',
      '--host-resolver-rules=MAP * ~NOTFOUND'],
  });
  try {
    const [page] = await browser.pages();
    await page.setViewport({ width: 1200, height: 900 });
    const session = await page.createCDPSession();
    await session.send('Browser.setDownloadBehavior', { behavior: 'allowAndName', downloadPath: downloads, eventsEnabled: true });
    await page.goto(pathToFileURL(pagePath).href);
    await page.waitForFunction(() => window.vostrel);
    // Both workers ready and the page at rest.
    await page.evaluate(() => window.vostrel.memory());
    await new Promise((resolve) => setTimeout(resolve, 1000));
    const before = rendererPss(browser);
    // The choice (the file input's change), the first frame drawn on the first tile (a pixel of
    // it painted) and the console text shown, on the page's own clock.
    await page.evaluate(() => {
      window.benchTimes = {};
      document.getElementById('open').addEventListener('change', () => {
        window.benchTimes.chosen = performance.now();
      }, { capture: true });
      const look = () => {
        const canvas = document.querySelector('#pictures canvas');
        if (canvas && canvas.width && canvas.getContext('2d').getImageData(0, 0, 1, 1).data[3]) {
          window.benchTimes.drawn = performance.now();
        } else {
          requestAnimationFrame(look);
        }
      };
      requestAnimationFrame(look);
      const messages = document.getElementById('messages');
      new MutationObserver(() => {
        if (!window.benchTimes.text && messages.textContent) window.benchTimes.text = performance.now();
      }).observe(messages, { subtree: true, childList: true, characterData: true });
    });
    let peak = before;
    const sampler = setInterval(() => {
      peak = Math.max(peak, rendererPss(browser));
    }, 100);
    try {
      step(`choosing ${path.basename(file)}`);
      await (await page.$('#open')).uploadFile(file);
      await page.waitForFunction(() => window.benchTimes.drawn, { timeout, polling: 10 });
      const atFrame = rendererPss(browser);
      step('first frame shown');
      await page.waitForFunction(() => window.benchTimes.text, { timeout, polling: 10 });
      const atText = rendererPss(browser);
      const converting = Math.max(peak, atText);
      // The runner's worker has gone by then, but the browser may take a moment to give back its
      // memory: the same a second later.
      await new Promise((resolve) => setTimeout(resolve, 1000));
      const settled = rendererPss(browser);
      peak = settled;
      step('console text shown; downloading the zip');
      const { chosen, drawn, text } = await page.evaluate(() => window.benchTimes);
      const downloaded = new Promise((resolve, reject) => {
        session.on('Browser.downloadProgress', (event) => {
          if (event.state === 'completed') resolve(event);
          if (event.state === 'canceled') reject(new Error('the zip download was canceled'));
        });
      });
      await page.click('#download-bmps');
      // The timer is cleared once the zip is there, or it would keep node running for its span.
      let timer;
      const { guid } = await Promise.race([downloaded,
        new Promise((resolve, reject) => {
          timer = setTimeout(() => reject(new Error('no zip arrived')), timeout);
        })]).finally(() => clearTimeout(timer));
      const zipBytes = statSync(path.join(downloads, guid)).size;
      const afterZip = rendererPss(browser);
      const zipping = Math.max(peak, afterZip);
      return { frameMs: drawn - chosen, textMs: text - chosen, before, atFrame, atText, settled, afterZip, converting, zipping, zipBytes };
    } finally {
      clearInterval(sampler);
    }
  } finally {
    await browser.close();
    rmSync(downloads, { recursive: true, force: true });
  }
}

// Where a round has got to, on standard error.
const step = (text) => process.stderr.write(`${new Date().toISOString().slice(11, 19)} ${text}\n`);

const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];
const seconds = (ms) => (ms / 1000).toFixed(3);
const mib = (bytes) => `${bytes < 0 ? '-' : '+'}${(Math.abs(bytes) / MiB).toFixed(0)}`;
try {
  console.log(`each file opened ${rounds} times, each time in a fresh browser; times in seconds from the choice; ` +
    'memory: the renderer\'s proportional set size in MiB over the page with no file open');
  for (const file of files) {
    const size = statSync(file).size;
    const runs = [];
    for (let i = 0; i < Number(rounds); ++i) {
      const run = await openOnce(file);
      runs.push(run);
      console.log(`  ${path.basename(file)} round ${i + 1}: first frame ${seconds(run.frameMs)}, console text ` +
        `${seconds(run.textMs)}; memory with no file ${(run.before / MiB).toFixed(0)} MiB, then at the first frame ` +
        `${mib(run.atFrame - run.before)}, at the text ${mib(run.atText - run.before)} ` +
        `(a second later ${mib(run.settled - run.before)}), after the zip ` +
        `(${(run.zipBytes / MiB).toFixed(0)} MiB) ${mib(run.afterZip - run.before)}; at most ${mib(run.converting - run.before)} ` +
        `while converting, ${mib(run.zipping - run.before)} while zipping`);
    }
    const most = (key) => Math.max(...runs.map((r) => r[key] - r.before));
    console.log(`${path.basename(file)} (${(size / MiB).toFixed(1)} MiB): first frame median ${seconds(median(runs.map((r) => r.frameMs)))} ` +
      `(best ${seconds(Math.min(...runs.map((r) => r.frameMs)))}), console text median ${seconds(median(runs.map((r) => r.textMs)))}; ` +
      `memory at most: at the first frame ${mib(most('atFrame'))}, at the text ${mib(most('atText'))} (a second later ${mib(most('settled'))}), ` +
      `after the zip ${mib(most('afterZip'))}, while converting ${mib(most('converting'))}, while zipping ${mib(most('zipping'))} ` +
      `(targets: +64, +64, -, ${mib(size + 64 * MiB)}, ${mib(size + 64 * MiB)})`);
  }
  // Figures only: on a shared machine the times say little, so they never fail the run.
  console.log('target: the first frame of either large file within 0.2 s');
} finally {
  rmSync(work, { recursive: true, force: true });
}
