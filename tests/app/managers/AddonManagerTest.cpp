// The add-on manager over the real engine: the detected list, the grid of
// attached add-ons, attaching and detaching, the add-on in use, hostile files.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <algorithm>
#include <cstring>

#include "../AppTestUtil.h"
#include "ManagerTestUtil.h"
#include "app/Main.h"
#include "app/managers/FormAddonConfig.h"
#include "app/managers/ManagerWidgets.h"
#include "engine/ZOZUZivade.h"

using apptest::Player;
using apptest::ProgramDir;
using mgrtest::Texts;

namespace {

int Attached(engine::TZOZUZivade& e) {
  int n = 0;
  for (const auto& s : e.GetAddOnList()) n += s.Handle != 0;
  return n;
}

bool IsAttached(engine::TZOZUZivade& e, const std::string& name) {
  for (const auto& s : e.GetAddOnList())
    if (s.Handle && s.Name == name) return true;
  return false;
}

int Find(const app::TDetectedList& list, const std::string& name) {
  const auto names = list.Names();
  auto it = std::find(names.begin(), names.end(), name);
  return it == names.end() ? -1 : int(it - names.begin());
}

int GridRow(const app::TManagerGrid& grid, const std::string& name) {
  for (int r = 0; r < grid.RowCount(); ++r)
    if (grid.Cell(r, 0) == name) return r;
  return -1;
}

// A raw file of the test add-on's own format: 16-bit stereo 44.1 kHz, `seconds` long.
std::string RawFile(const std::string& path, double seconds) {
  std::string bytes = "ORVTEST1";
  const uint32_t rate = 44100, chans = 2;
  bytes.append(reinterpret_cast<const char*>(&rate), 4);
  bytes.append(reinterpret_cast<const char*>(&chans), 4);
  const size_t frames = size_t(seconds * rate);
  std::string pcm(frames * 4, '\0');
  for (size_t i = 0; i < frames; ++i) {
    const int16_t v = int16_t(8000 * ((i / 50) % 2 ? 1 : -1));
    std::memcpy(&pcm[i * 4], &v, 2);
    std::memcpy(&pcm[i * 4 + 2], &v, 2);
  }
  mgrtest::WriteBytes(path, bytes + pcm);
  return path;
}

struct AddonRig : mgrtest::ManagerRig<app::TAddonConfigForm> {
  AddonRig() : ManagerRig({{MGR_TEST_ADDON, "plugins/bass/bass_test.so"}}) {
    Start(&app::TApplicationWindows::AddonConfigForm);
  }
};

}  // namespace

TEST(AddonManager, ListsTheFolderSortedAndGreysTheAttachedOnes) {
  AddonRig r;
  ASSERT_NE(r.eng, nullptr);
  ASSERT_TRUE(r.eng->Ready());
  r.Show();
  EXPECT_EQ(r.form->windowTitle().toStdString(), "BASS Add-on Configuration");
  EXPECT_EQ(r.form->size(), QSize(591, 228));
  EXPECT_EQ(r.form->AddonList()->Names(), app::ListLibraries(r.dir.Path() + "plugins/bass/", "bass_"));
  const std::vector<std::string> names = r.form->AddonList()->Names();
  ASSERT_FALSE(names.empty());
  EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
  // basswma, bassmidi ... do not match "bass_*"; the start-up set is attached and grey.
  for (size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(names[i].rfind("bass_", 0), 0u) << names[i];
    EXPECT_EQ(r.form->AddonList()->IsGrey(int(i)), IsAttached(*r.eng, names[i])) << names[i];
  }
  EXPECT_FALSE(IsAttached(*r.eng, "bass_test.so"));
  // One grid row per attached add-on, in slot order; the first is selected.
  ASSERT_EQ(r.form->AddonGrid()->RowCount(), Attached(*r.eng));
  int row = 0;
  for (const auto& s : r.eng->GetAddOnList()) {
    if (!s.Handle) continue;
    EXPECT_EQ(r.form->AddonGrid()->Cell(row++, 0), s.Name);
  }
  EXPECT_EQ(r.form->AddonGrid()->SelectedRow(), 0);
  EXPECT_EQ(r.form->AddonGrid()->HeaderColour(), QColor(0xc0, 0xff, 0xc0));
  // Selecting an attached file disables Load, any other enables it.
  const int aac = Find(*r.form->AddonList(), "bass_aac.so");
  const int test = Find(*r.form->AddonList(), "bass_test.so");
  ASSERT_GE(aac, 0);
  ASSERT_GE(test, 0);
  r.form->AddonList()->Select(aac);
  EXPECT_FALSE(r.form->btnLoad()->isEnabled());
  r.form->AddonList()->Select(test);
  EXPECT_TRUE(r.form->btnLoad()->isEnabled());
  EXPECT_TRUE(r.rec.Messages().empty());
}

