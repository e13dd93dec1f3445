// vostrel sprite viewer: the page's behaviour. Files are read and converted by the worker
// (the WebAssembly core); this script draws what it returns and offers the downloads.
import workerSource from 'worker-source';
import { createApi } from './api.js';
import { pictureSize } from './picture-size.js';

const $ = (id) => document.getElementById(id);
const worker = new Worker(URL.createObjectURL(new Blob([workerSource], { type: 'text/javascript' })));
const vostrel = createApi(worker);
window.vostrel = vostrel;

const opened = new Map(); // name -> { status, text, view, messages }
const packPictures = new Map(); // name -> Uint8Array
const state = { selected: null, picture: 0, frame: 0, playing: true, timer: null };
const imageCache = new Map();

const stemOf = (name) => (name.lastIndexOf('.') > 0 ? name.slice(0, name.lastIndexOf('.')) : name);
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
  return state.selected ? opened.get(state.selected) : null;
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
  for (const [name, file] of opened) {
    const item = document.createElement('li');
    if (file.status !== 0) item.className = 'failed';
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
  imageCache.clear();
  const file = selectedFile();
  const palette = $('palette');
  palette.replaceChildren();
  file.view.palettes.forEach((_, k) => palette.append(new Option(String(k + 1), String(k))));
  renderFiles();
  renderMessages();
  renderPictures();
}

async function openFile(name, bytes) {
  setStatus(`Opening ${name}…`);
  try {
    const result = await vostrel.open(name, bytes);
    opened.set(name, { ...result, messages: result.text });
    select(name);
    setStatus(`${name}: ${result.status === 0 ? 'converted' : 'failed'} (${result.bmpCount} BMPs)`);
  } catch (error) {
    setStatus(`Could not open ${name}: ${error.message}`);
  }
}

async function addFiles(fileList) {
  for (const file of fileList) {
    let bytes;
    try {
      bytes = new Uint8Array(await file.arrayBuffer());
    } catch (error) {
      // Changed or removed since it was chosen, or too large for the browser: the others go on.
      setStatus(`Could not read ${file.name}: ${error.message}`);
      continue;
    }
    if (isPicture(file.name)) {
      packPictures.set(file.name, bytes);
    } else {
      await openFile(file.name, bytes);
    }
  }
  $('pack-count').textContent = packPictures.size
    ? `${packPictures.size} edited picture${packPictures.size === 1 ? '' : 's'}`
    : 'no edited pictures';
}

// ---- the pictures -------------------------------------------------------------------------------

// The frame's pixels as RGBA through a 256-entry table of the palette (one word per index).
function frameImage(frame, palette, transparent) {
  const image = new ImageData(Math.max(frame.width, 1), Math.max(frame.height, 1));
  const rgb = selectedFile().view.palettes[palette];
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
function frameCanvas(frame, palette, transparent) {
  const key = `${frame.key}/${palette}/${transparent}`;
  let canvas = imageCache.get(key);
  if (!canvas) {
    canvas = new OffscreenCanvas(frame.width, frame.height);
    canvas.getContext('2d').putImageData(frameImage(frame, palette, transparent), 0, 0);
    imageCache.set(key, canvas);
  }
  return canvas;
}

// Draws frame f of a picture at the top left of its tile, at the zoom, without smoothing: only
// when the tile is on screen and shows something else, so that a file of many large pictures
// costs no more than the tiles in view.
function drawFrame(canvas, row, f, zoom) {
  const palette = paletteIndex();
  const transparent = transparentIndex();
  const shown = `${f}/${palette}/${transparent}/${zoom}`;
  if (!canvas.dataset.visible || canvas.dataset.shown === shown) return;
  canvas.dataset.shown = shown;
  const context = canvas.getContext('2d');
  context.imageSmoothingEnabled = false;
  context.clearRect(0, 0, canvas.width, canvas.height);
  const frame = row[f];
  if (!frame || !frame.placed || frame.width === 0 || frame.height === 0) return;
  context.drawImage(frameCanvas(frame, palette, transparent), 0, 0, frame.width * zoom, frame.height * zoom);
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
    row.forEach((frame, f) => (frame.key = `${p}/${f}`));
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
    const row = file.view.frames[Number(canvas.dataset.picture)];
    drawFrame(canvas, row, row.length ? state.frame % row.length : 0, zoom);
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
  setStatus(`Converting ${state.selected}…`);
  const result = await vostrel.bmps(state.selected);
  download(result.zip, `${stemOf(state.selected)}-bmps.zip`, 'application/zip');
  setStatus(`${state.selected}: BMP zip ready`);
}

async function downloadGif() {
  const file = selectedFile();
  if (!file || !file.view.frames.length) return setStatus('Open an .art file with pictures first.');
  const bytes = await vostrel.gif(state.selected, state.picture, paletteIndex(), framesPerSecond(), transparentIndex());
  download(bytes, `${stemOf(state.selected)}_${state.picture}_${paletteIndex()}.gif`, 'image/gif');
  setStatus(`${state.selected}: GIF of picture ${state.picture + 1} ready`);
}

function downloadPng() {
  const file = selectedFile();
  if (!file || !file.view.frames.length) return setStatus('Open an .art file with pictures first.');
  const row = file.view.frames[state.picture];
  const f = state.frame % row.length;
  const frame = row[f];
  if (!frame.placed || !frame.width || !frame.height) return setStatus('This frame has no pixels.');
  const canvas = document.createElement('canvas');
  canvas.width = frame.width;
  canvas.height = frame.height;
  canvas.getContext('2d').putImageData(frameImage(frame, paletteIndex(), transparentIndex()), 0, 0);
  canvas.toBlob((blob) => download(blob, `${stemOf(state.selected)}_${state.picture}_${f}_${paletteIndex()}.png`, 'image/png'));
  setStatus(`${state.selected}: picture ${state.picture + 1} frame ${f + 1} saved as PNG`);
}

async function downloadPacked() {
  const file = selectedFile();
  if (!file) return setStatus('Open the original .art file first.');
  if (!packPictures.size) return setStatus('Add the edited pictures first (button or drop).');
  const pictures = [...packPictures].map(([name, bytes]) => ({ name, bytes }));
  const result = await vostrel.pack(state.selected, pictures);
  const replaced = result.replaced.map((r) => `Picture ${r.picture + 1} Frame ${r.frame + 1}`);
  file.messages += `\n${result.text}`;
  if (result.status === 0) {
    file.messages += `Replaced: ${replaced.length ? replaced.join(', ') : 'none'}\n`;
    download(result.bytes, state.selected, 'application/octet-stream');
    setStatus(`${state.selected}: packed, ${replaced.length} frame${replaced.length === 1 ? '' : 's'} replaced`);
  } else {
    setStatus(`${state.selected}: not packed, see the messages`);
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
  packPictures.clear();
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
    imageCache.clear();
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
