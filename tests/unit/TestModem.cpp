// CModem's transport over a real pseudo-terminal and real loopback UDP: transport choice, the
// link's input as its reader takes it, a broken link, and what is sent on close.
#include "adapter/CModem.h"
#include "adapter/SerialPortSettings.h"
#include "core/Trace.h"
#include "support/LinkTest.h"
#include "support/PtyScriptedPeer.h"
#include "support/TempDir.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <fcntl.h>
#include <future>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// This program's own adapter address, so it never meets another test program on port 2323.
const char* const kAddress = "127.43.1.7";

class ModemTest : public LinkTest {
protected:
    void SetUp() override {
        LinkTest::SetUp();
        m_pty = CScriptedPeer::OnPty(m_link, CAdapterScript::Bind(m_ptyScript));
        ASSERT_TRUE(m_pty->Valid());
    }

    void StartUdp() {
        m_udp = CScriptedPeer::OnUdp(kAddress, kAdapterPort, CAdapterScript::Bind(m_udpScript));
        ASSERT_TRUE(m_udp->Valid());
    }
    // Opens and consumes the adapter's answer to the session's last command ("AT*SC\r" is sent
    // without waiting), so the input holds only what a test sends afterwards.
    static bool OpenSettled(CModem& modem, const std::string& port, bool serialFirst) {
        return modem.Open(port, 115200, kAddress, kAdapterPort, serialFirst) && modem.WaitForReply("OK\r", 3s) &&
               ReadLinkInput(modem, 1) == "\n";
    }
    CModemHooks Hooks(std::chrono::milliseconds reply = 3s) { return FastModemHooks(m_locks, reply, m_boxes); }
    std::vector<std::string> Trace() const { return TraceTexts(m_trace); }
    // Waits until the thread (once its id is set) sleeps in the kernel.
    static bool WaitUntilAsleep(const std::atomic<pid_t>& tid) {
        for (int i = 0; i < 5000; ++i) {
            if (tid != 0) {
                const std::string stat = ReadFileText("/proc/self/task/" + std::to_string(tid) + "/stat");
                const std::size_t end = stat.rfind(')');
                if (end != std::string::npos && stat.compare(end, 4, ") S ") == 0) {
                    return true;
                }
            }
            std::this_thread::sleep_for(1ms);
        }
        return false;
    }
    std::size_t CountTrace(const std::string& text) const {
        const auto lines = Trace();
        return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), text));
    }
    // Index of the first trace line equal to text, or npos.
    std::size_t TraceIndex(const std::string& text) const {
        const auto lines = Trace();
        const auto it = std::find(lines.begin(), lines.end(), text);
        return it == lines.end() ? std::string::npos : static_cast<std::size_t>(it - lines.begin());
    }
    std::string m_link = m_dir.File("ttyRV");
    std::shared_ptr<CAdapterScript> m_ptyScript = std::make_shared<CAdapterScript>();
    std::shared_ptr<CAdapterScript> m_udpScript = std::make_shared<CAdapterScript>();
    std::shared_ptr<std::vector<std::string>> m_boxes = std::make_shared<std::vector<std::string>>();
    std::unique_ptr<CScriptedPeer> m_pty;
    std::unique_ptr<CScriptedPeer> m_udp;
};

TEST_F(ModemTest, ConstructorStartsClosedAndKeepsEarlierTraceLines) {
    WriteFileText(m_trace, "written at start-up\n");
    CModem modem(Hooks());
    EXPECT_EQ(ReadFileText(m_trace), "written at start-up\n");
    EXPECT_FALSE(modem.IsOpen());
    char byte = 0;
    EXPECT_EQ(modem.ReadInput(&byte, 1), -1);
    EXPECT_EQ(modem.Write("AT\r", 3), -1);
    EXPECT_FALSE(modem.WaitForInput(0ms));
}