TEST(AddonManager, WithoutAddOnFilesBothListsAreDisabled) {
  ProgramDir dir({.withLibrary = true, .leaveOutAddOns = {"bass_aac", "bass_ac3", "bass_alac", "bass_ape",
                                                          "bass_flac", "bass_mpc", "bass_opus", "bass_spx",
                                                          "bass_tta"}});
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\n");
  platform::MessageRecorder rec;
  Player p;
  app::TAddonConfigForm* f = p.windows->AddonConfigForm.get();
  rec.Clear();  // the start-up reports the missing AAC add-on
  f->show();
  QApplication::processEvents();
  EXPECT_EQ(f->AddonList()->count(), 0);
  EXPECT_FALSE(f->AddonList()->isEnabled());
  EXPECT_FALSE(f->AddonGrid()->isEnabled());
  EXPECT_FALSE(f->btnLoad()->isEnabled());
  f->Load();
  EXPECT_EQ(Texts(rec), std::vector<std::string>{"Select an add-on to unload first"});
  // Nothing attached at all.
  f->hide();
  p.form->Engine()->UnloadAddOn(0);
  f->show();
  QApplication::processEvents();
  EXPECT_EQ(f->AddonGrid()->RowCount(), 0);
  rec.Clear();
  f->Unload();
  EXPECT_EQ(Texts(rec), std::vector<std::string>{"No add-ons are loaded"});
}

TEST(AddonManager, LoadShowsBothFormatsVersionAndExtensionsAndRefusesASecondLoad) {
  AddonRig r;
  r.Show();
  const int before = Attached(*r.eng);
  r.form->AddonList()->Select(Find(*r.form->AddonList(), "bass_test.so"));
  r.form->Load();
  EXPECT_TRUE(r.rec.Messages().empty());
  ASSERT_TRUE(IsAttached(*r.eng, "bass_test.so"));
  app::TManagerGrid* grid = r.form->AddonGrid();
  ASSERT_EQ(grid->RowCount(), before + 1);
  const int row = grid->RowCount() - 1;
  EXPECT_EQ(grid->Cell(row, 0), "bass_test.so");
  EXPECT_EQ(grid->Cell(row, 1), "Orvella test raw, FLAC V2.4.0.1");
  EXPECT_EQ(grid->Cell(row, 2), "*.otr;*.flac");
  EXPECT_EQ(grid->SelectedRow(), row);
  EXPECT_TRUE(r.form->btnUnload()->isEnabled());
  // Now attached: grey, and Load is disabled while it is selected.
  const int test = Find(*r.form->AddonList(), "bass_test.so");
  EXPECT_TRUE(r.form->AddonList()->IsGrey(test));
  EXPECT_FALSE(r.form->btnLoad()->isEnabled());
  // Asked again all the same: refused, nothing more attached.
  r.form->Load();
  EXPECT_EQ(Texts(r.rec), std::vector<std::string>{"Not a valid add-on"});
  EXPECT_EQ(r.rec.Messages()[0].caption, "Confirm");
  EXPECT_EQ(Attached(*r.eng), before + 1);
  EXPECT_EQ(grid->RowCount(), before + 1);
  // Shown again, the grid is built from the engine's table.
  r.form->hide();
  r.Show();
  EXPECT_EQ(grid->RowCount(), before + 1);
  EXPECT_GE(GridRow(*grid, "bass_test.so"), 0);
}

