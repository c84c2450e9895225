// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/port_table.h"

#include "link/device_map.h"
#include "platform/linux/file_descriptor.h"

#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <linux/serial.h>
#include <map>
#include <memory>
#include <sys/ioctl.h>
#include <sys/stat.h>

namespace platform {

namespace {

// A kind of hardware serial port and the block of COM numbers it is given.
struct THardwareFamily {
    std::string_view Prefix;
    int FirstNumber;
    int Count;
};

constexpr std::array<THardwareFamily, 3> kHardwareFamilies{{
    {"ttyS", 1, 32},
    {"ttyUSB", 33, 32},
    {"ttyACM", 65, kMaxComNumber - 64},
}};

// A decimal number without sign, spaces or leading zeros, at most `max`.
std::optional<int> ParseDecimal(std::string_view digits, int max) {
    if (digits.empty() || digits.size() > 9 || (digits.size() > 1 && digits[0] == '0')) {
        return std::nullopt;
    }
    int value = 0;
    for (char digit : digits) {
        if (digit < '0' || digit > '9') {
            return std::nullopt;
        }
        value = value * 10 + (digit - '0');
    }
    return value <= max ? std::optional<int>(value) : std::nullopt;
}

bool StartsWithNoCase(std::string_view text, std::string_view upperPrefix) {
    if (text.size() < upperPrefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < upperPrefix.size(); ++i) {
        const char c = text[i];
        const char upper = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
        if (upper != upperPrefix[i]) {
            return false;
        }
    }
    return true;
}

// The number in a map link name such as "COM7" or "USB0".
std::optional<int> ParseMapName(std::string_view name, std::string_view prefix, int max) {
    if (!name.starts_with(prefix)) {
        return std::nullopt;
    }
    return ParseDecimal(name.substr(prefix.size()), max);
}

bool IsCharacterDevice(const std::filesystem::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISCHR(info.st_mode);
}

std::optional<std::string> KernelNameOf(int number) {
    for (const THardwareFamily& family : kHardwareFamilies) {
        if (number >= family.FirstNumber && number < family.FirstNumber + family.Count) {
            return std::string(family.Prefix) + std::to_string(number - family.FirstNumber);
        }
    }
    return std::nullopt;
}

std::optional<int> ComNumberOf(std::string_view kernelName) {
    for (const THardwareFamily& family : kHardwareFamilies) {
        if (kernelName.starts_with(family.Prefix)) {
            const std::optional<int> index =
                ParseDecimal(kernelName.substr(family.Prefix.size()), family.Count - 1);
            return index ? std::optional<int>(family.FirstNumber + *index) : std::nullopt;
        }
    }
    return std::nullopt;
}

// The names in a directory; none when it cannot be read.
std::vector<std::string> EntryNames(const std::filesystem::path& directory) {
    std::vector<std::string> names;
    std::error_code error;
    std::filesystem::directory_iterator item(directory, error);
    for (; !error && item != std::filesystem::directory_iterator(); item.increment(error)) {
        names.push_back(item->path().filename().string());
    }
    return names;
}

// Read with C stdio: the port list is built before the window first shows, and the C++
// streams would add their locale set-up to every start.
std::optional<int> ReadTypeAttribute(const std::filesystem::path& sysfsEntry) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> attribute(
        std::fopen((sysfsEntry / "type").c_str(), "re"), &std::fclose);
    int type = 0;
    if (attribute != nullptr && std::fscanf(attribute.get(), "%d", &type) == 1) {
        return type;
    }
    return std::nullopt;
}

} // namespace

TSerialTypeAnswer QuerySerialType(const std::filesystem::path& sysfsEntry,
                                  const std::filesystem::path& device) {
    if (const std::optional<int> type = ReadTypeAttribute(sysfsEntry)) {
        return *type == PORT_UNKNOWN ? TSerialTypeAnswer::stUnknownType
                                     : TSerialTypeAnswer::stKnownType;
    }
    TFileDescriptor port(::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!port.IsOpen()) {
        // The driver refusing the line itself means nothing is there; lacking the
        // permission to ask says nothing either way.
        const bool noLine = errno == EIO || errno == ENXIO || errno == ENODEV;
        return noLine ? TSerialTypeAnswer::stUnknownType : TSerialTypeAnswer::stQueryRefused;
    }
    struct serial_struct info {};
    if (::ioctl(port.Get(), TIOCGSERIAL, &info) != 0) {
        return TSerialTypeAnswer::stQueryRefused;
    }
    return info.type == PORT_UNKNOWN ? TSerialTypeAnswer::stUnknownType
                                     : TSerialTypeAnswer::stKnownType;
}

TPortTable::TPortTable(TPortTableRoots roots) : FRoots(std::move(roots)) {}

std::optional<int> TPortTable::ParseComName(std::string_view name) {
    if (!StartsWithNoCase(name, "COM")) {
        return std::nullopt;
    }
    const std::optional<int> number = ParseDecimal(name.substr(3), kMaxComNumber);
    return number && *number >= 1 ? number : std::nullopt;
}