TEST_F(ModemTest, SerialLinkDeliversEveryByteInOrder) {
    CModem modem(Hooks());
    ASSERT_TRUE(OpenSettled(modem, m_link, true));
    EXPECT_TRUE(modem.OnSerial());
    EXPECT_FALSE(modem.OnSocket());
    EXPECT_EQ(TraceIndex("<dbg> CModem::Open() trying socket"), std::string::npos);
    EXPECT_LT(TraceIndex("<dbg> CModem::Open() trying serial"), TraceIndex("<dbg> CModem::Open() on serial"));

    // A report, NUL and 0xFF bytes, and a tail without any CR: all delivered as they came.
    std::string bytes = "CALL:0,1;2,1;3,17\r\n";
    bytes += std::string("\0\xFF\x01", 3);
    bytes += "no line end";
    ASSERT_TRUE(m_pty->Send(bytes));
    EXPECT_EQ(ReadLinkInput(modem, bytes.size()), bytes);

    // Partial reads take from the head; what a read leaves keeps the input descriptor
    // readable, and once everything is taken it is quiet again.
    ASSERT_TRUE(m_pty->Send("abcdef"));
    ASSERT_EQ(ReadLinkInput(modem, 2), "ab");
    char buf[8] = {};
    ASSERT_TRUE(modem.WaitForInput(1s));
    EXPECT_EQ(modem.ReadInput(buf, 3), 3);
    EXPECT_EQ(std::string(buf, 3), "cde");
    EXPECT_EQ(modem.ReadInput(buf, 8), 1);
    EXPECT_EQ(modem.ReadInput(buf, 8), 0);
    EXPECT_FALSE(modem.WaitForInput(100ms));
}

TEST_F(ModemTest, WriteCommandTracesAndSendsExactBytes) {
    CModem modem(Hooks());
    ASSERT_TRUE(OpenSettled(modem, m_link, true));
    const std::size_t before = m_pty->Commands().size();
    EXPECT_EQ(modem.WriteCommand("AT*1A/17\r"), 9);
    ASSERT_TRUE(m_pty->WaitForCommandCount(before + 1, 2s));
    EXPECT_EQ(m_pty->CommandTexts().back(), "AT*1A/17\r");
    EXPECT_GE(CountTrace("TX: AT*1A/17<0D>"), 1u);
}

TEST_F(ModemTest, PortHeldElsewhereMeansTenTracedTriesThenTheSocket) {
    StartUdp();
    CSerialDevice holder(m_locks); // what a dial-up connection does to the port
    int err = 0;
    ASSERT_TRUE(holder.Open(m_link, err));

    CModem modem(Hooks());
    ASSERT_TRUE(OpenSettled(modem, m_link, true));
    EXPECT_TRUE(modem.OnSocket());
    EXPECT_EQ(CountTrace("<dbg> CModem::Open() serial failed, waiting..."), 10u);
    const std::size_t trySocket = TraceIndex("<dbg> CModem::Open() trying socket");
    ASSERT_NE(trySocket, std::string::npos);
    const auto lines = Trace();
    // Every failure comes with the OS's reason, before the socket is tried.
    std::size_t reasons = 0;
    for (std::size_t i = 0; i < trySocket; ++i) {
        reasons += lines[i].find("cannot open " + m_link) != std::string::npos ? 1 : 0;
    }
    EXPECT_EQ(reasons, 10u);
    EXPECT_EQ(lines[trySocket + 1], "<dbg> CModem::Open() on socket");
    EXPECT_TRUE(m_pty->Commands().empty()) << "nothing may reach the held port";
}

TEST_F(ModemTest, SerialFirstFalseTriesTheSocketFirst) {
    StartUdp();
    CModem modem(Hooks());
    ASSERT_TRUE(OpenSettled(modem, m_link, false));
    EXPECT_TRUE(modem.OnSocket());
    EXPECT_EQ(TraceIndex("<dbg> CModem::Open() trying serial"), std::string::npos);
    EXPECT_TRUE(m_pty->Commands().empty());
    EXPECT_FALSE(m_udp->Commands().empty());
}

