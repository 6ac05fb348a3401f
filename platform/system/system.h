// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The "system" part of the Win32 layer: hidden utility windows and posted
// messages, message boxes, beeps, string resources of other modules,
// starting programs, the tick count and the cursor position.
//
// Hidden utility windows stand in for the VCL's AllocateHWnd: a window
// handle that receives posted messages on the thread that created it and
// hands them to a handler. Differences from Windows: there is no message
// queue per thread; a posted message is a Qt event delivered by the owner
// thread's event loop (so it is handled whenever that thread processes its
// events, exactly when a Windows thread would pump its queue).
#pragma once

#include "platform/system/win32types.h"

#include <functional>
#include <string>

class QWidget;

// ---- hidden utility windows --------------------------------------------

// The handler of a hidden window: returns the message's result.
using WindowHandler = std::function<LRESULT(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)>;

namespace kivo::sys {

// Creates a hidden window owned by the calling thread (which must run a Qt
// event loop to receive anything). Never returns null.
HWND AllocateHWnd(WindowHandler handler);

// Destroys a hidden window. Messages still pending for it are discarded and
// its handler is never called again; a later PostMessageA to it fails.
// Must be called on the owning thread. Null is ignored.
void DeallocateHWnd(HWND hwnd);

// True when hwnd is a live hidden window of this layer.
bool IsHiddenWindow(HWND hwnd);

// Runs a message synchronously on the calling thread through the window's
// handler (used by tests to deliver a message without an event loop).
// Returns 0 for a dead window.
LRESULT DispatchNow(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

}  // namespace kivo::sys

// Posts a message to a hidden window: thread-safe; delivered later on the
// window's thread, in the order posted. FALSE when the window is gone.
BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Default handling of a message a handler does not handle: 0 for every
// message, TRUE for WM_QUERYENDSESSION (never veto a log-off).
LRESULT DefWindowProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// A message number for a name, unique within the process, 0xC000..0xFFFF;
// the same name (compared case-insensitively) gives the same number.
// 0 for a null or empty name.
UINT RegisterWindowMessageA(LPCSTR name);

// ---- time and cursor ----------------------------------------------------

// Milliseconds since an arbitrary start (monotonic clock), wrapping at 2^32.
DWORD GetTickCount();

// The cursor position in screen coordinates (QCursor::pos()).
BOOL GetCursorPos(LPPOINT point);

// ---- message boxes and beeps --------------------------------------------

// Shows a modal message box. Owner null: no owner window. Returns IDOK,
// IDYES, IDNO, ... as Windows does. Goes through the hook when one is set.
INT MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

// Plays a system sound (QApplication::beep()). Goes through the hook.
BOOL MessageBeep(UINT type);

namespace kivo::sys {

// What was asked of a message box; the hook answers with the button.
struct MessageBoxRequest {
    QWidget* owner = nullptr;  // resolved owner widget, or null
    std::string text;
    std::string caption;
    UINT type = 0;
};
using MessageBoxHook = std::function<INT(const MessageBoxRequest&)>;
using BeepHook = std::function<void(UINT type)>;

// Replaces the message box (null restores the real one). Tests answer
// boxes through this; the previous hook is returned.
MessageBoxHook setMessageBoxHook(MessageBoxHook hook);
BeepHook setBeepHook(BeepHook hook);

// Maps a top-level widget to the HWND a message box takes as owner, and back.
HWND hwndOf(QWidget* widget);
QWidget* widgetOf(HWND hwnd);

// ---- file-open dialog -----------------------------------------------------

struct OpenFileRequest {
    QWidget* owner = nullptr;
    std::string title;
    std::string filter;        // VCL form: "Wave files (*.wav)|*.wav"
    std::string defaultExt;    // "wav"
    std::string initialFile;   // the name returned last time, or empty
    bool pathMustExist = true;
    bool fileMustExist = true;
};
// Returns the chosen file's full path, or an empty string for Cancel.
using OpenFileHook = std::function<std::string(const OpenFileRequest&)>;
OpenFileHook setOpenFileHook(OpenFileHook hook);
std::string GetOpenFileName(const OpenFileRequest& request);

}  // namespace kivo::sys

// ---- modules and string resources ----------------------------------------

// A "module" is a string table shipped with the program: NAME (".exe" and
// any directory stripped, compared case-insensitively) is looked up as
// NAME.strings in the string-table directories: $KIVO95_STRINGS (a list
// separated by ':'), then "strings" beside the executable, then
// ../share/kivo95/strings relative to the executable's directory.
// Null when no table is found.
HMODULE LoadLibraryA(LPCSTR name);
BOOL FreeLibrary(HMODULE module);

// Copies string id of the module into buffer, at most size-1 characters
// plus a terminating zero. Returns the number of characters copied, 0 when
// the module or the string is missing (the buffer then holds "" if size>0).
INT LoadStringA(HINSTANCE module, UINT id, LPSTR buffer, INT size);

// ---- programs -------------------------------------------------------------

// Starts a program. The command line is split into argv as Windows
// programs split theirs: blanks separate, double quotes group, and a
// backslash escapes a double quote (2n backslashes before a quote give n
// and the quote groups, 2n+1 give n and a literal quote; other backslashes
// are plain characters). There is no other syntax, and it never goes through
// a shell. Returns a value above 31 on success, as on Windows: 2 (file not
// found) or 5 (access denied) on failure.
UINT WinExec(LPCSTR cmdLine, UINT cmdShow);

namespace kivo::sys {
// One word of a WinExec command line that gives back exactly `word`, whatever
// it holds (blanks, double quotes, backslashes).
std::string QuoteCommandWord(const std::string& word);

// The process id of the last program started by WinExec (0 if none), so a
// caller can wait for it to end.
long lastWinExecPid();
// Waits until the program started last by WinExec has ended or timeoutMs
// have passed (waits on the child, no polling). True when it has ended.
bool waitForLastWinExec(int timeoutMs);
}  // namespace kivo::sys
