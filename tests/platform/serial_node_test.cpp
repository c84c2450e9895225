// SPDX-License-Identifier: GPL-3.0-or-later
// The component on a real serial node (ttyS<k>), where the machine has one that opens:
// what each setter leaves on the line, as another program (stty) reads it back, and what
// a write held by flow control reports. Skipped, saying why, where there is none.

#include "link/comm.h"
#include "platform/linux/last_error.h"
#include "platform/linux/linux_serial_api.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform::test {
namespace {

struct TSerialNode {
    std::string PortName;   // "\\.\COM1"
    std::string DevicePath; // "/dev/ttyS0"
};

class TRecordingComm : public devlink::TComm {
public:
    using devlink::TComm::TComm;
    void ReportCommError(const char* format, int) override { Reports.emplace_back(format); }
    std::vector<std::string> Reports;
};

// What `stty -a` prints for the device, or nothing when it cannot run.
std::optional<std::string> SttyOf(const std::string& device) {
    const std::string command = "stty -F " + device + " -a 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    if (!pipe) {
        return std::nullopt;
    }
    std::string output;
    std::array<char, 256> chunk{};
    while (std::fgets(chunk.data(), chunk.size(), pipe.get()) != nullptr) {
        output += chunk.data();
    }
    return output.empty() ? std::nullopt : std::optional<std::string>(output);
}

// Whether `word` stands in stty's output as a whole word.
bool SttySays(const std::string& stty, const std::string& word) {
    for (std::size_t at = stty.find(word); at != std::string::npos; at = stty.find(word, at + 1)) {
        const bool startsWord = at == 0 || stty[at - 1] == ' ' || stty[at - 1] == '\n';
        const std::size_t end = at + word.size();
        const bool endsWord =
            end == stty.size() || stty[end] == ' ' || stty[end] == ';' || stty[end] == '\n';
        if (startsWord && endsWord) {
            return true;
        }
    }
    return false;
}

class SerialNode : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why = "no ttyS node under /sys/class/tty";
        for (int k = 0; k < 32 && !FNode; ++k) {
            const std::string name = "ttyS" + std::to_string(k);
            if (!std::filesystem::exists("/sys/class/tty/" + name)) {
                continue;
            }
            FComm.SetDeviceName("COM" + std::to_string(k + 1));
            FComm.Open();
            if (!FComm.Enabled()) {
                why = name + " does not open (" + std::strerror(LastErrno()) + ")";
                continue;
            }
            const std::string device = "/dev/" + name;
            if (!SttyOf(device)) {
                FComm.Close();
                why = "stty cannot read " + device + " while it is held";
                continue;
            }
            FNode = TSerialNode{"COM" + std::to_string(k + 1), device};
        }
        if (!FNode) {
            GTEST_SKIP() << "no usable serial node: " << why;
        }
    }

    std::string Stty() { return SttyOf(FNode->DevicePath).value_or(""); }

    TLinuxSerialApi FApi;
    TRecordingComm FComm{FApi};
    std::optional<TSerialNode> FNode;
};

TEST_F(SerialNode, EachSetterIsOnTheLineAsAnotherProgramSeesIt) {
    struct TStep {
        const char* What;
        std::function<void(devlink::TComm&)> Set;
        std::vector<std::string> Words;
    };
    const std::vector<TStep> steps = {
        {"19200", [](devlink::TComm& c) { c.SetBaudRate(devlink::br19200); }, {"19200"}},
        {"even parity",
         [](devlink::TComm& c) { c.SetParity(devlink::paEven); },
         {"parenb", "-parodd"}},
        {"odd parity",
         [](devlink::TComm& c) { c.SetParity(devlink::paOdd); },
         {"parenb", "parodd"}},
        {"two stop bits", [](devlink::TComm& c) { c.SetStopBits(devlink::sb20); }, {"cstopb"}},
        {"7 data bits", [](devlink::TComm& c) { c.SetDataBits(devlink::da7); }, {"cs7"}},
        {"cts", [](devlink::TComm& c) { c.SetFlowControl(devlink::fcCTS); }, {"crtscts"}},
        {"software",
         [](devlink::TComm& c) { c.SetFlowControl(devlink::fcSoftware); },
         {"-crtscts", "ixon", "ixoff"}},
        {"none",
         [](devlink::TComm& c) { c.SetFlowControl(devlink::fcNone); },
         {"-crtscts", "-ixon", "-ixoff"}},
        {"back to 9600 8N1",
         [](devlink::TComm& c) {
             c.SetBaudRate(devlink::br9600);
             c.SetParity(devlink::paNone);
             c.SetStopBits(devlink::sb10);
             c.SetDataBits(devlink::da8);
         },
         {"9600", "-parenb", "-cstopb", "cs8"}},
    };
    for (const TStep& step : steps) {
        step.Set(FComm);
        const std::string stty = Stty();
        for (const std::string& word : step.Words) {
            EXPECT_TRUE(SttySays(stty, word)) << step.What << ": no " << word << " in\n" << stty;
        }
    }
    EXPECT_TRUE(FComm.Reports.empty());
}

TEST_F(SerialNode, RateTheUartCannotMakeIsRefusedAndTheLineKeepsItsRate) {
    FComm.SetBaudRate(devlink::br19200);
    ASSERT_TRUE(SttySays(Stty(), "19200"));
    FComm.SetBaudRate(devlink::br256000);
    const std::string stty = Stty();
    if (SttySays(stty, "256000")) {
        GTEST_SKIP() << FNode->DevicePath << " makes 256000 bits per second";
    }
    EXPECT_TRUE(SttySays(stty, "19200")) << stty;
    EXPECT_EQ(FComm.Reports,
              std::vector<std::string>{"Error updating DataControlBlock (Error: %d)"});
}

TEST_F(SerialNode, WriteHeldByXoffReportsWhatLeftAndNothingGoesLater) {
    FComm.SetXONState(false);
    const std::string command(100, 'x');
    EXPECT_EQ(FComm.Write(command.data(), 100), 0);
    EXPECT_TRUE(FComm.GetComState(4)); // fXoffHold
    FComm.SetXONState(true);
    EXPECT_FALSE(FComm.GetComState(4));
    EXPECT_EQ(FComm.OutQueCount(), 0);
}

} // namespace
} // namespace platform::test
