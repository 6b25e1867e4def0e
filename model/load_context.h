// CLoadContext: the serialisation context of copies between documents (the
// clipboard, frame copies, symbol windows). While one is current, symbol
// instances carry their symbol with them: the first instance of a symbol
// writes its contents, later ones only its name.
//
// A carried symbol: name (string), u32 length, then that many bytes: u8
// attribute and the root CPicPage as an object reference, written through a
// nested archive. Length 0 means the reader finds the symbol by name (in the
// context's map, then in the document's symbol list).
#pragma once

#include <string>
#include <unordered_map>

class CArchive;
class CDocumentPage;

class CLoadContext {
 public:
  // Nesting of carried symbols (a symbol's contents carrying another's).
  static constexpr int kMaxNesting = 32;

  // Becomes the current context (the previous one comes back when this one ends).
  CLoadContext(CArchive* archive, CDocumentPage* target);
  ~CLoadContext();
  CLoadContext(const CLoadContext&) = delete;
  CLoadContext& operator=(const CLoadContext&) = delete;

  // The current context, or null.
  static CLoadContext* Current();

  // The symbol carried under name so far, or null.
  CDocumentPage* FindSymbol(const std::string& name) const;
  // Writes a symbol (null: name "" and length 0). A symbol carried before
  // in this context writes length 0. A swapped-out symbol is read in to be
  // carried.
  void WriteSymbol(CArchive& ar, CDocumentPage* symbol);
  // Reads a carried symbol and returns it locked once (the caller gives the
  // lock back), or null when there is none. A symbol of the same name in
  // the context or the document is used; else a new symbol is made at the
  // end of the document's symbol list from the carried bytes. A symbol that
  // is the target page, or contains an instance of it, is refused (null).
  CDocumentPage* ReadSymbol(CArchive& ar);

  CArchive* m_archive;
  CDocumentPage* m_target;

 private:
  std::unordered_map<std::string, CDocumentPage*> m_symbols;
  CLoadContext* m_previous;
  int m_nesting = 0;
};
