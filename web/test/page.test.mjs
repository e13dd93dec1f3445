// The page in headless Chromium with the network blocked: it must write what the native programs
// write (BMPs, console text, packed .art), make a lossless GIF, survive damaged and oversized
// files, and make no request at all. Also takes the README's screenshot.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import { createHash } from 'node:crypto';
import { mkdirSync, mkdtempSync, readFileSync, readdirSync, rmSync, writeFileSync, copyFileSync, existsSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import puppeteer from 'puppeteer-core';
import { unzipSync } from 'fflate';
import { GifReader } from 'omggif';
import { deflateSync, inflateSync } from 'node:zlib';
import { largeArt } from '../large-art.mjs';

const pagePath = process.env.VOSTREL_PAGE;
const sourceDir = process.env.VOSTREL_SOURCE_DIR;
const nativeDir = process.env.VOSTREL_NATIVE_DIR;
const door = path.join(sourceDir, 'examples/door.art');
const corpus = (name) => path.join(sourceDir, 'tests/corpus', name);

let browser;
let page;
let downloads;
let session;
const requests = [];

// What `vostrel ./NAME ./out` writes for a file: standard output and error as one stream, and the
// BMPs it leaves.
function nativeConvert(file) {
  const dir = mkdtempSync(path.join(tmpdir(), 'vostrel-native-'));
  copyFileSync(file, path.join(dir, path.basename(file)));
  const run = spawnSync('sh', ['-c', `"$0" "./$1" ./out 2>&1`, path.join(nativeDir, 'vostrel'), path.basename(file)],
    { cwd: dir, encoding: 'latin1' });
  const out = path.join(dir, 'out');
  const bmps = existsSync(out) ? Object.fromEntries(readdirSync(out).map((n) => [n, readFileSync(path.join(out, n))])) : {};
  rmSync(dir, { recursive: true });
  return { text: run.stdout, status: run.status, bmps };
}

// door.art's native conversion, made once: several tests compare with it.
let nativeDoorRun;
const nativeDoor = () => (nativeDoorRun ??= nativeConvert(door));

// The name and bytes of the download that action starts, once Chromium reports it complete: a
// file that has appeared in the directory may not be whole yet. Files are saved under their
// download's id, so that nothing is renamed for a name taken before.
function nextDownload(action) {
  return new Promise((resolve, reject) => {
    let begun;
    const stop = () => {
      clearTimeout(timer);
      session.off('Browser.downloadWillBegin', onBegin);
      session.off('Browser.downloadProgress', onProgress);
    };
    const fail = (error) => { stop(); reject(error); };
    const onBegin = (event) => { begun ??= event; };
    const onProgress = (event) => {
      if (event.guid !== begun?.guid) return;
      if (event.state === 'canceled') fail(new Error(`the download of ${begun.suggestedFilename} was canceled`));
      if (event.state !== 'completed') return;
      stop();
      const file = path.join(downloads, event.guid);
      const bytes = readFileSync(file);
      rmSync(file);
      resolve({ name: begun.suggestedFilename, bytes });
    };
    const timer = setTimeout(() => fail(new Error('no download arrived')), 20000);
    session.on('Browser.downloadWillBegin', onBegin);
    session.on('Browser.downloadProgress', onProgress);
    action().catch(fail);
  });
}

// Clears the status, does what opens the file, and waits until the status names the file.
async function openedBy(file, action) {
  await page.$eval('#status', (e) => (e.textContent = ''));
  await action();
  await page.waitForFunction(
    (name) => document.getElementById('status').textContent.startsWith(`${name}:`), {}, path.basename(file));
}

async function openThroughButton(file) {
  await openedBy(file, async () => (await page.$('#open')).uploadFile(file));
}

// Drops a file on the page as a file manager would (a drop event carrying it).
async function dropOnPage(file) {
  await openedBy(file, () => page.evaluate((name, bytes) => {
    const transfer = new DataTransfer();
    transfer.items.add(new File([new Uint8Array(bytes)], name));
    document.body.dispatchEvent(new DragEvent('drop', { dataTransfer: transfer, bubbles: true, cancelable: true }));
  }, path.basename(file), [...readFileSync(file)]));
}

const messages = () => page.$eval('#messages', (e) => e.textContent);

before(async () => {
  for (const program of ['vostrel', 'vostrel-pack', 'vostrel-sheet']) {
    if (!existsSync(path.join(nativeDir ?? '', program))) {
      throw new Error(`${path.join(nativeDir ?? '', program)} is missing: run \`cmake --workflow --preset test\` first, ` +
        'or set VOSTREL_NATIVE_DIR to where it is');
    }
  }
  downloads = mkdtempSync(path.join(tmpdir(), 'vostrel-downloads-'));
  browser = await puppeteer.launch({
    executablePath: process.env.VOSTREL_CHROMIUM || '/usr/bin/chromium',
    headless: true,
    userDataDir: mkdtempSync(path.join(tmpdir(), 'vostrel-chromium-')),
    args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-component-update',
      '--disable-sync', '--no-first-run', '--proxy-server=http://127.0.0.1:9', '--host-resolver-rules=MAP * ~NOTFOUND'],
  });
  page = await browser.newPage();
  page.on('request', (request) => requests.push(request.url()));
  page.on('pageerror', (error) => requests.push(`page error: ${error.message}`));
  session = await page.createCDPSession();
  await session.send('Browser.setDownloadBehavior',
    { behavior: 'allowAndName', downloadPath: downloads, eventsEnabled: true });
  await page.setViewport({ width: 1200, height: 900 });
  await page.goto(pathToFileURL(pagePath).href);
});

