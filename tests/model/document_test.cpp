// Documents: the record of every version (golden files written field by
// field by tests/model/golden/make_documents.py and packed by gsf), saving
// into the same or a new file as python3-olefile sees it, the document's
// operations, damaged records and symbols carried by copies.
#include "model/document.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "geometry/edge_graph_insert.h"
#include "geometry/path.h"
#include "geometry/point_list.h"
#include "model/document_page.h"
#include "model/load_context.h"
#include "model/pic_bitmap.h"
#include "model/pic_frame.h"
#include "model/pic_layer.h"
#include "model/pic_page.h"
#include "model/pic_shape.h"
#include "model/pic_symbol.h"
#include "model_fixtures.h"
#include "platform/core/archive.h"
#include "platform/core/exceptions.h"
#include "platform/core/file.h"
#include "tests/common/edge_styles.h"
#include "tests/common/temp_dir.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The streams of a compound file as python3-olefile reads them: name -> digest.
std::map<std::string, std::string> OleStreams(const std::string& path, const std::string& dir) {
  const std::string script = dir + "/list.py";
  std::ofstream(script) << "import olefile,sys,hashlib\n"
                           "ole=olefile.OleFileIO(sys.argv[1])\n"
                           "for e in ole.listdir(streams=True,storages=False):\n"
                           "  p='/'.join(e)\n"
                           "  print(p+'\\t'+hashlib.sha1(ole.openstream(p).read()).hexdigest())\n";
  std::istringstream out(RunCommand(std::string(VM_PYTHON3) + " " + script + " '" + path + "'"));
  std::map<std::string, std::string> streams;
  std::string line;
  while (std::getline(out, line)) {
    const size_t tab = line.find('\t');
    streams[line.substr(0, tab)] = line.substr(tab + 1);
  }
  return streams;
}

Bytes FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The bytes of a page's tree as its stream holds them.
Bytes TreeBytes(CDocumentPage* page) {
  CMemFile file;
  CArchive ar(&file, CArchive::store);
  page->SerializeContents(ar);
  ar.Close();
  auto d = file.GetData();
  return Bytes(d.begin(), d.end());
}

CDocumentPage* Nth(CDocumentPage* list, int n) {
  while (list != nullptr && n-- > 0) list = list->m_next;
  return list;
}

int Count(const CPicObj* obj) {
  int n = 0;
  for (CPicObj* c = obj->GetFirstChild(); c != nullptr; c = c->GetNext()) ++n;
  return n;
}

class DocumentTest : public ModelTest {
 protected:
  // The golden documents, made once per test.
  std::string Golden(int version) {
    if (!made_) {
      RunCommand(std::string(VM_PYTHON3) +
                 " " VM_SOURCE_DIR "/tests/model/golden/make_documents.py '" + dir_.Dir() +
                 "/golden'");
      made_ = true;
    }
    return dir_.Dir() + "/golden/v" + std::to_string(version) + ".vmd";
  }
  std::string Path(const std::string& name) const { return dir_.Path(name); }

  TempDir dir_{"document"};
  bool made_ = false;
};

}  // namespace

