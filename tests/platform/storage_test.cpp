#include "platform/core/storage.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "platform/core/archive.h"
#include "platform/core/exceptions.h"
#include "test_classes.h"
#include "tests/common/temp_dir.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Tree = std::map<std::string, Bytes>;  // "storage/stream" -> contents

Bytes Pattern(size_t n, int seed) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i)
    b[i] = static_cast<uint8_t>((i * 31 + static_cast<size_t>(seed) * 7) >> 1);
  return b;
}

void WriteStream(CStorage storage, const std::string& name, const Bytes& bytes) {
  auto stream = storage.CreateStream(name);
  stream->Write(bytes.data(), bytes.size());
  stream->Close();
}

Bytes ReadStream(const CStorage& storage, const std::string& name) {
  auto stream = storage.OpenStream(name);
  Bytes b(static_cast<size_t>(stream->GetLength()));
  EXPECT_EQ(stream->Read(b.data(), b.size()), b.size());
  return b;
}

// Every stream of a storage, recursively, by path.
void Collect(const CStorage& storage, const std::string& prefix, Tree& out) {
  for (const auto& e : storage.EnumElements()) {
    if (e.isStorage) {
      Collect(storage.OpenStorage(e.name), prefix + e.name + "/", out);
    } else {
      out[prefix + e.name] = ReadStream(storage, e.name);
      EXPECT_EQ(out[prefix + e.name].size(), e.size);
    }
  }
}

Bytes FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Size and 32-bit FNV-1a hash of the bytes, short enough to print on a mismatch.
std::string Digest(const Bytes& b) {
  uint32_t h = 2166136261u;
  for (uint8_t c : b) h = (h ^ c) * 16777619u;
  return std::to_string(b.size()) + ":" + std::to_string(h);
}

// The streams as python3-olefile lists them: "path<TAB>digest" lines, sorted.
// Large files are walked through the storage tree instead of looking every
// path up (olefile's lookups are linear, so a 40,000-stream listing would take
// minutes).
std::string OutsideListing(const std::string& path, bool walkTree = false) {
  std::string script =
      "import olefile,sys\n"
      "def digest(b):\n"
      "  h=2166136261\n"
      "  for c in b: h=((h^c)*16777619)&0xFFFFFFFF\n"
      "  return '%d:%d'%(len(b),h)\n"
      "ole=olefile.OleFileIO(sys.argv[1])\n"
      "out=[]\n"
      "def walk(e,prefix):\n"
      "  for k in e.kids:\n"
      "    if k.entry_type==olefile.STGTY_STORAGE: walk(k,prefix+k.name+'/')\n"
      "    else: out.append(prefix+k.name+'\\t'+digest(ole._open(k.isectStart,k.size).read()))\n"
      "if sys.argv[2]=='walk': walk(ole.root,'')\n"
      "else:\n"
      "  for p in ('/'.join(e) for e in ole.listdir(streams=True,storages=False)):\n"
      "    out.append(p+'\\t'+digest(ole.openstream(p).read()))\n"
      "for line in sorted(out): print(line)\n";
  std::string scriptPath =
      ::testing::TempDir() + "olefile_listing_" + std::to_string(::getpid()) + ".py";
  std::ofstream(scriptPath) << script;
  std::string command = std::string(VM_PYTHON3) + " " + scriptPath + " '" + path + "' " +
                        (walkTree ? "walk" : "lookup");
  FILE* pipe = ::popen(command.c_str(), "r");
  std::string out;
  char buf[4096];
  size_t n;
  while (pipe != nullptr && (n = std::fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
  EXPECT_EQ(pipe != nullptr ? ::pclose(pipe) : -1, 0) << out;
  std::remove(scriptPath.c_str());
  return out;
}

std::string Listing(const Tree& tree) {
  std::string s;
  for (const auto& [path, bytes] : tree) s += path + "\t" + Digest(bytes) + "\n";
  return s;
}

class StorageTest : public ::testing::Test {
 protected:
  void TearDown() override { CTracked::DeleteAll(); }
  std::string Path(const std::string& name) const { return dir_.Path(name); }
  std::vector<std::string> DirEntries() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir_.Dir()))
      names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  // A document-like file: a small and a large stream, an empty one, and a
  // sub-storage with two streams.
  Tree MakeDocument(const std::string& path) {
    Tree expected{{"Contents", Pattern(300, 1)},
                  {"Page 1", Pattern(10000, 2)},
                  {"Symbol 1", {}},
                  {"Embedding 1/\x01Ole", Pattern(20, 3)},
                  {"Embedding 1/CONTENTS", Pattern(5000, 4)}};
    auto file = CCompoundFile::CreateTemporary();
    CStorage root = file->GetRootStorage();
    WriteStream(root, "Contents", expected["Contents"]);
    WriteStream(root, "Page 1", expected["Page 1"]);
    WriteStream(root, "Symbol 1", expected["Symbol 1"]);
    CStorage embedding = root.CreateStorage("Embedding 1");
    WriteStream(embedding, "\x01Ole", expected["Embedding 1/\x01Ole"]);
    WriteStream(embedding, "CONTENTS", expected["Embedding 1/CONTENTS"]);
    EXPECT_TRUE(file->IsTemporary());
    file->SaveAs(path);
    EXPECT_EQ(file->GetPath(), path);
    return expected;
  }

  TempDir dir_{"storage"};
};