after(async () => {
  await browser?.close();
  rmSync(downloads, { recursive: true, force: true });
});

test('the BMP zip of door.art holds the pinned BMPs, and the messages are the program\'s', async () => {
  await openThroughButton(door);
  const native = nativeDoor();
  assert.equal(await messages(), native.text);
  const zip = await nextDownload(() => page.click('#download-bmps'));
  assert.equal(zip.name, 'door-bmps.zip');
  const files = unzipSync(new Uint8Array(zip.bytes));
  const pinned = readFileSync(path.join(sourceDir, 'tests/platform/door_bmps.sha256'), 'utf8')
    .trim().split('\n').map((line) => line.split(/\s+/));
  assert.deepEqual(Object.keys(files).sort(), pinned.map(([, name]) => name).sort());
  for (const [sum, name] of pinned) {
    assert.equal(createHash('sha256').update(files[name]).digest('hex'), sum, name);
  }
});

// The BMP's colour table (blue, green, red, zero) and its indices, top row first.
function readBmp(bytes) {
  const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  const width = view.getInt32(18, true);
  const height = view.getInt32(22, true);
  const offset = view.getUint32(10, true);
  const stride = (width + 3) & ~3;
  const rows = [];
  for (let y = height - 1; y >= 0; --y) rows.push([...bytes.subarray(offset + y * stride, offset + y * stride + width)]);
  const colours = [];
  for (let i = 0; i < 256; ++i) colours.push([bytes[54 + i * 4 + 2], bytes[54 + i * 4 + 1], bytes[54 + i * 4]]);
  return { width, height, rows, colours };
}

