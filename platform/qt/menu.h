// Menus built from the program's menu tables, brought up to date through
// the command-update protocol and tracked at a point.
#pragma once

#include <QMenu>
#include <QPointer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/qt/resources.h"
#include "platform/qt/wnd.h"

class QAction;

constexpr UINT MF_BYCOMMAND = 0x0000;
constexpr UINT MF_BYPOSITION = 0x0400;
constexpr UINT MF_ENABLED = 0x0000;
constexpr UINT MF_GRAYED = 0x0001;
constexpr UINT MF_DISABLED = 0x0002;
constexpr UINT MF_UNCHECKED = 0x0000;
constexpr UINT MF_CHECKED = 0x0008;
constexpr UINT MF_STRING = 0x0000;
constexpr UINT MF_SEPARATOR = 0x0800;
// TrackPopupMenu flags.
constexpr UINT TPM_LEFTALIGN = 0x0000;
constexpr UINT TPM_RIGHTBUTTON = 0x0002;
constexpr UINT TPM_RETURNCMD = 0x0100;

class CMenu {
 public:
  CMenu();
  ~CMenu();
  CMenu(const CMenu&) = delete;
  CMenu& operator=(const CMenu&) = delete;

  // Builds the menu of that id from the resource store (a bar of popups).
  bool LoadMenu(UINT id);
  bool CreatePopupMenu();
  void DestroyMenu();
  bool AppendMenu(UINT flags, UINT id = 0, std::string_view text = {});
  CMenu* AppendPopup(std::string_view text);

  // Items by position: a popup has a submenu and id 0xFFFFFFFF; a separator id 0.
  int GetMenuItemCount() const;
  UINT GetMenuItemID(int pos) const;
  CMenu* GetSubMenu(int pos) const;
  std::string GetMenuString(UINT idOrPos, UINT flags = MF_BYCOMMAND) const;

  // Returns the previous state, or -1 when there is no such item.
  int EnableMenuItem(UINT idOrPos, UINT flags);
  int CheckMenuItem(UINT idOrPos, UINT flags);
  bool IsItemEnabled(UINT id) const;
  int GetItemCheck(UINT id) const;  // 0, 1, 2

  // Runs the command-update protocol for every item of this menu (not of
  // its submenus) against target.
  void UpdateItems(CCmdTarget* target, bool disableIfNoHandler);

  // Shows the menu at a screen point; the chosen command goes to owner as
  // WM_COMMAND, or with TPM_RETURNCMD is returned (0: none chosen).
  UINT TrackPopupMenu(UINT flags, int x, int y, CWnd* owner);

  QMenu* GetQMenu() const { return m_menu; }

 private:
  struct Item {
    UINT id = 0;
    QAction* action = nullptr;
    std::unique_ptr<CMenu> sub;
  };
  Item* FindItem(UINT idOrPos, UINT flags);
  const Item* FindItem(UINT idOrPos, UINT flags) const;

  QPointer<QMenu> m_menu;
  bool m_owned = false;
  std::vector<Item> m_items;
};

// Replaces the interactive tracking of popup menus (tests): gets the menu
// and the point and answers the chosen command id, 0 for none.
void SetMenuTrackHook(std::function<UINT(CMenu& menu, CPoint screen)> hook);
