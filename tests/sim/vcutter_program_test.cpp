// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/sim/vcutter_process.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace sim::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string kEsc(1, '\x1B');
const std::string kSizeReply = "0,0,24000,50000\r";
const std::string kScaleReply = "0,1012,996\r";

bool IsLiveLink(const fs::path& path) {
    struct stat info {};
    return fs::is_symlink(path) && ::stat(path.c_str(), &info) == 0 && S_ISCHR(info.st_mode);
}

double Milliseconds(std::chrono::steady_clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

class VCutterProgram : public testing::Test {
protected:
    // Starts the program and waits until its ports are registered (the banner follows).
    std::unique_ptr<TVCutterProcess> Start(const std::vector<std::string>& arguments) {
        auto process = std::make_unique<TVCutterProcess>(FRuntime, arguments);
        EXPECT_TRUE(process->WaitForLine("faults:")) << process->Errors();
        return process;
    }

    fs::path Link(const std::string& name) const { return FRuntime.MapDirectory() / name; }

    TRuntimeDirectory FRuntime;
};

class VCutterStops : public VCutterProgram, public testing::WithParamInterface<int> {};

TEST_P(VCutterStops, RegistersItsLinkAndRemovesItWhenSignalled) {
    auto cutter = Start({"--com", "7"});
    ASSERT_TRUE(IsLiveLink(Link("COM7"))) << cutter->Transcript();
    EXPECT_EQ(fs::status(FRuntime.MapDirectory()).permissions() & fs::perms::all,
              fs::perms::owner_all);
    cutter->Signal(GetParam());
    EXPECT_EQ(cutter->WaitForExit(), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(Link("COM7"))));
    EXPECT_NE(cutter->Transcript().find("link removed"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Signals, VCutterStops, testing::Values(SIGTERM, SIGINT, SIGHUP));

TEST_F(VCutterProgram, ComAndUsbEachGetTheirOwnTerminal) {
    auto cutter = Start({"--com", "5", "--usb", "1"});
    ASSERT_TRUE(IsLiveLink(Link("COM5")));
    ASSERT_TRUE(IsLiveLink(Link("USB1")));
    EXPECT_NE(fs::read_symlink(Link("COM5")), fs::read_symlink(Link("USB1")));
    for (const char* name : {"COM5", "USB1"}) {
        TTermiosClient host(Link(name));
        host.Write("OH;");
        EXPECT_EQ(TextOf(host.Read(kSizeReply.size(), 5s)), kSizeReply) << name;
    }
    cutter->Signal(SIGTERM);
    EXPECT_EQ(cutter->WaitForExit(), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(Link("COM5"))));
    EXPECT_FALSE(fs::exists(fs::symlink_status(Link("USB1"))));
}

// Drivers read the chosen name from the first line of the transcript.
TEST_F(VCutterProgram, ComAutoRegistersAboveEveryPortAndPrintsTheName) {
    auto taken = Start({"--com", "230"});
    auto cutter = Start({"--com", "auto"});
    EXPECT_EQ(cutter->Transcript().substr(0, 7), "COM231\n") << cutter->Transcript();
    EXPECT_TRUE(IsLiveLink(Link("COM231"))) << cutter->Errors();
}

TEST_F(VCutterProgram, RefusesToReplaceALiveLink) {
    auto first = Start({"--com", "9"});
    const fs::path target = fs::read_symlink(Link("COM9"));
    TVCutterProcess second(FRuntime, {"--com", "9"});
    EXPECT_EQ(second.WaitForExit(), 1);
    EXPECT_NE(second.Errors().find("registered already"), std::string::npos) << second.Errors();
    EXPECT_EQ(fs::read_symlink(Link("COM9")), target);
    EXPECT_TRUE(IsLiveLink(Link("COM9")));
}

TEST_F(VCutterProgram, ReplacesAStaleLink) {
    fs::create_directories(FRuntime.MapDirectory());
    fs::permissions(FRuntime.Path() / "tessaro", fs::perms::owner_all);
    fs::permissions(FRuntime.MapDirectory(), fs::perms::owner_all);
    fs::create_symlink("/dev/pts/nonexistent-9999", Link("COM9"));
    auto cutter = Start({"--com", "9"});
    EXPECT_TRUE(IsLiveLink(Link("COM9"))) << cutter->Errors();
}

TEST_F(VCutterProgram, RefusesAMapOthersCanWriteTo) {
    fs::create_directories(FRuntime.MapDirectory());
    fs::permissions(FRuntime.MapDirectory(), fs::perms::owner_all | fs::perms::others_write);
    TVCutterProcess cutter(FRuntime, {"--com", "9"});
    EXPECT_EQ(cutter.WaitForExit(), 1);
    EXPECT_FALSE(fs::exists(fs::symlink_status(Link("COM9"))));
}

TEST_F(VCutterProgram, RepliesArePacedAtTheLineRateAfterTheDelay) {
    auto cutter = Start({"--com", "3", "--delay", "150"});
    TTermiosClient host(Link("COM3"));
    const auto sent = std::chrono::steady_clock::now();
    host.Write(kEsc + ".R1:");
    const auto reply = host.Read(20, 5s);
    ASSERT_EQ(TextOf(reply), "0,30,80,250,5,1,0,2\r");
    // Bytes can come late on a busy machine, never early: the delay, then 20 bytes at
    // 9600 bit/s (about 21 ms) bound the reply from below.
    EXPECT_GE(Milliseconds(reply.front().At - sent), 150);
    EXPECT_GE(Milliseconds(reply.back().At - sent), 150 + 20 * 1.0);
    EXPECT_LT(Milliseconds(reply.back().At - sent), 4000);
}

// A slow cutter does not know that its host gave up: the reply goes out all the same and
// waits in the line for whoever opens the port next.
TEST_F(VCutterProgram, ReplyToAHostThatGaveUpWaitsForTheNextOpener) {
    auto cutter = Start({"--com", "3", "--delay", "0", "--fault", "late:200"});
    {
        TTermiosClient host(Link("COM3"));
        host.Write("OH;");
        EXPECT_EQ(TextOf(host.Read(1, 50ms)), "");
    }
    std::this_thread::sleep_for(400ms);
    TTermiosClient host(Link("COM3"));
    EXPECT_EQ(TextOf(host.Read(kSizeReply.size(), 1s)), kSizeReply);
    host.Write(kEsc + ".R3:");
    EXPECT_EQ(TextOf(host.Read(kScaleReply.size(), 5s)), kScaleReply);
}

// A host killed with the port open never clears the exclusive use it took, silent or not:
// the next host finds the port free (a privileged one could open it anyway, so it asks).
TEST_F(VCutterProgram, ExclusiveUseOfAHostThatEndedIsCleared) {
    auto cutter = Start({"--com", "3"});
    for (const std::string sent : {"", "OH;"}) {
        const int killed = ::open(Link("COM3").c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_EQ(::ioctl(killed, TIOCEXCL), 0);
        ASSERT_EQ(::write(killed, sent.data(), sent.size()), ssize_t(sent.size()));
        std::this_thread::sleep_for(300ms);
        ::close(killed);
        std::this_thread::sleep_for(300ms);
        const int next = ::open(Link("COM3").c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(next, 0) << "after a host that sent '" << sent << "'\n" << cutter->Transcript();
        int exclusive = 1;
        EXPECT_EQ(::ioctl(next, TIOCGEXCL, &exclusive), 0);
        EXPECT_EQ(exclusive, 0) << "after a host that sent '" << sent << "'";
        ::close(next);
        std::this_thread::sleep_for(100ms);
    }
}

// A setting changed at the cutter while a host watches: each SIGUSR1 is one press of the
// force key, and the cutter keeps running.
TEST_F(VCutterProgram, Sigusr1RaisesTheForceByOne) {
    auto cutter = Start({"--com", "3", "--settings", "30,80,250,5,1,0,2"});
    for (const auto& [change, reply] : {std::pair{"force 80 -> 81", "0,30,81,250,5,1,0,2\r"},
                                        std::pair{"force 81 -> 82", "0,30,82,250,5,1,0,2\r"}}) {
        cutter->Signal(SIGUSR1);
        ASSERT_TRUE(cutter->WaitForLine(change)) << cutter->Transcript();
        TTermiosClient host(Link("COM3"));
        host.Write(kEsc + ".R1:");
        EXPECT_EQ(TextOf(host.Read(std::string(reply).size(), 5s)), reply);
    }
}

TEST_F(VCutterProgram, SilentFaultSendsNothing) {
    auto cutter = Start({"--com", "3", "--fault", "silent"});
    TTermiosClient host(Link("COM3"));
    host.Write("OH;");
    EXPECT_EQ(TextOf(host.Read(1, 500ms)), "");
    EXPECT_TRUE(cutter->WaitForLine("withheld"));
}

TEST_F(VCutterProgram, LateFaultHoldsTheReplyBack) {
    auto cutter = Start({"--com", "3", "--delay", "0", "--fault", "late:300"});
    TTermiosClient host(Link("COM3"));
    const auto sent = std::chrono::steady_clock::now();
    host.Write("OH;");
    const auto reply = host.Read(kSizeReply.size(), 5s);
    ASSERT_EQ(TextOf(reply), kSizeReply);
    EXPECT_GE(Milliseconds(reply.front().At - sent), 300);
}

TEST_F(VCutterProgram, ChunkedFaultLeavesGapsInTheReply) {
    auto cutter = Start({"--com", "3", "--fault", "chunked:120"});
    TTermiosClient host(Link("COM3"));
    host.Write("OH;");
    const auto reply = host.Read(kSizeReply.size(), 5s);
    ASSERT_EQ(TextOf(reply), kSizeReply);
    int gaps = 0;
    for (std::size_t i = 1; i < reply.size(); ++i) {
        gaps += Milliseconds(reply[i].At - reply[i - 1].At) >= 80 ? 1 : 0;
    }
    EXPECT_GE(gaps, 3) << "16 bytes in chunks of 4 pause at least three times";
}

TEST_F(VCutterProgram, GarbageFaultSendsNoiseOfTheReplyLength) {
    auto cutter = Start({"--com", "3", "--fault", "garbage:5"});
    TTermiosClient host(Link("COM3"));
    host.Write("OH;");
    const std::string noise = TextOf(host.Read(kSizeReply.size(), 5s));
    EXPECT_EQ(noise.size(), kSizeReply.size());
    EXPECT_NE(noise, kSizeReply);
    EXPECT_EQ(TextOf(host.Read(1, 200ms)), "");
}

TEST_F(VCutterProgram, NoCrFaultLeavesOutTheCarriageReturn) {
    auto cutter = Start({"--com", "3", "--fault", "no-cr"});
    TTermiosClient host(Link("COM3"));
    host.Write("OH;");
    EXPECT_EQ(TextOf(host.Read(kSizeReply.size(), 1s)), "0,0,24000,50000");
}

TEST_F(VCutterProgram, HangUpFaultDropsTheLineAfterItsBytes) {
    auto cutter = Start({"--com", "3", "--fault", "hangup:5"});
    TTermiosClient host(Link("COM3"));
    host.Write("OH;");
    EXPECT_EQ(TextOf(host.Read(100, 5s)), "0,0,2");
    EXPECT_TRUE(host.HungUp());
    EXPECT_EQ(cutter->WaitForExit(), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(Link("COM3"))));
}

TEST_F(VCutterProgram, TranscriptAndDrawingShowWhatWasCut) {
    const fs::path svg = FRuntime.Path() / "cuts.svg";
    auto cutter =
        Start({"--com", "3", "--error", "1.01,1", "--scale", "1000,1000", "--svg", svg.string()});
    TTermiosClient host(Link("COM3"));
    const std::string testCut = "VS30;SP1;PR;PU0,0;PD0,0,2000,0,0,1000,-2000,0,0,-1000;PU;";
    host.Write(testCut);
    ASSERT_TRUE(cutter->WaitForLine("cut closed shape 50.50 x 25.00 mm"));
    host.Write(kEsc + ".C6;1;1010:" + testCut);
    ASSERT_TRUE(cutter->WaitForLine("cut closed shape 50.00 x 25.00 mm"));
    EXPECT_NE(cutter->Transcript().find("< <ESC>.C6;1;1010:"), std::string::npos);
    EXPECT_NE(cutter->Transcript().find("flash X scale 1000 -> 1010"), std::string::npos);
    cutter->Signal(SIGTERM);
    ASSERT_EQ(cutter->WaitForExit(), 0);
    std::ifstream file(svg);
    std::stringstream drawing;
    drawing << file.rdbuf();
    EXPECT_NE(drawing.str().find("50.50 x 25.00 mm"), std::string::npos);
    EXPECT_NE(drawing.str().find("50.00 x 25.00 mm"), std::string::npos);
    EXPECT_NE(drawing.str().find("</svg>"), std::string::npos);
}

TEST_F(VCutterProgram, GarbageFromTheHostIsIgnored) {
    auto cutter = Start({"--com", "3"});
    TTermiosClient host(Link("COM3"));
    host.Write(std::string(20000, '\x7F') + "\x1B.R3:");
    EXPECT_EQ(TextOf(host.Read(kScaleReply.size(), 5s)), kScaleReply);
    EXPECT_TRUE(cutter->WaitForLine("? ignored"));
}

TEST_F(VCutterProgram, HelpListsEveryOptionAndFault) {
    TVCutterProcess help(FRuntime, {"--help"});
    ASSERT_EQ(help.WaitForExit(), 0);
    for (const char* option : {"--com", "--usb", "--svg", "--error", "--scale", "--delay",
                               "--media", "--settings", "--model", "--firmware", "--fault",
                               "silent", "late", "chunked", "garbage", "no-cr", "hangup"}) {
        EXPECT_NE(help.Transcript().find(option), std::string::npos) << option;
    }
    TVCutterProcess wrong(FRuntime, {"--colour", "red"});
    EXPECT_EQ(wrong.WaitForExit(), 2);
    EXPECT_NE(wrong.Errors().find("--colour"), std::string::npos);
}

} // namespace
} // namespace sim::test
