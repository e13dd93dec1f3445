// The page's scripting API (window.vostrel): every call goes to the viewer worker (frames, BMPs,
// GIFs, names, the core's rules) or to a runner worker made for that one run of a program and
// ended once it has answered, and comes back as a promise. The page itself and its tests use
// only this. The files stay the browser's: the workers read the parts they need from them.
// wasmBinary is the core's WebAssembly, compiled here once for every worker.
export function createApi(viewer, makeRunner, wasmBinary) {
  // Everything the API keeps, in one place.
  const link = {
    nextId: 1,
    pending: new Map(), // id -> { worker, resolve, reject } of a call awaiting its answer
    files: new Map(), // name -> Blob: the opened files, which each run reads
    // The runs, one after another: each holds a whole sprite while it converts, and two at once
    // would hold two.
    runs: Promise.resolve(),
  };
  const compiled = WebAssembly.compile(wasmBinary);
  const connect = (worker) => {
    worker.onmessage = ({ data }) => {
      const call = link.pending.get(data.id);
      link.pending.delete(data.id);
      if (data.error !== undefined) call.reject(new Error(data.error));
      else call.resolve(data.result);
    };
    worker.onerror = (event) => {
      for (const [id, call] of link.pending) {
        if (call.worker !== worker) continue;
        call.reject(new Error(event.message || 'worker failed'));
        link.pending.delete(id);
      }
    };
    compiled.then((module) => worker.postMessage({ kind: 'core', module }));
    return worker;
  };
  const call = (worker, kind, args, handed = []) =>
    new Promise((resolve, reject) => {
      const id = link.nextId++;
      link.pending.set(id, { worker, resolve, reject });
      worker.postMessage({ id, kind, ...args }, handed);
    });
  connect(viewer);
  const view = (kind, args, handed) => call(viewer, kind, args, handed);
  // A run's answer, its text decoded from the UTF-8 bytes the runner handed over.
  const withText = ({ textBytes, ...answer }) => {
    const utf8 = new TextDecoder();
    const text = textBytes.map((bytes, i) => utf8.decode(bytes, { stream: i + 1 < textBytes.length })).join('');
    return { ...answer, text };
  };
  // One run in a worker of its own, after the runs asked before it.
  const run = (kind, args) => {
    const result = link.runs.then(async () => {
      const runner = connect(makeRunner());
      try {
        return withText(await call(runner, kind, args));
      } finally {
        runner.terminate();
      }
    });
    link.runs = result.catch(() => {});
    return result;
  };
  const fileOf = (name) => {
    const blob = link.files.get(name);
    if (!blob) return Promise.reject(new Error(`${name} is not open`));
    return Promise.resolve(blob);
  };
  const runOn = (kind, name) => fileOf(name).then((blob) => run(kind, { name, blob }));
  // A browser's file as it is; bytes as a Blob of a copy, so that the caller's stay usable.
  const load = async (name, data) => {
    const blob = data instanceof Blob ? data : new Blob([new Uint8Array(data).slice()]);
    const loaded = await view('load', { name, bytes: blob });
    link.files.set(name, blob);
    return loaded;
  };
  return {
    // Opens (or opens again) a file for viewing, at once: { name, view }. Bytes or a browser's
    // File.
    load,
    // The converter's console text and status for an open file: { status, text, bmpCount }.
    run: (name) => runOn('run', name),
    // Opens (or opens again) a file and runs the converter on it:
    // { name, status, text, bmpCount, view }.
    open: async (name, data) => {
      const loaded = await load(name, data);
      return { ...loaded, ...(await runOn('run', name)) };
    },
    // The indices of frames first to first + count - 1 of picture p (fewer at the picture's
    // end): [{ frame, width, height, pixels }], empty pixels for a frame without a picture.
    // spare: ArrayBuffers of frames no longer needed, handed over for the pixels to be put in.
    frames: (name, picture, first = 0, count = 1, spare = []) =>
      view('frames', { name, picture, first, count, spare }, spare),
    // The BMP of frame f of picture p in palette k, made from the opened file, or null.
    bmp: (name, picture, frame, palette) => view('bmp', { name, picture, frame, palette }),
    close: async (name) => {
      const closed = await view('close', { name });
      link.files.delete(name);
      return closed;
    },
    // What `vostrel ./NAME ./out` does: { status, text, files: [{ name, bytes }] }.
    convert: (name) => runOn('convert', name),
    // The same BMPs in a zip: { status, text, zip } (a Blob).
    bmps: (name) => runOn('bmps', name),
    // What `vostrel-sheet ./NAME ./sheet` writes with its default options, in a zip of the
    // same names and bytes: { status, text, zip (a Blob, or null when it failed), names }.
    sheet: (name) => runOn('sheet', name),
    // An animated GIF of picture p (from 0) in palette k (from 0): its bytes.
    gif: (name, picture, palette = 0, fps = 8, transparent = null) =>
      view('gif', { name, picture, palette, fps, transparent }).then((r) => r.gif),
    // vostrel-pack on an open file's name (or { name, bytes }) and pictures [{ name, bytes }]
    // (with a manifest among them, STEM.json, packed from it and the sheets beside it):
    // { status, text, bytes, replaced: [{ picture, frame }], updated: [names of the pictures
    // rewritten to show the replaced frames as packed] }.
    pack: async (original, pictures) => {
      const named = typeof original === 'string'
        ? { name: original, blob: await fileOf(original) }
        : { name: original.name, blob: new Blob([new Uint8Array(original.bytes).slice()]) };
      return run('pack', { original: named, pictures });
    },
    // Names as the programs make and read them, for a file name such as "door.art": the stem,
    // the name of picture p frame f palette k with an extension, the name of picture p's
    // animation in palette k, and a picture's name read back ({ picture, frame, palette,
    // extension } or null).
    stem: (name) => view('names', { which: 'stem', name }),
    pictureName: (name, picture, frame, palette, extension = '.bmp') =>
      view('names', { which: 'picture', name, picture, frame, palette, extension }),
    animationName: (name, picture, palette, extension = '.gif') =>
      view('names', { which: 'animation', name, picture, palette, extension }),
    readPictureName: (name, picture) => view('names', { which: 'read', name, picture }),
    // What a file of that name is to the page, by its extension: 'art', 'picture' (one that
    // vostrel-pack takes), 'manifest', or null.
    fileKind: (name) => view('names', { which: 'kind', name }),
    // The core's rules: { fps: { min, max, default }, maxPaletteIndex, extensions: { art,
    // pictures, manifest } }.
    rules: () => view('rules', {}),
    // The viewer's WebAssembly memory in bytes (a run's goes with its worker).
    memory: () => view('memory', {}),
  };
}
