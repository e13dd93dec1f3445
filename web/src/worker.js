// The page's worker: holds the opened files and runs the WebAssembly core on them, so that the
// page stays responsive however large a file is. The core is created afresh after a run that
// ended the program (exhausted memory), so one file's failure never stops the others.
import createVostrelCore from 'vostrel-core';
import wasmBinary from 'vostrel-core-wasm';
import { zipSync } from 'fflate';
import { GIFEncoder } from 'gifenc';
import { pictureSize } from './picture-size.js';

const files = new Map(); // name -> Uint8Array
let core = null;
let transcript = [];
const utf8 = new TextDecoder();

async function getCore() {
  if (!core) {
    core = await createVostrelCore({
      wasmBinary,
      // Standard output and error byte by byte, in the order written: what `2>&1` would show.
      preRun: [(M) => M.FS.init(() => null, (c) => transcript.push(c), (c) => transcript.push(c))],
    });
  }
  return core;
}

function removeTree(FS, path) {
  if (!FS.analyzePath(path).exists) return;
  if (FS.isDir(FS.stat(path).mode)) {
    for (const entry of FS.readdir(path)) {
      if (entry !== '.' && entry !== '..') removeTree(FS, `${path}/${entry}`);
    }
    FS.rmdir(path);
  } else {
    FS.unlink(path);
  }
}

function listFiles(FS, dir) {
  if (!FS.analyzePath(dir).exists) return [];
  return FS.readdir(dir)
    .filter((entry) => entry !== '.' && entry !== '..')
    .map((entry) => ({ name: entry, bytes: FS.readFile(`${dir}/${entry}`) }));
}

// Runs job(M) in a fresh working directory /run of the core; returns what job returned with the
// program's text. A run that ends the program (std::exit) gives its status; the core is then
// dropped and made again for the next run.
async function inRunDirectory(job) {
  const M = await getCore();
  transcript = [];
  let result;
  try {
    removeTree(M.FS, '/run');
    M.FS.mkdir('/run');
    M.FS.chdir('/run');
    result = job(M);
  } catch (error) {
    core = null;
    const status = error && error.name === 'ExitStatus' ? error.status : -1;
    result = { status, ended: true };
  } finally {
    if (core) {
      M.FS.chdir('/');
      removeTree(M.FS, '/run');
    }
  }
  return { ...result, text: utf8.decode(new Uint8Array(transcript)) };
}

function bytesOf(name) {
  const bytes = files.get(name);
  if (!bytes) throw new Error(`${name} is not open`);
  return bytes;
}

// `vostrel ./NAME ./out`: its status, text and the BMPs it left, in the order written.
function convert(name) {
  const bytes = bytesOf(name);
  return inRunDirectory((M) => {
    M.FS.writeFile(name, bytes);
    const status = M.ccall('vostrel_convert', 'number', ['string', 'string'], [`./${name}`, './out']);
    return { status, files: listFiles(M.FS, '/run/out') };
  });
}

// Loads a file for viewing: its counts and its palettes as RGB. Its frames are placed a row at a
// time by placeRow; vostrel_view_close lets it go.
function openView(M, path) {
  const view = { loaded: M.ccall('vostrel_view_open', 'number', ['string'], [path]) === 1 };
  view.pictures = M._vostrel_view_pictures();
  view.framesPerPicture = M._vostrel_view_frames();
  view.palettes = [];
  for (let k = 0; k < M._vostrel_view_palettes(); ++k) {
    const at = M._vostrel_view_palette(k);
    view.palettes.push(M.HEAPU8.slice(at, at + 256 * 3));
  }
  return view;
}

// The frames of picture p of the opened file as the converter places them.
function placeRow(M, p) {
  const row = [];
  for (let f = 0; f < M._vostrel_view_frames(); ++f) {
    const placed = M._vostrel_view_place(p, f) === 1;
    const width = M._vostrel_view_width();
    const height = M._vostrel_view_height();
    const at = M._vostrel_view_pixels();
    row.push({
      placed,
      width,
      height,
      raw: M._vostrel_view_raw() === 1,
      pixels: at ? M.HEAPU8.slice(at, at + width * height) : new Uint8Array(0),
    });
  }
  return row;
}

// Every frame of a file as the converter places it, and its palettes as RGB.
function frames(M, path) {
  const view = openView(M, path);
  view.frames = [];
  for (let p = 0; p < view.pictures; ++p) view.frames.push(placeRow(M, p));
  M._vostrel_view_close();
  return view;
}

// Names become paths of the in-memory file system: one plain name each, as a browser gives them.
function checkName(name) {
  if (typeof name !== 'string' || name === '' || name === '.' || name === '..' || /[/\0]/.test(name)) {
    throw new Error(`not a plain file name: ${JSON.stringify(name)}`);
  }
  return name;
}

// Converts a file for its text, status and count of BMPs (no copy of them: opening a large file
// needs none), then loads it for the view in the same run.
async function open(name, bytes) {
  files.set(checkName(name), bytes);
  let converted = null;
  const run = await inRunDirectory((M) => {
    M.FS.writeFile(name, bytes);
    const status = M.ccall('vostrel_convert', 'number', ['string', 'string'], [`./${name}`, './out']);
    const out = '/run/out';
    const count = M.FS.analyzePath(out).exists ? M.FS.readdir(out).length - 2 : 0;
    converted = { status, count };
    return { view: frames(M, `./${name}`) };
  });
  let view = run.view;
  if (run.ended && !converted) {
    // The conversion ended the program: the view gets a fresh core of its own.
    converted = { status: run.status };
    const viewed = await inRunDirectory((M) => {
      M.FS.writeFile(name, bytes);
      return { view: frames(M, `./${name}`) };
    });
    view = viewed.view;
  }
  return {
    name,
    status: converted.status,
    text: run.text,
    bmpCount: converted.count ?? 0,
    view: view ?? { loaded: false, pictures: 0, framesPerPicture: 0, palettes: [], frames: [] },
  };
}

