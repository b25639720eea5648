/* The C functions the program exports for plug-ins to resolve at load time.
   A plug-in declares them (plugins/sdk has the declarations) and calls them to
   talk to the host's windows and threads. Any thread may call them. */
#ifndef ORVELLA_PLATFORM_HOST_EXPORTS_H
#define ORVELLA_PLATFORM_HOST_EXPORTS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct HWND__* HWND;

intptr_t SendMessage(HWND hwnd, uint32_t msg, uintptr_t wParam, intptr_t lParam);
int PostMessage(HWND hwnd, uint32_t msg, uintptr_t wParam, intptr_t lParam);
int PostThreadMessage(uint32_t threadId, uint32_t msg, uintptr_t wParam, intptr_t lParam);
/* Window procedure replacement (index -4) and user data (index -21). */
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