TEST_F(StorageTest, WrittenFileReadsBackHereAndInAnOutsideReader) {
  std::string path = Path("doc.vmd");
  Tree expected = MakeDocument(path);
  auto file = CCompoundFile::Open(path);
  Tree found;
  Collect(file->GetRootStorage(), "", found);
  EXPECT_EQ(found, expected);
  EXPECT_EQ(OutsideListing(path), Listing(expected));
}

TEST_F(StorageTest, ReplacingOneStreamLeavesTheOthersUntouched) {
  std::string path = Path("doc.vmd");
  Tree expected = MakeDocument(path);
  auto file = CCompoundFile::Open(path);
  CStorage root = file->GetRootStorage();
  auto oldReader = root.OpenStream("Page 1");
  expected["Page 1"] = Pattern(7000, 9);
  WriteStream(root, "Page 1", expected["Page 1"]);
  // A stream opened before keeps reading what it had.
  Bytes old(10000);
  EXPECT_EQ(oldReader->Read(old.data(), old.size()), 10000u);
  EXPECT_EQ(old, Pattern(10000, 2));

  file->Save();
  Tree found;
  Collect(file->GetRootStorage(), "", found);  // now read from the new file
  EXPECT_EQ(found, expected);
  EXPECT_EQ(ReadStream(root, "PAGE 1"), expected["Page 1"]);  // names match without case
  auto reopened = CCompoundFile::Open(path);
  found.clear();
  Collect(reopened->GetRootStorage(), "", found);
  EXPECT_EQ(found, expected);
  EXPECT_EQ(OutsideListing(path), Listing(expected));
  EXPECT_EQ(DirEntries(), std::vector<std::string>{"doc.vmd"});  // no temporary file left
}

TEST_F(StorageTest, FailedSaveLeavesTheOriginalFileIntact) {
  std::string path = Path("doc.vmd");
  Tree expected = MakeDocument(path);
  const Bytes original = FileBytes(path);
  auto file = CCompoundFile::Open(path);
  CStorage root = file->GetRootStorage();
  Tree changed = expected;
  changed["Page 1"] = Pattern(12000, 5);
  WriteStream(root, "Page 1", changed["Page 1"]);
  root.DestroyElement("Symbol 1");
  changed.erase("Symbol 1");

  // The disk fills after 0, 512, 4096 and 20000 bytes: each save fails with a
  // full disk, and the user's file stays byte for byte as it was.
  for (uint64_t limit : {0u, 512u, 4096u, 20000u}) {
    SCOPED_TRACE(limit);
    file->SetWriteHook([limit](uint64_t offset, size_t count) { return offset + count <= limit; });
    try {
      file->Save();
      FAIL() << "save succeeded";
    } catch (const CFileException& e) {
      EXPECT_EQ(e.m_cause, CFileException::diskFull);
    }
    EXPECT_EQ(FileBytes(path), original);
    EXPECT_EQ(DirEntries(), std::vector<std::string>{"doc.vmd"});
  }
  // The changes are still held; with room on the disk they are saved.
  file->SetWriteHook(nullptr);
  file->Save();
  EXPECT_EQ(OutsideListing(path), Listing(changed));
}

