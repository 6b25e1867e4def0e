#include "platform/core/archive.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "geometry/fixed.h"
#include "platform/core/archive_geometry.h"
#include "platform/core/exceptions.h"
#include "test_classes.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Store(const std::function<void(CArchive&)>& write) {
  CMemFile file;
  CArchive ar(&file, CArchive::store);
  write(ar);
  ar.Close();
  auto data = file.GetData();
  return Bytes(data.begin(), data.end());
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes Text(std::string_view s) {
  return Bytes(s.begin(), s.end());
}

std::string Hex(const Bytes& b, size_t limit = 64) {
  std::string s;
  char buf[4];
  for (size_t i = 0; i < b.size() && i < limit; ++i) {
    std::snprintf(buf, sizeof buf, "%02X ", b[i]);
    s += buf;
  }
  return s;
}

class ArchiveTest : public ::testing::Test {
 protected:
  void TearDown() override { CTracked::DeleteAll(); }

  // Loads bytes; the body reads from the archive.
  static void Load(const Bytes& bytes, const std::function<void(CArchive&)>& read) {
    CMemFile file(bytes);
    CArchive ar(&file, CArchive::load);
    read(ar);
  }

  static CArchiveException::Cause LoadFailure(const Bytes& bytes,
                                              const std::function<void(CArchive&)>& read) {
    try {
      Load(bytes, read);
    } catch (const CArchiveException& e) {
      return e.m_cause;
    }
    return CArchiveException::none;
  }
};

// ---- primitives ------------------------------------------------------------------

TEST_F(ArchiveTest, IntegersAreLittleEndian) {
  Bytes b = Store([](CArchive& ar) {
    ar << uint8_t{0xAB} << uint16_t{0x1234} << int16_t{-2} << uint32_t{0x12345678} << int32_t{-1}
       << int32_t{INT32_MIN};
  });
  EXPECT_EQ(b, (Bytes{0xAB, 0x34, 0x12, 0xFE, 0xFF, 0x78, 0x56, 0x34, 0x12, 0xFF, 0xFF, 0xFF, 0xFF,
                      0x00, 0x00, 0x00, 0x80}));
  Load(b, [](CArchive& ar) {
    uint8_t a;
    uint16_t c;
    int16_t d;
    uint32_t e;
    int32_t f, g;
    ar >> a >> c >> d >> e >> f >> g;
    EXPECT_EQ(a, 0xAB);
    EXPECT_EQ(c, 0x1234);
    EXPECT_EQ(d, -2);
    EXPECT_EQ(e, 0x12345678u);
    EXPECT_EQ(f, -1);
    EXPECT_EQ(g, INT32_MIN);
    EXPECT_EQ(ar.GetRemaining(), 0u);
  });
}

TEST_F(ArchiveTest, StringLengthPrefixForms) {
  struct Case {
    size_t length;
    Bytes prefix;
  };
  const Case cases[] = {
      {0, {0x00}},
      {3, {0x03}},
      {254, {0xFE}},
      {255, {0xFF, 0xFF, 0x00}},
      {65533, {0xFF, 0xFD, 0xFF}},
      {65534, {0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}},
      {70000, {0xFF, 0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.length);
    std::string s(c.length, 'x');
    for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<char>('a' + i % 26);
    Bytes b = Store([&](CArchive& ar) { ar.WriteString(s); });
    ASSERT_EQ(b.size(), c.prefix.size() + c.length);
    EXPECT_EQ(Bytes(b.begin(), b.begin() + static_cast<long>(c.prefix.size())), c.prefix);
    EXPECT_EQ(std::string(b.begin() + static_cast<long>(c.prefix.size()), b.end()), s);
    Load(b, [&](CArchive& ar) { EXPECT_EQ(ar.ReadString(), s); });
  }
}

TEST_F(ArchiveTest, ShortStringBlobAndCountForms) {
  Bytes big(70000);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 7);
  Bytes b = Store([&](CArchive& ar) {
    ar.WriteShortString("Page 1");
    ar.WriteBlob({});
    ar.WriteBlob(Bytes{1, 2, 3});
    ar.WriteCount(5);
    ar.WriteCount(65534);
    ar.WriteCount(65535);
    ar.WriteBlob(big);  // size cut to 16 bits: 70000 & 0xFFFF = 4464 bytes follow
    ar << uint8_t{0x5A};
  });
  Bytes expected = Concat({{6},
                           Text("Page 1"),
                           {0, 0},
                           {3, 0, 1, 2, 3},
                           {5, 0},
                           {0xFE, 0xFF},
                           {0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00},
                           {0x70, 0x11},
                           Bytes(big.begin(), big.begin() + 4464),
                           {0x5A}});
  EXPECT_EQ(b, expected);
  Load(b, [&](CArchive& ar) {
    EXPECT_EQ(ar.ReadShortString(), "Page 1");
    EXPECT_EQ(ar.ReadBlob(), Bytes{});
    EXPECT_EQ(ar.ReadBlob(), (Bytes{1, 2, 3}));
    EXPECT_EQ(ar.ReadCount(), 5u);
    EXPECT_EQ(ar.ReadCount(), 65534u);
    EXPECT_EQ(ar.ReadCount(), 65535u);
    EXPECT_EQ(ar.ReadBlob(), Bytes(big.begin(), big.begin() + 4464));
    uint8_t tail;
    ar >> tail;
    EXPECT_EQ(tail, 0x5A);  // still in step after the cut blob
  });
  EXPECT_THROW(Store([](CArchive& ar) { ar.WriteShortString(std::string(256, 'a')); }),
               CArchiveException);
}

