#include "model/color_def.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unordered_set>

#include "model/shape_record.h"
#include "platform/core/exceptions.h"
#include "platform/core/file.h"
#include "platform/core/profile.h"

VM_IMPLEMENT_SERIAL(CColorDef, CObject, 0)
VM_IMPLEMENT_SERIAL(CColorList, CObject, 0)

namespace {

constexpr int kHlsMax = 240;
constexpr uint32_t kOpaque = 0xFF000000;
constexpr uint32_t kOpaqueBlack = 0xFF000000;
constexpr int16_t kStoredTripleMax = 256;  // a larger stored value is recomputed
constexpr size_t kFileBuffer = 4096;
constexpr const char* kFileName = "Vimbrel.clr";
constexpr const char* kSettingsFolder = "Quorrin Software";

std::unique_ptr<CColorList> g_solids;
std::unique_ptr<CColorList> g_gradients;
std::string g_pathOverride;

uint32_t Rgb(int r, int g, int b) {
  return static_cast<uint32_t>(r) | static_cast<uint32_t>(g) << 8 | static_cast<uint32_t>(b) << 16;
}

// The colour whose triple stands for the whole definition.
uint32_t RepresentativeColor(const FillStyle& data) {
  if ((data.kind & kFillHasGradient) && data.gradient.count > 0) return data.gradient.colours[0];
  return data.colour;
}

FillStyle WithIdentity(const FillStyle& data) {
  FillStyle copy = data;
  copy.matrix = Matrix2x3{};
  return copy;
}

FillStyle SolidData(uint32_t colour) {
  FillStyle data;
  data.colour = colour;
  return data;
}

FillStyle Gradient(uint8_t kind, std::initializer_list<std::pair<uint8_t, uint32_t>> stops) {
  FillStyle data;
  data.colour = kOpaqueBlack;
  data.kind = kind;
  for (const auto& [ratio, colour] : stops) {
    data.gradient.ratios[data.gradient.count] = ratio;
    data.gradient.colours[data.gradient.count] = colour;
    ++data.gradient.count;
  }
  return data;
}

void ReplaceFile(const std::string& from, const std::string& to) {
  std::error_code error;
  std::filesystem::rename(from, to, error);
  if (error) throw CFileException(CFileException::genericException, error.value(), to);
}

}  // namespace

// ---- hue, saturation, lightness ----------------------------------------------------------

HlsTriple RgbToHls(int red, int green, int blue) {
  const int r = (red * kHlsMax + 127) / 255;
  const int g = (green * kHlsMax + 127) / 255;
  const int b = (blue * kHlsMax + 127) / 255;
  const int high = std::max({r, g, b}), low = std::min({r, g, b});
  const int sum = high + low, range = high - low;
  int l = (sum * kHlsMax + kHlsMax) / (2 * kHlsMax);
  int h = 0, s = 0;
  if (range != 0) {
    if (l <= kHlsMax / 2) {
      s = (range * kHlsMax + sum / 2) / sum;
    } else {
      const int rest = 2 * kHlsMax - sum;
      s = (range * kHlsMax + rest / 2) / rest;
    }
    const int sixth = kHlsMax / 6;
    const int dr = ((high - r) * sixth + range / 2) / range;
    const int dg = ((high - g) * sixth + range / 2) / range;
    const int db = ((high - b) * sixth + range / 2) / range;
    if (r == high) {
      h = db - dg;
    } else if (g == high) {
      h = kHlsMax / 3 + dr - db;
    } else {
      h = 2 * kHlsMax / 3 + dg - dr;
    }
    if (h < 0) h += kHlsMax;
    if (h > kHlsMax) h -= kHlsMax;
  }
  if (h == kHlsMax) h = 0;
  s = std::min(s, kHlsMax - 1);
  l = std::min(l, kHlsMax - 1);
  return {static_cast<int16_t>(h), static_cast<int16_t>(s), static_cast<int16_t>(l)};
}

// ---- CColorDef ------------------------------------------------------------------------------

CColorDef::CColorDef() = default;

CColorDef::CColorDef(uint32_t colour, const HlsTriple& hls)
    : m_data(SolidData(colour)), m_hls(hls) {}