test('the GIF holds each frame\'s indices, the palette, the delay and the disposal', async () => {
  const bmps = nativeDoor().bmps;
  // The transparent index as typed (null: the box unticked), and the one the GIF must hold: none
  // for a number that is no palette index.
  for (const [picture, palette, fps, typed, transparent] of [[3, 1, 8, null, null], [0, 0, 30, '0', 0],
    [2, 0, 8, '300', null]]) {
    // As a user sets them: each control tells the page of its new value.
    await page.evaluate((p, k, f, t) => {
      document.querySelectorAll('#pictures figure')[p].click();
      for (const [id, property, value] of [['palette', 'value', String(k)], ['fps', 'value', String(f)],
        ['transparent', 'checked', t !== null], ['transparent-index', 'value', t ?? '0']]) {
        document.getElementById(id)[property] = value;
        document.getElementById(id).dispatchEvent(new Event('change'));
      }
    }, picture, palette, fps, typed);
    const gif = await nextDownload(() => page.click('#download-gif'));
    assert.equal(gif.name, `door_${picture}_${palette}.gif`);
    const reader = new GifReader(new Uint8Array(gif.bytes));
    assert.equal(reader.numFrames(), 2);
    assert.equal(gif.bytes[10] & 0x87, 0x87, 'a global colour table of 256 entries');
    const table = gif.bytes.subarray(13, 13 + 256 * 3);
    for (let f = 0; f < reader.numFrames(); ++f) {
      const bmp = readBmp(bmps[`door_${picture}_${f}_${palette}.bmp`]);
      assert.deepEqual([...table], bmp.colours.flat(), 'colour table');
      const info = reader.frameInfo(f);
      assert.equal(info.palette_offset, 13, 'the global colour table');
      assert.equal(info.delay, Math.max(2, Math.round(100 / fps)));
      assert.equal(info.disposal, transparent === null ? 1 : 2);
      assert.equal(info.transparent_index, transparent);
      // The indices as stored: the decoder's LZW output, cut to the frame.
      const indices = decodeIndices(gif.bytes, f, info.width, info.height);
      const got = [];
      for (let y = 0; y < bmp.height; ++y) got.push(indices.slice(y * info.width, y * info.width + bmp.width));
      assert.deepEqual(got, bmp.rows, `frame ${f}`);
    }
  }
});

// omggif decodes to RGBA only; the indices come back through a global colour table that maps
// each index to a distinct red.
function decodeIndices(bytes, f, width, height) {
  const copy = new Uint8Array(bytes);
  for (let i = 0; i < 256; ++i) copy.set([i, 0, 0], 13 + i * 3);
  const reader = new GifReader(copy);
  const rgba = new Uint8Array(reader.width * reader.height * 4);
  reader.decodeAndBlitFrameRGBA(f, rgba);
  const transparent = reader.frameInfo(f).transparent_index;
  const indices = [];
  for (let i = 0; i < width * height; ++i) indices.push(rgba[i * 4 + 3] === 0 ? transparent : rgba[i * 4]);
  return indices;
}

test('the core decodes each frame and makes each BMP as vostrel writes them', async () => {
  const bmps = nativeDoor().bmps;
  const made = await page.evaluate(async (bytes) => {
    const { view } = await window.vostrel.load('door.art', new Uint8Array(bytes));
    const out = {};
    for (let p = 0; p < view.pictures; ++p) {
      for (const frame of await window.vostrel.frames('door.art', p, 0, view.framesPerPicture)) {
        for (let k = 0; k < view.palettes.length; ++k) {
          out[`door_${p}_${frame.frame}_${k}.bmp`] = {
            bmp: [...(await window.vostrel.bmp('door.art', p, frame.frame, k))],
            pixels: [...frame.pixels],
            width: frame.width,
          };
        }
      }
    }
    return out;
  }, [...readFileSync(door)]);
  assert.deepEqual(Object.keys(made).sort(), Object.keys(bmps).sort());
  for (const [name, { bmp, pixels, width }] of Object.entries(made)) {
    assert.ok(Buffer.from(bmp).equals(bmps[name]), name);
    const rows = [];
    for (let y = 0; y * width < pixels.length; ++y) rows.push(pixels.slice(y * width, (y + 1) * width));
    assert.deepEqual(rows, readBmp(bmps[name]).rows, name);
  }
});

