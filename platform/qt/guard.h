// The one exception trampoline. Every entry from Qt's event loop into the
// system's code (messages, posted messages, timers, paint, dialog and menu
// callbacks) runs inside RunGuarded, so no exception crosses Qt: the open
// edit transaction is aborted through the hook the model side installs, the
// wait cursor is reset, and the error is reported; the application goes on.
#pragma once

#include <exception>
#include <functional>

#include "platform/qt/win_types.h"

// Runs fn; an exception is caught and handled as above. message is the
// message being handled (0 for none), passed to the handler.
void RunGuarded(UINT message, const std::function<void()>& fn);

// Aborts the open edit transaction (set by the model side; the exception is
// passed so that the transaction can record why).
void SetEditAbortHook(std::function<void(const std::exception* e)> hook);

// Reports an exception that escaped a handler. The default: a user-cancel
// exception quietly ends the operation; an out-of-memory exception shows a
// system-modal out-of-memory box (help context 61411); any other shows its
// text. The application object replaces it (ProcessWndProcException).
void SetWndProcExceptionHandler(std::function<void(std::exception_ptr e, UINT message)> handler);
void DefaultWndProcException(std::exception_ptr e, UINT message);

// How many exceptions the trampoline caught since start (tests).
int GuardedExceptionCount();
