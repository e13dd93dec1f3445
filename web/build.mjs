// Bundles the browser page into one file: the two workers (each with the WebAssembly core inside
// it as bytes) into the page's script, and script and style into index.html.
// Usage: node build.mjs CORE.js OUTPUT.html VERSION
import { build } from 'esbuild';
import { readFile, writeFile } from 'node:fs/promises';
import path from 'node:path';

const [corePath, outputPath, version] = process.argv.slice(2);
if (!corePath || !outputPath || !version) {
  console.error('Usage: node build.mjs CORE.js OUTPUT.html VERSION');
  process.exit(2);
}
const wasmPath = corePath.replace(/\.js$/, '.wasm');

// Resolves the page's own module names to the built core and the bundled workers
// ('viewer-source', 'runner-source').
function modules(workerSources = {}) {
  return {
    name: 'vostrel-modules',
    setup(b) {
      b.onResolve({ filter: /^vostrel-core$/ }, () => ({ path: path.resolve(corePath) }));
      b.onResolve({ filter: /^vostrel-core-wasm$/ }, () => ({ path: path.resolve(wasmPath) }));
      b.onResolve({ filter: /^(viewer|runner)-source$/ }, (args) => ({ path: args.path, namespace: 'vostrel' }));
      b.onLoad({ filter: /.*/, namespace: 'vostrel' }, (args) => ({
        contents: workerSources[args.path] ?? '',
        loader: 'text',
      }));
    },
  };
}

const common = {
  bundle: true,
  write: false,
  minify: true,
  format: 'iife',
  target: ['chrome100', 'firefox100'],
  legalComments: 'none',
  // The core's code for node (its benchmark) is never reached in a browser.
  external: ['fs', 'path', 'crypto'],
  loader: { '.wasm': 'binary' },
  logLevel: 'warning',
};
const workerSource = async (entry) =>
  (await build({ ...common, entryPoints: [entry], plugins: [modules()] })).outputFiles[0].text;
const page = await build({
  ...common,
  entryPoints: ['src/main.js'],
  plugins: [modules({
    'viewer-source': await workerSource('src/viewer.js'),
    'runner-source': await workerSource('src/runner.js'),
  })],
});
// Nothing in the script may end the <script> element early.
const script = page.outputFiles[0].text.replace(/<\/script/gi, '<\\/script');
const style = await readFile('src/style.css', 'utf8');
const html = (await readFile('src/index.html', 'utf8'))
  .replace('@VERSION@', () => version)
  .replace('/*STYLE*/', () => style)
  .replace('/*SCRIPT*/', () => script);
await writeFile(outputPath, html);
