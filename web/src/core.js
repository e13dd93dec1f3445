// What the page's two workers share: making an instance of the WebAssembly core, reading what it
// hands out, checking the names that become its paths, and answering requests in order.
import createVostrelCore from 'vostrel-core';

// The core's WebAssembly, compiled once for every instance of this worker from the bytes the
// page sends first (the page holds them once for both workers).
let receive;
const compiled = new Promise((resolve) => {
  receive = (binary) => resolve(WebAssembly.compile(binary));
});

// A core instance; its standard output and error go to output(byte), byte by byte in the order
// written: what `2>&1` would show.
export async function makeCore(output = () => {}) {
  const module = await compiled;
  return createVostrelCore({
    instantiateWasm: (imports, done) => {
      WebAssembly.instantiate(module, imports).then((instance) => done(instance, module));
      return {};
    },
    preRun: [(M) => M.FS.init(() => null, output, output)],
  });
}

// Bytes the core handed out ({ data, size } in its heap, two 32-bit words), copied; null for none.
export function bytesAt(M, at) {
  if (!at) return null;
  const data = M.HEAPU32[at >> 2];
  const size = M.HEAPU32[(at >> 2) + 1];
  return M.HEAPU8.slice(data, data + size);
}

// The bytes the core reads as a file, without a copy: the file system keeps the array as it is
// (the programs only read it, and write their output under other names or by replacing it).
export function putFile(M, path, bytes) {
  M.FS.writeFile(path, bytes, { canOwn: true });
}

// Names become paths of the in-memory file system: one plain name each, as a browser gives them.
export function checkName(name) {
  if (typeof name !== 'string' || name === '' || name === '.' || name === '..' || /[/\0]/.test(name)) {
    throw new Error(`not a plain file name: ${JSON.stringify(name)}`);
  }
  return name;
}

// A file's bytes as the page sends them: an array, or a file of the browser read here.
export async function bytesOf(data) {
  return data instanceof Blob ? new Uint8Array(await data.arrayBuffer()) : data;
}

// Answers the page's requests one at a time, in order, with the handler of each kind.
export function serve(handlers) {
  let queue = Promise.resolve();
  self.onmessage = ({ data }) => {
    if (data.kind === 'core') {
      receive(data.binary);
      return;
    }
    queue = queue.then(async () => {
      try {
        const result = await handlers[data.kind](data);
        self.postMessage({ id: data.id, result });
      } catch (error) {
        self.postMessage({ id: data.id, error: String(error && error.message ? error.message : error) });
      }
    });
  };
}
