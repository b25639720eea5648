// A loaded shared object reaches the host's windows through the exported C functions.
#include <gtest/gtest.h>

#include "platform/DynamicLibrary.h"
#include "platform/Messages.h"

using namespace platform;

TEST(HostExports, APluginSendsPostsAndSubclassesThroughTheHost) {
  DynamicLibrary lib;
  ASSERT_TRUE(lib.OpenWithSymbols(TEST_PLUGIN_PATH, {"test_plugin_answer", "test_plugin_post", "test_plugin_subclass"}))
      << lib.LastError();
  std::vector<UINT> posted;
  HWND host = CreateMessageWindow([&](HWND, UINT m, WPARAM, LPARAM l) -> LRESULT {
    if (m == WM_USER && l == 125) return 5012;  // a version query
    posted.push_back(m);
    return 0;
  });
  std::vector<UINT> threadMsgs;
  SetThreadMessageHandler([&](const MSG& m) { threadMsgs.push_back(m.message); });

  auto answer = lib.Function<intptr_t (*)(HWND)>("test_plugin_answer");
  auto post = lib.Function<int (*)(HWND, uint32_t)>("test_plugin_post");
  auto subclass = lib.Function<void (*)(HWND)>("test_plugin_subclass");
  EXPECT_EQ(answer(host), 5012);
  EXPECT_EQ(post(host, GetCurrentThreadId()), 1);
  DrainQueue();
  EXPECT_EQ(posted, std::vector<UINT>{WM_USER + 1});
  EXPECT_EQ(threadMsgs, std::vector<UINT>{WM_USER + 2});

  WNDPROC before = GetWindowProc(host);
  subclass(host);
  EXPECT_NE(GetWindowProc(host), before);
  EXPECT_EQ(SendMessage(host, WM_USER + 211, 0, 0), 4242);  // the plug-in's procedure answers
  EXPECT_EQ(SendMessage(host, WM_USER, 0, 125), 5012);      // and passes the rest on
  SetWindowProc(host, before);
  SetThreadMessageHandler({});
  DestroyWindow(host);
}
