// vostrel sprite viewer: the page's behaviour. Files are read, decoded and converted by workers
// around the WebAssembly core (api.js), which also gives every rule the page follows (names,
// limits, extensions, the tiles' size); this script keeps what the page shows in one state
// object, draws it and offers the downloads.
import viewerSource from 'viewer-source';
import runnerSource from 'runner-source';
import wasmBinary from 'vostrel-core-wasm';
import { createApi } from './api.js';

const $ = (id) => document.getElementById(id);
const scriptUrl = (source) => URL.createObjectURL(new Blob([source], { type: 'text/javascript' }));
const runnerUrl = scriptUrl(runnerSource);
const vostrel = createApi(new Worker(scriptUrl(viewerSource)), () => new Worker(runnerUrl), wasmBinary);

// The zoom slider's range, the page's own choice.
const zoomRange = { min: 1, max: 8 };
// Decoded frames kept for drawing, at most. A file whose frames do not all fit keeps none once
// drawn: playing it comes back to a frame only after every other, by when the cache would have
// let it go, so its frames are asked of the worker again instead.
const frameCacheBytes = 8 * 2 ** 20;
// The most pixels asked of the worker at once for one picture: a small picture's frames come in
// one answer, a large one's a few at a time, which are all a playing file holds of it.
const fetchPixels = 2 ** 18;

// Everything the page knows, in one place; the controls and the tiles show it, and what the
// user does to them changes it here first.
const state = {
  rules: null, // the core's rules (frames a second, palette indices), asked as the page starts
  files: new Map(), // name -> { serial, view, status, text, bmpCount, messages }
  serial: 0, // tells apart a file opened again under the same name
  selected: null,
  picture: 0, // chosen for the GIF and PNG downloads
  frame: 0,
  playing: true,
  timer: null,
  // What the controls say: the fields' text as typed, the rest as values.
  controls: {
    palette: 0,
    zoom: 2,
    fps: '',
    transparent: false,
    transparentIndex: '0',
    background: 'checker',
    colour: '#404040',
    details: false,
  },
  tiles: [], // the selected file's pictures on screen: { picture, canvas, visible, shown }
  packPictures: new Map(), // name -> Uint8Array: edited pictures for packing
  frames: new Map(), // `${serial}/${p}/${f}` -> { width, height, pixels }, oldest first
  frameBytes: 0,
  fetching: new Set(), // keys of frames asked of the worker
  inFlight: new Set(), // the worker's answers awaited for them
  // The pixels a frame is coloured in before it goes on a canvas, kept while frames of one size
  // follow one another (a file played makes many a second).
  imageData: null,
  // The palette (and transparent index) frames were last coloured with, as one word an index.
  colours: { rgb: null, transparent: null, table: new Uint32Array(256) },
  // The buffers of frames let go from the cache, handed back to the viewer with the next request
  // for the frames that follow to be put in.
  spareFrames: [],
};

window.vostrel = {
  ...vostrel,
  // The page's own share: the decoded frames it keeps.
  memory: async () => ({ ...(await vostrel.memory()), page: state.frameBytes }),
};

function setStatus(text) {
  $('status').textContent = text;
}

function download(data, name, type) {
  const link = document.createElement('a');
  link.href = URL.createObjectURL(data instanceof Blob ? data : new Blob([data], { type }));
  link.download = name;
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(link.href), 60000);
}

function selectedFile() {
  return state.selected ? state.files.get(state.selected) : null;
}

// Frames per second as the field gives them, within the range the core allows.
function framesPerSecond() {
  const { min, max, default: fallback } = state.rules.fps;
  return Math.min(max, Math.max(min, Number(state.controls.fps) || fallback));
}

// The index shown as transparent, or null: also while the field holds no palette index (empty,
// past the palette, a fraction), so that the tiles and the GIF agree.
function transparentIndex() {
  const { transparent, transparentIndex: typed } = state.controls;
  const index = typed === '' ? NaN : Number(typed);
  return transparent && Number.isInteger(index) && index >= 0 && index <= state.rules.maxPaletteIndex ? index : null;
}

// ---- the controls ---------------------------------------------------------------------------------