TEST_F(StorageTest, CopiesBetweenFilesCarryStreamsAndStoragesWhole) {
  std::string path = Path("doc.vmd");
  Tree expected = MakeDocument(path);
  auto source = CCompoundFile::Open(path);
  CStorage from = source->GetRootStorage();

  // Save As: the contents are written anew, unloaded pages copied unchanged.
  auto target = CCompoundFile::CreateTemporary();
  CStorage to = target->GetRootStorage();
  WriteStream(to, "Contents", Pattern(40, 6));
  from.CopyElementTo("Page 1", to);
  from.CopyElementTo("Embedding 1", to);
  from.CopyElementTo("Page 1", to, "Page 2");
  // Changing the source afterwards does not reach the copies.
  WriteStream(from, "Page 1", Pattern(3, 3));
  from.OpenStorage("Embedding 1").DestroyElement("CONTENTS");

  Tree want{{"Contents", Pattern(40, 6)},
            {"Page 1", expected["Page 1"]},
            {"Page 2", expected["Page 1"]},
            {"Embedding 1/\x01Ole", expected["Embedding 1/\x01Ole"]},
            {"Embedding 1/CONTENTS", expected["Embedding 1/CONTENTS"]}};
  std::string copyPath = Path("copy.vmd");
  target->SaveAs(copyPath);
  EXPECT_EQ(OutsideListing(copyPath), Listing(want));
  EXPECT_EQ(FileBytes(path), FileBytes(path));  // the source file was never written

  // A storage copied into itself copies a snapshot.
  CStorage embedding = to.OpenStorage("Embedding 1");
  to.CopyElementTo("Embedding 1", embedding, "Nested");
  EXPECT_TRUE(embedding.OpenStorage("Nested").HasElement("CONTENTS"));
  EXPECT_FALSE(embedding.OpenStorage("Nested").HasElement("Nested"));
}

TEST_F(StorageTest, AbortedStreamsAndDestroyedElements) {
  std::string path = Path("doc.vmd");
  Tree expected = MakeDocument(path);
  auto file = CCompoundFile::Open(path);
  CStorage root = file->GetRootStorage();
  {
    auto stream = root.CreateStream("Contents");
    stream->Write("new", 3);
    stream->Abort();
  }
  {
    auto stream = root.CreateStream("Page 1");
    stream->Write("new", 3);
    // destroyed without Close: nothing replaced
  }
  EXPECT_EQ(ReadStream(root, "Contents"), expected["Contents"]);
  EXPECT_EQ(ReadStream(root, "Page 1"), expected["Page 1"]);

  CStorage embedding = root.OpenStorage("Embedding 1");
  root.DestroyElement("Embedding 1");
  EXPECT_FALSE(root.HasElement("Embedding 1"));
  try {
    embedding.EnumElements();
    FAIL();
  } catch (const COleException& e) {
    EXPECT_EQ(e.m_sc, kStgReverted);
  }
  file->Save();
  Tree found;
  Collect(CCompoundFile::Open(path)->GetRootStorage(), "", found);
  expected.erase("Embedding 1/\x01Ole");
  expected.erase("Embedding 1/CONTENTS");
  EXPECT_EQ(found, expected);
}

