// kernel32 and winmm on POSIX: debugger output, last error, built-in modules,
// the process heap, read-only file mappings and the millisecond clock.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/win32/win32.h"

namespace {

thread_local DWORD s_lastError = 0;

DWORD ErrnoToWin32(int e) {
  switch (e) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM: return ERROR_ACCESS_DENIED;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EBADF: return ERROR_INVALID_HANDLE;
    default: return ERROR_INVALID_PARAMETER;
  }
}

// --- built-in modules -----------------------------------------------------------
struct Module {
  std::string name;  // lower case
  std::vector<Win32Export> exports;
  bool loaded = false;
};

std::vector<std::unique_ptr<Module>>& Modules() {
  static std::vector<std::unique_ptr<Module>> modules;
  return modules;
}

std::string Lower(const char* s) {
  std::string out;
  for (; *s; ++s) out += static_cast<char>((*s >= 'A' && *s <= 'Z') ? *s - 'A' + 'a' : *s);
  return out;
}

Module* FindModule(const char* name) {
  if (!name) return nullptr;
  const std::string key = Lower(name);
  for (auto& m : Modules())
    if (m->name == key) return m.get();
  return nullptr;
}

// The handle GetModuleHandleA(NULL) gives for the process itself.
char s_processModule;

// --- kernel objects: files and mappings --------------------------------------------
enum class ObjectKind { File, Mapping };

struct KernelObject {
  ObjectKind kind;
  int fd = -1;
  std::uint64_t size = 0;
};

std::map<const void*, std::size_t>& Views() {
  static std::map<const void*, std::size_t> views;
  return views;
}

// Zero-length views get a distinct non-null address that is never unmapped.
char s_emptyView;

char s_processHeap;

}  // namespace

// A debugger shows each string as a line of its own; on standard error a
// string without a line end would run into the next program's message.
void OutputDebugStringA(LPCSTR text) {
  if (!text) return;
  std::fputs(text, stderr);
  const std::size_t length = std::strlen(text);
  if (length > 0 && text[length - 1] != '\n') std::fputc('\n', stderr);
  std::fflush(stderr);
}

DWORD GetLastError() { return s_lastError; }
void SetLastError(DWORD error) { s_lastError = error; }

void Win32RegisterModule(const char* moduleName, const Win32Export* exports, int count) {
  if (!moduleName) return;
  Module* m = FindModule(moduleName);
  if (!m) {
    Modules().push_back(std::make_unique<Module>());
    m = Modules().back().get();
    m->name = Lower(moduleName);
  }
  m->exports.clear();
  for (int i = 0; i < count && exports; ++i)
    if (exports[i].name) m->exports.push_back(exports[i]);
}

HMODULE GetModuleHandleA(LPCSTR moduleName) {
  if (!moduleName) return reinterpret_cast<HMODULE>(&s_processModule);
  Module* m = FindModule(moduleName);
  if (!m || !m->loaded) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<HMODULE>(m);
}

HMODULE LoadLibraryA(LPCSTR fileName) {
  Module* m = FindModule(fileName);
  if (!m) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  m->loaded = true;
  return reinterpret_cast<HMODULE>(m);
}

BOOL FreeLibrary(HMODULE module) { return module ? TRUE : FALSE; }

FARPROC GetProcAddress(HMODULE module, LPCSTR procName) {
  if (!module || !procName || module == reinterpret_cast<HMODULE>(&s_processModule)) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  for (auto& m : Modules()) {
    if (reinterpret_cast<HMODULE>(m.get()) != module) continue;
    for (const Win32Export& e : m->exports)
      if (std::strcmp(e.name, procName) == 0) return e.proc;
  }
  SetLastError(ERROR_PROC_NOT_FOUND);
  return nullptr;
}

HANDLE GetProcessHeap() { return &s_processHeap; }

LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes) {
  if (heap != &s_processHeap) return nullptr;
  constexpr DWORD kZeroMemory = 0x00000008;
  return (flags & kZeroMemory) ? std::calloc(bytes ? bytes : 1, 1) : std::malloc(bytes ? bytes : 1);
}

BOOL HeapFree(HANDLE heap, DWORD flags, LPVOID mem) {
  if (heap != &s_processHeap) return FALSE;
  std::free(mem);
  return TRUE;
}

HANDLE CreateFileA(LPCSTR fileName, DWORD access, DWORD shareMode, void* security, DWORD creation,
                   DWORD flags, HANDLE templateFile) {
  if (!fileName || creation != OPEN_EXISTING || (access & ~GENERIC_READ) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  const int fd = ::open(fileName, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    SetLastError(ErrnoToWin32(errno));
    return INVALID_HANDLE_VALUE;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  auto* obj = new KernelObject{ObjectKind::File, fd, static_cast<std::uint64_t>(st.st_size)};
  return obj;
}

DWORD GetFileSize(HANDLE file, DWORD* sizeHigh) {
  auto* obj = static_cast<KernelObject*>(file);
  if (!obj || file == INVALID_HANDLE_VALUE || obj->kind != ObjectKind::File) {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_FILE_SIZE;
  }
  if (sizeHigh) *sizeHigh = static_cast<DWORD>(obj->size >> 32);
  return static_cast<DWORD>(obj->size & 0xFFFFFFFFu);
}

HANDLE CreateFileMappingA(HANDLE file, void* security, DWORD protect, DWORD sizeHigh, DWORD sizeLow,
                          LPCSTR name) {
  auto* obj = static_cast<KernelObject*>(file);
  if (!obj || file == INVALID_HANDLE_VALUE || obj->kind != ObjectKind::File || protect != PAGE_READONLY) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  // As on Windows, an empty file cannot be mapped.
  if (obj->size == 0 && sizeHigh == 0 && sizeLow == 0) {
    SetLastError(ERROR_FILE_INVALID);
    return nullptr;
  }
  const int fd = ::dup(obj->fd);
  if (fd < 0) {
    SetLastError(ErrnoToWin32(errno));
    return nullptr;
  }
  return new KernelObject{ObjectKind::Mapping, fd, obj->size};
}

LPVOID MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow, SIZE_T bytes) {
  auto* obj = static_cast<KernelObject*>(mapping);
  if (!obj || obj->kind != ObjectKind::Mapping || access != FILE_MAP_READ || offsetHigh != 0 ||
      offsetLow != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const std::size_t length = bytes ? bytes : static_cast<std::size_t>(obj->size);
  if (length > obj->size) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  if (length == 0) return &s_emptyView;
  void* base = ::mmap(nullptr, length, PROT_READ, MAP_PRIVATE, obj->fd, 0);
  if (base == MAP_FAILED) {
    SetLastError(ErrnoToWin32(errno));
    return nullptr;
  }
  Views()[base] = length;
  return base;
}

BOOL UnmapViewOfFile(LPCVOID base) {
  if (base == &s_emptyView) return TRUE;
  auto it = Views().find(base);
  if (it == Views().end()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  ::munmap(const_cast<void*>(it->first), it->second);
  Views().erase(it);
  return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
  if (!handle || handle == INVALID_HANDLE_VALUE) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  auto* obj = static_cast<KernelObject*>(handle);
  if (obj->fd >= 0) ::close(obj->fd);
  delete obj;
  return TRUE;
}