TEST_F(ModemTest, SerialFirstFalseFallsBackToSerialWhenConnectFails) {
    CModem modem(Hooks());
    ASSERT_TRUE(modem.Open(m_link, 115200, "not an address", kAdapterPort, false));
    EXPECT_TRUE(modem.OnSerial());
    EXPECT_LT(TraceIndex("<dbg> CModem::Open() trying socket"), TraceIndex("<dbg> CModem::Open() trying serial"));
    EXPECT_EQ(TraceIndex("<dbg> CModem::Open() on socket"), std::string::npos);
}

TEST_F(ModemTest, NeitherTransportFails) {
    CModemHooks hooks = Hooks();
    hooks.serialTries = 3;
    CModem modem(hooks);
    EXPECT_FALSE(modem.Open(m_dir.File("no-such-tty"), 115200, "999.1.1.1", kAdapterPort, true));
    EXPECT_FALSE(modem.IsOpen());
    EXPECT_EQ(CountTrace("<dbg> CModem::Open() serial failed, waiting..."), 3u);
    EXPECT_EQ(Trace().back(), "<dbg> CModem::Open() UNABLE TO OPEN MODEM CONNECTION");
    EXPECT_TRUE(m_boxes->empty()) << "the caller tells the user, not the link";
}

TEST_F(ModemTest, OpenOnAnOpenLinkSendsTheIdleCommandsFirst) {
    CModem modem(Hooks());
    ASSERT_TRUE(OpenSettled(modem, m_link, true));
    const std::size_t before = m_pty->Commands().size();
    ASSERT_TRUE(OpenSettled(modem, m_link, true));
    const auto texts = m_pty->CommandTexts();
    ASSERT_GE(texts.size(), before + 3);
    EXPECT_EQ(texts[before], "AT$V0\r");
    EXPECT_EQ(texts[before + 1], "ATE1\r");
    EXPECT_EQ(texts[before + 2], "ATV1\r");
}

TEST_F(ModemTest, VanishedDeviceIsReportedOnceAndNotWaitedForAgain) {
    CModem modem(Hooks());
    ASSERT_TRUE(OpenSettled(modem, m_link, true));
    m_pty->HangUp();
    ASSERT_TRUE(modem.WaitForInput(3s)) << "the reader must wake up for the lost device";
    char byte = 0;
    EXPECT_EQ(modem.ReadInput(&byte, 1), -1);
    EXPECT_EQ(CountTrace("<dbg> ReadD() returned -1, pausing thread"), 1u);
    EXPECT_FALSE(modem.WaitForInput(200ms)) << "a reader waiting on a dead device would spin";
    EXPECT_EQ(modem.ReadInput(&byte, 1), -1);
    EXPECT_EQ(CountTrace("<dbg> ReadD() returned -1, pausing thread"), 1u);
    EXPECT_EQ(modem.WriteCommand("AT\r"), -1);
    modem.Close();
    EXPECT_FALSE(modem.IsOpen());
}

TEST_F(ModemTest, SocketKeepsListeningAfterAnEmptyDatagramOrARefusedSend) {
    StartUdp();
    CModem modem(Hooks());
    ASSERT_TRUE(OpenSettled(modem, m_link, false));
    char byte = 0;
    EXPECT_EQ(modem.ReadInput(&byte, 1), 0) << "an idle socket would block; that is not an error";
    ASSERT_TRUE(m_udp->Send(""));
    ASSERT_TRUE(m_udp->Send("RING\r"));
    EXPECT_EQ(ReadLinkInput(modem, 5), "RING\r") << "the empty datagram must not hide what follows";

    // Nobody on the adapter's port: the network answers the next command with "port unreachable".
    m_udp.reset();
    EXPECT_EQ(modem.WriteCommand("AT\r"), 3);
    const std::string refused = "<dbg> recv() failed: Connection refused; still listening";
    ReadLinkInput(modem, [&](const std::string&) { return CountTrace(refused) > 0; });
    EXPECT_EQ(CountTrace(refused), 1u);
    // The adapter is back and answers the next command.
    StartUdp();
    modem.WriteCommand("AT\r");
    EXPECT_TRUE(modem.WaitForReply("OK\r", 3s));
    EXPECT_EQ(CountTrace("<dbg> ReadD() returned -1, pausing thread"), 0u);
}

