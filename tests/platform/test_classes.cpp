#include "test_classes.h"

VM_IMPLEMENT_DYNAMIC(CTracked, CObject)
VM_IMPLEMENT_SERIAL(CTestItem, CTracked, 2)
VM_IMPLEMENT_SERIAL(CTestDerived, CTestItem, 1)
VM_IMPLEMENT_SERIAL(CTestLink, CTracked, 1)
