// Translation files of the engine's error box: any bytes parse, and composing a
// message with the result never reads outside its texts.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/ErrorBox.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  engine::TErrorBox box("/nonexistent");
  std::string text(reinterpret_cast<const char*>(data), size);
  box.LoadTranslations(text);
  box.Compose("Player is not ready !");
  box.Compose(text.substr(0, text.find('\n')) + "\nrest");
  return 0;
}
