// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Application.h"

#include <gtest/gtest.h>

// The token of a click belongs to the one window that click asked for: a later window, or one
// after an activation that carried no token, must not take it.
TEST(ActivationToken, GoesToOneWindowAndOnlyFromTheLatestActivation)
{
    ov::rememberActivationToken("first-click");
    ov::rememberActivationToken("second-click");
    EXPECT_EQ(ov::takeActivationToken(), std::optional<std::string>("second-click"));
    EXPECT_EQ(ov::takeActivationToken(), std::nullopt);

    ov::rememberActivationToken("a-click");
    ov::rememberActivationToken("");
    EXPECT_EQ(ov::takeActivationToken(), std::nullopt);
}
