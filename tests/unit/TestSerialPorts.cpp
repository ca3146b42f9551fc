// The serial devices the configuration dialog offers, and the watch that tells when they come
// and go: on folders of the test's own (device nodes stood in for by files, by-id links by
// symlinks, real inotify events) and on this machine's udev.
#include "adapter/CSerialDeviceWatch.h"
#include "adapter/SerialPortCatalog.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

TEST(SerialPorts, ByIdNamesBecomeLabels) {
    const std::pair<const char*, const char*> rows[] = {
        {"usb-3Com_ImpactIQ_0042-if00-port0", "3Com ImpactIQ 0042"},
        {"usb-FTDI_FT232R_USB_UART_A600bXyz-if00-port0", "FTDI FT232R USB UART A600bXyz"},
        {"pci-Digi_Neo_2-if02", "Digi Neo 2"},
        {"plain-name", "plain-name"},
    };
    for (const auto& [name, label] : rows) {
        EXPECT_EQ(LabelFromById(name), label) << name;
    }
}

TEST(SerialPorts, ListedByTheirStableLinkWithTheirNameAndVanishedLinksLeftOut) {
    TempDir dev;
    const SSerialPortRoots roots{dev.Path(), dev.File("serial/by-id"), false};
    for (const char* node : {"ttyUSB1", "ttyACM0", "ttyS0", "null"}) {
        WriteFileText(dev.File(node), "");
    }
    ASSERT_EQ(::system(("mkdir -p " + roots.byIdDir).c_str()), 0);
    const std::string link = roots.byIdDir + "/usb-3Com_ImpactIQ_0042-if00-port0";
    ASSERT_EQ(::symlink("../../ttyUSB1", link.c_str()), 0);
    ASSERT_EQ(::symlink("../../ttyUSB7", (roots.byIdDir + "/usb-Gone_Adapter-if00-port0").c_str()), 0);
    const std::vector<SSerialPort> expected = {
        {dev.File("serial/by-id/usb-3Com_ImpactIQ_0042-if00-port0"), dev.File("ttyUSB1"), "3Com ImpactIQ 0042"},
        {dev.File("ttyACM0"), dev.File("ttyACM0"), ""},
    };
    EXPECT_EQ(ListSerialPorts(roots), expected);
}

TEST(SerialPorts, ThisMachinesUdevListsNoConsolesOrPseudoTerminals) {
    for (const SSerialPort& port : ListSerialPorts()) {
        EXPECT_FALSE(port.devnode.starts_with("/dev/tty") && std::isdigit(port.devnode.back()) &&
                     !port.devnode.starts_with("/dev/ttyUSB") && !port.devnode.starts_with("/dev/ttyACM"))
            << port.devnode;
        EXPECT_NE(port.devnode, "/dev/ptmx");
        EXPECT_FALSE(port.devnode.starts_with("/dev/ttyS")) << "left to COM1..COM8";
    }
}

TEST(SerialPorts, WatchWakesForDevicesLinksAndItsPathAlsoInFoldersMadeLater) {
    TempDir dev;
    TempDir elsewhere;
    CSerialDeviceWatch watch({dev.Path(), dev.File("serial/by-id"), false}, elsewhere.File("links/ttyRV"));
    ASSERT_GE(watch.Fd(), 0);
    const auto changed = [&](int timeoutMs = 5000) {
        pollfd p{watch.Fd(), POLLIN, 0};
        return ::poll(&p, 1, timeoutMs) == 1 && watch.ReadChanges();
    };
    ASSERT_EQ(::mkdir(elsewhere.File("links").c_str(), 0755), 0);
    EXPECT_TRUE(changed()) << "the folder on the way to the path";
    WriteFileText(elsewhere.File("links/notes"), "");
    EXPECT_FALSE(changed(0)) << "another name beside the path";
    ASSERT_EQ(::symlink("/dev/null", elsewhere.File("links/ttyRV").c_str()), 0);
    EXPECT_TRUE(changed()) << "the path itself";

    WriteFileText(dev.File("ttyUSB0"), "");
    EXPECT_TRUE(changed()) << "a node appeared";
    ASSERT_EQ(::mkdir(dev.File("serial").c_str(), 0755), 0);
    EXPECT_TRUE(changed());
    ASSERT_EQ(::mkdir(dev.File("serial/by-id").c_str(), 0755), 0);
    EXPECT_TRUE(changed());
    ASSERT_EQ(::symlink("../../ttyUSB0", dev.File("serial/by-id/usb-X_Y-if00-port0").c_str()), 0);
    EXPECT_TRUE(changed()) << "a link in the folder made after the watch started";
    ASSERT_EQ(::unlink(dev.File("ttyUSB0").c_str()), 0);
    EXPECT_TRUE(changed()) << "a node went";
}

} // namespace
