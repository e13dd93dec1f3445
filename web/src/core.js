// What the page's workers share: making an instance of the WebAssembly core, letting it read the
// user's files where they lie, reading what it hands out, checking the names that become its
// paths, and answering requests in order.
import createVostrelCore from 'vostrel-core';

// The core's WebAssembly, compiled once by the page and sent to every worker first.
let receive;
const compiled = new Promise((resolve) => {
  receive = resolve;
});

// The browser's files (File or Blob) the core may read, by number: it reads a slice of one
// when it needs those bytes, so a file's bytes never all come into the worker.
const files = { byNumber: new Map(), next: 1 };

export function fileNumber(blob) {
  const number = files.next++;
  files.byNumber.set(number, blob);
  return number;
}

export function forgetFile(number) {
  files.byNumber.delete(number);
}

// Bytes of file `number` from offset into view: how many there were, or -1 when the file can no
// longer be read (changed or removed since it was chosen). Synchronous, as the core waits.
function readFile(number, offset, view) {
  try {
    const blob = files.byNumber.get(number);
    const bytes = new Uint8Array(new FileReaderSync().readAsArrayBuffer(blob.slice(offset, offset + view.length)));
    view.set(bytes);
    return bytes.length;
  } catch {
    return -1;
  }
}

// The buffer a worker reads the user's files into, which the browser's stream of a file fills
// and hands back each time, so that reading leaves nothing to collect.
const reading = { buffer: new ArrayBuffer(2 ** 20) };

// A reader of blob front to back. Where the browser's file streams cannot fill a buffer given,
// each read is a slice read anew.
export function readerOf(blob) {
  const reader = { blob, offset: 0, byob: null };
  try {
    reader.byob = blob.stream().getReader({ mode: 'byob' });
  } catch {
    // Slices, then.
  }
  return reader;
}

export function closeReader(reader) {
  reader.byob?.cancel().catch(() => {});
}

// Fills size bytes of the core's memory from at with the reader's next bytes: how many it
// filled, fewer when the file ends first. Throws when the file can no longer be read.
export async function readInto(M, reader, at, size) {
  let done = 0;
  while (done < size) {
    let bytes;
    if (reader.byob) {
      if (!reading.buffer.byteLength) reading.buffer = new ArrayBuffer(2 ** 20);
      const length = Math.min(reading.buffer.byteLength, size - done);
      const { done: ended, value } = await reader.byob.read(new Uint8Array(reading.buffer, 0, length));
      if (ended) break;
      reading.buffer = value.buffer;
      bytes = value;
    } else {
      bytes = new Uint8Array(await reader.blob.slice(reader.offset, reader.offset + size - done).arrayBuffer());
      if (!bytes.length) break;
      reader.offset += bytes.length;
    }
    M.HEAPU8.set(bytes, at + done);
    done += bytes.length;
  }
  return done;
}

// A core instance; its standard output and error go to output(byte), byte by byte in the order
// written: what `2>&1` would show. What its programs write under their output directory goes to
// written (begin(path), write(bytes), end(), each true when taken); bytes handed to write are
// the core's own, valid only during the call.
export async function makeCore(output = () => {}, written = null) {
  const module = await compiled;
  const M = await createVostrelCore({
    instantiateWasm: (imports, done) => {
      WebAssembly.instantiate(module, imports).then((instance) => done(instance, module));
      return {};
    },
    preRun: [(core) => core.FS.init(() => null, output, output)],
  });
  M.readFile = readFile;
  M.written = written;
  return M;
}

// Bytes the core handed out ({ data, size } in its heap, two 32-bit words), copied (into one of
// the spare buffers of their size, when there is one); null for none.
export function bytesAt(M, at, spare = []) {
  if (!at) return null;
  const data = M.HEAPU32[at >> 2];
  const size = M.HEAPU32[(at >> 2) + 1];
  const fits = size ? spare.findIndex((buffer) => buffer.byteLength === size) : -1;
  if (fits < 0) return M.HEAPU8.slice(data, data + size);
  const bytes = new Uint8Array(spare.splice(fits, 1)[0]);
  bytes.set(M.HEAPU8.subarray(data, data + size));
  return bytes;
}

// Names become paths of the in-memory file system: one plain name each, as a browser gives them.
export function checkName(name) {
  if (typeof name !== 'string' || name === '' || name === '.' || name === '..' || /[/\0]/.test(name)) {
    throw new Error(`not a plain file name: ${JSON.stringify(name)}`);
  }
  return name;
}

// A handler's answer whose buffers go to the page rather than being copied for it (this worker
// cannot use them after).
const handedOver = Symbol('handed over');
export function handingOver(value, buffers) {
  return { [handedOver]: buffers, value };
}

// Answers the page's requests one at a time, in order, with the handler of each kind.
export function serve(handlers) {
  let queue = Promise.resolve();
  self.onmessage = ({ data }) => {
    if (data.kind === 'core') {
      receive(data.module);
      return;
    }
    queue = queue.then(async () => {
      try {
        const answer = await handlers[data.kind](data);
        if (answer?.[handedOver]) self.postMessage({ id: data.id, result: answer.value }, answer[handedOver]);
        else self.postMessage({ id: data.id, result: answer });
      } catch (error) {
        self.postMessage({ id: data.id, error: String(error && error.message ? error.message : error) });
      }
    });
  };
}