TEST_F(StorageTest, FailuresMapToTheirExceptions) {
  std::string path = Path("doc.vmd");
  MakeDocument(path);
  auto file = CCompoundFile::Open(path);
  CStorage root = file->GetRootStorage();

  auto oleCode = [](const std::function<void()>& f) -> SCODE {
    try {
      f();
    } catch (const COleException& e) {
      return e.m_sc;
    }
    return 0;
  };
  EXPECT_EQ(oleCode([&] { root.CreateStream(std::string(32, 'n')); }), kStgInvalidName);
  EXPECT_EQ(oleCode([&] { root.CreateStream("a/b"); }), kStgInvalidName);
  EXPECT_EQ(oleCode([&] { root.CreateStorage(""); }), kStgInvalidName);
  EXPECT_EQ(oleCode([&] { root.DestroyElement("Page 9"); }), kStgFileNotFound);
  EXPECT_EQ(oleCode([&] { root.OpenStorage("Page 1"); }), kStgFileNotFound);
  EXPECT_EQ(oleCode([&] { root.CopyElementTo("Page 9", root, "x"); }), kStgFileNotFound);
  EXPECT_NO_THROW(root.CreateStream(std::string(31, 'n')));

  auto fileCause = [](const std::function<void()>& f) {
    try {
      f();
    } catch (const CFileException& e) {
      return e.m_cause;
    }
    return CFileException::none;
  };
  EXPECT_EQ(fileCause([&] { root.OpenStream("Page 9"); }), CFileException::fileNotFound);
  EXPECT_EQ(fileCause([&] { root.OpenStream("Embedding 1"); }), CFileException::fileNotFound);
  EXPECT_EQ(fileCause([&] { root.OpenStream("Page 1")->Write("x", 1); }),
            CFileException::accessDenied);
  EXPECT_EQ(fileCause([&] { CCompoundFile::Open(Path("missing.vmd")); }),
            CFileException::fileNotFound);
  std::ofstream(Path("text.vmd")) << "not a compound file, just some text\n";
  EXPECT_EQ(fileCause([&] { CCompoundFile::Open(Path("text.vmd")); }), CFileException::invalidFile);
  EXPECT_EQ(fileCause([&] { file->SaveAs(Path("no/such/dir.vmd")); }),
            CFileException::fileNotFound);
  EXPECT_THROW(CCompoundFile::CreateTemporary()->Save(), CNotSupportedException);
}

// Pages are stored through archives into their own streams and read back.
TEST_F(StorageTest, ArchivesOverStreams) {
  auto file = CCompoundFile::CreateTemporary();
  CStorage root = file->GetRootStorage();
  auto* item = new CTestDerived;
  item->value = 42;
  item->label = std::string(5000, 'p');
  {
    auto stream = root.CreateStream("Page 1");
    CArchive ar(stream.get(), CArchive::store);
    ar << item << item;
    ar.Close();
    stream->Close();
  }
  std::string path = Path("doc.vmd");
  file->SaveAs(path);
  auto reopened = CCompoundFile::Open(path);
  auto stream = reopened->GetRootStorage().OpenStream("Page 1");
  CArchive ar(stream.get(), CArchive::load);
  CTestItem *a, *b;
  ar >> a >> b;
  auto* d = DynamicDowncast<CTestDerived>(a);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->value, 42u);
  EXPECT_EQ(d->label, item->label);
  EXPECT_EQ(b, a);
  EXPECT_EQ(ar.GetRemaining(), 0u);
}

// ---- saving -----------------------------------------------------------------

// Replaces one stream of the file at path (opened through path) and saves.
Tree ChangeAndSave(const std::string& path, Tree expected, int seed) {
  auto file = CCompoundFile::Open(path);
  CStorage root = file->GetRootStorage();
  expected["Page 1"] = Pattern(3000 + static_cast<size_t>(seed), seed);
  WriteStream(root, "Page 1", expected["Page 1"]);
  file->Save();
  return expected;
}

