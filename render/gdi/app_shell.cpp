#include "render/gdi/app_shell.h"

#include <utility>

namespace {
CAppShell* g_shell = nullptr;
}  // namespace

CAppShell* AppShell() {
  return g_shell;
}

CAppShell* SetAppShell(CAppShell* shell) {
  return std::exchange(g_shell, shell);
}