test('names come from the core: stems, pictures\' and animations\' names, names read back as vostrel-pack reads them, files\' kinds', async () => {
  const cases = [
    ['stem', ['door.art'], 'door'],
    ['stem', ['a.b.art'], 'a.b'],
    ['stem', ['.art'], ''],
    ['stem', ['noext'], 'noext'],
    ['pictureName', ['door.art', 3, 1, 0, '.png'], 'door_3_1_0.png'],
    ['pictureName', ['-door.art', 10, 0, 3], '-door_10_0_3.bmp'],
    ['readPictureName', ['door.art', 'door_3_1_0.PNG'], { picture: 3, frame: 1, palette: 0, extension: '.PNG' }],
    ['readPictureName', ['door.art', 'door_12_0_1.bmp'], { picture: 12, frame: 0, palette: 1, extension: '.bmp' }],
    ['readPictureName', ['door.art', 'door_03_1_0.bmp'], null],
    ['readPictureName', ['door.art', 'door_3_1.bmp'], null],
    ['readPictureName', ['door.art', 'window_3_1_0.bmp'], null],
    ['animationName', ['door.art', 3, 1], 'door_3_1.gif'],
    ['fileKind', ['DOOR.ART'], 'art'],
    ['fileKind', ['door_3_1_0.PNG'], 'picture'],
    ['fileKind', ['door.json'], 'manifest'],
    ['fileKind', ['door.art.txt'], null],
  ];
  for (const [call, args, expected] of cases) {
    const got = await page.evaluate((c, a) => window.vostrel[c](...a), call, args);
    assert.deepEqual(got, expected, `${call}(${args.join(', ')})`);
  }
});

test('damaged files give the program\'s failure lines and its BMPs, and the page goes on', async () => {
  for (const [name, how] of [['dims_overflow.art', dropOnPage], ['height_negative_fourth.art', openThroughButton],
    ['data_cut.art', dropOnPage]]) {
    await how(corpus(name));
    const native = nativeConvert(corpus(name));
    assert.equal(await messages(), native.text, name);
    const zip = await nextDownload(() => page.click('#download-bmps'));
    const files = unzipSync(new Uint8Array(zip.bytes));
    assert.deepEqual(Object.keys(files).sort(), Object.keys(native.bmps).sort(), name);
    for (const [bmp, bytes] of Object.entries(native.bmps)) assert.ok(Buffer.from(files[bmp]).equals(bytes), bmp);
  }
  await openThroughButton(door);
  assert.match(await messages(), /Saving BMP: Picture 8 Frame 2 Palette 2/);
  assert.equal(await page.$eval('#files [aria-current=true]', (e) => e.textContent), 'door.art');
});

test('the core\'s description of every corpus file and its frames agree with what vostrel makes of it', async () => {
  // vostrel refuses a file the loader refuses, and stops at the first frame whose size cannot
  // make a picture, naming it (from 1): the same file must be refused by the viewer, and its
  // first frame without a picture must be that one. Every BMP vostrel writes of it, the viewer
  // makes the same from the frame's block read from the file (zeros where a file ends early).
  const names = readdirSync(path.join(sourceDir, 'tests/corpus')).filter((name) => name.endsWith('.art')).sort();
  assert.ok(names.length > 30, 'the corpus');
  for (const name of names) {
    const native = nativeConvert(corpus(name));
    const made = Object.keys(native.bmps).map((bmp) => bmp.match(/_(\d+)_(\d+)_(\d+)\.bmp$/).slice(1).map(Number));
    const view = await page.evaluate(async (n, bytes, wanted) => {
      const { view: v } = await window.vostrel.load(`corpus-${n}`, new Uint8Array(bytes));
      const bmps = [];
      for (const [p, f, k] of wanted) bmps.push([...(await window.vostrel.bmp(`corpus-${n}`, p, f, k)) ?? []]);
      await window.vostrel.close(`corpus-${n}`);
      return { loaded: v.loaded, error: v.error, bmps, unplaced: v.frames.flatMap((row, p) =>
        row.map((frame, f) => (frame.placed ? null : [p + 1, f + 1])).filter(Boolean)) };
    }, name, [...readFileSync(corpus(name))], made);
    const refused = /Could not load ART file/.test(native.text);
    assert.equal(view.loaded, !refused, `${name}: ${view.error}`);
    const named = /Could not decode Picture (\d+) Frame (\d+): invalid size/.exec(native.text);
    assert.deepEqual(view.unplaced[0] ?? null, named ? [Number(named[1]), Number(named[2])] : null, name);
    Object.values(native.bmps).forEach((bytes, i) => assert.ok(bytes.equals(Buffer.from(view.bmps[i])), `${name}: ${made[i]}`));
  }
});

