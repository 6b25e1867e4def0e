#include "res/player_resources.h"

#include <vector>

#include "res/pixel_art.h"

CursorDef HandCursor() {
  CPixelArt a(32, 32, kClear);
  a.Polygon({8,  12, 8,  3,  11, 3,  11, 10, 13, 9, 16, 9, 19,
             10, 22, 11, 22, 20, 19, 25, 11, 25, 5, 17, 6, 14},
            kPaper, kInk);
  return a.ToCursor({9, 3});
}

std::vector<MenuItemDef> PopupMenuTable(std::vector<MenuItemDef> items) {
  items.insert(items.begin(), {MenuItemDef::kPopup, "Popup", 0});
  items.push_back({MenuItemDef::kEnd, "", 0});
  return items;
}

void RegisterPlayerResources() {
  using M = MenuItemDef;
  const auto popup = PopupMenuTable;
  std::vector<M> zoom = {{M::kItem, "Zoom In", 20042},      {M::kItem, "Zoom Out", 20030},
                         {M::kItem, "Show All", 20034},     {M::kSeparator, "", 0},
                         {M::kItem, "High Quality", 20028}, {M::kSeparator, "", 0}};
  std::vector<M> movie = zoom;
  movie.insert(movie.end(), {{M::kItem, "Play", 20039},
                             {M::kItem, "Loop", 20043},
                             {M::kSeparator, "", 0},
                             {M::kItem, "Rewind", 20025},
                             {M::kItem, "Forward", 20040},
                             {M::kItem, "Back", 20041},
                             {M::kSeparator, "", 0},
                             {M::kItem, "About Vimbrel...", 20044}});
  std::vector<M> frame = zoom;
  frame.push_back({M::kItem, "About Vimbrel...", 20044});
  CResourceStore& r = Resources();
  r.AddMenu(kMenuPlayerMovie, popup(movie));
  r.AddMenu(kMenuPlayerFrame, popup(frame));
  r.AddMenu(kMenuPlayerNotLoaded, popup({{M::kItem, "Movie not loaded...", 20045},
                                         {M::kSeparator, "", 0},
                                         {M::kItem, "About Vimbrel...", 20044}}));
  r.AddCursor(kCursorPlayerPan, HandCursor());
  r.AddCursor(kCursorPlayerButton, HandCursor());
}
