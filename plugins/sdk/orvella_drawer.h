/* Orvella Player plug-in SDK: the optional drawer libraries.
 *
 * Two libraries in the program's plugins/ folder extend the host when they are
 * present; none ships with the player:
 * - RARareru.so: the mini browser and the docked drawer frames of general
 *   plug-ins. Every function of the first group below must be exported, else
 *   the library is unloaded and its features stay off.
 * - DorIzivur2.so: the visualisation drawer (RunVisDrawer, QuitVisDrawer,
 *   VisDrawerActive).
 *
 * Threads: the host calls every function on its UI thread. A library reports to
 * the host by posting the data message it was given (InitMiniBrowser,
 * InitGenDrawer) to the engine window: wParam 95 the mini browser was shown,
 * 96 hidden, 97 with a record of the library's own (handed on unread).
 *
 * Windows are the host's message-layer handles (HWND) or the library's own
 * opaque values; the host only stores them, passes them back to the library and
 * answers them to plug-ins. It never dereferences them. */
#ifndef ORVELLA_SDK_ORVELLA_DRAWER_H
#define ORVELLA_SDK_ORVELLA_DRAWER_H

#include "winamp_host.h"

#ifdef __cplusplus
extern "C" {
#endif

/* RARareru.so */
typedef HWND (*InitMiniBrowserFunc)(void* library, HWND mainWindow, HWND engineWindow, uint32_t dataMessage);
typedef void (*ShowMiniBrowserFunc)(int32_t x, int32_t y, int32_t width, int32_t height, int32_t show);
typedef void (*MBNavigateFunc)(const char* address);
typedef void (*MBNavigate2Func)(const char* address, const char* text, int32_t flag); /* 256-byte buffers */
typedef int32_t (*AddMagneticWindowFunc)(HWND window, HWND target, intptr_t* out);
typedef void (*RemoveMagneticWindowFunc)(HWND window);
typedef intptr_t (*GetSubClassProcFunc)(void);
typedef void (*QuitMiniBrowserFunc)(void);
/* A new drawer frame; its index goes to *index. 0: none. */
typedef HWND (*InitGenDrawerFunc)(const char* caption, HWND mainWindow, HWND engineWindow, uint32_t dataMessage,
                                  int32_t* index);
typedef void (*ShowGenDrawerFunc)(int32_t index, int32_t x, int32_t y, int32_t width, int32_t height, int32_t show);
typedef void (*QuitGenDrawerFunc)(void);
typedef void (*GetGenDrawerInfoFunc)(void* out, int32_t index);
typedef intptr_t (*GetGenexBitmapFunc)(void);
typedef intptr_t (*GetLyricsTextFunc)(void);

/* DorIzivur2.so. RunVisDrawer's style argument is always 2; *frame receives the
   drawer's client frame. Answers the drawer window, 0 when none was made. */
typedef HWND (*RunVisDrawerFunc)(HWND mainWindow, int32_t x, int32_t y, int32_t width, int32_t height, int32_t style,
                                 intptr_t subclassValue, void* library, HWND* frame);
typedef void (*QuitVisDrawerFunc)(void);
typedef int32_t (*VisDrawerActiveFunc)(void);

#ifdef __cplusplus
}
#endif

#endif
