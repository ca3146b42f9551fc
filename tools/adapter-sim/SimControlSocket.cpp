#include "SimControlSocket.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

CSimControlSocket::~CSimControlSocket() {
    Close();
}

bool CSimControlSocket::Open(const std::string& path, std::string& error) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) {
        error = "control socket path too long: " + path;
        return false;
    }
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode)) {
            error = path + " exists and is not a socket";
            return false;
        }
        ::unlink(path.c_str());
    }
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    m_listen = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_listen < 0 || ::bind(m_listen, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(m_listen, 8) != 0) {
        error = "cannot listen on " + path + ": " + std::strerror(errno);
        return false;
    }
    m_path = path;
    return true;
}

void CSimControlSocket::Close() {
    for (auto& [fd, partial] : m_clients) {
        ::close(fd);
    }
    m_clients.clear();
    if (m_listen >= 0) {
        ::close(m_listen);
        m_listen = -1;
    }
    if (!m_path.empty()) {
        ::unlink(m_path.c_str());
        m_path.clear();
    }
}

void CSimControlSocket::AcceptClients(const std::function<void(int)>& onNew) {
    for (;;) {
        int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            return;
        }
        m_clients[fd];
        onNew(fd);
    }
}

bool CSimControlSocket::ReadClient(int fd, const std::function<void(const std::string&)>& onLine) {
    auto it = m_clients.find(fd);
    if (it == m_clients.end()) {
        return false;
    }
    char buffer[1024];
    for (;;) {
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return true;
        }
        if (n <= 0) {
            ::close(fd);
            m_clients.erase(it);
            return false;
        }
        for (ssize_t i = 0; i < n; ++i) {
            char c = buffer[i];
            if (c == '\n') {
                std::string line;
                line.swap(it->second);
                if (!line.empty() && line.back() == '\r') {
                    line.pop_back();
                }
                onLine(line);
                it = m_clients.find(fd); // the callback may not remove it, but stay safe
                if (it == m_clients.end()) {
                    return false;
                }
            } else if (it->second.size() < kMaxLine) {
                it->second.push_back(c);
            }
        }
    }
}

void CSimControlSocket::Reply(int fd, const std::string& line) {
    std::string text = line + "\n";
    (void)::send(fd, text.data(), text.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}
