// The page's viewer: a worker that holds each opened file as the core's table of it (header,
// palettes, frame headers) and the browser's file itself, and reads, decodes or makes a BMP or
// a GIF of a frame when the page asks. It never runs a program, so it answers at once while a
// program runs in another worker.
import {
  bytesAt, checkName, closeReader, fileNumber, forgetFile, handingOver, makeCore, readInto, readerOf, serve,
} from './core.js';

// Everything the viewer keeps, in one place.
const state = {
  // name -> { handle, file, blob, view }: the core's handle (0 when it refused the file), the
  // number under which the core reads the browser's file, and that file
  files: new Map(),
  // The core, made as the worker starts, so that it is ready when the first file comes.
  core: makeCore(),
  rules: null, // the core's rules, asked once
  // Buffers of frames the page no longer needed, for frames of their size to be put in: a file
  // that plays asks for frames all the time.
  spare: [],
};

// The most spare buffers kept.
const mostSpare = 64;

// The core shows a small sprite of its own making as the worker starts: the browser compiles
// the core's code when it first runs, and this way the first file chosen does not wait for that.
async function warmUp() {
  const M = await state.core;
  if (!M._vostrel_warm_up()) throw new Error('the core did not read back the sprite it made');
  state.rules = JSON.parse(M.ccall('vostrel_rules', 'string', [], []));
}

// Opens a file in the core: its description and its palettes as RGB. Only the front of the
// file is read now; a frame's bytes when it is asked for.
async function openView(name, blob) {
  await warm;
  const M = await state.core;
  const file = fileNumber(blob);
  const described = JSON.parse(M.ccall('vostrel_sprite_open', 'string', ['number', 'number'], [file, blob.size]));
  if (!described.handle) forgetFile(file);
  const palettes = [];
  for (let k = 0; k < (described.palettes ?? 0); ++k) {
    palettes.push(bytesAt(M, M._vostrel_sprite_palette(described.handle, k)));
  }
  const view = {
    loaded: described.handle !== 0,
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
    screens: (described.screens ?? []).map(([width, height]) => ({ width, height })),
  };
  return { handle: described.handle, file, view };
}

async function close(name) {
  const file = state.files.get(name);
  if (file?.handle) {
    (await state.core)._vostrel_sprite_close(file.handle);
    forgetFile(file.file);
  }
  return state.files.delete(name);
}

// Opens (or opens again) a file for viewing: a browser's file (a File or Blob) is read where it
// lies, bytes are kept as a Blob.
async function load(name, data) {
  checkName(name);
  await close(name);
  const blob = data instanceof Blob ? data : new Blob([data]);
  const { handle, file, view } = await openView(name, blob);
  state.files.set(name, { handle, file, blob, view });
  return { name, view };
}

function fileOf(name) {
  const file = state.files.get(name);
  if (!file) throw new Error(`${name} is not open`);
  return file;
}

// The indices of frames from `first` of a picture, as many as `count` asks and the picture has;
// their buffers are handed to the page, which draws frames many times a second while a file
// plays, rather than copied for it.
async function frames(name, picture, first, count, spare = []) {
  state.spare.push(...spare);
  state.spare.splice(0, state.spare.length - mostSpare);
  const file = fileOf(name);
  const M = await state.core;
  if (file.handle) await readAhead(M, file, picture, first, count);
  const row = file.view.frames[picture] ?? [];
  const out = [];
  for (let f = Math.max(0, first); f < Math.min(row.length, first + count); ++f) {
    const pixels = file.handle ? bytesAt(M, M._vostrel_sprite_frame(file.handle, picture, f), state.spare) : null;
    out.push({ frame: f, width: pixels ? row[f].width : 0, height: pixels ? row[f].height : 0,
      pixels: pixels ?? new Uint8Array(0) });
  }
  return handingOver(out, out.map((frame) => frame.pixels.buffer));
}