// The controls as the state says; the fields' limits are the core's.
function renderControls() {
  const c = state.controls;
  Object.assign($('zoom'), { min: zoomRange.min, max: zoomRange.max, value: c.zoom });
  $('zoom-value').textContent = `${c.zoom}×`;
  if (state.rules) {
    Object.assign($('fps'), { min: state.rules.fps.min, max: state.rules.fps.max, value: c.fps });
    Object.assign($('transparent-index'), { min: 0, max: state.rules.maxPaletteIndex });
  }
  $('transparent').checked = c.transparent;
  $('transparent-index').value = c.transparentIndex;
  $('background').value = c.background;
  $('background-colour').value = c.colour;
  $('details').checked = c.details;
  $('palette').value = String(c.palette);
  $('play').textContent = state.playing ? 'Pause' : 'Play';
  $('play').setAttribute('aria-pressed', String(state.playing));
}

function setZoom(zoom) {
  state.controls.zoom = Math.min(zoomRange.max, Math.max(zoomRange.min, zoom));
  renderControls();
  renderPictures();
}

// ---- the file list and messages ----------------------------------------------------------------

function renderFiles() {
  const list = $('files');
  list.replaceChildren();
  for (const [name, file] of state.files) {
    const item = document.createElement('li');
    if (file.status !== null && file.status !== 0) item.className = 'failed';
    const button = document.createElement('button');
    button.type = 'button';
    button.textContent = name;
    button.setAttribute('aria-current', String(name === state.selected));
    button.addEventListener('click', () => select(name));
    item.append(button);
    list.append(item);
  }
}

// Lines of the messages in one block: a large file's console text runs to tens of thousands of
// lines, and the browser lays out only the blocks in view (content-visibility in style.css).
const messageBlockLines = 256;

function renderMessages() {
  const file = selectedFile();
  const messages = $('messages');
  const lines = file ? file.messages.split(/(?<=\n)/) : [];
  const blocks = [];
  for (let i = 0; i < lines.length; i += messageBlockLines) {
    const block = document.createElement('div');
    block.textContent = lines.slice(i, i + messageBlockLines).join('');
    blocks.push(block);
  }
  messages.replaceChildren(...blocks);
  messages.scrollTop = messages.scrollHeight;
}

function select(name) {
  state.selected = name;
  state.picture = 0;
  state.frame = 0;
  state.controls.palette = 0;
  const palette = $('palette');
  palette.replaceChildren();
  selectedFile().view.palettes.forEach((_, k) => palette.append(new Option(String(k + 1), String(k))));
  renderControls();
  renderFiles();
  renderMessages();
  renderPictures();
}

// Opens a file (its bytes or the browser's File): its pictures at once, the converter's
// console text when it has run.
async function openFile(name, data) {
  setStatus(`Opening ${name}…`);
  try {
    const { view } = await vostrel.load(name, data);
    const file = { serial: ++state.serial, view, status: null, text: '', bmpCount: 0, messages: '',
      pixels: view.frames.reduce((sum, row) => row.reduce((n, fr) => n + (fr.placed ? fr.width * fr.height : 0), sum), 0) };
    state.files.set(name, file);
    select(name);
    setStatus(`Converting ${name}…`);
    // The converter runs in a worker of its own and takes far longer: it starts once the tiles
    // on screen have their first frames, so that they are not kept waiting for a processor.
    await laidOut();
    await Promise.allSettled([...state.inFlight]);
    const result = await vostrel.run(name);
    // The status says the file is open once its messages and the frames of its tiles on screen
    // are there.
    await Promise.allSettled([...state.inFlight]);
    Object.assign(file, result, { messages: result.text });
    if (state.files.get(name) === file) {
      renderFiles();
      if (state.selected === name) renderMessages();
    }
    setStatus(`${name}: ${result.status === 0 ? 'converted' : 'failed'} (${result.bmpCount} BMPs)`);
  } catch (error) {
    setStatus(`Could not open ${name}: ${error.message}`);
  }
}

// After the browser has laid out and looked at what changed (at most a moment, also in a tab
// that is not drawn).
function laidOut() {
  return new Promise((resolve) => {
    const timer = setTimeout(resolve, 100);
    requestAnimationFrame(() => setTimeout(() => {
      clearTimeout(timer);
      resolve();
    }));
  });
}

// Edited pictures and their manifest, as the core tells them by name.
const isForPacking = (kind) => kind === 'picture' || kind === 'manifest';

async function addFiles(fileList) {
  for (const file of fileList) {
    if (!isForPacking(await vostrel.fileKind(file.name))) {
      // Read by the workers themselves where it lies, so that a large file never holds up the page.
      await openFile(file.name, file);
      continue;
    }
    try {
      state.packPictures.set(file.name, new Uint8Array(await file.arrayBuffer()));
    } catch (error) {
      // Changed or removed since it was chosen: the others go on.
      setStatus(`Could not read ${file.name}: ${error.message}`);
    }
  }
  const count = state.packPictures.size;
  $('pack-count').textContent = count ? `${count} edited picture${count === 1 ? '' : 's'}` : 'no edited pictures';
}

