#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "EComPort.h"
#include "SerialPortList.h"

using namespace zelvar;
namespace fs = std::filesystem;

namespace {

// A stand-in for /sys/class/tty: one folder per terminal, a "device" link
// where hardware is behind it, and the UART type of the legacy ports.
class FakeTtyTree : public testing::Test {
protected:
    void SetUp() override {
        root_ = fs::path(testing::TempDir()) / ("tty-" + std::to_string(::getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_ / "devices");
    }
    void TearDown() override { fs::remove_all(root_); }

    void add(const std::string& name, bool device, const char* uartType = nullptr) {
        fs::create_directories(root_ / name);
        if (device) fs::create_directory_symlink(root_ / "devices", root_ / name / "device");
        if (uartType != nullptr) std::ofstream(root_ / name / "type") << uartType << "\n";
    }

    fs::path root_;
};

TEST_F(FakeTtyTree, HardwarePortsByKernelNameSortedIgnoringCase) {
    add("tty1", false);
    add("console", false);
    add("ttyS0", true, "4");
    add("ttyS1", true, "0");  // a legacy slot without a UART
    add("ttyS10", true, "4");
    add("ttyUSB0", true);
    add("ttyACM0", true);
    std::vector<std::string> list{"old"};
    ASSERT_TRUE(ListSerialPorts(list, root_, "/dev/pts/7:alpha::Zed"));
    EXPECT_EQ(list, (std::vector<std::string>{"/dev/pts/7", "alpha", "ttyACM0", "ttyS0", "ttyS10", "ttyUSB0",
                                              "Zed"}));
}

TEST_F(FakeTtyTree, NumbersInNamesSortAsText) {
    std::vector<std::string> list;
    ASSERT_TRUE(ListSerialPorts(list, root_ / "missing", "COM2:COM10:COM1"));
    EXPECT_EQ(list, (std::vector<std::string>{"COM1", "COM10", "COM2"}));
}

TEST_F(FakeTtyTree, NoPortsLeavesTheListAlone) {
    add("tty1", false);
    add("ttyS3", true, "0");
    std::vector<std::string> list{"kept"};
    EXPECT_FALSE(ListSerialPorts(list, root_, ""));
    EXPECT_FALSE(ListSerialPorts(list, root_ / "missing", ":"));
    EXPECT_EQ(list, std::vector<std::string>{"kept"});
}

TEST(SerialDevicePath, KernelNamesLiveInDev) {
    EXPECT_EQ(SerialDevicePath("ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(SerialDevicePath("/dev/pts/3"), "/dev/pts/3");
    EXPECT_EQ(SerialDevicePath(""), "");
}

}  // namespace
