/* Orvella Player plug-in SDK: input plug-ins (in_*.so).
 *
 * The library exports winampGetInModule2, which returns its static In_Module
 * (owned by the plug-in until it is unloaded). Before Init the host fills
 * hMainWindow, hDllInstance and outMod; after Init it installs the SA/VSA hooks,
 * dsp_isactive, dsp_dosamples and SetInfo.
 *
 * Threads: the host calls every plug-in function on its UI thread. The plug-in
 * calls outMod, SetInfo, dsp_isactive and dsp_dosamples from its own decoding
 * thread, and talks to the host by posting to hMainWindow (WM_WA_MPEG_EOF when
 * the whole file is decoded) or sending it WM_USER queries. */
#ifndef ORVELLA_SDK_WINAMP_INPUT_H
#define ORVELLA_SDK_WINAMP_INPUT_H

#include "winamp_output.h"

#ifdef __cplusplus
extern "C" {
#endif

#define IN_VER 0x100

typedef struct In_Module {
  int32_t version;
  const char* description;
  HWND hMainWindow;        /* host */
  HINSTANCE hDllInstance;  /* host */
  /* NUL-terminated strings ending with an empty one; the host reads the first:
     extensions separated by ';' ("mid;midi;rmi;kar"). */
  const char* FileExtensions;
  int32_t is_seekable;
  int32_t UsesOutputPlug;
  void (*Config)(HWND parent);
  void (*About)(HWND parent);
  void (*Init)(void);
  void (*Quit)(void);
  /* file NULL: the file being played. title: 256 bytes. */
  void (*GetFileInfo)(const char* file, char* title, int* length_in_ms);
  int (*InfoBox)(const char* file, HWND parent);
  int (*IsOurFile)(const char* file);
  int (*Play)(const char* file); /* 0 = started */
  void (*Pause)(void);
  void (*UnPause)(void);
  int (*IsPaused)(void);
  void (*Stop)(void);
  int (*GetLength)(void);
  int (*GetOutputTime)(void);
  void (*SetOutputTime)(int time_in_ms);
  void (*SetVolume)(int volume); /* 0..255 */
  void (*SetPan)(int pan);
  /* Host hooks (visualisation hooks do nothing here). */
  void (*SAVSAInit)(int maxlatency_in_ms, int srate);
  void (*SAVSADeInit)(void);
  void (*SAAddPCMData)(void* PCMData, int nch, int bps, int timestamp);
  int (*SAGetMode)(void);
  int (*SAAdd)(void* data, int timestamp, int csa);
  void (*VSAAddPCMData)(void* PCMData, int nch, int bps, int timestamp);
  int (*VSAGetMode)(int* specNch, int* waveNch);
  int (*VSAAdd)(void* data, int timestamp);
  void (*VSASetInfo)(int srate, int nch);
  /* 1 while a DSP module is active. */
  int (*dsp_isactive)(void);
  /* Runs the active DSP module over `numsamples` frames in place (the buffer needs
     room for twice as many); returns the frame count now in the buffer. */
  int (*dsp_dosamples)(short int* samples, int numsamples, int bps, int nch, int srate);
  void (*EQSet)(int on, char data[10], int preamp);
  /* -1 leaves a value unchanged; bitrate in kbit/s (or bit/s from 8000 up). */
  void (*SetInfo)(int bitrate, int srate, int stereo, int synched);
  Out_Module* outMod; /* host */
} In_Module;

typedef In_Module* (*winampGetInModule2Func)(void);

#ifdef __cplusplus
}
#endif

#endif
