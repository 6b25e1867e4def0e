// The document and document template of the class library, without the
// user interface: a document has a path, a title, a modified flag and the
// compound file it was loaded from or last saved to; a template numbers the
// untitled documents.
//
// Saving into the file the document was loaded from writes the changed
// streams into that file's overlay and then saves it; saving under another
// path writes every stream into a new compound file (IsSavingToLoadStorage
// is false meanwhile) that replaces the document's file only when it was
// written whole. Either way a failed save leaves the file on disk as it was.
#pragma once

#include <exception>
#include <memory>
#include <string>

#include "platform/core/object.h"
#include "platform/core/storage.h"

class CArchive;

class CDocumentBase : public CObject {
 public:
  // The stream that holds the document record.
  static constexpr const char* kContentsStream = "Contents";

  CDocumentBase();
  ~CDocumentBase() override;
  CDocumentBase(const CDocumentBase&) = delete;
  CDocumentBase& operator=(const CDocumentBase&) = delete;

  const std::string& GetPathName() const { return m_path; }
  // Sets the path and takes the file name as the title; an empty path
  // clears both.
  virtual void SetPathName(const std::string& path, bool addToRecent = true);
  const std::string& GetTitle() const { return m_title; }
  void SetTitle(const std::string& title) { m_title = title; }
  bool IsModified() const { return m_modified; }
  virtual void SetModifiedFlag(bool modified = true) { m_modified = modified; }

  // Empties the document (the document's own contents).
  virtual void DeleteContents() {}
  // Empties the document and gives it a new temporary compound file.
  virtual bool OnNewDocument();
  // Opens the compound file at path and reads its "Contents" stream through
  // Serialize. False (after ReportException) when it cannot be read.
  virtual bool OnOpenDocument(const std::string& path);
  // Saves into path (see above). False (after ReportException) on failure.
  virtual bool OnSaveDocument(const std::string& path);

  // The compound file of the document (temporary until first saved).
  CCompoundFile* GetFile() const { return m_file.get(); }
  // The root storage being written by Serialize: the document's own file's,
  // or the new file's while saving under another path.
  CStorage GetSaveStorage() const { return m_saveStorage; }
  // While Serialize stores: true when writing into the file it was loaded from.
  bool IsSavingToLoadStorage() const { return m_sameAsLoad; }

 protected:
  // The document's root storage became storage (after opening or saving).
  virtual void OnRootStorage(const CStorage& /*storage*/) {}
  // A failure of opening (saving false) or saving; the default reports nothing.
  virtual void ReportException(const std::exception* /*e*/, bool /*saving*/) {}
  // After a save under another path succeeded (everything is now in the new file).
  virtual void OnSavedToNewStorage() {}

 private:
  void WriteContents(CStorage& root);
  void UseFile(std::unique_ptr<CCompoundFile> file);

  std::string m_path;
  std::string m_title;
  bool m_modified = false;
  std::unique_ptr<CCompoundFile> m_file;
  CStorage m_saveStorage;
  bool m_sameAsLoad = true;
};

class CDocTemplateBase {
 public:
  explicit CDocTemplateBase(std::string docName = "Untitled") : m_docName(std::move(docName)) {}
  virtual ~CDocTemplateBase() = default;

  // The title of the next untitled document: the document name and the
  // untitled count plus one.
  std::string GetDefaultTitle() const;
  // Gives doc the default title; the untitled count goes up.
  void SetDefaultTitle(CDocumentBase& doc);
  int GetUntitledCount() const { return m_untitledCount; }

 private:
  std::string m_docName;
  int m_untitledCount = 0;
};
