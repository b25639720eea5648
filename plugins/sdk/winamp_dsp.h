/* Orvella Player plug-in SDK: DSP plug-ins (dsp_*.so).
 *
 * The library exports winampDSPGetHeader2, which returns its static header;
 * getModule(0), getModule(1), ... list up to eight modules until NULL. Records
 * stay owned by the plug-in until it is unloaded.
 *
 * Threads: Config, Init and Quit run on the host's UI thread. ModifySamples runs
 * on whichever thread supplies samples (the host's play thread or an input
 * plug-in's decoding thread), never at the same time as Init or Quit of the
 * same host. */
#ifndef ORVELLA_SDK_WINAMP_DSP_H
#define ORVELLA_SDK_WINAMP_DSP_H

#include "winamp_host.h"

#ifdef __cplusplus
extern "C" {
#endif

#define DSP_HDRVER 0x20

typedef struct winampDSPModule {
  const char* description;
  HWND hwndParent;        /* host: set before Init */
  HINSTANCE hDllInstance; /* host */
  void (*Config)(struct winampDSPModule* this_mod);
  int (*Init)(struct winampDSPModule* this_mod); /* 0 = ready */
  /* Processes `numsamples` interleaved frames in place; the buffer holds room
     for twice as many. Returns the frame count now in the buffer. */
  int (*ModifySamples)(struct winampDSPModule* this_mod, short int* samples, int numsamples, int bps, int nch,
                       int srate);
  void (*Quit)(struct winampDSPModule* this_mod);
  void* userData;
} winampDSPModule;

typedef struct winampDSPHeader {
  int32_t version;
  const char* description;
  winampDSPModule* (*getModule)(int index);
} winampDSPHeader;

typedef winampDSPHeader* (*winampDSPGetHeaderType)(void);

#ifdef __cplusplus
}
#endif

#endif
