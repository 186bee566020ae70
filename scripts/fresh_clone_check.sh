#!/bin/sh
# Follows the README as a newcomer would, in a fresh clone of the committed
# state of this repository: the quick start's example job, the install
# command into a temporary prefix, then the test command's configure, build
# and test step on the release preset, which must find and run tests. Only
# what the command-line test needs is built, to keep CI time modest.
set -eu
repo="$(cd "$(dirname "$0")/.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

fail() {
  echo "fresh clone check: $*" >&2
  exit 1
}

git clone -q "$repo" "$work/kirato"
cd "$work/kirato"

echo "=== fresh clone: scripts/example.sh"
scripts/example.sh >"$work/example.out" 2>&1 ||
  { cat "$work/example.out"; fail "the example job failed"; }
grep -q "^Files converted: [1-9]" "$work/example.out" ||
  { cat "$work/example.out"; fail "the example converted nothing"; }

echo "=== fresh clone: scripts/install.sh PREFIX"
scripts/install.sh "$work/prefix" >"$work/install.out" 2>&1 ||
  { cat "$work/install.out"; fail "the install failed"; }
for f in bin/kirato-cli share/man/man1/kirato-cli.1 share/doc/kirato/LICENSE; do
  [ -f "$work/prefix/$f" ] || fail "the install left out $f"
done
"$work/prefix/bin/kirato-cli" --version | grep -q "^kirato-cli " ||
  fail "the installed kirato-cli does not answer --version"
scripts/uninstall.sh "$work/prefix" >/dev/null ||
  fail "the uninstall failed"
[ -z "$(find "$work/prefix" -type f)" ] ||
  fail "the uninstall left $(find "$work/prefix" -type f | head -n 1)"

echo "=== fresh clone: the tests' configure, build and test step"
cmake --preset default -DKIRATO_WERROR=ON >/dev/null
cmake --build --preset default --target kirato-cli sgf-check >/dev/null
ctest --preset default --no-tests=error -R '^cli_test$'
echo "Fresh clone check passed."
