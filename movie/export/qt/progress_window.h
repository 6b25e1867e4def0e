// The progress dialog's window (dialog template 217: the progress bar 1003
// and the Cancel button 2) over the platform layer's dialogs.
//
// The window is application-modal without an event loop of its own: while
// the export pumps events the user can press Cancel, and every other window
// refuses input, so nothing changes the document meanwhile. The owner is
// disabled as well, for as long as the dialog exists.
#pragma once

#include <memory>

#include "movie/export/progress_dialog.h"

std::unique_ptr<CProgressWindow> MakeProgressWindow();