test('a large file is read where it lies: the viewer\'s memory does not grow with it, and vostrel\'s text is the same', async () => {
  const dir = mkdtempSync(path.join(tmpdir(), 'vostrel-large-'));
  const file = path.join(dir, 'large.art');
  writeFileSync(file, largeArt());
  const before = await page.evaluate(() => window.vostrel.memory());
  await openThroughButton(file);
  assert.equal(await page.$eval('#status', (e) => e.textContent), 'large.art: converted (1600 BMPs)');
  assert.equal(await messages(), nativeConvert(file).text);
  const after = await page.evaluate(() => window.vostrel.memory());
  // The core's memory never shrinks: had it held the file (27 MiB) even once, it would show.
  assert.ok(after.wasm - before.wasm < 8 * 2 ** 20, `the viewer's core grew from ${before.wasm} to ${after.wasm} bytes`);
  rmSync(dir, { recursive: true });
});

test('a file larger than the memory limit gives the out-of-memory text, and the page goes on', async () => {
  // The corpus file whose two-byte stream announces a 2048 x 2048 picture, raised to 46000 x
  // 46000: a plane of 2.1 GB, over the page's limit of 1 GiB.
  const bytes = readFileSync(corpus('big_plane_tiny_stream.art'));
  const frameHeader = 132 + 1024;
  bytes.writeInt32LE(46000, frameHeader);
  bytes.writeInt32LE(46000, frameHeader + 4);
  const result = await page.evaluate(async (b) => {
    const r = await window.vostrel.open('huge.art', new Uint8Array(b));
    return { status: r.status, text: r.text };
  }, [...bytes]);
  assert.equal(result.status, -1);
  assert.ok(result.text.endsWith('\nMemory exhausted! Abnormal program termination'), result.text);
  const again = await page.evaluate(async () => (await window.vostrel.convert('door.art')).files.length);
  assert.equal(again, 32);
});

// What `vostrel-sheet [OPTION]... ./door.art ./sheet` writes: name -> bytes.
function nativeSheet(options = []) {
  const dir = mkdtempSync(path.join(tmpdir(), 'vostrel-sheet-'));
  copyFileSync(door, path.join(dir, 'door.art'));
  const run = spawnSync(path.join(nativeDir, 'vostrel-sheet'), [...options, './door.art', './sheet'],
    { cwd: dir, encoding: 'latin1' });
  assert.equal(run.status, 0, run.stderr);
  const out = path.join(dir, 'sheet');
  const files = Object.fromEntries(readdirSync(out).map((n) => [n, readFileSync(path.join(out, n))]));
  rmSync(dir, { recursive: true });
  return files;
}

// An 8-bit indexed PNG's indices (rows unfiltered) and its chunks, and the same PNG written
// back with other indices (every row unfiltered, one IDAT), so that a test can edit a sheet.
const crcTable = Array.from({ length: 256 }, (_, n) => {
  let c = n;
  for (let k = 0; k < 8; ++k) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
  return c >>> 0;
});
function crc32(bytes) {
  let c = 0xffffffff;
  for (const b of bytes) c = crcTable[(c ^ b) & 0xff] ^ (c >>> 8);
  return (c ^ 0xffffffff) >>> 0;
}
function readIndexedPng(png) {
  const chunks = [];
  for (let at = 8; at < png.length;) {
    const size = png.readUInt32BE(at);
    chunks.push({ type: png.toString('latin1', at + 4, at + 8), data: png.subarray(at + 8, at + 8 + size) });
    at += 12 + size;
  }
  const ihdr = chunks[0].data;
  const [width, height] = [ihdr.readUInt32BE(0), ihdr.readUInt32BE(4)];
  assert.deepEqual([ihdr[8], ihdr[9]], [8, 3], 'an 8-bit indexed sheet');
  const raw = inflateSync(Buffer.concat(chunks.filter((c) => c.type === 'IDAT').map((c) => c.data)));
  const indices = new Uint8Array(width * height);
  for (let y = 0; y < height; ++y) {
    const filter = raw[y * (width + 1)];
    for (let x = 0; x < width; ++x) {
      const a = x > 0 ? indices[y * width + x - 1] : 0;
      const b = y > 0 ? indices[(y - 1) * width + x] : 0;
      const c = x > 0 && y > 0 ? indices[(y - 1) * width + x - 1] : 0;
      const paeth = () => {
        const p = a + b - c;
        const [pa, pb, pc] = [Math.abs(p - a), Math.abs(p - b), Math.abs(p - c)];
        return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
      };
      const predicted = [0, a, b, (a + b) >> 1, filter === 4 ? paeth() : 0][filter];
      indices[y * width + x] = (raw[y * (width + 1) + 1 + x] + predicted) & 0xff;
    }
  }
  return { width, height, indices, chunks };
}
function writeIndexedPng({ width, height, indices, chunks }) {
  const raw = Buffer.alloc((width + 1) * height);
  for (let y = 0; y < height; ++y) raw.set(indices.subarray(y * width, (y + 1) * width), y * (width + 1) + 1);
  const chunk = (type, data) => {
    const head = Buffer.alloc(8);
    head.writeUInt32BE(data.length, 0);
    head.write(type, 4, 'latin1');
    const crc = Buffer.alloc(4);
    crc.writeUInt32BE(crc32(Buffer.concat([head.subarray(4), data])), 0);
    return Buffer.concat([head, data, crc]);
  };
  const kept = chunks.filter((c) => c.type !== 'IDAT' && c.type !== 'IEND');
  return Buffer.concat([Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]),
    ...kept.map((c) => chunk(c.type, c.data)), chunk('IDAT', deflateSync(raw)), chunk('IEND', Buffer.alloc(0))]);
}

