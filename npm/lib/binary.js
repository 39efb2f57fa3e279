'use strict';
// Finds the Corvane binary for this machine: one carried prebuilt in the
// package, or one compiled from the package's sources with the system's
// C++ compiler where none is carried (macOS, linux-arm64, the BSDs).

const fs = require('node:fs');
const path = require('node:path');
const { spawnSync } = require('node:child_process');

const packageDir = path.join(__dirname, '..');
const prebuilt = {
  'linux-x64': path.join('linux-x64', 'Corvane'),
  'win32-x64': path.join('win32-x64', 'Corvane.exe'),
};

// The binary the package carries for this platform and processor, or null.
function prebuiltBinary(platform = process.platform, arch = process.arch, dir = packageDir) {
  const relative = prebuilt[`${platform}-${arch}`];
  return relative ? path.join(dir, 'prebuilt', relative) : null;
}

// Where a binary compiled from the sources goes.
function compiledBinary(platform = process.platform, dir = packageDir) {
  return path.join(dir, 'build', platform === 'win32' ? 'Corvane.exe' : 'Corvane');
}

function defaultCompilers() {
  const candidates = ['c++', 'clang++', 'g++'];
  return process.env.CXX ? [process.env.CXX, ...candidates] : candidates;
}

function findCompiler(candidates) {
  for (const candidate of candidates) {
    const probe = spawnSync(candidate, ['--version'], { stdio: 'ignore' });
    if (!probe.error && probe.status === 0) return candidate;
  }
  return null;
}

function noCompilerMessage(candidates) {
  return (
    `Corvane: there is no prebuilt binary for ${process.platform}-${process.arch}, ` +
    `and no C++20 compiler to build one (tried ${candidates.join(', ')}). ` +
    'Install one (Debian or Ubuntu: apt install g++; Alpine: apk add g++; ' +
    'macOS: xcode-select --install; FreeBSD: pkg install llvm) or name it in CXX, ' +
    'then run: npm rebuild corvane'
  );
}

// Compiles the tool without CMake and returns the binary's path. The
// compiler's own messages go to standard error, so that the tool's console
// stays its own. Throws with one clear message when there is no compiler.
function compile({
  sourceDir = path.join(packageDir, 'src'),
  output = compiledBinary(),
  version = require('../package.json').version,
  candidates = defaultCompilers(),
  platform = process.platform,
} = {}) {
  const compiler = findCompiler(candidates);
  if (!compiler) throw new Error(noCompilerMessage(candidates));
  const sources = fs
    .readdirSync(sourceDir)
    .filter((name) => name.endsWith('.cpp'))
    .map((name) => path.join(sourceDir, name));
  fs.mkdirSync(path.dirname(output), { recursive: true });
  const temporary = `${output}.${process.pid}.tmp`;
  const args = ['-std=c++20', '-O2', `-DCORVANE_VERSION="${version}"`, '-I', sourceDir, ...sources];
  args.push('-o', temporary);
  if (platform === 'win32') args.push('-lshell32');
  process.stderr.write(`Corvane: compiling the tool with ${compiler}\n`);
  const build = spawnSync(compiler, args, { stdio: ['ignore', process.stderr, process.stderr] });
  if (build.error || build.status !== 0) {
    fs.rmSync(temporary, { force: true });
    throw new Error(`Corvane: ${compiler} could not compile the tool; its messages are above.`);
  }
  fs.renameSync(temporary, output);
  return output;
}

// Whether the binary runs here and is the package's own version.
function runs(binary, version = require('../package.json').version) {
  const probe = spawnSync(binary, ['--version'], { encoding: 'utf8' });
  return !probe.error && probe.status === 0 && probe.stdout.trim() === `Corvane ${version}`;
}

// The binary to run: CORVANE_BINARY when set, the prebuilt one, one compiled
// earlier, or one compiled now.
function binary() {
  if (process.env.CORVANE_BINARY) return process.env.CORVANE_BINARY;
  const carried = prebuiltBinary();
  if (carried && fs.existsSync(carried)) return carried;
  const compiled = compiledBinary();
  if (fs.existsSync(compiled)) return compiled;
  return compile();
}

module.exports = { prebuiltBinary, compiledBinary, compile, runs, binary, packageDir };