// Reads the part of the file that holds those frames into the core before they are decoded,
// from the browser's stream of it and without waiting on the browser as the core's own reads
// would: a file that plays is read all the time, and this leaves nothing to collect. Where the
// stream cannot fill a buffer given, or stops short, the core reads the rest itself.
async function readAhead(M, file, picture, first, count) {
  const [offset, size] = JSON.parse(M.ccall('vostrel_sprite_span', 'string', ['number', 'number', 'number', 'number'],
    [file.handle, picture, first, count]));
  const at = size && M.ccall('vostrel_sprite_window', 'number', ['number', 'number', 'number'], [file.handle, offset, size]);
  if (!at) return;
  let filled = 0;
  const reader = readerOf(file.blob.slice(offset, offset + size));
  try {
    filled = await readInto(M, reader, at, size);
  } catch {
    // Read by the core itself, which says so if the file can no longer be read.
  } finally {
    closeReader(reader);
  }
  M._vostrel_sprite_window_filled(file.handle, filled);
}

// One BMP made by the core from the opened file's frame, or null.
async function bmp(name, picture, frame, palette) {
  const file = fileOf(name);
  if (!file.handle) return null;
  const M = await state.core;
  return bytesAt(M, M._vostrel_sprite_bmp(file.handle, picture, frame, palette));
}

// An animated GIF of one picture in palette k (checked here), made by the core with the same
// GIF encoder as `vostrel-sheet --gif`: the palette as the colour table, each frame's indices as
// they are, at the top left of the picture's screen. The encoder takes whole frames a second,
// within the range vostrel-sheet takes, so a fraction is rounded.
async function gif(name, picture, palette, fps, transparentIndex) {
  await warm;
  const file = fileOf(name);
  const { fps: range, maxPaletteIndex } = state.rules;
  if (!(Number.isInteger(picture) && picture >= 0 && picture < file.view.pictures)) {
    throw new Error(`${name} has no picture ${picture}`);
  }
  if (!file.view.palettes[palette]) throw new Error(`${name} has no palette ${palette}`);
  const transparent = transparentIndex !== null && transparentIndex !== undefined;
  if (transparent && !(Number.isInteger(transparentIndex) && transparentIndex >= 0 && transparentIndex <= maxPaletteIndex)) {
    throw new Error(`the transparent index must be a palette index (0 to ${maxPaletteIndex}) or null, not ${transparentIndex}`);
  }
  const whole = Math.round(fps);
  if (!(whole >= range.min && whole <= range.max)) {
    throw new Error(`the frames per second must be from ${range.min} to ${range.max}, not ${fps}`);
  }
  if (!file.handle) throw new Error(`${name} cannot be shown, so it has no GIF`);
  const M = await state.core;
  const bytes = bytesAt(M, M._vostrel_sprite_gif(file.handle, picture, palette, whole, transparent ? transparentIndex : -1));
  if (!bytes) throw new Error(`${name}: the GIF of picture ${picture + 1} is too large for the page's memory`);
  return { gif: bytes };
}

// Names as the programs make and read them, and what a file's name makes it to the page.
async function names(which, args) {
  const M = await state.core;
  if (which === 'stem') return M.ccall('vostrel_picture_stem', 'string', ['string'], [args.name]);
  if (which === 'picture') {
    return M.ccall('vostrel_picture_name', 'string', ['string', 'number', 'number', 'number', 'string'],
      [args.name, args.picture, args.frame, args.palette, args.extension]);
  }
  if (which === 'animation') {
    return M.ccall('vostrel_animation_name', 'string', ['string', 'number', 'number', 'string'],
      [args.name, args.picture, args.palette, args.extension]);
  }
  if (which === 'kind') return M.ccall('vostrel_file_kind', 'string', ['string'], [args.name]) || null;
  return JSON.parse(M.ccall('vostrel_read_picture_name', 'string', ['string', 'string'], [args.picture, args.name]));
}

const warm = warmUp();

serve({
  load: ({ name, bytes }) => load(name, bytes),
  frames: ({ name, picture, first, count, spare }) => frames(name, picture, first, count, spare),
  bmp: ({ name, picture, frame, palette }) => bmp(name, picture, frame, palette),
  gif: ({ name, picture, palette, fps, transparent }) => gif(name, picture, palette, fps, transparent),
  names: ({ which, ...args }) => names(which, args),
  rules: async () => {
    await warm;
    return state.rules;
  },
  close: async ({ name }) => ({ closed: await close(name) }),
  // The core's memory (the tables it holds and the frame last decoded).
  memory: async () => ({ wasm: (await state.core).HEAPU8.buffer.byteLength }),
});
