#include "test_classes.h"

VM_IMPLEMENT_DYNAMIC(CTracked, CObject)
VM_IMPLEMENT_SERIAL(CTestItem, CTracked, 2)
VM_IMPLEMENT_SERIAL(CTestDerived, CTestItem, 1)
VM_IMPLEMENT_SERIAL(CTestLink, CTracked, 1)

void RegisterTestClasses() {
  CRuntimeClass::Register(RUNTIME_CLASS(CTestItem));
  CRuntimeClass::Register(RUNTIME_CLASS(CTestDerived));
  CRuntimeClass::Register(RUNTIME_CLASS(CTestLink));
}
