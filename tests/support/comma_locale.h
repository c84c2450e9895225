// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>

#include <clocale>
#include <locale>
#include <stdexcept>

// Runs a test under a locale whose decimal separator is a comma, as a German desktop
// session has; the cutter's numbers must keep their point.
class CommaLocale : public testing::Test {
protected:
    void SetUp() override {
        if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
            GTEST_SKIP() << "the de_DE.UTF-8 locale is not installed";
        }
        try {
            std::locale::global(std::locale("de_DE.UTF-8"));
        } catch (const std::runtime_error&) {
            std::setlocale(LC_ALL, "C");
            GTEST_SKIP() << "the C++ library has no de_DE.UTF-8 locale";
        }
        ASSERT_EQ(*std::localeconv()->decimal_point, ',');
    }
    void TearDown() override {
        std::locale::global(std::locale::classic());
        std::setlocale(LC_ALL, "C");
    }
};
