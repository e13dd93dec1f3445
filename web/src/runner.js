// The page's runner: a worker made for one run of a program (vostrel for the console text and
// the BMPs, the sheet code, vostrel-pack) on a fresh instance of the core, and ended by the page
// once it has answered, so that all the memory of the run goes with it. The converter and the
// sheet code read the user's file where it lies and hand each file they write over as it is
// written: counted, kept, or put in a zip that is handed on to a Blob as it grows, so that
// neither the file nor its BMPs are ever all held here.
import { Zip, ZipPassThrough, deflateSync } from 'fflate';
import { checkName, fileNumber, makeCore, serve } from './core.js';

const utf8 = new TextDecoder();

// One time for every entry, so that the same file always gives the same zip (the format
// cannot hold times before 1980).
const zipTime = new Date(1980, 0, 1);
// The most of a zip held here before it is handed on to its Blob (which the browser keeps
// outside the page's processes).
const zipHeldBytes = 8 * 2 ** 20;

// Everything the run keeps, in one place.
const state = {
  // The program's standard output and error, byte by byte as written.
  transcript: { bytes: new Uint8Array(1 << 16), length: 0 },
};

function record(byte) {
  if (byte === null || byte === undefined) return;
  const transcript = state.transcript;
  if (transcript.length === transcript.bytes.length) {
    const grown = new Uint8Array(transcript.bytes.length * 2);
    grown.set(transcript.bytes);
    transcript.bytes = grown;
  }
  transcript.bytes[transcript.length++] = byte;
}

// Runs job(M) in the working directory /run of a fresh core whose programs hand what they write
// to written; returns what job returned with the program's text. A run that ends the program
// (std::exit) gives its status.
async function inRunDirectory(job, written = null) {
  const M = await makeCore(record, written && taking(written));
  state.transcript.length = 0;
  let result;
  try {
    M.FS.mkdir('/run');
    M.FS.chdir('/run');
    result = job(M);
  } catch (error) {
    const status = error && error.name === 'ExitStatus' ? error.status : -1;
    result = { status, ended: true };
  }
  return { ...result, text: utf8.decode(state.transcript.bytes.subarray(0, state.transcript.length)) };
}

const baseName = (path) => path.slice(path.lastIndexOf('/') + 1);

// `vostrel ./NAME ./out` on the browser's file, handing each BMP to written: its status.
function convertInto(name, blob, written) {
  checkName(name);
  return inRunDirectory((M) => ({
    status: M.ccall('vostrel_convert', 'number', ['number', 'number', 'string', 'string'],
      [fileNumber(blob), blob.size, `./${name}`, './out']),
  }), written);
}

// The core's view of written, where a failure of the page's own (exhausted memory) is a file
// that could not be written, as the program says, rather than an error thrown through the core.
function taking(written) {
  const take = (action) => (...args) => {
    try {
      return action(...args);
    } catch {
      return false;
    }
  };
  return { begin: take(written.begin), write: take(written.write), end: take(written.end) };
}

// Files handed over, counted and let go.
function counter() {
  const counted = { count: 0 };
  counted.written = {
    begin: () => {
      counted.count += 1;
      return true;
    },
    write: () => true,
    end: () => true,
  };
  return counted;
}

// Files handed over, kept whole in the order written.
function keeper() {
  const kept = { files: [], pieces: null };
  const endFile = () => {
    const file = kept.files[kept.files.length - 1];
    file.bytes = new Uint8Array(kept.pieces.reduce((sum, piece) => sum + piece.length, 0));
    let at = 0;
    for (const piece of kept.pieces) {
      file.bytes.set(piece, at);
      at += piece.length;
    }
    kept.pieces = null;
  };
  kept.written = {
    begin: (path) => {
      kept.files.push({ name: baseName(path), bytes: null });
      kept.pieces = [];
      return true;
    },
    write: (bytes) => {
      kept.pieces.push(bytes.slice());
      return true;
    },
    end: () => {
      endFile();
      return true;
    },
  };
  // Every file: one the program was writing when it ended as far as it got.
  kept.finish = () => {
    if (kept.pieces) endFile();
    return kept.files;
  };
  return kept;
}

// A zip entry compressed in one go when its file is whole, as zipSync compresses one: fflate's
// streaming compressor sizes its tables for a stream of unknown length, which for files of a
// few dozen kilobytes makes it several times slower.
class WholeFileEntry extends ZipPassThrough {
  constructor(name) {
    super(name);
    this.compression = 8;
    this.mtime = zipTime;
  }

  process(chunk, final) {
    this.ondata(null, deflateSync(chunk, { level: 1 }), final);
  }
}