TEST_F(ModemTest, WithoutItsWaitDescriptorsTheOpenFailsInsteadOfHanging) {
    // Leave one free descriptor below the limit: the socket takes it and epoll finds none.
    std::vector<int> free;
    for (int fd = 0; free.size() < 2; ++fd) {
        if (::fcntl(fd, F_GETFD) < 0) {
            free.push_back(fd);
        }
    }
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &old), 0);
    rlimit low = old;
    low.rlim_cur = static_cast<rlim_t>(free[1]);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    auto modem = std::make_unique<CModem>(Hooks());
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &old), 0);

    auto opened =
        std::async(std::launch::async, [&] { return modem->Open(m_link, 115200, kAddress, kAdapterPort, true); });
    ASSERT_EQ(opened.wait_for(5s), std::future_status::ready) << "the open hangs";
    EXPECT_FALSE(opened.get());
    EXPECT_EQ(modem->LastOpenProblem().error, EMFILE);
    EXPECT_NE(CountTrace("<dbg> CModem::Open() cannot run the link: its wait descriptors could not be created: Too "
                         "many open files"),
              0u);
    EXPECT_TRUE(m_pty->Commands().empty());
    modem.reset();
}

TEST_F(ModemTest, LargeDatagramArrivesWhole) {
    StartUdp();
    CModem modem(Hooks());
    ASSERT_TRUE(OpenSettled(modem, m_link, false));
    std::string big(3000, 'x');
    big.back() = '\r';
    ASSERT_TRUE(m_udp->Send(big));
    EXPECT_EQ(ReadLinkInput(modem, big.size()), big);
}

TEST_F(ModemTest, DestroyingOnTheSocketSendsNothing) {
    StartUdp();
    auto modem = std::make_unique<CModem>(Hooks());
    ASSERT_TRUE(OpenSettled(*modem, m_link, false));
    const std::size_t before = m_udp->Commands().size();
    modem.reset();
    // A marker from another socket: whatever the destructor sent would have arrived before it.
    const int s = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(kAdapterPort);
    ::inet_pton(AF_INET, kAddress, &a.sin_addr);
    ASSERT_EQ(::sendto(s, "MARK\r", 5, 0, reinterpret_cast<sockaddr*>(&a), sizeof(a)), 5);
    ::close(s);
    ASSERT_TRUE(m_udp->WaitForCommand("MARK\r", 2s));
    const auto texts = m_udp->CommandTexts();
    ASSERT_EQ(texts.size(), before + 1);
}

TEST_F(ModemTest, DestroyingOnTheSerialPortTakesTheAdapterBackToIdle) {
    auto modem = std::make_unique<CModem>(Hooks());
    ASSERT_TRUE(OpenSettled(*modem, m_link, true));
    const std::size_t before = m_pty->Commands().size();
    modem.reset();
    ASSERT_TRUE(m_pty->WaitForCommandCount(before + 2, 2s));
    const auto texts = m_pty->CommandTexts();
    EXPECT_EQ(texts[before], "AT$V0\r");
    EXPECT_EQ(texts[before + 1], "ATE1\r");
    // The port is free again.
    CSerialDevice next(m_locks);
    int err = 0;
    EXPECT_TRUE(next.Open(m_link, err)) << err;
}

TEST_F(ModemTest, CloseReleasesThePortAndDropsUnreadInput) {
    CModem modem(Hooks());
    ASSERT_TRUE(OpenSettled(modem, m_link, true));
    ASSERT_TRUE(m_pty->Send("left over"));
    ASSERT_TRUE(modem.WaitForInput(2s));
    modem.Close();
    EXPECT_FALSE(modem.IsOpen());
    EXPECT_FALSE(modem.WaitForInput(0ms));
    char byte = 0;
    EXPECT_EQ(modem.ReadInput(&byte, 1), -1);
    CSerialDevice next(m_locks);
    int err = 0;
    EXPECT_TRUE(next.Open(m_link, err)) << err;
    // Closing twice is harmless and still traces the idle commands.
    modem.Close();
    EXPECT_GE(CountTrace("TX: AT$V0<0D>"), 2u);
}

