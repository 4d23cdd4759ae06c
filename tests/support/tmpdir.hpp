// A fresh scratch directory per test, made the working directory while the
// test runs, so that run files never collide between tests.
#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

class scratch_dir {
 public:
  scratch_dir();
  ~scratch_dir();
  std::string path(const std::string& name) const;
  static std::string read_file(const std::string& name);
  static void write_file(const std::string& name, const std::string& text);

 private:
  std::filesystem::path dir_, old_;
};
