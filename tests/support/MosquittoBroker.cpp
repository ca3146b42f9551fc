#include "support/MosquittoBroker.h"

#include "support/TempDir.h"

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr const char* kBroker = "/usr/sbin/mosquitto";
constexpr const char* kMessageMark = "MSG ";

} // namespace

CMosquittoBroker::CMosquittoBroker(Options options)
    : m_options(std::move(options)), m_port(m_options.port != 0 ? m_options.port : FreePort()) {}

CMosquittoBroker::~CMosquittoBroker() {
    Stop();
}

int CMosquittoBroker::FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    if (fd >= 0) {
        ::close(fd);
    }
    return port;
}

bool CMosquittoBroker::MakeCertificates(const std::string& dir, const std::string& name) {
    const std::string ca = dir + "/" + name;
    const std::vector<std::string> ecKey = {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
    std::vector<std::string> makeCa = {
        "openssl", "req",       "-x509", "-days",    "2", "-subj", "/CN=Ringvale test CA " + name,
        "-keyout", ca + ".key", "-out",  ca + ".crt"};
    makeCa.insert(makeCa.begin() + 2, ecKey.begin(), ecKey.end());
    std::vector<std::string> makeRequest = {
        "openssl", "req", "-subj", "/CN=127.0.0.1", "-keyout", dir + "/server.key", "-out", dir + "/server.csr"};
    makeRequest.insert(makeRequest.begin() + 2, ecKey.begin(), ecKey.end());
    WriteFileText(dir + "/server.ext", "subjectAltName=IP:127.0.0.1\n");
    return RunProgram(makeCa) && RunProgram(makeRequest) &&
           RunProgram({"openssl", "x509", "-req", "-days", "2", "-in", dir + "/server.csr", "-CA", ca + ".crt",
                       "-CAkey", ca + ".key", "-CAcreateserial", "-extfile", dir + "/server.ext", "-out",
                       dir + "/server.crt"});
}

bool CMosquittoBroker::WriteConfig() {
    const std::string& dir = m_options.dir;
    std::string config = "listener " + std::to_string(m_port) + " 127.0.0.1\n";
    // Started by root, the broker would run as the user "mosquitto", who may not read this
    // directory: it stays the user who runs the test.
    if (const passwd* user = ::getpwuid(::getuid()); user != nullptr) {
        config += std::string("user ") + user->pw_name + "\n";
    }
    if (m_options.tls) {
        if (!MakeCertificates(dir, "ca")) {
            return false;
        }
        config += "cafile " + dir + "/ca.crt\ncertfile " + dir + "/server.crt\nkeyfile " + dir + "/server.key\n";
    }
    if (m_options.users.empty()) {
        config += "allow_anonymous true\n";
    } else {
        const std::string passwords = dir + "/passwd";
        for (const auto& [user, password] : m_options.users) {
            std::vector<std::string> args = {"mosquitto_passwd", "-b", passwords, user, password};
            if (user == m_options.users.front().first) {
                args.insert(args.begin() + 1, "-c");
            }
            if (!RunProgram(args)) {
                return false;
            }
        }
        config += "allow_anonymous false\npassword_file " + passwords + "\n";
    }
    if (m_options.persistence) {
        config += "persistence true\npersistence_location " + dir + "/\n";
    }
    config += "log_dest stderr\nlog_type all\n";
    WriteFileText(dir + "/mosquitto.conf", config);
    return true;
}

bool CMosquittoBroker::Start() {
    if (!m_configured) {
        m_configured = WriteConfig();
        if (!m_configured) {
            return false;
        }
    }
    if (!m_process.Start({kBroker, "-c", m_options.dir + "/mosquitto.conf"})) {
        return false;
    }
    return m_process.WaitForLog(" running", 10000);
}

void CMosquittoBroker::Stop() {
    m_process.Stop();
}

std::vector<std::string> CMosquittoBroker::ClientArgs() const {
    std::vector<std::string> args = {"-h", "127.0.0.1", "-p", std::to_string(m_port)};
    if (m_options.tls) {
        args.insert(args.end(), {"--cafile", CaFile()});
    }
    if (!m_options.users.empty()) {
        args.insert(args.end(), {"-u", m_options.users.front().first, "-P", m_options.users.front().second});
    }
    return args;
}

CMqttSubscriber::CMqttSubscriber(const CMosquittoBroker& broker, const std::vector<std::string>& topics,
                                 const std::vector<std::string>& extraArgs) {
    // Line-buffered: its debug lines (the SUBACK) come out at once, not with the next message.
    std::vector<std::string> args = {
        "stdbuf", "-oL", "mosquitto_sub", "-d", "-q", "1", "-F", std::string(kMessageMark) + "%r %t %p"};
    const auto client = broker.ClientArgs();
    args.insert(args.end(), client.begin(), client.end());
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    for (const auto& topic : topics) {
        args.insert(args.end(), {"-t", topic});
    }
    m_subscribed = m_process.Start(args) && m_process.WaitForLog("received SUBACK", 10000);
}

std::vector<CMqttSubscriber::SMessage> CMqttSubscriber::Messages() const {
    return Parse(m_process.Log());
}

std::vector<CMqttSubscriber::SMessage> CMqttSubscriber::Parse(const std::string& output) {
    std::vector<SMessage> messages;
    std::size_t pos = 0;
    while ((pos = output.find(kMessageMark, pos)) != std::string::npos) {
        const std::size_t end = output.find('\n', pos);
        if (end == std::string::npos) {
            break; // not complete yet
        }
        const std::string line = output.substr(pos + 4, end - pos - 4);
        pos = end + 1;
        const std::size_t space = line.find(' ', 2);
        if (line.size() < 3 || space == std::string::npos) {
            continue;
        }
        messages.push_back({line[0] == '1', line.substr(2, space - 2), line.substr(space + 1)});
    }
    return messages;
}

std::vector<CMqttSubscriber::SMessage> CMqttSubscriber::MessagesOn(const std::string& topic) const {
    std::vector<SMessage> out;
    for (auto& message : Messages()) {
        if (message.topic == topic) {
            out.push_back(std::move(message));
        }
    }
    return out;
}

CMqttSubscriber::SMessage CMqttSubscriber::WaitFor(const std::function<bool(const SMessage&)>& predicate,
                                                   int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const std::string output = m_process.Log();
        for (const SMessage& message : Parse(output)) {
            if (predicate(message)) {
                return message;
            }
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        const std::size_t seen = output.size();
        // Blocks until more output arrives (the next message's line) or the time is up.
        if (left <= 0 || !m_process.WaitForLogAfter(seen, "\n", static_cast<int>(left))) {
            return {};
        }
    }
}

CMqttSubscriber::SMessage CMqttSubscriber::WaitFor(const std::string& topic, const std::string& text, int timeoutMs) {
    return WaitFor([&](const SMessage& m) { return m.topic == topic && m.payload.find(text) != std::string::npos; },
                   timeoutMs);
}

bool PublishWithClient(const CMosquittoBroker& broker, const std::string& topic, const std::string& payload,
                       bool retain) {
    std::vector<std::string> args = {"mosquitto_pub", "-q", "1", "-t", topic, "-m", payload};
    const auto client = broker.ClientArgs();
    args.insert(args.end(), client.begin(), client.end());
    if (retain) {
        args.emplace_back("-r");
    }
    return RunProgram(args);
}
