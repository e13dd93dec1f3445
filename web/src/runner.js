// The page's runner: a worker that keeps the opened files' bytes and runs the programs on them
// (vostrel for the console text and the BMPs, vostrel-pack), each run in a fresh instance of
// the core that is let go afterwards. So a run that ends the program (exhausted memory) or
// grows its memory touches nothing else, and the viewer worker draws frames while it runs.
import { zipSync } from 'fflate';
import { bytesOf, checkName, makeCore, putFile, serve } from './core.js';

const utf8 = new TextDecoder();

// Everything the runner keeps, in one place.
const state = {
  files: new Map(), // name -> Uint8Array
  transcript: [], // the running program's standard output and error, byte by byte
};

function listFiles(FS, dir) {
  if (!FS.analyzePath(dir).exists) return [];
  return FS.readdir(dir)
    .filter((entry) => entry !== '.' && entry !== '..')
    .map((entry) => ({ name: entry, bytes: FS.readFile(`${dir}/${entry}`) }));
}

// Runs job(M) in the working directory /run of a fresh core; returns what job returned with the
// program's text. A run that ends the program (std::exit) gives its status.
async function inRunDirectory(job) {
  const M = await makeCore((c) => state.transcript.push(c));
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
  const bytes = state.files.get(name);
  if (!bytes) throw new Error(`${name} is not open`);
  return bytes;
}

// `vostrel ./NAME ./out`: its status, text and the BMPs it left, in the order written.
function convert(name) {
  const bytes = fileOf(name);
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

// One time for every entry, so that the same file always gives the same zip (the format
// cannot hold times before 1980).
const zipTime = new Date(1980, 0, 1);

async function bmpZip(name) {
  const converted = await convert(name);
  const entries = {};
  for (const file of converted.files ?? []) entries[file.name] = [file.bytes, { level: 1, mtime: zipTime }];
  return { status: converted.status, text: converted.text, zip: zipSync(entries) };
}

// `vostrel-pack -- NAME pictures NAME`: the original replaced in place by the packed file, as the
// packer allows; the core says which frames it replaced.
async function pack(original, pictures) {
  const name = checkName(original.name);
  const bytes = original.bytes ? await bytesOf(original.bytes) : fileOf(name);
  pictures.forEach((picture) => checkName(picture.name));
  return inRunDirectory((M) => {
    // A copy: the packer writes its output under the original's name.
    M.FS.writeFile(name, bytes);
    M.FS.mkdir('pictures');
    for (const picture of pictures) M.FS.writeFile(`pictures/${picture.name}`, picture.bytes);
    const outcome = JSON.parse(M.ccall('vostrel_pack', 'string', ['string', 'string', 'string'],
      [name, 'pictures', name]));
    if (outcome.status !== 0) return { status: outcome.status, replaced: [], updated: [] };
    return {
      status: outcome.status,
      bytes: M.FS.readFile(name),
      replaced: outcome.replaced.map(([picture, frame]) => ({ picture, frame })),
      // The given pictures the packer rewrote to show the replaced frames as packed, by name.
      updated: outcome.updated.map((path) => path.slice(path.lastIndexOf('/') + 1)),
    };
  });
}

serve({
  load: async ({ name, bytes }) => {
    state.files.set(checkName(name), await bytesOf(bytes));
    return { name };
  },
  run: ({ name }) => run(name),
  close: ({ name }) => ({ closed: state.files.delete(name) }),
  bmps: ({ name }) => bmpZip(name),
  convert: ({ name }) => convert(name),
  pack: ({ original, pictures }) => pack(original, pictures),
  // The files' bytes it holds (its cores are let go after each run).
  memory: () => ({ wasm: 0, files: [...state.files.values()].reduce((sum, bytes) => sum + bytes.byteLength, 0) }),
});
