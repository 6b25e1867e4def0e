// Damaged and hostile compound files, made at test time. Each is opened,
// walked and read whole in a child process with a time limit, so a crash or
// a hang shows as such instead of taking the suite down.
#include <fcntl.h>
#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-stdio.h>
#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-stdio.h>
#include <gsf/gsf-utils.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "platform/core/exceptions.h"
#include "platform/core/storage.h"
#include "tests/common/temp_dir.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint32_t kNo = 0xFFFFFFFF;
constexpr uint32_t kEnd = 0xFFFFFFFE;

void Put16(Bytes& b, size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// One directory entry as written, links and all.
struct RawEntry {
  std::string name;  // ASCII
  uint8_t type = 2;
  uint32_t left = kNo, right = kNo, child = kNo;
  uint32_t start = kEnd;
  uint32_t size = 0;
  int name_bytes = -1;  // the stored name length; -1 for the right one
};

// A compound file of 512-byte sectors: `data` in the first sectors (for large
// streams to point at), then the directory, then the allocation table.
Bytes BuildRaw(const std::vector<RawEntry>& entries, const Bytes& data = {}) {
  const uint32_t dataSectors = static_cast<uint32_t>((data.size() + 511) / 512);
  const uint32_t dirSectors = static_cast<uint32_t>((entries.size() + 3) / 4);
  uint32_t fatSectors = 1;
  while (fatSectors * 128 < dataSectors + dirSectors + fatSectors) ++fatSectors;
  EXPECT_LE(fatSectors, 109u);
  const uint32_t total = dataSectors + dirSectors + fatSectors;
  Bytes file(512 + size_t{total} * 512, 0);
  const uint8_t signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  std::memcpy(file.data(), signature, 8);
  Put16(file, 24, 0x3E);
  Put16(file, 26, 3);
  Put16(file, 28, 0xFFFE);
  Put16(file, 30, 9);
  Put16(file, 32, 6);
  Put32(file, 44, fatSectors);
  Put32(file, 48, dataSectors);
  Put32(file, 56, 4096);
  Put32(file, 60, kEnd);
  Put32(file, 68, kEnd);
  for (uint32_t i = 0; i < 109; ++i)
    Put32(file, 76 + 4 * i, i < fatSectors ? dataSectors + dirSectors + i : kNo);
  std::copy(data.begin(), data.end(), file.begin() + 512);
  for (size_t i = 0; i < dirSectors * 4u; ++i) {
    size_t at = 512 + (size_t{dataSectors} * 512) + i * 128;
    Put32(file, at + 68, kNo);
    Put32(file, at + 72, kNo);
    Put32(file, at + 76, kNo);
    if (i >= entries.size()) continue;
    const RawEntry& e = entries[i];
    for (size_t k = 0; k < e.name.size() && k < 32; ++k) Put16(file, at + 2 * k, e.name[k]);
    Put16(file, at + 64,
          static_cast<uint16_t>(e.name_bytes >= 0 ? e.name_bytes : 2 * (e.name.size() + 1)));
    file[at + 66] = e.type;
    file[at + 67] = 1;
    Put32(file, at + 68, e.left);
    Put32(file, at + 72, e.right);
    Put32(file, at + 76, e.child);
    Put32(file, at + 116, e.start);
    Put32(file, at + 120, e.size);
  }
  // Chains: the data as one run, the directory as one run.
  auto fat = [&](uint32_t sector, uint32_t value) {
    Put32(file, 512 + size_t{dataSectors + dirSectors} * 512 + size_t{sector} * 4, value);
  };
  for (uint32_t s = 0; s < fatSectors * 128; ++s) fat(s, kNo);
  for (uint32_t s = 0; s < dataSectors; ++s) fat(s, s + 1 < dataSectors ? s + 1 : kEnd);
  for (uint32_t s = 0; s < dirSectors; ++s)
    fat(dataSectors + s, s + 1 < dirSectors ? dataSectors + s + 1 : kEnd);
  for (uint32_t s = 0; s < fatSectors; ++s) fat(dataSectors + dirSectors + s, 0xFFFFFFFD);
  return file;
}

RawEntry Root(uint32_t child) {
  RawEntry root;
  root.name = "Root Entry";
  root.type = 5;
  root.child = child;
  return root;
}

RawEntry Stream(const std::string& name, uint32_t start = kEnd, uint32_t size = 0) {
  RawEntry e;
  e.name = name;
  e.start = start;
  e.size = size;
  return e;
}

// n streams linked as one chain of right siblings.
std::vector<RawEntry> SiblingChain(uint32_t n) {
  std::vector<RawEntry> entries{Root(1)};
  for (uint32_t i = 1; i <= n; ++i) {
    entries.push_back(Stream("S" + std::to_string(i)));
    if (i < n) entries.back().right = i + 1;
  }
  return entries;
}

// `levels` storages nested inside each other, a stream in the innermost.
std::vector<RawEntry> Nested(uint32_t levels) {
  std::vector<RawEntry> entries{Root(1)};
  for (uint32_t i = 1; i <= levels; ++i) {
    RawEntry e;
    e.name = "L" + std::to_string(i);
    e.type = 1;
    e.child = i + 1;
    entries.push_back(e);
  }
  entries.push_back(Stream("Innermost"));
  return entries;
}

enum Outcome { kOpened = 20, kDamaged, kOtherFileError, kArchiveError, kOtherError };

struct Result {
  int outcome = -1;     // an Outcome, or -signal when the child died
  std::string message;  // the refusal's detail, or what was opened
};

uint64_t ReadAllStreams(const CStorage& storage, uint64_t& streams) {
  uint64_t bytes = 0;
  std::vector<uint8_t> buffer(4096);
  for (const auto& e : storage.EnumElements()) {
    if (e.isStorage) {
      bytes += ReadAllStreams(storage.OpenStorage(e.name), streams);
    } else {
      ++streams;
      auto stream = storage.OpenStream(e.name);
      while (size_t n = stream->Read(buffer.data(), buffer.size())) bytes += n;
    }
  }
  return bytes;
}

// Opens path, walks it and reads every stream, in a child process that is
// killed after `seconds`.
Result OpenInChild(const std::string& path, unsigned seconds = 60) {
  int fds[2];
  EXPECT_EQ(::pipe(fds), 0);
  pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    ::alarm(seconds);
    int outcome;
    std::string message;
    try {
      auto file = CCompoundFile::Open(path);
      uint64_t streams = 0;
      uint64_t bytes = ReadAllStreams(file->GetRootStorage(), streams);
      message = std::to_string(streams) + " streams, " + std::to_string(bytes) + " bytes";
      outcome = kOpened;
    } catch (const CFileException& e) {
      outcome = e.m_cause == CFileException::invalidFile ? kDamaged : kOtherFileError;
      message = e.m_strDetail;
    } catch (const CArchiveException&) {
      outcome = kArchiveError;
    } catch (const std::exception& e) {
      outcome = kOtherError;
      message = e.what();
    }
    (void)!::write(fds[1], message.data(), message.size());
    ::_exit(outcome);
  }
  ::close(fds[1]);
  Result r;
  char buf[512];
  ssize_t n;
  while ((n = ::read(fds[0], buf, sizeof buf)) > 0) r.message.append(buf, static_cast<size_t>(n));
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  r.outcome = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
  return r;
}

class StorageHostileTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return dir_.Path(name); }
  std::string Put(const std::string& name, const Bytes& bytes) const {
    std::ofstream(Path(name), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return Path(name);
  }
  TempDir dir_{"hostile"};
};

TEST_F(StorageHostileTest, DamagedDirectoriesAreRefusedWithTheirReason) {
  Bytes big(8192, 0x5A);  // a large stream's bytes, sectors 0 to 15
  using Entries = std::vector<RawEntry>;
  struct Case {
    const char* name;
    std::function<void(Entries&)> damage;  // applied to a chain of three streams
    const char* reason;                    // part of the detail
  };
  const std::vector<Case> cases = {
      {"sibling cycle", [](Entries& e) { e[2].right = 1; }, "reached twice"},
      {"link out of range", [](Entries& e) { e[3].left = 999; }, "outside the directory"},
      {"root is its own child", [](Entries& e) { e[0].child = 0; }, "reached twice"},
      {"root with a sibling", [](Entries& e) { e[0].right = 2; }, "root has siblings"},
      {"unknown type first of siblings", [](Entries& e) { e[1].type = 3; }, "unknown type"},
      {"unused entry linked", [](Entries& e) { e[2].type = 0; }, "unknown type"},
      {"impossible stream size", [](Entries& e) { e[1].size = 0xFFFFFF00; }, "size or chain"},
      {"stream longer than its chain", [](Entries& e) { e[1].size = 8192 + 512; }, "size or chain"},
      // Small streams live in mini sectors, but there is no mini stream.
      {"small stream without a mini stream", [](Entries& e) { e[1].size = 100; }, "size or chain"},
      {"odd name length", [](Entries& e) { e[3].name_bytes = 65; }, "unknown type or name"},
      {"streams claiming more than the file holds",
       [](Entries& e) {
         for (int i = 0; i < 40; ++i) {  // all on the same sectors
           e.back().right = static_cast<uint32_t>(e.size());
           e.push_back(Stream("Big " + std::to_string(i), 0, 8192));
         }
       },
       "size or chain"},
      {"storages nested 65 deep", [](Entries& e) { e = Nested(65); }, "nested too deep"},
      {"root not first",
       [](Entries& e) {
         e = {Stream("A"), Root(0)};
       },
       "not the root"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Entries entries = SiblingChain(3);
    entries[1].start = 0;  // the first stream on the data sectors
    c.damage(entries);
    Result r = OpenInChild(Put("case.vmd", BuildRaw(entries, big)));
    EXPECT_EQ(r.outcome, kDamaged) << r.message;
    EXPECT_NE(r.message.find(c.reason), std::string::npos) << r.message;
  }

  // Their sound neighbours open.
  Result r = OpenInChild(Put("ok.vmd", BuildRaw(Nested(64))));
  EXPECT_EQ(r.outcome, kOpened) << r.message;
  std::vector<RawEntry> withBig = SiblingChain(2);
  withBig.push_back(Stream("Big", 0, 8192));
  withBig[2].right = 3;
  r = OpenInChild(Put("ok.vmd", BuildRaw(withBig, big)));
  EXPECT_EQ(r.outcome, kOpened) << r.message;
  EXPECT_EQ(r.message, "3 streams, 8192 bytes");
}

// Long sibling chains are a valid (if unbalanced) directory: they open, with
// every stream, at any length up to the entry limit.
TEST_F(StorageHostileTest, LongSiblingChainsOpenWhole) {
  for (uint32_t n : {30000u, 35000u, 50000u}) {
    SCOPED_TRACE(n);
    Result r = OpenInChild(Put("chain.vmd", BuildRaw(SiblingChain(n))));
    EXPECT_EQ(r.outcome, kOpened) << r.message;
    EXPECT_EQ(r.message, std::to_string(n) + " streams, 0 bytes");
  }
}

TEST_F(StorageHostileTest, EveryPrefixOfAValidFileIsRefused) {
  std::string path = Path("valid.vmd");
  {
    auto file = CCompoundFile::CreateTemporary();
    CStorage root = file->GetRootStorage();
    std::vector<uint8_t> bytes(6000, 7);
    for (int i = 0; i < 6; ++i) {
      auto s = (i % 2 ? root.CreateStorage("Sub " + std::to_string(i)) : root)
                   .CreateStream("Page " + std::to_string(i));
      s->Write(bytes.data(), i % 3 == 0 ? 6000 : 300);
      s->Close();
    }
    file->SaveAs(path);
  }
  std::ifstream in(path, std::ios::binary);
  Bytes whole((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(whole.size() % 512, 0u);
  for (size_t n = 0; n < whole.size(); n += 512) {
    SCOPED_TRACE(n);
    Result r = OpenInChild(Put("prefix.vmd", Bytes(whole.begin(), whole.begin() + n)));
    EXPECT_EQ(r.outcome, kDamaged) << r.message;
  }
  EXPECT_EQ(OpenInChild(Put("prefix.vmd", whole)).outcome, kOpened);
}

// Only regular files are opened; a pipe must not block the open.
TEST_F(StorageHostileTest, PipesDevicesAndDirectoriesAreRefusedBeforeOpening) {
  ASSERT_EQ(::mkfifo(Path("pipe.vmd").c_str(), 0600), 0);
  Result r = OpenInChild(Path("pipe.vmd"), 10);
  EXPECT_EQ(r.outcome, kDamaged);
  EXPECT_EQ(r.message, "a named pipe");
  r = OpenInChild("/dev/null", 10);
  EXPECT_EQ(r.outcome, kDamaged);
  EXPECT_EQ(r.message, "a device");
  try {
    CCompoundFile::Open(dir_.Dir());
    FAIL();
  } catch (const CFileException& e) {
    EXPECT_EQ(e.m_lOsError, EISDIR);
    EXPECT_EQ(e.m_cause, CFileException::accessDenied);
  }
}

// Files written by another writer (libgsf: siblings as one chain, large and
// small streams, nested storages) read back byte for byte.
TEST_F(StorageHostileTest, FilesOfAnotherWriterReadBack) {
  gsf_init();
  std::string path = Path("other.vmd");
  auto content = [](int i) {
    Bytes b(static_cast<size_t>(i * 53 % 9000));
    for (size_t k = 0; k < b.size(); ++k) b[k] = static_cast<uint8_t>(k * 13 + i);
    return b;
  };
  {
    GsfOutput* sink = gsf_output_stdio_new(path.c_str(), nullptr);
    ASSERT_NE(sink, nullptr);
    GsfOutfile* root = gsf_outfile_msole_new(sink);
    GsfOutfile* sub = GSF_OUTFILE(gsf_outfile_new_child(root, "Symbols", TRUE));
    for (int i = 0; i < 3000; ++i) {
      GsfOutfile* dir = i % 7 == 0 ? sub : root;
      GsfOutput* s = gsf_outfile_new_child(dir, ("Page " + std::to_string(i)).c_str(), FALSE);
      Bytes b = content(i);
      gsf_output_write(s, b.size(), b.data());
      gsf_output_close(s);
      g_object_unref(s);
    }
    gsf_output_close(GSF_OUTPUT(sub));
    g_object_unref(sub);
    gsf_output_close(GSF_OUTPUT(root));
    g_object_unref(root);
    g_object_unref(sink);  // closed with the compound file
  }
  auto file = CCompoundFile::Open(path);
  CStorage root = file->GetRootStorage();
  CStorage sub = root.OpenStorage("Symbols");
  EXPECT_EQ(root.EnumElements().size(), 3000u - 429u + 1u);
  EXPECT_EQ(sub.EnumElements().size(), 429u);
  for (int i = 0; i < 3000; ++i) {
    auto stream = (i % 7 == 0 ? sub : root).OpenStream("Page " + std::to_string(i));
    Bytes b(static_cast<size_t>(stream->GetLength()));
    ASSERT_EQ(stream->Read(b.data(), b.size()), b.size());
    ASSERT_EQ(b, content(i)) << i;
  }
}

}  // namespace
