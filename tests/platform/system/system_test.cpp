// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Hidden utility windows and window message numbers.
#include "platform/system/system.h"
#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

using kivo::test::waitUntil;

TEST(HiddenWindow, PostedMessagesArriveInOrderOnTheOwnerThread)
{
    std::vector<std::pair<UINT, WPARAM>> got;
    const auto owner = std::this_thread::get_id();
    bool onOwner = true;
    HWND h = kivo::sys::AllocateHWnd([&](HWND, UINT m, WPARAM w, LPARAM) -> LRESULT {
        onOwner = onOwner && std::this_thread::get_id() == owner;
        got.emplace_back(m, w);
        return 0;
    });
    std::thread poster([h] {
        for (WPARAM i = 0; i < 50; ++i)
            PostMessageA(h, WM_USER + 7, i, 0);
    });
    poster.join();
    EXPECT_TRUE(got.empty()) << "posted messages must wait for the owner's event loop";
    ASSERT_TRUE(waitUntil([&] { return got.size() == 50; }));
    for (WPARAM i = 0; i < 50; ++i)
        EXPECT_EQ(got[i].second, i);
    EXPECT_TRUE(onOwner);
    kivo::sys::DeallocateHWnd(h);
}

TEST(HiddenWindow, DestroyedWindowGetsNothingMore)
{
    int calls = 0;
    HWND h = kivo::sys::AllocateHWnd([&](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return ++calls; });
    EXPECT_TRUE(PostMessageA(h, WM_USER, 0, 0));
    kivo::sys::DeallocateHWnd(h);
    EXPECT_FALSE(kivo::sys::IsHiddenWindow(h));
    EXPECT_FALSE(PostMessageA(h, WM_USER, 0, 0));
    waitUntil([] { return false; }, 50);
    EXPECT_EQ(calls, 0) << "a message pending at destruction must be discarded";
    kivo::sys::DeallocateHWnd(h); // a second release is harmless
}

TEST(WindowMessages, RegisteredNumbersAreStableAndCaseInsensitive)
{
    UINT a = RegisterWindowMessageA("RASDialEvent");
    EXPECT_GE(a, 0xC000u);
    EXPECT_LE(a, 0xFFFFu);
    EXPECT_EQ(RegisterWindowMessageA("rasdialevent"), a);
    EXPECT_NE(RegisterWindowMessageA("SomethingElse"), a);
    EXPECT_EQ(RegisterWindowMessageA(""), 0u);
    EXPECT_EQ(RegisterWindowMessageA(nullptr), 0u);
    EXPECT_EQ(DefWindowProcA(nullptr, WM_QUERYENDSESSION, 0, 0), TRUE);
}

TEST(HiddenWindow, HandlerMayReleaseItsOwnWindow)
{
    HWND h = nullptr;
    int calls = 0;
    std::string seen;
    h = kivo::sys::AllocateHWnd([&](HWND self, UINT, WPARAM w, LPARAM) -> LRESULT {
        ++calls;
        kivo::sys::DeallocateHWnd(self);
        // The handler's captures must still be usable after the release.
        seen += std::to_string(w);
        return 0;
    });
    PostMessageA(h, WM_USER, 1, 0);
    PostMessageA(h, WM_USER, 2, 0);
    ASSERT_TRUE(waitUntil([&] { return calls > 0; }));
    waitUntil([] { return false; }, 50);
    EXPECT_EQ(calls, 1) << "the second message was posted before the release and must be dropped";
    EXPECT_EQ(seen, "1");
    EXPECT_FALSE(kivo::sys::IsHiddenWindow(h));
    EXPECT_EQ(kivo::sys::DispatchNow(h, WM_USER, 3, 0), 0);
}
