// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The caption of the post-dial window that the dial-up layer shows when a
// device has connected and before the network comes up. The installer writes
// it into the installation file; the wizard's tune thread watches for a window
// with exactly this caption. Keep it in this one place.
#pragma once

namespace kivo::dialup
{

inline constexpr char kPostDialCaption[] = "Post-Dial Terminal Screen";

} // namespace kivo::dialup
