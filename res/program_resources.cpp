#include "res/program_resources.h"

#include <functional>
#include <span>
#include <vector>

#include "platform/qt/messages.h"
#include "platform/qt/resources.h"
#include "res/pixel_art.h"
#include "res/player_resources.h"
#include "res/program_strings.h"
#include "res/startup_movie.h"

namespace {

using Glyph = std::function<void(CPixelArt&)>;

// Images side by side in one well, each on the button face.
std::vector<uint8_t> ImageWell(const std::vector<Glyph>& glyphs) {
  CPixelArt well(kImageWidth * static_cast<int>(glyphs.size()), kImageHeight, kFace);
  for (size_t i = 0; i < glyphs.size(); ++i) {
    CPixelArt g(kImageWidth, kImageHeight, kFace);
    glyphs[i](g);
    well.Blit(g, static_cast<int>(i) * kImageWidth, 0);
  }
  return well.ToDib4();
}

// A sheet of paper with a folded corner.
void Page(CPixelArt& a, int x0, int y0, int x1, int y1) {
  a.Polygon({x0, y0, x1 - 3, y0, x1, y0 + 3, x1, y1, x0, y1}, kWhite, kBlack);
  a.Line(x1 - 3, y0, x1 - 3, y0 + 3, kBlack);
  a.Line(x1 - 3, y0 + 3, x1, y0 + 3, kBlack);
}

// A curved arrow for undo (left) and redo (right).
void TurnArrow(CPixelArt& a, bool left) {
  auto m = [&](int x) { return left ? x : 15 - x; };
  a.Line(m(3), 6, m(8), 6, kNavy);
  a.Line(m(8), 6, m(11), 8, kNavy);
  a.Line(m(11), 8, m(11), 11, kNavy);
  a.Line(m(11), 11, m(8), 13, kNavy);
  a.Polygon({m(1), 6, m(5), 2, m(5), 10}, kNavy, kNavy);
}

const std::vector<Glyph>& StandardGlyphs() {
  static const std::vector<Glyph> glyphs = {
      [](CPixelArt& a) { Page(a, 3, 1, 12, 14); },  // New
      [](CPixelArt& a) {                            // Open: a folder
        a.Polygon({1, 4, 5, 4, 6, 5, 12, 5, 12, 13, 1, 13}, kYellow, kBlack);
        a.Polygon({3, 8, 15, 8, 12, 13, 1, 13}, kOlive, kBlack);
      },
      [](CPixelArt& a) {  // Save: a disk
        a.Fill(2, 1, 13, 13, kNavy);
        a.Fill(4, 1, 11, 6, kWhite);
        a.Fill(5, 9, 10, 13, kShadow);
        a.Frame(2, 1, 13, 13, kBlack);
      },
      [](CPixelArt& a) {  // Print
        Page(a, 4, 1, 11, 7);
        a.Fill(1, 7, 14, 12, kFace);
        a.Frame(1, 7, 14, 12, kBlack);
        a.Line(2, 13, 13, 13, kShadow);
        a.Set(12, 9, kGreen);
      },
      [](CPixelArt& a) {  // Print Preview: a page under a lens
        Page(a, 1, 1, 10, 14);
        a.Frame(7, 6, 12, 11, kBlack);
        a.Fill(8, 7, 11, 10, kCyan);
        a.Line(12, 11, 14, 13, kBlack);
      },
      [](CPixelArt& a) {  // Cut: scissors
        a.Line(4, 1, 9, 9, kBlack);
        a.Line(11, 1, 6, 9, kBlack);
        a.Frame(2, 9, 6, 13, kNavy);
        a.Frame(9, 9, 13, 13, kNavy);
      },
      [](CPixelArt& a) {  // Copy: two pages
        Page(a, 1, 1, 9, 10);
        Page(a, 6, 4, 14, 14);
      },
      [](CPixelArt& a) {  // Paste: a page on a clipboard
        a.Fill(1, 2, 10, 14, kOlive);
        a.Frame(1, 2, 10, 14, kBlack);
        a.Fill(4, 1, 7, 3, kShadow);
        Page(a, 6, 6, 14, 14);
      },
      [](CPixelArt& a) { TurnArrow(a, true); },   // Undo
      [](CPixelArt& a) { TurnArrow(a, false); },  // Redo
      [](CPixelArt& a) {                          // Snap: a magnet
        a.Fill(3, 2, 5, 10, kRed);
        a.Fill(10, 2, 12, 10, kRed);
        a.Fill(3, 10, 12, 12, kRed);
        a.Fill(3, 2, 5, 3, kWhite);
        a.Fill(10, 2, 12, 3, kWhite);
      },
      [](CPixelArt& a) {  // Smooth: a gentle curve
        a.Line(1, 12, 4, 8, kBlack);
        a.Line(4, 8, 8, 6, kBlack);
        a.Line(8, 6, 11, 6, kBlack);
        a.Line(11, 6, 14, 3, kBlack);
      },
      [](CPixelArt& a) {  // Straighten: a corner of straight lines
        a.Line(1, 12, 6, 4, kBlack);
        a.Line(6, 4, 14, 4, kBlack);
      },
      [](CPixelArt& a) {  // Rotate: a tilted square
        a.Polygon({8, 1, 14, 7, 8, 13, 2, 7}, kWhite, kBlack);
      },
      [](CPixelArt& a) {  // Scale: a small square in a large one
        a.Frame(1, 1, 13, 13, kShadow);
        a.Fill(2, 7, 7, 12, kWhite);
        a.Frame(2, 7, 7, 12, kBlack);
        a.Line(7, 7, 12, 2, kBlack);
      },
      [](CPixelArt& a) {  // Align: bars on a left edge
        a.Line(1, 1, 1, 13, kBlack);
        a.Fill(2, 2, 12, 4, kBlue);
        a.Fill(2, 6, 8, 8, kBlue);
        a.Fill(2, 10, 14, 12, kBlue);
      },
      [](CPixelArt& a) {  // Help: an arrow and a question mark
        a.Polygon({1, 1, 1, 11, 4, 8, 7, 8}, kBlack, kBlack);
        a.Frame(9, 2, 13, 4, kNavy);
        a.Line(13, 4, 11, 7, kNavy);
        a.Line(11, 7, 11, 9, kNavy);
        a.Set(11, 12, kNavy);
      },
  };
  return glyphs;
}

const std::vector<Glyph>& VcrGlyphs() {
  static const std::vector<Glyph> glyphs = {
      [](CPixelArt& a) { a.Fill(4, 4, 11, 11, kBlack); },  // Stop
      [](CPixelArt& a) {                                   // Rewind
        a.Fill(2, 3, 3, 11, kBlack);
        a.Polygon({4, 7, 13, 2, 13, 12}, kBlack, kBlack);
      },
      [](CPixelArt& a) {  // Step Back
        a.Polygon({3, 7, 9, 3, 9, 11}, kBlack, kBlack);
        a.Fill(11, 3, 12, 11, kBlack);
      },
      [](CPixelArt& a) {
        a.Polygon({4, 2, 12, 7, 4, 12}, kBlack, kBlack);
      },                  // Start
      [](CPixelArt& a) {  // Step Forward
        a.Fill(3, 3, 4, 11, kBlack);
        a.Polygon({6, 3, 12, 7, 6, 11}, kBlack, kBlack);
      },
      [](CPixelArt& a) {  // Go To End
        a.Polygon({2, 2, 11, 7, 2, 12}, kBlack, kBlack);
        a.Fill(12, 3, 13, 11, kBlack);
      },
  };
  return glyphs;
}

const std::vector<Glyph>& DrawingGlyphs() {
  static const std::vector<Glyph> glyphs = {
      [](CPixelArt& a) {
        a.Polygon({4, 1, 4, 12, 7, 9, 11, 9}, kBlack, kBlack);
      },                  // Arrow
      [](CPixelArt& a) {  // Pencil
        a.Polygon({11, 1, 14, 4, 5, 13, 2, 13, 2, 10}, kYellow, kBlack);
        a.Line(2, 13, 3, 12, kBlack);
      },
      [](CPixelArt& a) {  // Brush
        a.Line(13, 1, 7, 7, kOlive);
        a.Line(14, 2, 8, 8, kOlive);
        a.Polygon({7, 7, 8, 8, 5, 13, 1, 13, 3, 9}, kBlack, kBlack);
      },
      [](CPixelArt& a) {  // Eraser
        a.Polygon({8, 2, 14, 6, 8, 12, 2, 8}, kWhite, kBlack);
        a.Polygon({2, 8, 5, 5, 11, 9, 8, 12}, kMagenta, kBlack);
      },
      [](CPixelArt& a) {  // Text: an A
        a.Line(3, 13, 8, 1, kBlack);
        a.Line(8, 1, 12, 13, kBlack);
        a.Line(5, 8, 10, 8, kBlack);
      },
      [](CPixelArt& a) {  // Lasso: a loop with a tail
        a.Polygon({3, 3, 12, 2, 14, 6, 9, 9, 2, 7}, kFace, kBlack);
        a.Line(4, 8, 3, 13, kBlack);
      },
      [](CPixelArt& a) {  // Magnifier
        a.Polygon({4, 1, 9, 1, 11, 4, 9, 8, 4, 8, 2, 4}, kCyan, kBlack);
        a.Line(9, 8, 13, 13, kBlack);
        a.Line(10, 8, 14, 13, kBlack);
      },
      [](CPixelArt& a) {  // Dropper
        a.Line(2, 13, 9, 6, kBlack);
        a.Polygon({9, 4, 12, 1, 14, 3, 11, 6}, kBlack, kBlack);
        a.Set(2, 13, kBlue);
      },
      [](CPixelArt& a) {  // Ink Bottle
        a.Polygon({4, 5, 11, 5, 13, 13, 2, 13}, kNavy, kBlack);
        a.Fill(6, 2, 9, 4, kBlack);
      },
      [](CPixelArt& a) {  // Paint Bucket
        a.Polygon({3, 6, 9, 2, 13, 8, 7, 12}, kWhite, kBlack);
        a.Line(9, 9, 12, 13, kBlue);
        a.Line(10, 9, 13, 13, kBlue);
      },
  };
  return glyphs;
}

// Cursors, 32 by 32, drawn in black with a white border.
CursorDef CrossCursor() {
  CPixelArt a(32, 32, kClear);
  a.Fill(14, 3, 16, 26, kPaper);
  a.Fill(3, 14, 26, 16, kPaper);
  a.Line(15, 4, 15, 25, kInk);
  a.Line(4, 15, 25, 15, kInk);
  return a.ToCursor({15, 15});
}

// A two-headed arrow along one axis (horizontal or vertical).
CursorDef DoubleArrowCursor(bool horizontal) {
  CPixelArt a(32, 32, kClear);
  a.Polygon({3, 15, 9, 9, 9, 13, 21, 13, 21, 9, 27, 15, 21, 21, 21, 17, 9, 17, 9, 21}, kInk,
            kPaper);
  if (!horizontal) return a.Flipped(true).ToCursor({15, 15});
  return a.ToCursor({15, 15});
}

// A two-headed arrow from one corner to the other.
CursorDef DiagonalCursor(bool falling) {
  CPixelArt a(32, 32, kClear);
  a.Polygon({4, 4, 13, 4, 10, 7, 24, 21, 27, 18, 27, 27, 18, 27, 21, 24, 7, 10, 4, 13}, kInk,
            kPaper);
  if (!falling) return a.Flipped(false).ToCursor({15, 15});
  return a.ToCursor({15, 15});
}

CursorDef MoveCursor() {
  CPixelArt a(32, 32, kClear);
  a.Polygon({15, 2,  20, 7,  17, 7,  17, 13, 23, 13, 23, 10, 28, 15, 23, 20,
             23, 17, 17, 17, 17, 23, 20, 23, 15, 28, 10, 23, 13, 23, 13, 17,
             7,  17, 7,  20, 2,  15, 7,  10, 7,  13, 13, 13, 13, 7,  10, 7},
            kInk, kPaper);
  return a.ToCursor({15, 15});
}

// The arrow with a small mark beside it (tool cursors).
CursorDef ArrowWith(const std::function<void(CPixelArt&)>& mark) {
  CPixelArt a(32, 32, kClear);
  a.Polygon({0, 0, 0, 16, 4, 12, 7, 19, 9, 18, 6, 11, 11, 11}, kPaper, kInk);
  mark(a);
  return a.ToCursor({0, 0});
}

CursorDef RotateCursor() {
  CPixelArt a(32, 32, kClear);
  for (int i = 0; i < 3; ++i) {
    a.Line(8 + i, 6, 22 - i, 6, kInk);
    a.Line(24, 8 + i, 24, 22, kInk);
  }
  a.Polygon({20, 20, 28, 20, 24, 26}, kInk, kPaper);
  return a.ToCursor({15, 15});
}

CursorDef PencilCursor() {
  CPixelArt a(32, 32, kClear);
  a.Polygon({20, 1, 26, 7, 8, 25, 1, 30, 2, 23}, kPaper, kInk);
  return a.ToCursor({1, 30});
}

CursorDef BucketCursor() {
  CPixelArt a(32, 32, kClear);
  a.Polygon({6, 14, 16, 4, 26, 14, 16, 24}, kPaper, kInk);
  a.Line(4, 16, 4, 26, kInk);
  return a.ToCursor({4, 26});
}

CursorDef AppIcon() {
  CPixelArt a(32, 32, kClear);
  a.Fill(2, 2, 29, 29, kPaper);
  a.Frame(2, 2, 29, 29, kInk);
  a.Polygon({6, 24, 12, 8, 18, 20, 22, 12, 26, 24}, kInk, kInk);
  return a.ToCursor({0, 0});
}

void AddMenus(CResourceStore& r) {
  using M = MenuItemDef;
  const auto popup = PopupMenuTable;
  std::vector<M> shared = {{M::kItem, "Cu&t", 57635},        {M::kItem, "&Copy", 57634},
                           {M::kItem, "&Paste", 57637},      {M::kSeparator, "", 0},
                           {M::kItem, "Select &All", 57642}, {M::kItem, "&Deselect All", 33037},
                           {M::kSeparator, "", 0},           {M::kItem, "&Scale", 32775},
                           {M::kItem, "&Rotate", 32776}};
  auto with = [&](std::vector<M> extra) {
    std::vector<M> items = shared;
    items.push_back({M::kSeparator, "", 0});
    items.insert(items.end(), extra.begin(), extra.end());
    return popup(items);
  };
  r.AddMenu(kMenuViewDefault, with({{M::kItem, "&Insert Object...", 57856}}));
  r.AddMenu(kMenuViewText,
            with({{M::kItem, "&Font...", 32936}, {M::kItem, "P&aragraph...", 32919}}));
  r.AddMenu(kMenuViewGroup,
            with({{M::kItem, "&Break Apart", 32769}, {M::kItem, "&Edit Object", 32790}}));
  r.AddMenu(kMenuViewShape, with({{M::kItem, "S&mooth", 32773}, {M::kItem, "Strai&ghten", 32774}}));
  r.AddMenu(kMenuViewTextActive, popup({{M::kItem, "Cu&t", 57635},
                                        {M::kItem, "&Copy", 57634},
                                        {M::kItem, "&Paste", 57637},
                                        {M::kItem, "Select &All", 57642},
                                        {M::kSeparator, "", 0},
                                        {M::kItem, "&Font...", 32936},
                                        {M::kItem, "P&aragraph...", 32919}}));
  r.AddMenu(kMenuToolbars, popup({{M::kItem, "Toolbars...", 32944}}));
}

// The editor's movie player: many frames, one frame, header not read.
void AddMoviePlayerMenus(CResourceStore& r) {
  using M = MenuItemDef;
  const M separator{M::kSeparator, "", 0};
  r.AddMenu(kMenuMoviePlayerMovie, PopupMenuTable({{M::kItem, "Zoom In", 33195},
                                                   {M::kItem, "Zoom Out", 33188},
                                                   {M::kItem, "Show All", 33189},
                                                   separator,
                                                   {M::kItem, "High Quality", 33187},
                                                   separator,
                                                   {M::kItem, "Play", 33081},
                                                   {M::kItem, "Loop", 33190},
                                                   separator,
                                                   {M::kItem, "Rewind", 33191},
                                                   {M::kItem, "Forward", 33193},
                                                   {M::kItem, "Back", 33192}}));
  const std::vector<M> other = PopupMenuTable({{M::kItem, "Zoom In", 33195},
                                               {M::kItem, "Zoom In Context", 33194},
                                               {M::kItem, "Zoom Out", 33188},
                                               {M::kItem, "Home", 33189},
                                               separator,
                                               {M::kItem, "Smooth", 33187},
                                               separator,
                                               {M::kItem, "Loop", 33190},
                                               separator,
                                               {M::kItem, "Rewind", 33191},
                                               {M::kItem, "Forward", 33193},
                                               {M::kItem, "Back", 33192},
                                               separator,
                                               {M::kItem, "About Quorrin", 33196}});
  r.AddMenu(kMenuMoviePlayerFrame, other);
  r.AddMenu(kMenuMoviePlayerNotLoaded, other);
}

void AddAccelerators(CResourceStore& r) {
  r.AddAccelerators(kMainFrameResource, {{'N', kAccelControl, 57600},
                                         {'O', kAccelControl, 57601},
                                         {'S', kAccelControl, 57603},
                                         {'P', kAccelControl, 57607},
                                         {'X', kAccelControl, 57635},
                                         {'C', kAccelControl, 57634},
                                         {'V', kAccelControl, 57637},
                                         {'A', kAccelControl, 57642},
                                         {'A', kAccelControl | kAccelShift, 33037},
                                         {'Z', kAccelControl, 57643},
                                         {VK_BACK, kAccelAlt, 57643},
                                         {'Y', kAccelControl, 57644},
                                         {'1', kAccelControl, 32893},
                                         {'2', kAccelControl, 32795}});
}

void AddDialogs(CResourceStore& r) {
  using C = DialogControlDef;
  r.AddDialog(kDialogScaleRotate, {"Scale and Rotate",
                                   {250, 110},
                                   {{C::kStatic, 0, "&Scale:", {10, 12, 70, 30}},
                                    {C::kEdit, kCtrlScale, "", {75, 10, 145, 32}},
                                    {C::kStatic, 0, "%", {150, 12, 170, 30}},
                                    {C::kStatic, 0, "&Rotate:", {10, 42, 70, 60}},
                                    {C::kEdit, kCtrlRotate, "", {75, 40, 145, 62}},
                                    {C::kStatic, 0, "degrees", {150, 42, 210, 60}},
                                    {C::kDefButton, 1, "OK", {10, 76, 80, 100}},
                                    {C::kButton, 2, "Cancel", {90, 76, 160, 100}},
                                    {C::kButton, 1038, "&Help", {170, 76, 240, 100}}}});
  r.AddDialog(kDialogRenamePage, {"Rename Page",
                                  {260, 80},
                                  {{C::kStatic, 0, "&Name:", {10, 12, 60, 30}},
                                   {C::kEdit, kCtrlName, "", {65, 10, 250, 32}},
                                   {C::kDefButton, 1, "OK", {100, 46, 170, 70}},
                                   {C::kButton, 2, "Cancel", {180, 46, 250, 70}}}});
  r.AddDialog(kDialogProgress, {"",
                                {280, 90},
                                {{C::kProgressBar, kCtrlProgressBar, "", {10, 12, 270, 34}},
                                 {C::kDefButton, 2, "Cancel", {105, 52, 175, 76}}}});
  r.AddDialog(kDialogMovieExport,
              {"Export Vimbrel Player",
               {310, 170},
               {{C::kCheckBox, kCtrlTopDownCheck, "Load top down", {10, 10, 210, 30}},
                {C::kCheckBox, kCtrlReportCheck, "Generate size report", {10, 34, 210, 54}},
                {C::kStatic, 0, "Bitmap &Quality", {10, 66, 210, 84}},
                {C::kSlider, kCtrlQualitySlider, "", {10, 88, 210, 112}},
                {C::kStatic, 0, "Low Quality\nSmall File", {10, 116, 110, 152}},
                {C::kStatic, 0, "High", {176, 116, 210, 134}},
                {C::kDefButton, 1, "OK", {230, 10, 300, 34}},
                {C::kButton, 2, "Cancel", {230, 42, 300, 66}}}});
}

}  // namespace