TEST_F(DocumentTest, EveryVersionReadsAsStoredOrAsTheDefault) {
  for (int version : {10, 11, 13, 14, 15, 16}) {
    SCOPED_TRACE(version);
    CTestDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument(Golden(version)));
    ASSERT_NE(doc.m_pages, nullptr);
    EXPECT_EQ(doc.m_pages->m_name, "Intro");
    EXPECT_EQ(doc.m_pages->m_attribute, version >= 14 ? 5 : 0);
    EXPECT_EQ(doc.m_currentPage, doc.m_pages);
    EXPECT_EQ(Nth(doc.m_pages, 1)->m_streamName, "Page 7");
    EXPECT_EQ(doc.m_nextPageNumber, 9);
    EXPECT_EQ(doc.m_reservedCounter, 4);
    if (version >= 14) {
      ASSERT_NE(doc.m_symbols, nullptr);
      EXPECT_EQ(doc.m_symbols->m_name, "Star");
      EXPECT_EQ(doc.m_symbols->m_symbolId, 2u);
      EXPECT_EQ(doc.m_nextSymbolId, 4);
      ASSERT_NE(doc.m_symbols->m_next, nullptr);
      EXPECT_EQ(doc.m_symbols->m_next->m_name, "Twin");
    } else {
      EXPECT_EQ(doc.m_symbols, nullptr);
      EXPECT_EQ(doc.m_nextSymbolId, 1);
    }
    EXPECT_EQ(doc.m_gridFlags, 3u);
    EXPECT_EQ(doc.m_movieRect, (Rect32{-100, 5000, -200, 4000}));
    EXPECT_EQ(doc.m_gridSpacing, 0x2D0000);
    EXPECT_EQ(doc.m_viewQuality, 2);
    EXPECT_EQ(doc.m_rulersShown, 1);
    EXPECT_EQ(doc.m_pageTabsShown, 1);
    EXPECT_EQ(doc.m_viewOptionBits, version >= 15 ? 0x35 : 1);
    EXPECT_EQ(doc.m_margins[0], 100);
    EXPECT_EQ(doc.m_margins[3], 400);
    EXPECT_EQ(doc.m_centreHorizontally, 0);
    EXPECT_EQ(doc.m_centreVertically, 1);
    EXPECT_EQ(doc.m_printLayout, 2);
    EXPECT_EQ(doc.m_disablePostScript, 1);
    EXPECT_EQ(doc.m_printScale, 0x8000);
    EXPECT_EQ(doc.m_printerMode.size(), 40u);
    EXPECT_EQ(doc.m_printerNames, (Bytes{'n', 'a', 'm', 'e', 's', 0}));
    EXPECT_EQ(doc.m_backgroundColor, version >= 11 ? 0xFF102030u : 0xFFFFFFFFu);
    EXPECT_EQ(doc.m_gridColor, version >= 11 ? 0xFF405060u : 0xFFC0C0C0u);
    EXPECT_EQ(doc.m_frameRate, version >= 13 ? 0x180000 : 0xC0000);
    EXPECT_EQ(doc.m_printAllFrames, version >= 16 ? 1 : 0);
    EXPECT_EQ(doc.m_labelFrames, version >= 16 ? 1 : 0);
    EXPECT_EQ(doc.m_framesAcross, version >= 16 ? 4 : 3);
    EXPECT_EQ(doc.m_frameMargin, version >= 16 ? 240 : 180);

    // The first page: two layers, a tweened key frame with an action and a
    // square drawing in it.
    CDocumentPage* page = doc.m_pages;
    EXPECT_EQ(page->GetRoot(), nullptr);  // read when first locked
    page->LockUpdate();
    ASSERT_NE(page->GetRoot(), nullptr);
    CPicLayer* top = page->GetRoot()->GetFirstLayer();
    EXPECT_EQ(top->GetName(), "Top");
    EXPECT_EQ(top->GetType(), CPicLayer::kCurrent);
    EXPECT_EQ(top->GetColorIndex(), 4);
    CPicFrame* frame = top->GetFirstFrame();
    EXPECT_EQ(frame->GetLength(), 3);
    EXPECT_EQ(frame->GetTweenKind(), CPicFrame::kTweenMotion);
    EXPECT_EQ(frame->GetEasing(), -40);
    EXPECT_EQ(frame->GetAction().type, CFrameAction::kGoto);
    EXPECT_EQ(frame->GetAction().page, "Intro");
    auto* square = DynamicDowncast<CPicShape>(frame->GetFirstChild());
    ASSERT_NE(square, nullptr);
    EXPECT_EQ(square->GetGeometry().edge_count, 4u);
    if (version >= 14) {
      // An instance and two buttons of "Star" (found by id), and a bitmap.
      auto* inst = DynamicDowncast<CPicSymbol>(square->GetNext());
      ASSERT_NE(inst, nullptr);
      EXPECT_EQ(inst->GetSymbol(), doc.m_symbols);
      EXPECT_EQ(inst->GetFirstFrame(), 1);
      EXPECT_EQ(inst->GetPlayMode(), CPicSymbol::kPlayOnce);
      EXPECT_EQ(inst->m_matrix.tx, 700);
      auto* button = DynamicDowncast<CPicButton>(inst->GetNext());
      ASSERT_NE(button, nullptr);
      EXPECT_EQ(button->GetSymbol(), doc.m_symbols);
      EXPECT_EQ(button->GetAction(),
                (CFrameAction{CFrameAction::kGetUrl, "http://x/", "_blank", "", 1}));
      auto* old = DynamicDowncast<CPicButton>(button->GetNext());
      ASSERT_NE(old, nullptr);
      EXPECT_EQ(old->GetAction(), (CFrameAction{CFrameAction::kGoto, "old", "win", "Intro", 4}));
      auto* bitmap = DynamicDowncast<CPicBitmap>(old->GetNext());
      ASSERT_NE(bitmap, nullptr);
      const CImageRef& image = bitmap->GetImage();
      EXPECT_EQ(image.Width(), 3);
      EXPECT_EQ(image.Height(), 2);
      EXPECT_EQ(image.bounds, (Rect32{0, 45, 0, 30}));
      EXPECT_EQ(image.PixelAt(1, 0), (Rgb{0, 0x80, 0xFF}));
      EXPECT_EQ(image.PixelAt(0, 0), (Rgb{0xFF, 0, 0}));
      EXPECT_EQ(bitmap->GetBitmapMatrix().ty, 600);
      EXPECT_EQ(bitmap->GetNext(), nullptr);
      EXPECT_EQ(doc.m_symbols->GetLockCount(), 3);  // one lock per instance

      // The symbol that contains itself: that instance is dropped.
      CDocumentPage* twin = doc.m_symbols->m_next;
      twin->LockUpdate();
      ASSERT_NE(twin->GetRoot(), nullptr);
      CPicObj* inside = twin->GetFirstFrame()->GetFirstChild();
      ASSERT_NE(inside, nullptr);
      EXPECT_EQ(inside->GetNext(), nullptr);
      EXPECT_EQ(static_cast<CPicSymbol*>(inside)->GetSymbol(), doc.m_symbols);
      twin->UnlockUpdate();
    }
    page->UnlockUpdate();

    // The old single-frame page: "Background" below "Normal".
    CDocumentPage* old = Nth(doc.m_pages, 1);
    old->LockUpdate();
    ASSERT_NE(old->GetRoot(), nullptr);
    auto* background = DynamicDowncast<CPicLayer>(old->GetRoot()->GetFirstChild());
    ASSERT_NE(background, nullptr);
    EXPECT_EQ(background->GetName(), "Background");
    EXPECT_EQ(background->GetType(), CPicLayer::kCurrent);
    auto* normal = DynamicDowncast<CPicLayer>(background->GetNext());
    ASSERT_NE(normal, nullptr);
    EXPECT_EQ(normal->GetName(), "Normal");
    EXPECT_EQ(normal->GetType(), CPicLayer::kEditable);
    EXPECT_EQ(normal->GetFirstFrame()->GetGeometry().edge_count, 4u);
    EXPECT_EQ(Count(normal->GetFirstFrame()), 1);
    CPicObj* moved = background->GetFirstFrame()->GetFirstChild();
    ASSERT_NE(moved, nullptr);
    EXPECT_EQ(moved->GetFlags() & 0x0F, CPicObj::kPlainDrawing);  // locked, background cleared
    old->UnlockUpdate();
  }
}

