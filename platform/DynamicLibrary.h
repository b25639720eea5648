// Run-time loading of shared objects (audio library, add-ons, plug-ins).
// Not thread-safe per object.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace platform {

class DynamicLibrary {
 public:
  DynamicLibrary() = default;
  ~DynamicLibrary();
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;
  DynamicLibrary(DynamicLibrary&& other) noexcept;
  DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;

  // Loads the library; loading a loaded object succeeds at once.
  bool Open(const std::string& path);
  // Loads the library and resolves every name in `names`. When one is missing the
  // library is unloaded again and the call fails (`missing` tells which name).
  bool OpenWithSymbols(const std::string& path, const std::vector<std::string>& names,
                       std::string* missing = nullptr);
  void Close();
  bool IsOpen() const { return handle_ != nullptr; }
  // Address of an exported name, or nullptr. Names resolved by OpenWithSymbols are cached.
  void* Symbol(std::string_view name) const;
  template <typename F>
  F Function(std::string_view name) const {
    return reinterpret_cast<F>(Symbol(name));
  }
  const std::string& Path() const { return path_; }
  // The loader's last error text (for messages and logs).
  const std::string& LastError() const { return error_; }
  void* Handle() const { return handle_; }

 private:
  void* handle_ = nullptr;
  std::string path_;
  std::string error_;
  std::unordered_map<std::string, void*> resolved_;
};

}  // namespace platform
