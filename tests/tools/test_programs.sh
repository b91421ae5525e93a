#!/bin/bash
# The five programs as a user meets them:
#   - one command line: --help prints the usage (naming every option) on
#     standard output and exits 0; an unknown option prints one line naming it
#     and the usage on standard error and exits 2
#   - cmake --install puts them in PREFIX/bin, the README in
#     PREFIX/share/doc/quorvel and the main flight's input script in
#     PREFIX/share/quorvel, and the installed programs work from any folder
#   - a viewer whose start-up failed exits with 1 and says why in one line
# Usage: test_programs.sh BUILD_DIR CMAKE
set -u
build="$1"
cmake="$2"
work=$(mktemp -d /tmp/quorvel_programs_XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

# check PROGRAM WORD...: the convention, and the words the usage must hold.
check() {
  local bin="$1" name
  name=$(basename "$1")
  shift
  "$bin" --help >"$work/out" 2>"$work/err"
  local rc=$?
  [ "$rc" -eq 0 ] || fail "$name --help: exit code $rc"
  [ -s "$work/err" ] && fail "$name --help wrote to standard error"
  head -1 "$work/out" | grep -q "^usage: $name" || fail "$name --help: no usage line"
  for word in "$@" --help; do
    grep -q -- "$word" "$work/out" || fail "$name --help does not name $word"
  done
  "$bin" --no-such-option >"$work/out" 2>"$work/err"
  rc=$?
  [ "$rc" -eq 2 ] || fail "$name --no-such-option: exit code $rc"
  [ -s "$work/out" ] && fail "$name --no-such-option wrote to standard output"
  sed -n 1p "$work/err" | grep -q "^$name: .*--no-such-option" || fail "$name: first error line: $(sed -n 1p "$work/err")"
  sed -n 2p "$work/err" | grep -q "^usage: $name" || fail "$name: no usage after the error line"
}

tools="$build/tools"
check "$tools/quorvel/quorvel" DIR F1 F12
check "$tools/quorvel-run/quorvel-run" --dir --frames --clock --input --shot --window --epoch --hud --video --video-fps
check "$tools/quorvel-makedata/quorvel-makedata" --seed --heightmap --raw-size --height-range
check "$tools/quorvel-asm/quorvel-asm" --vs-constants --debug
check "$tools/quorvel-texinfo/quorvel-texinfo" --png

prefix="$work/prefix"
"$cmake" --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || fail "install: $(cat "$work/install.log")"
for p in quorvel quorvel-run quorvel-makedata quorvel-asm quorvel-texinfo; do
  [ -x "$prefix/bin/$p" ] || fail "$p is not installed in bin/"
done
cmp -s "$prefix/share/doc/quorvel/README.md" "$(dirname "$0")/../../README.md" || fail "README not installed"
flight="$prefix/share/quorvel/flight.input"
cmp -s "$flight" "$(dirname "$0")/../../scripts/flight.input" || fail "flight.input not installed"

# From another folder: make data (generated and imported), fly over it, and
# start the viewer on a folder given by name.
mkdir "$work/elsewhere" "$work/empty"
cd "$work/elsewhere" || fail "cd"
printf 'P5 2 2 255\n\001\002\003\004' >hills.pgm
"$prefix/bin/quorvel-makedata" data --seed 3 || fail "installed quorvel-makedata"
"$prefix/bin/quorvel-makedata" own --heightmap hills.pgm || fail "installed quorvel-makedata --heightmap"
for d in data own; do
  "$prefix/bin/quorvel-run" --dir "$d" --frames 3 --clock 20 --input "$flight" >"$work/summary" ||
    fail "installed quorvel-run in $d"
  log=$(sed -n 's/^log: //p' "$work/summary")
  grep -q "ENDING SUCCESSFULLY" "$log" || fail "the run over $d logged errors"
done
(cd / && "$prefix/bin/quorvel" "$work/empty") 2>"$work/err"
rc=$?
ls "$work/empty"/Log_*.log >/dev/null 2>&1 || fail "the viewer did not run in the folder it was given"
[ "$rc" -eq 1 ] || fail "installed quorvel in an empty folder: exit code $rc"
[ "$(grep -c '^quorvel: ' "$work/err")" -eq 1 ] &&
  grep -q "^quorvel: start-up failed: .*; see $work/empty/Log_[0-9]*\.log\$" "$work/err" ||
  fail "installed quorvel in an empty folder: $(cat "$work/err")"
echo "ok"
