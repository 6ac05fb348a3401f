// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// PlaySoundA over libsndfile and the PulseAudio simple API (ALSA "default"
// as the fallback when no sound server answers).
//
// KIVO95_SOUND selects the output: unset or "auto" the default audio output;
// "null" plays into nothing at real-time pace; "file:PATH" writes the
// decoded samples to PATH (a WAV file) as fast as they decode.
//
// Differences from Windows: only SND_FILENAME (synchronous) and the stop
// call PlaySoundA(nullptr, nullptr, 0) are supported; SND_ASYNC, resources
// and aliases give FALSE.
#pragma once

#include "platform/system/win32types.h"

constexpr DWORD SND_SYNC = 0x0000;
constexpr DWORD SND_ASYNC = 0x0001;
constexpr DWORD SND_NODEFAULT = 0x0002;
constexpr DWORD SND_PURGE = 0x0040;
constexpr DWORD SND_FILENAME = 0x00020000;

// Plays the WAV file synchronously: returns when it has finished (TRUE), or
// when it was stopped by PlaySoundA(nullptr, nullptr, 0) from any thread
// (TRUE). A missing or unreadable file, or no audio device: FALSE at once,
// with a line in the trace. PlaySoundA(nullptr, ...) stops every sound that
// is playing and returns TRUE.
BOOL PlaySoundA(LPCSTR pszSound, HMODULE hmod, DWORD fdwSound);

namespace kivo::sound
{

// How many PlaySoundA calls are playing right now (their output is open and
// samples are flowing). Lets a caller, or a test, wait until a sound has
// really started before it asks for a stop.
int playingCount();

} // namespace kivo::sound
