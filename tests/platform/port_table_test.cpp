// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/port_table.h"

#include "link/device_map.h"
#include "platform_test_support.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace platform::test {
namespace {

namespace fs = std::filesystem;

// A sysfs-like tty class, a /dev and a device map under one temporary directory. Device
// nodes are links to /dev/null, a character device everyone may open.
class TFakeSystem {
public:
    TFakeSystem() {
        fs::create_directories(SysClassTty());
        fs::create_directories(Dev() / "usb");
        ::chmod(FRoot.Path().c_str(), 0700);
        EXPECT_TRUE(devlink::CreateDeviceMapDirectory(Map()));
    }

    fs::path SysClassTty() const { return FRoot.Path() / "sys"; }
    fs::path Dev() const { return FRoot.Path() / "dev"; }
    fs::path Map() const { return FRoot.Path() / "run" / "devices"; }

    void AddTty(const std::string& name, bool withNode = true) const {
        fs::create_directories(SysClassTty() / name);
        if (withNode) {
            fs::create_symlink("/dev/null", Dev() / name);
        }
    }
    void AddPrinter(int index) const {
        fs::create_symlink("/dev/null", Dev() / "usb" / ("lp" + std::to_string(index)));
    }
    void Link(const std::string& name, const fs::path& target) const {
        fs::create_symlink(target, Map() / name);
    }
    void SetAnswer(const std::string& name, TSerialTypeAnswer answer) { FAnswers[name] = answer; }