CColorDef::CColorDef(const FillStyle& data, const HlsTriple& hls)
    : m_data(WithIdentity(data)), m_hls(hls) {}

CColorDef::CColorDef(const FillStyle& data)
    : m_data(WithIdentity(data)), m_hls(ConvertColorRef(RepresentativeColor(data))) {}

CColorDef::CColorDef(const CColorDef& other)
    : CObject(), m_data(other.m_data), m_hls(other.m_hls) {}

CColorDef& CColorDef::operator=(const CColorDef& other) {
  m_data = WithIdentity(other.m_data);
  m_hls = other.m_hls;
  return *this;
}

bool CColorDef::operator==(const CColorDef& other) const {
  return FillRecordEqual(m_data, other.m_data);
}

void CColorDef::SetOpaqueColor(uint32_t colour, const HlsTriple& hls) {
  SetColor((colour & 0xFFFFFF) | kOpaque, hls);
}

void CColorDef::SetColor(uint32_t colour, const HlsTriple& hls) {
  m_data = SolidData(colour);
  m_hls = hls;
}

void CColorDef::SetData(const FillStyle& data, const HlsTriple& hls) {
  m_data = WithIdentity(data);
  m_hls = hls;
}

void CColorDef::GetData(FillStyle& data, HlsTriple& hls) const {
  data = m_data;
  if (m_data.kind == kGradientLinear || m_data.kind == kGradientRadial) {
    hls = ConvertColorRef(RepresentativeColor(m_data));
  } else if (m_data.kind >= kFillTextureFirst && m_data.kind <= kFillTextureFirst + 3) {
    hls = ConvertColorRef(m_data.colour);
  } else {
    hls = m_hls;
  }
}

