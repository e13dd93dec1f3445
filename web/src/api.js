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
  const call = (kind, args) =>
    new Promise((resolve, reject) => {
      const id = nextId++;
      pending.set(id, { resolve, reject });
      worker.postMessage({ id, kind, ...args });
    });
  const named = (original) => (typeof original === 'string' ? { name: original } : original);
  return {
    // Opens (or opens again) a file: { name, status, text, bmpCount, view }.
    open: (name, bytes) => call('open', { name, bytes: new Uint8Array(bytes) }),
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
  };
}
