// vostrel sprite viewer: the page's behaviour. Files are read, decoded and converted by two
// workers around the WebAssembly core (api.js); this script draws what they return and offers
// the downloads.
import viewerSource from 'viewer-source';
import runnerSource from 'runner-source';
import wasmBinary from 'vostrel-core-wasm';
import { createApi } from './api.js';
import { pictureSize } from './picture-size.js';

const $ = (id) => document.getElementById(id);
const workerOf = (source) => new Worker(URL.createObjectURL(new Blob([source], { type: 'text/javascript' })));
const vostrel = createApi(workerOf(viewerSource), workerOf(runnerSource), wasmBinary);

// Everything the page knows, in one place: the opened files, what is shown, the edited pictures
// for packing, and the caches of decoded frames and of frames drawn at 1:1.
const state = {
  files: new Map(), // name -> { serial, view, status, text, bmpCount, messages }
  serial: 0, // told apart a file opened again under the same name
  selected: null,
  picture: 0,
  frame: 0,
  playing: true,
  timer: null,
  packPictures: new Map(), // name -> Uint8Array
  frames: new Map(), // `${serial}/${p}/${f}` -> { width, height, pixels }, oldest first
  frameBytes: 0,
  fetching: new Set(), // keys of frames asked of the worker
  inFlight: new Set(), // the worker's answers awaited for them
  images: new Map(), // `${serial}/${p}/${f}/${palette}/${transparent}` -> canvas, oldest first
};
// Decoded frames kept for drawing, and frames drawn at 1:1, at most: a large file's frames are
// asked of the worker again rather than all kept.
const frameCacheBytes = 16 * 2 ** 20;
const imageCacheCount = 128;
// The most pixels asked of the worker at once for one picture: a small picture's frames come in
// one answer, a large one's a few at a time.
const fetchPixels = 2 ** 20;

window.vostrel = {
  ...vostrel,
  // The page's own share: the decoded frames it keeps.
  memory: async () => ({ ...(await vostrel.memory()), page: state.frameBytes }),
};

const isArt = (name) => /\.art$/i.test(name);
const isPicture = (name) => /\.(bmp|png)$/i.test(name);

function setStatus(text) {
  $('status').textContent = text;
}

function download(bytes, name, type) {
  const link = document.createElement('a');
  link.href = URL.createObjectURL(new Blob([bytes], { type }));
  link.download = name;
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(link.href), 60000);
}

function selectedFile() {
  return state.selected ? state.files.get(state.selected) : null;
}

function paletteIndex() {
  return Number($('palette').value || 0);
}

// Frames per second as the field gives them, within what the timer and the GIF take.
function framesPerSecond() {
  return Math.min(60, Math.max(1, Number($('fps').value) || 8));
}

