#include "platform/qt/guard.h"

#include <new>

#include "platform/core/exceptions.h"
#include "platform/qt/message_box.h"

namespace {
std::function<void(const std::exception*)> g_editAbort;
std::function<void(std::exception_ptr, UINT)> g_handler;
int g_caught = 0;

// The exception as a std::exception, when it is one.
const std::exception* AsStd(std::exception_ptr e) {
  try {
    std::rethrow_exception(e);
  } catch (const std::exception& ex) {
    return &ex;  // lives as long as e holds it
  } catch (...) {
    return nullptr;
  }
}
}  // namespace

void SetEditAbortHook(std::function<void(const std::exception*)> hook) {
  g_editAbort = std::move(hook);
}

void SetWndProcExceptionHandler(std::function<void(std::exception_ptr, UINT)> handler) {
  g_handler = std::move(handler);
}

int GuardedExceptionCount() {
  return g_caught;
}

void DefaultWndProcException(std::exception_ptr e, UINT) {
  try {
    std::rethrow_exception(e);
  } catch (const CUserException&) {
    // The user cancelled: nothing to say.
  } catch (const CMemoryException&) {
    AfxMessageBox("Out of memory.", MB_ICONEXCLAMATION | MB_SYSTEMMODAL, kOutOfMemoryHelpId);
  } catch (const std::bad_alloc&) {
    AfxMessageBox("Out of memory.", MB_ICONEXCLAMATION | MB_SYSTEMMODAL, kOutOfMemoryHelpId);
  } catch (const std::exception& ex) {
    AfxMessageBox(ex.what(), MB_ICONEXCLAMATION);
  } catch (...) {
    AfxMessageBox("An unexpected error occurred.", MB_ICONEXCLAMATION);
  }
}

void RunGuarded(UINT message, const std::function<void()>& fn) {
  try {
    fn();
  } catch (...) {
    ++g_caught;
    std::exception_ptr e = std::current_exception();
    // Each step is guarded too: reporting must not throw out of here.
    try {
      if (g_editAbort) g_editAbort(AsStd(e));
    } catch (...) {
    }
    try {
      ResetWaitCursor();
      if (g_handler) {
        g_handler(e, message);
      } else {
        DefaultWndProcException(e, message);
      }
    } catch (...) {
    }
  }
}