// ---- the frames -----------------------------------------------------------------------------------

// The decoded frame f of picture p of the selected file, or null while the worker decodes it
// (asked here with the frames after it, at most `most` of them, drawn when it comes).
function decodedFrame(p, f, most) {
  const file = selectedFile();
  const key = `${file.serial}/${p}/${f}`;
  const cached = state.frames.get(key);
  if (cached) {
    // The most recently used last, so that the oldest go first.
    state.frames.delete(key);
    state.frames.set(key, cached);
    return cached;
  }
  if (!state.fetching.has(key)) fetchFrames(file, p, f, most);
  return null;
}

// Asks the worker for frames from f of picture p, as many as make about fetchPixels and at most
// `most`.
async function fetchFrames(file, p, f, most) {
  const row = file.view.frames[p];
  const size = Math.max(1, row[f].width * row[f].height);
  let count = 1;
  while (count < most && f + count < row.length && !state.fetching.has(`${file.serial}/${p}/${f + count}`) &&
    !state.frames.has(`${file.serial}/${p}/${f + count}`) && (count + 1) * size <= fetchPixels) ++count;
  const keys = [];
  for (let i = f; i < f + count; ++i) keys.push(`${file.serial}/${p}/${i}`);
  keys.forEach((key) => state.fetching.add(key));
  const name = state.selected;
  const asked = vostrel.frames(name, p, f, count, state.spareFrames.splice(0));
  state.inFlight.add(asked);
  try {
    const decoded = await asked;
    if (state.files.get(name) !== file) return;
    for (const frame of decoded) {
      const key = `${file.serial}/${p}/${frame.frame}`;
      state.frames.set(key, frame);
      state.frameBytes += frame.pixels.byteLength;
    }
    for (const key of state.frames.keys()) {
      if (state.frameBytes <= frameCacheBytes) break;
      letFrameGo(key);
    }
  } catch (error) {
    setStatus(`Could not decode ${name}: ${error.message}`);
  } finally {
    keys.forEach((key) => state.fetching.delete(key));
    state.inFlight.delete(asked);
  }
  if (state.selected === name) drawAll();
}

// Takes a decoded frame out of the cache, its buffer kept for the worker to decode into again.
function letFrameGo(key) {
  const frame = state.frames.get(key);
  if (!frame) return;
  state.frames.delete(key);
  state.frameBytes -= frame.pixels.byteLength;
  if (frame.pixels.byteLength) state.spareFrames.push(frame.pixels.buffer);
}

// The frame's pixels as RGBA through a 256-entry table of the palette (RGB triples), one word
// per index.
function frameImage(frame, rgb, transparent) {
  const [width, height] = [Math.max(frame.width, 1), Math.max(frame.height, 1)];
  if (state.imageData?.width !== width || state.imageData?.height !== height) {
    state.imageData = new ImageData(width, height);
  }
  const image = state.imageData;
  if (state.colours.rgb !== rgb || state.colours.transparent !== transparent) {
    const entry = new Uint8Array(state.colours.table.buffer);
    for (let i = 0; i < 256; ++i) {
      entry.set([rgb[i * 3], rgb[i * 3 + 1], rgb[i * 3 + 2], i === transparent ? 0 : 255], i * 4);
    }
    Object.assign(state.colours, { rgb, transparent });
  }
  const table = state.colours.table;
  const words = new Uint32Array(image.data.buffer);
  const pixels = frame.pixels;
  for (let i = 0; i < pixels.length; ++i) words[i] = table[pixels[i]];
  words.fill(0, pixels.length);
  return image;
}

// Draws frame f at the top left of a tile: only when the tile is on screen and shows something
// else, so that a file of many large pictures costs no more than the tiles in view. A frame still
// being decoded leaves the tile as it is. The tile's canvas says which frame it shows
// (data-frame), for scripts; the page never reads it back.
function drawTile(tile, f) {
  const { palette } = state.controls;
  const transparent = transparentIndex();
  const shown = `${f}/${palette}/${transparent}`;
  if (!tile.visible || tile.shown === shown) return;
  const about = selectedFile().view.frames[tile.picture][f];
  const pictured = about && about.placed && about.width && about.height;
  // A tile that shows nothing yet asks for its frame alone, so that it shows at once.
  const frame = pictured ? decodedFrame(tile.picture, f, tile.shown === null ? 1 : Infinity) : null;
  if (pictured && !frame) return;
  tile.shown = shown;
  tile.canvas.dataset.frame = String(f);
  const context = tile.canvas.getContext('2d');
  context.clearRect(0, 0, tile.canvas.width, tile.canvas.height);
  if (!frame || !frame.width || !frame.height) return;
  context.putImageData(frameImage(frame, selectedFile().view.palettes[palette], transparent), 0, 0);
  if (selectedFile().pixels > frameCacheBytes) letFrameGo(`${selectedFile().serial}/${tile.picture}/${f}`);
}

