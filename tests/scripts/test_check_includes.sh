#!/usr/bin/env bash
# The include check on a made-up tree: a clean tree passes; each fault, added
# alone, fails the check with a line naming the file and what it includes or
# uses.
# Usage: test_check_includes.sh CHECK_SCRIPT
set -u
check=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
work=$(mktemp -d /tmp/quorvel_includes_XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

# A clean tree: a reader with its library, system headers, the platform API,
# a grammar's generated header, and "far" only in a comment and a string.
make_tree() {
  rm -rf "$work/tree"
  mkdir -p "$work/tree"/{terrain,texture_io,shader_asm,view,tools/cli,platform/win32,platform/host}
  cd "$work/tree" || fail "cd"
  printf '#include <cstdint>\nusing DWORD = std::uint32_t;\n' >platform/win32/win32_types.h
  printf '#include "platform/win32/win32_types.h"\n' >platform/win32/win32.h
  printf '#pragma once\n' >platform/host/host.h
  printf '#pragma once\n' >tools/cli/tool_cli.h
  printf '#pragma once\n#include <cstdint>\n#include <vector>\nstruct T { std::vector<std::uint8_t> v; };\n' \
    >terrain/terrain.h
  printf '#include <cstddef>\n#include "terrain/terrain.h"\n// as far as it goes\nstd::size_t n = sizeof(T);\n' \
    >terrain/terrain.cpp
  printf '#include <png.h>\nconst char* s = "near and far";\n' >texture_io/reader_png.cpp
  printf '#include <jerror.h>\n#include <jpeglib.h>\n' >texture_io/reader_jpeg.cpp
  printf '%%{\n#include <cstring>\n%%}\n' >shader_asm/asm_grammar.y
  printf '#include "asm_grammar.hpp"\n' >shader_asm/asm_lexer.cpp
  printf '#include <initializer_list>\n#include "platform/win32/win32.h"\nint f() { for (int a : {0, 2}) return a; return 0; }\n' \
    >view/draw_list.cpp
}

make_tree
"$check" "$work/tree" >"$work/out" 2>&1 || fail "a clean tree fails: $(cat "$work/out")"

# expect FILE TEXT WORDS...: FILE with TEXT in it fails the check with a line
# that starts with FILE: and holds every one of WORDS.
expect() {
  local file="$1" text="$2"
  shift 2
  make_tree
  mkdir -p "$(dirname "$file")"
  printf "%b" "$text" >"$file"
  "$check" "$work/tree" >"$work/out" 2>&1 && fail "$file passes with: $text"
  grep -q "^$file:" "$work/out" || fail "$file is not named: $(cat "$work/out")"
  for word in "$@"; do
    grep "^$file:" "$work/out" | grep -qF -- "$word" || fail "$file: '$word' not said: $(cat "$work/out")"
  done
}

expect terrain/terrain_heightmap.cpp '#include <unistd.h>\n' '<unistd.h>'
expect log/log_file.cpp '#include <png.h>\n' '<png.h>' 'texture_io/reader_png.cpp'
expect view/camera.cpp '#include "tools/cli/tool_cli.h"\n' '"tools/cli/tool_cli.h"'
expect view/camera.cpp '#include "platform/host/host.h"\n' '"platform/host/host.h"'
expect view/camera.cpp '#include "view/missing.h"\n' '"view/missing.h"'
expect texture_io/d3dx8_tex.h '#include "platform/win32/win32.h"\nenum E : std::uint32_t {};\n' \
  'std::uint32_t' '<cstdint>'
expect terrain/terrain_lod.cpp '#include <cstdint>\nvoid f() { for (int i : {1, 2}) (void)i; }\n' \
  '<initializer_list>'
expect texture_io/tex_convert.cpp 'void f() {\n  float far = 1;\n}\n' ':2:' '"far"'
expect log/log_file.cpp '#include <ctime>\nvoid f(std::time_t t, std::tm* o) { gmtime_r(&t, o); }\n' 'gmtime_r'
echo "ok"
