#include "platform/core/command.h"

VM_IMPLEMENT_DYNAMIC(CCmdTarget, CObject)

void CCmdUI::Enable(bool on) {
  m_enabled = on;
  m_bEnableChanged = true;
}

void CCmdUI::SetCheck(int check) {
  m_check = check;
}

void CCmdUI::SetRadio(bool on) {
  m_radio = on;
  m_check = on ? 1 : 0;
}

void CCmdUI::SetText(std::string_view text) {
  m_text = text;
  m_textChanged = true;
}

bool CCmdUI::DoUpdate(CCmdTarget* target, bool disableIfNoHandler) {
  m_bEnableChanged = false;
  m_bContinueRouting = false;
  if (target == nullptr) return false;
  bool handled = target->OnCmdMsg(m_nID, this);
  if (!handled && disableIfNoHandler && !m_bEnableChanged) {
    // Nobody has an update handler: the item is available exactly when
    // someone would carry the command out.
    Enable(target->HasCommandHandler(m_nID));
  }
  return handled;
}

bool CCmdTarget::OnCmdMsg(uint32_t id, CCmdUI* ui, bool probe) {
  return HandleOwnCommand(id, ui, probe);
}

bool CCmdTarget::HandleOwnCommand(uint32_t id, CCmdUI* ui, bool probe) {
  for (const Entry& e : m_entries) {
    if (id < e.first || id > e.last) continue;
    if (ui != nullptr) {
      if (!e.update) continue;
      ui->m_bContinueRouting = false;
      e.update(ui);
      if (!ui->m_bContinueRouting) return true;
    } else if (e.command) {
      if (!probe) e.command(id);
      return true;
    }
  }
  return false;
}

void CCmdTarget::AddCommand(uint32_t id, std::function<void()> handler) {
  m_entries.push_back({id, id, [h = std::move(handler)](uint32_t) { h(); }, {}});
}

void CCmdTarget::AddCommandRange(uint32_t first, uint32_t last, CommandHandler handler) {
  m_entries.push_back({first, last, std::move(handler), {}});
}

void CCmdTarget::AddUpdate(uint32_t id, UpdateHandler handler) {
  m_entries.push_back({id, id, {}, std::move(handler)});
}

void CCmdTarget::AddUpdateRange(uint32_t first, uint32_t last, UpdateHandler handler) {
  m_entries.push_back({first, last, {}, std::move(handler)});
}

namespace {
CCmdTarget* g_appTarget = nullptr;
}

CCmdTarget* GetAppCommandTarget() {
  return g_appTarget;
}
void SetAppCommandTarget(CCmdTarget* target) {
  g_appTarget = target;
}