test('the sheet zip holds what vostrel-sheet writes, and the GIF is vostrel-sheet\'s', async () => {
  await openThroughButton(door);
  const zip = await nextDownload(() => page.click('#download-sheet'));
  assert.equal(zip.name, 'door-sheet.zip');
  const entries = unzipSync(new Uint8Array(zip.bytes));
  const native = nativeSheet();
  assert.deepEqual(Object.keys(entries).sort(), Object.keys(native).sort());
  // The sheets' pixels and every chunk but the compressed data are the program's; that data is
  // compressed by another compressor where the program has libdeflate, which the page lacks.
  for (const [name, bytes] of Object.entries(native)) {
    if (!name.endsWith('.png')) {
      assert.ok(bytes.equals(Buffer.from(entries[name])), name);
      continue;
    }
    const [ours, theirs] = [readIndexedPng(Buffer.from(entries[name])), readIndexedPng(bytes)];
    assert.deepEqual([ours.width, ours.height], [theirs.width, theirs.height], name);
    assert.ok(Buffer.from(ours.indices).equals(Buffer.from(theirs.indices)), `${name}: indices`);
    const others = (png) => png.chunks.filter((c) => c.type !== 'IDAT').map((c) => [c.type, [...c.data]]);
    assert.deepEqual(others(ours), others(theirs), `${name}: chunks`);
  }
  // Both from one encoder: the page's GIF of a picture is the program's for the same options
  // wherever the picture's largest frame is as large as the file's.
  const gifs = nativeSheet(['--gif']);
  const manifest = JSON.parse(native['door.json']);
  const cell = manifest.frames[0].sourceSize;
  const { framesPerPicture, pictures } = manifest.meta.vostrel;
  let compared = 0;
  for (let p = 0; p < pictures; ++p) {
    const row = manifest.frames.slice(p * framesPerPicture, (p + 1) * framesPerPicture);
    if (Math.max(...row.map((f) => f.frame.w)) !== cell.w || Math.max(...row.map((f) => f.frame.h)) !== cell.h) continue;
    const name = Object.keys(gifs).find((n) => n.endsWith('.gif') && n.includes(`_${p}_1`));
    if (!name) continue;
    const bytes = await page.evaluate(async (q) => [...await window.vostrel.gif('door.art', q, 1, 8, 0)], p);
    assert.ok(gifs[name].equals(Buffer.from(bytes)), `${name}`);
    ++compared;
  }
  assert.ok(compared > 0, 'at least one picture compared');
});

