// Linked into every program that hosts plug-ins (an object library, so the
// linker keeps these symbols even though nothing in the program calls them).
#include "HostExports.h"

#include "Messages.h"

namespace p = platform;

extern "C" {

__attribute__((visibility("default"))) intptr_t SendMessage(HWND hwnd, uint32_t msg, uintptr_t wParam,
                                                            intptr_t lParam) {
  return p::SendMessage(hwnd, msg, wParam, lParam);
}

__attribute__((visibility("default"))) int PostMessage(HWND hwnd, uint32_t msg, uintptr_t wParam,
                                                       intptr_t lParam) {
  return p::PostMessage(hwnd, msg, wParam, lParam) ? 1 : 0;
}

__attribute__((visibility("default"))) int PostThreadMessage(uint32_t threadId, uint32_t msg, uintptr_t wParam,
                                                             intptr_t lParam) {
  return p::PostThreadMessage(threadId, msg, wParam, lParam) ? 1 : 0;
}

__attribute__((visibility("default"))) intptr_t GetWindowLongPtr(HWND hwnd, int index) {
  if (index == p::GWLP_WNDPROC) return reinterpret_cast<intptr_t>(p::GetWindowProc(hwnd));
  if (index == p::GWLP_USERDATA) return reinterpret_cast<intptr_t>(p::GetWindowUserData(hwnd));
  return 0;
}

__attribute__((visibility("default"))) intptr_t SetWindowLongPtr(HWND hwnd, int index, intptr_t value) {
  if (index == p::GWLP_WNDPROC)
    return reinterpret_cast<intptr_t>(p::SetWindowProc(hwnd, reinterpret_cast<p::WNDPROC>(value)));
  if (index == p::GWLP_USERDATA)
    return reinterpret_cast<intptr_t>(p::SetWindowUserData(hwnd, reinterpret_cast<void*>(value)));
  return 0;
}

__attribute__((visibility("default"))) intptr_t CallWindowProc(intptr_t (*proc)(HWND, uint32_t, uintptr_t, intptr_t),
                                                               HWND hwnd, uint32_t msg, uintptr_t wParam,
                                                               intptr_t lParam) {
  return p::CallWindowProc(proc, hwnd, msg, wParam, lParam);
}

__attribute__((visibility("default"))) intptr_t DefWindowProc(HWND hwnd, uint32_t msg, uintptr_t wParam,
                                                              intptr_t lParam) {
  return p::DefWindowProc(hwnd, msg, wParam, lParam);
}

__attribute__((visibility("default"))) int IsWindow(HWND hwnd) { return p::IsWindow(hwnd) ? 1 : 0; }

__attribute__((visibility("default"))) uint32_t GetCurrentThreadId(void) { return p::GetCurrentThreadId(); }

__attribute__((visibility("default"))) uint32_t RegisterWindowMessage(const char* name) {
  return name ? p::RegisterWindowMessage(name) : 0;
}

}  // extern "C"
