#include "platform/core/storage.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "platform/core/archive.h"
#include "platform/core/exceptions.h"
#include "test_classes.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Tree = std::map<std::string, Bytes>;  // "storage/stream" -> contents

Bytes Pattern(size_t n, int seed) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i)
    b[i] = static_cast<uint8_t>((i * 31 + static_cast<size_t>(seed) * 7) >> 1);
  return b;
}

void WriteStream(CStorage& storage, const std::string& name, const Bytes& bytes) {
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
std::string OutsideListing(const std::string& path) {
  std::string script =
      "import olefile,sys\n"
      "def digest(b):\n"
      "  h=2166136261\n"
      "  for c in b: h=((h^c)*16777619)&0xFFFFFFFF\n"
      "  return '%d:%d'%(len(b),h)\n"
      "ole=olefile.OleFileIO(sys.argv[1])\n"
      "for p in sorted('/'.join(e) for e in ole.listdir(streams=True,storages=False)):\n"
      "  print(p+'\\t'+digest(ole.openstream(p).read()))\n";
  std::string scriptPath = path + ".py";
  std::ofstream(scriptPath) << script;
  std::string command = std::string(VM_PYTHON3) + " " + scriptPath + " " + path;
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
  void SetUp() override {
    dir_ = ::testing::TempDir() + "storageXXXXXX";
    ASSERT_NE(::mkdtemp(dir_.data()), nullptr);
  }
  void TearDown() override {
    std::filesystem::remove_all(dir_);
    CTracked::DeleteAll();
  }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  std::vector<std::string> DirEntries() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir_))
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

  std::string dir_;
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

}  // namespace
