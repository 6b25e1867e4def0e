// Embedded objects: an item's storage (a DIB presentation made by
// ImageMagick, other streams, a nested storage, class ids) survives open,
// save, save as and a flat copy into another document, as python3-olefile
// reads the files; the picture is drawn and converted to a bitmap object;
// a discarded item leaves the next save; the presentation reader and the
// records, with damage.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "model/document.h"
#include "model/document_page.h"
#include "model/load_context.h"
#include "model/ole_item.h"
#include "model/pic_bitmap.h"
#include "model/pic_frame.h"
#include "model/pic_ole.h"
#include "model/pic_page.h"
#include "model/pic_shape.h"
#include "model_fixtures.h"
#include "platform/core/archive.h"
#include "platform/core/exceptions.h"
#include "platform/core/file.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

void PutLe32(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A presentation stream of a clipboard format and aspect holding data.
Bytes Presentation(uint32_t format, uint32_t aspect, const Bytes& data) {
  Bytes b;
  PutLe32(b, 0xFFFFFFFF);
  PutLe32(b, format);
  PutLe32(b, 4);  // no target device
  PutLe32(b, aspect);
  PutLe32(b, 0xFFFFFFFF);  // lindex
  PutLe32(b, 0);           // advf
  PutLe32(b, 0);
  PutLe32(b, 2540);  // HIMETRIC
  PutLe32(b, 1270);
  PutLe32(b, static_cast<uint32_t>(data.size()));
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

class OleTest : public ModelTest {
 protected:
  void SetUp() override {
    ModelTest::SetUp();
    dir_ = fs::path(testing::TempDir()) / ("ole_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    // A 4 x 3 picture from ImageMagick, packed (the file header dropped).
    const fs::path ppm = dir_ / "in.ppm";
    {
      std::ofstream f(ppm, std::ios::binary);
      f << "P6\n4 3\n255\n";
      for (int i = 0; i < 12; ++i) f << static_cast<char>(i * 20) << char(200) << char(i * 5);
    }
    const fs::path bmp = dir_ / "in.bmp";
    RunCommand("convert '" + ppm.string() + "' -compress None bmp3:'" + bmp.string() + "' 2>&1");
    std::ifstream f(bmp, std::ios::binary);
    Bytes file((std::istreambuf_iterator<char>(f)), {});
    ASSERT_GT(file.size(), 14u);
    dib_.assign(file.begin() + 14, file.end());

    tree_.classId = {0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17,
                     0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F};
    tree_.streams = {{"\x01Ole", {1, 0, 0, 2, 0, 0, 0, 0}},
                     {"\x02OlePres000", Presentation(8, 1, dib_)},
                     {"CONTENTS", Bytes(5000, 0x5A)}};
    CStorageTree nested;
    nested.name = "Nested";
    nested.classId[0] = 0xAB;
    nested.streams = {{"Inner", {9, 8, 7}}};
    tree_.storages = {nested};
  }
  void TearDown() override {
    fs::remove_all(dir_);
    ModelTest::TearDown();
  }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  // The storages and streams of a compound file as python3-olefile reads
  // them: path -> class id (storages) or the bytes in hex (streams).
  std::map<std::string, std::string> Listing(const std::string& file) {
    const std::string script = Path("list.py");
    std::ofstream(script) << "import olefile,sys\n"
                             "ole=olefile.OleFileIO(sys.argv[1])\n"
                             "for e in ole.listdir(streams=True,storages=True):\n"
                             "  p='/'.join(e)\n"
                             "  if ole.get_type(p)==olefile.STGTY_STORAGE:\n"
                             "    print(repr(p)+'\\tclsid '+ole.getclsid(p))\n"
                             "  else:\n"
                             "    print(repr(p)+'\\t'+ole.openstream(p).read().hex())\n";
    std::istringstream out(RunCommand(std::string(VM_PYTHON3) + " " + script + " '" + file + "'"));
    std::map<std::string, std::string> entries;
    std::string line;
    while (std::getline(out, line)) {
      const size_t tab = line.find('\t');
      entries[line.substr(0, tab)] = line.substr(tab + 1);
    }
    return entries;
  }
  // The entries of "Embedding n" in a listing, with that prefix taken off.
  static std::map<std::string, std::string> Embedding(const std::map<std::string, std::string>& l,
                                                      const std::string& name) {
    std::map<std::string, std::string> out;
    const std::string prefix = "'" + name;
    for (const auto& [path, value] : l) {
      if (path.rfind(prefix, 0) == 0) out[path.substr(prefix.size())] = value;
    }
    return out;
  }
  // A document whose first page shows one embedded item.
  CPicOle* MakeDocument(CTestDoc& doc) {
    EXPECT_TRUE(doc.OnNewDocument());
    CDocumentPage* page = doc.m_pages;
    auto* item = new CMarlCntrItem(&doc, page);
    item->m_storage = tree_;
    item->m_extent = {2540, 1270};
    doc.AddItem(item);
    auto* ole = new CPicOle;
    ole->SetItemRect({100, 1540, 200, 920});
    page->GetFirstFrame()->AddChild(ole);
    item->SetPicOle(ole);
    page->GetRoot()->RecalcAndNotify(nullptr);
    return ole;
  }

  fs::path dir_;
  Bytes dib_;
  CStorageTree tree_;
};

// Records bitmaps and paths.
class PictureContext : public CRecordingContext {
 public:
  void DrawBitmap(const CImageRef& image) override {
    calls.push_back("bitmap " + std::to_string(image.Width()) + "x" +
                    std::to_string(image.Height()) + " " + RectText(image.bounds));
  }
  void DrawPath(const PointList&, const LineStyle*, const FillStyle*) override {
    calls.push_back("path");
  }
};

TEST_F(OleTest, StorageSurvivesOpenSaveSaveAsAndAFlatCopy) {
  const std::string first = Path("first.vmd");
  {
    CTestDoc doc;
    MakeDocument(doc);
    ASSERT_TRUE(doc.OnSaveDocument(first));
  }
  const auto listing = Listing(first);
  const auto saved = Embedding(listing, "Embedding 1");
  ASSERT_FALSE(saved.empty()) << testing::PrintToString(listing);
  EXPECT_EQ(saved.at("'"), "clsid 13121110-1514-1716-1819-1A1B1C1D1E1F");
  EXPECT_EQ(saved.at("/Nested'"), "clsid 000000AB-0000-0000-0000-000000000000");
  EXPECT_EQ(saved.at("/Nested/Inner'"), "090807");
  EXPECT_EQ(saved.at("/\\x01Ole'"), "0100000200000000");
  EXPECT_EQ(saved.at("/CONTENTS'").size(), 10000u);
  EXPECT_EQ(saved.size(), 6u);

  // Open: the item and its pairing come back; saving again and saving under
  // another name keep every byte.
  CTestDoc doc;
  ASSERT_TRUE(doc.OnOpenDocument(first));
  ASSERT_EQ(doc.GetItems().size(), 1u);
  CMarlCntrItem* item = doc.GetItems()[0];
  EXPECT_EQ(item->m_storage.streams, tree_.streams);
  EXPECT_EQ(item->m_storage.storages, tree_.storages);
  EXPECT_EQ(item->m_storage.classId, tree_.classId);
  EXPECT_EQ(item->m_extent, (Point32{2540, 1270}));
  EXPECT_EQ(item->m_page, doc.m_pages);
  doc.m_pages->LockUpdate();
  auto* ole = DynamicDowncast<CPicOle>(doc.m_pages->GetFirstFrame()->GetFirstChild());
  ASSERT_NE(ole, nullptr);
  EXPECT_EQ(ole->GetItem(), item);
  EXPECT_EQ(ole->GetItemRect(), (Rect32{100, 1540, 200, 920}));
  doc.SetModifiedFlag();
  ASSERT_TRUE(doc.OnSaveDocument(first));
  EXPECT_EQ(Embedding(Listing(first), "Embedding 1"), saved);
  const std::string other = Path("other.vmd");
  ASSERT_TRUE(doc.OnSaveDocument(other));
  EXPECT_EQ(Embedding(Listing(other), "Embedding 1"), saved);

  // A flat copy (as the clipboard makes) into another document that has an
  // item already: the item arrives inline and takes free numbers.
  CMemFile file;
  {
    CArchive ar(&file, CArchive::store);
    ar.m_pDocument = &doc;
    ar.m_bForceFlat = true;
    CLoadContext context(&ar, doc.m_pages);
    ar.WriteObject(ole);
    ar.Close();
  }
  CTestDoc target;
  MakeDocument(target);
  file.SeekToBegin();
  {
    CArchive ar(&file, CArchive::load);
    ar.m_pDocument = &target;
    CLoadContext context(&ar, target.m_pages);
    CObject* obj = ar.ReadObject(nullptr);
    CPicObj::ReleaseLoadChain(false);
    auto* copy = DynamicDowncast<CPicOle>(obj);
    ASSERT_NE(copy, nullptr);
    target.m_pages->GetFirstFrame()->AddChild(copy);
    ASSERT_NE(copy->GetItem(), nullptr);
    EXPECT_EQ(copy->GetItem()->m_itemNumber, 2);
    EXPECT_EQ(copy->GetItem()->m_embedding, 2u);
    EXPECT_EQ(copy->GetItem()->m_page, target.m_pages);
  }
  const std::string third = Path("third.vmd");
  ASSERT_TRUE(target.OnSaveDocument(third));
  const auto both = Listing(third);
  EXPECT_EQ(Embedding(both, "Embedding 2"), saved);
  EXPECT_EQ(Embedding(both, "Embedding 1"), saved);
  doc.m_pages->UnlockUpdate();
}

TEST_F(OleTest, DiscardedOrDeletedItemsLeaveTheNextSave) {
  const std::string path = Path("doc.vmd");
  CTestDoc doc;
  CPicOle* ole = MakeDocument(doc);
  ASSERT_TRUE(doc.OnSaveDocument(path));
  ASSERT_FALSE(Embedding(Listing(path), "Embedding 1").empty());

  CDocumentPage* page = doc.m_pages;
  ASSERT_TRUE(Edit(page, [&] { ole->DeleteFromParent(); }));
  EXPECT_NE(page->GetUndoList()->m_heavy, 0u);
  EXPECT_EQ(doc.GetItems().size(), 1u);  // undo could still bring it back
  page->Undo();
  EXPECT_EQ(page->GetFirstFrame()->GetFirstChild(), ole);
  page->Redo();
  page->TrimUndo(0);  // the step is discarded: so is the item
  EXPECT_TRUE(doc.GetItems().empty());
  ASSERT_TRUE(doc.OnSaveDocument(path));
  EXPECT_TRUE(Embedding(Listing(path), "Embedding 1").empty());

  // Deleting a page deletes its items.
  CTestDoc other;
  MakeDocument(other);
  auto* second = new CDocumentPage;
  second->InitForDocument(&other, false);
  other.AppendPage(second, false);
  other.m_pages->DeletePage();
  EXPECT_TRUE(other.GetItems().empty());
}

TEST_F(OleTest, DrawsItsPictureOrAPlaceholder) {
  CTestDoc doc;
  CPicOle* ole = MakeDocument(doc);
  Matrix2x3 move;
  move.tx = 1000;
  ASSERT_TRUE(Edit(doc.m_pages, [&] {
    ole->Transform(move);
    ole->Transform(move);
  }));
  int records = 0;
  for (CEditItem* i = doc.m_pages->GetUndoList()->m_items; i != nullptr; i = i->m_next) {
    records += dynamic_cast<COleMatrixEditItem*>(i) != nullptr;
  }
  EXPECT_EQ(records, 1);

  PictureContext rc;
  rc.m_flags |= CRenderContext::kFlagFills;
  ole->Draw(rc);
  rc.m_flags &= ~CRenderContext::kFlagFills;  // outline drawing
  ole->Draw(rc);
  EXPECT_EQ(rc.calls, (std::vector<std::string>{"matrix 2000,0", "bitmap 4x3 100,1540,200,920",
                                                "matrix 2000,0", "path"}));
  // A metafile picture is not drawn: the placeholder.
  CMarlCntrItem* item = ole->GetItem();
  item->m_storage.streams[1].bytes = Presentation(3, 1, dib_);
  item->ForgetPicture();
  rc.calls.clear();
  rc.m_flags |= CRenderContext::kFlagFills;
  ole->Draw(rc);
  EXPECT_EQ(rc.calls, (std::vector<std::string>{"matrix 2000,0", "path"}));
  EXPECT_EQ(ole->ConvertToShapes(), nullptr);
  EXPECT_EQ(ole->BreakApart(0), 0);

  // The hit area is the moved rectangle grown by the tolerance.
  CHitTest probe;
  probe.point = {3540 + 5, 300};
  probe.distance2 = 5;
  EXPECT_EQ(ole->HitTest(probe), 1);
  probe.distance2 = 4;
  EXPECT_EQ(ole->HitTest(probe), 0);
}

TEST_F(OleTest, ConvertsToABitmapObjectInPlace) {
  CTestDoc doc;
  CPicOle* ole = MakeDocument(doc);
  CPicFrame* frame = doc.m_pages->GetFirstFrame();
  EXPECT_EQ(ole->BreakApart(CPicObj::kBreakApartQuery), 1);
  EXPECT_EQ(frame->GetFirstChild(), ole);

  std::unique_ptr<CPicShape> shape(ole->ConvertToShapes());
  ASSERT_NE(shape, nullptr);
  auto* bitmap = DynamicDowncast<CPicBitmap>(shape->GetFirstChild());
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(bitmap->GetNext(), nullptr);
  EXPECT_EQ(bitmap->GetImage().Width(), 4);
  EXPECT_EQ(bitmap->GetImage().bounds, (Rect32{100, 1540, 200, 920}));
  // ImageMagick's pixels: row 0, column 1 is (20, 200, 5).
  EXPECT_EQ(bitmap->GetImage().GetPixel(1, 0), (Rgb{20, 200, 5}));
  Rect32 a, b;
  shape->GetExactBounds(a);
  ole->GetExactBounds(b);
  EXPECT_EQ(a, b);

  ASSERT_TRUE(Edit(doc.m_pages, [&] { EXPECT_EQ(ole->BreakApart(0), 1); }));
  EXPECT_NE(frame->GetFirstChild(), ole);
  bool found = false;
  for (CPicObj* o = frame->GetFirstChild(); o != nullptr; o = o->GetNext())
    found |= DynamicDowncast<CPicBitmap>(o) != nullptr;
  EXPECT_TRUE(found);
}

TEST_F(OleTest, RecordsAndDamage) {
  CTestDoc doc;
  CPicOle* ole = MakeDocument(doc);
  auto write = [](CObject* obj, bool flat) {
    CMemFile file;
    CArchive ar(&file, CArchive::store);
    ar.m_bForceFlat = flat;
    ar.WriteObject(obj);
    ar.Close();
    auto d = file.GetData();
    return Bytes(d.begin(), d.end());
  };
  auto read = [&](const Bytes& bytes) -> CObject* {
    CMemFile file(bytes);
    CArchive ar(&file, CArchive::load);
    ar.m_pDocument = &doc;
    CObject* obj = ar.ReadObject(nullptr);
    CPicObj::ReleaseLoadChain(false);
    return obj;
  };
  // By number: the tail of the record is the version, matrix, rectangle and
  // the item's number.
  Bytes bytes = write(ole, false);
  const Bytes tail{0,                                                      // version
                   0,   0, 1, 0, 0, 0, 0, 0, 0,   0, 0, 0, 0,    0, 1, 0,  // a, b, c, d
                   0,   0, 0, 0, 0, 0, 0, 0,                               // tx, ty
                   100, 0, 0, 0, 4, 6, 0, 0, 200, 0, 0, 0, 0x98, 3, 0, 0,  // rectangle
                   1,   0};                                                // item number
  ASSERT_GE(bytes.size(), tail.size());
  EXPECT_EQ(Bytes(bytes.end() - static_cast<ptrdiff_t>(tail.size()), bytes.end()), tail);
  std::unique_ptr<CObject> same(read(bytes));
  EXPECT_EQ(static_cast<CPicOle*>(same.get())->GetItem(), doc.GetItems()[0]);
  // An item is paired with one object: the one paired before lets go.
  EXPECT_EQ(ole->GetItem(), nullptr);
  doc.GetItems()[0]->SetPicOle(ole);
  EXPECT_EQ(static_cast<CPicOle*>(same.get())->GetItem(), nullptr);
  // A number no item has: left without an item.
  bytes[bytes.size() - 2] = 7;
  std::unique_ptr<CObject> lost(read(bytes));
  ASSERT_NE(lost, nullptr);
  EXPECT_EQ(static_cast<CPicOle*>(lost.get())->GetItem(), nullptr);
  // Without an item: number 0 and a null reference, read back as such.
  CPicOle bare;
  Bytes none = write(&bare, false);
  EXPECT_EQ(Bytes(none.end() - 4, none.end()), (Bytes{0, 0, 0, 0}));
  std::unique_ptr<CObject> noneBack(read(none));
  EXPECT_EQ(static_cast<CPicOle*>(noneBack.get())->GetItem(), nullptr);
  EXPECT_EQ(doc.GetItems().size(), 1u);

  // Inline: every cut of the record is refused and frees what it made.
  const Bytes flat = write(ole, true);
  for (size_t cut = 0; cut + 1 < flat.size(); cut += 97) {
    Bytes shorter(flat.begin(), flat.begin() + static_cast<ptrdiff_t>(cut));
    CMemFile file(shorter);
    CArchive ar(&file, CArchive::load);
    ar.m_pDocument = &doc;
    EXPECT_THROW(ar.ReadObject(nullptr), CArchiveException) << cut;
    CPicObj::ReleaseLoadChain(true);
  }
  EXPECT_EQ(doc.GetItems().size(), 1u);
  // The whole record reads and numbers its new item.
  std::unique_ptr<CObject> copy(read(flat));
  ASSERT_EQ(doc.GetItems().size(), 2u);
  EXPECT_EQ(static_cast<CPicOle*>(copy.get())->GetItem(), doc.GetItems()[1]);
  EXPECT_EQ(doc.GetItems()[1]->m_itemNumber, 2);
  EXPECT_EQ(doc.GetItems()[1]->m_storage.streams, tree_.streams);
  copy.reset();
  EXPECT_EQ(doc.GetItems()[1]->GetPicOle(), nullptr);
}

TEST(OlePresentationTest, ReaderTable) {
  const Bytes data{1, 2, 3};
  Bytes named;
  PutLe32(named, 5);
  for (char c : std::string("Name\0", 5)) named.push_back(static_cast<uint8_t>(c));
  const Bytes dib = Presentation(8, 1, data);
  named.insert(named.end(), dib.begin() + 8, dib.end());
  Bytes device = dib;
  device[8] = 12;  // a target device of 8 bytes
  device.insert(device.begin() + 12, 8, 0xEE);
  struct Case {
    const char* what;
    Bytes bytes;
    bool ok;
    uint32_t format, aspect;
  } cases[] = {
      {"dib", dib, true, 8, 1},
      {"metafile icon", Presentation(3, 4, data), true, 3, 4},
      {"named format", named, true, 0, 1},
      {"target device", device, true, 8, 1},
      {"data cut", Bytes(dib.begin(), dib.end() - 1), false, 0, 0},
      {"header cut", Bytes(dib.begin(), dib.begin() + 20), false, 0, 0},
      {"empty", {}, false, 0, 0},
  };
  for (const Case& c : cases) {
    OlePresentation p;
    ASSERT_EQ(ReadOlePresentation(c.bytes, p), c.ok) << c.what;
    if (!c.ok) continue;
    EXPECT_EQ(p.format, c.format) << c.what;
    EXPECT_EQ(p.aspect, c.aspect) << c.what;
    EXPECT_EQ(Bytes(p.data.begin(), p.data.end()), data) << c.what;
  }
  Bytes small = dib;
  small[8] = 3;  // a target device size below its own four bytes
  OlePresentation p;
  EXPECT_FALSE(ReadOlePresentation(small, p));
}

}  // namespace