void RegisterProgramResources() {
  CResourceStore& r = Resources();
  for (const auto& [id, text] : ProgramStrings()) r.AddString(id, text);
  AddMenus(r);
  RegisterPlayerResources();
  AddMoviePlayerMenus(r);
  AddAccelerators(r);
  AddDialogs(r);
  r.AddBitmap(kBitmapStandardBar, ImageWell(StandardGlyphs()));
  r.AddBitmap(kBitmapVcrBar, ImageWell(VcrGlyphs()));
  r.AddBitmap(kBitmapDrawingBar, ImageWell(DrawingGlyphs()));
  if (const std::span<const uint8_t> movie = StartupMovieData(); !movie.empty())
    r.AddData(kMovieResourceType, kStartupMovie, {movie.begin(), movie.end()});

  // Cursors by the program's ids (the system's come from the cursor layer).
  r.AddCursor(32632, CrossCursor());
  r.AddCursor(32633, ArrowWith([](CPixelArt& a) { a.Frame(14, 18, 26, 26, kInk); }));
  r.AddCursor(32634, DoubleArrowCursor(true));
  r.AddCursor(32646, MoveCursor());
  r.AddCursor(32647, HandCursor());
  r.AddCursor(123, HandCursor());
  r.AddCursor(495, DiagonalCursor(true));
  r.AddCursor(546, DoubleArrowCursor(true));
  r.AddCursor(547, DoubleArrowCursor(false));
  r.AddCursor(1205, CrossCursor());
  r.AddCursor(1206, PencilCursor());
  r.AddCursor(1208, MoveCursor());
  r.AddCursor(1209, RotateCursor());
  r.AddCursor(1210, DiagonalCursor(true));
  r.AddCursor(1211, DoubleArrowCursor(true));
  r.AddCursor(1212, DoubleArrowCursor(false));
  r.AddCursor(1215, DiagonalCursor(false));
  r.AddCursor(1216, ArrowWith([](CPixelArt& a) { a.Line(14, 24, 26, 18, kInk); }));
  r.AddCursor(1219, ArrowWith([](CPixelArt& a) { a.Frame(18, 18, 22, 22, kInk); }));
  r.AddCursor(1207, BucketCursor());
  // The pencil's shape drags, its ink bottle, and no drawing to draw into.
  r.AddCursor(1100, CrossCursor());
  r.AddCursor(32636, ArrowWith([](CPixelArt& a) {
                a.Fill(18, 14, 21, 17, kInk);
                a.Polygon({14, 18, 25, 18, 25, 28, 14, 28}, kPaper, kInk);
              }));
  r.AddCursor(32641, ArrowWith([](CPixelArt& a) {
                a.Line(15, 17, 25, 27, kInk);
                a.Line(25, 17, 15, 27, kInk);
              }));
  r.AddIcon(kMainFrameResource, AppIcon());
}
