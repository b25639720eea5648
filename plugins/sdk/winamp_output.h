/* Orvella Player plug-in SDK: the output module record.
 *
 * The host owns the one output module ("BASS Winamp output plug-in emulator");
 * every input module's outMod points to it. An input plug-in calls Open, Write,
 * CanWrite, IsPlaying, Pause, Flush, Close, GetOutputTime and GetWrittenTime
 * from its own decoding thread (one writer at a time); SetVolume and SetPan may
 * come from any thread. Config and About are for the host's UI thread. */
#ifndef ORVELLA_SDK_WINAMP_OUTPUT_H
#define ORVELLA_SDK_WINAMP_OUTPUT_H

#include "winamp_host.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct Out_Module {
  int32_t version;          /* 16 */
  const char* description;  /* "BASS Winamp output plug-in emulator" */
  int32_t id;               /* 65537 */
  HWND hMainWindow;
  HINSTANCE hDllInstance;
  void (*Config)(HWND parent);
  void (*About)(HWND parent);
  void (*Init)(void);
  void (*Quit)(void);
  /* 0 on success, -1 on failure. Buffer and pre-buffer lengths are advisory. */
  int (*Open)(int samplerate, int numchannels, int bitspersamp, int bufferlenms, int prebufferms);
  void (*Close)(void);
  /* 0 when stored, 1 when there is no room (try again later). */
  int (*Write)(char* buf, int len);
  /* Bytes Write accepts now. */
  int (*CanWrite)(void);
  int (*IsPlaying)(void);
  /* Returns whether it was paused before the call. */
  int (*Pause)(int pause);
  void (*SetVolume)(int volume); /* 0..255 */
  void (*SetPan)(int pan);       /* -128..127 */
  /* Drops what is buffered; output time continues from t ms. */
  void (*Flush)(int t);
  int (*GetOutputTime)(void);  /* ms heard */
  int (*GetWrittenTime)(void); /* ms written */
} Out_Module;

#ifdef __cplusplus
}
#endif

#endif
