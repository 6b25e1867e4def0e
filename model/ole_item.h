// Embedded objects of other programs, as this system keeps them: nothing
// creates or activates them, but a document that holds them opens, draws
// their cached picture and saves them unchanged.
//
// CMarlCntrItem is one embedded item of a document: its number (the one the
// drawing object CPicOle refers to), the page that shows it, its extent in
// HIMETRIC, and its storage, kept in memory as a tree (CStorageTree) read
// from the document file's "Embedding n" sub-storage and written back the
// same at every save.
//
// The item's record (after the framing of its class):
//   u8 version 0; i32 extent x, y; u8 form:
//     0: u32 n, the storage is the document file's "Embedding n";
//     1: the storage tree inline (flat copies: the clipboard, drag and drop):
//        storage = string name, 16 bytes class id, u32 stream count, per
//        stream string name, u32 size and the bytes, u32 storage count and
//        per sub-storage a storage;
//   u8 0; then, unless a load context is current, i16 item number and the
//   page as an object reference.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "geometry/fixed.h"
#include "platform/core/archive.h"
#include "platform/core/storage.h"
#include "render/raster/dib.h"

class CDocumentPage;
class CMarlDoc;
class CPicOle;

// A storage with its streams and sub-storages, in memory.
struct CStorageTree {
  // Storages nested deeper than this are refused (as compound files do).
  static constexpr int kMaxDepth = 64;

  struct Stream {
    std::string name;
    std::vector<uint8_t> bytes;
    friend bool operator==(const Stream&, const Stream&) = default;
  };
  std::string name;
  std::array<uint8_t, 16> classId{};
  std::vector<Stream> streams;
  std::vector<CStorageTree> storages;

  friend bool operator==(const CStorageTree&, const CStorageTree&) = default;
};

// Reads a storage whole (throws what the storage throws).
void ReadStorageTree(const CStorage& from, CStorageTree& out);
// Writes the tree's class id, streams and sub-storages into an (empty)
// storage.
void WriteStorageTree(CStorage& to, const CStorageTree& tree);
// The inline form (see above); reading checks every size against the bytes
// left, names and nesting, and throws CArchiveException on damage.
void WriteStorageTreeInline(CArchive& ar, const CStorageTree& tree);
void ReadStorageTreeInline(CArchive& ar, CStorageTree& out);

// An OLE presentation stream ("\2OlePres000" and on): the picture an
// embedded object leaves for containers that cannot run it.
struct OlePresentation {
  static constexpr uint32_t kFormatDib = 8;
  static constexpr uint32_t kAspectContent = 1;
  uint32_t format = 0;  // standard clipboard format, 0 for none or a named one
  uint32_t aspect = 0;
  uint32_t width = 0;  // HIMETRIC
  uint32_t height = 0;
  std::span<const uint8_t> data;
};
// Parses a presentation stream; false when it is cut short or malformed.
[[nodiscard]] bool ReadOlePresentation(std::span<const uint8_t> bytes, OlePresentation& out);
// The first presentation stream of the storage (by number) of aspect content
// holding a DIB, loaded into image; false when there is none or it cannot
// be read.
[[nodiscard]] bool LoadPresentationPicture(const CStorageTree& storage, CImageRef& image);

class CMarlCntrItem : public CObject {
 public:
  static constexpr uint8_t kRecordVersion = 0;
  enum Form : uint8_t { kFormEmbedding = 0, kFormInline = 1 };

  // An item with no document and no page (what reading makes).
  CMarlCntrItem() = default;
  // A new item of doc shown on page, numbered from the document's counter.
  CMarlCntrItem(CMarlDoc* doc, CDocumentPage* page);
  // Breaks the pairing with the drawing object.
  ~CMarlCntrItem() override;

  void Serialize(CArchive& ar) override;

  // Pairs the item and the drawing object both ways (an object paired before
  // is let go); returns the object.
  CPicOle* SetPicOle(CPicOle* obj);
  // Clears both links.
  void DetachPicOle();
  CPicOle* GetPicOle() const { return m_picOle; }
  // The object's rectangle follows the item's extent (HIMETRIC to twips, top
  // left kept) in a transaction of kind 3; false when nothing changed.
  bool SyncShapeBounds();
  // The cached picture (bounds not set), or null when the storage has none.
  CImageRef* GetPicture();
  // The storage changed: the picture is read again when next asked for.
  void ForgetPicture();

  int16_t m_itemNumber = 0;
  uint32_t m_embedding = 0;  // n of its "Embedding n" sub-storage
  Point32 m_extent{0, 0};    // HIMETRIC
  CStorageTree m_storage;
  CMarlDoc* m_document = nullptr;
  CDocumentPage* m_page = nullptr;

  VM_DECLARE_SERIAL(CMarlCntrItem)

 private:
  friend class CPicOle;
  CPicOle* m_picOle = nullptr;
  std::unique_ptr<CImageRef> m_picture;
  bool m_pictureRead = false;
};

// The name of an item's sub-storage.
std::string EmbeddingName(uint32_t n);
// Reads the item a drawing object carries inline (or a null reference); a
// page the item names that the archive had to make is dropped.
CMarlCntrItem* ReadInlineItem(CArchive& ar);