test('an edited sheet given back with its manifest packs to a file in which that frame changed', async () => {
  await openThroughButton(door);
  const native = nativeSheet();
  const manifest = JSON.parse(native['door.json']);
  const { framesPerPicture } = manifest.meta.vostrel;
  const sheetName = manifest.meta.vostrel.sheets[0].image;
  const [p, f] = [3, 1];
  const place = manifest.frames[p * framesPerPicture + f].frame;
  const sheet = readIndexedPng(native[sheetName]);
  const at = place.y * sheet.width + place.x;
  const was = sheet.indices[at];
  sheet.indices[at] = was === 1 ? 2 : 1; // another colour of the palette
  const given = { ...native, [sheetName]: writeIndexedPng(sheet) };
  const outcome = await page.evaluate(async (files) => {
    const packed = await window.vostrel.pack('door.art', files.map(([name, bytes]) => ({ name, bytes: new Uint8Array(bytes) })));
    return { ...packed, bytes: packed.bytes ? [...packed.bytes] : null };
  },
  Object.entries(given).filter(([name]) => /\.(png|json)$/i.test(name)).map(([name, bytes]) => [name, [...bytes]]));
  assert.equal(outcome.status, 0, outcome.text);
  assert.deepEqual(outcome.replaced, [{ picture: p, frame: f }]);
  // Only that frame differs: the packed file converts to the same BMPs but that frame's.
  const dir = mkdtempSync(path.join(tmpdir(), 'vostrel-repacked-'));
  writeFileSync(path.join(dir, 'door.art'), Buffer.from(outcome.bytes));
  const repacked = nativeConvert(path.join(dir, 'door.art')).bmps;
  rmSync(dir, { recursive: true });
  const original = nativeDoor().bmps;
  const changed = Object.keys(original).filter((name) => !original[name].equals(repacked[name])).sort();
  const palettes = manifest.meta.vostrel.palettes;
  assert.deepEqual(changed, Array.from({ length: palettes }, (_, k) => `door_${p}_${f}_${k}.bmp`));
});

test('packing an edited picture gives vostrel-pack\'s file and text', async () => {
  // A name that begins with '-' is still the file's name, never an option of the packer.
  for (const artName of ['door.art', '-door.art']) {
    const dir = mkdtempSync(path.join(tmpdir(), 'vostrel-pack-'));
    const bmpName = artName.replace(/\.art$/, '_3_1_0.bmp');
    const edited = Buffer.from(nativeDoor().bmps['door_3_1_0.bmp']);
    const offset = edited.readUInt32LE(10);
    edited[offset] = edited[offset] === 1 ? 2 : 1; // another colour of the palette
    writeFileSync(path.join(dir, bmpName), edited);
    copyFileSync(door, path.join(dir, artName));
    // The page packs the file in place, as `vostrel-pack -- NAME . NAME` in a copy does.
    const nativeCopy = path.join(dir, 'native');
    mkdirSync(nativeCopy);
    copyFileSync(door, path.join(nativeCopy, artName));
    const native = spawnSync(path.join(nativeDir, 'vostrel-pack'), ['--', artName, '..', artName],
      { cwd: nativeCopy, encoding: 'latin1' });
    assert.equal(native.status, 0, native.stderr);
    await openThroughButton(path.join(dir, artName));
    await (await page.$('#pack-pictures')).uploadFile(path.join(dir, bmpName));
    await page.waitForFunction(() => document.getElementById('pack-count').textContent.startsWith('1 '));
    const packed = await nextDownload(() => page.click('#download-packed'));
    assert.equal(packed.name, artName);
    assert.ok(packed.bytes.equals(readFileSync(path.join(nativeCopy, artName))), artName);
    assert.ok((await messages()).endsWith(`\n${native.stdout}Replaced: Picture 4 Frame 2\n`), artName);
    assert.equal(await page.$eval('#status', (e) => e.textContent), `${artName}: packed, 1 frame replaced`);
    // What the packer says it did: the frame replaced, and the pictures of its other palettes
    // given beside the edited one, rewritten to show it as packed.
    const otherPalette = artName.replace(/\.art$/, '_3_1_1.bmp');
    for (const [pictures, updated] of [
      [[[bmpName, edited]], []],
      [[[bmpName, edited], [otherPalette, nativeDoor().bmps['door_3_1_1.bmp']]], [otherPalette]],
    ]) {
      const outcome = await page.evaluate(async (name, given) => window.vostrel.pack(name,
        given.map(([picture, bytes]) => ({ name: picture, bytes: new Uint8Array(bytes) }))),
      artName, pictures.map(([picture, bytes]) => [picture, [...bytes]]));
      assert.deepEqual([outcome.status, outcome.replaced, outcome.updated], [0, [{ picture: 3, frame: 1 }], updated],
        `${artName}: ${pictures.length} pictures`);
    }
    rmSync(dir, { recursive: true });
  }
});

