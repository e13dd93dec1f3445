// The page's worker: holds the opened files and runs the WebAssembly core on them, so that the
// page stays responsive however large a file is. Two kinds of core: one long-lived viewer, which
// holds each opened file as a parsed sprite and decodes a frame when it is asked for; and a
// fresh one for every run of a program (vostrel, vostrel-pack), let go afterwards, so that a run
// that ends the program (exhausted memory) or grows its memory never touches the opened files.
import createVostrelCore from 'vostrel-core';
import wasmBinary from 'vostrel-core-wasm';
import { zipSync } from 'fflate';
import { GIFEncoder } from 'gifenc';
import { pictureSize } from './picture-size.js';

const utf8 = new TextDecoder();

// Everything the worker keeps, in one place.
const state = {
  files: new Map(), // name -> { bytes, handle, view }: handle in the viewer core, 0 when refused
  viewer: null, // the viewer core, made on first use
  module: null, // the core's compiled WebAssembly, compiled once for every instance
  transcript: [], // the running program's standard output and error, byte by byte
};

// A core instance from the module compiled once; its output goes to the transcript.
async function makeCore() {
  state.module ??= WebAssembly.compile(wasmBinary);
  const module = await state.module;
  return createVostrelCore({
    instantiateWasm: (imports, done) => {
      WebAssembly.instantiate(module, imports).then((instance) => done(instance, module));
      return {};
    },
    // Standard output and error byte by byte, in the order written: what `2>&1` would show.
    preRun: [(M) => M.FS.init(() => null, (c) => state.transcript.push(c), (c) => state.transcript.push(c))],
  });
}

