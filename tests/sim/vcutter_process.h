// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace sim::test {

using TMilliseconds = std::chrono::milliseconds;

// A private device map: XDG_RUNTIME_DIR for the program under test, removed at the end.
class TRuntimeDirectory {
public:
    TRuntimeDirectory();
    ~TRuntimeDirectory();
    const std::filesystem::path& Path() const { return FPath; }
    std::filesystem::path MapDirectory() const { return FPath / "tessaro" / "devices"; }

private:
    std::filesystem::path FPath;
};

// The built tessaro-vcutter running with its transcript on a pipe and its errors in a file.
class TVCutterProcess {
public:
    TVCutterProcess(const TRuntimeDirectory& runtime, const std::vector<std::string>& arguments);
    ~TVCutterProcess();

    // Waits for a transcript line containing `text`; true when it came in time.
    bool WaitForLine(const std::string& text, TMilliseconds timeout = TMilliseconds(10000));
    const std::string& Transcript() const { return FTranscript; }
    std::string Errors() const;
    void Signal(int signal);
    // The exit status once the program ended within `timeout`, or -1.
    int WaitForExit(TMilliseconds timeout = TMilliseconds(10000));

private:
    void ReadTranscript(TMilliseconds timeout);

    int FPid = -1;
    int FTranscriptPipe = -1;
    std::string FTranscript;
    std::filesystem::path FErrorFile;
    int FExitStatus = -1;
};

// A host on the other end: opens the registered port as a plain termios client.
class TTermiosClient {
public:
    explicit TTermiosClient(const std::filesystem::path& device);
    ~TTermiosClient();
    bool IsOpen() const { return FDescriptor >= 0; }
    void Write(const std::string& bytes);

    struct TArrival {
        char Byte;
        std::chrono::steady_clock::time_point At;
    };
    // Reads until `count` bytes came, the line hung up, or `timeout` passed.
    std::vector<TArrival> Read(std::size_t count, TMilliseconds timeout);
    // True once a read found the line hung up.
    bool HungUp() const { return FHungUp; }

private:
    int FDescriptor = -1;
    bool FHungUp = false;
};

std::string TextOf(const std::vector<TTermiosClient::TArrival>& arrivals);

} // namespace sim::test
