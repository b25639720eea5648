/* Orvella Player plug-in SDK: visualisation plug-ins (vis_*.so).
 *
 * The library exports winampVisGetHeader(hwndParent), which returns its static
 * header; getModule(0), getModule(1), ... list up to eight modules until NULL.
 * Records stay owned by the plug-in until it is unloaded.
 *
 * Threads: the host loads the library and calls Init, Render and Quit of the
 * running module on a thread of its own (the drive thread), one module at a
 * time. Config is called on the host's UI thread by the control window, never
 * while the module runs. Queries sent to hwndParent are answered on the UI
 * thread; the module's thread waits meanwhile, so a module must not hold a
 * lock the host could need while it sends.
 *
 * Drawing: a module asks for a frame with the embed-window query (WM_USER,
 * lParam IPC_GET_EMBEDIF): with wParam 0 the answer is the address of the
 * service function, which takes an embedWindowState and returns the frame
 * window; with wParam pointing to the record the frame is made at once. The
 * frame can be drawn into in one of two ways, whichever the host offers:
 * - on X11, OrvellaVisFrameNativeWindow(frame) gives an X window id (a child
 *   of the frame, sized to its client area) the module may draw into with
 *   Xlib/XCB from its own thread through its own display connection;
 * - everywhere, OrvellaVisFrameLockSurface(frame, &surface) hands out the
 *   frame's 32-bit pixel surface (0xAARRGGBB, opaque pixels have alpha 0xFF);
 *   OrvellaVisFrameUnlockSurface(frame) gives it back and the host paints it.
 * Both functions live in the host program; a module finds them with
 * dlsym(RTLD_DEFAULT, ...) so it still loads in hosts that lack them (the
 * helpers at the end of this header do that). A module that draws in a
 * top-level window of its own reports it with IPC_SETVISWND instead. */
#ifndef ORVELLA_SDK_WINAMP_VIS_H
#define ORVELLA_SDK_WINAMP_VIS_H

#include "winamp_host.h"

#ifdef __cplusplus
extern "C" {
#endif

#define VIS_HDRVER 0x101

typedef struct winampVisModule {
  const char* description;
  HWND hwndParent;        /* host: the Winamp-like main window answering queries */
  HINSTANCE hDllInstance; /* host: the library handle */
  int32_t sRate;          /* host: sample rate, refreshed before every Render */
  int32_t nCh;            /* host: channel count, likewise */
  int32_t latencyMs;      /* plug-in */
  int32_t delayMs;        /* plug-in: render period wanted (at least 10 ms is used) */
  int32_t spectrumNch;    /* plug-in: 0, 1 or 2 spectrum channels */
  int32_t waveformNch;    /* plug-in: 0, 1 or 2 waveform channels */
  /* host: 576 magnitudes per channel, 0..255, lowest frequency first (bin i+1
     of a 2048-point FFT at the stream's sample rate) */
  unsigned char spectrumData[2][576];
  /* host: 576 signed 8-bit samples per channel, stored as unsigned char */
  unsigned char waveformData[2][576];
  void (*Config)(struct winampVisModule* this_mod);
  int (*Init)(struct winampVisModule* this_mod);   /* 0 = ready */
  int (*Render)(struct winampVisModule* this_mod); /* 0 = continue, otherwise stop */
  void (*Quit)(struct winampVisModule* this_mod);
  void* userData;
} winampVisModule;

typedef struct winampVisHeader {
  int32_t version;
  const char* description;
  winampVisModule* (*getModule)(int index);
} winampVisHeader;

typedef winampVisHeader* (*winampVisGetHeaderType)(HWND hwndParent);

/* Queries of vis modules (WM_USER, code in lParam), besides those of winamp_host.h. */
enum {
  IPC_ISPLAYING = 104,         /* 1 playing, 3 paused, else 0 */
  IPC_GETOUTPUTTIME = 105,     /* wParam 0: position in ms (-1 when stopped), 1: length in s */
  IPC_GETLISTLENGTH = 124,
  IPC_GETINFO = 126,           /* wParam 0 sample rate, 1 bit rate, 2 channels */
  IPC_GETPLAYLISTTITLE = 212,
  IPC_GET_EMBEDIF = 505,       /* see above */
  IPC_SETVISWND = 611,         /* wParam: the module's own window, 0 when it went away */
  IPC_GET_PLAYING_FILENAME = 3031
};

/* The embed-window state a module hands to the embed service. */
typedef struct embedWindowState {
  HWND me;            /* the frame (filled by the service when 0) */
  int32_t flags;
  int32_t left, top, right, bottom; /* wanted rectangle; width and height count */
  void* user_ptr;
  intptr_t extra_data[64];
} embedWindowState;

typedef HWND (*embedWindowFunc)(embedWindowState* state);

/* The pixel surface of a frame. Valid between lock and unlock. */
typedef struct OrvellaVisSurface {
  int32_t width, height;
  int32_t stride; /* in pixels */
  uint32_t* pixels;
} OrvellaVisSurface;

typedef unsigned long (*OrvellaVisFrameNativeWindowFunc)(HWND frame);
typedef int (*OrvellaVisFrameLockSurfaceFunc)(HWND frame, OrvellaVisSurface* surface);
typedef void (*OrvellaVisFrameUnlockSurfaceFunc)(HWND frame);

#ifdef __cplusplus
}
#endif

#endif
