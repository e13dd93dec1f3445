// Writes the large .art files the page's open-time benchmark opens: eight pictures of 100 frames
// (27.4 MiB) or of 1,000 frames (274 MiB) of 256 x 256, the even frames raw and the odd ones
// run-length, two palettes; the same bytes every time (a fixed seed).
// Usage: node large-art.mjs OUTPUT.art [FRAMES_PER_PICTURE]
import { writeFileSync } from 'node:fs';

const pictures = 8;
const side = 256;
const paletteCount = 2;

// The file's layout: a header of 33 little-endian words, 1024-byte palettes, a 28-byte header
// (width, height, dataSize, four words) for each frame, then the frames' data.
const headerWords = 33;
const flagsWord = 0; // 0: eight pictures of frameCount frames
const palettePresentWord = 3; // four words, one a palette
const frameCountWord = 8;
const frameHeaderBytes = 28;
const paletteBytes = 1024;
// The run-length control byte: the top bit marks a literal run, the low seven bits count.
const literalBit = 0x80;
const longestRun = 0x7f;

// A small deterministic generator, so that the file is the same on every machine.
function random(seed) {
  let state = seed >>> 0;
  return () => {
    state = (Math.imul(state, 1664525) + 1013904223) >>> 0;
    return state >>> 24;
  };
}

function rawFrame(next) {
  const pixels = new Uint8Array(side * side);
  for (let i = 0; i < pixels.length; ++i) pixels[i] = next();
  return pixels;
}

// Rows of runs of one colour with a short literal run between them: a stream much shorter than
// the pixels, so that it can never be taken for raw.
function runLengthFrame(next) {
  const stream = [];
  for (let y = 0; y < side; ++y) {
    let x = 0;
    while (x < side) {
      const literal = Math.min(side - x, 1 + (next() & 3));
      stream.push(literalBit | literal);
      for (let i = 0; i < literal; ++i) stream.push(next());
      x += literal;
      const fill = Math.min(side - x, 8 + (next() % (longestRun - 8)));
      if (fill > 0) stream.push(fill, next());
      x += fill;
    }
  }
  return Uint8Array.from(stream);
}

export function largeArt(framesPerPicture = 100, seed = 2026) {
  const next = random(seed);
  const frames = [];
  for (let p = 0; p < pictures; ++p) {
    for (let f = 0; f < framesPerPicture; ++f) frames.push(f % 2 === 0 ? rawFrame(next) : runLengthFrame(next));
  }
  const dataBytes = frames.reduce((sum, data) => sum + data.length, 0);
  const size = headerWords * 4 + paletteCount * paletteBytes + frames.length * frameHeaderBytes + dataBytes;
  const bytes = new Uint8Array(size);
  const view = new DataView(bytes.buffer);
  view.setInt32(flagsWord * 4, 0, true);
  for (let k = 0; k < paletteCount; ++k) view.setInt32((palettePresentWord + k) * 4, 1, true);
  view.setInt32(frameCountWord * 4, framesPerPicture, true);
  let at = headerWords * 4;
  for (let k = 0; k < paletteCount; ++k, at += paletteBytes) {
    for (let i = 0; i < paletteBytes; ++i) bytes[at + i] = next();
  }
  for (const data of frames) {
    view.setInt32(at, side, true);
    view.setInt32(at + 4, side, true);
    view.setInt32(at + 8, data.length, true);
    at += frameHeaderBytes;
  }
  for (const data of frames) {
    bytes.set(data, at);
    at += data.length;
  }
  return bytes;
}

if (import.meta.url === `file://${process.argv[1]}`) {
  const [output, frames = '100'] = process.argv.slice(2);
  if (!output || !(Number(frames) > 0)) {
    console.error('Usage: node large-art.mjs OUTPUT.art [FRAMES_PER_PICTURE]');
    process.exit(2);
  }
  writeFileSync(output, largeArt(Number(frames)));
}
