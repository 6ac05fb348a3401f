// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// How the dial queue's loops get to the next event. The program waits for
// it. The other style looks again at once, over and over, as a message loop
// that never sleeps does; it is kept only so that bench/dial_cpu can run the
// very same queue both ways and show what waiting saves.
#pragma once

namespace kivo::dialpump
{

enum class Style { Waiting, Spinning };

void setStyle(Style style);
Style style();

} // namespace kivo::dialpump