const onScreen = new IntersectionObserver((entries) => {
  for (const entry of entries) {
    const tile = state.tiles.find((t) => t.canvas === entry.target);
    if (tile) tile.visible = entry.isIntersecting;
  }
  drawAll();
});

// The chosen picture's tile marked as chosen.
function renderChoice() {
  for (const tile of state.tiles) {
    const figure = tile.canvas.parentElement;
    figure.classList.toggle('selected', tile.picture === state.picture);
    figure.setAttribute('aria-pressed', String(tile.picture === state.picture));
  }
}

function renderPictures() {
  const file = selectedFile();
  const container = $('pictures');
  onScreen.disconnect();
  container.replaceChildren();
  state.tiles = [];
  if (!file) return;
  const { zoom, background, colour, details } = state.controls;
  file.view.frames.forEach((row, p) => {
    const figure = document.createElement('figure');
    // Chosen for the GIF and PNG downloads by a click, or from the keyboard by Tab and Enter.
    figure.tabIndex = 0;
    figure.setAttribute('role', 'button');
    // The picture's screen, as the core gives it for the tile and the GIF alike.
    const { width, height } = file.view.screens[p];
    const canvas = document.createElement('canvas');
    // At 1:1, enlarged by the browser without smoothing (the style's image-rendering): a zoomed
    // tile costs no more memory than one at 1:1.
    canvas.width = width;
    canvas.height = height;
    canvas.style.width = `${width * zoom}px`;
    canvas.style.height = `${height * zoom}px`;
    canvas.className = background === 'checker' ? 'checker' : '';
    canvas.style.backgroundColor = background === 'solid' ? colour : '';
    state.tiles.push({ picture: p, canvas, visible: false, shown: null });
    const caption = document.createElement('figcaption');
    caption.textContent = `Picture ${p + 1}`;
    figure.append(canvas, caption);
    if (details) {
      const list = document.createElement('ol');
      list.className = 'frames';
      for (const fr of row) {
        const item = document.createElement('li');
        item.textContent = fr.placed
          ? `${fr.width} × ${fr.height}, ${fr.raw ? 'raw' : 'run-length'}`
          : 'invalid size';
        list.append(item);
      }
      figure.append(list);
    }
    const choose = () => {
      state.picture = p;
      renderChoice();
    };
    figure.addEventListener('click', choose);
    figure.addEventListener('keydown', (event) => {
      if (event.key === 'Enter') choose();
    });
    container.append(figure);
  });
  // The tiles on screen now are drawn at once; from then on the observer says which are.
  for (const tile of state.tiles) {
    const box = tile.canvas.getBoundingClientRect();
    tile.visible = box.bottom > 0 && box.right > 0 && box.top < innerHeight && box.left < innerWidth;
    onScreen.observe(tile.canvas);
  }
  renderChoice();
  drawAll();
}

function drawAll() {
  const file = selectedFile();
  if (!file) return;
  for (const tile of state.tiles) {
    const count = file.view.frames[tile.picture].length;
    drawTile(tile, count ? state.frame % count : 0);
  }
}

function step(delta) {
  const file = selectedFile();
  const count = file ? Math.max(file.view.framesPerPicture, 1) : 1;
  state.frame = (state.frame + delta + count) % count;
  drawAll();
}

function restartTimer() {
  clearInterval(state.timer);
  state.timer = null;
  renderControls();
  if (state.playing) {
    state.timer = setInterval(() => step(1), 1000 / framesPerSecond());
  }
}

function togglePlaying() {
  state.playing = !state.playing;
  restartTimer();
}

// ---- downloads ----------------------------------------------------------------------------------

async function downloadBmps() {
  const file = selectedFile();
  if (!file) return setStatus('Open an .art file first.');
  const name = state.selected;
  setStatus(`Converting ${name}…`);
  const result = await vostrel.bmps(name);
  download(result.zip, `${file.view.stem}-bmps.zip`);
  setStatus(`${name}: BMP zip ready`);
}

