// Compares the WebAssembly core with the native one on the bench corpus: the same program
// (bench/memory_convert.cpp) converts every file from bytes in memory to BMP bytes in memory,
// built both ways; the BMPs must be the same, and the ratio of the median times is printed.
// Usage: node bench.mjs NATIVE_BENCH_DIR WASM_BENCH.js [FILES] [ROUNDS]
import { execFileSync } from 'node:child_process';
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';

const [nativeDir, wasmBench, files = '40', rounds = '7'] = process.argv.slice(2);
if (!nativeDir || !wasmBench) {
  console.error('Usage: node bench.mjs NATIVE_BENCH_DIR WASM_BENCH.js [FILES] [ROUNDS]');
  process.exit(2);
}
const corpus = mkdtempSync(path.join(tmpdir(), 'vostrel-web-bench-'));
try {
  execFileSync(path.join(nativeDir, 'vostrel_speed_bench'), ['--write-corpus', corpus, files]);
  const parse = (text) => Object.fromEntries(text.trim().split(' ').reduce((pairs, word, i, all) =>
    (i % 2 === 0 ? [...pairs, [word, all[i + 1]]] : pairs), []));
  const native = parse(execFileSync(path.join(nativeDir, 'vostrel_memory_convert_bench'), [corpus, rounds], { encoding: 'utf8' }));
  const wasm = parse(execFileSync(process.execPath, [wasmBench, corpus, rounds], { encoding: 'utf8' }));
  if (native.digest !== wasm.digest || native.bytes !== wasm.bytes) {
    console.error(`the WebAssembly build wrote other BMPs: ${JSON.stringify({ native, wasm })}`);
    process.exit(1);
  }
  const ratio = Number(wasm.median) / Number(native.median);
  console.log(`${native.files} files, ${native.bmps} BMPs, ${(Number(native.bytes) / 2 ** 20).toFixed(1)} MiB, the same bytes both ways`);
  console.log(`median of ${rounds} rounds: native ${Number(native.median).toFixed(3)} s, WebAssembly (node ${process.version}) ${Number(wasm.median).toFixed(3)} s`);
  console.log(`WebAssembly / native: ${ratio.toFixed(2)} (target: at most 1.5)`);
} finally {
  rmSync(corpus, { recursive: true, force: true });
}