TEST_F(DocumentTest, VersionOneFilesTakeTheirStageFromTheDrawing) {
  CTestDoc doc;
  ASSERT_TRUE(doc.OnOpenDocument(Golden(1)));
  ASSERT_NE(doc.m_pages, nullptr);
  EXPECT_EQ(doc.m_pages->m_next, nullptr);
  CPicFrame* frame = doc.m_pages->GetFirstFrame();
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(Count(frame), 2);
  Rect32 bounds;
  doc.m_pages->GetRoot()->GetBounds(bounds);
  EXPECT_EQ(doc.m_movieRect.xmin, 0);
  EXPECT_EQ(doc.m_movieRect.ymin, 0);
  EXPECT_EQ(bounds, (Rect32{40, doc.m_movieRect.xmax - 40, 40, doc.m_movieRect.ymax - 40}));

  // With no objects the stage is 0, 2880, 0, 2880.
  CMemFile empty(Bytes{1, 0, 0});
  CArchive ar(&empty, CArchive::load);
  CTestDoc bare;
  ar.m_pDocument = &bare;
  bare.Serialize(ar);
  EXPECT_EQ(bare.m_movieRect, (Rect32{0, 2880, 0, 2880}));
  EXPECT_EQ(Count(bare.m_pages->GetFirstFrame()), 0);
}

