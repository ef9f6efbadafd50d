// A fresh temporary directory per test, removed afterwards.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

struct TestDir {
  std::string path_ = [] { char name[] = "/tmp/mailstore-test-XXXXXX"; return std::string(::mkdtemp(name)); }();
  ~TestDir() { std::error_code ec; std::filesystem::remove_all(path_, ec); }
  const std::string& path() const { return path_; }
  std::string store() const { return path_ + "/store"; }
};
