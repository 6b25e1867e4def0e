// The window side of a plug-in player: what the player needs of the window
// the browser gives it. The platform layer supplies the implementation (it
// subclasses the window and turns its messages into the player's calls) by
// installing a factory; without one a player has no window and plays
// nothing on screen.
#pragma once

#include <memory>

#include "geometry/fixed.h"
#include "plugin/npapi.h"

class CPluginPlayer;
class CPlayerCore;

class IPluginWindow {
 public:
  virtual ~IPluginWindow() = default;  // gives the window its procedure back
  virtual WinRect ClientRect() = 0;
  virtual void Invalidate(const WinRect& area) = 0;
  virtual void PaintNow(const WinRect& area) = 0;
  virtual bool XorFrameNow(const WinRect& frame) = 0;
  virtual void StartTimer(int id, uint32_t periodMs) = 0;
  virtual void StopTimer(int id) = 0;
  virtual bool PollMouse(Point32& client) = 0;
};

// Makes the window side for a native window handle (null when the handle is
// not a live window).
using PluginWindowFactory = std::unique_ptr<IPluginWindow> (*)(CPluginPlayer& player, void* handle);
// Prints a player's frame into a printer device context's area.
using PluginPrinter = void (*)(CPlayerCore& core, void* printerDc, const NPWindow& area);

void SetPluginWindowFactory(PluginWindowFactory factory);
void SetPluginPrinter(PluginPrinter printer);
std::unique_ptr<IPluginWindow> AttachPluginWindow(CPluginPlayer& player, void* handle);
void PrintPluginFrame(CPlayerCore& core, void* printerDc, const NPWindow& area);