async function viewer() {
  state.viewer ??= makeCore();
  return state.viewer;
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

// Runs job(M) in the working directory /run of a fresh core; returns what job returned with the
// program's text. A run that ends the program (std::exit) gives its status.
async function inRunDirectory(job) {
  const M = await makeCore();
  state.transcript = [];
  let result;
  try {
    M.FS.mkdir('/run');
    M.FS.chdir('/run');
    result = job(M);
  } catch (error) {
    const status = error && error.name === 'ExitStatus' ? error.status : -1;
    result = { status, ended: true };
  }
  return { ...result, text: utf8.decode(new Uint8Array(state.transcript)) };
}

function fileOf(name) {
  const file = state.files.get(name);
  if (!file) throw new Error(`${name} is not open`);
  return file;
}

// The bytes the core reads as a file, without a copy: the file system keeps the array as it is
// (the programs only read it, and write their output under other names or by replacing it).
function putFile(M, path, bytes) {
  M.FS.writeFile(path, bytes, { canOwn: true });
}

// `vostrel ./NAME ./out`: its status, text and the BMPs it left, in the order written.
function convert(name) {
  const { bytes } = fileOf(name);
  return inRunDirectory((M) => {
    putFile(M, name, bytes);
    const status = M.ccall('vostrel_convert', 'number', ['string', 'string'], [`./${name}`, './out']);
    return { status, files: listFiles(M.FS, '/run/out') };
  });
}

// The console text and status of `vostrel ./NAME ./out`, and how many BMPs it wrote.
async function run(name) {
  const converted = await convert(name);
  return { status: converted.status, text: converted.text, bmpCount: converted.files?.length ?? 0 };
}

// Bytes the core handed out ({ data, size } in its heap), copied; null for none.
function bytesAt(M, at) {
  if (!at) return null;
  const data = M.HEAPU32[at >> 2];
  const size = M.HEAPU32[(at >> 2) + 1];
  return M.HEAPU8.slice(data, data + size);
}

// Opens a file in the viewer core: the core's description of it and its palettes as RGB.
async function openView(name, bytes) {
  const M = await viewer();
  const path = '/view.art';
  putFile(M, path, bytes);
  const described = JSON.parse(M.ccall('vostrel_sprite_open', 'string', ['string'], [path]));
  M.FS.unlink(path);
  const loaded = described.handle !== 0;
  const palettes = [];
  for (let k = 0; k < (described.palettes ?? 0); ++k) {
    palettes.push(bytesAt(M, M._vostrel_sprite_palette(described.handle, k)));
  }
  const view = {
    loaded,
    error: described.error ?? null,
    stem: M.ccall('vostrel_picture_stem', 'string', ['string'], [name]),
    pictures: described.pictures ?? 0,
    framesPerPicture: described.framesPerPicture ?? 0,
    palettes,
    frames: (described.frames ?? []).map((row) => row.map(([width, height, storage]) => ({
      placed: storage !== null,
      width,
      height,
      raw: storage === 'raw',
    }))),
  };
  return { handle: described.handle, view };
}

async function closeView(file) {
  if (file?.handle) (await viewer())._vostrel_sprite_close(file.handle);
}

// Names become paths of the in-memory file system: one plain name each, as a browser gives them.
function checkName(name) {
  if (typeof name !== 'string' || name === '' || name === '.' || name === '..' || /[/\0]/.test(name)) {
    throw new Error(`not a plain file name: ${JSON.stringify(name)}`);
  }
  return name;
}

// Opens (or opens again) a file for viewing: at once, without running the converter.
async function load(name, bytes) {
  checkName(name);
  await closeView(state.files.get(name));
  state.files.delete(name);
  const { handle, view } = await openView(name, bytes);
  state.files.set(name, { bytes, handle, view });
  return { name, view };
}

// The indices of frames from `first` of a picture, as many as `count` asks and the picture has.
async function frames(name, picture, first, count) {
  const file = fileOf(name);
  const M = await viewer();
  const row = file.view.frames[picture] ?? [];
  const out = [];
  for (let f = first; f < Math.min(row.length, first + count); ++f) {
    const pixels = file.handle ? bytesAt(M, M._vostrel_sprite_frame(file.handle, picture, f)) : null;
    out.push({ frame: f, width: pixels ? row[f].width : 0, height: pixels ? row[f].height : 0,
      pixels: pixels ?? new Uint8Array(0) });
  }
  return out;
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

// One BMP made by the core from the opened file's frame, or null.
async function bmp(name, picture, frame, palette) {
  const file = fileOf(name);
  if (!file.handle) return null;
  const M = await viewer();
  return bytesAt(M, M._vostrel_sprite_bmp(file.handle, picture, frame, palette));
}

// An animated GIF of one picture: palette k as the colour table, each frame's indices as they
// are, at the top left of a screen as large as the picture's largest frame. With a transparent
// index the rest of the screen is transparent and each frame is cleared before the next.
async function gif(name, picture, palette, fps, transparentIndex) {
  const file = fileOf(name);
  if (!(Number.isInteger(picture) && picture >= 0 && picture < file.view.pictures)) {
    throw new Error(`${name} has no picture ${picture}`);
  }
  if (!file.view.palettes[palette]) throw new Error(`${name} has no palette ${palette}`);
  const transparent = transparentIndex !== null && transparentIndex !== undefined;
  if (transparent && !(Number.isInteger(transparentIndex) && transparentIndex >= 0 && transparentIndex <= 255)) {
    throw new Error(`the transparent index must be a palette index (0 to 255) or null, not ${transparentIndex}`);
  }
  if (!(fps > 0 && Number.isFinite(fps))) throw new Error(`the frames per second must be above 0, not ${fps}`);
  const row = await frames(name, picture, 0, file.view.framesPerPicture);
  return { gif: encodeGif(row, file.view.palettes[palette], fps, transparent ? transparentIndex : null) };
}

// The GIF's bytes from a picture's decoded frames, a palette as RGB, the frames per second and
// the transparent index (or null).
function encodeGif(row, rgb, fps, transparentIndex) {
  const transparent = transparentIndex !== null;
  const colours = [];
  for (let i = 0; i < 256; ++i) colours.push([rgb[i * 3], rgb[i * 3 + 1], rgb[i * 3 + 2]]);
  const { width, height } = pictureSize(row);
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
  return encoder.bytes();
}

// `vostrel-pack -- NAME pictures NAME`: the original replaced in place by the packed file, as the
// packer allows; the core says which frames it replaced.
async function pack(original, pictures) {
  const name = checkName(original.name);
  const bytes = original.bytes ?? fileOf(name).bytes;
  pictures.forEach((picture) => checkName(picture.name));
  return inRunDirectory((M) => {
    // A copy: the packer writes its output under the original's name.
    M.FS.writeFile(name, bytes);
    M.FS.mkdir('pictures');
    for (const picture of pictures) M.FS.writeFile(`pictures/${picture.name}`, picture.bytes);
    const outcome = JSON.parse(M.ccall('vostrel_pack', 'string', ['string', 'string', 'string'],
      [name, 'pictures', name]));
    if (outcome.status !== 0) return { status: outcome.status, replaced: [] };
    return {
      status: outcome.status,
      bytes: M.FS.readFile(name),
      replaced: outcome.replaced.map(([picture, frame]) => ({ picture, frame })),
    };
  });
}

// Names as the programs make and read them.
async function names(kind, args) {
  const M = await viewer();
  if (kind === 'stem') return M.ccall('vostrel_picture_stem', 'string', ['string'], [args.name]);
  if (kind === 'picture') {
    return M.ccall('vostrel_picture_name', 'string', ['string', 'number', 'number', 'number', 'string'],
      [args.name, args.picture, args.frame, args.palette, args.extension]);
  }
  return JSON.parse(M.ccall('vostrel_read_picture_name', 'string', ['string', 'string'], [args.picture, args.name]));
}

// What the worker holds: the viewer core's memory and the opened files' bytes.
async function memory() {
  const M = state.viewer ? await state.viewer : null;
  let files = 0;
  for (const file of state.files.values()) files += file.bytes.byteLength;
  return { wasm: M ? M.HEAPU8.buffer.byteLength : 0, files };
}

const handlers = {
  load: ({ name, bytes }) => load(name, bytes),
  run: ({ name }) => run(name),
  open: async ({ name, bytes }) => {
    const loaded = await load(name, bytes);
    return { ...loaded, ...(await run(name)) };
  },
  frames: ({ name, picture, first, count }) => frames(name, picture, first, count),
  bmp: ({ name, picture, frame, palette }) => bmp(name, picture, frame, palette),
  close: async ({ name }) => {
    await closeView(state.files.get(name));
    return { closed: state.files.delete(name) };
  },
  bmps: ({ name }) => bmpZip(name),
  convert: ({ name }) => convert(name),
  gif: ({ name, picture, palette, fps, transparent }) => gif(name, picture, palette, fps, transparent),
  pack: ({ original, pictures }) => pack(original, pictures),
  names: ({ which, ...args }) => names(which, args),
  memory: () => memory(),
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