// The index shown as transparent, or null: also while the field holds no palette index (empty,
// past 255, a fraction), so that the tiles and the GIF agree.
function transparentIndex() {
  const index = $('transparent-index').value === '' ? NaN : Number($('transparent-index').value);
  return $('transparent').checked && Number.isInteger(index) && index >= 0 && index <= 255 ? index : null;
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

function renderMessages() {
  const file = selectedFile();
  const messages = $('messages');
  messages.textContent = file ? file.messages : '';
  messages.scrollTop = messages.scrollHeight;
}

function select(name) {
  state.selected = name;
  state.picture = 0;
  state.frame = 0;
  state.images.clear();
  const file = selectedFile();
  const palette = $('palette');
  palette.replaceChildren();
  file.view.palettes.forEach((_, k) => palette.append(new Option(String(k + 1), String(k))));
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
    const file = { serial: ++state.serial, view, status: null, text: '', bmpCount: 0, messages: '' };
    state.files.set(name, file);
    select(name);
    setStatus(`Converting ${name}…`);
    // The tiles on screen ask for their frames once laid out; the converter's run, which takes
    // longer and runs in the other worker, starts after that, so that the first frames are not
    // kept waiting for a processor.
    await laidOut();
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

async function addFiles(fileList) {
  for (const file of fileList) {
    if (!isPicture(file.name)) {
      // Read by the workers themselves, so that a large file never holds up the page.
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
// (asked here, drawn when it comes).
function decodedFrame(p, f) {
  const file = selectedFile();
  const key = `${file.serial}/${p}/${f}`;
  const cached = state.frames.get(key);
  if (cached) {
    // The most recently used last, so that the oldest go first.
    state.frames.delete(key);
    state.frames.set(key, cached);
    return cached;
  }
  if (!state.fetching.has(key)) fetchFrames(file, p, f);
  return null;
}

// Asks the worker for frames from f of picture p, as many as make about fetchPixels.
async function fetchFrames(file, p, f) {
  const row = file.view.frames[p];
  const size = Math.max(1, row[f].width * row[f].height);
  let count = 1;
  while (f + count < row.length && !state.fetching.has(`${file.serial}/${p}/${f + count}`) &&
    !state.frames.has(`${file.serial}/${p}/${f + count}`) && (count + 1) * size <= fetchPixels) ++count;
  const keys = [];
  for (let i = f; i < f + count; ++i) keys.push(`${file.serial}/${p}/${i}`);
  keys.forEach((key) => state.fetching.add(key));
  const name = state.selected;
  const asked = vostrel.frames(name, p, f, count);
  state.inFlight.add(asked);
  try {
    const decoded = await asked;
    if (state.files.get(name) !== file) return;
    for (const frame of decoded) {
      const key = `${file.serial}/${p}/${frame.frame}`;
      state.frames.set(key, frame);
      state.frameBytes += frame.pixels.byteLength;
    }
    for (const [key, frame] of state.frames) {
      if (state.frameBytes <= frameCacheBytes) break;
      state.frames.delete(key);
      state.frameBytes -= frame.pixels.byteLength;
    }
  } catch (error) {
    setStatus(`Could not decode ${name}: ${error.message}`);
  } finally {
    keys.forEach((key) => state.fetching.delete(key));
    state.inFlight.delete(asked);
  }
  if (state.selected === name) drawAll();
}

// The frame's pixels as RGBA through a 256-entry table of the palette (RGB triples), one word
// per index.
function frameImage(frame, rgb, transparent) {
  const image = new ImageData(Math.max(frame.width, 1), Math.max(frame.height, 1));
  const table = new Uint32Array(256);
  const entry = new Uint8Array(table.buffer);
  for (let i = 0; i < 256; ++i) {
    entry.set([rgb[i * 3], rgb[i * 3 + 1], rgb[i * 3 + 2], i === transparent ? 0 : 255], i * 4);
  }
  const words = new Uint32Array(image.data.buffer);
  const pixels = frame.pixels;
  for (let i = 0; i < pixels.length; ++i) words[i] = table[pixels[i]];
  return image;
}

// The frame at 1:1 on a canvas of its own, made once per palette and transparent index.
function frameCanvas(p, f, frame, palette, transparent) {
  const key = `${selectedFile().serial}/${p}/${f}/${palette}/${transparent}`;
  let canvas = state.images.get(key);
  if (!canvas) {
    canvas = new OffscreenCanvas(frame.width, frame.height);
    canvas.getContext('2d').putImageData(frameImage(frame, selectedFile().view.palettes[palette], transparent), 0, 0);
    state.images.set(key, canvas);
    if (state.images.size > imageCacheCount) state.images.delete(state.images.keys().next().value);
  }
  return canvas;
}

// Draws frame f of picture p at the top left of its tile, at the zoom, without smoothing: only
// when the tile is on screen and shows something else, so that a file of many large pictures
// costs no more than the tiles in view. A frame still being decoded leaves the tile as it is.
function drawFrame(canvas, p, f, zoom) {
  const palette = paletteIndex();
  const transparent = transparentIndex();
  const shown = `${f}/${palette}/${transparent}/${zoom}`;
  if (!canvas.dataset.visible || canvas.dataset.shown === shown) return;
  const about = selectedFile().view.frames[p][f];
  const frame = about && about.placed && about.width && about.height ? decodedFrame(p, f) : null;
  if (about && about.placed && about.width && about.height && !frame) return;
  canvas.dataset.shown = shown;
  const context = canvas.getContext('2d');
  context.imageSmoothingEnabled = false;
  context.clearRect(0, 0, canvas.width, canvas.height);
  if (!frame || !frame.width || !frame.height) return;
  context.drawImage(frameCanvas(p, f, frame, palette, transparent), 0, 0, frame.width * zoom, frame.height * zoom);
}

const onScreen = new IntersectionObserver((entries) => {
  for (const entry of entries) {
    if (entry.isIntersecting) entry.target.dataset.visible = '1';
    else delete entry.target.dataset.visible;
  }
  drawAll();
});

function renderPictures() {
  const file = selectedFile();
  const container = $('pictures');
  onScreen.disconnect();
  container.replaceChildren();
  if (!file) return;
  const zoom = Number($('zoom').value);
  const background = $('background').value;
  file.view.frames.forEach((row, p) => {
    const figure = document.createElement('figure');
    figure.className = p === state.picture ? 'selected' : '';
    // Chosen for the GIF and PNG downloads by a click, or from the keyboard by Tab and Enter.
    figure.tabIndex = 0;
    figure.setAttribute('role', 'button');
    figure.setAttribute('aria-pressed', String(p === state.picture));
    const { width, height } = pictureSize(row);
    const canvas = document.createElement('canvas');
    canvas.width = width * zoom;
    canvas.height = height * zoom;
    canvas.className = background === 'checker' ? 'checker' : '';
    canvas.style.backgroundColor = background === 'solid' ? $('background-colour').value : '';
    canvas.dataset.picture = String(p);
    onScreen.observe(canvas);
    const caption = document.createElement('figcaption');
    caption.textContent = `Picture ${p + 1}`;
    figure.append(canvas, caption);
    if ($('details').checked) {
      const details = document.createElement('ol');
      details.className = 'frames';
      for (const fr of row) {
        const item = document.createElement('li');
        item.textContent = fr.placed
          ? `${fr.width} × ${fr.height}, ${fr.raw ? 'raw' : 'run-length'}`
          : 'invalid size';
        details.append(item);
      }
      figure.append(details);
    }
    const choose = () => {
      state.picture = p;
      for (const other of container.children) {
        other.classList.toggle('selected', other === figure);
        other.setAttribute('aria-pressed', String(other === figure));
      }
    };
    figure.addEventListener('click', choose);
    figure.addEventListener('keydown', (event) => {
      if (event.key === 'Enter') choose();
    });
    container.append(figure);
  });
  drawAll();
}

function drawAll() {
  const file = selectedFile();
  if (!file) return;
  const zoom = Number($('zoom').value);
  for (const canvas of $('pictures').querySelectorAll('canvas')) {
    const p = Number(canvas.dataset.picture);
    const count = file.view.frames[p].length;
    drawFrame(canvas, p, count ? state.frame % count : 0, zoom);
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
  $('play').textContent = state.playing ? 'Pause' : 'Play';
  $('play').setAttribute('aria-pressed', String(state.playing));
  if (state.playing) {
    state.timer = setInterval(() => step(1), 1000 / framesPerSecond());
  }
}

// ---- downloads ----------------------------------------------------------------------------------

async function downloadBmps() {
  const file = selectedFile();
  if (!file) return setStatus('Open an .art file first.');
  const name = state.selected;
  setStatus(`Converting ${name}…`);
  const result = await vostrel.bmps(name);
  download(result.zip, `${file.view.stem}-bmps.zip`, 'application/zip');
  setStatus(`${name}: BMP zip ready`);
}

async function downloadGif() {
  const file = selectedFile();
  if (!file || !file.view.frames.length) return setStatus('Open an .art file with pictures first.');
  const [name, p, k] = [state.selected, state.picture, paletteIndex()];
  const bytes = await vostrel.gif(name, p, k, framesPerSecond(), transparentIndex());
  download(bytes, `${file.view.stem}_${p}_${k}.gif`, 'image/gif');
  setStatus(`${name}: GIF of picture ${p + 1} ready`);
}

async function downloadPng() {
  const file = selectedFile();
  if (!file || !file.view.frames.length) return setStatus('Open an .art file with pictures first.');
  const [name, p, k, transparent] = [state.selected, state.picture, paletteIndex(), transparentIndex()];
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
  await addFiles(files.filter((file) => isArt(file.name) || isPicture(file.name) || entries.length === 0));
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
  await addFiles(files.filter((file) => isPicture(file.name)));
});
$('play').addEventListener('click', () => {
  state.playing = !state.playing;
  restartTimer();
});
$('previous').addEventListener('click', () => step(-1));
$('next').addEventListener('click', () => step(1));
$('fps').addEventListener('change', restartTimer);
$('zoom').addEventListener('input', () => {
  $('zoom-value').textContent = `${$('zoom').value}×`;
  renderPictures();
});
for (const id of ['palette', 'transparent', 'transparent-index']) {
  $(id).addEventListener('change', () => {
    state.images.clear();
    drawAll();
  });
}
for (const id of ['background', 'background-colour', 'details']) $(id).addEventListener('change', renderPictures);
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
    state.playing = !state.playing;
    restartTimer();
  } else if (event.key === 'ArrowRight') {
    step(1);
  } else if (event.key === 'ArrowLeft') {
    step(-1);
  } else if (event.key === '+' || event.key === '-' || event.key === '−') {
    const zoom = $('zoom');
    zoom.value = String(Number(zoom.value) + (event.key === '+' ? 1 : -1));
    zoom.dispatchEvent(new Event('input'));
  }
});

restartTimer();