HlsTriple CColorDef::ConvertColorRef(uint32_t colour) {
  return RgbToHls(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
}

void CColorDef::Serialize(CArchive& ar) {
  if (ar.IsStoring()) {
    ar << kRecordVersion;
    FillEntryWrite(ar, m_data);
    ar << m_hls.hue << m_hls.saturation << m_hls.lightness;
    return;
  }
  uint8_t version;
  ar >> version;
  if (version > kRecordVersion) throw CArchiveException(CArchiveException::genericException);
  if (version >= 2) {
    FillEntryRead(ar, m_data);
  } else {
    // The first form held a solid colour among fields no longer used.
    uint8_t ignored8;
    uint32_t ignored32;
    int16_t ignored16;
    Matrix2x3 ignoredMatrix;
    m_data = FillStyle{};
    ar >> ignored8 >> ignored8 >> m_data.colour >> ignored32 >> ignored16;
    ar >> ignoredMatrix.a >> ignoredMatrix.b >> ignoredMatrix.c >> ignoredMatrix.d >>
        ignoredMatrix.tx >> ignoredMatrix.ty;
    for (int i = 0; i < 4; ++i) ar >> ignored16;
  }
  if (version >= 1) ar >> m_hls.hue >> m_hls.saturation >> m_hls.lightness;
  if (version < 3 || m_hls.hue > kStoredTripleMax || m_hls.saturation > kStoredTripleMax ||
      m_hls.lightness > kStoredTripleMax) {
    m_hls = ConvertColorRef(m_data.colour);
  }
}

// ---- CColorList ---------------------------------------------------------------------------

CColorList::~CColorList() = default;

void CColorList::Add(CColorDef* def) {
  def->m_inList = true;
  m_defs.emplace_back(def);
}

void CColorList::ReleaseAll() {
  for (auto& def : m_defs) {
    def->m_inList = false;
    def.release();
  }
  m_defs.clear();
}

void CColorList::AddCopy(const FillStyle& data, const HlsTriple& hls) {
  Add(new CColorDef(data, hls));
}

void CColorList::AddFromData(const FillStyle& data) {
  AddCopy(data, CColorDef::ConvertColorRef(data.colour));
}

void CColorList::AddColor(uint32_t colour, const HlsTriple& hls) {
  Add(new CColorDef(colour, hls));
}

CColorDef* CColorList::GetColor(int32_t index) const {
  if (m_defs.empty()) return nullptr;
  if (index < 0 || static_cast<size_t>(index) >= m_defs.size()) return m_defs.front().get();
  return m_defs[static_cast<size_t>(index)].get();
}

CColorDef* CColorList::FindData(const FillStyle& data, int32_t& index) const {
  const FillStyle probe = WithIdentity(data);
  for (size_t i = 0; i < m_defs.size(); ++i) {
    if (FillStyleEqual(m_defs[i]->Data(), probe)) {
      index = static_cast<int32_t>(i);
      return m_defs[i].get();
    }
  }
  index = -1;
  return nullptr;
}

void CColorList::RemoveAll() {
  m_defs.clear();
}

void CColorList::Serialize(CArchive& ar) {
  if (ar.IsStoring()) {
    ar.WriteCount(static_cast<uint32_t>(m_defs.size()));
    for (const auto& def : m_defs) ar.WriteObject(def.get());
    ar << uint8_t{0};
    return;
  }
  RemoveAll();
  const uint32_t count = ar.ReadCount();
  // Each element takes at least its two-byte reference.
  if (count > ar.GetRemaining() / 2) throw CArchiveException(CArchiveException::endOfFile);
  for (uint32_t i = 0; i < count; ++i) {
    CObject* obj = ar.ReadObject(RUNTIME_CLASS(CColorDef));
    if (obj == nullptr) throw CArchiveException(CArchiveException::badClass);
    auto* def = static_cast<CColorDef*>(obj);
    // A back reference names a definition that a list owns already.
    if (def->m_inList) throw CArchiveException(CArchiveException::badIndex);
    Add(def);
  }
  uint8_t end;
  ar >> end;
}

// ---- defaults -------------------------------------------------------------------------------

void AddDefaultSolids(CColorList& list) {
  if (!list.IsEmpty()) return;
  auto add = [&](int r, int g, int b) { list.AddColor(Rgb(r, g, b) | kOpaque, RgbToHls(r, g, b)); };
  for (int v = 0; v <= 255; v += 51) add(v, v, v);
  add(255, 0, 0);
  add(0, 255, 0);
  add(0, 0, 255);
  add(255, 255, 0);
  add(0, 255, 255);
  add(255, 0, 255);
  for (int i = 0; i <= 2; ++i)
    for (int j = 0; j <= 5; ++j)
      for (int k = 0; k <= 1; ++k)
        for (int l = 0; l <= 5; ++l) add(102 * i + 51 * k, 51 * l, 51 * j);
}

void AddDefaultGradients(CColorList& list) {
  if (!list.IsEmpty()) return;
  const uint32_t white = 0xFFFFFFFF, black = kOpaqueBlack;
  const uint32_t red = kOpaque | Rgb(255, 0, 0), green = kOpaque | Rgb(0, 255, 0),
                 blue = kOpaque | Rgb(0, 0, 255), yellow = kOpaque | Rgb(255, 255, 0),
                 cyan = kOpaque | Rgb(0, 255, 255), magenta = kOpaque | Rgb(255, 0, 255);
  const FillStyle gradients[] = {
      Gradient(kGradientLinear, {{0, white}, {255, black}}),
      Gradient(kGradientRadial, {{0, white}, {255, black}}),
      Gradient(kGradientRadial, {{0, red}, {255, black}}),
      Gradient(kGradientRadial, {{0, green}, {255, black}}),
      Gradient(kGradientRadial, {{0, blue}, {255, black}}),
      Gradient(kGradientLinear, {{0, red},
                                 {42, yellow},
                                 {93, green},
                                 {127, cyan},
                                 {170, blue},
                                 {212, magenta},
                                 {255, red}}),
  };
  for (const FillStyle& g : gradients) list.Add(new CColorDef(g));
}

CColorList* SolidColorList() {
  return g_solids.get();
}

CColorList* GradientColorList() {
  return g_gradients.get();
}

// ---- the colour-list file -----------------------------------------------------------------

std::string DefaultColorListPath() {
  std::string folder;
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && *config != 0) {
    folder = config;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != 0) {
    folder = std::string(home) + "/.config";
  } else {
    folder = ".config";
  }
  return folder + "/" + kSettingsFolder + "/" + kFileName;
}

void SetColorListPath(const std::string& path) {
  g_pathOverride = path;
}

std::string ColorListPath() {
  return g_pathOverride.empty() ? DefaultColorListPath() : g_pathOverride;
}

