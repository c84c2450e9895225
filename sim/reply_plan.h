// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// One byte on the line at 9600 bit/s: a start bit, 8 data bits and a stop bit.
inline constexpr double kByteMilliseconds = 10.0 * 1000.0 / 9600.0;
// A chunked reply comes in pieces of this many bytes.
inline constexpr std::size_t kChunkBytes = 4;
// Stray noise between two exchanges comes in bursts of this many bytes.
inline constexpr std::size_t kNoiseBytes = 8;

// Misbehaviour on request; several may be combined. They apply to every reply.
struct TFaults {
    bool Silent = false;                         // never reply
    int LateMs = 0;                              // extra wait before every reply
    int ChunkGapMs = 0;                          // >0: pause this long after every chunk
    bool Garbage = false;                        // noise of the reply's length instead of it
    std::uint32_t GarbageSeed = 1;               //   with the noise drawn from this seed
    bool NoCarriageReturn = false;               // leave out the closing carriage return
    bool CrLf = false;                           // end replies with CR LF, not CR alone
    int FlashBusyMs = 0;                         // the reply after a flash write comes late
    std::optional<std::size_t> HangUpAfterBytes; // drop the line after this many reply bytes
    std::optional<std::size_t> DropByteOfReply;  // lose the 4th byte of this reply (from 1)
    std::optional<int> NoiseAfterMs;             // kNoiseBytes of noise this long after a reply
    bool IgnoreFlashWrites = false;              // the flash takes no scale write

    bool operator==(const TFaults&) const = default;
};

struct TTimedByte {
    double DueMs = 0; // when the byte has fully arrived, after the command was complete
    char Byte = 0;

    bool operator==(const TTimedByte&) const = default;
};

// What goes on the line for one reply.
struct TReplyPlan {
    std::vector<TTimedByte> Bytes;
    bool HangUp = false; // the line drops after the last byte

    std::string Text() const;
};

// Turns the replies of the cutter into what the line carries: paced at the line rate after
// the processing delay, with the requested faults applied. Keeps the count of bytes sent
// for the hang-up fault.
class TReplyShaper {
public:
    TReplyShaper(TFaults faults, int delayMs);

    TReplyPlan Shape(std::string_view reply);
    // The flash is being written: the next reply waits until it is done.
    void NoteFlashWrite() { FFlashBusy = FFaults.FlashBusyMs > 0; }
    bool HungUp() const { return FHungUp; }
    const TFaults& Faults() const { return FFaults; }

private:
    std::string Corrupt(std::string_view reply);
    TReplyPlan Pace(std::string_view bytes);
    void ApplyHangUp(TReplyPlan& plan);
    void AddNoiseAfter(TReplyPlan& plan);

    TFaults FFaults;
    int FDelayMs;
    std::uint32_t FNoiseState;
    std::size_t FBytesSent = 0;
    std::size_t FRepliesShaped = 0;
    bool FHungUp = false;
    bool FFlashBusy = false;
};

// Every fault name with its argument, for --help.
std::string DescribeFaults();
// Sets the fault `faultText` ("NAME" or "NAME:ARG") in `faults`; false with `error` set when
// the name is unknown or the argument is not valid for it.
bool ParseFault(std::string_view faultText, TFaults& faults, std::string& error);

} // namespace sim
