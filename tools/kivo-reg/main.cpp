// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// kivo-reg: inspect and change the key store from the command line.
#include "tools/kivo-reg/regtool.h"

#include <iostream>

int main(int argc, char** argv)
{
    return kivo::reg::runTool(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