void ReadColorLists(CArchive& ar, std::unique_ptr<CColorList>& solids,
                    std::unique_ptr<CColorList>& gradients) {
  solids.reset();
  gradients.reset();
  try {
    CColorList* first;
    ar >> first;
    if (first == nullptr) throw CArchiveException(CArchiveException::badClass);
    solids.reset(first);
    CColorList* second;
    ar >> second;
    if (second == first) throw CArchiveException(CArchiveException::badIndex);
    gradients.reset(second);
  } catch (...) {
    // The objects of a failed read belong to no list that survives: the
    // lists let go of their definitions and every object made is freed once.
    // A solid list read whole is kept.
    std::unordered_set<const CObject*> keep;
    if (solids) {
      keep.insert(solids.get());
      for (size_t i = 0; i < solids->GetCount(); ++i) {
        keep.insert(solids->GetColor(static_cast<int32_t>(i)));
      }
    }
    const std::vector<CObject*> made = ar.GetLoadedObjects();
    for (CObject* obj : made) {
      auto* list = DynamicDowncast<CColorList>(obj);
      if (list != nullptr && !keep.contains(obj)) list->ReleaseAll();
    }
    for (CObject* obj : made) {
      if (!keep.contains(obj)) delete obj;
    }
    throw;
  }
}

void LoadDefaultColorLists() {
  g_solids.reset();
  g_gradients.reset();
  try {
    CDiskFile file;
    bool opened = true;
    try {
      file.Open(ColorListPath(), CDiskFile::modeRead);
    } catch (const CFileException&) {
      opened = false;
    }
    if (opened) {
      CArchive ar(&file, CArchive::load, kFileBuffer);
      ReadColorLists(ar, g_solids, g_gradients);
    } else {
      g_solids = std::make_unique<CColorList>();
      AddDefaultSolids(*g_solids);
    }
  } catch (...) {
    // A damaged or unreadable file never stops start-up.
  }
  if (!g_solids) {
    g_solids = std::make_unique<CColorList>();
    AddDefaultSolids(*g_solids);
  }
  if (!g_gradients) {
    g_gradients = std::make_unique<CColorList>();
    AddDefaultGradients(*g_gradients);
  }
}

void SaveDefaultColorLists() {
  const std::string path = ColorListPath();
  const std::string temporary = path + ".new";
  try {
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
    {
      CDiskFile file(temporary, CDiskFile::modeCreate | CDiskFile::modeWrite);
      CArchive ar(&file, CArchive::store, kFileBuffer);
      ar.WriteObject(g_solids.get());
      ar.WriteObject(g_gradients.get());
      ar.Close();
      file.Close();
    }
    ReplaceFile(temporary, path);
  } catch (...) {
    // A failed save is silent; the old file stays.
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
  }
}

void FreeDefaultColorLists() {
  g_solids.reset();
  g_gradients.reset();
}

uint32_t GetListRgb(int32_t index) {
  const CColorDef* def = g_solids ? g_solids->GetColor(index) : nullptr;
  return def != nullptr ? def->Data().colour & 0xFFFFFF : 0;
}

void GetListGradient(int32_t index, CColorDef& def) {
  if (const CColorDef* found = g_gradients ? g_gradients->GetColor(index) : nullptr) def = *found;
}

// ---- the colour window's placement ---------------------------------------------------------

void ColorWindowState(const CColorWindowPlacement& window, const char* key) {
  if (!window.exists) return;
  const Rect32& r = window.rect;
  char text[128];
  if (window.floating) {
    const int shape = (r.xmax - r.xmin) < (r.ymax - r.ymin) ? 4096 : 8192;
    std::snprintf(text, sizeof text, "0 %i %i %i %i %i %i", window.visible ? 1 : 0, shape, r.xmin,
                  r.ymin, r.xmax, r.ymax);
  } else {
    const int bar = window.dockVertical ? (window.dockInFirstHalf ? 59420 : 59421)
                                        : (window.dockInFirstHalf ? 59419 : 59422);
    std::snprintf(text, sizeof text, "1 %i %i %i %i %i %i", window.visible ? 1 : 0, bar, r.xmin,
                  r.ymin, r.xmax, r.ymax);
  }
  WriteProfileString("Settings", key, text);
}
