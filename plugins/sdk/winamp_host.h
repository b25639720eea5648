/* Orvella Player plug-in SDK: what the host program exports to plug-ins.
 *
 * Plug-ins are shared objects loaded with dlopen; the functions below live in
 * the host executable (it exports its symbols) and reach the host's message
 * layer. Any thread may call them. PostMessage and PostThreadMessage never
 * block; SendMessage waits until the window's thread has answered.
 *
 * Records exchanged with the host keep the classic field order: 32-bit integer
 * fields are int32_t, pointers and handles are pointer-sized. */
#ifndef ORVELLA_SDK_WINAMP_HOST_H
#define ORVELLA_SDK_WINAMP_HOST_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct HWND__* HWND;
typedef void* HINSTANCE;

/* Message numbers (enumerators, so a host's own constants of the same names in
   its namespaces do not collide with them). */
enum {
  WM_CLOSE = 0x0010,
  WM_USER = 0x0400,
  /* Posted by an input plug-in to hMainWindow when it has decoded the whole file. */
  WM_WA_MPEG_EOF = WM_USER + 2
};

/* Queries sent to hMainWindow with message WM_USER; the code goes in lParam. */
enum {
  IPC_GETVERSION = 0,         /* input modules' window 0x5010, DSP modules' 0x2041 */
  IPC_GETLISTPOS = 125,       /* playing playlist position, -1 when unknown */
  IPC_GETPLAYLISTFILE = 211,  /* wParam: entry; answers a const char* ("" out of range) */
  IPC_GETINIFILE = 334,       /* answers a const char*: the plug-in settings file's path */
  IPC_GET_API_SERVICE = 3025  /* answers the host's service object (may be 0) */
};

intptr_t SendMessage(HWND hwnd, uint32_t msg, uintptr_t wParam, intptr_t lParam);
int PostMessage(HWND hwnd, uint32_t msg, uintptr_t wParam, intptr_t lParam);
int PostThreadMessage(uint32_t threadId, uint32_t msg, uintptr_t wParam, intptr_t lParam);
intptr_t GetWindowLongPtr(HWND hwnd, int index);
intptr_t SetWindowLongPtr(HWND hwnd, int index, intptr_t value);
intptr_t CallWindowProc(intptr_t (*proc)(HWND, uint32_t, uintptr_t, intptr_t), HWND hwnd, uint32_t msg,
                        uintptr_t wParam, intptr_t lParam);
intptr_t DefWindowProc(HWND hwnd, uint32_t msg, uintptr_t wParam, intptr_t lParam);
int IsWindow(HWND hwnd);
uint32_t GetCurrentThreadId(void);
uint32_t RegisterWindowMessage(const char* name);

#ifdef __cplusplus
}
#endif

#endif
