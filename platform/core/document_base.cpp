#include "platform/core/document_base.h"

#include <filesystem>

#include "platform/core/archive.h"
#include "platform/core/exceptions.h"

namespace {
constexpr size_t kContentsBuffer = 4096;
}  // namespace

CDocumentBase::CDocumentBase() = default;
CDocumentBase::~CDocumentBase() = default;

void CDocumentBase::SetPathName(const std::string& path, bool /*addToRecent*/) {
  m_path = path;
  m_title = path.empty() ? std::string() : std::filesystem::path(path).filename().string();
}

void CDocumentBase::UseFile(std::unique_ptr<CCompoundFile> file) {
  m_file = std::move(file);
  OnRootStorage(m_file->GetRootStorage());
}

bool CDocumentBase::OnNewDocument() {
  DeleteContents();
  SetPathName("");
  UseFile(CCompoundFile::CreateTemporary());
  SetModifiedFlag(false);
  return true;
}

bool CDocumentBase::OnOpenDocument(const std::string& path) {
  DeleteContents();
  try {
    std::unique_ptr<CCompoundFile> file = CCompoundFile::Open(path);
    UseFile(std::move(file));
    CStorage root = m_file->GetRootStorage();
    std::unique_ptr<CFile> stream = root.OpenStream(kContentsStream);
    CArchive ar(stream.get(), CArchive::load, kContentsBuffer);
    ar.m_pDocument = this;
    Serialize(ar);
    ar.Close();
  } catch (const std::exception& e) {
    DeleteContents();
    UseFile(CCompoundFile::CreateTemporary());
    ReportException(&e, false);
    return false;
  }
  SetPathName(path);
  SetModifiedFlag(false);
  return true;
}

void CDocumentBase::WriteContents(CStorage& root) {
  m_saveStorage = root;
  struct Done {
    CStorage& storage;
    ~Done() { storage = CStorage(); }
  } done{m_saveStorage};
  std::unique_ptr<CFile> stream = root.CreateStream(kContentsStream);
  CArchive ar(stream.get(), CArchive::store, kContentsBuffer);
  ar.m_pDocument = this;
  try {
    Serialize(ar);
    ar.Close();
    stream->Close();
  } catch (...) {
    ar.Abort();
    stream->Abort();
    throw;
  }
}

bool CDocumentBase::OnSaveDocument(const std::string& path) {
  try {
    const bool same = m_file != nullptr && !m_file->IsTemporary() &&
                      std::filesystem::equivalent(m_file->GetPath(), path);
    m_sameAsLoad = same;
    struct Reset {
      bool& flag;
      ~Reset() { flag = true; }
    } reset{m_sameAsLoad};
    if (same) {
      CStorage root = m_file->GetRootStorage();
      WriteContents(root);
      m_file->Save();
    } else {
      std::unique_ptr<CCompoundFile> target = CCompoundFile::CreateTemporary();
      CStorage root = target->GetRootStorage();
      WriteContents(root);
      target->SaveAs(path);
      UseFile(std::move(target));
      OnSavedToNewStorage();
    }
  } catch (const std::exception& e) {
    ReportException(&e, true);
    return false;
  }
  SetPathName(path);
  SetModifiedFlag(false);
  return true;
}

std::string CDocTemplateBase::GetDefaultTitle() const {
  return m_docName + std::to_string(m_untitledCount + 1);
}

void CDocTemplateBase::SetDefaultTitle(CDocumentBase& doc) {
  doc.SetTitle(GetDefaultTitle());
  ++m_untitledCount;
}