// What vostrel-sheet writes for the file (sheets, manifest, palette files), in a zip.
async function downloadSheet() {
  const file = selectedFile();
  if (!file) return setStatus('Open an .art file first.');
  const name = state.selected;
  setStatus(`Making the sheets of ${name}…`);
  const result = await vostrel.sheet(name);
  if (result.status !== 0) {
    file.messages += `\n${result.text}`;
    renderMessages();
    return setStatus(`${name}: no sheet, see the messages`);
  }
  download(result.zip, `${file.view.stem}-sheet.zip`);
  setStatus(`${name}: sheet zip ready`);
}

async function downloadGif() {
  const file = selectedFile();
  if (!file || !file.view.frames.length) return setStatus('Open an .art file with pictures first.');
  const [name, p, k] = [state.selected, state.picture, state.controls.palette];
  const bytes = await vostrel.gif(name, p, k, framesPerSecond(), transparentIndex());
  download(bytes, await vostrel.animationName(name, p, k, '.gif'), 'image/gif');
  setStatus(`${name}: GIF of picture ${p + 1} ready`);
}

async function downloadPng() {
  const file = selectedFile();
  if (!file || !file.view.frames.length) return setStatus('Open an .art file with pictures first.');
  const [name, p, k, transparent] = [state.selected, state.picture, state.controls.palette, transparentIndex()];
  const f = state.frame % file.view.frames[p].length;
  const [frame] = await vostrel.frames(name, p, f, 1);
  if (!frame.width || !frame.height) return setStatus('This frame has no pixels.');
  const canvas = document.createElement('canvas');
  canvas.width = frame.width;
  canvas.height = frame.height;
  canvas.getContext('2d').putImageData(frameImage(frame, file.view.palettes[k], transparent), 0, 0);
  const pngName = await vostrel.pictureName(name, p, f, k, '.png');
  canvas.toBlob((blob) => download(blob, pngName, 'image/png'));
  setStatus(`${name}: picture ${p + 1} frame ${f + 1} saved as PNG`);
}

async function downloadPacked() {
  const file = selectedFile();
  if (!file) return setStatus('Open the original .art file first.');
  if (!state.packPictures.size) return setStatus('Add the edited pictures first (button or drop).');
  const name = state.selected;
  const pictures = [...state.packPictures].map(([picture, bytes]) => ({ name: picture, bytes }));
  const result = await vostrel.pack(name, pictures);
  const replaced = result.replaced.map((r) => `Picture ${r.picture + 1} Frame ${r.frame + 1}`);
  file.messages += `\n${result.text}`;
  if (result.status === 0) {
    file.messages += `Replaced: ${replaced.length ? replaced.join(', ') : 'none'}\n`;
    download(result.bytes, name, 'application/octet-stream');
    setStatus(`${name}: packed, ${replaced.length} frame${replaced.length === 1 ? '' : 's'} replaced`);
  } else {
    setStatus(`${name}: not packed, see the messages`);
  }
  renderMessages();
}

// ---- dropping files and folders -------------------------------------------------------------------

async function entriesOf(entry) {
  if (entry.isFile) return [await new Promise((resolve, reject) => entry.file(resolve, reject))];
  const reader = entry.createReader();
  const found = [];
  for (;;) {
    const batch = await new Promise((resolve, reject) => reader.readEntries(resolve, reject));
    if (!batch.length) break;
    for (const child of batch) found.push(...(await entriesOf(child)));
  }
  return found;
}

document.addEventListener('dragover', (event) => {
  event.preventDefault();
  document.body.classList.add('dragging');
});
document.addEventListener('dragleave', () => document.body.classList.remove('dragging'));
document.addEventListener('drop', async (event) => {
  event.preventDefault();
  document.body.classList.remove('dragging');
  const entries = [...event.dataTransfer.items].map((item) => item.webkitGetAsEntry?.()).filter(Boolean);
  const files = [];
  if (entries.length) {
    for (const entry of entries) files.push(...(await entriesOf(entry)));
  } else {
    files.push(...event.dataTransfer.files);
  }
  // From a folder, the files the page has a use for; files dropped one by one, all of them.
  const kinds = await Promise.all(files.map((file) => vostrel.fileKind(file.name)));
  await addFiles(files.filter((_, i) => kinds[i] !== null || entries.length === 0));
});

// ---- controls -------------------------------------------------------------------------------------

