'use strict';
// The npm package's own parts, with Node's test runner: which binary each
// platform gets, the from-source fallback and its message when there is no
// compiler, and a launcher that passes arguments, output, exit status and
// signals through unchanged (driven through CORVANE_BINARY with small
// stand-in tools). POSIX only: the stand-ins are shell scripts.

const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { spawn, spawnSync } = require('node:child_process');
const lib = require('../lib/binary.js');

const repoRoot = path.join(__dirname, '..', '..');
const launcher = path.join(__dirname, '..', 'bin', 'Corvane');

function temporaryFolder(t) {
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'corvane-npm-'));
  t.after(() => fs.rmSync(folder, { recursive: true, force: true }));
  return folder;
}

function standIn(folder, name, script) {
  const file = path.join(folder, name);
  fs.writeFileSync(file, `#!/bin/sh\n${script}\n`, { mode: 0o755 });
  return file;
}

function launch(args, env = {}) {
  return spawnSync(process.execPath, [launcher, ...args], {
    env: { ...process.env, ...env },
    encoding: 'utf8',
  });
}

test('each platform gets its prebuilt binary, others none', () => {
  const dir = path.join('/', 'pkg');
  assert.equal(lib.prebuiltBinary('win32', 'x64', dir), path.join(dir, 'prebuilt', 'win32-x64', 'Corvane.exe'));
  assert.equal(lib.prebuiltBinary('linux', 'x64', dir), path.join(dir, 'prebuilt', 'linux-x64', 'Corvane'));
  for (const [platform, arch] of [['darwin', 'arm64'], ['darwin', 'x64'], ['linux', 'arm64'], ['freebsd', 'x64']]) {
    assert.equal(lib.prebuiltBinary(platform, arch, dir), null, `${platform}-${arch}`);
  }
  assert.equal(lib.compiledBinary('win32', dir), path.join(dir, 'build', 'Corvane.exe'));
});

test('the fallback compiles the tool with g++, and it runs', (t) => {
  const folder = temporaryFolder(t);
  const output = lib.compile({
    sourceDir: path.join(repoRoot, 'src'),
    output: path.join(folder, 'build', 'Corvane'),
    version: '9.8.7',
    candidates: ['corvane-no-such-compiler', 'g++'],
  });
  assert.ok(lib.runs(output, '9.8.7'));
  fs.writeFileSync(path.join(folder, 't.js'), '/*\nx = EXPIRY_DATE;\n*/\n');
  const run = spawnSync(output, ['t.js', '/*', '*/', 'EXPIRY_DATE', 'out.js'], { cwd: folder, encoding: 'utf8' });
  assert.equal(run.status, 0, run.stdout);
  assert.match(fs.readFileSync(path.join(folder, 'out.js'), 'utf8'), /^x = [0-9]+000;\n\n$/);
});

test('without a compiler the launcher says what to install, in one message', (t) => {
  // Only Node on PATH, no CXX: nothing to compile with.
  const folder = temporaryFolder(t);
  fs.symlinkSync(process.execPath, path.join(folder, 'node'));
  const env = { ...process.env, PATH: folder };
  delete env.CXX;
  delete env.CORVANE_BINARY;
  if (fs.existsSync(lib.compiledBinary()) || fs.existsSync(lib.prebuiltBinary() || '')) {
    t.skip('this checkout already holds a binary for this machine');
    return;
  }
  const run = spawnSync(process.execPath, [launcher, '-h'], { env, encoding: 'utf8' });
  assert.equal(run.status, 127);
  assert.equal(run.stdout, '');
  const lines = run.stderr.trim().split('\n');
  assert.equal(lines.length, 1, run.stderr);
  assert.match(lines[0], /no C\+\+20 compiler/);
  assert.match(lines[0], /apt install g\+\+/);
  assert.match(lines[0], /npm rebuild corvane/);
});

test('arguments reach the tool as they stand, with no shell in between', (t) => {
  const folder = temporaryFolder(t);
  const tool = standIn(folder, 'args', 'for a in "$@"; do printf "[%s]\\n" "$a"; done');
  const args = ['/*', '*/', 'two words', '', '$HOME', '"quoted"', 'é模'];
  const run = launch(args, { CORVANE_BINARY: tool });
  assert.equal(run.status, 0);
  assert.equal(run.stdout, args.map((a) => `[${a}]\n`).join(''));
});

test('exit statuses 0 to 7 pass through', (t) => {
  const tool = standIn(temporaryFolder(t), 'status', 'echo "status $1"; exit "$1"');
  for (let status = 0; status <= 7; status += 1) {
    const run = launch([String(status)], { CORVANE_BINARY: tool });
    assert.equal(run.status, status);
    assert.equal(run.stdout, `status ${status}\n`);
  }
});

test('a signal that ends the tool ends the launcher the same way', (t) => {
  const tool = standIn(temporaryFolder(t), 'killed', 'kill -TERM $$');
  const run = launch([], { CORVANE_BINARY: tool });
  assert.equal(run.status, null);
  assert.equal(run.signal, 'SIGTERM');
});

test('a signal sent to the launcher reaches the tool, and both end by it', async (t) => {
  const folder = temporaryFolder(t);
  const pidFile = path.join(folder, 'pid');
  const tool = standIn(folder, 'sleeper', `echo $$ > "${pidFile}"; exec sleep 30`);
  const child = spawn(process.execPath, [launcher], {
    env: { ...process.env, CORVANE_BINARY: tool },
    stdio: 'ignore',
  });
  while (!fs.existsSync(pidFile) || fs.readFileSync(pidFile, 'utf8').trim() === '') {
    await new Promise((resolve) => setTimeout(resolve, 20));
  }
  const toolPid = Number(fs.readFileSync(pidFile, 'utf8'));
  const ended = new Promise((resolve) => child.on('exit', (status, signal) => resolve({ status, signal })));
  child.kill('SIGTERM');
  assert.deepEqual(await ended, { status: null, signal: 'SIGTERM' });
  assert.throws(() => process.kill(toolPid, 0), { code: 'ESRCH' });
});
