#include "DynamicLibrary.h"

#include <dlfcn.h>

#include <utility>

namespace platform {

DynamicLibrary::~DynamicLibrary() { Close(); }

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept { *this = std::move(other); }

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, nullptr);
    path_ = std::move(other.path_);
    error_ = std::move(other.error_);
    resolved_ = std::move(other.resolved_);
  }
  return *this;
}

bool DynamicLibrary::Open(const std::string& path) {
  if (handle_) return true;
  // RTLD_LOCAL keeps plug-ins' symbols apart; RTLD_NOW reports missing symbols here, not later.
  handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    const char* e = ::dlerror();
    error_ = e ? e : "cannot load library";
    return false;
  }
  path_ = path;
  error_.clear();
  return true;
}

bool DynamicLibrary::OpenWithSymbols(const std::string& path, const std::vector<std::string>& names,
                                     std::string* missing) {
  if (handle_) return true;
  if (!Open(path)) return false;
  for (const auto& name : names) {
    void* p = ::dlsym(handle_, name.c_str());
    if (!p) {
      if (missing) *missing = name;
      error_ = "missing export " + name;
      Close();
      return false;
    }
    resolved_[name] = p;
  }
  return true;
}

void DynamicLibrary::Close() {
  if (handle_) ::dlclose(handle_);
  handle_ = nullptr;
  resolved_.clear();
}

void* DynamicLibrary::Symbol(std::string_view name) const {
  if (!handle_) return nullptr;
  auto it = resolved_.find(std::string(name));
  if (it != resolved_.end()) return it->second;
  return ::dlsym(handle_, std::string(name).c_str());
}

}  // namespace platform