TEST_F(DocumentTest, SavingWritesOnlyWhatChanged) {
  const std::string path = Path("doc.vmd");
  std::filesystem::copy_file(Golden(16), path);
  const auto original = OleStreams(path, dir_.Dir());
  CTestDoc doc;
  ASSERT_TRUE(doc.OnOpenDocument(path));
  // Page 1 is changed; page 7 is read but left alone; the symbol stays out.
  CDocumentPage* page = doc.m_pages;
  page->LockUpdate();
  Edit(page, [&] { page->GetFirstFrame()->SetLength(7); });
  CDocumentPage* old = Nth(doc.m_pages, 1);
  old->LockUpdate();
  ASSERT_TRUE(doc.OnSaveDocument(path));
  EXPECT_FALSE(doc.IsModified());
  auto saved = OleStreams(path, dir_.Dir());
  EXPECT_NE(saved["Page 1"], original.at("Page 1"));
  EXPECT_EQ(saved["Page 7"], original.at("Page 7"));  // not rewritten (still the old form)
  EXPECT_EQ(saved["Symbol 2"], original.at("Symbol 2"));
  EXPECT_EQ(page->m_dirty, 0);

  // Save As: pages in memory are written, the swapped-out symbol is copied
  // byte for byte.
  const std::string other = Path("other.vmd");
  ASSERT_TRUE(doc.OnSaveDocument(other));
  auto copied = OleStreams(other, dir_.Dir());
  EXPECT_EQ(copied["Symbol 2"], original.at("Symbol 2"));
  EXPECT_EQ(copied["Page 1"], saved["Page 1"]);
  EXPECT_EQ(copied.size(), 5u);
  EXPECT_EQ(doc.GetPathName(), other);

  // A save that fails midway leaves the file as it was.
  const Bytes before = FileBytes(other);
  Edit(page, [&] { page->GetFirstFrame()->SetLength(8); });
  doc.GetFile()->SetWriteHook([](uint64_t offset, size_t count) { return offset + count <= 1024; });
  EXPECT_FALSE(doc.OnSaveDocument(other));
  EXPECT_EQ(FileBytes(other), before);
  doc.GetFile()->SetWriteHook(nullptr);

  // What was saved reads back the same.
  CTestDoc back;
  ASSERT_TRUE(back.OnOpenDocument(other));
  back.m_pages->LockUpdate();
  EXPECT_EQ(back.m_pages->GetFirstFrame()->GetLength(), 7);
  back.m_pages->UnlockUpdate();
  page->UnlockUpdate();
  old->UnlockUpdate();
}

TEST_F(DocumentTest, PagesWrittenReadAndWrittenAgainGiveTheSameBytes) {
  // Every page of a golden file, and a document saved and reopened.
  CTestDoc doc;
  ASSERT_TRUE(doc.OnOpenDocument(Golden(16)));
  std::vector<Bytes> first;
  for (CDocumentPage* list : {doc.m_pages, doc.m_symbols}) {
    for (CDocumentPage* p = list; p != nullptr; p = p->m_next) {
      p->LockUpdate();
      first.push_back(TreeBytes(p));
    }
  }
  const std::string path = Path("again.vmd");
  ASSERT_TRUE(doc.OnSaveDocument(path));
  CTestDoc back;
  ASSERT_TRUE(back.OnOpenDocument(path));
  size_t i = 0;
  for (CDocumentPage* list : {back.m_pages, back.m_symbols}) {
    for (CDocumentPage* p = list; p != nullptr; p = p->m_next) {
      p->LockUpdate();
      ASSERT_LT(i, first.size());
      EXPECT_EQ(TreeBytes(p), first[i++]) << p->m_streamName;
      p->UnlockUpdate();
    }
  }
  EXPECT_EQ(i, first.size());
}

