#include "plugins/WasabiAPI.h"

#include <cstring>

namespace plugins {

namespace {

constexpr uint32_t kConstant = 0xDEADC0DE;

class TWasabiService final : public Dispatchable {
 public:
  int _dispatch(int msg, void* retval, void**, int nparams) override {
    switch (msg) {
      case 10:  // string and dialog resources: there are none in a shared object here
      case 11:
      case 50:
      case 51:
      case 53:
      case 54:
        if (nparams != (msg <= 11 ? 5 : 6)) return 0;
        if (retval) *static_cast<void**>(retval) = nullptr;
        return 1;
      case 52:  // menus likewise
        if (nparams != 3) return 0;
        if (retval) *static_cast<void**>(retval) = nullptr;
        return 1;
      case WASABI_SERVICE_CONSTANT:
        if (nparams != 2) return 0;
        if (retval) *static_cast<uint32_t*>(retval) = kConstant;
        return 1;
      case WASABI_SERVICE_SELF:
        if (retval) *static_cast<void**>(retval) = static_cast<Dispatchable*>(this);
        return 1;
      default:
        return 0;
    }
  }
};

class TWasabiManager final : public Dispatchable {
 public:
  int _dispatch(int msg, void* retval, void** params, int nparams) override {
    if (msg != WASABI_API_SERVICE_GETSERVICEBYGUID || nparams != 1 || !params || !params[0]) return 0;
    if (std::memcmp(params[0], kWasabiLanguageServiceGuid, 16) != 0) return 0;
    if (retval) *static_cast<void**>(retval) = WasabiService();
    return 1;
  }
};

}  // namespace

Dispatchable* WasabiServiceManager() {
  static TWasabiManager* m = new TWasabiManager;  // plug-in threads may outlive statics
  return m;
}

Dispatchable* WasabiService() {
  static TWasabiService* s = new TWasabiService;
  return s;
}

}  // namespace plugins
