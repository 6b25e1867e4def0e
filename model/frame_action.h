// CFrameAction: the action of a key frame or a button.
#pragma once

#include <cstdint>
#include <string>

class CArchive;

struct CFrameAction {
  // Types, in the order of the action lists.
  enum Type {
    kNone = 0,
    kPlay,
    kStop,
    kNextFrame,
    kPreviousFrame,
    kNextPage,
    kPreviousPage,
    kToggleHighQuality,
    kGoto,
    kGetUrl,
    kGotoAndPlay,
    kGetUrlAndGoto,
    kGetUrlGotoAndPlay,
  };

  int32_t type = kNone;
  std::string url;
  std::string target;  // window
  std::string page;    // page name
  int32_t frame = 1;   // 1-based

  // u8 version 0 (ignored when read), u8 type, url, target, page, u16 frame.
  void Serialize(CArchive& ar);

  friend bool operator==(const CFrameAction&, const CFrameAction&) = default;
};
