#include "platform/qt/menu.h"

#include <QAction>
#include <QMenu>

#include "platform/core/command.h"
#include "platform/qt/frame.h"

namespace {

std::function<UINT(CMenu&, CPoint)> g_trackHook;

constexpr UINT kPopupId = 0xFFFFFFFF;

QString ToQt(std::string_view text) {
  // The menu tables mark the mnemonic with "&" and the shortcut after "\t",
  // as Qt does.
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The update object of one menu item.
class CMenuItemCmdUI : public CCmdUI {
 public:
  explicit CMenuItemCmdUI(QAction* action) : m_action(action) {}
  void Enable(bool on) override {
    CCmdUI::Enable(on);
    m_action->setEnabled(on);
  }
  void SetCheck(int check) override {
    CCmdUI::SetCheck(check);
    m_action->setCheckable(check != 0 || m_action->isCheckable());
    m_action->setChecked(check != 0);
    m_action->setProperty("vmCheck", check);
  }
  void SetRadio(bool on) override { SetCheck(on ? 1 : 0); }
  void SetText(std::string_view text) override {
    CCmdUI::SetText(text);
    m_action->setText(ToQt(text));
  }

 private:
  QAction* m_action;
};

}  // namespace

CMenu::CMenu() = default;

CMenu::~CMenu() {
  DestroyMenu();
}

void CMenu::DestroyMenu() {
  m_items.clear();
  if (m_owned && !m_menu.isNull()) delete m_menu.data();
  m_menu = nullptr;
  m_owned = false;
}

bool CMenu::CreatePopupMenu() {
  DestroyMenu();
  m_menu = new QMenu();
  m_owned = true;
  return true;
}

bool CMenu::AppendMenu(UINT flags, UINT id, std::string_view text) {
  if (m_menu.isNull()) return false;
  Item item;
  if (flags & MF_SEPARATOR) {
    item.action = m_menu->addSeparator();
  } else {
    item.id = id;
    item.action = m_menu->addAction(ToQt(text));
    item.action->setData(id);
    item.action->setEnabled((flags & (MF_GRAYED | MF_DISABLED)) == 0);
    if (flags & MF_CHECKED) {
      item.action->setCheckable(true);
      item.action->setChecked(true);
    }
  }
  m_items.push_back(std::move(item));
  return true;
}

CMenu* CMenu::AppendPopup(std::string_view text) {
  if (m_menu.isNull()) return nullptr;
  Item item;
  item.id = kPopupId;
  item.sub = std::make_unique<CMenu>();
  item.sub->m_menu = m_menu->addMenu(ToQt(text));
  item.sub->m_owned = false;  // a child of this menu
  item.action = item.sub->m_menu->menuAction();
  m_items.push_back(std::move(item));
  return m_items.back().sub.get();
}

bool CMenu::LoadMenu(UINT id) {
  const std::vector<MenuItemDef>* table = Resources().FindMenu(id);
  if (table == nullptr) return false;
  CreatePopupMenu();
  std::vector<CMenu*> levels = {this};
  for (const MenuItemDef& def : *table) {
    CMenu* cur = levels.back();
    switch (def.kind) {
      case MenuItemDef::kPopup:
        levels.push_back(cur->AppendPopup(def.text));
        break;
      case MenuItemDef::kEnd:
        if (levels.size() > 1) levels.pop_back();
        break;
      case MenuItemDef::kSeparator:
        cur->AppendMenu(MF_SEPARATOR);
        break;
      case MenuItemDef::kItem:
        cur->AppendMenu(MF_STRING, def.id, def.text);
        break;
    }
  }
  return true;
}

int CMenu::GetMenuItemCount() const {
  return static_cast<int>(m_items.size());
}

UINT CMenu::GetMenuItemID(int pos) const {
  if (pos < 0 || pos >= GetMenuItemCount()) return 0;
  return m_items[static_cast<size_t>(pos)].id;
}

CMenu* CMenu::GetSubMenu(int pos) const {
  if (pos < 0 || pos >= GetMenuItemCount()) return nullptr;
  return m_items[static_cast<size_t>(pos)].sub.get();
}

const CMenu::Item* CMenu::FindItem(UINT idOrPos, UINT flags) const {
  if (flags & MF_BYPOSITION) {
    return idOrPos < m_items.size() ? &m_items[idOrPos] : nullptr;
  }
  for (const Item& item : m_items) {
    if (item.id == idOrPos && item.id != 0 && item.id != kPopupId) return &item;
    if (item.sub != nullptr) {
      if (const Item* found = item.sub->FindItem(idOrPos, flags)) return found;
    }
  }
  return nullptr;
}

CMenu::Item* CMenu::FindItem(UINT idOrPos, UINT flags) {
  return const_cast<Item*>(static_cast<const CMenu*>(this)->FindItem(idOrPos, flags));
}

std::string CMenu::GetMenuString(UINT idOrPos, UINT flags) const {
  const Item* item = FindItem(idOrPos, flags);
  return item != nullptr ? item->action->text().toStdString() : std::string();
}

int CMenu::EnableMenuItem(UINT idOrPos, UINT flags) {
  Item* item = FindItem(idOrPos, flags);
  if (item == nullptr) return -1;
  int old = item->action->isEnabled() ? MF_ENABLED : MF_GRAYED;
  item->action->setEnabled((flags & (MF_GRAYED | MF_DISABLED)) == 0);
  return old;
}

int CMenu::CheckMenuItem(UINT idOrPos, UINT flags) {
  Item* item = FindItem(idOrPos, flags);
  if (item == nullptr) return -1;
  int old = item->action->isChecked() ? MF_CHECKED : MF_UNCHECKED;
  item->action->setCheckable(true);
  item->action->setChecked((flags & MF_CHECKED) != 0);
  item->action->setProperty("vmCheck", (flags & MF_CHECKED) ? 1 : 0);
  return old;
}

bool CMenu::IsItemEnabled(UINT id) const {
  const Item* item = FindItem(id, MF_BYCOMMAND);
  return item != nullptr && item->action->isEnabled();
}

int CMenu::GetItemCheck(UINT id) const {
  const Item* item = FindItem(id, MF_BYCOMMAND);
  if (item == nullptr || !item->action->isChecked()) return 0;
  QVariant v = item->action->property("vmCheck");
  return v.isValid() ? v.toInt() : 1;
}

void CMenu::UpdateItems(CCmdTarget* target, bool disableIfNoHandler) {
  UINT index = 0;
  for (Item& item : m_items) {
    if (item.id != 0 && item.id != kPopupId) {
      CMenuItemCmdUI ui(item.action);
      ui.m_nID = item.id;
      ui.m_nIndex = index;
      ui.DoUpdate(target, disableIfNoHandler);
    }
    ++index;
  }
}

UINT CMenu::TrackPopupMenu(UINT flags, int x, int y, CWnd* owner) {
  if (m_menu.isNull()) return 0;
  // Every item is brought up to date against the owner first.
  if (owner != nullptr) {
    auto* frame = DynamicDowncast<CFrameWnd>(owner);
    UpdateItems(owner, frame != nullptr ? frame->m_bAutoMenuEnable : true);
  }
  UINT chosen = 0;
  if (g_trackHook) {
    chosen = g_trackHook(*this, {x, y});
  } else {
    QAction* a = m_menu->exec(QPoint(x, y));
    if (a != nullptr) chosen = a->data().toUInt();
  }
  if (chosen != 0 && !IsItemEnabled(chosen)) chosen = 0;
  if (flags & TPM_RETURNCMD) return chosen;
  if (chosen != 0 && owner != nullptr) owner->SendMessage(WM_COMMAND, chosen, 0);
  return chosen != 0 ? 1 : 0;
}

void SetMenuTrackHook(std::function<UINT(CMenu&, CPoint)> hook) {
  g_trackHook = std::move(hook);
}
