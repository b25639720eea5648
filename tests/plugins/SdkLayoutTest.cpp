// The plug-in records keep their field order: 32-bit integers are int32_t,
// pointers and handles pointer-sized, laid out with natural alignment.
#include <gtest/gtest.h>

#include <cstddef>
#include <type_traits>

#include "plugins/sdk/winamp_channel_info.h"
#include "plugins/sdk/winamp_dsp.h"
#include "plugins/sdk/winamp_input.h"

namespace {

// Offsets a C compiler gives a list of fields of these sizes, in order.
struct Layout {
  size_t next = 0, align = 1;
  size_t Add(size_t size) {
    next = (next + size - 1) / size * size;
    size_t at = next;
    next += size;
    align = std::max(align, size);
    return at;
  }
  size_t Size() const { return (next + align - 1) / align * align; }
};

constexpr size_t I = 4, P = sizeof(void*);

}  // namespace

TEST(SdkLayout, OutputModuleFieldsInOrder) {
  Layout l;
  EXPECT_EQ(offsetof(Out_Module, version), l.Add(I));
  EXPECT_EQ(offsetof(Out_Module, description), l.Add(P));
  EXPECT_EQ(offsetof(Out_Module, id), l.Add(I));
  EXPECT_EQ(offsetof(Out_Module, hMainWindow), l.Add(P));
  EXPECT_EQ(offsetof(Out_Module, hDllInstance), l.Add(P));
  EXPECT_EQ(offsetof(Out_Module, Config), l.Add(P));
  EXPECT_EQ(offsetof(Out_Module, About), l.Add(P));
  EXPECT_EQ(offsetof(Out_Module, Init), l.Add(P));
  EXPECT_EQ(offsetof(Out_Module, Quit), l.Add(P));
  EXPECT_EQ(offsetof(Out_Module, Open), l.Add(P));
  EXPECT_EQ(offsetof(Out_Module, Close), l.Add(P));
  EXPECT_EQ(offsetof(Out_Module, Write), l.Add(P));
  EXPECT_EQ(offsetof(Out_Module, CanWrite), l.Add(P));
  EXPECT_EQ(offsetof(Out_Module, IsPlaying), l.Add(P));
  EXPECT_EQ(offsetof(Out_Module, Pause), l.Add(P));
  EXPECT_EQ(offsetof(Out_Module, SetVolume), l.Add(P));
  EXPECT_EQ(offsetof(Out_Module, SetPan), l.Add(P));
  EXPECT_EQ(offsetof(Out_Module, Flush), l.Add(P));
  EXPECT_EQ(offsetof(Out_Module, GetOutputTime), l.Add(P));
  EXPECT_EQ(offsetof(Out_Module, GetWrittenTime), l.Add(P));
  EXPECT_EQ(sizeof(Out_Module), l.Size());
  EXPECT_TRUE((std::is_same_v<decltype(Out_Module::version), int32_t>));
  EXPECT_TRUE((std::is_same_v<decltype(Out_Module::id), int32_t>));
}

TEST(SdkLayout, InputModuleFieldsInOrder) {
  Layout l;
  EXPECT_EQ(offsetof(In_Module, version), l.Add(I));
  EXPECT_EQ(offsetof(In_Module, description), l.Add(P));
  EXPECT_EQ(offsetof(In_Module, hMainWindow), l.Add(P));
  EXPECT_EQ(offsetof(In_Module, hDllInstance), l.Add(P));
  EXPECT_EQ(offsetof(In_Module, FileExtensions), l.Add(P));
  EXPECT_EQ(offsetof(In_Module, is_seekable), l.Add(I));
  EXPECT_EQ(offsetof(In_Module, UsesOutputPlug), l.Add(I));
  const size_t functions[] = {
      offsetof(In_Module, Config),        offsetof(In_Module, About),         offsetof(In_Module, Init),
      offsetof(In_Module, Quit),          offsetof(In_Module, GetFileInfo),   offsetof(In_Module, InfoBox),
      offsetof(In_Module, IsOurFile),     offsetof(In_Module, Play),          offsetof(In_Module, Pause),
      offsetof(In_Module, UnPause),       offsetof(In_Module, IsPaused),      offsetof(In_Module, Stop),
      offsetof(In_Module, GetLength),     offsetof(In_Module, GetOutputTime), offsetof(In_Module, SetOutputTime),
      offsetof(In_Module, SetVolume),     offsetof(In_Module, SetPan),        offsetof(In_Module, SAVSAInit),
      offsetof(In_Module, SAVSADeInit),   offsetof(In_Module, SAAddPCMData),  offsetof(In_Module, SAGetMode),
      offsetof(In_Module, SAAdd),         offsetof(In_Module, VSAAddPCMData), offsetof(In_Module, VSAGetMode),
      offsetof(In_Module, VSAAdd),        offsetof(In_Module, VSASetInfo),    offsetof(In_Module, dsp_isactive),
      offsetof(In_Module, dsp_dosamples), offsetof(In_Module, EQSet),         offsetof(In_Module, SetInfo),
      offsetof(In_Module, outMod)};
  for (size_t at : functions) EXPECT_EQ(at, l.Add(P));
  EXPECT_EQ(sizeof(In_Module), l.Size());
  EXPECT_TRUE((std::is_same_v<decltype(In_Module::is_seekable), int32_t>));
}

TEST(SdkLayout, DSPHeaderAndModuleFieldsInOrder) {
  Layout h;
  EXPECT_EQ(offsetof(winampDSPHeader, version), h.Add(I));
  EXPECT_EQ(offsetof(winampDSPHeader, description), h.Add(P));
  EXPECT_EQ(offsetof(winampDSPHeader, getModule), h.Add(P));
  EXPECT_EQ(sizeof(winampDSPHeader), h.Size());
  Layout m;
  EXPECT_EQ(offsetof(winampDSPModule, description), m.Add(P));
  EXPECT_EQ(offsetof(winampDSPModule, hwndParent), m.Add(P));
  EXPECT_EQ(offsetof(winampDSPModule, hDllInstance), m.Add(P));
  EXPECT_EQ(offsetof(winampDSPModule, Config), m.Add(P));
  EXPECT_EQ(offsetof(winampDSPModule, Init), m.Add(P));
  EXPECT_EQ(offsetof(winampDSPModule, ModifySamples), m.Add(P));
  EXPECT_EQ(offsetof(winampDSPModule, Quit), m.Add(P));
  EXPECT_EQ(offsetof(winampDSPModule, userData), m.Add(P));
  EXPECT_EQ(sizeof(winampDSPModule), m.Size());
}

TEST(SdkLayout, ChannelInfoFieldsInOrder) {
  EXPECT_EQ(offsetof(ChannelInfo, BitsPerSample), 0u);
  EXPECT_EQ(offsetof(ChannelInfo, BitRate), 4u);
  EXPECT_EQ(offsetof(ChannelInfo, SampleRate), 8u);
  EXPECT_EQ(offsetof(ChannelInfo, Channels), 12u);
  EXPECT_TRUE((std::is_same_v<decltype(ChannelInfo::BitsPerSample), int16_t>));
  EXPECT_TRUE((std::is_same_v<decltype(ChannelInfo::Channels), int16_t>));
}
