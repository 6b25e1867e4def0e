// The resource store: string table, menu tables, accelerator tables, dialog
// layouts, bitmaps, cursors, icons and raw data by the program's ids. The
// program's resources (res/) fill it through their registration function;
// the layer and the program look them up here.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/qt/win_types.h"

// One entry of a menu table, in reading order. A popup opens a level that
// the next kMenuEnd closes; separators carry no text.
struct MenuItemDef {
  enum Kind : uint8_t { kItem, kPopup, kEnd, kSeparator };
  Kind kind = kItem;
  std::string text;  // "&" marks the mnemonic; "\t" precedes the shortcut text
  UINT id = 0;
};

// An accelerator: a virtual key with modifier flags, sending a command.
struct AcceleratorDef {
  int vk = 0;
  UINT modifiers = 0;  // kAccelShift, kAccelControl, kAccelAlt
  UINT id = 0;
};
constexpr UINT kAccelShift = 0x04;
constexpr UINT kAccelControl = 0x08;
constexpr UINT kAccelAlt = 0x10;

// A control of a dialog layout (rectangles in dialog pixels).
struct DialogControlDef {
  enum Kind : uint8_t {
    kStatic,
    kEdit,
    kButton,
    kDefButton,
    kCheckBox,
    kAuto3State,
    kRadio,
    kGroupBox,
    kComboBox,
    kListBox,
    kSlider,
    kOwnerDrawList,   // items drawn by the dialog (WM_DRAWITEM)
    kOwnerDrawCombo,  // a drop-down list whose items and field the dialog draws
    kProgressBar,     // a horizontal bar showing a position within a range
  };
  Kind kind = kStatic;
  UINT id = 0;
  std::string text;
  CRect rect;
};

struct DialogDef {
  std::string caption;
  CSize size;
  std::vector<DialogControlDef> controls;
};

// A cursor or icon: a mask image and a colour image of one size, one bit
// per pixel each (rows of whole bytes, top down): AND mask 1 = transparent,
// XOR 1 = white (with AND 1: inverted).
struct CursorDef {
  int width = 32;
  int height = 32;
  CPoint hot_spot;
  std::vector<uint8_t> and_mask;
  std::vector<uint8_t> xor_mask;
};

class CResourceStore {
 public:
  void AddString(UINT id, std::string text) { m_strings[id] = std::move(text); }
  // The string, or empty when the table has no such entry.
  std::string LoadString(UINT id) const;
  bool HasString(UINT id) const { return m_strings.count(id) != 0; }

  void AddMenu(UINT id, std::vector<MenuItemDef> items) { m_menus[id] = std::move(items); }
  const std::vector<MenuItemDef>* FindMenu(UINT id) const { return Find(m_menus, id); }

  void AddAccelerators(UINT id, std::vector<AcceleratorDef> table) {
    m_accels[id] = std::move(table);
  }
  const std::vector<AcceleratorDef>* FindAccelerators(UINT id) const { return Find(m_accels, id); }

  void AddDialog(UINT id, DialogDef dialog) { m_dialogs[id] = std::move(dialog); }
  const DialogDef* FindDialog(UINT id) const { return Find(m_dialogs, id); }

  // A packed device-independent bitmap: info header, colour table, bits.
  void AddBitmap(UINT id, std::vector<uint8_t> dib) { m_bitmaps[id] = std::move(dib); }
  const std::vector<uint8_t>* FindBitmap(UINT id) const { return Find(m_bitmaps, id); }

  void AddCursor(UINT id, CursorDef cursor) { m_cursors[id] = std::move(cursor); }
  const CursorDef* FindCursor(UINT id) const { return Find(m_cursors, id); }
  void AddIcon(UINT id, CursorDef icon) { m_icons[id] = std::move(icon); }
  const CursorDef* FindIcon(UINT id) const { return Find(m_icons, id); }

  // Raw data of a named type ("VMPA" for movies).
  void AddData(std::string_view type, UINT id, std::vector<uint8_t> data) {
    m_data[{std::string(type), id}] = std::move(data);
  }
  const std::vector<uint8_t>* FindData(std::string_view type, UINT id) const;

  void Clear();

  template <class Map>
  std::vector<UINT> Ids(const Map& m) const {
    std::vector<UINT> ids;
    for (const auto& [id, v] : m) ids.push_back(id);
    return ids;
  }
  std::vector<UINT> StringIds() const { return Ids(m_strings); }
  std::vector<UINT> MenuIds() const { return Ids(m_menus); }
  std::vector<UINT> BitmapIds() const { return Ids(m_bitmaps); }
  std::vector<UINT> CursorIds() const { return Ids(m_cursors); }
  std::vector<UINT> DialogIds() const { return Ids(m_dialogs); }

 private:
  template <class T>
  static const T* Find(const std::map<UINT, T>& m, UINT id) {
    auto it = m.find(id);
    return it != m.end() ? &it->second : nullptr;
  }

  std::map<UINT, std::string> m_strings;
  std::map<UINT, std::vector<MenuItemDef>> m_menus;
  std::map<UINT, std::vector<AcceleratorDef>> m_accels;
  std::map<UINT, DialogDef> m_dialogs;
  std::map<UINT, std::vector<uint8_t>> m_bitmaps;
  std::map<UINT, CursorDef> m_cursors;
  std::map<UINT, CursorDef> m_icons;
  std::map<std::pair<std::string, UINT>, std::vector<uint8_t>> m_data;
};

// The process's resource store.
CResourceStore& Resources();
inline std::string LoadString(UINT id) {
  return Resources().LoadString(id);
}
