// Run-time class records, creation by name and kind-of tests.
//
// A persistent class declares itself with VM_DECLARE_SERIAL in its body and
// VM_IMPLEMENT_SERIAL in one source file, and is entered into the
// process-wide registry by CRuntimeClass::Register, so an archive can create
// the class from the name stored in a file. Classes that are only tested for
// their kind use VM_DECLARE_DYNAMIC / VM_IMPLEMENT_DYNAMIC (no creation, no
// schema).
//
// Nothing registers itself when its object file is loaded: a class whose
// object file sits unreferenced in a static library would be dropped by the
// linker and silently missing from the registry. Each layer with persistent
// classes offers one registration function naming every record (e.g.
// RegisterModelClasses), and programs and test mains call it.
#pragma once

#include <cstdint>
#include <string_view>

class CArchive;
class CObject;

struct CRuntimeClass {
  static constexpr uint16_t kNoSchema = 0xFFFF;  // not persistent

  const char* m_lpszClassName;
  uint16_t m_wSchema;
  CObject* (*m_pfnCreateObject)();  // null for classes without dynamic creation
  const CRuntimeClass* m_pBaseClass;

  // A new default-constructed object, owned by the caller. Throws
  // CNotSupportedException when the class has no dynamic creation.
  CObject* CreateObject() const;
  bool IsDerivedFrom(const CRuntimeClass* base) const;

  // The registered class of that name, or null.
  static const CRuntimeClass* FromName(std::string_view name);
  // Enters a record into the registry; entering the same record again does
  // nothing, a second record with the same name is a programming error and
  // aborts.
  static void Register(const CRuntimeClass* cls);
};

class CObject {
 public:
  static const CRuntimeClass s_runtimeClass;

  virtual ~CObject() = default;
  virtual const CRuntimeClass* GetRuntimeClass() const { return &s_runtimeClass; }
  // Loads or stores the object's own record; the base has none.
  virtual void Serialize(CArchive&) {}

  bool IsKindOf(const CRuntimeClass* cls) const { return GetRuntimeClass()->IsDerivedFrom(cls); }
  bool IsSerializable() const { return GetRuntimeClass()->m_wSchema != CRuntimeClass::kNoSchema; }
};

// The record of a class: RUNTIME_CLASS(CPicShape).
#define RUNTIME_CLASS(class_name) (&class_name::s_runtimeClass)

// Kind-of test and down-cast in one: null unless obj is of class T or derived.
template <class T>
T* DynamicDowncast(CObject* obj) {
  return obj != nullptr && obj->IsKindOf(RUNTIME_CLASS(T)) ? static_cast<T*>(obj) : nullptr;
}

#define VM_DECLARE_DYNAMIC(class_name)                    \
 public:                                                  \
  static const CRuntimeClass s_runtimeClass;              \
  const CRuntimeClass* GetRuntimeClass() const override { \
    return &s_runtimeClass;                               \
  }

#define VM_IMPLEMENT_DYNAMIC(class_name, base_name)                                        \
  const CRuntimeClass class_name::s_runtimeClass = {#class_name, CRuntimeClass::kNoSchema, \
                                                    nullptr, RUNTIME_CLASS(base_name)};

// Persistent class: dynamic creation, a schema, and the extraction operator
// `ar >> p` that reads an object reference and checks that the object is of
// this class or derived from it (CArchiveException::badClass otherwise).
#define VM_DECLARE_SERIAL(class_name)                                       \
  VM_DECLARE_DYNAMIC(class_name)                                            \
  static CObject* CreateObject();                                           \
  friend CArchive& operator>>(CArchive& ar, class_name*& obj) {             \
    obj = static_cast<class_name*>(ReadObjectOfClass(ar, &s_runtimeClass)); \
    return ar;                                                              \
  }

#define VM_IMPLEMENT_SERIAL(class_name, base_name, schema) \
  CObject* class_name::CreateObject() {                    \
    return new class_name;                                 \
  }                                                        \
  const CRuntimeClass class_name::s_runtimeClass = {       \
      #class_name, (schema), &class_name::CreateObject, RUNTIME_CLASS(base_name)};

// Defined in archive.cpp; lets the extraction operators above work without
// the full archive declaration.
CObject* ReadObjectOfClass(CArchive& ar, const CRuntimeClass* cls);