// The line monitor waits on the link while a dial-up operation closes the serial port and
// reopens the link over the network: that wait ends for the network's first datagram.
TEST_F(ModemTest, AWaitThroughACloseWakesForTheNextTransport) {
    StartUdp();
    CModem modem(Hooks());
    ASSERT_TRUE(OpenSettled(modem, m_link, true));
    std::atomic<pid_t> waiterTid{0};
    std::atomic<short> revents{0};
    std::thread waiter([&] {
        pollfd p{modem.InputFd(), POLLIN, 0};
        waiterTid = ::gettid();
        ::poll(&p, 1, 10000);
        revents = p.revents;
    });
    ASSERT_TRUE(WaitUntilAsleep(waiterTid));
    m_ptyScript->silent = true; // nothing more comes on the serial port
    modem.Close();
    CSerialDevice dialUp(m_locks);
    int err = 0;
    ASSERT_TRUE(dialUp.Open(m_link, err)) << err;
    ASSERT_TRUE(modem.Open(m_link, 115200, kAddress, kAdapterPort, false));
    waiter.join();
    EXPECT_NE(revents & POLLIN, 0);
}

TEST_F(ModemTest, OpenPutsTheUnconfiguredPortInRawModeAtAnyRate) {
    const struct {
        int baud;
        unsigned rate;
    } rows[] = {{14400, 14400}, {28800, 28800}, {115200, 115200}, {0, 115200}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.baud);
        // The port as a fresh tty has it: canonical mode with echo, at 9600.
        const int slave = ::open(m_pty->SlavePath().c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(slave, 0);
        termios t{};
        ASSERT_EQ(::tcgetattr(slave, &t), 0);
        t.c_lflag |= ICANON | ECHO | ISIG;
        t.c_iflag |= ICRNL;
        t.c_oflag |= OPOST;
        ::cfsetspeed(&t, B9600);
        ASSERT_EQ(::tcsetattr(slave, TCSANOW, &t), 0);
        ::close(slave);

        CModem modem(Hooks());
        ASSERT_TRUE(modem.Open(m_link, r.baud, kAddress, kAdapterPort, true));
        const SSerialSettings seen = m_pty->SlaveSettings();
        EXPECT_EQ(seen.outputRate, r.rate);
        EXPECT_EQ(seen.inputRate, r.rate);
        EXPECT_TRUE(seen.raw);
        EXPECT_TRUE(seen.rtsCts);
        modem.Close();
    }
}

TEST_F(ModemTest, DrainInputDiscardsWhatArrivedDuringTheWait) {
    CModem modem(Hooks());
    ASSERT_TRUE(OpenSettled(modem, m_link, true));
    ASSERT_TRUE(m_pty->Send("garbage\r\n"));
    ASSERT_TRUE(modem.WaitForInput(2s));
    modem.DrainInput(20);
    EXPECT_FALSE(modem.WaitForInput(0ms));
}

TEST(AdapterAddress, EnvironmentOverridesTheDefault) {
    ::unsetenv("RINGVALE_ADAPTER_ADDRESS");
    EXPECT_EQ(DefaultAdapterAddress(), "127.0.0.1");
    ::setenv("RINGVALE_ADAPTER_ADDRESS", "", 1);
    EXPECT_EQ(DefaultAdapterAddress(), "127.0.0.1");
    ::setenv("RINGVALE_ADAPTER_ADDRESS", "127.43.9.9", 1);
    EXPECT_EQ(DefaultAdapterAddress(), "127.43.9.9");
    ::unsetenv("RINGVALE_ADAPTER_ADDRESS");
}

} // namespace