// One time for every entry, so that the same file always gives the same zip (the format
// cannot hold times before 1980).
const zipTime = new Date(1980, 0, 1);

async function bmpZip(name) {
  const converted = await convert(name);
  const entries = {};
  for (const file of converted.files ?? []) entries[file.name] = [file.bytes, { level: 1, mtime: zipTime }];
  return { status: converted.status, text: converted.text, zip: zipSync(entries) };
}

// An animated GIF of one picture: palette k as the colour table, each frame's indices as they
// are, at the top left of a screen as large as the picture's largest frame. With a transparent
// index the rest of the screen is transparent and each frame is cleared before the next.
async function gif(name, picture, palette, fps, transparentIndex) {
  const viewed = await inRunDirectory((M) => {
    M.FS.writeFile(name, bytesOf(name));
    // Only the one picture's frames are placed.
    const view = openView(M, `./${name}`);
    const row = Number.isInteger(picture) && picture >= 0 && picture < view.pictures ? placeRow(M, picture) : null;
    M._vostrel_view_close();
    return { view, row };
  });
  const { view, row } = viewed;
  if (!view || !row) throw new Error(`${name} has no picture ${picture}`);
  if (!view.palettes[palette]) throw new Error(`${name} has no palette ${palette}`);
  const rgb = view.palettes[palette];
  const colours = [];
  for (let i = 0; i < 256; ++i) colours.push([rgb[i * 3], rgb[i * 3 + 1], rgb[i * 3 + 2]]);
  const { width, height } = pictureSize(row);
  const transparent = transparentIndex !== null && transparentIndex !== undefined;
  if (transparent && !(Number.isInteger(transparentIndex) && transparentIndex >= 0 && transparentIndex <= 255)) {
    throw new Error(`the transparent index must be a palette index (0 to 255) or null, not ${transparentIndex}`);
  }
  if (!(fps > 0 && Number.isFinite(fps))) throw new Error(`the frames per second must be above 0, not ${fps}`);
  // GIF delays are in hundredths of a second; many viewers take less than 2 as "as fast as
  // possible", so 2 is the least.
  const hundredths = Math.max(2, Math.round(100 / fps));
  const encoder = GIFEncoder();
  row.forEach((frame, f) => {
    const screen = new Uint8Array(width * height).fill(transparent ? transparentIndex : 0);
    for (let y = 0; y < frame.height; ++y) {
      screen.set(frame.pixels.subarray(y * frame.width, (y + 1) * frame.width), y * width);
    }
    // The first frame's colour table is the global one, which every frame uses.
    encoder.writeFrame(screen, width, height, {
      palette: f === 0 ? colours : undefined,
      delay: hundredths * 10,
      transparent,
      transparentIndex: transparent ? transparentIndex : 0,
      dispose: transparent ? 2 : 1,
    });
  });
  encoder.finish();
  return { gif: encoder.bytes() };
}

function sameFrame(a, b) {
  if (!a || !b || a.width !== b.width || a.height !== b.height || a.placed !== b.placed) return false;
  return a.pixels.every((v, i) => v === b.pixels[i]);
}

// `vostrel-pack -- NAME pictures NAME`: the original replaced in place by the packed file, as the
// packer allows; the frames that differ from the original's are the replaced ones.
async function pack(original, pictures) {
  const name = checkName(original.name);
  const bytes = original.bytes ?? bytesOf(name);
  pictures.forEach((picture) => checkName(picture.name));
  return inRunDirectory((M) => {
    M.FS.writeFile(name, bytes);
    M.FS.mkdir('pictures');
    for (const picture of pictures) M.FS.writeFile(`pictures/${picture.name}`, picture.bytes);
    const status = M.ccall('vostrel_pack', 'number', ['string', 'string', 'string'],
      [name, 'pictures', name]);
    if (status !== 0) return { status, replaced: [] };
    const packed = M.FS.readFile(name);
    // Beside the run directory, so that no picture or file name can meet it.
    M.FS.writeFile('/tmp/original.art', bytes);
    const before = frames(M, '/tmp/original.art');
    M.FS.unlink('/tmp/original.art');
    const after = frames(M, `./${name}`);
    const replaced = [];
    after.frames.forEach((row, p) => row.forEach((frame, f) => {
      if (!sameFrame(frame, before.frames[p]?.[f])) replaced.push({ picture: p, frame: f });
    }));
    return { status, bytes: packed, replaced };
  });
}

const handlers = {
  open: ({ name, bytes }) => open(name, bytes),
  close: ({ name }) => ({ closed: files.delete(name) }),
  bmps: ({ name }) => bmpZip(name),
  convert: ({ name }) => convert(name),
  gif: ({ name, picture, palette, fps, transparent }) => gif(name, picture, palette, fps, transparent),
  pack: ({ original, pictures }) => pack(original, pictures),
};

// One request at a time, in order.
let queue = Promise.resolve();
self.onmessage = ({ data }) => {
  queue = queue.then(async () => {
    try {
      const result = await handlers[data.kind](data);
      self.postMessage({ id: data.id, result });
    } catch (error) {
      self.postMessage({ id: data.id, error: String(error && error.message ? error.message : error) });
    }
  });
};
