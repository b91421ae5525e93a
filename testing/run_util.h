// Running the programs from tests: a command's exit code, standard output
// and standard error, the `name: value` lines of quorvel-run's summary, text
// files as lines, and PNG screenshots as RGB.
#pragma once

#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace qv::test {

struct RunResult {
  int exitCode = -1;  // -1 when the command did not exit normally
  std::string out;    // standard output
  std::string err;    // standard error
};

inline RunResult RunCommand(const std::string& command) {
  RunResult r;
  char errPath[] = "/tmp/quorvel_stderr_XXXXXX";
  const int errFd = mkstemp(errPath);
  if (errFd < 0) return r;
  close(errFd);
  FILE* p = popen(("{ " + command + "; } 2>" + errPath).c_str(), "r");
  if (p) {
    char buf[4096];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    const int status = pclose(p);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream in(errPath, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    r.err = s.str();
  }
  unlink(errPath);
  return r;
}

// The value of the summary line "name: value"; empty when there is none.
inline std::string Field(const std::string& summary, const std::string& name) {
  std::istringstream in(summary);
  for (std::string line; std::getline(in, line);)
    if (line.rfind(name + ": ", 0) == 0) return line.substr(name.size() + 2);
  return "";
}

inline std::vector<std::string> Lines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Index of the first line at or after `from` equal to `text`, or -1.
inline int Find(const std::vector<std::string>& lines, const std::string& text, int from = 0) {
  for (int i = from; i < static_cast<int>(lines.size()); ++i)
    if (lines[i] == text) return i;
  return -1;
}
inline bool Has(const std::vector<std::string>& lines, const std::string& text) {
  return Find(lines, text) >= 0;
}

// A PNG file as 8-bit RGB rows; false when it cannot be read.
inline bool ReadPngRgb(const std::string& path, int& width, int& height, std::vector<unsigned char>& rgb) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  image.format = PNG_FORMAT_RGB;
  rgb.resize(PNG_IMAGE_SIZE(image));
  width = static_cast<int>(image.width);
  height = static_cast<int>(image.height);
  return png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr) != 0;
}

// A fresh folder under /tmp (not the working directory); empty on failure.
inline std::string MakeTempDir(const char* prefix) {
  std::string pattern = std::string("/tmp/") + prefix + "XXXXXX";
  return mkdtemp(pattern.data()) ? pattern : std::string();
}

}  // namespace qv::test
