// An add-on whose entry point exists but answers no add-on record.
extern "C" __attribute__((visibility("default"))) const void* OrvBassAddonGet(const void*) { return nullptr; }