TEST_F(DocumentTest, DamagedRecordsLeaveTheDocumentNew) {
  auto record = [](std::initializer_list<int> bytes) {
    Bytes b;
    for (int x : bytes) b.push_back(static_cast<uint8_t>(x));
    return b;
  };
  // A page record: new class CDocumentPage, version 3, stream name, name, id, attribute.
  auto page = [](Bytes& b, const char* stream, bool firstOfClass) {
    if (firstOfClass) {
      for (int x : {0xFF, 0xFF, 1, 0, 13, 0}) b.push_back(static_cast<uint8_t>(x));
      for (const char* c = "CDocumentPage"; *c; ++c) b.push_back(static_cast<uint8_t>(*c));
    } else {
      b.push_back(1);
      b.push_back(0x80);
    }
    b.push_back(3);
    b.push_back(static_cast<uint8_t>(std::strlen(stream)));
    for (const char* c = stream; *c; ++c) b.push_back(static_cast<uint8_t>(*c));
    for (int x : {0, 0, 0, 0, 0, 0}) b.push_back(static_cast<uint8_t>(x));
  };
  Bytes twoNames = record({16, 0, 0});
  page(twoNames, "Page 1", true);
  page(twoNames, "page 1", false);
  Bytes backReference = record({16, 0, 0});
  page(backReference, "Page 1", true);
  backReference.push_back(2);  // the same page again
  backReference.push_back(0);
  Bytes strayCurrent = record({16, 0, 0});
  page(strayCurrent, "Page 1", true);
  for (int x : {0, 0, 1, 0, 1, 0}) strayCurrent.push_back(static_cast<uint8_t>(x));
  page(strayCurrent, "Page 2", false);  // a current page that is no page of the list
  struct Case {
    const char* name;
    Bytes bytes;
  };
  const Case cases[] = {
      {"version 0", record({0})},
      {"version 17", record({17, 0, 0, 0, 0})},
      {"an embedded item", record({16, 1, 0, 0xFF, 0xFF})},
      {"two pages of one stream", twoNames},
      {"a page read twice", backReference},
      {"a stray current page", strayCurrent},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CTestDoc doc;
    CMemFile file(c.bytes);
    CArchive ar(&file, CArchive::load);
    ar.m_pDocument = &doc;
    EXPECT_THROW(doc.Serialize(ar), CArchiveException);
    EXPECT_EQ(doc.m_pages, nullptr);
    EXPECT_TRUE(CPicObj::IsLoadChainEmpty());
  }
  // Every cut of a good record fails the same way.
  CTestDoc source;
  ASSERT_TRUE(source.OnOpenDocument(Golden(16)));
  CMemFile good;
  {
    CArchive ar(&good, CArchive::store);
    ar.m_pDocument = &source;
    CDocumentBase& base = source;
    (void)base;
    source.Serialize(ar);
    ar.Close();
  }
  const auto bytes = good.GetData();
  for (size_t n = 0; n < bytes.size(); n += 3) {
    CTestDoc doc;
    CMemFile file(bytes.subspan(0, n));
    CArchive ar(&file, CArchive::load);
    ar.m_pDocument = &doc;
    EXPECT_THROW(doc.Serialize(ar), CArchiveException) << n;
    EXPECT_EQ(doc.m_pages, nullptr);
    EXPECT_EQ(doc.m_frameRate, 12 << 16);
    EXPECT_TRUE(CPicObj::IsLoadChainEmpty());
  }
}

TEST_F(DocumentTest, CountersRiseAboveTheNumbersInUse) {
  CTestDoc doc;
  ASSERT_TRUE(doc.OnOpenDocument(Golden(16)));
  doc.m_nextPageNumber = 7;  // as a wrapped counter would have left it
  auto* page = new CDocumentPage;
  page->InitForDocument(&doc, false);
  EXPECT_EQ(page->m_streamName, "Page 8");  // "Page 7" is taken
  doc.AppendPage(page, false);
  EXPECT_EQ(doc.FindStream("PAGE 8"), page);
}