$('open').addEventListener('change', async (event) => {
  const files = [...event.target.files];
  event.target.value = '';
  await addFiles(files);
});
// The pictures chosen here replace those chosen or dropped before, so that a wrong or stale
// picture never stays among the next file's.
$('pack-pictures').addEventListener('change', async (event) => {
  const files = [...event.target.files];
  event.target.value = '';
  state.packPictures.clear();
  const kinds = await Promise.all(files.map((file) => vostrel.fileKind(file.name)));
  await addFiles(files.filter((_, i) => isForPacking(kinds[i])));
});
$('play').addEventListener('click', togglePlaying);
$('previous').addEventListener('click', () => step(-1));
$('next').addEventListener('click', () => step(1));
// The fields' text as typed, read when used (a GIF made while typing takes what is there); the
// timer takes a new rate once it is given.
$('fps').addEventListener('input', () => {
  state.controls.fps = $('fps').value;
});
$('fps').addEventListener('change', () => {
  state.controls.fps = $('fps').value;
  restartTimer();
});
$('zoom').addEventListener('input', () => setZoom(Number($('zoom').value)));
// What changes the colours of the frames drawn: they are drawn again.
const redraw = (change) => () => {
  change();
  drawAll();
};
$('palette').addEventListener('change', redraw(() => {
  state.controls.palette = Number($('palette').value);
}));
$('transparent').addEventListener('change', redraw(() => {
  state.controls.transparent = $('transparent').checked;
}));
for (const kind of ['input', 'change']) {
  $('transparent-index').addEventListener(kind, redraw(() => {
    state.controls.transparentIndex = $('transparent-index').value;
  }));
}
// What changes the tiles themselves: they are made again.
const relayout = (change) => () => {
  change();
  renderPictures();
};
$('background').addEventListener('change', relayout(() => {
  state.controls.background = $('background').value;
}));
$('background-colour').addEventListener('change', relayout(() => {
  state.controls.colour = $('background-colour').value;
}));
$('details').addEventListener('change', relayout(() => {
  state.controls.details = $('details').checked;
}));
// A failure of the page itself (never the program's, which shows in the messages) is said in
// the status line, and the page goes on.
const reporting = (action) => async () => {
  try {
    await action();
  } catch (error) {
    setStatus(`Could not do that: ${error.message}`);
  }
};
$('download-bmps').addEventListener('click', reporting(downloadBmps));
$('download-sheet').addEventListener('click', reporting(downloadSheet));
$('download-gif').addEventListener('click', reporting(downloadGif));
$('download-png').addEventListener('click', reporting(downloadPng));
$('download-packed').addEventListener('click', reporting(downloadPacked));

// Keys a focused control uses itself stay its own: a slider's arrows, a checkbox's space, and
// every key in a text or number field or a list.
const controlKeys = {
  range: ['ArrowLeft', 'ArrowRight', 'ArrowUp', 'ArrowDown', 'Home', 'End', 'PageUp', 'PageDown'],
  checkbox: [' '],
};

document.addEventListener('keydown', (event) => {
  // With Ctrl, Alt or Meta the key is the browser's (Ctrl and + zooms the whole page).
  if (event.ctrlKey || event.altKey || event.metaKey) return;
  const target = event.target;
  if (target instanceof HTMLInputElement && !controlKeys[target.type]) return;
  if (target instanceof HTMLInputElement && controlKeys[target.type].includes(event.key)) return;
  if (target instanceof HTMLSelectElement || target instanceof HTMLTextAreaElement) return;
  if (event.key === ' ') {
    event.preventDefault();
    togglePlaying();
  } else if (event.key === 'ArrowRight') {
    step(1);
  } else if (event.key === 'ArrowLeft') {
    step(-1);
  } else if (event.key === '+' || event.key === '-' || event.key === '−') {
    setZoom(state.controls.zoom + (event.key === '+' ? 1 : -1));
  }
});

// The controls show the state at once; the frames a second and its limits once the core has
// given its rules, and the tiles play from then on.
renderControls();
vostrel.rules().then((rules) => {
  state.rules = rules;
  state.controls.fps = String(rules.fps.default);
  // The file choosers offer the extensions the core takes, in either case.
  const accept = (extensions) => extensions.flatMap((e) => [e, e.toUpperCase()]).join(',');
  $('open').accept = accept([rules.extensions.art]);
  $('pack-pictures').accept = accept([...rules.extensions.pictures, rules.extensions.manifest]);
  restartTimer();
}, (error) => setStatus(`The page could not start: ${error.message}`));
