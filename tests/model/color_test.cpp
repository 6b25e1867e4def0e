#include "model/color_def.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/core/exceptions.h"
#include "platform/core/file.h"
#include "tests/common/edge_styles.h"
#include "tests/common/temp_dir.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string RunPython(const std::string& script, const std::string& dir) {
  const std::string path = dir + "/oracle.py";
  std::ofstream(path) << script;
  FILE* pipe = ::popen((std::string(VM_PYTHON3) + " " + path).c_str(), "r");
  std::string out;
  char buf[4096];
  size_t n;
  while (pipe != nullptr && (n = std::fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
  EXPECT_EQ(pipe != nullptr ? ::pclose(pipe) : -1, 0) << out;
  return out;
}

Bytes Store(CObject* obj) {
  CMemFile file;
  CArchive ar(&file, CArchive::store);
  ar.WriteObject(obj);
  ar.Close();
  auto data = file.GetData();
  return Bytes(data.begin(), data.end());
}

void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

Bytes FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class ColorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.Path("Vimbrel.clr");
    SetColorListPath(path_);
  }
  void TearDown() override {
    FreeDefaultColorLists();
    SetColorListPath("");
  }
  TempDir dir_{"color"};
  std::string path_;
};

uint32_t Opaque(int r, int g, int b) {
  return 0xFF000000u | static_cast<uint32_t>(r) | static_cast<uint32_t>(g) << 8 |
         static_cast<uint32_t>(b) << 16;
}

}  // namespace

TEST_F(ColorTest, RgbToHlsAgreesWithColorsys) {
  std::vector<int> steps = {0, 1, 17, 51, 64, 102, 127, 128, 153, 200, 204, 254, 255};
  std::ostringstream script;
  script << "import colorsys\nvals=[";
  for (int v : steps) script << v << ",";
  script << "]\nfor r in vals:\n for g in vals:\n  for b in vals:\n"
            "   h,l,s=colorsys.rgb_to_hls(r/255,g/255,b/255)\n"
            "   print(r,g,b,h*240,s*240,l*240)\n";
  std::istringstream out(RunPython(script.str(), dir_.Dir()));
  int r, g, b, count = 0;
  double h, s, l;
  while (out >> r >> g >> b >> h >> s >> l) {
    const HlsTriple t = RgbToHls(r, g, b);
    SCOPED_TRACE(std::to_string(r) + "," + std::to_string(g) + "," + std::to_string(b));
    double dh = std::abs(t.hue - h);
    dh = std::min(dh, 240 - dh);  // hue is an angle
    // Near greys the hue means nothing (scaling can make them grey).
    if (s > 4) {
      EXPECT_LE(dh, 2.0);
    } else if (r == g && g == b) {
      EXPECT_EQ(t.hue, 0);
    }
    EXPECT_LE(std::abs(t.saturation - std::min(s, 239.0)), 2.0);
    EXPECT_LE(std::abs(t.lightness - std::min(l, 239.0)), 2.0);
    EXPECT_GE(t.hue, 0);
    EXPECT_LE(t.hue, 239);
    EXPECT_LE(t.saturation, 239);
    EXPECT_LE(t.lightness, 239);
    ++count;
  }
  EXPECT_EQ(count, 13 * 13 * 13);
  EXPECT_EQ(RgbToHls(255, 255, 255), (HlsTriple{0, 0, 239}));
  EXPECT_EQ(RgbToHls(128, 128, 128).saturation, 0);
}