TEST_F(ArchiveTest, GeometryRecordsMatchTheGeometryCoreForm) {
  const Point32 p{1, -2};
  const Rect32 r{-5, 6, 7, INT32_MAX};
  const Matrix2x3 m{kFixedOne, 2, -3, kFixedHalf, 100000, -100000};
  Bytes b = Store([&](CArchive& ar) { ar << p << r << m; });
  Bytes expected;
  ArchiveWritePoint(expected, p);
  ArchiveWriteRect(expected, r);
  ArchiveWriteMatrix(expected, m);
  EXPECT_EQ(b, expected);
  EXPECT_EQ(Bytes(b.begin(), b.begin() + 8), (Bytes{1, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF}));
  Load(b, [&](CArchive& ar) {
    Point32 p2;
    Rect32 r2;
    Matrix2x3 m2;
    ar >> p2 >> r2 >> m2;
    EXPECT_EQ(p2, p);
    EXPECT_EQ(r2, r);
    EXPECT_EQ(m2, m);
  });
}

TEST_F(ArchiveTest, ModeMisuseAndClosedArchiveThrow) {
  CMemFile file;
  CArchive storing(&file, CArchive::store);
  uint8_t v = 0;  // the failed read leaves it as it was, and it is written below
  try {
    storing >> v;
    FAIL();
  } catch (const CArchiveException& e) {
    EXPECT_EQ(e.m_cause, CArchiveException::writeOnly);
  }
  storing.Close();
  EXPECT_THROW(storing << v, CArchiveException);
  CArchive loading(&file, CArchive::load);
  try {
    loading << v;
    FAIL();
  } catch (const CArchiveException& e) {
    EXPECT_EQ(e.m_cause, CArchiveException::readOnly);
  }
}

TEST_F(ArchiveTest, ClosingALoadingArchiveLeavesTheFileAtItsLogicalPosition) {
  CMemFile file(Bytes{1, 2, 3, 4, 5, 6});
  CArchive ar(&file, CArchive::load);
  uint16_t v;
  ar >> v;
  ar.Close();
  EXPECT_EQ(file.GetPosition(), 2u);
}

TEST_F(ArchiveTest, DestructionWithoutCloseWritesNothing) {
  CMemFile file;
  {
    CArchive ar(&file, CArchive::store);
    ar << uint32_t{7};
  }
  EXPECT_EQ(file.GetLength(), 0u);
}

// ---- object framing ------------------------------------------------------------------

TEST_F(ArchiveTest, ObjectFramingGoldenBytes) {
  auto* first = new CTestItem;
  first->value = 7;
  auto* second = new CTestItem;
  second->value = 8;
  auto* derived = new CTestDerived;
  derived->value = 9;
  derived->label = "x";
  auto* link = new CTestLink;
  link->next = link;  // refers to itself: a back reference inside its own record
  Bytes b = Store([&](CArchive& ar) {
    ar << first << second << first << static_cast<CObject*>(nullptr) << derived << link;
  });
  Bytes expected = Concat({
      {0xFF, 0xFF, 0x02, 0x00, 0x09, 0x00},
      Text("CTestItem"),
      {7, 0, 0, 0},  // class 1, object 2
      {0x01, 0x80},
      {8, 0, 0, 0},  // object 3
      {0x02, 0x00},  // back to 2
      {0x00, 0x00},  // null
      {0xFF, 0xFF, 0x01, 0x00, 0x0C, 0x00},
      Text("CTestDerived"),
      {9, 0, 0, 0},
      {1, 'x'},  // 4, 5
      {0xFF, 0xFF, 0x01, 0x00, 0x09, 0x00},
      Text("CTestLink"),
      {0x07, 0x00},  // 6, 7 -> 7
  });
  EXPECT_EQ(b, expected) << Hex(b);

  Load(b, [&](CArchive& ar) {
    CTestItem *a, *c, *d, *n;
    CObject* e;
    CTestLink* l;
    ar >> a >> c >> d >> n >> e >> l;
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->value, 7u);
    EXPECT_EQ(c->value, 8u);
    EXPECT_EQ(d, a);
    EXPECT_EQ(n, nullptr);
    auto* ed = DynamicDowncast<CTestDerived>(e);
    ASSERT_NE(ed, nullptr);
    EXPECT_EQ(ed->value, 9u);
    EXPECT_EQ(ed->label, "x");
    EXPECT_EQ(l->next, l);
  });
}

