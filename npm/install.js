'use strict';
// Runs when the package is installed. Makes sure this machine has a working
// binary, compiling one from the sources where none is carried or the
// carried one does not run, and on POSIX puts it in the launcher's place,
// so that the command runs with no Node in between: arguments then pass as
// bytes, and start-up costs nothing extra.

const fs = require('node:fs');
const path = require('node:path');
const lib = require('./lib/binary.js');

function ensureBinary() {
  const carried = lib.prebuiltBinary();
  if (carried && fs.existsSync(carried) && lib.runs(carried)) return carried;
  const compiled = lib.compiledBinary();
  if (fs.existsSync(compiled) && lib.runs(compiled)) return compiled;
  return lib.compile();
}

function replaceLauncher(tool) {
  const launcher = path.join(__dirname, 'bin', 'Corvane');
  const temporary = `${launcher}.${process.pid}.tmp`;
  fs.copyFileSync(tool, temporary);
  fs.chmodSync(temporary, 0o755);
  fs.renameSync(temporary, launcher);
}

try {
  const tool = ensureBinary();
  if (process.platform !== 'win32') replaceLauncher(tool);
} catch (error) {
  process.stderr.write(`${error.message}\n`);
  process.exit(1);
}
