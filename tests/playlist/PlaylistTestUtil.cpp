#include "PlaylistTestUtil.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace fs = std::filesystem;

namespace pltest {

TempDir::TempDir() {
  std::string tmpl = (fs::temp_directory_path() / "orvella-pl-XXXXXX").string();
  if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::string TempDir::Make(const std::string& rel, const std::string& data) const {
  std::string p = File(rel);
  fs::create_directories(fs::path(p).parent_path());
  std::ofstream(p, std::ios::binary) << data;
  return p;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> Files(const playlist::TPlaylist& pl) {
  std::vector<std::string> out;
  for (const auto& e : pl.Entries()) out.push_back(e.File);
  return out;
}

std::vector<std::string> Titles(const playlist::TPlaylist& pl) {
  std::vector<std::string> out;
  for (const auto& e : pl.Entries()) out.push_back(e.Title);
  return out;
}

}  // namespace pltest
