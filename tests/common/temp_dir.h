// A fresh directory under the test temporary directory, removed with all it
// holds when the object goes (also when an assertion ends the test early).
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

class TempDir {
 public:
  // The directory's name starts with `prefix`; a directory that cannot be
  // made throws (the test fails with the reason).
  explicit TempDir(std::string_view prefix = "vm") {
    std::string name = ::testing::TempDir() + std::string(prefix) + "XXXXXX";
    if (::mkdtemp(name.data()) == nullptr) {
      throw std::runtime_error("cannot make " + name + ": " + std::strerror(errno));
    }
    dir_ = name;
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Dir() const { return dir_; }
  // The path of `name` inside the directory.
  std::string Path(std::string_view name) const { return dir_ + "/" + std::string(name); }

 private:
  std::string dir_;
};
