// The export collector as the drawing objects see it: the current matrix and
// frame that objects change while they descend, the link to the enclosing
// collector, and the node list that shapes, texts, bitmaps and buttons add
// themselves to. The movie export derives from it and builds the nodes.
//
// Exports run outside edit transactions: objects made for an export (the
// root list) are never recorded for undo.
#pragma once

#include <cstdint>
#include <unordered_map>

#include "geometry/fixed.h"

class CPicObj;
struct CExportNode;  // defined by the export

class CExportCollector {
 public:
  CExportCollector() = default;
  // Deletes the objects kept alive for the export (the root list).
  virtual ~CExportCollector();
  CExportCollector(const CExportCollector&) = delete;
  CExportCollector& operator=(const CExportCollector&) = delete;

  Matrix2x3 m_matrix;                    // current matrix
  int32_t m_frame = 0;                   // current frame number
  CExportCollector* m_parent = nullptr;  // enclosing collector, null at the top

 protected:
  // Appends a node for obj to the current list, holding obj's character
  // reference (looked up, or created for it), the current matrix and cleared
  // link, ratio and depth words; null when the node pool is exhausted.
  virtual CExportNode* NewNode(CPicObj* obj) = 0;

 private:
  friend class CPicObj;
  CPicObj* m_rootList = nullptr;  // holding object of export-only objects (top collector only)
  // What an object was converted to for this export, by the object (top
  // collector only): each object is converted once, however many frames
  // show it.
  std::unordered_map<const CPicObj*, CPicObj*> m_conversions;
};

// Remembers a collector's matrix and frame around a descent.
struct CSavedTransform {
  Matrix2x3 matrix;
  int32_t frame = 0;

  void Save(const CExportCollector& c) {
    matrix = c.m_matrix;
    frame = c.m_frame;
  }
  void Restore(CExportCollector& c) const {
    c.m_matrix = matrix;
    c.m_frame = frame;
  }
};
