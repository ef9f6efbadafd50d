// A fresh temporary directory per test, removed afterwards.
#pragma once

#include <cstdlib>
#include <string>
#include <unistd.h>

#include <filesystem>

class TestDir {
 public:
  TestDir() {
    char tmpl[] = "/tmp/mailstore-test-XXXXXX";
    path_ = ::mkdtemp(tmpl);
  }
  ~TestDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }
  std::string store() const { return path_ + "/store"; }

 private:
  std::string path_;
};
