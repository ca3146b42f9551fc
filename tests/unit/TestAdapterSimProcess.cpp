// The simulator as a program: through a real pseudo-terminal, real loopback UDP, its control
// socket, a scenario file and signals.
#include "support/SimProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

// This test program's own loopback addresses, so it can run beside other tests.
constexpr const char* kPtyAddress = "127.53.17.1";
constexpr const char* kUdpAddress = "127.53.17.2";
constexpr const char* kScenarioAddress = "127.53.17.3";
constexpr const char* kSignalAddress = "127.53.17.4";
constexpr const char* kTerminalAddress = "127.53.17.5";

// Reads from fd until the collected text contains `want` or the time is up.
std::string ReadUntil(int fd, const std::string& want, int timeoutMs = 5000) {
    std::string got;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got.find(want) == std::string::npos) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            break;
        }
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) {
            break;
        }
        char buffer[512];
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
}

// Opens the link as the program does: raw, at the given rate.
int OpenLink(const std::string& path, speed_t speed) {
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        return -1;
    }
    termios tio{};
    ::tcgetattr(fd, &tio);
    ::cfmakeraw(&tio);
    ::cfsetispeed(&tio, speed);
    ::cfsetospeed(&tio, speed);
    ::tcsetattr(fd, TCSANOW, &tio);
    return fd;
}

void SetRate(int fd, speed_t speed) {
    termios tio{};
    ::tcgetattr(fd, &tio);
    ::cfsetispeed(&tio, speed);
    ::cfsetospeed(&tio, speed);
    ::tcsetattr(fd, TCSANOW, &tio);
}

void Send(int fd, const std::string& text) {
    ASSERT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
}

