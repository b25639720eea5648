/*
 * bassmix.h - the BASS_Mixer_ family of bassmix.so.
 *
 * Shared by the library and the engine's run-time loader: ORVELLA_BASSMIX_FUNCTIONS is the fixed list
 * of 18 names the loader resolves. The engine checks only BASS_Mixer_GetVersion (high word 0x0204).
 *
 * A mixer is a stream that sums decoding channels (BASS_STREAM_DECODE sources) added to it, converted
 * to the mixer's rate (linear interpolation) and channel count (a matrix per source, rows = mixer
 * channels, columns = source channels). It runs until freed, or with BASS_MIXER_END until every
 * source has ended. Envelopes and BASS_Mixer_ChannelGetData are not offered (error 37).
 * Threading: every function may be called from any thread; a source's sync procedures must not
 * call the mixer functions of the same mixer.
 */
#ifndef ORVELLA_BASSMIX_H
#define ORVELLA_BASSMIX_H

#include "../bass.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Channel type of a mixer (BASS_ChannelGetInfo) */
#define BASS_CTYPE_STREAM_MIXER 0x10800

/* BASS_Mixer_StreamCreate flags */
#define BASS_MIXER_END 0x10000     /* end when every source has ended */
#define BASS_MIXER_NONSTOP 0x20000 /* produce silence while there is no source */
/* BASS_Mixer_StreamAddChannel flags */
#define BASS_MIXER_PAUSE 0x20000   /* source paused */
#define BASS_MIXER_DOWNMIX 0x400000
#define BASS_MIXER_NORAMPIN 0x800000
#define BASS_MIXER_CHAN_AUTOFREE 0x40000 /* BASS_STREAM_AUTOFREE: free the source when it ends */

typedef struct {
  DWORD pos;
  float value;
} BASS_MIXER_NODE;

DWORD BASS_Mixer_GetVersion(void);
HSTREAM BASS_Mixer_StreamCreate(DWORD freq, DWORD chans, DWORD flags);
BOOL BASS_Mixer_StreamAddChannel(HSTREAM handle, DWORD channel, DWORD flags);
BOOL BASS_Mixer_StreamAddChannelEx(HSTREAM handle, DWORD channel, DWORD flags, QWORD start, QWORD length);
HSTREAM BASS_Mixer_ChannelGetMixer(DWORD handle);
DWORD BASS_Mixer_ChannelFlags(DWORD handle, DWORD flags, DWORD mask);
BOOL BASS_Mixer_ChannelRemove(DWORD handle);
BOOL BASS_Mixer_ChannelSetPosition(DWORD handle, QWORD pos, DWORD mode);
QWORD BASS_Mixer_ChannelGetPosition(DWORD handle, DWORD mode);
DWORD BASS_Mixer_ChannelGetLevel(DWORD handle);
DWORD BASS_Mixer_ChannelGetData(DWORD handle, void *buffer, DWORD length);
HSYNC BASS_Mixer_ChannelSetSync(DWORD handle, DWORD type, QWORD param, SYNCPROC *proc, void *user);
BOOL BASS_Mixer_ChannelRemoveSync(DWORD handle, HSYNC sync);
BOOL BASS_Mixer_ChannelSetMatrix(DWORD handle, const float *matrix);
BOOL BASS_Mixer_ChannelGetMatrix(DWORD handle, float *matrix);
BOOL BASS_Mixer_ChannelSetEnvelope(DWORD handle, DWORD type, const BASS_MIXER_NODE *nodes, DWORD count);
QWORD BASS_Mixer_ChannelGetEnvelopePos(DWORD handle, DWORD type, float *value);
BOOL BASS_Mixer_ChannelSetEnvelopePos(DWORD handle, DWORD type, QWORD pos);

/* X-macro over the 18 names in the loader's order. */
#define ORVELLA_BASSMIX_FUNCTIONS(X) \
  X(BASS_Mixer_GetVersion) \
  X(BASS_Mixer_StreamCreate) \
  X(BASS_Mixer_StreamAddChannel) \
  X(BASS_Mixer_StreamAddChannelEx) \
  X(BASS_Mixer_ChannelGetMixer) \
  X(BASS_Mixer_ChannelFlags) \
  X(BASS_Mixer_ChannelRemove) \
  X(BASS_Mixer_ChannelSetPosition) \
  X(BASS_Mixer_ChannelGetPosition) \
  X(BASS_Mixer_ChannelGetLevel) \
  X(BASS_Mixer_ChannelGetData) \
  X(BASS_Mixer_ChannelSetSync) \
  X(BASS_Mixer_ChannelRemoveSync) \
  X(BASS_Mixer_ChannelSetMatrix) \
  X(BASS_Mixer_ChannelGetMatrix) \
  X(BASS_Mixer_ChannelSetEnvelope) \
  X(BASS_Mixer_ChannelGetEnvelopePos) \
  X(BASS_Mixer_ChannelSetEnvelopePos)
#define ORVELLA_BASSMIX_FUNCTION_COUNT 18

#ifdef __cplusplus
}
#endif

#endif /* ORVELLA_BASSMIX_H */