TEST_F(StorageTest, SavesThroughSymbolicLinksKeepTheLinks) {
  ASSERT_EQ(::mkdir(Path("real").c_str(), 0755), 0);
  std::string target = Path("real/doc.vmd");
  Tree expected = MakeDocument(target);
  ASSERT_EQ(::symlink("real/doc.vmd", Path("link.vmd").c_str()), 0);
  ASSERT_EQ(::symlink(Path("link.vmd").c_str(), Path("link2.vmd").c_str()), 0);

  for (const char* link : {"link.vmd", "link2.vmd"}) {
    SCOPED_TRACE(link);
    expected = ChangeAndSave(Path(link), expected, static_cast<int>(std::strlen(link)));
    struct stat st;
    ASSERT_EQ(::lstat(Path(link).c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(OutsideListing(target), Listing(expected));  // the target has the new contents
  }
  EXPECT_EQ(DirEntries(), (std::vector<std::string>{"link.vmd", "link2.vmd", "real"}));

  // Save As to a dangling link writes where it points.
  ASSERT_EQ(::symlink("real/new.vmd", Path("dangling.vmd").c_str()), 0);
  auto file = CCompoundFile::Open(target);
  file->SaveAs(Path("dangling.vmd"));
  struct stat st;
  ASSERT_EQ(::lstat(Path("dangling.vmd").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(OutsideListing(Path("real/new.vmd")), Listing(expected));

  // A loop of links is refused.
  ASSERT_EQ(::symlink("loop2.vmd", Path("loop1.vmd").c_str()), 0);
  ASSERT_EQ(::symlink("loop1.vmd", Path("loop2.vmd").c_str()), 0);
  try {
    file->SaveAs(Path("loop1.vmd"));
    FAIL();
  } catch (const CFileException& e) {
    EXPECT_EQ(e.m_lOsError, ELOOP);
  }
}

TEST_F(StorageTest, ReadOnlyFilesAreNotReplaced) {
  std::string path = Path("doc.vmd");
  Tree expected = MakeDocument(path);
  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
  const Bytes original = FileBytes(path);
  auto file = CCompoundFile::Open(path);
  WriteStream(file->GetRootStorage().OpenStorage("Embedding 1"), "CONTENTS", Pattern(9, 9));
  try {
    file->Save();
    FAIL() << "saved over a read-only file";
  } catch (const CFileException& e) {
    EXPECT_EQ(e.m_cause, CFileException::readOnly);
  }
  EXPECT_EQ(FileBytes(path), original);
  EXPECT_EQ(DirEntries(), std::vector<std::string>{"doc.vmd"});
  // Save As to another name still works, and the file is writable there.
  file->SaveAs(Path("copy.vmd"));
  expected["Embedding 1/CONTENTS"] = Pattern(9, 9);
  EXPECT_EQ(OutsideListing(Path("copy.vmd")), Listing(expected));
}

TEST_F(StorageTest, SavesKeepOwnerGroupAndMode) {
  std::string path = Path("doc.vmd");
  Tree expected = MakeDocument(path);
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(::chown(path.c_str(), 4242, 4343), 0);
  }
  struct stat before;
  ASSERT_EQ(::stat(path.c_str(), &before), 0);
  expected = ChangeAndSave(path, expected, 3);
  struct stat after;
  ASSERT_EQ(::stat(path.c_str(), &after), 0);
  EXPECT_NE(after.st_ino, before.st_ino);  // a new file
  EXPECT_EQ(after.st_mode & 07777, 0640u);
  EXPECT_EQ(after.st_uid, before.st_uid);
  EXPECT_EQ(after.st_gid, before.st_gid);
  if (root) {
    EXPECT_EQ(after.st_uid, 4242u);
  }
  EXPECT_EQ(OutsideListing(path), Listing(expected));
}

TEST_F(StorageTest, DocumentsWithNamesOfAnyValidLengthSaveInPlace) {
  for (size_t length : {240u, 241u, 248u, 255u}) {
    SCOPED_TRACE(length);
    std::string name = std::string(length - 4, 'd') + ".vmd";
    std::string path = Path(name);
    Tree expected = MakeDocument(path);
    expected = ChangeAndSave(path, expected, static_cast<int>(length));
    expected = ChangeAndSave(path, expected, static_cast<int>(length) + 1);
    EXPECT_EQ(OutsideListing(path), Listing(expected));
    EXPECT_EQ(DirEntries(), std::vector<std::string>{name});
    std::filesystem::remove(path);
  }
}

// A save killed midway leaves its temporary file; the next save of the same
// document removes it. Leftovers of other documents, and a save in progress
// (its file locked), are left alone.
TEST_F(StorageTest, TheNextSaveRemovesAKilledSavesTemporaryFile) {
  std::string path = Path("doc.vmd");
  Tree expected = MakeDocument(path);
  const Bytes original = FileBytes(path);
  pid_t pid = ::fork();
  if (pid == 0) {
    auto file = CCompoundFile::Open(path);
    WriteStream(file->GetRootStorage(), "Page 1", Pattern(2000000, 1));
    file->SetWriteHook([](uint64_t offset, size_t) {
      if (offset > 0) ::kill(::getpid(), SIGKILL);
      return true;
    });
    file->Save();
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(FileBytes(path), original);
  std::vector<std::string> names = DirEntries();
  ASSERT_EQ(names.size(), 2u);
  std::string leftover = names[0] == "doc.vmd" ? names[1] : names[0];
  EXPECT_EQ(leftover.rfind(".doc.vmd.vmsave-", 0), 0u) << leftover;

  std::ofstream(Path(".other.vmd.vmsave-abcdef")) << "another document's";
  std::ofstream(Path(".doc.vmd.vmsave-locked")) << "a save in progress";
  int locked = ::open(Path(".doc.vmd.vmsave-locked").c_str(), O_RDONLY);
  ASSERT_EQ(::flock(locked, LOCK_EX), 0);
  expected = ChangeAndSave(path, expected, 4);
  ::close(locked);
  EXPECT_EQ(OutsideListing(path), Listing(expected));
  EXPECT_EQ(DirEntries(), (std::vector<std::string>{".doc.vmd.vmsave-locked",
                                                    ".other.vmd.vmsave-abcdef", "doc.vmd"}));
}

// The writer refuses what the reader would refuse, before writing; deep trees
// made through the interface are built, refused and freed without recursion.
TEST_F(StorageTest, NestingBeyondWhatFilesMayHoldIsRefusedBeforeWriting) {
  auto nest = [](CCompoundFile& file, int levels) {
    CStorage s = file.GetRootStorage();
    for (int i = 0; i < levels; ++i) s = s.CreateStorage("Level");
    WriteStream(s, "Innermost", Pattern(10, 1));
  };
  auto deepest = CCompoundFile::CreateTemporary();
  nest(*deepest, 64);
  deepest->SaveAs(Path("deepest.vmd"));
  auto reopened = CCompoundFile::Open(Path("deepest.vmd"));
  CStorage s = reopened->GetRootStorage();
  for (int i = 0; i < 64; ++i) s = s.OpenStorage("Level");
  EXPECT_EQ(ReadStream(s, "Innermost"), Pattern(10, 1));

  for (int levels : {65, 50000}) {
    SCOPED_TRACE(levels);
    auto file = CCompoundFile::CreateTemporary();
    nest(*file, levels);
    try {
      file->SaveAs(Path("deep.vmd"));
      FAIL();
    } catch (const CFileException& e) {
      EXPECT_EQ(e.m_lOsError, kStgDocFileTooLarge);
      EXPECT_NE(e.m_strDetail.find("nested"), std::string::npos);
    }
    EXPECT_EQ(DirEntries(), (std::vector<std::string>{"deepest.vmd"}));
    // Copies of the deep tree are made and freed without recursion too.
    CStorage root = file->GetRootStorage();
    root.CopyElementTo("Level", root, "Copy");
  }
}

TEST_F(StorageTest, FortyThousandStreamsWriteOpenAndReadWhole) {
  std::string path = Path("many.vmd");
  Tree expected;
  {
    auto file = CCompoundFile::CreateTemporary();
    CStorage root = file->GetRootStorage();
    CStorage sub = root.CreateStorage("Symbols");
    for (int i = 0; i < 40000; ++i) {
      std::string name = "Page " + std::to_string(i);
      Bytes b = Pattern(static_cast<size_t>(i % 97) * (i % 5 == 0 ? 90 : 1), i);
      WriteStream(i % 4 == 0 ? sub : root, name, b);
      expected[(i % 4 == 0 ? "Symbols/" : "") + name] = b;
    }
    file->SaveAs(path);
  }
  auto file = CCompoundFile::Open(path);
  Tree found;
  Collect(file->GetRootStorage(), "", found);
  EXPECT_EQ(found, expected);
  EXPECT_EQ(OutsideListing(path, true), Listing(expected));
}

}  // namespace