int UdpSocketTo(const std::string& address) {
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(2323);
    ::inet_pton(AF_INET, address.c_str(), &addr.sin_addr);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

TEST(AdapterSimProcess, PseudoTerminal) {
    TempDir dir;
    CSimProcess sim({dir.Path(), kPtyAddress, {}});
    ASSERT_TRUE(sim.Running());

    int fd = OpenLink(sim.LinkPath(), B115200);
    ASSERT_GE(fd, 0);
    Send(fd, "ATI\r");
    std::string reply = ReadUntil(fd, "OK\r\n");
    EXPECT_NE(reply.find("ATI\r"), std::string::npos) << "echo is on at start";
    EXPECT_NE(reply.find("\r\n3C882\r\n"), std::string::npos) << reply;
    EXPECT_TRUE(sim.WaitForLog("RX pty ATI"));

    Send(fd, "ATE0\r");
    ReadUntil(fd, "OK\r\n");
    Send(fd, "ATS63?\r");
    EXPECT_NE(ReadUntil(fd, "OK\r\n").find("\r\n009\r\n"), std::string::npos);

    // An event given on the control socket comes out on the link.
    std::string answer;
    EXPECT_TRUE(sim.Command("ring 1 4085551212 5551212", &answer)) << answer;
    EXPECT_NE(ReadUntil(fd, "5551212\r\n").find("CALL:0,1;2,1;3,1;4,5551212;5,4085551212"), std::string::npos);
    Send(fd, "AT*1A/1\r");
    EXPECT_NE(ReadUntil(fd, "CALL:0,5;").find("OK"), std::string::npos);
    EXPECT_TRUE(sim.Command("expect AT*1A/1"));
    EXPECT_FALSE(sim.Command("ring 3 1 2", &answer));
    EXPECT_EQ(answer.rfind("ERR ", 0), 0u);

    // At another rate the adapter understands nothing.
    SetRate(fd, B9600);
    std::size_t mark = sim.Log().size();
    Send(fd, "ATI\r");
    EXPECT_TRUE(sim.WaitForLogAfter(mark, "DROP pty wrong rate"));
    EXPECT_EQ(sim.Log().find("RX pty ATI", mark), std::string::npos);

    // Moved to 230400, it answers only there.
    SetRate(fd, B115200);
    Send(fd, "AT$B230400\r");
    ReadUntil(fd, "OK\r\n");
    EXPECT_TRUE(sim.WaitForLog("RATE adapter rate 115200 -> 230400"));
    mark = sim.Log().size();
    Send(fd, "ATV1\r");
    EXPECT_TRUE(sim.WaitForLogAfter(mark, "DROP pty wrong rate"));
    SetRate(fd, B230400);
    Send(fd, "ATV1\r");
    EXPECT_NE(ReadUntil(fd, "OK\r\n").find("OK"), std::string::npos);
    Send(fd, "AT$B0\r");
    ReadUntil(fd, "OK\r\n");
    SetRate(fd, B115200);

    // The program closes the tty in the middle of a command, after making it exclusive:
    // the next open works, is not exclusive, and the half command is forgotten.
    ASSERT_EQ(::ioctl(fd, TIOCEXCL), 0);
    Send(fd, "ATI");
    ::close(fd);
    EXPECT_TRUE(sim.WaitForLog("INFO pty closed by its last user"));
    fd = OpenLink(sim.LinkPath(), B115200);
    ASSERT_GE(fd, 0);
    int exclusive = -1;
    ASSERT_EQ(::ioctl(fd, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    mark = sim.Log().size();
    Send(fd, "AT\r");
    EXPECT_NE(ReadUntil(fd, "OK\r\n").find("OK"), std::string::npos);
    EXPECT_TRUE(sim.WaitForLogAfter(mark, "RX pty AT\n"));

    // Overlong and garbage lines: bounded, answered with ERROR or ignored, then back to normal.
    Send(fd, std::string(5000, 'A') + "\r");
    EXPECT_NE(ReadUntil(fd, "ERROR\r\n").find("ERROR"), std::string::npos);
    Send(fd, std::string("\x01\xFF\xFEgarbage\r", 11));
    Send(fd, "ATE0\rAT\r");
    EXPECT_NE(ReadUntil(fd, "OK\r\n").find("OK"), std::string::npos);

    // Unplugged, the terminal hangs up and its link is gone; the adapter's call goes on, and
    // after the replug a new terminal at the link reports it again.
    ASSERT_TRUE(sim.Command("unplug"));
    pollfd hangUp{fd, POLLIN, 0};
    EXPECT_EQ(::poll(&hangUp, 1, 5000), 1);
    EXPECT_NE(hangUp.revents & POLLHUP, 0);
    ::close(fd);
    struct stat link {};
    EXPECT_NE(::lstat(sim.LinkPath().c_str(), &link), 0);
    EXPECT_FALSE(sim.Command("unplug", &answer)) << answer;
    ASSERT_TRUE(sim.Command("replug"));
    fd = OpenLink(sim.LinkPath(), B115200);
    ASSERT_GE(fd, 0);
    Send(fd, "AT*SC\r");
    EXPECT_NE(ReadUntil(fd, "CALL:0,99;2,1;3,1;").find("CALL:0,99;2,1;3,1;"), std::string::npos);
    ::close(fd);
    if (HasFailure()) {
        std::fprintf(stderr, "simulator log:\n%s", sim.Log().c_str());
    }
}

TEST(AdapterSimProcess, TypedCommands) {
    TempDir dir;
    CSimProcess::Options options{dir.Path(), kTerminalAddress, {}};
    options.interactive = true;
    CSimProcess sim(options);
    ASSERT_TRUE(sim.Running());
    int fd = OpenLink(sim.LinkPath(), B115200);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(sim.WaitForLog("INFO READY"));
    ASSERT_TRUE(sim.Type("ring 1 4085551212 5551212"));
    EXPECT_NE(ReadUntil(fd, "4085551212\r\n").find("\r\nCALL:0,1;2,1;3,1;4,5551212;5,4085551212\r\n"),
              std::string::npos);
    EXPECT_TRUE(sim.WaitForLog("CTL stdin -> OK"));
    ASSERT_TRUE(sim.Type("help"));
    EXPECT_TRUE(sim.WaitForLog("--no-rate-check")) << "help prints the options";
    EXPECT_TRUE(sim.WaitForLog("OK commands: ring"));
    ASSERT_TRUE(sim.Type("flash 1"));
    EXPECT_TRUE(sim.WaitForLog("ERR phone 1 is on-hook"));
    // quit ends it with status 0 and removes the link.
    ASSERT_TRUE(sim.Type("quit"));
    EXPECT_TRUE(sim.WaitForLog("INFO stopping"));
    ::close(fd);
    int status = sim.Stop();
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    struct stat st {};
    EXPECT_NE(::lstat(sim.LinkPath().c_str(), &st), 0);
}

TEST(AdapterSimProcess, Udp) {
    TempDir dir;
    CSimProcess sim({dir.Path(), kUdpAddress, {"--answer-delay", "-1"}});
    ASSERT_TRUE(sim.Running());
    int fd = UdpSocketTo(sim.Address());
    ASSERT_GE(fd, 0);
    Send(fd, "ATE0\r");
    ReadUntil(fd, "OK");
    Send(fd, "AT$V1\r");
    EXPECT_NE(ReadUntil(fd, "OK").find("OK"), std::string::npos);
    EXPECT_TRUE(sim.WaitForLog("RX udp AT$V1"));

    // Events now go to the network side, the link the program used last.
    EXPECT_TRUE(sim.Command("existing 2 4085551212 5551212"));
    EXPECT_NE(ReadUntil(fd, "CALL:").find("CALL:0,99;2,2;3,1;4,5551212;5,4085551212"), std::string::npos);
    Send(fd, "AT*2D14155551212\r");
    const std::string got = ReadUntil(fd, "14155551212");
    EXPECT_NE(got.find("CALL:0,3;2,2;3,2;4,;5,14155551212"), std::string::npos) << got;

    // A sender the simulator is not talking to is ignored unless it sends a command.
    int other = UdpSocketTo(sim.Address());
    ASSERT_GE(other, 0);
    Send(other, "hello\r");
    EXPECT_TRUE(sim.WaitForLog("DROP udp datagram from 127."));
    EXPECT_TRUE(sim.Command("answer-far 2"));
    EXPECT_NE(ReadUntil(fd, "CALL:").find("CALL:0,5;2,2;3,2;"), std::string::npos);
    Send(other, "AT\r");
    EXPECT_NE(ReadUntil(other, "OK").find("OK"), std::string::npos);
    EXPECT_TRUE(sim.WaitForLog("INFO udp peer is 127."));
    ::close(other);
    ::close(fd);
}

TEST(AdapterSimProcess, ScenarioPlaysAnIncomingCall) {
    TempDir dir;
    WriteFileText(dir.File("call.txt"), "# an incoming call, answered, then the caller hangs up\n"
                                        "expect AT*SC\n"
                                        "ring 1 4085551212 5551212\n"
                                        "expect AT*1A/1\n"
                                        "wait 0.2\n"
                                        "dtmf 1 42\n"
                                        "hangup-far 1\n");
    CSimProcess sim({dir.Path(), kScenarioAddress, {"--scenario", dir.File("call.txt"), "--exit-after-scenario"}});
    ASSERT_TRUE(sim.Running());
    int fd = OpenLink(sim.LinkPath(), B115200);
    ASSERT_GE(fd, 0);
    Send(fd, "AT*SC\r");
    EXPECT_NE(ReadUntil(fd, "4085551212\r\n").find("CALL:0,1;2,1;3,1;"), std::string::npos);
    Send(fd, "AT*1A/1\r");
    // A reader that comes late: the simulator ends only once everything it sent has been read
    // (its end would throw away what was still unread).
    EXPECT_TRUE(sim.WaitForLog("INFO scenario done"));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    std::string got = ReadUntil(fd, "CALL:0,0;");
    EXPECT_NE(got.find("CALL:0,5;2,1;3,1;"), std::string::npos) << got;
    EXPECT_NE(got.find("AUD:2,1;42,4\r\n\r\nAUD:2,1;42,2"), std::string::npos) << got;
    EXPECT_NE(got.find("CALL:0,0;2,1;3,1;4,5551212;5,4085551212"), std::string::npos) << got;
    ::close(fd);
    int status = sim.Stop();
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(AdapterSimProcess, FailedScenarioAndSignals) {
    TempDir dir;
    {
        // An expectation that is never met fails the scenario: exit status 1.
        WriteFileText(dir.File("fail.txt"), "expect ATZ\nring 1 1 2\n");
        CSimProcess sim({dir.Path(),
                         kSignalAddress,
                         {"--scenario", dir.File("fail.txt"), "--exit-after-scenario", "--expect-timeout", "0"}});
        ASSERT_TRUE(sim.WaitForLog("INFO scenario failed"));
        int status = sim.Stop();
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 1);
        EXPECT_EQ(sim.Log().find("EV call 1"), std::string::npos) << "the step after the failure ran";
    }
    // SIGTERM ends it cleanly and removes its link and control socket.
    CSimProcess sim({dir.Path(), kSignalAddress, {}});
    ASSERT_TRUE(sim.Running());
    struct stat st {};
    ASSERT_EQ(::lstat(sim.LinkPath().c_str(), &st), 0);
    int status = sim.Stop();
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_NE(::lstat(sim.LinkPath().c_str(), &st), 0);
    EXPECT_NE(::lstat(sim.ControlPath().c_str(), &st), 0);
    EXPECT_NE(sim.Log().find("INFO stopping"), std::string::npos);
}

} // namespace
