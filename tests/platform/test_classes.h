// Persistent classes for the platform tests. Every instance is tracked, like
// the model's load chain, so a test can free what a failed load made.
#pragma once

#include <cstdint>
#include <set>
#include <string>

#include "platform/core/archive.h"

// Enters the classes below into the class registry (the test main calls it).
void RegisterTestClasses();

class CTracked : public CObject {
 public:
  CTracked() { Live().insert(this); }
  ~CTracked() override { Live().erase(this); }
  static std::set<CTracked*>& Live() {
    static std::set<CTracked*> live;
    return live;
  }
  static void DeleteAll() {
    while (!Live().empty()) delete *Live().begin();
  }
  VM_DECLARE_DYNAMIC(CTracked)
};

// A number (schema 2).
class CTestItem : public CTracked {
 public:
  uint32_t value = 0;
  void Serialize(CArchive& ar) override {
    if (ar.IsStoring()) {
      ar << value;
    } else {
      ar >> value;
    }
  }
  VM_DECLARE_SERIAL(CTestItem)
};

// A number and a label (schema 1).
class CTestDerived : public CTestItem {
 public:
  std::string label;
  void Serialize(CArchive& ar) override {
    CTestItem::Serialize(ar);
    if (ar.IsStoring()) {
      ar.WriteString(label);
    } else {
      label = ar.ReadString();
    }
  }
  VM_DECLARE_SERIAL(CTestDerived)
};

// A reference to another object, read with the extraction operator (schema 1).
class CTestLink : public CTracked {
 public:
  CTestLink* next = nullptr;
  void Serialize(CArchive& ar) override {
    if (ar.IsStoring()) {
      ar << next;
    } else {
      ar >> next;
    }
  }
  VM_DECLARE_SERIAL(CTestLink)
};
