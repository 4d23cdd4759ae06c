#include "run/runfiles.hpp"

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>

#include "records/run.hpp"

run_files_rec run_files;

bool file_exists(const std::string& name) {
  std::ifstream f(name);
  return static_cast<bool>(f);
}

void apri_elimina(const std::string& name, int& ierr) {
  // Open with status unknown (creates a missing file), then close with delete.
  std::FILE* f = std::fopen(name.c_str(), "ab");
  if (!f) {
    ierr = 1;
    return;
  }
  std::fclose(f);
  ierr = std::remove(name.c_str()) == 0 ? 0 : 1;
}

void filenames(int& iopt) {
  if (iopt < 1 || iopt > 4) {
    iopt = 1;
    return;
  }
  const std::string& s = run_files.resa[1];
  std::string name = s.substr(0, s.find_last_not_of(' ') + 1);
  // p: the end of the directory part (after a "]" bracket or the last "/");
  // the stem ends before the last "." after it, so that dots in directory
  // names ("./", "../") and in the structure name itself are kept.
  std::size_t br = name.find_last_of("]/");
  std::size_t p = br == std::string::npos ? 0 : br + 1;
  std::size_t dot = name.rfind('.');
  std::size_t q = dot == std::string::npos || dot < p ? name.size() : dot;
  std::string stem = name.substr(0, q);

  run_files.resa[2] = stem + ".pag";
  run_files.resa[3] = stem + ".lis";
  run_files.resa[4] = stem + ".err";
  run_files.resa[5] = stem + ".anw";
  run_files.optfil[3] = stem + ".qmt";
  run_files.optfil[2] = stem + ".mnt";
  const char* g[4] = {"_gmat.tmp", "_gstmat.tmp", "_gha.tmp", "_ght.tmp"};
  const char* o[4] = {"_oqst.tmp", "_oqsa.tmp", "_oqsi.tmp", "_oqsq.tmp"};
  // The scratch tables lie beside the structure too, named from its whole
  // stem: runs of structures of one name in different folders, started from
  // one folder, must not share them.
  for (int i = 1; i <= 4; ++i) {
    run_files.ftmp[i] = stem + g[i - 1];
    run_files.oftmp[i] = stem + o[i - 1];
  }

  int ierr = 0;
  auto remove = [&](const std::string& f) {
    if (ierr == 0) apri_elimina(f, ierr);
  };
  if (iopt <= 3) {
    for (int i = 2; i <= 4; ++i) remove(run_files.resa[i]);
    for (int i = 1; i <= 4; ++i) remove(run_files.ftmp[i]);
    if (iopt >= 2) remove(run_files.resa[5]);
    if (iopt == 3) remove(run_files.optfil[3]);
  } else {
    remove(run_files.optfil[2]);
  }
  iopt = ierr == 0 ? 0 : 1;
}

void remove_tmpfiles() {
  for (int i = 1; i <= 4; ++i)
    if (file_exists(run_files.ftmp[i])) std::remove(run_files.ftmp[i].c_str());
  for (int i = 1; i <= 4; ++i)
    if (file_exists(run_files.oftmp[i])) std::remove(run_files.oftmp[i].c_str());
}

namespace {
std::vector<std::string> result_files;

// Scratch names in static storage: the signal handler reads them.
constexpr int scratch_cap = 32;
constexpr std::size_t scratch_len = 4096;
char scratch_name[scratch_cap][scratch_len];
volatile std::sig_atomic_t scratch_count = 0;
}

void note_scratch_files(const std::string& base) {
  // The job name of the mode solver is the base followed by "_tmp"; the
  // mode-file writers copy through "<job>_tmp.*".
  static const char* const job_suffix[] = {
      ".apb", ".dat", ".wg2", ".wgm", ".crd", ".smp", ".smpTEM", ".pin", ".pag", ".lis", ".err",
      ".anw", ".qmt", ".mnt", "_gmat.tmp", "_gstmat.tmp", "_gha.tmp", "_ght.tmp", "_oqst.tmp",
      "_oqsa.tmp", "_oqsi.tmp", "_oqsq.tmp", "_tmp.wgm", "_tmp.smp", "_tmp.smpTEM"};
  scratch_count = 0;
  std::vector<std::string> names = {base + ".apb"};
  for (const char* s : job_suffix) names.push_back(base + "_tmp" + s);
  int n = 0;
  for (const std::string& name : names) {
    if (n == scratch_cap || name.size() >= scratch_len) continue;  // never cut a name
    std::memcpy(scratch_name[n], name.c_str(), name.size() + 1);
    ++n;
  }
  scratch_count = n;
}

void remove_scratch_files() {
  for (int i = 0; i < scratch_count; ++i) unlink(scratch_name[i]);
}

std::vector<std::string> scratch_files() {
  return std::vector<std::string>(scratch_name, scratch_name + scratch_count);
}

void runfiles_reset() {
  scratch_count = 0;
  result_files.clear();
  run_files = run_files_rec{};
}

void note_result_file(const std::string& name) {
  for (const std::string& f : result_files)
    if (f == name) return;
  result_files.push_back(name);
}

const std::vector<std::string>& result_files_written() { return result_files; }