// Files handed over, each compressed into a zip entry (named as the file) once it is whole, the
// zip handed on to a Blob every few megabytes.
function zipper() {
  const zipped = { blob: new Blob([]), parts: [], held: 0, names: [] };
  const handOn = () => {
    zipped.blob = new Blob([zipped.blob, ...zipped.parts]);
    zipped.parts = [];
    zipped.held = 0;
  };
  const zip = new Zip((error, chunk) => {
    if (error) throw error;
    zipped.parts.push(chunk);
    zipped.held += chunk.length;
    if (zipped.held >= zipHeldBytes) handOn();
  });
  const kept = keeper();
  const endEntry = () => {
    const file = kept.finish().pop();
    const entry = new WholeFileEntry(file.name);
    zip.add(entry);
    entry.push(file.bytes, true);
  };
  zipped.written = {
    begin: (path) => {
      zipped.names.push(baseName(path));
      return kept.written.begin(path);
    },
    write: kept.written.write,
    end: () => {
      endEntry();
      return true;
    },
  };
  // The whole zip: a file the program was writing when it ended goes in as far as it got.
  zipped.finish = () => {
    if (kept.files.length) endEntry();
    zip.end();
    handOn();
    return new Blob([zipped.blob], { type: 'application/zip' });
  };
  return zipped;
}

// The console text and status of `vostrel ./NAME ./out`, and how many BMPs it wrote.
async function run(name, blob) {
  const counted = counter();
  const { status, text } = await convertInto(name, blob, counted.written);
  return { status, text, bmpCount: counted.count };
}

// `vostrel ./NAME ./out`: its status, text and the BMPs it left, in the order written.
async function convert(name, blob) {
  const kept = keeper();
  const { status, text } = await convertInto(name, blob, kept.written);
  return { status, text, files: kept.finish() };
}

// The same BMPs in a zip.
async function bmpZip(name, blob) {
  const zipped = zipper();
  const { status, text } = await convertInto(name, blob, zipped.written);
  return { status, text, zip: zipped.finish() };
}

// What `vostrel-sheet ./NAME ./sheet` writes (the page's core makes the same files from the
// same code), in a zip with the same names.
async function sheetZip(name, blob) {
  checkName(name);
  const zipped = zipper();
  const made = await inRunDirectory((M) => {
    M.FS.mkdir('sheet');
    const outcome = JSON.parse(M.ccall('vostrel_sheet', 'string', ['number', 'number', 'string', 'string'],
      [fileNumber(blob), blob.size, `./${name}`, './sheet']));
    return { status: outcome.status, message: outcome.out + outcome.err };
  }, zipped.written);
  const zip = zipped.finish();
  // What the program would print: the core hands it back rather than printing it.
  const { message = '', ...rest } = made;
  return { ...rest, text: message + made.text, names: zipped.names, zip: made.status === 0 ? zip : null };
}

// `vostrel-pack -- NAME pictures NAME`: the original replaced in place by the packed file, as the
// packer allows; the core says which frames it replaced. Given a manifest among the pictures,
// `vostrel-pack -- NAME pictures/STEM.json NAME`, the sheets beside it.
async function pack(original, pictures) {
  const name = checkName(original.name);
  const bytes = new Uint8Array(await original.blob.arrayBuffer());
  pictures.forEach((picture) => checkName(picture.name));
  return inRunDirectory((M) => {
    // The packer writes its output under the original's name, over this copy.
    M.FS.writeFile(name, bytes);
    M.FS.mkdir('pictures');
    for (const picture of pictures) M.FS.writeFile(`pictures/${picture.name}`, picture.bytes);
    const manifest = pictures.find((picture) =>
      M.ccall('vostrel_file_kind', 'string', ['string'], [picture.name]) === 'manifest');
    const source = manifest ? `pictures/${manifest.name}` : 'pictures';
    const outcome = JSON.parse(M.ccall('vostrel_pack', 'string', ['string', 'string', 'string'],
      [name, source, name]));
    if (outcome.status !== 0) return { status: outcome.status, replaced: [], updated: [] };
    return {
      status: outcome.status,
      bytes: M.FS.readFile(name),
      replaced: outcome.replaced.map(([picture, frame]) => ({ picture, frame })),
      // The given pictures the packer rewrote to show the replaced frames as packed, by name.
      updated: outcome.updated.map(baseName),
    };
  });
}

serve({
  run: ({ name, blob }) => run(name, blob),
  bmps: ({ name, blob }) => bmpZip(name, blob),
  sheet: ({ name, blob }) => sheetZip(name, blob),
  convert: ({ name, blob }) => convert(name, blob),
  pack: ({ original, pictures }) => pack(original, pictures),
});
