// Fuzz target: the ASF header reader and its tag block.
#include <cstddef>
#include <cstdint>

#include "AsfHeader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  orvwma::AsfInfo info;
  if (orvwma::ParseAsfHeader(data, size, &info)) orvwma::AsfTagBlock(info);
  return 0;
}
