#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/core/archive.h"
#include "platform/core/exceptions.h"
#include "platform/core/file.h"
#include "test_classes.h"
#include "tests/common/temp_dir.h"

namespace {

using Bytes = std::vector<uint8_t>;

TEST(RuntimeClass, RegistryCreatesByNameAndTestsKinds) {
  const CRuntimeClass* derived = CRuntimeClass::FromName("CTestDerived");
  ASSERT_EQ(derived, RUNTIME_CLASS(CTestDerived));
  EXPECT_EQ(CRuntimeClass::FromName("CTestDerivedX"), nullptr);
  EXPECT_EQ(CRuntimeClass::FromName("CTracked"), nullptr);  // dynamic only: not registered

  CObject* obj = derived->CreateObject();
  EXPECT_TRUE(obj->IsKindOf(RUNTIME_CLASS(CTestDerived)));
  EXPECT_TRUE(obj->IsKindOf(RUNTIME_CLASS(CTestItem)));
  EXPECT_TRUE(obj->IsKindOf(RUNTIME_CLASS(CObject)));
  EXPECT_FALSE(obj->IsKindOf(RUNTIME_CLASS(CTestLink)));
  EXPECT_NE(DynamicDowncast<CTestItem>(obj), nullptr);
  EXPECT_EQ(DynamicDowncast<CTestLink>(obj), nullptr);
  EXPECT_EQ(obj->GetRuntimeClass()->m_wSchema, 1);
  delete obj;

  EXPECT_THROW(RUNTIME_CLASS(CTracked)->CreateObject(), CNotSupportedException);
  CTracked::DeleteAll();
}

TEST(MemFile, GrowsSeeksAndDetaches) {
  CMemFile file(256);
  const Bytes data{1, 2, 3, 4, 5};
  file.Write(data.data(), data.size());
  EXPECT_EQ(file.GetLength(), 5u);
  file.Seek(8, CFile::begin);  // past the end: the gap is zero-filled by the write
  file.Write(data.data(), 1);
  EXPECT_EQ(Bytes(file.GetData().begin(), file.GetData().end()),
            (Bytes{1, 2, 3, 4, 5, 0, 0, 0, 1}));
  file.Seek(-2, CFile::end);
  uint8_t buf[8];
  EXPECT_EQ(file.Read(buf, sizeof buf), 2u);
  EXPECT_EQ(file.Read(buf, sizeof buf), 0u);
  EXPECT_THROW(file.Seek(-1, CFile::begin), CFileException);
  file.SetLength(3);
  EXPECT_EQ(file.GetPosition(), 3u);
  EXPECT_EQ(file.Detach(), (Bytes{1, 2, 3}));
  EXPECT_EQ(file.GetLength(), 0u);
}

TEST(DiskFile, ArchiveRoundTripAndOpenFailures) {
  TempDir dir("diskfile");
  std::string path = dir.Path("list.clr");
  {
    CDiskFile file(path, CDiskFile::modeCreate | CDiskFile::modeWrite);
    CArchive ar(&file, CArchive::store);
    ar.WriteString("colours");
    ar << uint32_t{0xFF0000FF};
    ar.Close();
    file.Close();
  }
  {
    CDiskFile file(path, CDiskFile::modeRead);
    EXPECT_EQ(file.GetLength(), 12u);
    CArchive ar(&file, CArchive::load);
    uint32_t colour;
    EXPECT_EQ(ar.ReadString(), "colours");
    ar >> colour;
    EXPECT_EQ(colour, 0xFF0000FFu);
    EXPECT_THROW(ar >> colour, CArchiveException);
  }
  try {
    CDiskFile missing(dir.Path("missing"), CDiskFile::modeRead);
    FAIL();
  } catch (const CFileException& e) {
    EXPECT_EQ(e.m_cause, CFileException::fileNotFound);
  }
  try {
    CDiskFile directory(dir.Dir(), CDiskFile::modeRead);
    FAIL();
  } catch (const CFileException& e) {
    EXPECT_EQ(e.m_cause, CFileException::accessDenied);
  }
}

}  // namespace