    TPortTable Table() const {
        TPortTableRoots roots;
        roots.SysClassTty = SysClassTty();
        roots.DevDir = Dev();
        roots.DeviceMapDir = Map();
        roots.SerialTypeQuery = [answers = FAnswers](const fs::path& entry, const fs::path&) {
            const auto found = answers.find(entry.filename().string());
            return found == answers.end() ? TSerialTypeAnswer::stKnownType : found->second;
        };
        return TPortTable(roots);
    }

private:
    TTempDir FRoot;
    std::map<std::string, TSerialTypeAnswer> FAnswers;
};

std::vector<int> NumbersOf(const std::vector<TSerialPortEntry>& ports) {
    std::vector<int> numbers;
    for (const TSerialPortEntry& port : ports) {
        numbers.push_back(port.Number);
    }
    return numbers;
}

struct TNameCase {
    std::string Name;
    std::optional<int> Number;
};

class ComNameParsing : public ::testing::TestWithParam<TNameCase> {};

TEST_P(ComNameParsing, GivesTheNumberOnlyForAPlainComName) {
    EXPECT_EQ(TPortTable::ParseComName(GetParam().Name), GetParam().Number) << GetParam().Name;
}

INSTANTIATE_TEST_SUITE_P(
    Names, ComNameParsing,
    ::testing::Values(TNameCase{"COM1", 1}, TNameCase{"com7", 7}, TNameCase{"CoM33", 33},
                      TNameCase{"\\\\.\\COM12", std::nullopt},
                      TNameCase{"\\\\.\\com255", std::nullopt}, TNameCase{"", std::nullopt},
                      TNameCase{"COM", std::nullopt}, TNameCase{"\\\\.\\COM", std::nullopt},
                      TNameCase{"COM0", std::nullopt}, TNameCase{"COM256", std::nullopt},
                      TNameCase{"COM01", std::nullopt}, TNameCase{"COM1 ", std::nullopt},
                      TNameCase{" COM1", std::nullopt}, TNameCase{"COM-1", std::nullopt},
                      TNameCase{"COM+1", std::nullopt}, TNameCase{"COM1/../x", std::nullopt},
                      TNameCase{"COM1\n", std::nullopt},
                      TNameCase{std::string("COM1\0x", 6), std::nullopt},
                      TNameCase{"COM4294967297", std::nullopt},
                      TNameCase{"COM99999999999999999999", std::nullopt},
                      TNameCase{"\\\\?\\COM1", std::nullopt},
                      TNameCase{"\\\\.\\\\\\.\\COM1", std::nullopt},
                      TNameCase{"COM\xef\xbc\x91", std::nullopt}, TNameCase{"USB0", std::nullopt},
                      TNameCase{"ttyS0", std::nullopt}, TNameCase{"/dev/ttyS0", std::nullopt},
                      TNameCase{"..", std::nullopt}, TNameCase{"\\\\.\\..", std::nullopt}));

class PortTable : public ::testing::Test {
protected:
    TFakeSystem FSystem;
};

TEST_F(PortTable, NumbersHardwarePortsByKindAndListsThemInAscendingOrder) {
    for (const char* name : {"ttyUSB2", "ttyS3", "ttyACM190", "ttyS0", "ttyACM0", "ttyUSB0"}) {
        FSystem.AddTty(name);
    }
    const std::vector<TSerialPortEntry> ports = FSystem.Table().ListSerial();
    EXPECT_EQ(NumbersOf(ports), (std::vector<int>{1, 4, 33, 35, 65, 255}));
    ASSERT_EQ(ports.size(), 6u);
    EXPECT_EQ(ports[2].DevicePath, FSystem.Dev() / "ttyUSB0");
    EXPECT_EQ(ports[2].Name, (FSystem.Dev() / "ttyUSB0").string());
}

TEST_F(PortTable, LeavesOutTtysItCannotNumberOrOpen) {
    for (const char* name : {"tty0", "ttyS32", "ttyS01", "ttyUSB32", "ttyACM191", "ttyXYZ0",
                             "console", "ttyS", "ttyS1x"}) {
        FSystem.AddTty(name);
    }
    FSystem.AddTty("ttyS5", false); // no device node
    EXPECT_TRUE(FSystem.Table().ListSerial().empty());
    EXPECT_FALSE(FSystem.Table().FindSerial(6));
}

TEST_F(PortTable, DropsPhantomSerialPortsButKeepsThoseWhoseDriverRefusesTheQuery) {
    FSystem.AddTty("ttyS0");
    FSystem.AddTty("ttyS1");
    FSystem.AddTty("ttyS2");
    FSystem.SetAnswer("ttyS1", TSerialTypeAnswer::stUnknownType);
    FSystem.SetAnswer("ttyS2", TSerialTypeAnswer::stQueryRefused);
    const TPortTable table = FSystem.Table();
    EXPECT_EQ(NumbersOf(table.ListSerial()), (std::vector<int>{1, 3}));
    EXPECT_FALSE(table.ResolveSerial("COM2"));
    EXPECT_EQ(table.ResolveSerial("COM3"), FSystem.Dev() / "ttyS2");
}

TEST_F(PortTable, AsksTheSerialQueryOnlyAboutSerial8250Ports) {
    FSystem.AddTty("ttyUSB0");
    FSystem.SetAnswer("ttyUSB0", TSerialTypeAnswer::stUnknownType);
    EXPECT_EQ(NumbersOf(FSystem.Table().ListSerial()), (std::vector<int>{33}));
}

TEST_F(PortTable, MapEntryWinsOverHardwareOfTheSameNumber) {
    FSystem.AddTty("ttyS0");
    FSystem.AddTty("ttyUSB1");
    FSystem.Link("COM1", "/dev/zero");
    FSystem.Link("COM7", "/dev/full");
    const std::vector<TSerialPortEntry> ports = FSystem.Table().ListSerial();
    ASSERT_EQ(NumbersOf(ports), (std::vector<int>{1, 7, 34}));
    EXPECT_EQ(ports[0].DevicePath, "/dev/zero");
    EXPECT_EQ(ports[0].Name, (FSystem.Map() / "COM1").string());
    EXPECT_EQ(ports[1].DevicePath, "/dev/full");
    EXPECT_EQ(FSystem.Table().ResolveSerial("com1"), fs::path("/dev/zero"));
}

TEST_F(PortTable, IgnoresMapLinksWhoseNamesAreNotPlainComNames) {
    for (const char* name : {"COM07", "COM0", "com5", "COM5x", "COM256", "USBX"}) {
        FSystem.Link(name, "/dev/zero");
    }
    EXPECT_TRUE(FSystem.Table().ListSerial().empty());
}

struct TTargetCase {
    std::string Description;
    std::function<fs::path(const fs::path& scratch)> MakeTarget;
};

void PrintTo(const TTargetCase& target, std::ostream* out) {
    *out << target.Description;
}

class MapLinkTarget : public PortTable, public ::testing::WithParamInterface<TTargetCase> {};

TEST_P(MapLinkTarget, IsRefusedUnlessItIsACharacterDevice) {
    TTempDir scratch;
    const fs::path target = GetParam().MakeTarget(scratch.Path());
    FSystem.AddTty("ttyS2"); // COM3 from hardware must come through instead
    FSystem.Link("COM3", target);
    FSystem.Link("USB0", target);
    const TPortTable table = FSystem.Table();
    EXPECT_EQ(table.ResolveSerial("COM3"), FSystem.Dev() / "ttyS2");
    EXPECT_EQ(NumbersOf(table.ListSerial()), (std::vector<int>{3}));
    EXPECT_FALSE(table.FindUsb(0));
}

INSTANTIATE_TEST_SUITE_P(
    Targets, MapLinkTarget,
    ::testing::Values(TTargetCase{"regular file",
                                  [](const fs::path& scratch) {
                                      std::ofstream(scratch / "file") << "x";
                                      return scratch / "file";
                                  }},
                      TTargetCase{"directory", [](const fs::path& scratch) { return scratch; }},
                      TTargetCase{"dangling",
                                  [](const fs::path& scratch) { return scratch / "missing"; }},
                      TTargetCase{"fifo",
                                  [](const fs::path& scratch) {
                                      ::mkfifo((scratch / "fifo").c_str(), 0600);
                                      return scratch / "fifo";
                                  }},
                      TTargetCase{"block device",
                                  [](const fs::path& scratch) {
                                      ::mknod((scratch / "block").c_str(), S_IFBLK | 0600,
                                              ::makedev(7, 0));
                                      return scratch / "block";
                                  }},
                      TTargetCase{"link loop", [](const fs::path& scratch) {
                                      fs::create_symlink(scratch / "b", scratch / "a");
                                      fs::create_symlink(scratch / "a", scratch / "b");
                                      return scratch / "a";
                                  }}));

TEST_F(PortTable, IgnoresAMapThatOthersCanWrite) {
    FSystem.Link("COM9", "/dev/zero");
    ::chmod(FSystem.Map().c_str(), 0770);
    EXPECT_FALSE(FSystem.Table().FindSerial(9));
    EXPECT_TRUE(FSystem.Table().ListSerial().empty());
}

TEST_F(PortTable, FindsUsbDevicesInTheMapFirstThenAsPrinterClassDevices) {
    FSystem.Link("USB0", "/dev/zero");
    FSystem.AddPrinter(0);
    FSystem.AddPrinter(1);
    const TPortTable table = FSystem.Table();
    EXPECT_EQ(table.FindUsb(0), fs::path("/dev/zero"));
    EXPECT_EQ(table.FindUsb(1), FSystem.Dev() / "usb" / "lp1");
    EXPECT_FALSE(table.FindUsb(2));
    EXPECT_FALSE(table.FindUsb(-1));
    EXPECT_FALSE(table.FindUsb(2147483647));
}

TEST_F(PortTable, NeverResolvesATextThatNamesAPathEvenWhenThePathExists) {
    FSystem.AddTty("ttyS0");
    const TPortTable table = FSystem.Table();
    for (const std::string& name :
         {(FSystem.Dev() / "ttyS0").string(), std::string("ttyS0"), std::string("/dev/null"),
          std::string("\\\\.\\/dev/null"), std::string("COM1/../../dev/null"),
          std::string(100000, 'C'), std::string("COM1") + std::string(5000, '1')}) {
        EXPECT_FALSE(table.ResolveSerial(name)) << name.substr(0, 40);
    }
    EXPECT_EQ(table.ResolveSerial("COM1"), FSystem.Dev() / "ttyS0");
}

TEST(SerialTypeQuery, ReadsThePortTypeFromTheSysfsEntry) {
    TTempDir entry;
    std::ofstream(entry.Path() / "type") << "0\n";
    EXPECT_EQ(QuerySerialType(entry.Path(), "/dev/null"), TSerialTypeAnswer::stUnknownType);
    std::ofstream(entry.Path() / "type") << "4\n";
    EXPECT_EQ(QuerySerialType(entry.Path(), "/dev/null"), TSerialTypeAnswer::stKnownType);
}

TEST(SerialTypeQuery, CountsADeviceThatDoesNotAnswerTheQueryAsRefusing) {
    TTempDir entry; // no type attribute: the device is asked, and /dev/null is no UART
    EXPECT_EQ(QuerySerialType(entry.Path(), "/dev/null"), TSerialTypeAnswer::stQueryRefused);
}

} // namespace
} // namespace platform::test