TEST(AddonManager, TheAddOnInUseIsRedAndCannotBeUnloadedUntilItsStreamIsClosed) {
  AddonRig r;
  r.Show();
  r.form->AddonList()->Select(Find(*r.form->AddonList(), "bass_test.so"));
  r.form->Load();
  ASSERT_TRUE(IsAttached(*r.eng, "bass_test.so"));
  app::TManagerGrid* grid = r.form->AddonGrid();
  const int row = GridRow(*grid, "bass_test.so");
  ASSERT_GE(row, 0);
  EXPECT_EQ(grid->TextColour(row, false), QColor(Qt::black));

  const std::string file = RawFile(r.dir.File("tone.otr"), 10.0);
  ASSERT_TRUE(r.eng->Open(file));
  EXPECT_EQ(r.eng->DecoderName(), "bass_test.so");
  r.eng->Play();
  ASSERT_TRUE(mgrtest::WaitFor([&] { return r.eng->Mode() == engine::plmPlaying; }, 10000));
  // The engine told the window: the row is red, yellow when selected, and Unload is disabled on it.
  EXPECT_EQ(r.form->AddOnInUse(), "bass_test.so");
  EXPECT_EQ(grid->TextColour(row, false), QColor(Qt::red));
  EXPECT_EQ(grid->TextColour(row, true), QColor(Qt::yellow));
  grid->Select(0 == row ? 1 : 0);
  EXPECT_TRUE(r.form->btnUnload()->isEnabled());
  grid->Select(row);
  EXPECT_FALSE(r.form->btnUnload()->isEnabled());
  // The library refuses to free it while its stream exists.
  r.form->Unload();
  EXPECT_EQ(Texts(r.rec), std::vector<std::string>{"Cannot unload : add-on is in use"});
  EXPECT_TRUE(IsAttached(*r.eng, "bass_test.so"));

  r.eng->Stop();
  r.eng->Close();
  EXPECT_EQ(r.form->AddOnInUse(), "");
  EXPECT_TRUE(r.form->btnUnload()->isEnabled());
  EXPECT_EQ(grid->TextColour(row, false), QColor(Qt::black));
  const int rows = grid->RowCount();
  r.rec.Clear();
  r.form->Unload();
  EXPECT_TRUE(r.rec.Messages().empty());
  EXPECT_FALSE(IsAttached(*r.eng, "bass_test.so"));
  EXPECT_EQ(grid->RowCount(), rows - 1);
  EXPECT_EQ(GridRow(*grid, "bass_test.so"), -1);
  // Detached: no longer grey in the list.
  const int test = Find(*r.form->AddonList(), "bass_test.so");
  EXPECT_FALSE(r.form->AddonList()->IsGrey(test));
}

