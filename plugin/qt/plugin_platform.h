// The platform side of the player library: installs the window factory and
// the printer of plugin_window.h, the players' menus and cursors, the
// platform's tick count as the players' clock, and the screen of the raster
// core that links this file (with the players' shared colour table).
#pragma once

#include "platform/qt/win_types.h"

class CDC;
class CPalette;
struct NPWindow;
class CPlayerCore;

// Safe to call more than once.
void InstallPluginPlatform();
// Only the screen: offscreen bitmaps in palette formats take the shared
// player table.
void InstallPlayerScreen();
// The shared player table as a palette (null on screens of more than 8
// bits): what the players select and realise when they paint.
CPalette* GetPlayerPalette();

// The window procedure of a player's window: finds the player of the window
// and handles the message; 0 when no player owns the window.
LRESULT PlayerWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Prints the player's frame into the area of a device context: the whole
// frame rendered at the context's depth (1 bit, else 24) and stretched onto
// the area, or a black frame round it when there is nothing to print.
void PrintPlayerFrame(CPlayerCore& core, CDC& dc, const NPWindow& area);
