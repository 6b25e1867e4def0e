// The movie players' resources: the popup menus of the player library's
// player (116: a movie of more than one frame, 117: one frame, 118: not
// loaded yet) and its cursors (102: a zoomed view that can be panned, 103:
// over a button). The player library registers them itself; the program's
// resources include them.
#pragma once

#include <vector>

#include "platform/qt/resources.h"

constexpr UINT kMenuPlayerMovie = 116;
constexpr UINT kMenuPlayerFrame = 117;
constexpr UINT kMenuPlayerNotLoaded = 118;
constexpr UINT kCursorPlayerPan = 102;
constexpr UINT kCursorPlayerButton = 103;

// The pointing hand, 32 by 32, hot spot on the finger tip.
CursorDef HandCursor();

// A menu table of one popup holding the items (menus tracked at a point).
std::vector<MenuItemDef> PopupMenuTable(std::vector<MenuItemDef> items);

// Adds the players' menus and cursors to the process's resource store.
// Safe to call more than once.
void RegisterPlayerResources();
