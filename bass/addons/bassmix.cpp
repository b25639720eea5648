// bassmix.so: the BASS_Mixer_ family. The player checks only the mixer's version; mixing itself is
// not offered by this library, so the other functions answer "not available" (error 37).
#include "AddonCore.h"
#include "bassmix.h"

namespace {
template <class T>
T NotAvailable(T value) {
  orvaddon::Fail(BASS_ERROR_NOTAVAIL);
  return value;
}
}  // namespace

ORV_EXPORT DWORD BASS_Mixer_GetVersion(void) { return ORVELLA_BASS_VERSION; }

ORV_EXPORT HSTREAM BASS_Mixer_StreamCreate(DWORD, DWORD, DWORD) { return NotAvailable<HSTREAM>(0); }
ORV_EXPORT BOOL BASS_Mixer_StreamAddChannel(HSTREAM, DWORD, DWORD) { return NotAvailable<BOOL>(FALSE); }
ORV_EXPORT BOOL BASS_Mixer_StreamAddChannelEx(HSTREAM, DWORD, DWORD, QWORD, QWORD) { return NotAvailable<BOOL>(FALSE); }
ORV_EXPORT HSTREAM BASS_Mixer_ChannelGetMixer(DWORD) { return NotAvailable<HSTREAM>(0); }
ORV_EXPORT DWORD BASS_Mixer_ChannelFlags(DWORD, DWORD, DWORD) { return NotAvailable<DWORD>(DWORD(-1)); }
ORV_EXPORT BOOL BASS_Mixer_ChannelRemove(DWORD) { return NotAvailable<BOOL>(FALSE); }
ORV_EXPORT BOOL BASS_Mixer_ChannelSetPosition(DWORD, QWORD, DWORD) { return NotAvailable<BOOL>(FALSE); }
ORV_EXPORT QWORD BASS_Mixer_ChannelGetPosition(DWORD, DWORD) { return NotAvailable<QWORD>(QWORD(-1)); }
ORV_EXPORT DWORD BASS_Mixer_ChannelGetLevel(DWORD) { return NotAvailable<DWORD>(DWORD(-1)); }
ORV_EXPORT DWORD BASS_Mixer_ChannelGetData(DWORD, void*, DWORD) { return NotAvailable<DWORD>(DWORD(-1)); }
ORV_EXPORT HSYNC BASS_Mixer_ChannelSetSync(DWORD, DWORD, QWORD, SYNCPROC*, void*) { return NotAvailable<HSYNC>(0); }
ORV_EXPORT BOOL BASS_Mixer_ChannelRemoveSync(DWORD, HSYNC) { return NotAvailable<BOOL>(FALSE); }
ORV_EXPORT BOOL BASS_Mixer_ChannelSetMatrix(DWORD, const float*) { return NotAvailable<BOOL>(FALSE); }
ORV_EXPORT BOOL BASS_Mixer_ChannelGetMatrix(DWORD, float*) { return NotAvailable<BOOL>(FALSE); }
ORV_EXPORT BOOL BASS_Mixer_ChannelSetEnvelope(DWORD, DWORD, const BASS_MIXER_NODE*, DWORD) {
  return NotAvailable<BOOL>(FALSE);
}
ORV_EXPORT QWORD BASS_Mixer_ChannelGetEnvelopePos(DWORD, DWORD, float*) { return NotAvailable<QWORD>(QWORD(-1)); }
ORV_EXPORT BOOL BASS_Mixer_ChannelSetEnvelopePos(DWORD, DWORD, QWORD) { return NotAvailable<BOOL>(FALSE); }