test('the keys play, step, zoom and choose a picture, and leave a focused control and the browser\'s own keys alone', async () => {
  await openThroughButton(door);
  const shown = () => page.evaluate(async () => {
    // Tiles are drawn once the browser has laid them out and seen them on screen.
    await new Promise((resolve) => requestAnimationFrame(() => requestAnimationFrame(resolve)));
    return {
      playing: document.getElementById('play').textContent === 'Pause',
      frame: Number(document.querySelector('#pictures canvas').dataset.frame),
      zoom: Number(document.getElementById('zoom').value),
      transparent: document.getElementById('transparent').checked,
      picture: [...document.querySelectorAll('#pictures figure')].findIndex((e) => e.getAttribute('aria-pressed') === 'true'),
    };
  });
  // From a known state: paused on the first frame at zoom 2, no index transparent, and slow
  // enough that no frame moves on while it plays.
  await page.evaluate(() => {
    for (const [id, property, value, event] of [['zoom', 'value', '2', 'input'], ['transparent', 'checked', false, 'change'],
      ['fps', 'value', '1', 'change']]) {
      document.getElementById(id)[property] = value;
      document.getElementById(id).dispatchEvent(new Event(event));
    }
  });
  if ((await shown()).playing) await page.click('#play');
  if ((await shown()).frame !== 0) await page.click('#next');
  for (const [focus, modifier, key, change] of [
    [null, null, 'ArrowRight', { frame: 1 }],
    [null, null, 'ArrowLeft', { frame: 0 }],
    [null, null, '+', { zoom: 3 }],
    [null, null, '-', { zoom: 2 }],
    [null, 'Control', '+', {}],
    ['#zoom', null, 'ArrowRight', { zoom: 3 }],
    ['#zoom', null, '-', { zoom: 2 }],
    ['#transparent', null, ' ', { transparent: true }],
    ['#transparent', null, 'ArrowRight', { frame: 1 }],
    ['#fps', null, ' ', {}],
    ['#pictures figure:nth-child(2)', null, 'Enter', { picture: 1 }],
    [null, null, ' ', { playing: true }],
    [null, null, ' ', { playing: false }],
  ]) {
    await page.evaluate((selector) => (selector ? document.querySelector(selector).focus() : document.activeElement.blur()), focus);
    const before = await shown();
    if (modifier) await page.keyboard.down(modifier);
    await page.keyboard.press(key);
    if (modifier) await page.keyboard.up(modifier);
    assert.deepEqual(await shown(), { ...before, ...change }, `${modifier ?? ''} ${key} on ${focus ?? 'the page'}`);
  }
  await page.click('#transparent');
});

test('the screenshot, and no request of any kind', async () => {
  // A fresh page, not what the tests above left: a damaged file beside door.art, every picture
  // playing with index 0 transparent over the checkerboard.
  await page.reload();
  await openThroughButton(corpus('dims_overflow.art'));
  await openThroughButton(door);
  await page.evaluate(() => {
    document.getElementById('zoom').value = '3';
    document.getElementById('zoom').dispatchEvent(new Event('input'));
    document.getElementById('details').click();
    document.getElementById('transparent').click();
  });
  await page.screenshot({ path: path.join(path.dirname(pagePath), 'vostrel-page.png') });
  const pageUrl = pathToFileURL(pagePath).href;
  // blob: and data: URLs are the page's own bytes, never a request over the network.
  assert.deepEqual(requests.filter((url) => url !== pageUrl && !/^(blob|data):/.test(url)), []);
});
