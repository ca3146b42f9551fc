#include "SimUdp.h"

#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

std::string AddressText(const sockaddr_in& addr) {
    char text[INET_ADDRSTRLEN] = "?";
    ::inet_ntop(AF_INET, &addr.sin_addr, text, sizeof text);
    return std::string(text) + ":" + std::to_string(ntohs(addr.sin_port));
}

CSimUdp::~CSimUdp() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

bool CSimUdp::Open(const std::string& address, int port, std::string& error) {
    m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_fd < 0) {
        error = std::string("cannot create the UDP socket: ") + std::strerror(errno);
        return false;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::inet_pton(AF_INET, address.c_str(), &addr.sin_addr) != 1) {
        error = "bad address " + address;
        return false;
    }
    if (::bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        error = "cannot listen on UDP " + address + ":" + std::to_string(port) + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool CSimUdp::Receive(std::string& data, sockaddr_in& from) {
    char buffer[2048];
    socklen_t len = sizeof from;
    ssize_t n = ::recvfrom(m_fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &len);
    if (n < 0) {
        return false;
    }
    data.assign(buffer, static_cast<std::size_t>(n));
    return true;
}

bool CSimUdp::Send(const std::string& bytes) {
    if (!m_peer) {
        return false;
    }
    return ::sendto(m_fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&*m_peer), sizeof *m_peer) ==
           static_cast<ssize_t>(bytes.size());
}

bool CSimUdp::Accept(const sockaddr_in& from, const std::string& data, bool& changed) {
    changed = false;
    if (m_peer && m_peer->sin_addr.s_addr == from.sin_addr.s_addr && m_peer->sin_port == from.sin_port) {
        return true;
    }
    std::size_t i = 0;
    while (i < data.size() && (data[i] == '\r' || data[i] == '\n' || data[i] == ' ')) {
        ++i;
    }
    if (i + 1 < data.size() && std::toupper(static_cast<unsigned char>(data[i])) == 'A' &&
        std::toupper(static_cast<unsigned char>(data[i + 1])) == 'T') {
        m_peer = from;
        changed = true;
        return true;
    }
    return false;
}
