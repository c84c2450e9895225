// SPDX-License-Identifier: GPL-3.0-or-later
// The pure protocol code on the replies the cutter sends and the commands the panel and
// the wizard build: time per call, and heap allocations per call ("allocs").

#include "bench/allocation_counter.h"
#include "protocol/commands.h"
#include "protocol/reply_decoding.h"

#include <benchmark/benchmark.h>

#include <string>
#include <string_view>

namespace {

// What a cutter with 600 × 1250 mm media, the default settings, firmware TC-60 2.10 and
// scale 1000 answers.
constexpr std::string_view kSizeReply = "0,0,24000,50000\r";
constexpr std::string_view kSettingsReply = "0,30,80,250,5,1,0,2\r";
constexpr std::string_view kModelReply = "0,0,TC-60,2.10 0305\r";
constexpr std::string_view kScaleReply = "0,1000,1000\r";

// Runs `call` for the benchmark's iterations and reports the allocations it made per call.
template <typename TCall>
void Measure(benchmark::State& state, TCall call) {
    const std::uint64_t before = bench::AllocationCount();
    for (auto _ : state) {
        call();
    }
    const std::uint64_t made = bench::AllocationCount() - before;
    state.counters["allocs"] =
        benchmark::Counter(static_cast<double>(made), benchmark::Counter::kAvgIterations);
}

void SplitReply(benchmark::State& state, std::string_view reply, protocol::TEndRule rule) {
    Measure(state, [&] {
        auto fields = protocol::SplitReplyFields(reply, rule);
        benchmark::DoNotOptimize(fields.data());
    });
}

using TDecoder = void (*)(std::string_view, protocol::CutterSettings&, const protocol::TFieldLog&);

// The panel logs every field; the log here takes it and does nothing.
void DecodeReply(benchmark::State& state, std::string_view reply, TDecoder decode) {
    protocol::CutterSettings settings;
    const protocol::TFieldLog log = [](std::string_view field) {
        benchmark::DoNotOptimize(field.data());
    };
    Measure(state, [&] {
        decode(reply, settings, log);
        benchmark::ClobberMemory();
    });
}

void DecodeModel(benchmark::State& state) {
    protocol::CutterSettings settings;
    Measure(state, [&] {
        protocol::DecodeModelReply(kModelReply, settings);
        benchmark::ClobberMemory();
    });
}

void BuildQuery(benchmark::State& state, protocol::TCommandCode code) {
    Measure(state, [&] {
        std::string text = protocol::QueryCommandText(code);
        benchmark::DoNotOptimize(text.data());
    });
}

// A 50 × 50 mm test rectangle, as typed into the wizard.
void BuildTestDraw(benchmark::State& state) {
    Measure(state, [] {
        const double width = protocol::LengthUnitsFromText("50", "X");
        const double height = protocol::LengthUnitsFromText("50", "Y");
        std::string text = protocol::TestDrawText(width, height);
        benchmark::DoNotOptimize(text.data());
    });
}

// The corrected rectangle after measuring 50.5 × 49.8 mm.
void BuildCorrectedTestDraw(benchmark::State& state) {
    Measure(state, [] {
        const std::int32_t width = protocol::CorrectedLength(2000, 2020);
        const std::int32_t height = protocol::CorrectedLength(2000, 1992);
        std::string text = protocol::TestDrawText(width, height);
        benchmark::DoNotOptimize(text.data());
    });
}

void BuildWriteScale(benchmark::State& state) {
    Measure(state, [] {
        const std::int32_t scaleX = protocol::NewScaleValue(1000, 2020, 2000);
        const std::int32_t scaleY = protocol::NewScaleValue(1000, 1992, 2000);
        std::string text = protocol::WriteScaleText(scaleX, scaleY);
        benchmark::DoNotOptimize(text.data());
    });
}

} // namespace

BENCHMARK_CAPTURE(SplitReply, size, kSizeReply, protocol::erWholeTail);
BENCHMARK_CAPTURE(SplitReply, settings, kSettingsReply, protocol::erShortTail);
BENCHMARK_CAPTURE(SplitReply, model, kModelReply, protocol::erWholeTail);
BENCHMARK_CAPTURE(SplitReply, scale, kScaleReply, protocol::erWholeTail);
BENCHMARK_CAPTURE(DecodeReply, size, kSizeReply, &protocol::DecodeSizeReply);
BENCHMARK_CAPTURE(DecodeReply, settings, kSettingsReply, &protocol::DecodeSettingsReply);
BENCHMARK(DecodeModel);
BENCHMARK_CAPTURE(DecodeReply, scale, kScaleReply, &protocol::DecodeScaleReply);
BENCHMARK_CAPTURE(BuildQuery, poll_size, protocol::ccPollSize);
BENCHMARK_CAPTURE(BuildQuery, settings, protocol::ccSettingsQuery);
BENCHMARK_CAPTURE(BuildQuery, firmware, protocol::ccFirmwareQuery);
BENCHMARK_CAPTURE(BuildQuery, scale, protocol::ccScaleQuery);
BENCHMARK(BuildTestDraw);
BENCHMARK(BuildCorrectedTestDraw);
BENCHMARK(BuildWriteScale);

BENCHMARK_MAIN();