TEST_F(ArchiveTest, IndicesFrom0x7FFFUseTheEscape) {
  // Class 1, objects 2 .. 40001; then a second class at 40002 and its object.
  constexpr int kItems = 40000;
  std::vector<CTestItem*> items;
  for (int i = 0; i < kItems; ++i) {
    items.push_back(new CTestItem);
    items.back()->value = static_cast<uint32_t>(i);
  }
  auto* d1 = new CTestDerived;
  auto* d2 = new CTestDerived;
  Bytes b = Store([&](CArchive& ar) {
    for (auto* item : items) ar << item;
    ar << d1 << d2;
    ar << items[0x7FFE - 2] << items[0x7FFF - 2] << items[kItems - 1] << d2;
  });
  // Items: new class (6 + 9 bytes) + 4, then 39999 x (2 + 4).
  size_t pos = 6 + 9 + 4 + (kItems - 1) * 6;
  EXPECT_EQ(Bytes(b.begin() + 6 + 9 + 4, b.begin() + 6 + 9 + 4 + 2), (Bytes{0x01, 0x80}));
  pos += 6 + 12 + 4 + 1;  // d1: new class 40002, object 40003
  Bytes tail(b.begin() + static_cast<long>(pos), b.end());
  Bytes expected = Concat({
      {0xFF, 0x7F, 0x42, 0x9C, 0x00, 0x80},
      {0, 0, 0, 0},
      {0},                                   // d2: class 40002 via escape
      {0xFE, 0x7F},                          // object 0x7FFE: plain
      {0xFF, 0x7F, 0xFF, 0x7F, 0x00, 0x00},  // object 0x7FFF: escape
      {0xFF, 0x7F, 0x41, 0x9C, 0x00, 0x00},  // object 40001
      {0xFF, 0x7F, 0x44, 0x9C, 0x00, 0x00},  // d2 = object 40004
  });
  EXPECT_EQ(tail, expected) << Hex(tail);

  std::vector<CTestItem*> loaded;
  Load(b, [&](CArchive& ar) {
    for (int i = 0; i < kItems + 6; ++i) {
      CTestItem* item;
      ar >> item;
      loaded.push_back(item);
    }
    EXPECT_EQ(ar.GetRemaining(), 0u);
  });
  ASSERT_EQ(loaded.size(), static_cast<size_t>(kItems + 6));
  EXPECT_EQ(loaded[kItems - 1]->value, static_cast<uint32_t>(kItems - 1));
  EXPECT_TRUE(loaded[kItems]->IsKindOf(RUNTIME_CLASS(CTestDerived)));
  EXPECT_NE(loaded[kItems + 1], loaded[kItems]);
  EXPECT_EQ(loaded[kItems + 2], loaded[0x7FFE - 2]);
  EXPECT_EQ(loaded[kItems + 3], loaded[0x7FFF - 2]);
  EXPECT_EQ(loaded[kItems + 4], loaded[kItems - 1]);
  EXPECT_EQ(loaded[kItems + 5], loaded[kItems + 1]);
}

// Every proper prefix of a valid archive is refused as a short one.
TEST_F(ArchiveTest, EveryTruncationThrowsEndOfFile) {
  auto* item = new CTestItem;
  auto* derived = new CTestDerived;
  derived->label = std::string(300, 'q');
  auto* link = new CTestLink;
  link->next = link;
  Bytes b = Store([&](CArchive& ar) {
    ar << item << derived << item << link;
    ar.WriteBlob(Bytes{1, 2, 3});
    ar.WriteCount(70000);
    ar << Point32{1, 2};
  });
  auto readAll = [](CArchive& ar) {
    CObject* o;
    for (int i = 0; i < 4; ++i) ar >> o;
    ar.ReadBlob();
    ar.ReadCount();
    Point32 p;
    ar >> p;
  };
  EXPECT_EQ(LoadFailure(b, readAll), CArchiveException::none);
  for (size_t n = 0; n < b.size(); ++n) {
    SCOPED_TRACE(n);
    EXPECT_EQ(LoadFailure(Bytes(b.begin(), b.begin() + static_cast<long>(n)), readAll),
              CArchiveException::endOfFile);
    CTracked::DeleteAll();
  }
}

