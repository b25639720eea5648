// The update server's answer: any body and status give a verdict; only a
// complete 2xx answer whose first line is a dotted number can announce a new
// version, and the version announced is made of digits and dots and is newer.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/desktop/UpdateCheck.h"

using namespace app::desktop;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const long status = 100 + data[0] * 2;  // 100..610
  const std::string body(reinterpret_cast<const char*>(data + 1), size - 1);
  for (bool complete : {true, false}) {
    const TUpdateAnswer a = Judge(complete, status, body);
    if (!complete || status < 200 || status > 299) {
      if (a.verdict != TUpdateVerdict::CantConnect) __builtin_trap();
      continue;
    }
    if (a.verdict == TUpdateVerdict::NewVersion) {
      if (a.version.empty() || a.version.find_first_not_of("0123456789.") != std::string::npos) __builtin_trap();
      if (CompareVersions(a.version, kProductVersion) <= 0) __builtin_trap();
    }
  }
  // Comparison is a total order on what it is given: antisymmetric.
  const size_t half = body.size() / 2;
  const std::string x = body.substr(0, half), y = body.substr(half);
  if (CompareVersions(x, y) != -CompareVersions(y, x)) __builtin_trap();
  return 0;
}
