// Hostile files the engine reads itself: a message translation file too large to be one is
// left unread (the messages stay in English), and module titles are read from the header
// field of their format only.
#include <gtest/gtest.h>

#include <filesystem>

#include "EngineTestUtil.h"
#include "engine/ErrorBox.h"
#include "engine/ModuleTitle.h"

using namespace engine;
using enginetest::ProgramDir;

TEST(EngineBounds, ATranslationFileLargerThanTheLimitIsNotRead) {
  const std::string table = "[TZOZUZivade]\nPlayer is not ready ! = Nicht bereit\n";
  {
    ProgramDir dir(false);
    enginetest::WriteFile(dir.File("lang_de.txt"), table);
    // Padded with zero bytes up to the limit: still read.
    std::filesystem::resize_file(dir.File("lang_de.txt"), kMaxTranslationFileBytes);
    TErrorBox box(dir.Path());
    EXPECT_EQ(box.Compose("Player is not ready !").first, "Nicht bereit");
  }
  ProgramDir dir(false);
  enginetest::WriteFile(dir.File("lang_de.txt"), table);
  // Far larger (sparse: no disk used): reading it whole would cost gigabytes.
  std::filesystem::resize_file(dir.File("lang_de.txt"), uintmax_t(8) << 30);
  TErrorBox box(dir.Path());
  EXPECT_EQ(box.Compose("Player is not ready !").first, "Player is not ready !");
  EXPECT_EQ(box.Compose("x").second, "Error");
}

TEST(EngineBounds, ModuleTitlesComeFromTheirFormatsFieldOnly) {
  std::string xm = "Extended Module: " + std::string("Song\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 20) + "\x1a";
  EXPECT_EQ(ModuleTitleFromHeader(reinterpret_cast<const uint8_t*>(xm.data()), xm.size(), ModuleTitleField(".XM")),
            "Song");
  // A title filling its field is cut at the field's end; trailing blanks and control bytes go.
  std::string s3m = std::string(28, 'A') + "\x1a\x10";
  EXPECT_EQ(ModuleTitleFromHeader(reinterpret_cast<const uint8_t*>(s3m.data()), s3m.size(), ModuleTitleField(".S3M")),
            std::string(28, 'A'));
  std::string mod = "Tune  \t\x01" + std::string(12, ' ');
  EXPECT_EQ(ModuleTitleFromHeader(reinterpret_cast<const uint8_t*>(mod.data()), mod.size(), ModuleTitleField(".MOD")),
            "Tune");
  // A header shorter than the field gives no title; formats without a field give none.
  EXPECT_EQ(ModuleTitleFromHeader(reinterpret_cast<const uint8_t*>(xm.data()), 30, ModuleTitleField(".XM")), "");
  EXPECT_EQ(ModuleTitleField(".UMX").length, 0u);
  EXPECT_EQ(ModuleTitleFromHeader(reinterpret_cast<const uint8_t*>(xm.data()), xm.size(), ModuleTitleField(".MO3")), "");
}