TEST(AddonManager, HostileFilesAreNotValidAddOnsAndNothingIsAttached) {
  AddonRig r;
  mgrtest::WriteBytes(r.dir.File("plugins/bass/bass_junk.so"), "this is not a library\n");
  mgrtest::Copy(std::string(ORVELLA_STAGE_DIR) + "/plugins/dsp_orvella.so", r.dir.File("plugins/bass/bass_noentry.so"));
  mgrtest::Copy(MGR_NULL_ADDON, r.dir.File("plugins/bass/bass_nullget.so"));
  mgrtest::WriteBytes(r.dir.File("plugins/bass/bass_x86.so"), mgrtest::Elf32Header());
  r.Show();
  const int before = Attached(*r.eng);
  const int rows = r.form->AddonGrid()->RowCount();
  for (const char* name : {"bass_junk.so", "bass_noentry.so", "bass_nullget.so", "bass_x86.so"}) {
    SCOPED_TRACE(name);
    r.rec.Clear();
    const int at = Find(*r.form->AddonList(), name);
    ASSERT_GE(at, 0);
    r.form->AddonList()->Select(at);
    EXPECT_TRUE(r.form->btnLoad()->isEnabled());
    r.form->Load();
    EXPECT_EQ(Texts(r.rec), std::vector<std::string>{"Not a valid add-on"});
    EXPECT_EQ(Attached(*r.eng), before);
    EXPECT_EQ(r.form->AddonGrid()->RowCount(), rows);
    EXPECT_FALSE(r.form->AddonList()->IsGrey(at));
  }
}

TEST(AddonManager, RowsKeepTheirTextsWhenTheLibraryIsGone) {
  AddonRig r;
  r.Show();
  r.form->AddonList()->Select(Find(*r.form->AddonList(), "bass_test.so"));
  r.form->Load();
  app::TManagerGrid* grid = r.form->AddonGrid();
  const int row = GridRow(*grid, "bass_test.so");
  ASSERT_GE(row, 0);
  HPLUGIN handle = 0;
  for (const auto& s : r.eng->GetAddOnList())
    if (s.Name == "bass_test.so") handle = s.Handle;
  ASSERT_NE(handle, 0u);
  // Detached behind the window's back: the library is unmapped, the row is drawn from its copies.
  ASSERT_EQ(r.eng->UnloadAddOn(handle), 1);
  (void)grid->grab();
  EXPECT_EQ(grid->Cell(row, 1), "Orvella test raw, FLAC V2.4.0.1");
  EXPECT_EQ(grid->Cell(row, 2), "*.otr;*.flac");
  // Unload of a row the engine no longer has.
  grid->Select(row);
  r.form->Unload();
  EXPECT_EQ(Texts(r.rec), std::vector<std::string>{"Cannot get the handle of add-on"});
}

TEST(AddonManagerRows, VersionBytesAndFormatsJoined) {
  const BASS_PLUGINFORM forms[] = {{1, "One", "*.a;*.b"}, {2, nullptr, nullptr}, {3, "Three", "*.c"}};
  engine::TBASSAddOnInfo info;
  info.Name = "bass_x.so";
  info.Version = 0x0A0B0C0D;
  info.NumFormat = 3;
  info.FormatP = forms;
  EXPECT_EQ(app::TAddonConfigForm::RowTexts(info),
            (std::vector<std::string>{"bass_x.so", "One, , Three V10.11.12.13", "*.a;*.b;;*.c"}));
  info.NumFormat = 0;
  info.FormatP = nullptr;
  EXPECT_EQ(app::TAddonConfigForm::RowTexts(info)[1], " V10.11.12.13");
}

TEST(ManagerListing, MatchesPrefixAndSuffixWithoutCaseAndSortsByName) {
  ProgramDir dir;
  for (const char* n : {"dsp_b.so", "DSP_a.so", "dsp_C.SO", "dsp_.so", "dsp_d.so.1", "xdsp_e.so", "dsp_f.txt"})
    mgrtest::WriteBytes(dir.File(std::string("lib/") + n), "x");
  std::filesystem::create_directories(dir.File("lib/dsp_dir.so"));
  std::filesystem::create_symlink(dir.File("lib/dsp_b.so"), dir.File("lib/dsp_link.so"));
  EXPECT_EQ(app::ListLibraries(dir.File("lib/"), "dsp_"),
            (std::vector<std::string>{"DSP_a.so", "dsp_b.so", "dsp_C.SO", "dsp_link.so"}));
  EXPECT_TRUE(app::ListLibraries(dir.File("nothing/"), "dsp_").empty());
}
