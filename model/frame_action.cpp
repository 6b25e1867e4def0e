#include "model/frame_action.h"

#include "platform/core/archive.h"

void CFrameAction::Serialize(CArchive& ar) {
  if (ar.IsStoring()) {
    ar << uint8_t{0} << static_cast<uint8_t>(type);
    ar.WriteString(url);
    ar.WriteString(target);
    ar.WriteString(page);
    ar << static_cast<uint16_t>(frame);
    return;
  }
  uint8_t version, storedType;
  ar >> version >> storedType;
  type = storedType;
  url = ar.ReadString();
  target = ar.ReadString();
  page = ar.ReadString();
  uint16_t storedFrame;
  ar >> storedFrame;
  frame = storedFrame;
}