TEST_F(DocumentTest, DocumentOperations) {
  // A new document's stage; a new embedded document's.
  CTestDoc doc;
  ASSERT_TRUE(doc.OnNewDocument());
  EXPECT_EQ(doc.m_movieRect, (Rect32{0, 10800, 0, 14400}));
  ASSERT_NE(doc.m_pages, nullptr);
  EXPECT_EQ(doc.m_pages->m_streamName, "Page 1");
  CTestDoc embedded;
  embedded.OnNewEmbedding();
  EXPECT_EQ(embedded.m_movieRect, (Rect32{0, 2880, 0, 2880}));

  // The same stage twice marks the document modified once.
  doc.SetModifiedFlag(false);
  doc.SetMovieRect({0, 100, 0, 100});
  EXPECT_TRUE(doc.IsModified());
  doc.SetModifiedFlag(false);
  doc.SetMovieRect({0, 100, 0, 100});
  EXPECT_FALSE(doc.IsModified());

  // Symbols named b, A and a, inserted in that order: A, a, b.
  for (const char* name : {"b", "A", "a"}) {
    auto* symbol = new CDocumentPage;
    symbol->InitForDocument(&doc, true);
    symbol->m_name = name;
    CDocumentPage* last = doc.m_symbols;
    while (last != nullptr && last->m_next != nullptr) last = last->m_next;
    doc.InsertSymbol(symbol, last);
  }
  std::string order;
  for (CDocumentPage* s = doc.m_symbols; s != nullptr; s = s->m_next) order += s->m_name;
  EXPECT_EQ(order, "Aab");

  // Snapping to a 360-twip grid: halfway goes away from the origin.
  struct SnapCase {
    Rect32 stage;
    int32_t x, expected;
  };
  const SnapCase snaps[] = {
      {{0, 100, 0, 100}, 179, 0},     {{0, 100, 0, 100}, 180, 360},
      {{0, 100, 0, 100}, -180, -360}, {{0, 100, 0, 100}, -179, 0},
      {{100, 200, 0, 100}, 280, 460}, {{100, 200, 0, 100}, 279, 100},
      {{0, 100, 0, 100}, 1000, 1080},
  };
  doc.m_gridSpacing = 360 << 16;
  doc.m_gridFlags = 0x1;
  for (const SnapCase& c : snaps) {
    doc.m_movieRect = c.stage;
    Point32 p{c.x, 77};
    doc.SnapToGrid(p);
    EXPECT_EQ(p.x, c.expected) << c.x;
    EXPECT_EQ(p.y, 77);  // no grid in y
  }

  // An empty existing file becomes a new document saved under its name.
  const std::string empty = Path("empty.vmd");
  std::ofstream(empty).close();
  CTestDoc fromEmpty;
  ASSERT_TRUE(fromEmpty.OnOpenDocument(empty));
  EXPECT_GT(std::filesystem::file_size(empty), 0u);
  EXPECT_EQ(OleStreams(empty, dir_.Dir()).count("Contents"), 1u);
}

TEST_F(DocumentTest, SymbolsCarriedByACopy) {
  // A source document with a symbol holding a square drawing.
  CTestDoc source;
  ASSERT_TRUE(source.OnNewDocument());
  auto* symbol = new CDocumentPage;
  symbol->InitForDocument(&source, true);
  symbol->m_name = "Star";
  source.AppendPage(symbol, true);
  auto* square = new CPicShape;
  symbol->GetFirstFrame()->AddChild(square);
  symbol->m_attribute = 6;

  CMemFile file;
  {
    CArchive ar(&file, CArchive::store);
    ar.m_pDocument = &source;
    CLoadContext context(&ar, source.m_pages);
    context.WriteSymbol(ar, symbol);
    context.WriteSymbol(ar, symbol);  // carried once, then by name
    context.WriteSymbol(ar, nullptr);
    ar.Close();
  }
  const auto bytes = file.GetData();
  // "Star", a length and the contents; "Star" and length 0; "" and length 0.
  ASSERT_GT(bytes.size(), 20u);
  EXPECT_EQ(Bytes(bytes.end() - 14, bytes.end()),
            (Bytes{4, 'S', 't', 'a', 'r', 0, 0, 0, 0, 0, 0, 0, 0, 0}));

  auto readAll = [&](CTestDoc& target, CDocumentPage* into) {
    file.SeekToBegin();
    CArchive ar(&file, CArchive::load);
    ar.m_pDocument = &target;
    CLoadContext context(&ar, into);
    std::vector<CDocumentPage*> found;
    for (int i = 0; i < 3; ++i) found.push_back(context.ReadSymbol(ar));
    return found;
  };
  CTestDoc target;
  ASSERT_TRUE(target.OnNewDocument());
  auto found = readAll(target, target.m_pages);
  ASSERT_NE(found[0], nullptr);
  EXPECT_EQ(found[0], found[1]);  // the second finds the first through the map
  EXPECT_EQ(found[2], nullptr);
  EXPECT_EQ(target.m_symbols, found[0]);
  EXPECT_EQ(found[0]->m_next, nullptr);
  EXPECT_EQ(found[0]->m_name, "Star");
  EXPECT_EQ(found[0]->m_attribute, 6);
  EXPECT_EQ(found[0]->GetLockCount(), 2);  // one lock per instance that found it
  EXPECT_EQ(TreeBytes(found[0]), TreeBytes(symbol));
  EXPECT_TRUE(CPicObj::IsLoadChainEmpty());
  for (CDocumentPage* s : {found[0], found[1]}) s->UnlockUpdate();

  // A document that has a symbol of that name uses it.
  auto again = readAll(target, target.m_pages);
  EXPECT_EQ(again[0], found[0]);
  EXPECT_EQ(target.m_symbols->m_next, nullptr);
  for (CDocumentPage* s : {again[0], again[1]}) s->UnlockUpdate();

  // A symbol cannot receive itself.
  auto refused = readAll(target, found[0]);
  EXPECT_EQ(refused[0], nullptr);
  EXPECT_EQ(refused[1], nullptr);
}

