// Colour definitions and the two process-wide colour lists (solid colours
// and gradients) that the tools and the colour windows pick from, kept from
// one run to the next in the colour-list file.
//
// A colour word is alpha in the top byte, then blue, green, red (red in the
// low byte). A definition is a fill style together with the hue, saturation
// and lightness (0..239, -1 when not computed) of its representative colour.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "geometry/edge_style.h"
#include "platform/core/archive.h"

// Hue, saturation and lightness on a 0..240 scale.
struct HlsTriple {
  int16_t hue = -1;
  int16_t saturation = -1;
  int16_t lightness = -1;
  friend bool operator==(const HlsTriple&, const HlsTriple&) = default;
};

// 0..255 components to hue, saturation and lightness on the 0..240 scale
// (each component scaled (v * 240 + 127) / 255 first); hue 240 becomes 0,
// saturation and lightness 240 become 239; a grey has hue and saturation 0.
HlsTriple RgbToHls(int red, int green, int blue);

class CColorDef : public CObject {
 public:
  static constexpr uint8_t kRecordVersion = 3;

  // Data all zero, identity matrix, the triple not computed.
  CColorDef();
  // A solid colour with the given triple.
  CColorDef(uint32_t colour, const HlsTriple& hls);
  // The data (matrix set to identity) with the given triple.
  CColorDef(const FillStyle& data, const HlsTriple& hls);
  // The data (matrix identity) with the triple of its representative colour:
  // the colour word for kind 0, the first stop's colour for a gradient.
  explicit CColorDef(const FillStyle& data);
  CColorDef(const CColorDef& other);
  // Copies data and triple; the matrix becomes the identity.
  CColorDef& operator=(const CColorDef& other);
  // The data compare as the same definition (FillRecordEqual).
  bool operator==(const CColorDef& other) const;
  bool operator!=(const CColorDef& other) const { return !(*this == other); }

  // Data cleared; the colour's low 24 bits, opaque; kind 0; the triple given.
  void SetOpaqueColor(uint32_t colour, const HlsTriple& hls);
  // The same with the colour word as given.
  void SetColor(uint32_t colour, const HlsTriple& hls);
  void SetData(const FillStyle& data, const HlsTriple& hls);
  // The data, and the triple: of the first stop for a gradient, of the
  // colour word for a texture fill, else the stored one.
  void GetData(FillStyle& data, HlsTriple& hls) const;
  const FillStyle& Data() const { return m_data; }
  const HlsTriple& Hls() const { return m_hls; }

  // The triple of a colour word.
  static HlsTriple ConvertColorRef(uint32_t colour);

  // Version 3: u8 version, the fill entry (colour, kind, texture flags,
  // gradient or texture part), three i16 hue, saturation, lightness.
  // Versions 0-2 and a stored triple above 256 are recomputed on reading.
  void Serialize(CArchive& ar) override;

  VM_DECLARE_SERIAL(CColorDef)

 private:
  friend class CColorList;
  FillStyle m_data;
  HlsTriple m_hls;
  bool m_inList = false;  // owned by a list
};

class CColorList : public CObject {
 public:
  CColorList() = default;
  // Deletes every definition.
  ~CColorList() override;
  CColorList(const CColorList&) = delete;
  CColorList& operator=(const CColorList&) = delete;

  // Appends def (the list takes it over).
  void Add(CColorDef* def);
  void AddCopy(const FillStyle& data, const HlsTriple& hls);
  // The triple computed from the data's colour word.
  void AddFromData(const FillStyle& data);
  void AddColor(uint32_t colour, const HlsTriple& hls);
  // The definition at a 0-based index; the first one for an index past the
  // end or below 0; null for an empty list.
  CColorDef* GetColor(int32_t index) const;
  // The first definition whose data equals data (the probe's matrix taken as
  // identity) and its index; null and -1 when there is none.
  CColorDef* FindData(const FillStyle& data, int32_t& index) const;
  size_t GetCount() const { return m_defs.size(); }
  bool IsEmpty() const { return m_defs.empty(); }
  void RemoveAll();
  // Lets go of every definition without deleting it.
  void ReleaseAll();

  // The object-list record (count, one reference per definition) and a u8 0.
  void Serialize(CArchive& ar) override;

  VM_DECLARE_SERIAL(CColorList)

 private:
  std::vector<std::unique_ptr<CColorDef>> m_defs;
};

// Appends the 228 default solids (only to an empty list).
void AddDefaultSolids(CColorList& list);
// Appends the six default gradients (only to an empty list).
void AddDefaultGradients(CColorList& list);

// The two lists of the process; null until loaded.
CColorList* SolidColorList();
CColorList* GradientColorList();

// The colour-list file: "Vimbrel.clr" in the settings folder
// ($XDG_CONFIG_HOME/Quorrin Software, else ~/.config/Quorrin Software).
std::string DefaultColorListPath();
// Tests point the file elsewhere; an empty path restores the default.
void SetColorListPath(const std::string& path);
std::string ColorListPath();

// Reads the two list references of the colour-list file. On failure the
// objects read are freed (a solid list read whole stays in solids) and the
// exception is passed on; a null gradient list is no failure.
void ReadColorLists(CArchive& ar, std::unique_ptr<CColorList>& solids,
                    std::unique_ptr<CColorList>& gradients);
// Loads both lists from the file; a missing, damaged or unreadable file
// gives the defaults (a null gradient list alone gives the default gradients).
void LoadDefaultColorLists();
// Writes both lists into a new file renamed over the old one; a failure is
// silent and leaves the old file as it was.
void SaveDefaultColorLists();
void FreeDefaultColorLists();

// The low 24 bits of the solid list's colour at index.
uint32_t GetListRgb(int32_t index);
// Copies the gradient list's definition at index into def.
void GetListGradient(int32_t index, CColorDef& def);

// What the application shell knows of its colour window when it saves its
// placement.
struct CColorWindowPlacement {
  bool exists = false;
  bool visible = false;
  bool floating = true;
  Rect32 rect;  // screen rectangle of the window (floating: of its floating frame)
  // Docked: the dock bar's shape and where its left (top) edge lies.
  bool dockVertical = false;
  bool dockInFirstHalf = true;  // the left half (vertical) or the top half (horizontal)
};
// Writes the placement under "Settings" with key: "0 visible shape left top
// right bottom" floating (shape 4096 when narrower than tall, else 8192),
// "1 visible dockbar left top right bottom" docked; nothing when the window
// does not exist.
void ColorWindowState(const CColorWindowPlacement& window, const char* key);
