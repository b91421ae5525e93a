#include "tools/cli/system_run.h"

#include <SDL.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>
#include <vector>

#include "app/app.h"
#include "log/log_file.h"
#include "platform/host/host.h"
#include "texture_io/tex_image.h"

namespace qv::cli {
namespace {

namespace fs = std::filesystem;

constexpr const char* kErrorBanner = "***********************ERROR*************************";
constexpr const char* kFatalBanner = "FATAL*ERROR*FATAL*ERROR*FATAL*ERROR*FATAL*ERROR*FATAL";
constexpr const char* kTextureFailure = "COULDNT LOAD TEXTURE";

// The files the start-up reads under fixed names.
constexpr const char* kParameterFile = "Readme.txt";
constexpr const char* kHeightMap = "HeightMap20.raw";
constexpr const char* kColourTables[2] = {"Diffuse.raw", "Ambient.raw"};

bool IsLogName(const std::string& name) {
  return name.size() > 8 && name.rfind("Log_", 0) == 0 && name.compare(name.size() - 4, 4, ".log") == 0;
}

std::string WorkingDirectory() {
  char path[4096];
  return ::getcwd(path, sizeof path) ? std::string(path) : std::string(".");
}

// The bytes of a regular file from `offset` on; empty for anything else (a
// device or a pipe would never end, a folder cannot be read).
std::string ReadRegularFile(const std::string& path, std::uintmax_t offset = 0) {
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(path, ec);
  if (ec || !fs::is_regular_file(path, ec) || size <= offset) return "";
  std::ifstream in(path, std::ios::binary);
  std::string bytes(static_cast<std::size_t>(size - offset), '\0');
  if (!in.seekg(static_cast<std::streamoff>(offset)) ||
      !in.read(bytes.data(), static_cast<std::streamsize>(bytes.size())))
    return "";
  return bytes;
}

// Whether the loader's image readers accept the file.
bool ReadsAsImage(const std::string& name) {
  const std::string bytes = ReadRegularFile(name);
  qv::tex::TexImageChain chain;
  return !bytes.empty() && qv::tex::ReadImage(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                              bytes.size(), chain) == qv::tex::ReadResult::Accepted;
}

// Why a log file that stayed empty could not be written: the file's own
// refusal when it exists (a folder of that name, no write permission), else
// the folder's.
std::string WriteProblem(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_NONBLOCK | O_CLOEXEC);
  if (fd >= 0) {
    ::close(fd);
    return "nothing was written to " + path;
  }
  if (errno == ENOENT && ::access(fs::path(path).parent_path().c_str(), W_OK) == 0)
    return "nothing was written to " + path;
  return "cannot write " + path + ": " + std::strerror(errno);
}

}  // namespace

bool FirstLogFailure(const std::string& logText, LogFailure* failure) {
  std::istringstream in(logText);
  bool afterBanner = false;
  for (std::string line; std::getline(in, line);) {
    if (line == kErrorBanner || line == kFatalBanner) {
      afterBanner = true;
      continue;
    }
    if (afterBanner || line == kTextureFailure) {
      const std::size_t close = line.find("]:  ");
      failure->tagged = !line.empty() && line[0] == '[' && close != std::string::npos;
      failure->tag = failure->tagged ? line.substr(1, close - 1) : "";
      failure->message = failure->tagged ? line.substr(close + 4) : line;
      return true;
    }
  }
  return false;
}

std::string FailedFileNote(const LogFailure& failure) {
  if (failure.tagged && (failure.tag == "LoadHM" || failure.tag == "Checksum")) return kHeightMap;
  if (failure.tagged && failure.tag == "Game Initialize()") return kParameterFile;
  if (failure.tagged && failure.tag == "Load SkyMap") {
    for (const char* table : kColourTables)
      if (!std::ifstream(table, std::ios::binary)) return table;
    return "";
  }
  if (!failure.tagged && failure.message == kTextureFailure) {
    // The textures load in the order "Readme.txt" names them, and the first
    // that fails stops the loading; names it could not read stay empty.
    StartupParameters parameters;
    ReadStartupParameters(kParameterFile, &parameters);
    for (const char* name : parameters.textures) {
      if (name[0] == '\0') return std::string("no texture file named in ") + kParameterFile;
      if (!ReadsAsImage(name)) return name;
    }
  }
  return "";
}

std::string DescribeFailure(const LogFailure& failure, const std::string& note) {
  std::string text = failure.tagged ? "[" + failure.tag + "] " + failure.message : failure.message;
  if (!note.empty()) text += " (" + note + ")";
  return text;
}

