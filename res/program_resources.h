// The program's resources and their ids. RegisterProgramResources fills the
// platform's resource store (platform/qt/resources.h) with them.
#pragma once

#include "platform/qt/win_types.h"
#include "res/player_resources.h"

// Menus (each one popup, tracked at a point).
constexpr UINT kMenuViewDefault = 476;
constexpr UINT kMenuViewText = 477;
constexpr UINT kMenuViewGroup = 478;
constexpr UINT kMenuViewShape = 479;
constexpr UINT kMenuToolbars = 481;
constexpr UINT kMenuViewTextActive = 482;
// The editor's movie player: more than one frame, one frame, not loaded.
constexpr UINT kMenuMoviePlayerMovie = 569;
constexpr UINT kMenuMoviePlayerFrame = 570;
constexpr UINT kMenuMoviePlayerNotLoaded = 571;
// The main frame: accelerators and icon.
constexpr UINT kMainFrameResource = 2;
// Dialog layouts.
constexpr UINT kDialogScaleRotate = 157;
constexpr UINT kDialogRenamePage = 1544;
// The progress dialog of long exports and imports (caption set when made).
constexpr UINT kDialogProgress = 217;
constexpr UINT kCtrlProgressBar = 1003;
// The movie export's options ("Vector" settings).
constexpr UINT kDialogMovieExport = 548;
constexpr UINT kCtrlQualitySlider = 302;
constexpr UINT kCtrlTopDownCheck = 316;
constexpr UINT kCtrlReportCheck = 376;
constexpr UINT kCtrlScale = 1000;
constexpr UINT kCtrlRotate = 1001;
constexpr UINT kCtrlName = 1000;
// Tool-bar image wells (4 bits per pixel, 16 by 15 images side by side).
constexpr UINT kBitmapStandardBar = 129;
constexpr UINT kBitmapVcrBar = 224;
constexpr UINT kBitmapDrawingBar = 108;
constexpr int kImageWidth = 16;
constexpr int kImageHeight = 15;

// Fills the resource store. Safe to call more than once.
void RegisterProgramResources();