TEST_F(DocumentTest, RandomPagesReadBackAsWritten) {
  // Pages with drawings made by edge-graph operations, tweens, actions,
  // linked layers and nested groups: written, read and written again.
  for (uint16_t seed = 1; seed <= 12; ++seed) {
    SCOPED_TRACE(seed);
    Random16 rnd(seed);
    auto pick = [&](int n) {
      return static_cast<int>(static_cast<uint16_t>(RandomFixed(rnd, 0x20000)) % n);
    };
    CTestDoc doc;
    ASSERT_TRUE(doc.OnNewDocument());
    CDocumentPage* page = doc.m_pages;
    CPicPage* root = page->GetRoot();
    for (int l = pick(3); l > 0; --l) root->AddLayer();
    std::vector<CPicLayer*> layers;
    for (CPicObj* c = root->GetFirstChild(); c != nullptr; c = c->GetNext()) {
      layers.push_back(static_cast<CPicLayer*>(c));
    }
    if (layers.size() >= 2 && pick(2) == 0) layers[0]->LinkTo(layers[1]);
    for (CPicLayer* layer : layers) {
      layer->SetColorIndex(pick(6));
      for (int k = pick(3); k > 0; --k) layer->AddKeyFrame();
      for (CPicObj* f = layer->GetFirstChild(); f != nullptr; f = f->GetNext()) {
        auto* frame = static_cast<CPicFrame*>(f);
        frame->SetLength(1 + pick(5));
        frame->SetFrameStyle(pick(2) != 0 ? CPicFrame::kTweenMotion | CPicFrame::kTweenRotate : 0);
        frame->SetFrameMode(pick(201) - 100);
        CFrameAction action;
        action.type = pick(13);
        action.url = "http://x/" + std::to_string(pick(100));
        action.frame = 1 + pick(9);
        frame->SetAction(action);
        PointList path;
        const int32_t x = pick(4000), y = pick(4000);
        ASSERT_EQ(PathFromEllipse(path, {x, x + 100 + pick(900), y, y + 100 + pick(900)}), 0);
        FillStyle fill = SolidFill(0xFF000000u | static_cast<uint32_t>(pick(0xFFFF)));
        EdgeGraph& g = frame->GetGeometry();
        ASSERT_EQ(EdgeGraphAddPath(g, path, 0,
                                   static_cast<StyleIndex>(EdgeGraphAddFillStyle(g, fill)), 0),
                  0);
        // A group holding a drawing and a nested group.
        auto* group = new CPicShape;
        auto* inner = new CPicShape;
        PointList box;
        ASSERT_EQ(PathFromRect(box, {x, x + 300, y, y + 200}), 0);
        LineStyle line = SolidLine(0xFF0000FF, 20 + pick(40));
        EdgeGraph& ig = inner->GetGeometry();
        ASSERT_EQ(EdgeGraphAddPath(ig, box,
                                   static_cast<StyleIndex>(EdgeGraphAddLineStyle(ig, line)), 0, 0),
                  0);
        group->AddChild(inner);
        group->AddChild(new CPicShape);
        frame->AddChild(group);
      }
    }
    const Bytes first = TreeBytes(page);
    CMemFile file(first);
    CArchive ar(&file, CArchive::load);
    ar.m_pDocument = &doc;
    CDocumentPage copy;
    copy.m_document = &doc;
    copy.SerializeContents(ar);
    CPicObj::ReleaseLoadChain(false);
    EXPECT_EQ(TreeBytes(&copy), first);
    copy.m_document = nullptr;
  }
}
