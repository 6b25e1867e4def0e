// Command targets and the command-update protocol.
//
// A command target keeps a table of command handlers and update handlers by
// command id (or id range), filled by its constructor. OnCmdMsg looks an id up
// in the table; classes that route further (a frame to its view, a view to its
// document) override it and ask the next targets when they do not handle it.
//
// Before a menu opens and while the application is idle, each menu item and
// tool-bar button is brought up to date: a CCmdUI for its id is routed like a
// command; the first update handler found sets enable, check, radio or text.
// When nobody has an update handler the item is enabled when some target has
// a command handler for it and, with disableIfNoHandler, disabled otherwise.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/object.h"

class CCmdTarget;

class CCmdUI {
 public:
  virtual ~CCmdUI() = default;

  virtual void Enable(bool on = true);
  // 0 unchecked, 1 checked, 2 indeterminate.
  virtual void SetCheck(int check = 1);
  virtual void SetRadio(bool on = true);
  virtual void SetText(std::string_view text);
  // Lets the update go on to the next target after this handler.
  void ContinueRouting() { m_bContinueRouting = true; }

  // Routes the update to target. Returns true when an update handler took it.
  bool DoUpdate(CCmdTarget* target, bool disableIfNoHandler);

  uint32_t m_nID = 0;
  uint32_t m_nIndex = 0;  // position of the item in its menu or bar
  bool m_bEnableChanged = false;
  bool m_bContinueRouting = false;
  // What the handlers set (a menu item or button reads them back).
  bool m_enabled = true;
  int m_check = 0;
  bool m_radio = false;
  bool m_textChanged = false;
  std::string m_text;
};

class CCmdTarget : public CObject {
  VM_DECLARE_DYNAMIC(CCmdTarget)

 public:
  using CommandHandler = std::function<void(uint32_t id)>;
  using UpdateHandler = std::function<void(CCmdUI* ui)>;

  // Runs the command handler of id, or with ui the update handler (ui is
  // then the item being updated). With probe, only answers whether a
  // command handler exists. Returns true when handled.
  virtual bool OnCmdMsg(uint32_t id, CCmdUI* ui, bool probe = false);

  // Runs a command through the routing; false when no target handles it.
  bool ExecuteCommand(uint32_t id) { return OnCmdMsg(id, nullptr); }
  bool HasCommandHandler(uint32_t id) { return OnCmdMsg(id, nullptr, true); }

 protected:
  void AddCommand(uint32_t id, std::function<void()> handler);
  void AddCommandRange(uint32_t first, uint32_t last, CommandHandler handler);
  void AddUpdate(uint32_t id, UpdateHandler handler);
  void AddUpdateRange(uint32_t first, uint32_t last, UpdateHandler handler);

  // Only this target's own table.
  bool HandleOwnCommand(uint32_t id, CCmdUI* ui, bool probe);

 private:
  struct Entry {
    uint32_t first;
    uint32_t last;
    CommandHandler command;
    UpdateHandler update;
  };
  std::vector<Entry> m_entries;
};

// The application's command target: last in every routing. Set by the
// application object; null in tests that have none.
CCmdTarget* GetAppCommandTarget();
void SetAppCommandTarget(CCmdTarget* target);
