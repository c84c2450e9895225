// SPDX-License-Identifier: GPL-3.0-or-later
#include "toolkit/conversions.h"
#include "toolkit/event_guard.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

class TRecordingPrompts : public toolkit::TPrompts {
public:
    void MessageBox(const std::string& text) override { Boxes.push_back(text); }
    void ShowMessage(const std::string& text) override { Boxes.push_back(text); }
    void ShowException(const std::string& message) override { Errors.push_back(message); }

    std::vector<std::string> Boxes;
    std::vector<std::string> Errors;
};

TEST(RunGuarded, ConversionErrorShowsItsMessageInTheErrorBox) {
    TRecordingPrompts prompts;
    toolkit::RunGuarded(prompts, [] { toolkit::StrToInt("abc"); });
    EXPECT_EQ(prompts.Errors, std::vector<std::string>{"'abc' is not a valid integer value"});
    EXPECT_TRUE(prompts.Boxes.empty());
}

TEST(RunGuarded, OtherStandardErrorsShowTheirMessage) {
    TRecordingPrompts prompts;
    toolkit::RunGuarded(prompts, [] { throw std::out_of_range("List index out of bounds (3)"); });
    EXPECT_EQ(prompts.Errors, std::vector<std::string>{"List index out of bounds (3)"});
}

TEST(RunGuarded, NonStandardThrowShowsAnEmptyMessage) {
    TRecordingPrompts prompts;
    toolkit::RunGuarded(prompts, [] { throw 42; });
    EXPECT_EQ(prompts.Errors, std::vector<std::string>{""});
}

TEST(RunGuarded, HandlerThatSucceedsShowsNothingAndRunsOnce) {
    TRecordingPrompts prompts;
    int runs = 0;
    toolkit::RunGuarded(prompts, [&runs] { ++runs; });
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(prompts.Errors.empty());
}

TEST(RunGuarded, ErrorWhileShowingTheErrorDoesNotEscape) {
    class TFailingPrompts : public TRecordingPrompts {
        void ShowException(const std::string&) override { throw std::runtime_error("no box"); }
    } prompts;
    EXPECT_NO_THROW(toolkit::RunGuarded(prompts, [] { throw std::runtime_error("first"); }));
}

} // namespace
