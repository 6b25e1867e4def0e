#include "model/app_services.h"

#include "platform/core/profile.h"

namespace {

CAppServices g_defaultServices;
CAppServices* g_services = nullptr;

}  // namespace

int CAppServices::GetUndoLevels() {
  return GetProfileInt("Settings", "Undo Levels", 20);
}

CAppServices& AppServices() {
  return g_services != nullptr ? *g_services : g_defaultServices;
}

CAppServices* SetAppServices(CAppServices* services) {
  CAppServices* old = g_services;
  g_services = services;
  return old;
}

const char* ModelString(uint32_t id) {
  switch (id) {
    case kIdsUnknownError:
      return "Could not complete operation because of an unknown error.";
    case kIdsPageLoadFailed:
      return "Could not load page into memory. Your document may be damaged.";
    case kIdsPageLoadMemory:
      return "There is not enough memory to open this page. Your document is not damaged and may "
             "be safely saved.\n\nTo increase available memory, close open documents or quit and "
             "use the Get Info command in the Finder to allocate more memory to Vimbrel Animator.";
    case kIdsEditMemory:
      return "There is not enough memory to complete the operation.\n\nTo increase available "
             "memory, close open documents or quit and use the Get Info command in the Finder to "
             "allocate more memory to Vimbrel Animator.";
    default:
      return "";
  }
}
