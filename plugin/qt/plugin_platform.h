// The platform side of the player library: installs the window factory and
// the printer of plugin_window.h, the players' menus and cursors, and the
// screen of the raster core that links this file.
#pragma once

#include "platform/qt/win_types.h"

class CDC;
struct NPWindow;
class CPlayerCore;

// Safe to call more than once.
void InstallPluginPlatform();

// The window procedure of a player's window: finds the player of the window
// and handles the message; 0 when no player owns the window.
LRESULT PlayerWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Prints the player's frame into the area of a device context: the whole
// frame rendered at the context's depth (1 bit, else 24) and stretched onto
// the area, or a black frame round it when there is nothing to print.
void PrintPlayerFrame(CPlayerCore& core, CDC& dc, const NPWindow& area);
