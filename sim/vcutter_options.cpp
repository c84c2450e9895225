// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/vcutter_options.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <map>
#include <string_view>

namespace sim {
namespace {

constexpr int kMaxComNumber = 255; // the highest COM number Tessaro opens
constexpr int kMaxUsbIndex = 3;
constexpr int kMaxDelayMs = 60000;
constexpr double kMaxMediaMm = 50000.0;
constexpr double kMinError = 0.5;
constexpr double kMaxError = 2.0;
constexpr std::size_t kMaxIdentityText = 64;

std::vector<std::string_view> SplitCommas(std::string_view text) {
    std::vector<std::string_view> parts;
    while (true) {
        const std::size_t comma = text.find(',');
        parts.push_back(text.substr(0, comma));
        if (comma == std::string_view::npos) {
            return parts;
        }
        text.remove_prefix(comma + 1);
    }
}

bool ReadInteger(std::string_view text, long long low, long long high, long long& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && error == std::errc() && end == text.data() + text.size() &&
           value >= low && value <= high;
}

bool ReadNumber(std::string_view text, double low, double high, double& value) {
    const auto [end, error] =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    return !text.empty() && error == std::errc() && end == text.data() + text.size() &&
           std::isfinite(value) && value >= low && value <= high;
}

// Reads `count` comma-separated integers within [low, high].
bool ReadIntegers(std::string_view text, std::size_t count, long long low, long long high,
                  std::vector<long long>& values) {
    const std::vector<std::string_view> parts = SplitCommas(text);
    if (parts.size() != count) {
        return false;
    }
    values.clear();
    for (std::string_view part : parts) {
        long long value = 0;
        if (!ReadInteger(part, low, high, value)) {
            return false;
        }
        values.push_back(value);
    }
    return true;
}

bool ReadNumberPair(std::string_view text, double low, double high, double& first, double& second) {
    const std::vector<std::string_view> parts = SplitCommas(text);
    return parts.size() == 2 && ReadNumber(parts[0], low, high, first) &&
           ReadNumber(parts[1], low, high, second);
}

bool IsPrintableText(std::string_view text) {
    if (text.empty() || text.size() > kMaxIdentityText) {
        return false;
    }
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            return false;
        }
    }
    return true;
}

using TValueReader = std::function<bool(std::string_view, TVCutterOptions&, std::string&)>;

bool Require(bool ok, std::string& error, const std::string& message) {
    if (!ok) {
        error = message;
    }
    return ok;
}

const std::map<std::string, TValueReader, std::less<>>& ValueReaders() {
    static const std::map<std::string, TValueReader, std::less<>> readers = {
        {"--com",
         [](std::string_view text, TVCutterOptions& options, std::string& error) {
             if (text == "auto") {
                 options.ComAuto = true;
                 options.ComNumber.reset();
                 return true;
             }
             long long number = 0;
             const bool ok = ReadInteger(text, 1, kMaxComNumber, number);
             options.ComNumber = int(number);
             options.ComAuto = false;
             return Require(ok, error, "--com takes a port number from 1 to 255, or auto");
         }},
        {"--usb",
         [](std::string_view text, TVCutterOptions& options, std::string& error) {
             long long index = 0;
             const bool ok = ReadInteger(text, 0, kMaxUsbIndex, index);
             options.UsbIndex = int(index);
             return Require(ok, error, "--usb takes a device index from 0 to 3");
         }},
        {"--svg",
         [](std::string_view text, TVCutterOptions& options, std::string& error) {
             options.SvgPath = text;
             return Require(!text.empty(), error, "--svg takes a file name");
         }},
        {"--error",
         [](std::string_view text, TVCutterOptions& options, std::string& error) {
             const bool ok = ReadNumberPair(text, kMinError, kMaxError, options.Cutter.ErrorX,
                                            options.Cutter.ErrorY);
             return Require(ok, error,
                            "--error takes X,Y factors from 0.5 to 2 (1.01 cuts 1 % long)");
         }},
        {"--delay",
         [](std::string_view text, TVCutterOptions& options, std::string& error) {
             long long delay = 0;
             const bool ok = ReadInteger(text, 0, kMaxDelayMs, delay);
             options.DelayMs = int(delay);
             return Require(ok, error, "--delay takes milliseconds from 0 to 60000");
         }},
        {"--fault", [](std::string_view text, TVCutterOptions& options,
                       std::string& error) { return ParseFault(text, options.Faults, error); }},
        {"--media",
         [](std::string_view text, TVCutterOptions& options, std::string& error) {
             double width = 0;
             double height = 0;
             const bool ok = ReadNumberPair(text, 0.025, kMaxMediaMm, width, height);
             options.Cutter.ClipUpperRightX =
                 std::int32_t(std::lround(width * kUnitsPerMillimetre));
             options.Cutter.ClipUpperRightY =
                 std::int32_t(std::lround(height * kUnitsPerMillimetre));
             return Require(ok, error, "--media takes WIDTH,HEIGHT in millimetres up to 50000");
         }},
        {"--scale",
         [](std::string_view text, TVCutterOptions& options, std::string& error) {
             std::vector<long long> values;
             const bool ok = ReadIntegers(text, 2, 0, INT32_MAX, values);
             if (ok) {
                 options.Cutter.ScaleX = std::int32_t(values[0]);
                 options.Cutter.ScaleY = std::int32_t(values[1]);
             }
             return Require(ok, error, "--scale takes X,Y whole numbers from 0");
         }},
        {"--settings",
         [](std::string_view text, TVCutterOptions& options, std::string& error) {
             std::vector<long long> values;
             const bool ok = ReadIntegers(text, 7, INT32_MIN, INT32_MAX, values);
             if (ok) {
                 TCutterConfig& cutter = options.Cutter;
                 for (auto [field, value] : {std::pair{&cutter.MediaWeight, values[0]},
                                             {&cutter.Force, values[1]},
                                             {&cutter.OffsetThousandths, values[2]},
                                             {&cutter.Quality, values[3]},
                                             {&cutter.Smooth, values[4]},
                                             {&cutter.AutoUnroll, values[5]},
                                             {&cutter.MediaType, values[6]}}) {
                     *field = std::int32_t(value);
                 }
             }
             return Require(ok, error,
                            "--settings takes seven whole numbers: weight,force,"
                            "offset,quality,smooth,unroll,type");
         }},
        {"--model",
         [](std::string_view text, TVCutterOptions& options, std::string& error) {
             options.Cutter.FirmwareModel = text;
             return Require(IsPrintableText(text), error,
                            "--model takes printable text of 1 to 64 characters");
         }},
        {"--firmware",
         [](std::string_view text, TVCutterOptions& options, std::string& error) {
             options.Cutter.FirmwareVersion = text;
             return Require(IsPrintableText(text), error,
                            "--firmware takes printable text of 1 to 64 characters");
         }},
    };
    return readers;
}

} // namespace

