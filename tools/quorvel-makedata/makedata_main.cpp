// quorvel-makedata DIR [--seed N]: writes the default data set into DIR.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/quorvel-makedata/makedata.h"

namespace {

int Usage() {
  std::fprintf(stderr, "usage: quorvel-makedata DIR [--seed N]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const char* dir = nullptr;
  std::uint64_t seed = makedata::kDefaultSeed;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--seed") == 0) {
      if (i + 1 >= argc) return Usage();
      const char* text = argv[++i];
      char* end = nullptr;
      errno = 0;
      const unsigned long long value = std::strtoull(text, &end, 0);
      if (errno != 0 || end == text || *end != '\0' || text[0] == '-') {
        std::fprintf(stderr, "quorvel-makedata: bad seed '%s'\n", text);
        return 2;
      }
      seed = value;
    } else if (argv[i][0] == '-' && argv[i][1] != '\0') {
      std::fprintf(stderr, "quorvel-makedata: unknown option '%s'\n", argv[i]);
      return Usage();
    } else if (!dir) {
      dir = argv[i];
    } else {
      return Usage();
    }
  }
  if (!dir) return Usage();
  std::string error;
  if (!makedata::WriteDataSet(dir, seed, &error)) {
    std::fprintf(stderr, "quorvel-makedata: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
