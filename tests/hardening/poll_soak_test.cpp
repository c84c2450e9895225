// SPDX-License-Identifier: GPL-3.0-or-later
// A thousand Poll Size exchanges in a row against the in-process virtual cutter, tick by
// tick: each one decoded, and the window holding no more descriptors or memory at the end
// than after the first few, with its log at its cap.

#include "tests/hardening/hardening_support.h"

#include <QPlainTextEdit>

#include <gtest/gtest.h>

#include <iostream>

namespace hardening::test {

namespace {

constexpr int kWarmUpExchanges = 20;
constexpr int kSoakExchanges = 1000;
// What a thousand exchanges would leave behind if each kept a kilobyte (a transfer
// record, a reply buffer, a log line with its layout). Less than that moves with the
// machine's load: the cutter's transcript and Qt's queues grew by 70 to 330 KB here.
constexpr std::size_t kAllowedHeapGrowth = 1024 * 1024;

void PollSizeOnce(TFaultBench& bench) {
    bench.Form().BnPollSizeClick();
    bench.DeliverAll();
    bench.TickUntilIdle();
}

int CommandsReceived(TFaultBench& bench) {
    int commands = 0;
    for (const std::string& entry : bench.Line().Transcript()) {
        commands += entry.starts_with("< ") ? 1 : 0;
    }
    return commands;
}

class PollSizeSoak : public testing::TestWithParam<const char*> {};

TEST_P(PollSizeSoak, AThousandExchangesKeepDescriptorsAndMemoryFlatAndTheLogCapped) {
    TFaultBench bench(GetParam());
    // The log starts at its cap with the lines of an exchange, so every line an exchange
    // adds replaces one like it.
    PollSizeOnce(bench);
    const std::vector<std::string> exchangeLines = bench.Log();
    while (bench.Form().Memo1->document()->blockCount() < app::kLogLineLimit) {
        for (const std::string& line : exchangeLines) {
            bench.Form().Memo1->appendPlainText(QString::fromStdString(line));
        }
    }
    for (int exchange = 1; exchange < kWarmUpExchanges; ++exchange) {
        PollSizeOnce(bench);
    }
    const std::size_t descriptorsBefore = OpenDescriptorCount();
    const std::size_t heapBefore = LiveHeapBytes();
    const std::size_t residentBefore = ResidentKib();

    for (int exchange = 0; exchange < kSoakExchanges; ++exchange) {
        PollSizeOnce(bench);
        ASSERT_FALSE(bench.LinkOpen()) << "exchange " << exchange;
    }

    const std::size_t descriptorsAfter = OpenDescriptorCount();
    const std::size_t heapAfter = LiveHeapBytes();
    std::cout << GetParam() << ": descriptors " << descriptorsBefore << " -> " << descriptorsAfter
              << ", live heap " << heapBefore << " -> " << heapAfter << " bytes, resident "
              << residentBefore << " -> " << ResidentKib() << " KiB\n";
    EXPECT_EQ(descriptorsAfter, descriptorsBefore);
    EXPECT_LT(heapAfter, heapBefore + kAllowedHeapGrowth);
    EXPECT_EQ(bench.Form().Memo1->document()->blockCount(), app::kLogLineLimit);
    EXPECT_EQ(CommandsReceived(bench), kWarmUpExchanges + kSoakExchanges);
    EXPECT_EQ(bench.PanelTexts()[0], "600 mm");
    EXPECT_EQ(bench.PanelTexts()[1], "1250 mm");
    EXPECT_TRUE(bench.Prompts.Shown.empty());
}

INSTANTIATE_TEST_SUITE_P(EachLink, PollSizeSoak, testing::Values(kSerialPort, kUsbPort),
                         [](const auto& info) { return std::string(info.param); });

} // namespace

} // namespace hardening::test
