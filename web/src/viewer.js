// The page's viewer: a worker that holds each opened file as a sprite parsed by the core, and
// decodes a frame, makes a BMP or a GIF when the page asks. It never runs a program, so it
// answers at once while the runner worker converts or packs.
import { GIFEncoder } from 'gifenc';
import { bytesAt, bytesOf, checkName, makeCore, putFile, serve } from './core.js';
import { pictureSize } from './picture-size.js';

// Everything the viewer keeps, in one place.
const state = {
  files: new Map(), // name -> { handle, view }: handle of the core's sprite, 0 when refused
  // The core, made as the worker starts, so that it is ready when the first file comes.
  core: makeCore(),
};

// A small sprite opened, decoded and closed as the worker starts: the browser compiles the core's
// code when it first runs, and this way the first file chosen does not wait for that.
async function warmUp() {
  const M = await state.core;
  // The .art layout: a header of 33 little-endian words, 1024-byte palettes, a 28-byte header
  // (width, height, dataSize, four words) for each frame, then the frames' data.
  const headerBytes = 132;
  const flagsAt = 0; // 1: pictures of one frame
  const firstPalettePresentAt = 12;
  const frameCountAt = 32;
  const paletteBytes = 1024;
  const frameHeaderBytes = 28;
  const side = 16;
  const frameAt = headerBytes + paletteBytes;
  const bytes = new Uint8Array(frameAt + frameHeaderBytes + side * side);
  const words = new DataView(bytes.buffer);
  words.setInt32(flagsAt, 1, true);
  words.setInt32(firstPalettePresentAt, 1, true);
  words.setInt32(frameCountAt, 1, true);
  words.setInt32(frameAt, side, true); // width
  words.setInt32(frameAt + 4, side, true); // height
  words.setInt32(frameAt + 8, side * side, true); // dataSize: raw
  putFile(M, '/warm.art', bytes);
  const { handle } = JSON.parse(M.ccall('vostrel_sprite_open', 'string', ['string'], ['/warm.art']));
  M.FS.unlink('/warm.art');
  M._vostrel_sprite_frame(handle, 0, 0);
  M._vostrel_sprite_close(handle);
}

// Opens a file in the core: the core's description of it and its palettes as RGB.
async function openView(name, bytes) {
  await warm;
  const M = await state.core;
  const path = '/view.art';
  putFile(M, path, bytes);
  const described = JSON.parse(M.ccall('vostrel_sprite_open', 'string', ['string'], [path]));
  M.FS.unlink(path);
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
  };
  return { handle: described.handle, view };
}

async function close(name) {
  const file = state.files.get(name);
  if (file?.handle) (await state.core)._vostrel_sprite_close(file.handle);
  return state.files.delete(name);
}

// Opens (or opens again) a file for viewing; its bytes are not kept.
async function load(name, data) {
  checkName(name);
  await close(name);
  const { handle, view } = await openView(name, await bytesOf(data));
  state.files.set(name, { handle, view });
  return { name, view };
}

function fileOf(name) {
  const file = state.files.get(name);
  if (!file) throw new Error(`${name} is not open`);
  return file;
}

// The indices of frames from `first` of a picture, as many as `count` asks and the picture has.
async function frames(name, picture, first, count) {
  const file = fileOf(name);
  const M = await state.core;
  const row = file.view.frames[picture] ?? [];
  const out = [];
  for (let f = Math.max(0, first); f < Math.min(row.length, first + count); ++f) {
    const pixels = file.handle ? bytesAt(M, M._vostrel_sprite_frame(file.handle, picture, f)) : null;
    out.push({ frame: f, width: pixels ? row[f].width : 0, height: pixels ? row[f].height : 0,
      pixels: pixels ?? new Uint8Array(0) });
  }
  return out;
}

// One BMP made by the core from the opened file's frame, or null.
async function bmp(name, picture, frame, palette) {
  const file = fileOf(name);
  if (!file.handle) return null;
  const M = await state.core;
  return bytesAt(M, M._vostrel_sprite_bmp(file.handle, picture, frame, palette));
}

// An animated GIF of one picture in palette k (checked here, encoded by encodeGif).
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
// the transparent index (or null): the palette as the colour table, each frame's indices as
// they are, at the top left of a screen as large as the picture's largest frame. With a
// transparent index the rest of the screen is transparent and each frame is cleared before the
// next.
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

// Names as the programs make and read them.
async function names(which, args) {
  const M = await state.core;
  if (which === 'stem') return M.ccall('vostrel_picture_stem', 'string', ['string'], [args.name]);
  if (which === 'picture') {
    return M.ccall('vostrel_picture_name', 'string', ['string', 'number', 'number', 'number', 'string'],
      [args.name, args.picture, args.frame, args.palette, args.extension]);
  }
  return JSON.parse(M.ccall('vostrel_read_picture_name', 'string', ['string', 'string'], [args.picture, args.name]));
}

const warm = warmUp();

serve({
  load: ({ name, bytes }) => load(name, bytes),
  frames: ({ name, picture, first, count }) => frames(name, picture, first, count),
  bmp: ({ name, picture, frame, palette }) => bmp(name, picture, frame, palette),
  gif: ({ name, picture, palette, fps, transparent }) => gif(name, picture, palette, fps, transparent),
  names: ({ which, ...args }) => names(which, args),
  close: async ({ name }) => ({ closed: await close(name) }),
  // The core's memory (the sprites it holds); the viewer keeps no file's bytes.
  memory: async () => ({ wasm: (await state.core).HEAPU8.buffer.byteLength, files: 0 }),
});
