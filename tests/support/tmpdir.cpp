#include "support/tmpdir.hpp"

#include <unistd.h>

#include <fstream>
#include <sstream>

scratch_dir::scratch_dir() {
  old_ = std::filesystem::current_path();
  std::string tmpl = (std::filesystem::temp_directory_path() / "fsstestXXXXXX").string();
  char* d = mkdtemp(tmpl.data());
  if (!d) throw std::runtime_error("cannot create a scratch directory");
  dir_ = d;
  std::filesystem::current_path(dir_);
}

scratch_dir::~scratch_dir() {
  std::error_code ec;
  std::filesystem::current_path(old_, ec);
  std::filesystem::remove_all(dir_, ec);
}

std::string scratch_dir::path(const std::string& name) const {
  return (dir_ / name).string();
}

std::string scratch_dir::read_file(const std::string& name) {
  std::ifstream f(name, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

void scratch_dir::write_file(const std::string& name, const std::string& text) {
  std::ofstream f(name, std::ios::binary);
  f << text;
}
