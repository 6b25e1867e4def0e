// Every persistent class the model defines can be read back by name: a class
// added to the model but left out of its registration function would load
// as an unknown class only in programs that never name it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/core/object.h"

TEST(ModelClasses, EveryPersistentClassIsRegistered) {
  const std::string serial = "VM_IMPLEMENT_SERIAL(";
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(VM_SOURCE_DIR "/model")) {
    if (entry.path().extension() != ".cpp") continue;
    std::ifstream in(entry.path());
    std::stringstream text;
    text << in.rdbuf();
    const std::string source = text.str();
    for (size_t at = source.find(serial); at != std::string::npos;
         at = source.find(serial, at + 1)) {
      const size_t begin = at + serial.size();
      names.push_back(source.substr(begin, source.find(',', begin) - begin));
    }
  }
  ASSERT_GE(names.size(), 9u);  // the scan found the model's sources
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const CRuntimeClass* cls = CRuntimeClass::FromName(name);
    ASSERT_NE(cls, nullptr);
    CObject* obj = cls->CreateObject();
    EXPECT_EQ(obj->GetRuntimeClass(), cls);
    delete obj;
  }
}
