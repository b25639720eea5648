/* Orvella Player plug-in SDK: Winamp 1.x style DSP modules (dsp_*.so).
 *
 * Older modules have a record of their own. The library exports
 * winampDSPGetHeader (not winampDSPGetHeader2); its header carries version
 * DSP_HDRVER1 and getModule(0), getModule(1), ... list the modules until NULL.
 * Only hosts that know this record (the Pilvo3 stacker) load such modules.
 *
 * The host fills sampleRate, numChannels and numSamples before every Process
 * call; Process changes numSamples frames of interleaved 16-bit PCM in place and
 * never changes their count.
 *
 * Threads: Config, Init, Activate and Quit run on the host's user-interface
 * thread (Config possibly on a thread of its own); Process runs on the host's
 * audio thread, never at the same time as Init, Activate or Quit. */
#ifndef ORVELLA_SDK_WINAMP_DSP1_H
#define ORVELLA_SDK_WINAMP_DSP1_H

#include "winamp_host.h"

#ifdef __cplusplus
extern "C" {
#endif

#define DSP_HDRVER1 0x10

typedef struct winampDSPModule1 {
  const char* description;
  HWND hwndParent;        /* host */
  HINSTANCE hDllInstance; /* host */
  int32_t sampleRate;     /* host, before Process (44100 when the module is taken) */
  int32_t numChannels;    /* host, before Process (2 when the module is taken) */
  int32_t numSamples;     /* host, before Process: frames in the buffer (576 when taken) */
  void (*Config)(struct winampDSPModule1* this_mod);
  int (*Init)(struct winampDSPModule1* this_mod);     /* 0 = ready */
  int (*Activate)(struct winampDSPModule1* this_mod); /* 0 = ready; also called when re-enabled */
  void (*Process)(struct winampDSPModule1* this_mod, short int* samples);
  void* reserved[2]; /* not used by hosts */
  void (*Quit)(struct winampDSPModule1* this_mod);
} winampDSPModule1;

typedef struct winampDSPHeader1 {
  int32_t version; /* DSP_HDRVER1 */
  const char* description;
  winampDSPModule1* (*getModule)(int index);
} winampDSPHeader1;

typedef winampDSPHeader1* (*winampDSPGetHeaderType1)(void);

#ifdef __cplusplus
}
#endif

#endif
