#!/usr/bin/env bash
# Installs the packed npm package (scripts/pack-npm.sh) into a fresh project
# with no network, as a user would with `npm install -D corvane`, and checks
# that `npx --no-install Corvane` stamps the example (0), fails a template
# without its anchor (3), and passes `/*` and an argument with blanks
# intact. Also checks that the Linux binary needs no C library at all.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tarball=$(ls "$root"/build-npm/corvane-*.tgz)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

echo "== the static binary in an empty root"
mkdir "$work/root"
cp "$root/build-npm/package/prebuilt/linux-x64/Corvane" "$work/root/"
version=$(basename "$tarball" .tgz)
version=${version#corvane-}
[ "$(chroot "$work/root" /Corvane --version)" = "Corvane $version" ] ||
  fail "the static binary does not run without a C library"

echo "== npm install --offline into a fresh project"
mkdir "$work/app" && cd "$work/app"
npm init -y >/dev/null
npm install --offline --no-audit --no-fund -D "$tarball" >"$work/npm.log" 2>&1 || { cat "$work/npm.log"; fail "npm install failed"; }
file -L node_modules/.bin/Corvane | grep -q ELF || fail "the command is not the native binary"

cp "$root/examples/trial.js" trial.js
npx --no-install Corvane trial.js '/*' '*/' EXPIRY_DATE out.js >console.txt || fail "stamping gave status $?"
grep -Eq '^const TRIAL_EXPIRES_AT = [0-9]+000;' out.js || fail "out.js carries no stamp"
grep -qxF 'Comment markers: /* and */' console.txt || fail "the markers did not arrive intact"

sed 's/EXPIRY_DATE/0/' trial.js >broken.js
status=0
npx --no-install Corvane broken.js '/*' '*/' EXPIRY_DATE out.js >/dev/null || status=$?
[ "$status" -eq 3 ] || fail "a template without its anchor gave status $status, not 3"

printf '# begin trial\nx = expires at\n# end trial\n' >'with blanks.txt'
npx --no-install Corvane 'with blanks.txt' '# begin trial' '# end trial' 'expires at' 'out file.txt' >console.txt ||
  fail "arguments with blanks gave status $?"
grep -Eq '^x = [0-9]+000$' 'out file.txt' || fail "arguments with blanks did not arrive intact"
echo "== npm install --offline --ignore-scripts: the Node launcher runs the tool"
mkdir "$work/scriptless" && cd "$work/scriptless"
npm init -y >/dev/null
npm install --offline --ignore-scripts --no-audit --no-fund -D "$tarball" >"$work/npm.log" 2>&1 || { cat "$work/npm.log"; fail "npm install failed"; }
head -c 2 node_modules/corvane/bin/Corvane | grep -q '#!' || fail "the launcher was replaced without scripts"
cp "$root/examples/trial.js" trial.js
npx --no-install Corvane trial.js '/*' '*/' EXPIRY_DATE out.js >console.txt || fail "the launcher gave status $?"
grep -Eq '^const TRIAL_EXPIRES_AT = [0-9]+000;' out.js || fail "out.js carries no stamp through the launcher"
grep -qxF 'Comment markers: /* and */' console.txt || fail "the markers did not arrive intact through the launcher"
status=0
npx --no-install Corvane "$work/app/broken.js" '/*' '*/' EXPIRY_DATE out.js >/dev/null || status=$?
[ "$status" -eq 3 ] || fail "through the launcher, a template without its anchor gave status $status, not 3"
echo "npm package checked: $(basename "$tarball")"