std::optional<TSerialPortEntry> TPortTable::FindSerial(int number) const {
    if (std::optional<TSerialPortEntry> mapped = MapEntry(number)) {
        return mapped;
    }
    const std::optional<std::string> kernelName = KernelNameOf(number);
    return kernelName ? HardwareEntry(*kernelName, number) : std::nullopt;
}

std::optional<std::filesystem::path> TPortTable::ResolveSerial(std::string_view name) const {
    const std::optional<int> number = ParseComName(name);
    if (!number) {
        return std::nullopt;
    }
    std::optional<TSerialPortEntry> entry = FindSerial(*number);
    return entry ? std::optional<std::filesystem::path>(entry->DevicePath) : std::nullopt;
}

std::vector<TSerialPortEntry> TPortTable::ListSerial() const {
    std::vector<TSerialPortEntry> found;
    AddHardwarePorts(found);
    AddMapPorts(found); // after the hardware, so a map entry of the same number wins
    std::map<int, TSerialPortEntry> byNumber;
    for (TSerialPortEntry& entry : found) {
        byNumber[entry.Number] = std::move(entry);
    }
    std::vector<TSerialPortEntry> ports;
    for (auto& [number, entry] : byNumber) {
        ports.push_back(std::move(entry));
    }
    return ports;
}

std::optional<std::filesystem::path> TPortTable::FindUsb(int index) const {
    if (index < 0) {
        return std::nullopt;
    }
    const std::string number = std::to_string(index);
    if (std::optional<std::filesystem::path> mapped = TrustedMapTarget("USB" + number)) {
        return mapped;
    }
    const std::filesystem::path device = FRoots.DevDir / "usb" / ("lp" + number);
    return IsCharacterDevice(device) ? std::optional<std::filesystem::path>(device) : std::nullopt;
}

std::filesystem::path TPortTable::MapDirectory() const {
    return FRoots.DeviceMapDir.empty() ? devlink::DeviceMapDirectory() : FRoots.DeviceMapDir;
}

std::optional<std::filesystem::path>
TPortTable::TrustedMapTarget(const std::string& linkName) const {
    const std::filesystem::path directory = MapDirectory();
    if (!devlink::DeviceMapIsTrusted(directory)) {
        return std::nullopt;
    }
    const std::filesystem::path link = directory / linkName;
    struct stat info {};
    if (::lstat(link.c_str(), &info) != 0 || !(S_ISLNK(info.st_mode) || S_ISCHR(info.st_mode))) {
        return std::nullopt;
    }
    char target[PATH_MAX];
    if (::realpath(link.c_str(), target) == nullptr || !IsCharacterDevice(target)) {
        return std::nullopt;
    }
    return std::filesystem::path(target);
}

std::optional<TSerialPortEntry> TPortTable::MapEntry(int number) const {
    const std::string linkName = "COM" + std::to_string(number);
    std::optional<std::filesystem::path> target = TrustedMapTarget(linkName);
    if (!target) {
        return std::nullopt;
    }
    return TSerialPortEntry{number, (MapDirectory() / linkName).string(), std::move(*target)};
}

std::optional<TSerialPortEntry> TPortTable::HardwareEntry(const std::string& kernelName,
                                                          int number) const {
    const std::filesystem::path sysfsEntry = FRoots.SysClassTty / kernelName;
    const std::filesystem::path device = FRoots.DevDir / kernelName;
    std::error_code error;
    if (!std::filesystem::exists(sysfsEntry, error) || !IsCharacterDevice(device)) {
        return std::nullopt;
    }
    if (kernelName.starts_with("ttyS") && FRoots.SerialTypeQuery &&
        FRoots.SerialTypeQuery(sysfsEntry, device) == TSerialTypeAnswer::stUnknownType) {
        return std::nullopt;
    }
    return TSerialPortEntry{number, device.string(), device};
}

void TPortTable::AddHardwarePorts(std::vector<TSerialPortEntry>& ports) const {
    for (const std::string& kernelName : EntryNames(FRoots.SysClassTty)) {
        if (const std::optional<int> number = ComNumberOf(kernelName)) {
            if (std::optional<TSerialPortEntry> entry = HardwareEntry(kernelName, *number)) {
                ports.push_back(std::move(*entry));
            }
        }
    }
}

void TPortTable::AddMapPorts(std::vector<TSerialPortEntry>& ports) const {
    const std::filesystem::path directory = MapDirectory();
    if (!devlink::DeviceMapIsTrusted(directory)) {
        return;
    }
    for (const std::string& name : EntryNames(directory)) {
        if (const std::optional<int> number = ParseMapName(name, "COM", kMaxComNumber)) {
            if (*number >= 1) {
                if (std::optional<TSerialPortEntry> entry = MapEntry(*number)) {
                    ports.push_back(std::move(*entry));
                }
            }
        }
    }
}

} // namespace platform
