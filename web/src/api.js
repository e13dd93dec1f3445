// The page's scripting API (window.vostrel): every call goes to one of the page's two workers,
// the viewer (frames, BMPs, GIFs, names) or the runner (the programs' runs), and comes back as a
// promise. The page itself and its tests use only this.
// wasmBinary is the core's WebAssembly, sent to both workers first.
export function createApi(viewer, runner, wasmBinary) {
  let nextId = 1;
  const pending = new Map();
  for (const worker of [viewer, runner]) {
    worker.onmessage = ({ data }) => {
      const call = pending.get(data.id);
      pending.delete(data.id);
      if (data.error !== undefined) call.reject(new Error(data.error));
      else call.resolve(data.result);
    };
    worker.onerror = (event) => {
      for (const call of pending.values()) call.reject(new Error(event.message || 'worker failed'));
      pending.clear();
    };
  }
  for (const worker of [viewer, runner]) worker.postMessage({ kind: 'core', binary: wasmBinary });
  const call = (worker, kind, args, transfer = []) =>
    new Promise((resolve, reject) => {
      const id = nextId++;
      pending.set(id, { resolve, reject });
      worker.postMessage({ id, kind, ...args }, transfer);
    });
  const view = (kind, args) => call(viewer, kind, args);
  const run = (kind, args) => call(runner, kind, args);
  const named = (original) => (typeof original === 'string' ? { name: original } : original);
  // A file to both workers: a browser's file as it is (each reads it), bytes as a copy each,
  // so that the caller's stay usable.
  const load = (name, data) => {
    const send = (worker) => {
      if (data instanceof Blob) return call(worker, 'load', { name, bytes: data });
      const own = new Uint8Array(data).slice();
      return call(worker, 'load', { name, bytes: own }, [own.buffer]);
    };
    // The runner reads its copy once the viewer has its own, so that the first frames come first.
    const viewed = send(viewer);
    const kept = viewed.then(() => send(runner), () => send(runner));
    return Promise.all([viewed, kept]).then(([result]) => result);
  };
  return {
    // Opens (or opens again) a file for viewing only, at once: { name, view }. Bytes or a
    // browser's File.
    load,
    // The converter's console text and status for an open file: { status, text, bmpCount }.
    run: (name) => run('run', { name }),
    // Opens (or opens again) a file and runs the converter on it:
    // { name, status, text, bmpCount, view }.
    open: async (name, data) => {
      const loaded = await load(name, data);
      return { ...loaded, ...(await run('run', { name })) };
    },
    // The indices of frames first to first + count - 1 of picture p (fewer at the picture's
    // end): [{ frame, width, height, pixels }], empty pixels for a frame without a picture.
    frames: (name, picture, first = 0, count = 1) => view('frames', { name, picture, first, count }),
    // The BMP of frame f of picture p in palette k, made from the opened file, or null.
    bmp: (name, picture, frame, palette) => view('bmp', { name, picture, frame, palette }),
    close: (name) => Promise.all([view('close', { name }), run('close', { name })]).then(([closed]) => closed),
    // What `vostrel ./NAME ./out` does: { status, text, files: [{ name, bytes }] }.
    convert: (name) => run('convert', { name }),
    // The same BMPs in a zip: { status, text, zip }.
    bmps: (name) => run('bmps', { name }),
    // An animated GIF of picture p (from 0) in palette k (from 0): its bytes.
    gif: (name, picture, palette = 0, fps = 8, transparent = null) =>
      view('gif', { name, picture, palette, fps, transparent }).then((r) => r.gif),
    // vostrel-pack on an open file's name (or { name, bytes }) and pictures [{ name, bytes }]:
    // { status, text, bytes, replaced: [{ picture, frame }], updated: [names of the pictures
    // rewritten to show the replaced frames as packed] }.
    pack: (original, pictures) => run('pack', { original: named(original), pictures }),
    // Names as the programs make and read them, for a file name such as "door.art": the stem,
    // the name of picture p frame f palette k with an extension, and a picture's name read back
    // ({ picture, frame, palette, extension } or null).
    stem: (name) => view('names', { which: 'stem', name }),
    pictureName: (name, picture, frame, palette, extension = '.bmp') =>
      view('names', { which: 'picture', name, picture, frame, palette, extension }),
    readPictureName: (name, picture) => view('names', { which: 'read', name, picture }),
    // The workers' memory in bytes: their cores' heaps (wasm) and the files' bytes they keep.
    memory: async () => {
      const parts = await Promise.all([view('memory', {}), run('memory', {})]);
      return { wasm: parts[0].wasm + parts[1].wasm, files: parts[0].files + parts[1].files };
    },
  };
}
