// The command line every program shares: --help (or -h) anywhere prints the
// usage on standard output and exits 0; a wrong or unknown option prints one
// line naming the fault, then the usage, on standard error and exits 2.
#pragma once

#include <cstdio>
#include <cstring>
#include <string>

namespace qv::cli {

constexpr int kExitBadUsage = 2;

struct Program {
  const char* name;
  const char* usage;  // the whole usage text, ending in a newline
};

inline bool WantsHelp(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) return true;
  return false;
}

inline int PrintHelp(const Program& program) {
  std::fputs(program.usage, stdout);
  return 0;
}

inline int BadUsage(const Program& program, const std::string& message) {
  std::fprintf(stderr, "%s: %s\n%s", program.name, message.c_str(), program.usage);
  return kExitBadUsage;
}

// An argument that looks like an option ("-x", "--x"; a lone "-" is a name).
inline bool IsOption(const char* arg) { return arg[0] == '-' && arg[1] != '\0'; }

}  // namespace qv::cli
