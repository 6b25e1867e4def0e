#include "model/model_classes.h"

#include "model/color_def.h"
#include "model/document_page.h"
#include "model/ole_item.h"
#include "model/pic_bitmap.h"
#include "model/pic_frame.h"
#include "model/pic_layer.h"
#include "model/pic_obj.h"
#include "model/pic_ole.h"
#include "model/pic_page.h"
#include "model/pic_shape.h"
#include "model/pic_symbol.h"
#include "model/pic_text.h"

void RegisterModelClasses() {
  // Naming each record here also keeps its object file linked.
  CRuntimeClass::Register(RUNTIME_CLASS(CPicObj));
  CRuntimeClass::Register(RUNTIME_CLASS(CPicShape));
  CRuntimeClass::Register(RUNTIME_CLASS(CPicFrame));
  CRuntimeClass::Register(RUNTIME_CLASS(CPicLayer));
  CRuntimeClass::Register(RUNTIME_CLASS(CPicPage));
  CRuntimeClass::Register(RUNTIME_CLASS(CPicText));
  CRuntimeClass::Register(RUNTIME_CLASS(CPicBitmap));
  CRuntimeClass::Register(RUNTIME_CLASS(CColorDef));
  CRuntimeClass::Register(RUNTIME_CLASS(CColorList));
  CRuntimeClass::Register(RUNTIME_CLASS(CDocumentPage));
  CRuntimeClass::Register(RUNTIME_CLASS(CPicSymbol));
  CRuntimeClass::Register(RUNTIME_CLASS(CPicButton));
  CRuntimeClass::Register(RUNTIME_CLASS(CPicOle));
  CRuntimeClass::Register(RUNTIME_CLASS(CMarlCntrItem));
}