bool ParseVCutterOptions(const std::vector<std::string>& arguments, TVCutterOptions& options,
                         std::string& error) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string_view argument = arguments[i];
        if (argument == "--help" || argument == "-h") {
            options.ShowHelp = true;
            continue;
        }
        if (argument == "--version") {
            options.ShowVersion = true;
            continue;
        }
        const std::size_t equals = argument.find('=');
        const std::string_view name = argument.substr(0, equals);
        const auto reader = ValueReaders().find(name);
        if (reader == ValueReaders().end()) {
            error = "unknown option " + std::string(argument) + " (see --help)";
            return false;
        }
        std::string_view value;
        if (equals != std::string_view::npos) {
            value = argument.substr(equals + 1);
        } else if (i + 1 < arguments.size()) {
            value = arguments[++i];
        } else {
            error = std::string(name) + " needs a value (see --help)";
            return false;
        }
        if (!reader->second(value, options, error)) {
            return false;
        }
    }
    if (!options.ComNumber && !options.ComAuto && !options.UsbIndex) {
        options.ComNumber = kDefaultComNumber;
    }
    // The one fault of the cutter itself rather than of its line.
    options.Cutter.IgnoresFlashWrites = options.Faults.IgnoreFlashWrites;
    return true;
}

std::optional<int> ChooseComNumber(const std::vector<int>& numbersInUse) {
    int chosen = kDefaultComNumber;
    for (int number : numbersInUse) {
        chosen = std::max(chosen, number + 1);
    }
    return chosen <= kMaxComNumber ? std::optional<int>(chosen) : std::nullopt;
}

std::string VCutterUsage() {
    return "Usage: tessaro-vcutter [OPTION]...\n"
           "A virtual vinyl cutter on a pseudo-terminal, registered in Tessaro's device map.\n"
           "It answers the queries, cuts the test shapes and keeps its scale in flash,\n"
           "printing a transcript of everything it receives, answers and cuts.\n"
           "\n"
           "  --com N            register as COM<N>, 1 to 255 (default COM200 when\n"
           "                     neither --com nor --usb is given)\n"
           "  --com auto         register above every serial port of this machine and\n"
           "                     the device map (COM200 at least); the name chosen,\n"
           "                     such as COM201, is the transcript's first line\n"
           "  --usb I            register as USB<I>, 0 to 3; with --com, on a second\n"
           "                     pseudo-terminal\n"
           "  --svg FILE         draw every cut into FILE (after each cut and at the end)\n"
           "  --error X,Y        mechanical error factors at scale 1000 (default\n"
           "                     1.012,0.996, which the default scale makes up for;\n"
           "                     1.01 cuts 1 % long)\n"
           "  --scale X,Y        scale values in flash at start (default 1012,996)\n"
           "  --delay MS         processing time before each reply (default 10); replies\n"
           "                     then come at 9600 bit/s, about 1.04 ms per byte\n"
           "  --media W,H        media width and height in mm (default 600,1250)\n"
           "  --settings W,F,O,Q,S,A,T\n"
           "                     media weight, force, offset (thousandths of a mm),\n"
           "                     quality, smooth, auto unroll, media type\n"
           "                     (default 30,80,250,5,1,0,2)\n"
           "  --model TEXT       firmware model (default TC-60)\n"
           "  --firmware TEXT    firmware version and date (default \"2.10 0305\")\n"
           "  --fault NAME[:ARG] misbehave on purpose; repeat to combine:\n" +
           DescribeFaults() +
           "  -h, --help         show this text\n"
           "  --version          show the version\n"
           "\n"
           "SIGUSR1 raises the force by one, as the cutter's force key does: a change\n"
           "for Loop Detect or tessaro-query monitor to see.\n"
           "The links are removed when the program ends (also on Ctrl-C or SIGTERM).\n"
           "A link that still points to a live device is never replaced.\n";
}

} // namespace sim
