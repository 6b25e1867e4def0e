#include "model/export_collector.h"

#include "model/pic_obj.h"

CExportCollector::~CExportCollector() {
  delete m_rootList;
}
