/* A plug-in-like shared object: it only knows the host's exported C functions. */
#include <stdint.h>

typedef struct HWND__* HWND;
extern intptr_t SendMessage(HWND hwnd, uint32_t msg, uintptr_t wParam, intptr_t lParam);
extern int PostMessage(HWND hwnd, uint32_t msg, uintptr_t wParam, intptr_t lParam);
extern int PostThreadMessage(uint32_t threadId, uint32_t msg, uintptr_t wParam, intptr_t lParam);
extern intptr_t SetWindowLongPtr(HWND hwnd, int index, intptr_t value);
extern intptr_t CallWindowProc(intptr_t (*proc)(HWND, uint32_t, uintptr_t, intptr_t), HWND hwnd, uint32_t msg,
                               uintptr_t wParam, intptr_t lParam);

static intptr_t (*old_proc)(HWND, uint32_t, uintptr_t, intptr_t);

static intptr_t sub_proc(HWND h, uint32_t m, uintptr_t w, intptr_t l) {
  if (m == 0x400 + 211) return 4242;
  return CallWindowProc(old_proc, h, m, w, l);
}

__attribute__((visibility("default"))) intptr_t test_plugin_answer(HWND host) {
  return SendMessage(host, 0x400, 0, 125);
}

__attribute__((visibility("default"))) int test_plugin_post(HWND host, uint32_t thread) {
  return PostMessage(host, 0x401, 7, 0) && PostThreadMessage(thread, 0x402, 8, 0);
}

__attribute__((visibility("default"))) void test_plugin_subclass(HWND host) {
  old_proc = (intptr_t(*)(HWND, uint32_t, uintptr_t, intptr_t))SetWindowLongPtr(host, -4, (intptr_t)sub_proc);
}
