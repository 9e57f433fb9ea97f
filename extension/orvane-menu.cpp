// SPDX-License-Identifier: GPL-3.0-or-later
// orvane-menu: the extension's menus on the command line, and running an action from them.
#include "extension/OVMenuCommand.h"
#include "platform/Translation.h"

#include <iostream>

int main(int argc, char** argv)
{
    ov::setUpProgramTranslations();
    return OVMenuCommand::run(argc, argv, std::cout, std::cerr);
}
