// The control socket: a Unix-domain stream socket on which each line is one control command;
// the simulator answers each with one line, "OK..." or "ERR <why>".
#pragma once

#include <functional>
#include <map>
#include <string>

class CSimControlSocket {
public:
    static constexpr std::size_t kMaxLine = 4096;

    CSimControlSocket() = default;
    ~CSimControlSocket();
    CSimControlSocket(const CSimControlSocket&) = delete;
    CSimControlSocket& operator=(const CSimControlSocket&) = delete;

    // Listens on `path`; a stale socket file there is replaced, any other file is an error.
    bool Open(const std::string& path, std::string& error);
    void Close(); // closes every connection and removes the socket file

    int ListenFd() const { return m_listen; }
    // Connected clients (descriptor → buffered partial line).
    const std::map<int, std::string>& Clients() const { return m_clients; }

    // Accepts waiting connections; returns the new descriptors through the callback.
    void AcceptClients(const std::function<void(int)>& onNew);
    // Reads from a client; each complete line goes to onLine. Returns false when the client
    // has gone (it is closed and forgotten).
    bool ReadClient(int fd, const std::function<void(const std::string&)>& onLine);
    // Writes one reply line; a client that cannot take it is dropped later by ReadClient.
    void Reply(int fd, const std::string& line);

private:
    int m_listen = -1;
    std::string m_path;
    std::map<int, std::string> m_clients;
};