TEST_F(ColorTest, DefaultsFollowTheLoops) {
  LoadDefaultColorLists();  // no file yet
  CColorList& solids = *SolidColorList();
  ASSERT_EQ(solids.GetCount(), 228u);
  std::vector<uint32_t> expected;
  for (int v = 0; v <= 255; v += 51) expected.push_back(Opaque(v, v, v));
  for (auto [r, g, b] : std::vector<std::array<int, 3>>{
           {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}, {0, 255, 255}, {255, 0, 255}})
    expected.push_back(Opaque(r, g, b));
  for (int i = 0; i <= 2; ++i)
    for (int j = 0; j <= 5; ++j)
      for (int k = 0; k <= 1; ++k)
        for (int l = 0; l <= 5; ++l) expected.push_back(Opaque(102 * i + 51 * k, 51 * l, 51 * j));
  for (size_t i = 0; i < expected.size(); ++i) {
    const CColorDef* def = solids.GetColor(static_cast<int32_t>(i));
    EXPECT_EQ(def->Data().colour, expected[i]) << i;
    EXPECT_EQ(def->Data().kind, kFillSolid);
    EXPECT_EQ(def->Hls(), CColorDef::ConvertColorRef(expected[i])) << i;
  }
  EXPECT_EQ(GetListRgb(6), 0x0000FFu);

  CColorList& gradients = *GradientColorList();
  ASSERT_EQ(gradients.GetCount(), 6u);
  const uint8_t kinds[] = {0x10, 0x12, 0x12, 0x12, 0x12, 0x10};
  const uint32_t firsts[] = {0xFFFFFFFF,        0xFFFFFFFF,        Opaque(255, 0, 0),
                             Opaque(0, 255, 0), Opaque(0, 0, 255), Opaque(255, 0, 0)};
  for (int i = 0; i < 6; ++i) {
    const FillStyle& d = gradients.GetColor(i)->Data();
    EXPECT_EQ(d.kind, kinds[i]);
    EXPECT_EQ(d.colour, 0xFF000000u);
    EXPECT_EQ(d.gradient.colours[0], firsts[i]);
    EXPECT_EQ(d.matrix, Matrix2x3{});
    EXPECT_EQ(gradients.GetColor(i)->Hls(), CColorDef::ConvertColorRef(firsts[i]));
  }
  const FillStyle& rainbow = gradients.GetColor(5)->Data();
  ASSERT_EQ(rainbow.gradient.count, 7);
  const uint8_t ratios[] = {0, 42, 93, 127, 170, 212, 255};
  for (int i = 0; i < 7; ++i) EXPECT_EQ(rainbow.gradient.ratios[i], ratios[i]);
  EXPECT_EQ(rainbow.gradient.colours[3], Opaque(0, 255, 255));
}

TEST_F(ColorTest, SavedListsLoadBackAndAFailedSaveKeepsTheFile) {
  LoadDefaultColorLists();
  SolidColorList()->AddColor(0xFF123456, {1, 2, 3});
  SaveDefaultColorLists();
  const Bytes saved = FileBytes(path_);
  FreeDefaultColorLists();
  LoadDefaultColorLists();
  ASSERT_EQ(SolidColorList()->GetCount(), 229u);
  EXPECT_EQ(SolidColorList()->GetColor(228)->Data().colour, 0xFF123456u);
  EXPECT_EQ(SolidColorList()->GetColor(228)->Hls(), (HlsTriple{1, 2, 3}));
  EXPECT_EQ(GradientColorList()->GetCount(), 6u);
  for (int i = 0; i < 6; ++i)
    EXPECT_TRUE(*GradientColorList()->GetColor(i) ==
                CColorDef(GradientColorList()->GetColor(i)->Data()));
  // The new file cannot be made: the save fails silently, the old one stays.
  std::filesystem::create_directory(path_ + ".new");
  SolidColorList()->RemoveAll();
  SaveDefaultColorLists();
  EXPECT_EQ(FileBytes(path_), saved);
}

