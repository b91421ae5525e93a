// kernel32 on POSIX: debugger output, last error, built-in modules, the
// process heap, reading files and read-only file mappings.
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
  std::uint64_t size = 0;          // a mapping's size, fixed when it is made
  DWORD type = FILE_TYPE_UNKNOWN;  // a file's GetFileType
};

KernelObject* FileObject(HANDLE handle) {
  auto* obj = static_cast<KernelObject*>(handle);
  return obj && handle != INVALID_HANDLE_VALUE && obj->kind == ObjectKind::File ? obj : nullptr;
}

DWORD FileTypeOf(mode_t mode) {
  if (S_ISREG(mode)) return FILE_TYPE_DISK;
  if (S_ISCHR(mode)) return FILE_TYPE_CHAR;
  if (S_ISFIFO(mode) || S_ISSOCK(mode)) return FILE_TYPE_PIPE;
  return FILE_TYPE_UNKNOWN;
}

// The current size of a file on a disk; false, with the last error set,
// for a bad handle or a file that has no size (a pipe or a device).
bool DiskFileSize(HANDLE handle, std::uint64_t* size) {
  KernelObject* obj = FileObject(handle);
  if (!obj) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  if (obj->type != FILE_TYPE_DISK) {
    SetLastError(ERROR_INVALID_FUNCTION);
    return false;
  }
  struct stat st {};
  if (::fstat(obj->fd, &st) != 0) {
    SetLastError(ErrnoToWin32(errno));
    return false;
  }
  *size = static_cast<std::uint64_t>(st.st_size);
  return true;
}

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
  // Without O_NONBLOCK, opening a FIFO would wait for a writer. Reads wait
  // as Windows' synchronous reads do, so the flag is cleared once open.
  const int fd = ::open(fileName, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    SetLastError(ErrnoToWin32(errno));
    return INVALID_HANDLE_VALUE;
  }
  struct stat st {};
  const int status = ::fcntl(fd, F_GETFL);
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode) || status < 0 ||
      ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) {
    ::close(fd);
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  return new KernelObject{ObjectKind::File, fd, 0, FileTypeOf(st.st_mode)};
}

DWORD GetFileType(HANDLE file) {
  const KernelObject* obj = FileObject(file);
  if (!obj) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FILE_TYPE_UNKNOWN;
  }
  SetLastError(NO_ERROR);
  return obj->type;
}

DWORD GetFileSize(HANDLE file, DWORD* sizeHigh) {
  std::uint64_t size = 0;
  if (!DiskFileSize(file, &size)) return INVALID_FILE_SIZE;
  if (sizeHigh) *sizeHigh = static_cast<DWORD>(size >> 32);
  // A size whose low half reads as INVALID_FILE_SIZE is told apart by the
  // last error, as on Windows.
  SetLastError(NO_ERROR);
  return static_cast<DWORD>(size & 0xFFFFFFFFu);
}

BOOL GetFileSizeEx(HANDLE file, PLARGE_INTEGER size) {
  std::uint64_t bytes = 0;
  if (!size) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!DiskFileSize(file, &bytes)) return FALSE;
  size->QuadPart = static_cast<LONGLONG>(bytes);
  return TRUE;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped) {
  if (read) *read = 0;
  KernelObject* obj = FileObject(file);
  if (!obj) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!read || overlapped || (!buffer && toRead > 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto* out = static_cast<unsigned char*>(buffer);
  DWORD done = 0;
  while (done < toRead) {
    const ssize_t n = ::read(obj->fd, out + done, toRead - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *read = done;
      SetLastError(ErrnoToWin32(errno));
      return FALSE;
    }
    done += static_cast<DWORD>(n);
    // The end of a file on a disk; a pipe or device hands back what it had.
    if (n == 0 || obj->type != FILE_TYPE_DISK) break;
  }
  *read = done;
  return TRUE;
}

HANDLE CreateFileMappingA(HANDLE file, void* security, DWORD protect, DWORD sizeHigh, DWORD sizeLow,
                          LPCSTR name) {
  KernelObject* obj = FileObject(file);
  if (!obj || protect != PAGE_READONLY) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  // Only a file on a disk has bytes to map.
  std::uint64_t size = 0;
  if (!DiskFileSize(file, &size)) return nullptr;
  // As on Windows, an empty file cannot be mapped.
  if (size == 0 && sizeHigh == 0 && sizeLow == 0) {
    SetLastError(ERROR_FILE_INVALID);
    return nullptr;
  }
  const int fd = ::dup(obj->fd);
  if (fd < 0) {
    SetLastError(ErrnoToWin32(errno));
    return nullptr;
  }
  return new KernelObject{ObjectKind::Mapping, fd, size};
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
