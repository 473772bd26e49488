// Creating, writing, reading, seeking, renaming and deleting files; times, temporary names, events.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/handles.h"
#include "tests/conformance/backend.h"

namespace conformance {
namespace {

using namespace platform;

CONFORMANCE_SUITE(FileWriting);

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::string Narrow(Platform& p, const std::u16string& path) {
  return p.kernel32.WideCharToMultiByte(CP_ACP, path);
}

std::span<const std::byte> Bytes(std::string_view s) { return std::as_bytes(std::span(s.data(), s.size())); }

// The Win32 listing of a folder: name -> size.
std::map<std::u16string, std::uint64_t> Listing(Platform& p, const std::u16string& folder) {
  std::map<std::u16string, std::uint64_t> out;
  Kernel32::FindDataW d;
  const FindHandle find(p.kernel32.FindFirstFileW(folder + u"\\*", d));
  if (!find) return out;
  do {
    if (d.fileName != u"." && d.fileName != u"..") out[d.fileName] = d.size;
  } while (p.kernel32.FindNextFileW(find.get(), d));
  return out;
}

// Everything a handle reads from its position on.
std::string ReadRest(Platform& p, Handle h) {
  std::string out;
  std::vector<std::byte> buffer(7);  // small, so the reads take several calls
  for (;;) {
    DWORD n = 0;
    if (!p.kernel32.ReadFile(h, buffer, n)) {
      ADD_FAILURE() << "ReadFile failed with " << p.kernel32.GetLastError();
      return out;
    }
    if (n == 0) return out;
    out.append(reinterpret_cast<const char*>(buffer.data()), n);
  }
}

// The data of a file reached in native form, so reserved names read the file itself.
std::optional<std::string> Content(Platform& p, const std::u16string& path) {
  const KernelFileHandle h(
      p.kernel32.CreateFileW(u"\\\\?\\" + path, GENERIC_READ, kShareAll, OPEN_EXISTING, 0));
  if (!h) return std::nullopt;
  return ReadRest(p, h.get());
}

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

bool Write(Platform& p, Handle h, std::string_view text) {
  DWORD n = 0;
  return p.kernel32.WriteFile(h, Bytes(text), n) && n == text.size();
}

TEST_P(FileWriting, CreationDispositionsCreateTruncateOrRefuse) {
  struct Case {
    const char* what;
    bool exists;
    DWORD disposition;
    bool opens;
    DWORD error;          // GetLastError after the call, success or not
    const char* content;  // what the file holds afterwards; nullptr: there is no file
  };
  const Case kCases[] = {
      {"CREATE_NEW, missing", false, CREATE_NEW, true, ERROR_SUCCESS, ""},
      {"CREATE_NEW, existing", true, CREATE_NEW, false, ERROR_FILE_EXISTS, "old data"},
      {"CREATE_ALWAYS, missing", false, CREATE_ALWAYS, true, ERROR_SUCCESS, ""},
      {"CREATE_ALWAYS, existing", true, CREATE_ALWAYS, true, ERROR_ALREADY_EXISTS, ""},
      {"OPEN_ALWAYS, missing", false, OPEN_ALWAYS, true, ERROR_SUCCESS, ""},
      {"OPEN_ALWAYS, existing", true, OPEN_ALWAYS, true, ERROR_ALREADY_EXISTS, "old data"},
      {"TRUNCATE_EXISTING, existing", true, TRUNCATE_EXISTING, true, ERROR_SUCCESS, ""},
      {"TRUNCATE_EXISTING, missing", false, TRUNCATE_EXISTING, false, ERROR_FILE_NOT_FOUND, nullptr},
      {"OPEN_EXISTING, missing", false, OPEN_EXISTING, false, ERROR_FILE_NOT_FOUND, nullptr},
  };
  std::vector<std::u16string> folders;
  for (const Case& c : kCases)
    folders.push_back(B().MakeFolder(c.exists ? std::vector<Entry>{{u"f.txt", false, "old data"}}
                                              : std::vector<Entry>{{u"other.txt", false, "x"}}));
  auto& p = P();
  for (std::size_t i = 0; i < std::size(kCases); ++i) {
    const Case& c = kCases[i];
    SCOPED_TRACE(c.what);
    const std::u16string file = folders[i] + u"\\f.txt";
    p.kernel32.SetLastError(12345);
    const KernelFileHandle h(p.kernel32.CreateFileW(file, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                                    c.disposition, FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(static_cast<bool>(h), c.opens);
    EXPECT_EQ(p.kernel32.GetLastError(), c.error);
    const auto listed = Listing(p, folders[i]);
    if (c.content == nullptr) {
      EXPECT_EQ(listed.count(u"f.txt"), 0u);
    } else {
      ASSERT_EQ(listed.count(u"f.txt"), 1u);
      EXPECT_EQ(listed.at(u"f.txt"), std::string(c.content).size());
      if (h) {
        EXPECT_EQ(ReadRest(p, h.get()), c.content);
      }
    }
    EXPECT_EQ(listed.count(u"other.txt"), c.exists ? 0u : 1u) << "a neighbour was touched";
  }
}

TEST_P(FileWriting, CreatingNeedsTheParentFolder) {
  const std::u16string folder = B().MakeFolder({});
  auto& p = P();
  const KernelFileHandle h(p.kernel32.CreateFileW(folder + u"\\missing\\f.txt", GENERIC_WRITE, 0, CREATE_NEW,
                                                  FILE_ATTRIBUTE_NORMAL));
  EXPECT_FALSE(h);
  EXPECT_EQ(p.kernel32.GetLastError(), ERROR_PATH_NOT_FOUND);
}

TEST_P(FileWriting, WrittenDataIsWhatLaterReadsListingsAndOpensSee) {
  const std::u16string folder = B().MakeFolder({});
  const std::u16string file = folder + u"\\data.bin";
  auto& p = P();
  {
    const KernelFileHandle h(p.kernel32.CreateFileW(file, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL));
    ASSERT_TRUE(h);
    ASSERT_TRUE(Write(p, h.get(), "hello "));
    ASSERT_TRUE(Write(p, h.get(), "world"));
    DWORD high = 1;
    EXPECT_EQ(p.kernel32.GetFileSize(h.get(), &high), 11u);
    EXPECT_EQ(high, 0u);
    EXPECT_EQ(ReadRest(p, h.get()), "") << "a read at the end succeeds with nothing";
    ASSERT_TRUE(p.kernel32.SetFilePointerEx(h.get(), 0, nullptr, FILE_BEGIN));
    EXPECT_EQ(ReadRest(p, h.get()), "hello world");
    // Another handle sees the data while this one is still open.
    EXPECT_EQ(Content(p, file), "hello world");
  }
  EXPECT_EQ(Listing(p, folder).at(u"data.bin"), 11u);
  EXPECT_EQ(Content(p, file), "hello world");

  // A handle without write access cannot write, and the data stays.
  const KernelFileHandle reader(p.kernel32.CreateFileW(file, GENERIC_READ, kShareAll, OPEN_EXISTING, 0));
  ASSERT_TRUE(reader);
  DWORD n = 5;
  EXPECT_FALSE(p.kernel32.WriteFile(reader.get(), Bytes("xx"), n));
  EXPECT_EQ(p.kernel32.GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(Content(p, file), "hello world");
}

TEST_P(FileWriting, SeekingMovesWithinAndPastTheEndButNotBeforeTheStart) {
  const std::u16string folder = B().MakeFolder({{u"f.bin", false, "0123456789"}});
  auto& p = P();
  const KernelFileHandle h(
      p.kernel32.CreateFileW(folder + u"\\f.bin", GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING, 0));
  ASSERT_TRUE(h);
  struct Step {
    std::int64_t distance;
    DWORD method;
    std::optional<std::int64_t> position;  // nothing: refused with ERROR_NEGATIVE_SEEK
  };
  const Step kSteps[] = {
      {3, FILE_BEGIN, 3},
      {-1, FILE_CURRENT, 2},
      {0, FILE_END, 10},
      {5, FILE_END, 15},
      {-16, FILE_CURRENT, std::nullopt},
      {-11, FILE_END, std::nullopt},
      {0, FILE_CURRENT, 15},
  };
  for (const Step& s : kSteps) {
    SCOPED_TRACE(testing::Message() << s.distance << " from " << s.method);
    std::int64_t at = -7;
    const bool ok = p.kernel32.SetFilePointerEx(h.get(), s.distance, &at, s.method);
    EXPECT_EQ(ok, s.position.has_value());
    if (s.position) {
      EXPECT_EQ(at, *s.position);
    }
    if (!ok) {
      EXPECT_EQ(p.kernel32.GetLastError(), ERROR_NEGATIVE_SEEK);
    }
  }
  // Reading at 2 after a seek gives the data from there; writing past the end leaves zeros between.
  ASSERT_TRUE(p.kernel32.SetFilePointerEx(h.get(), 12, nullptr, FILE_BEGIN));
  ASSERT_TRUE(Write(p, h.get(), "x"));
  ASSERT_TRUE(p.kernel32.SetFilePointerEx(h.get(), 8, nullptr, FILE_BEGIN));
  EXPECT_EQ(ReadRest(p, h.get()), std::string("89\0\0x", 5));
}

TEST_P(FileWriting, OpenHandlesDecideWhoElseMayOpen) {
  struct Case {
    const char* what;
    DWORD firstAccess, firstShare, secondAccess, secondShare;
    bool secondOpens;
  };
  const Case kCases[] = {
      {"both read, both share reading", GENERIC_READ, FILE_SHARE_READ, GENERIC_READ, FILE_SHARE_READ, true},
      {"the first shares nothing", GENERIC_READ, 0, GENERIC_READ, kShareAll, false},
      {"the first shares reading only, the second writes", GENERIC_READ, FILE_SHARE_READ, GENERIC_WRITE,
       kShareAll, false},
      {"the second does not share what the first does", GENERIC_WRITE, kShareAll, GENERIC_READ,
       FILE_SHARE_READ, false},
      {"the first shares everything", GENERIC_READ | GENERIC_WRITE, kShareAll, GENERIC_READ | GENERIC_WRITE,
       kShareAll, true},
      {"the first asks only for attributes", FILE_READ_ATTRIBUTES, 0, GENERIC_READ, kShareAll, true},
  };
  const std::u16string folder = B().MakeFolder({{u"f.txt", false, "data"}});
  auto& p = P();
  const std::u16string file = folder + u"\\f.txt";
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    const KernelFileHandle first(p.kernel32.CreateFileW(file, c.firstAccess, c.firstShare, OPEN_EXISTING, 0));
    ASSERT_TRUE(first);
    const KernelFileHandle second(
        p.kernel32.CreateFileW(file, c.secondAccess, c.secondShare, OPEN_EXISTING, 0));
    EXPECT_EQ(static_cast<bool>(second), c.secondOpens);
    if (!second) {
      EXPECT_EQ(p.kernel32.GetLastError(), ERROR_SHARING_VIOLATION);
    }
  }
}

TEST_P(FileWriting, DeletingRemovesOnlyThatFile) {
  const std::u16string folder = B().MakeFolder(
      {{u"a.txt", false, "a"}, {u"b.txt", false, "b"}, {u"shared.txt", false, "s"}, {u"sub", true, ""}});
  auto& p = P();
  EXPECT_TRUE(p.kernel32.DeleteFileW(folder + u"\\a.txt"));
  EXPECT_TRUE(p.kernel32.DeleteFileA(Narrow(p, folder + u"\\b.txt")));
  auto left = Listing(p, folder);
  EXPECT_EQ(left.count(u"a.txt") + left.count(u"b.txt"), 0u);

  struct Refused {
    const char* what;
    std::u16string path;
    DWORD error;
  };
  const Refused kRefused[] = {
      {"deleted already", folder + u"\\a.txt", ERROR_FILE_NOT_FOUND},
      {"in a missing folder", folder + u"\\missing\\a.txt", ERROR_PATH_NOT_FOUND},
      {"a folder", folder + u"\\sub", ERROR_ACCESS_DENIED},
  };
  for (const Refused& r : kRefused) {
    SCOPED_TRACE(r.what);
    EXPECT_FALSE(p.kernel32.DeleteFileW(r.path));
    EXPECT_EQ(p.kernel32.GetLastError(), r.error);
  }

  const std::u16string shared = folder + u"\\shared.txt";
  {
    // Open without delete sharing: the file is in use and stays.
    const KernelFileHandle h(p.kernel32.CreateFileW(shared, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0));
    ASSERT_TRUE(h);
    EXPECT_FALSE(p.kernel32.DeleteFileW(shared));
    EXPECT_EQ(p.kernel32.GetLastError(), ERROR_SHARING_VIOLATION);
  }
  EXPECT_EQ(Content(p, shared), "s");
  {
    // Open with delete sharing: the deletion is taken and done by the last close at the latest.
    const KernelFileHandle h(p.kernel32.CreateFileW(shared, GENERIC_READ, kShareAll, OPEN_EXISTING, 0));
    ASSERT_TRUE(h);
    EXPECT_TRUE(p.kernel32.DeleteFileW(shared));
  }
  left = Listing(p, folder);
  EXPECT_EQ(left.count(u"shared.txt"), 0u);
  EXPECT_EQ(left.count(u"sub"), 1u);
}

TEST_P(FileWriting, DeleteOnCloseHandlesRemoveTheFileWhenTheyClose) {
  const std::u16string folder = B().MakeFolder({{u"win32.txt", false, "w"},
                                                {u"native.txt", false, "n"},
                                                {u"busy.txt", false, "b"},
                                                {u"keep.txt", false, "k"}});
  auto& p = P();
  {
    const KernelFileHandle h(p.kernel32.CreateFileW(folder + u"\\win32.txt", GENERIC_READ, FILE_SHARE_DELETE,
                                                    OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE));
    ASSERT_TRUE(h);
    EXPECT_EQ(Listing(p, folder).count(u"win32.txt"), 1u) << "gone before the handle closed";
  }
  // The native way: delete access, no sharing, delete on close.
  auto nativeDelete = [&](const std::u16string& name) {
    Handle h = kNullHandle;
    IoStatus io;
    const NTSTATUS s =
        p.ntdll.NtOpenFile(h, DELETE, {u"\\??\\" + folder + u"\\" + name}, io, 0, FILE_DELETE_ON_CLOSE);
    if (s == STATUS_SUCCESS) {
      EXPECT_EQ(p.ntdll.NtClose(h), STATUS_SUCCESS);
    }
    return s;
  };
  EXPECT_EQ(nativeDelete(u"native.txt"), STATUS_SUCCESS);
  {
    const KernelFileHandle busy(
        p.kernel32.CreateFileW(folder + u"\\busy.txt", GENERIC_READ, kShareAll, OPEN_EXISTING, 0));
    ASSERT_TRUE(busy);
    EXPECT_EQ(nativeDelete(u"busy.txt"), STATUS_SHARING_VIOLATION) << "deleted while another handle reads it";
  }
  const auto left = Listing(p, folder);
  EXPECT_EQ(left.count(u"win32.txt") + left.count(u"native.txt"), 0u);
  EXPECT_EQ(left.count(u"busy.txt") + left.count(u"keep.txt"), 2u);
}

TEST_P(FileWriting, RenamingReplacesATargetOnlyWhenAsked) {
  const std::u16string folder = B().MakeFolder(
      {{u"a.txt", false, "A"}, {u"b.txt", false, "B"}, {u"c.txt", false, "C"}, {u"d.txt", false, "D"}});
  auto& p = P();
  auto path = [&](const char16_t* name) { return Narrow(p, folder + u"\\" + name); };

  EXPECT_TRUE(p.kernel32.MoveFileExA(path(u"a.txt"), path(u"new.txt"), 0));
  EXPECT_FALSE(p.kernel32.MoveFileExA(path(u"b.txt"), path(u"c.txt"), 0));
  EXPECT_EQ(p.kernel32.GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_TRUE(p.kernel32.MoveFileExA(path(u"d.txt"), path(u"c.txt"), MOVEFILE_REPLACE_EXISTING));
  EXPECT_FALSE(p.kernel32.MoveFileExA(path(u"gone.txt"), path(u"e.txt"), 0));
  EXPECT_EQ(p.kernel32.GetLastError(), ERROR_FILE_NOT_FOUND);

  const std::map<std::u16string, std::uint64_t> want = {{u"b.txt", 1}, {u"c.txt", 1}, {u"new.txt", 1}};
  EXPECT_EQ(Listing(p, folder), want);
  EXPECT_EQ(Content(p, folder + u"\\new.txt"), "A");
  EXPECT_EQ(Content(p, folder + u"\\b.txt"), "B") << "a refused rename touched the source";
  EXPECT_EQ(Content(p, folder + u"\\c.txt"), "D");
}

// Days from 1601-01-01 to a date, for FILETIME values in the tests.
std::uint64_t FileTimeOf(int y, unsigned m, unsigned d, unsigned hh, unsigned mm, unsigned ss) {
  y -= m <= 2;
  const int era = y / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const std::int64_t daysSince1970 = std::int64_t{era} * 146097 + doe - 719468;
  const std::int64_t days = daysSince1970 + 134774;  // 1601-01-01 to 1970-01-01
  return static_cast<std::uint64_t>(days * 86400 + hh * 3600 + mm * 60 + ss) * 10000000ULL;
}

TEST_P(FileWriting, DosDatesHoldTwoSecondStepsFrom1980To2107) {
  struct Case {
    std::uint64_t time;
    std::optional<std::pair<std::uint16_t, std::uint16_t>> dos;
  };
  const Case kCases[] = {
      {FileTimeOf(1980, 1, 1, 0, 0, 0), std::pair<std::uint16_t, std::uint16_t>{0x21, 0}},
      {FileTimeOf(2004, 7, 15, 13, 45, 31),
       std::pair<std::uint16_t, std::uint16_t>{(24 << 9) | (7 << 5) | 15, (13 << 11) | (45 << 5) | 15}},
      {FileTimeOf(2107, 12, 31, 23, 59, 59),
       std::pair<std::uint16_t, std::uint16_t>{(127 << 9) | (12 << 5) | 31, (23 << 11) | (59 << 5) | 29}},
      {FileTimeOf(1979, 12, 31, 23, 59, 59), std::nullopt},
  };
  auto& p = P();
  std::uint16_t lateDate = 0, lateTime = 0;
  EXPECT_EQ(p.kernel32.FileTimeToDosDateTime(FileTimeOf(2108, 1, 1, 0, 0, 0), lateDate, lateTime),
            !Expected().dosDatesEndIn2107);
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.time);
    std::uint16_t date = 0xAAAA, time = 0xBBBB;
    const bool ok = p.kernel32.FileTimeToDosDateTime(c.time, date, time);
    ASSERT_EQ(ok, c.dos.has_value());
    if (ok) {
      EXPECT_EQ(date, c.dos->first);
      EXPECT_EQ(time, c.dos->second);
    }
  }
}

TEST_P(FileWriting, FileTimesOfAHandleAreThoseOfTheListing) {
  const std::u16string folder = B().MakeFolder({{u"t.txt", false, "t"}});
  auto& p = P();
  Kernel32::FindDataW listed;
  {
    const FindHandle find(p.kernel32.FindFirstFileW(folder + u"\\t.txt", listed));
    ASSERT_TRUE(find);
  }
  const KernelFileHandle h(
      p.kernel32.CreateFileW(folder + u"\\t.txt", GENERIC_READ, kShareAll, OPEN_EXISTING, 0));
  ASSERT_TRUE(h);
  std::uint64_t created = 0, accessed = 0, written = 0;
  ASSERT_TRUE(p.kernel32.GetFileTime(h.get(), &created, &accessed, &written));
  EXPECT_EQ(created, listed.creationTime);
  EXPECT_EQ(written, listed.lastWriteTime);
  EXPECT_NE(written, 0u);
  std::uint64_t onlyWritten = 0;
  ASSERT_TRUE(p.kernel32.GetFileTime(h.get(), nullptr, nullptr, &onlyWritten));
  EXPECT_EQ(onlyWritten, written);
}

TEST_P(FileWriting, TemporaryNamesAreNewEmptyFilesUnlessANumberIsGiven) {
  const std::u16string folder = B().MakeFolder({});
  auto& p = P();
  const std::string dir = Narrow(p, folder) + "\\";
  std::string first, second, named;
  const std::uint32_t a = p.kernel32.GetTempFileNameA(dir, "umbra", 0, first);
  const std::uint32_t b = p.kernel32.GetTempFileNameA(dir, "umbra", 0, second);
  ASSERT_NE(a, 0u);
  ASSERT_NE(b, 0u);
  EXPECT_NE(first, second);
  for (const std::string& name : {first, second}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(name.rfind(dir + "umb", 0), 0u) << "the prefix is cut to three characters";
    // Windows writes ".TMP" and capital hex digits, Wine small letters: the file system ignores case.
    EXPECT_EQ(Upper(name.substr(name.size() - 4)), ".TMP");
  }
  EXPECT_EQ(Listing(p, folder).size(), 2u);
  EXPECT_EQ(Listing(p, folder).begin()->second, 0u);

  EXPECT_EQ(p.kernel32.GetTempFileNameA(dir, "umb", 0x1A2B, named), 0x1A2Bu);
  EXPECT_EQ(Upper(named), Upper(dir + "umb1A2B.TMP"));
  EXPECT_EQ(Listing(p, folder).size(), 2u) << "a given number makes no file";

  std::string none;
  EXPECT_EQ(p.kernel32.GetTempFileNameA(dir + "missing\\", "umb", 0, none), 0u);
}

TEST_P(FileWriting, EventsStaySetOrResetThemselvesAsMade) {
  auto& p = P();
  const KernelHandle manual(p.kernel32.CreateEventA(true, false));
  const KernelHandle automatic(p.kernel32.CreateEventA(false, true));
  ASSERT_TRUE(manual);
  ASSERT_TRUE(automatic);
  auto& k = p.kernel32;
  EXPECT_EQ(k.WaitForSingleObject(manual.get(), 0), WAIT_TIMEOUT);
  ASSERT_TRUE(k.SetEvent(manual.get()));
  EXPECT_EQ(k.WaitForSingleObject(manual.get(), 0), WAIT_OBJECT_0);
  EXPECT_EQ(k.WaitForSingleObject(manual.get(), 0), WAIT_OBJECT_0) << "a manual-reset event stays set";
  ASSERT_TRUE(k.ResetEvent(manual.get()));
  EXPECT_EQ(k.WaitForSingleObject(manual.get(), 10), WAIT_TIMEOUT);

  EXPECT_EQ(k.WaitForSingleObject(automatic.get(), 0), WAIT_OBJECT_0) << "made set";
  EXPECT_EQ(k.WaitForSingleObject(automatic.get(), 0), WAIT_TIMEOUT)
      << "an auto-reset event resets on a wait";
}

TEST_P(FileWriting, NativeReadsAtAnOffsetAndAtTheEnd) {
  const std::u16string folder = B().MakeFolder({{u"n.bin", false, "0123456789"}});
  auto& p = P();
  const std::u16string native = u"\\??\\" + folder + u"\\n.bin";
  struct Opening {
    const char* what;
    DWORD access;
    DWORD options;
  };
  // Synchronous I/O, and the way a backup program opens a file to copy it (no synchronous
  // option: the read may pend and signal its event).
  const Opening kOpenings[] = {
      {"synchronous", FILE_READ_DATA | SYNCHRONIZE, FILE_SYNCHRONOUS_IO_NONALERT | FILE_NON_DIRECTORY_FILE},
      {"for backup", FILE_READ_DATA, FILE_OPEN_FOR_BACKUP_INTENT},
  };
  const KernelHandle event(p.kernel32.CreateEventA(true, false));
  ASSERT_TRUE(event);
  for (const Opening& o : kOpenings) {
    SCOPED_TRACE(o.what);
    NtHandle file;
    IoStatus open;
    ASSERT_EQ(p.ntdll.NtOpenFile(file.put(), o.access, {native}, open, kShareAll, o.options), STATUS_SUCCESS);
    std::vector<std::byte> buffer(3);
    IoStatus io;
    std::int64_t offset = 4;
    NTSTATUS s = p.ntdll.NtReadFile(file.get(), event.get(), io, buffer, &offset);
    if (s == STATUS_PENDING) {
      EXPECT_EQ(p.kernel32.WaitForSingleObject(event.get(), 5000), WAIT_OBJECT_0);
      s = io.status;
    }
    ASSERT_EQ(s, STATUS_SUCCESS);
    EXPECT_EQ(io.information, 3u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer.data()), 3), "456");
    EXPECT_EQ(p.kernel32.WaitForSingleObject(event.get(), 0), WAIT_OBJECT_0)
        << "the event tells the read is done";
    p.kernel32.ResetEvent(event.get());

    // A read that pends ends with its status in the block, its event set.
    auto read = [&](std::int64_t at, std::vector<std::byte>& into, IoStatus& block) {
      NTSTATUS r = p.ntdll.NtReadFile(file.get(), event.get(), block, into, &at);
      if (r == STATUS_PENDING) {
        EXPECT_EQ(p.kernel32.WaitForSingleObject(event.get(), 5000), WAIT_OBJECT_0);
        r = block.status;
      }
      p.kernel32.ResetEvent(event.get());
      return r;
    };
    std::vector<std::byte> rest(16);
    ASSERT_EQ(read(8, rest, io), STATUS_SUCCESS);
    EXPECT_EQ(io.information, 2u) << "a read across the end gives what is left";
    for (const std::int64_t end : {10, 20}) {
      IoStatus atEnd;
      EXPECT_EQ(read(end, rest, atEnd), STATUS_END_OF_FILE) << end;
    }
  }
  NtHandle attributesOnly;
  IoStatus open;
  ASSERT_EQ(p.ntdll.NtOpenFile(attributesOnly.put(), FILE_READ_ATTRIBUTES | SYNCHRONIZE, {native}, open,
                               kShareAll, FILE_SYNCHRONOUS_IO_NONALERT),
            STATUS_SUCCESS);
  std::vector<std::byte> buffer(4);
  IoStatus io;
  std::int64_t offset = 0;
  EXPECT_EQ(p.ntdll.NtReadFile(attributesOnly.get(), kNullHandle, io, buffer, &offset), STATUS_ACCESS_DENIED);
}

TEST_P(FileWriting, ReservedNamesOpenTheDeviceUnlessGivenInNativeForm) {
  const std::u16string folder =
      B().MakeFolder({{u"nul", false, "file data"}, {u"con", false, "console?"}, {u"next.txt", false, "n"}});
  auto& p = P();
  {
    // The Win32 path reaches the null device: it reads nothing.
    const KernelFileHandle device(
        p.kernel32.CreateFileW(folder + u"\\nul", GENERIC_READ, kShareAll, OPEN_EXISTING, 0));
    ASSERT_TRUE(device);
    EXPECT_EQ(ReadRest(p, device.get()), "");
  }
  EXPECT_EQ(Content(p, folder + u"\\nul"), "file data");

  // Deleting by the Win32 path does not remove the file of that name.
  for (const char16_t* name : {u"nul", u"con"}) {
    SCOPED_TRACE(testing::Message() << "deleting " << static_cast<char>(name[0]));
    EXPECT_FALSE(p.kernel32.DeleteFileW(folder + u"\\" + name));
    EXPECT_EQ(Listing(p, folder).count(name), 1u);
  }
  // The native form reaches the file itself.
  EXPECT_TRUE(p.kernel32.DeleteFileW(u"\\\\?\\" + folder + u"\\con"));
  const std::map<std::u16string, std::uint64_t> want = {{u"next.txt", 1}, {u"nul", 9}};
  EXPECT_EQ(Listing(p, folder), want);
}

}  // namespace
}  // namespace conformance