TEST_F(ArchiveTest, MalformedObjectReferencesThrowTheirCause) {
  const Bytes itemClass = Concat({{0xFF, 0xFF, 0x02, 0x00, 0x09, 0x00}, Text("CTestItem")});
  const Bytes linkClass = Concat({{0xFF, 0xFF, 0x01, 0x00, 0x09, 0x00}, Text("CTestLink")});
  struct Case {
    const char* what;
    Bytes bytes;
    const CRuntimeClass* requested;
    CArchiveException::Cause cause;
  };
  const Case cases[] = {
      {"unknown class", Concat({{0xFF, 0xFF, 1, 0, 7, 0}, Text("CNoSuch"), {0, 0, 0, 0}}), nullptr,
       CArchiveException::badClass},
      {"class without dynamic creation", Concat({{0xFF, 0xFF, 0xFF, 0xFF, 8, 0}, Text("CTracked")}),
       nullptr, CArchiveException::badClass},
      {"name of 64 bytes", Concat({{0xFF, 0xFF, 1, 0, 64, 0}, Bytes(64, 'A')}), nullptr,
       CArchiveException::badClass},
      {"known class, other schema",
       Concat({{0xFF, 0xFF, 0x01, 0x00, 0x09, 0x00}, Text("CTestItem"), {0, 0, 0, 0}}), nullptr,
       CArchiveException::badSchema},
      {"back reference never read", {0x05, 0x00}, nullptr, CArchiveException::badIndex},
      {"back reference to a class", Concat({itemClass, {1, 0, 0, 0}, {0x01, 0x00}}), nullptr,
       CArchiveException::badIndex},
      {"class reference to an object", Concat({itemClass, {1, 0, 0, 0}, {0x02, 0x80}}), nullptr,
       CArchiveException::badIndex},
      {"class reference 0", {0x00, 0x80}, nullptr, CArchiveException::badIndex},
      {"escaped index beyond",
       {0xFF, 0x7F, 0x10, 0x00, 0x00, 0x80},
       nullptr,
       CArchiveException::badIndex},
      {"new object of another class", Concat({linkClass, {0, 0}}), RUNTIME_CLASS(CTestItem),
       CArchiveException::badClass},
      {"base class where a derived one is asked", Concat({itemClass, {1, 0, 0, 0}}),
       RUNTIME_CLASS(CTestDerived), CArchiveException::badClass},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes bytes = c.bytes;
    EXPECT_EQ(LoadFailure(bytes,
                          [&](CArchive& ar) {
                            for (int i = 0; i < 3; ++i) ar.ReadObject(c.requested);
                          }),
              c.cause);
    CTracked::DeleteAll();
  }
  // A back reference of the wrong class.
  Bytes wrongBack = Concat({linkClass, {0, 0}, {0x02, 0x00}});
  EXPECT_EQ(LoadFailure(wrongBack,
                        [](CArchive& ar) {
                          CTestLink* l;
                          CTestItem* i;
                          ar >> l >> i;
                        }),
            CArchiveException::badClass);
}

TEST_F(ArchiveTest, HugeLengthsFailWithoutAllocating) {
  struct Case {
    const char* what;
    Bytes bytes;
    std::function<void(CArchive&)> read;
    CArchiveException::Cause cause;
  };
  const Case cases[] = {
      {"u32 string length",
       {0xFF, 0xFF, 0xFF, 0xF0, 0xFF, 0xFF, 0xFF, 'a'},
       [](CArchive& ar) { ar.ReadString(); },
       CArchiveException::endOfFile},
      {"u16 string length",
       {0xFF, 0x00, 0x10, 'a'},
       [](CArchive& ar) { ar.ReadString(); },
       CArchiveException::endOfFile},
      {"wide-string marker",
       {0xFF, 0xFE, 0xFF, 0x01, 'a'},
       [](CArchive& ar) { ar.ReadString(); },
       CArchiveException::genericException},
      {"blob",
       {0xFF, 0xFF, 1, 2},
       [](CArchive& ar) { ar.ReadBlob(); },
       CArchiveException::endOfFile},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(LoadFailure(c.bytes, c.read), c.cause);
  }
}

TEST_F(ArchiveTest, NestingIsBoundedWhileLoading) {
  auto chain = [](int depth) {
    Bytes b = Concat({{0xFF, 0xFF, 0x01, 0x00, 0x09, 0x00}, Text("CTestLink")});
    for (int i = 1; i < depth; ++i) b.insert(b.end(), {0x01, 0x80});
    b.insert(b.end(), {0x00, 0x00});
    return b;
  };
  auto read = [](CArchive& ar) {
    CTestLink* l;
    ar >> l;
  };
  EXPECT_EQ(LoadFailure(chain(100), read), CArchiveException::none);
  CTracked::DeleteAll();
  EXPECT_EQ(LoadFailure(chain(CArchive::kMaxLoadDepth + 1), read),
            CArchiveException::genericException);
}

}  // namespace
