// Engine construction against missing, wrong and failing libraries, the error
// box and its translations.
#include <gtest/gtest.h>

#include <filesystem>

#include "EngineTestUtil.h"
#include "engine/ErrorBox.h"
#include "engine/ZOZUZivade.h"
#include "platform/MessageBox.h"

using namespace engine;
using enginetest::ProgramDir;

namespace {

std::vector<std::string> Texts(const platform::MessageRecorder& rec) {
  std::vector<std::string> out;
  for (const auto& m : rec.Messages()) out.push_back(m.text);
  return out;
}

void InstallFake(const ProgramDir& dir, const char* fake) {
  std::filesystem::copy_file(std::string(ORVELLA_BINARY_DIR) + "/tests/" + fake, dir.File("bass.so"));
}

}  // namespace

TEST(EngineStart, WithoutTheLibraryTheEngineStaysUnready) {
  ProgramDir dir(false);
  platform::MessageRecorder rec;
  TZOZUZivade eng;
  EXPECT_FALSE(eng.Ready());
  EXPECT_EQ(eng.BASSDLLVer(), "");
  EXPECT_TRUE(rec.Messages().empty());  // a missing library says nothing until used
  EXPECT_FALSE(eng.Open("/tmp/whatever.mp3"));
  ASSERT_EQ(Texts(rec), std::vector<std::string>{"Player is not ready !"});
  EXPECT_EQ(rec.Messages()[0].caption, "Error");
  EXPECT_EQ(rec.Messages()[0].icon, platform::MsgIcon::Error);
  EXPECT_EQ(eng.GetNativeFileExts(), "");
  eng.Play();  // the other operations do nothing
  eng.SetVolume(10);
  EXPECT_EQ(eng.Mode(), plmStandby);
}

TEST(EngineStart, AWrongLibraryVersionIsRefused) {
  ProgramDir dir(false);
  InstallFake(dir, "fake_bass_v23.so");
  platform::MessageRecorder rec;
  TZOZUZivade eng;
  EXPECT_FALSE(eng.Ready());
  EXPECT_FALSE(eng.Open("/tmp/x.wav"));
  EXPECT_EQ(Texts(rec), (std::vector<std::string>{"BASS version is not 2.4 !", "Player is not ready !"}));
}

TEST(EngineStart, ADeviceThatCannotStartIsALibraryError) {
  ProgramDir dir(false);
  InstallFake(dir, "fake_bass_noinit.so");
  platform::MessageRecorder rec;
  TZOZUZivade eng;
  EXPECT_FALSE(eng.Ready());
  EXPECT_FALSE(eng.Open("/tmp/x.wav"));
  EXPECT_EQ(Texts(rec),
            (std::vector<std::string>{"Can't initialize device\r\n(error code: 23)", "Player is not ready !"}));
}

TEST(EngineStart, TheRealLibraryStartsWithTheSilentOutput) {
  ProgramDir dir;
  enginetest::SilentOutput silent;
  platform::MessageRecorder rec;
  TZOZUZivade eng;
  ASSERT_TRUE(eng.Ready());
  EXPECT_EQ(eng.Version(), "2.10.0");
  EXPECT_EQ(eng.BASSDLLVer().rfind("2.4.", 0), 0u) << eng.BASSDLLVer();
  EXPECT_EQ(eng.Volume(), 255u);
  EXPECT_EQ(eng.Mode(), plmStandby);
  EXPECT_EQ(eng.GetNativeFileExts().rfind("*.wav;*.mp1;*.mp2;*.mp3;*.ogg;*.aiff;*.mo3;*.it;*.xm;*.s3m;*.mtm;*.mod;*.umx;", 0),
            0u);
  for (const auto& m : rec.Messages()) ADD_FAILURE() << "unexpected message: " << m.text;
}

TEST(ErrorBox, TranslatesTheFirstLineAndKeepsTheRest) {
  TErrorBox box("/nonexistent");
  box.LoadTranslations(
      "// engine messages\r\n"
      "[Other]\r\nPlayer is not ready != wrong section\r\n"
      "[Common]\r\nError = \"Fehler\"\r\n"
      "[TZOZUZivade]\r\n"
      "Invalid or unsupported stream file. = Ungueltige Datei.\r\n"
      "$skipped=1\r\n"
      "no equals sign\r\n"
      "Empty =\r\n"
      "[Next]\r\n"
      "Player is not ready ! = too late\r\n");
  auto [text, caption] = box.Compose("Invalid or unsupported stream file.\n -> /a/b.mp3");
  EXPECT_EQ(text, "Ungueltige Datei.\n -> /a/b.mp3");
  EXPECT_EQ(caption, "Fehler");
  EXPECT_EQ(box.Compose("Player is not ready !").first, "Player is not ready !");  // sections after the engine's end reading
  EXPECT_EQ(box.Compose("Empty").first, "Empty");
}

TEST(ErrorBox, ReadsTheFirstLangFileOfTheProgramFolderOnce) {
  ProgramDir dir(false);
  enginetest::WriteFile(dir.File("lang_de.txt"), "[TZOZUZivade]\nPlayer is not ready ! = Nicht bereit\n");
  TErrorBox box(dir.Path());
  platform::MessageRecorder rec;
  box.ShowError("Player is not ready !");
  box.ShowBASSError("Can't initialize device", 23);
  auto msgs = rec.Messages();
  ASSERT_EQ(msgs.size(), 2u);
  EXPECT_EQ(msgs[0].text, "Nicht bereit");
  EXPECT_EQ(msgs[0].caption, "Error");
  EXPECT_EQ(msgs[1].text, "Can't initialize device\r\n(error code: 23)");

  TErrorBox none("/nonexistent");
  EXPECT_EQ(none.Compose("x").second, "Error");
}

TEST(EngineStart, TheEngineTranslatesItsMessages) {
  ProgramDir dir(false);
  enginetest::WriteFile(dir.File("lang_ru.txt"), "[TZOZUZivade]\nPlayer is not ready ! = \"Not ready, sorry\"\n");
  platform::MessageRecorder rec;
  TZOZUZivade eng;
  eng.Open("/tmp/a.mp3");
  EXPECT_EQ(Texts(rec), std::vector<std::string>{"Not ready, sorry"});
}