TEST_F(ColorTest, DamagedOrPartialFilesFallBackToDefaults) {
  CColorList solids;
  solids.AddColor(0xFF0000FF, {0, 239, 120});
  const Bytes list = Store(&solids);
  struct Case {
    const char* name;
    Bytes file;
    size_t solids, gradients;
  };
  Bytes nullGradients = list;
  nullGradients.push_back(0);
  nullGradients.push_back(0);
  Bytes truncated(list.begin(), list.end() - 3);
  Bytes backReference = list;  // the gradient list names the solid list again
  backReference.push_back(1);
  backReference.push_back(0);
  Bytes secondDamaged = list;  // a second list whose first element is cut short
  secondDamaged.insert(secondDamaged.end(), {0x02, 0x80, 0x01, 0x00, 0x01, 0x80, 0x03});
  const Case cases[] = {
      {"null gradients keep the solids", nullGradients, 1, 6},
      {"truncated solids", truncated, 228, 6},
      {"back reference", backReference, 1, 6},
      {"damaged gradients", secondDamaged, 1, 6},
      {"empty file", {}, 228, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(path_, c.file);
    LoadDefaultColorLists();
    EXPECT_EQ(SolidColorList()->GetCount(), c.solids);
    EXPECT_EQ(GradientColorList()->GetCount(), c.gradients);
  }
}

TEST_F(ColorTest, DefinitionRecords) {
  // Version 3 with a stored hue of 300: recomputed; version 2: recomputed;
  // a gradient of 9 stops keeps 8 and skips the ninth's bytes.
  auto record = [](uint8_t version, std::initializer_list<uint8_t> tail) {
    Bytes b = {0xFF, 0xFF, 0x00, 0x00, 9, 0, 'C', 'C', 'o', 'l', 'o', 'r', 'D', 'e', 'f', version};
    b.insert(b.end(), tail);
    return b;
  };
  auto read = [](const Bytes& b, CColorDef& out, uint64_t& left) {
    CMemFile file(b);
    CArchive ar(&file, CArchive::load);
    try {
      CObject* obj = ar.ReadObject(RUNTIME_CLASS(CColorDef));
      out = *static_cast<CColorDef*>(obj);
      left = ar.GetRemaining();
      delete obj;
    } catch (...) {
      for (CObject* made : ar.GetLoadedObjects()) delete made;
      throw;
    }
  };
  CColorDef def;
  uint64_t left;
  read(record(3, {0xFF, 0, 0, 0xFF, 0, 0, 0x2C, 0x01, 5, 0, 5, 0}), def, left);
  EXPECT_EQ(def.Hls(), CColorDef::ConvertColorRef(0xFF0000FF));
  read(record(3, {0xFF, 0, 0, 0xFF, 0, 0, 7, 0, 8, 0, 9, 0}), def, left);
  EXPECT_EQ(def.Hls(), (HlsTriple{7, 8, 9}));
  read(record(2, {0xFF, 0, 0, 0xFF, 0, 0, 7, 0, 8, 0, 9, 0}), def, left);
  EXPECT_EQ(def.Hls(), CColorDef::ConvertColorRef(0xFF0000FF));
  Bytes gradient = {0, 0, 0, 0xFF, 0x10, 0};
  for (int i = 0; i < 6; ++i) gradient.insert(gradient.end(), {0, 0, 1, 0});
  gradient.push_back(9);
  for (int i = 0; i < 9; ++i)
    gradient.insert(gradient.end(), {uint8_t(i * 20), uint8_t(i), 0, 0, 0xFF});
  gradient.insert(gradient.end(), {1, 0, 2, 0, 3, 0, 0xAA});
  Bytes withGradient = record(3, {});
  withGradient.insert(withGradient.end(), gradient.begin(), gradient.end());
  read(withGradient, def, left);
  EXPECT_EQ(def.Data().gradient.count, 8);
  EXPECT_EQ(def.Data().gradient.ratios[7], 140);
  EXPECT_EQ(left, 1u);  // only the trailing marker is left
  EXPECT_EQ(def.Hls(), (HlsTriple{1, 2, 3}));
  // Version 0 holds a solid colour among ignored fields; version 4 is damage.
  Bytes v0 = record(0, {1, 2, 0x11, 0x22, 0x33, 0xFF, 9, 9, 9, 9, 7, 7});
  v0.insert(v0.end(), 24 + 8, 0);
  read(v0, def, left);
  EXPECT_EQ(def.Data().colour, 0xFF332211u);
  EXPECT_EQ(left, 0u);
  EXPECT_THROW(read(record(4, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), def, left), CArchiveException);
}

TEST_F(ColorTest, ListOperations) {
  CColorList list;
  EXPECT_EQ(list.GetColor(0), nullptr);
  list.AddColor(0xFF0000FF, {0, 239, 120});
  list.AddColor(0xFF00FF00, {80, 239, 120});
  EXPECT_EQ(list.GetColor(1)->Data().colour, 0xFF00FF00u);
  EXPECT_EQ(list.GetColor(5), list.GetColor(0));
  EXPECT_EQ(list.GetColor(-1), list.GetColor(0));
  FillStyle probe = SolidFill(0xFF00FF00);
  probe.matrix.tx = 500;  // taken as the identity
  int32_t index;
  EXPECT_EQ(list.FindData(probe, index), list.GetColor(1));
  EXPECT_EQ(index, 1);
  probe.colour = 0xFF00FF01;
  EXPECT_EQ(list.FindData(probe, index), nullptr);
  EXPECT_EQ(index, -1);

  CColorDef def;
  def.SetOpaqueColor(0x12345678, {1, 1, 1});
  EXPECT_EQ(def.Data().colour, 0xFF345678u);
  FillStyle data;
  HlsTriple hls;
  FillStyle g;
  g.kind = kGradientRadial;
  g.gradient.count = 1;
  g.gradient.colours[0] = 0xFF0000FF;
  g.matrix.a = 5;
  def.SetData(g, {3, 3, 3});
  def.GetData(data, hls);
  EXPECT_EQ(data.matrix, Matrix2x3{});
  EXPECT_EQ(hls, CColorDef::ConvertColorRef(0xFF0000FF));
}