int SystemRun::Run() {
  if (!qv::host::GetConfig().scripted && !OpenWindowSystem()) return kExitFailed;

  // The sizes of the logs already here: the log is appended to, and only
  // what this run adds to its file is this run's.
  std::error_code ec;
  for (fs::directory_iterator it(".", ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    std::error_code sizeError;
    if (IsLogName(name) && it->is_regular_file(sizeError)) {
      const std::uintmax_t size = it->file_size(sizeError);
      if (!sizeError) m_logSizes[name] = size;
    }
  }

  qv::host::SetStartupOverHook([this] { StartupOver(); });
  char commandLine[] = "";
  int exitCode = WinMain(GetModuleHandleA(nullptr), nullptr, commandLine, SW_SHOWNORMAL);
  qv::host::SetStartupOverHook(nullptr);
  m_ran = true;
  if (!m_startupChecked) StartupOver();

  if (!m_logWritten) {
    // Nothing says why; but a loop that ended in its first iteration, before
    // any frame, took a quit message posted during the start-up, which only
    // a fatal report does.
    if (qv::host::FrameIndex() == 0) {
      m_startupFailed = true;
      std::fprintf(stderr, "%s: start-up failed with a fatal error; no log says why (%s)\n", m_program,
                   m_logProblem.c_str());
    } else {
      std::fprintf(stderr, "%s: no log: %s\n", m_program, m_logProblem.c_str());
    }
  }
  if (m_startupFailed && exitCode == 0) exitCode = kExitFailed;
  return exitCode;
}

std::string SystemRun::LogField() const { return m_logWritten ? m_logPath : "none (" + m_logProblem + ")"; }

// SDL falls back to its offscreen driver when no window system answers: the
// viewer would then run where nobody sees it. So a driver that shows nothing
// counts only when it was asked for (SDL_VIDEODRIVER), as the tests do.
bool SystemRun::OpenWindowSystem() const {
  if (SDL_WasInit(SDL_INIT_VIDEO)) return true;
  const char* asked = SDL_GetHint(SDL_HINT_VIDEODRIVER);  // the environment's too
  const bool driverAsked = asked && asked[0] != '\0';
  const char* display = std::getenv("DISPLAY");
  const bool haveDisplay = display && display[0] != '\0';
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if (!driverAsked && !(wayland && wayland[0] != '\0')) {
    if (!haveDisplay) {
      std::fprintf(stderr, "%s: cannot open a window: no X display (DISPLAY is not set)\n", m_program);
      return false;
    }
    // X is the only window system named: SDL need not try the others (and
    // Wayland's library complain on the way).
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
  }
  bool opened = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
  std::string reason = opened ? "" : SDL_GetError();
  if (opened && !driverAsked) {
    const std::string driver = SDL_GetCurrentVideoDriver() ? SDL_GetCurrentVideoDriver() : "";
    if (driver == "offscreen" || driver == "dummy") {
      SDL_QuitSubSystem(SDL_INIT_VIDEO);
      opened = false;
      reason = "only SDL's " + driver + " driver started";
    }
  }
  if (opened) return true;
  if (haveDisplay)
    std::fprintf(stderr, "%s: cannot open a window: no X display at DISPLAY=%s (%s)\n", m_program, display,
                 reason.c_str());
  else
    std::fprintf(stderr, "%s: cannot open a window: no X display (DISPLAY is not set; %s)\n", m_program,
                 reason.c_str());
  return false;
}

// As the loop begins: what the start-up wrote to the log is all there (every
// entry is flushed as it is written).
void SystemRun::StartupOver() {
  m_startupChecked = true;
  const std::string name = LogFile::LastFileName();
  m_logPath = WorkingDirectory() + "/" + name;
  std::string text;
  if (!name.empty()) {
    const auto before = m_logSizes.find(name);
    text = ReadRegularFile(name, before != m_logSizes.end() ? before->second : 0);
  }
  m_logWritten = !text.empty();
  if (!m_logWritten) {
    m_logProblem = name.empty() ? "the system opened no log" : WriteProblem(m_logPath);
    return;
  }
  LogFailure failure;
  if (!FirstLogFailure(text, &failure)) return;
  m_startupFailed = true;
  std::fprintf(stderr, "%s: start-up failed: %s; see %s\n", m_program,
               DescribeFailure(failure, FailedFileNote(failure)).c_str(), m_logPath.c_str());
  std::fflush(stderr);
}

}  // namespace qv::cli
