// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// What the serial-info query says of an 8250-style port.
enum class TSerialTypeAnswer {
    stKnownType,    // a UART is there
    stUnknownType,  // the driver reserved the line but found no UART: a phantom port
    stQueryRefused, // the driver does not answer the query; the port counts as present
};

// Asks the driver behind a ttyS port what UART it found; `sysfsEntry` is the port's entry
// under the tty class, `device` its device node.
using TSerialTypeQuery = std::function<TSerialTypeAnswer(const std::filesystem::path& sysfsEntry,
                                                         const std::filesystem::path& device)>;

// The production query: the entry's "type" attribute, else TIOCGSERIAL on the device.
TSerialTypeAnswer QuerySerialType(const std::filesystem::path& sysfsEntry,
                                  const std::filesystem::path& device);

// Where the table looks; tests point these at temporary trees.
struct TPortTableRoots {
    std::filesystem::path SysClassTty = "/sys/class/tty";
    std::filesystem::path DevDir = "/dev";
    // Empty: the device map of devlink::DeviceMapDirectory(), looked up at each use.
    std::filesystem::path DeviceMapDir;
    TSerialTypeQuery SerialTypeQuery = QuerySerialType;
};

inline constexpr int kMaxComNumber = 255;

// One serial port of the table.
struct TSerialPortEntry {
    int Number = 0;                   // the n of COM<n>
    std::string Name;                 // the device map link, or the device node
    std::filesystem::path DevicePath; // the character device that is opened
};

// The ports Tessaro may open, by the names the operator sees. Serial ports are COM<n>:
// the device map's COM<n> where it holds a trusted link to a character device, else the
// hardware port of that fixed number (ttyS<k> is COM<k+1>, ttyUSB<k> COM<k+33>, ttyACM<k>
// COM<k+65>). USB devices are the map's USB<i>, else /dev/usb/lp<i>. Nothing else is
// ever handed out, whatever text is looked up.
class TPortTable {
public:
    explicit TPortTable(TPortTableRoots roots = {});

    // The n of "COM<n>" (any case, n from 1 to kMaxComNumber without
    // leading zeros); nothing for any other text.
    static std::optional<int> ParseComName(std::string_view name);

    std::optional<TSerialPortEntry> FindSerial(int number) const;
    // The device to open for a serial port name; nothing when the name is not one of the
    // table's ports.
    std::optional<std::filesystem::path> ResolveSerial(std::string_view name) const;
    // Every serial port present, in ascending number.
    std::vector<TSerialPortEntry> ListSerial() const;
    // The device of USB link device `index`; nothing when there is none.
    std::optional<std::filesystem::path> FindUsb(int index) const;

private:
    std::filesystem::path MapDirectory() const;
    std::optional<std::filesystem::path> TrustedMapTarget(const std::string& linkName) const;
    std::optional<TSerialPortEntry> MapEntry(int number) const;
    std::optional<TSerialPortEntry> HardwareEntry(const std::string& kernelName, int number) const;
    void AddHardwarePorts(std::vector<TSerialPortEntry>& ports) const;
    void AddMapPorts(std::vector<TSerialPortEntry>& ports) const;

    TPortTableRoots FRoots;
};

} // namespace platform
