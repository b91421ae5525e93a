// Built-in modules, the process heap, file reads and read-only file mappings.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <string>

#include "platform/win32/win32.h"
#include "testing/temp_log.h"

namespace {

int s_calls = 0;
void FakeExport() { ++s_calls; }

HANDLE OpenRead(const std::string& path, DWORD flags = 0) {
  return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, flags, nullptr);
}

}  // namespace

TEST(Win32Modules, LookUpIsCaseInsensitiveAndNeedsALoad) {
  const Win32Export exports[] = {{"DoIt", &FakeExport}};
  Win32RegisterModule("fake_test.dll", exports, 1);
  EXPECT_EQ(GetModuleHandleA("fake_test.dll"), nullptr) << "not loaded yet";
  HMODULE m = LoadLibraryA("FAKE_TEST.DLL");
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(GetModuleHandleA("fake_test.dll"), m);
  FARPROC p = GetProcAddress(m, "DoIt");
  ASSERT_NE(p, nullptr);
  p();
  EXPECT_EQ(s_calls, 1);
  EXPECT_EQ(GetProcAddress(m, "doit"), nullptr) << "export names are case-sensitive";
  EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
  EXPECT_EQ(LoadLibraryA("missing.dll"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
  EXPECT_EQ(GetProcAddress(nullptr, "DoIt"), nullptr);
  EXPECT_NE(GetModuleHandleA(nullptr), nullptr);
  EXPECT_EQ(GetProcAddress(GetModuleHandleA(nullptr), "DoIt"), nullptr);
}

TEST(Win32Heap, AllocZeroAndFree) {
  auto* p = static_cast<unsigned char*>(HeapAlloc(GetProcessHeap(), 8 /*zero memory*/, 64));
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(p[i], 0);
  EXPECT_TRUE(HeapFree(GetProcessHeap(), 0, p));
  EXPECT_FALSE(HeapFree(nullptr, 0, nullptr));
}

TEST(Win32Files, MapsAWholeFileReadOnly) {
  const qv::test::TempDir dir;
  dir.WriteFile("map.bin", std::string("hello\0world", 11));
  HANDLE f = OpenRead(dir.Path("map.bin"), FILE_FLAG_RANDOM_ACCESS);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  DWORD high = 99;
  EXPECT_EQ(GetFileSize(f, &high), 11u);
  EXPECT_EQ(high, 0u);
  HANDLE m = CreateFileMappingA(f, nullptr, PAGE_READONLY, 0, 0, nullptr);
  ASSERT_NE(m, nullptr);
  const void* view = MapViewOfFile(m, FILE_MAP_READ, 0, 0, 0);
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(std::memcmp(view, "hello\0world", 11), 0);
  EXPECT_TRUE(UnmapViewOfFile(view));
  EXPECT_FALSE(UnmapViewOfFile(view)) << "a view is unmapped once";
  EXPECT_TRUE(CloseHandle(m));
  EXPECT_TRUE(CloseHandle(f));
}

TEST(Win32Files, FailuresCarrySystemErrors) {
  const qv::test::TempDir dir;
  EXPECT_EQ(OpenRead(dir.Path("does-not-exist")), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(HRESULT_FROM_WIN32(GetLastError()), static_cast<HRESULT>(0x80070002u));

  // A folder is not a file.
  EXPECT_EQ(OpenRead(dir.Dir()), INVALID_HANDLE_VALUE);

  // As on Windows, an empty file has no mapping.
  dir.WriteFile("empty.bin", "");
  HANDLE f = OpenRead(dir.Path("empty.bin"));
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetFileSize(f, nullptr), 0u);
  EXPECT_EQ(CreateFileMappingA(f, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_FILE_INVALID);
  CloseHandle(f);

  EXPECT_EQ(GetFileSize(INVALID_HANDLE_VALUE, nullptr), INVALID_FILE_SIZE);
  EXPECT_FALSE(CloseHandle(nullptr));
}

// Files, pipes and devices open alike; GetFileType tells them apart, and
// only a file on a disk has a size or a mapping. Reads are synchronous and
// end a file with a successful read of 0 bytes.
TEST(Win32Files, TypesSizesAndReads) {
  const qv::test::TempDir dir;
  dir.WriteFile("data.bin", "abcdef");
  ASSERT_EQ(mkfifo(dir.Path("fifo").c_str(), 0600), 0);  // opening must not wait for a writer
  const struct {
    std::string path;
    DWORD type;
  } kinds[] = {{dir.Path("data.bin"), FILE_TYPE_DISK},
               {dir.Path("fifo"), FILE_TYPE_PIPE},
               {"/dev/zero", FILE_TYPE_CHAR}};
  for (const auto& k : kinds) {
    SCOPED_TRACE(k.path);
    HANDLE f = OpenRead(k.path);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetFileType(f), k.type);
    LARGE_INTEGER size{};
    size.QuadPart = -1;
    EXPECT_EQ(GetFileSizeEx(f, &size) != FALSE, k.type == FILE_TYPE_DISK);
    if (k.type == FILE_TYPE_DISK) {
      EXPECT_EQ(size.QuadPart, 6);
    } else {
      EXPECT_EQ(GetLastError(), ERROR_INVALID_FUNCTION);
      EXPECT_EQ(GetFileSize(f, nullptr), INVALID_FILE_SIZE);
      EXPECT_EQ(CreateFileMappingA(f, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr);
    }
    EXPECT_TRUE(CloseHandle(f));
  }

  HANDLE f = OpenRead(dir.Path("data.bin"));
  char buffer[8] = {};
  DWORD got = 99;
  ASSERT_TRUE(ReadFile(f, buffer, 4, &got, nullptr));
  EXPECT_EQ(std::string(buffer, got), "abcd");
  dir.WriteFile("data.bin", "abcdefghij");  // the size is the file's size now, not at the open
  LARGE_INTEGER size{};
  ASSERT_TRUE(GetFileSizeEx(f, &size));
  EXPECT_EQ(size.QuadPart, 10);
  ASSERT_TRUE(ReadFile(f, buffer, 8, &got, nullptr));
  EXPECT_EQ(std::string(buffer, got), "efghij");
  ASSERT_TRUE(ReadFile(f, buffer, 8, &got, nullptr));
  EXPECT_EQ(got, 0u) << "the end of the file";
  EXPECT_FALSE(ReadFile(f, buffer, 8, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  CloseHandle(f);

  EXPECT_EQ(OpenRead(dir.Dir()), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(GetFileType(INVALID_HANDLE_VALUE), FILE_TYPE_UNKNOWN);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(ReadFile(INVALID_HANDLE_VALUE, buffer, 1, &got, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}
