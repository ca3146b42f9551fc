// The network side of the simulated adapter: a UDP socket on <address>:<port>. It talks to
// one peer at a time, the sender of the latest datagram that began with a command.
#pragma once

#include <netinet/in.h>
#include <optional>
#include <string>

class CSimUdp {
public:
    CSimUdp() = default;
    ~CSimUdp();
    CSimUdp(const CSimUdp&) = delete;
    CSimUdp& operator=(const CSimUdp&) = delete;

    bool Open(const std::string& address, int port, std::string& error);
    int Fd() const { return m_fd; }

    // Receives one datagram; false when none is waiting.
    bool Receive(std::string& data, sockaddr_in& from);
    // Sends to the current peer; false when there is none or the send failed.
    bool Send(const std::string& bytes);

    // Decides whether a datagram from `from` is taken: from the peer, always; from another
    // sender, only when it begins with a command ("AT"), which makes that sender the peer.
    // `changed` tells that the peer was replaced.
    bool Accept(const sockaddr_in& from, const std::string& data, bool& changed);
    std::optional<sockaddr_in> Peer() const { return m_peer; }

private:
    int m_fd = -1;
    std::optional<sockaddr_in> m_peer;
};

std::string AddressText(const sockaddr_in& addr);
