// quorvel-asm FILE [--vs-constants] [--debug] [--no-validate]: assembles a
// shader text and prints the token stream as hex words, eight to a line; the
// error lines go to standard error and the exit code is then 1. The stream is
// validated by the graphics layer's validators, as in the viewer, unless
// --no-validate is given.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/d3d8/d3d8.h"
#include "shader_asm/d3dx8_asm.h"
#include "tools/cli/tool_cli.h"

namespace {

void PrintWords(ID3DXBuffer* buffer) {
  const auto* words = static_cast<const DWORD*>(buffer->GetBufferPointer());
  const DWORD count = buffer->GetBufferSize() / sizeof(DWORD);
  for (DWORD i = 0; i < count; ++i) {
    std::printf("0x%08X%s", static_cast<unsigned>(words[i]), (i % 8 == 7 || i + 1 == count) ? "\n" : " ");
  }
}

const qv::cli::Program kProgram = {
    "quorvel-asm",
    "usage: quorvel-asm FILE [--vs-constants] [--debug] [--no-validate]\n"
    "Assembles a vertex or pixel shader text and prints the token stream as hex\n"
    "words, eight to a line; on an error the error lines go to standard error\n"
    "and the exit code is 1.\n"
    "  --vs-constants  also print, after a line \"constants:\", the declaration\n"
    "                  words a vertex shader's def statements make\n"
    "  --debug         put the debug comment blocks (TEXT, FILE, LINE) into the\n"
    "                  token stream\n"
    "  --no-validate   skip the validation the viewer's device does\n"
    "  -h, --help      show this text\n"};

}  // namespace

int main(int argc, char** argv) {
  if (qv::cli::WantsHelp(argc, argv)) return qv::cli::PrintHelp(kProgram);
  const char* path = nullptr;
  bool printConstants = false;
  DWORD flags = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--vs-constants") == 0) {
      printConstants = true;
    } else if (std::strcmp(argv[i], "--debug") == 0) {
      flags |= D3DXASM_DEBUG;
    } else if (std::strcmp(argv[i], "--no-validate") == 0) {
      flags |= D3DXASM_SKIPVALIDATION;
    } else if (qv::cli::IsOption(argv[i])) {
      return qv::cli::BadUsage(kProgram, std::string("unknown option '") + argv[i] + "'");
    } else if (path) {
      return qv::cli::BadUsage(kProgram, std::string("one shader file only, not also '") + argv[i] + "'");
    } else {
      path = argv[i];
    }
  }
  if (!path) return qv::cli::BadUsage(kProgram, "no shader file named");

  std::ifstream file(path, std::ios::binary);
  if (!file) {
    std::fprintf(stderr, "quorvel-asm: cannot read %s\n", path);
    return 1;
  }
  const std::vector<char> text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (text.size() > 0xFFFFFFFFu) {
    std::fprintf(stderr, "quorvel-asm: %s is too large\n", path);
    return 1;
  }

  // The viewer's device registers "d3d8.dll" before any shader is assembled;
  // so does the tool, so both validate a text alike.
  QvD3D8RegisterModule();
  ID3DXBuffer* constants = nullptr;
  ID3DXBuffer* shader = nullptr;
  ID3DXBuffer* errors = nullptr;
  const HRESULT hr = D3DXAssembleShader(text.empty() ? nullptr : text.data(), static_cast<UINT>(text.size()),
                                        flags, printConstants ? &constants : nullptr, &shader, &errors);
  if (errors) {
    std::fputs(static_cast<const char*>(errors->GetBufferPointer()), stderr);
    errors->Release();
  }
  if (FAILED(hr)) {
    std::fprintf(stderr, "quorvel-asm: %s: assembly failed (0x%08X)\n", path, static_cast<unsigned>(hr));
    if (shader) shader->Release();
    if (constants) constants->Release();
    return 1;
  }
  if (shader) {
    PrintWords(shader);
    shader->Release();
  }
  if (printConstants) {
    std::printf("constants:\n");
    if (constants) {
      PrintWords(constants);
      constants->Release();
    }
  }
  return 0;
}
