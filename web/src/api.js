// The page's scripting API (window.vostrel): every call goes to the worker and comes back as a
// promise. The page itself and its tests use only this.
export function createApi(worker) {
  let nextId = 1;
  const pending = new Map();
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
  const call = (kind, args, transfer = []) =>
    new Promise((resolve, reject) => {
      const id = nextId++;
      pending.set(id, { resolve, reject });
      worker.postMessage({ id, kind, ...args }, transfer);
    });
  const named = (original) => (typeof original === 'string' ? { name: original } : original);
  // The worker keeps a copy of its own; the caller's bytes stay usable.
  const copied = (bytes) => new Uint8Array(bytes).slice();
  const withBytes = (kind, name, bytes) => {
    const own = copied(bytes);
    return call(kind, { name, bytes: own }, [own.buffer]);
  };
  return {
    // Opens (or opens again) a file and runs the converter on it:
    // { name, status, text, bmpCount, view }.
    open: (name, bytes) => withBytes('open', name, bytes),
    // Opens (or opens again) a file for viewing only, at once: { name, view }.
    load: (name, bytes) => withBytes('load', name, bytes),
    // The converter's console text and status for an open file: { status, text, bmpCount }.
    run: (name) => call('run', { name }),
    // The indices of frames first to first + count - 1 of picture p (fewer at the picture's
    // end): [{ frame, width, height, pixels }], empty pixels for a frame without a picture.
    frames: (name, picture, first = 0, count = 1) => call('frames', { name, picture, first, count }),
    // The BMP of frame f of picture p in palette k, made from the opened file, or null.
    bmp: (name, picture, frame, palette) => call('bmp', { name, picture, frame, palette }),
    close: (name) => call('close', { name }),
    // What `vostrel ./NAME ./out` does: { status, text, files: [{ name, bytes }] }.
    convert: (name) => call('convert', { name }),
    // The same BMPs in a zip: { status, text, zip }.
    bmps: (name) => call('bmps', { name }),
    // An animated GIF of picture p (from 0) in palette k (from 0): its bytes.
    gif: (name, picture, palette = 0, fps = 8, transparent = null) =>
      call('gif', { name, picture, palette, fps, transparent }).then((r) => r.gif),
    // vostrel-pack on an open file's name (or { name, bytes }) and pictures [{ name, bytes }]:
    // { status, text, bytes, replaced: [{ picture, frame }] }.
    pack: (original, pictures) => call('pack', { original: named(original), pictures }),
    // Names as the programs make and read them, for a file name such as "door.art": the stem,
    // the name of picture p frame f palette k with an extension, and a picture's name read back
    // ({ picture, frame, palette, extension } or null).
    stem: (name) => call('names', { which: 'stem', name }),
    pictureName: (name, picture, frame, palette, extension = '.bmp') =>
      call('names', { which: 'picture', name, picture, frame, palette, extension }),
    readPictureName: (name, picture) => call('names', { which: 'read', name, picture }),
    // The worker's memory: { wasm, files } in bytes (the viewer core's heap, the files' bytes).
    memory: () => call('memory', {}),
  };
}
