// The page's runner: a worker made for one run of a program (vostrel for the console text and
// the BMPs, the sheet code, vostrel-pack) on a fresh instance of the core, and ended by the page
// once it has answered, so that all the memory of the run goes with it. The user's file is
// streamed into the core before the converter or the sheet code runs (the core lets each piece
// go as the program reads it), and each file they write is handed over as it is written:
// counted, kept, or put by the core in a zip whose bytes are handed on to a Blob as it grows, so
// that the BMPs are never all held here.
import { checkName, closeReader, fileNumber, handingOver, makeCore, readInto, readerOf, serve } from './core.js';

const utf8 = new TextEncoder();

// The pieces the user's file is handed to the core in.
const pieceBytes = 2 ** 20;
// The pieces the program's text is kept in: a large file's runs to megabytes, which grow a piece
// at a time rather than copied into a buffer twice the size each time it fills.
const transcriptPieceBytes = 2 ** 16;

// Everything the run keeps, in one place.
const state = {
  // The program's standard output and error, byte by byte as written: full pieces, then the
  // piece being filled up to `length`.
  transcript: { pieces: [], length: transcriptPieceBytes },
};

function record(byte) {
  if (byte === null || byte === undefined) return;
  const transcript = state.transcript;
  if (transcript.length === transcriptPieceBytes) {
    transcript.pieces.push(new Uint8Array(transcriptPieceBytes));
    transcript.length = 0;
  }
  transcript.pieces[transcript.pieces.length - 1][transcript.length++] = byte;
}

// The program's text so far: its UTF-8 bytes in the pieces they were kept in, which the page
// is handed (not a copy) and decodes.
function transcriptBytes() {
  const { pieces, length } = state.transcript;
  return pieces.map((piece, i) => (i + 1 < pieces.length ? piece : piece.subarray(0, length)));
}

// Hands the user's file to the core for the next program run, a piece at a time. Where it stops
// short (the file can no longer be read, or the core's memory is exhausted) the program reads
// what came and says the file could not be read, as vostrel does.
async function preload(M, blob) {
  if (!M.ccall('vostrel_preload_begin', 'number', ['number'], [blob.size])) return;
  const reader = readerOf(blob);
  try {
    for (let at = 0; at < blob.size;) {
      const size = Math.min(pieceBytes, blob.size - at);
      const piece = M.ccall('vostrel_preload_piece', 'number', ['number'], [size]);
      if (!piece || (await readInto(M, reader, piece, size)) < size) return;
      at += size;
    }
  } catch {
    // Changed or removed since it was chosen: the program says so.
  } finally {
    closeReader(reader);
  }
}

// Runs job(M) in the working directory /run of a fresh core whose programs hand what they write
// to written, with blob (if given) handed to the core first; returns what job returned with the
// program's text. A run that ends the program (std::exit) gives its status.
async function inRunDirectory(job, written = null, blob = null) {
  const M = await makeCore(record, written && taking(written));
  state.transcript = { pieces: [], length: transcriptPieceBytes };
  let result;
  try {
    M.FS.mkdir('/run');
    M.FS.chdir('/run');
    if (blob) await preload(M, blob);
    result = job(M);
  } catch (error) {
    const status = error && error.name === 'ExitStatus' ? error.status : -1;
    result = { status, ended: true };
  }
  return { ...result, textBytes: transcriptBytes() };
}

const baseName = (path) => path.slice(path.lastIndexOf('/') + 1);

// `vostrel ./NAME ./out` on the browser's file, handing each BMP to written (or, with zip set,
// the zip of them): its status.
function convertInto(name, blob, written, zip = false) {
  checkName(name);
  return inRunDirectory((M) => ({
    status: M.ccall('vostrel_convert', 'number', ['number', 'number', 'string', 'string', 'number'],
      [fileNumber(blob), blob.size, `./${name}`, './out', zip ? 1 : 0]),
  }), written, blob);
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
  return {
    begin: take(written.begin),
    write: take(written.write),
    end: take(written.end),
    zip: take(written.zip ?? (() => false)),
  };
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

// The zip the core makes of the files written, its bytes handed on to a Blob as they come (the
// browser keeps a Blob's bytes outside the page's processes); the names of the files in it.
function zipper() {
  const zipped = { parts: [], names: [] };
  zipped.written = {
    begin: (path) => {
      zipped.names.push(baseName(path));
      return true;
    },
    write: () => false,
    end: () => false,
    zip: (bytes) => {
      zipped.parts.push(new Blob([bytes]));
      return true;
    },
  };
  zipped.finish = () => new Blob(zipped.parts, { type: 'application/zip' });
  return zipped;
}

// The console text and status of `vostrel ./NAME ./out`, and how many BMPs it wrote.
async function run(name, blob) {
  const counted = counter();
  const { status, textBytes } = await convertInto(name, blob, counted.written);
  return { status, textBytes, bmpCount: counted.count };
}

// `vostrel ./NAME ./out`: its status, text and the BMPs it left, in the order written.
async function convert(name, blob) {
  const kept = keeper();
  const { status, textBytes } = await convertInto(name, blob, kept.written);
  return { status, textBytes, files: kept.finish() };
}

// The same BMPs in a zip.
async function bmpZip(name, blob) {
  const zipped = zipper();
  const { status, textBytes } = await convertInto(name, blob, zipped.written, true);
  if (status < 0) throw new Error(`${name}: its BMPs are too many for the page's memory`);
  return { status, textBytes, zip: zipped.finish() };
}

// What `vostrel-sheet ./NAME ./sheet` writes (the page's core makes the same files from the
// same code), in a zip with the same names.
async function sheetZip(name, blob) {
  checkName(name);
  const zipped = zipper();
  const made = await inRunDirectory((M) => {
    M.FS.mkdir('sheet');
    const outcome = JSON.parse(M.ccall('vostrel_sheet', 'string', ['number', 'number', 'string', 'string', 'number'],
      [fileNumber(blob), blob.size, `./${name}`, './sheet', 1]));
    return { status: outcome.status, message: outcome.out + outcome.err };
  }, zipped.written, blob);
  const zip = zipped.finish();
  // What the program would print: the core hands it back rather than printing it.
  const { message = '', textBytes, ...rest } = made;
  return { ...rest, textBytes: [utf8.encode(message), ...textBytes], names: zipped.names,
    zip: made.status === 0 ? zip : null };
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

// A run's answer, its text's bytes and the files it kept handed to the page rather than copied
// for it.
const answer = async (made) => {
  const result = await made;
  const buffers = [...result.textBytes, ...(result.files ?? []).map((file) => file.bytes)];
  return handingOver(result, buffers.map((bytes) => bytes.buffer));
};

serve({
  run: ({ name, blob }) => answer(run(name, blob)),
  bmps: ({ name, blob }) => answer(bmpZip(name, blob)),
  sheet: ({ name, blob }) => answer(sheetZip(name, blob)),
  convert: ({ name, blob }) => answer(convert(name, blob)),
  pack: ({ original, pictures }) => answer(pack(original, pictures)),
});
