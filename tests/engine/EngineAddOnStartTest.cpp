// The add-on start-up routine shared by the player and orvella, the size of the
// add-on table, and library errors through the translated error box.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "EngineTestUtil.h"
#include "engine/ZOZUZivade.h"
#include "platform/MessageBox.h"

using namespace engine;
using namespace enginetest;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> AttachedNames(const TZOZUZivade& eng) {
  std::vector<std::string> names;
  for (const auto& slot : eng.GetAddOnList())
    if (slot.Handle) names.push_back(slot.Name);
  return names;
}

bool Has(const std::vector<std::string>& v, const std::string& s) { return std::find(v.begin(), v.end(), s) != v.end(); }

}  // namespace

TEST(EngineAddOnStart, EveryShippedFormatAddOnIsAttachedInTheFixedOrder) {
  ProgramDir dir;
  SilentOutput silent;
  TZOZUZivade eng;
  ASSERT_TRUE(eng.Ready());
  std::vector<TAddOnAttempt> tried = eng.AttachFormatAddOns();
  ASSERT_EQ(tried.size(), TZOZUZivade::FormatAddOnNames().size());
  for (size_t i = 0; i < tried.size(); ++i)
    EXPECT_EQ(tried[i].Path, dir.Path() + "/plugins/bass/" + TZOZUZivade::FormatAddOnNames()[i] + ".so");
  EXPECT_EQ(tried.front().Path, dir.Path() + "/plugins/bass/bass_aac.so");
  EXPECT_EQ(tried.back().Path, dir.Path() + "/plugins/bass/bass_wm.so");

  // Every format add-on the program folder ships sits in the table, the last ones of the list too.
  std::vector<std::string> attached = AttachedNames(eng);
  for (const auto& e : fs::directory_iterator(dir.File("plugins/bass"))) {
    std::string name = e.path().filename().string();
    if (name.rfind("bass_", 0) == 0) {
      EXPECT_TRUE(Has(attached, name)) << name;
    }
  }
  for (const char* n : {"bass_opus.so", "bass_spx.so", "bass_tta.so"}) EXPECT_TRUE(Has(attached, n)) << n;
  // The result names what went in, in table order.
  std::vector<std::string> reported;
  for (const auto& a : tried)
    if (a.Info.Handle) reported.push_back(a.Info.Name);
  EXPECT_EQ(reported, attached);
  EXPECT_TRUE(eng.AACReady());
  EXPECT_TRUE(eng.WMAReady());

  // A second run attaches nothing more.
  for (const auto& a : eng.AttachFormatAddOns()) EXPECT_EQ(a.Info.Handle, 0u) << a.Path;
  EXPECT_EQ(AttachedNames(eng), attached);
}

TEST(EngineAddOnStart, OpusSpeexAndTtaOpenOnceTheRoutineRan) {
  ProgramDir dir;
  SilentOutput silent;
  std::string opus = Media("start.opus", "ffmpeg -nostdin -y -f lavfi -i sine=frequency=440:duration=1 -c:a libopus {out}");
  std::string spx = Media("start.spx", "ffmpeg -nostdin -y -f lavfi -i sine=frequency=440:duration=1 -ar 16000 "
                                       "-c:a libspeex {out}");
  std::string tta = Media("start.tta", "ffmpeg -nostdin -y -f lavfi -i sine=frequency=440:duration=1 -c:a tta {out}");
  ASSERT_FALSE(opus.empty());
  ASSERT_FALSE(spx.empty());
  ASSERT_FALSE(tta.empty());
  platform::MessageRecorder msgs;
  TZOZUZivade eng;
  eng.AttachFormatAddOns();
  for (const auto& [file, decoder] : {std::pair{opus, "bass_opus.so"}, {spx, "bass_spx.so"}, {tta, "bass_tta.so"}}) {
    ASSERT_TRUE(eng.Open(file)) << file;
    EXPECT_EQ(eng.DecoderName(), decoder);
    EXPECT_GT(eng.GetLength(), 900u);
  }
  eng.Close();
  for (const auto& m : msgs.Messages()) ADD_FAILURE() << m.text;
}

TEST(EngineAddOnStart, OnlyAFullTableRefusesOneMoreAddOn) {
  ProgramDir dir;
  SilentOutput silent;
  ScratchDir copies;
  // Copies of one add-on under distinct names are distinct add-ons to the table.
  for (size_t i = 0; i <= kAddOnSlots; ++i)
    fs::copy_file(dir.File("plugins/bass/bass_flac.so"), copies.File("bass_copy" + std::to_string(i) + ".so"));
  TZOZUZivade eng;
  ASSERT_TRUE(eng.Ready());
  EXPECT_EQ(kAddOnSlots, 32u);
  size_t attached = 0;
  for (size_t i = 0; i < kAddOnSlots; ++i)
    if (eng.LoadAddOn(copies.File("bass_copy" + std::to_string(i) + ".so")).Handle) ++attached;
  EXPECT_EQ(attached, kAddOnSlots);
  TBASSAddOnInfo extra = eng.LoadAddOn(copies.File("bass_copy" + std::to_string(kAddOnSlots) + ".so"));
  EXPECT_EQ(extra.Handle, 0u);
  EXPECT_EQ(AttachedNames(eng).size(), kAddOnSlots);
  // One freed slot takes the refused one.
  HPLUGIN first = eng.GetAddOnList()[0].Handle;
  EXPECT_EQ(eng.UnloadAddOn(first), 1);
  EXPECT_NE(eng.LoadAddOn(copies.File("bass_copy" + std::to_string(kAddOnSlots) + ".so")).Handle, 0u);
  EXPECT_EQ(eng.UnloadAddOn(0), int(kAddOnSlots));
  EXPECT_TRUE(AttachedNames(eng).empty());
}

TEST(ErrorBox, ALibraryErrorIsTranslatedAndKeepsItsCode) {
  ProgramDir dir(false);
  enginetest::WriteFile(dir.File("lang_de.txt"),
                        "[TZOZUZivade]\nCan't initialize device = Geraet nicht bereit\n"
                        "Could not open the channel for play. = Kanal nicht offen\n");
  TErrorBox box(dir.Path());
  platform::MessageRecorder rec;
  box.ShowBASSError("Can't initialize device", 23);
  box.ShowBASSError("Could not open the channel for play.", 5);
  box.ShowBASSError("Untranslated", 1);
  auto msgs = rec.Messages();
  ASSERT_EQ(msgs.size(), 3u);
  EXPECT_EQ(msgs[0].text, "Geraet nicht bereit\r\n(error code: 23)");
  EXPECT_EQ(msgs[1].text, "Kanal nicht offen\r\n(error code: 5)");
  EXPECT_EQ(msgs[2].text, "Untranslated\r\n(error code: 1)");
  EXPECT_EQ(msgs[0].caption, "Error");
}
