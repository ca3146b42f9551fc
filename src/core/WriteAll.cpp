#include "core/WriteAll.h"

#include <cerrno>

#include <sys/socket.h>
#include <unistd.h>

namespace {

template <typename Transfer> bool TransferAll(std::string_view data, Transfer transfer) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = transfer(data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

bool WriteAll(int fd, std::string_view data) {
    return TransferAll(data, [fd](const char* bytes, std::size_t size) { return ::write(fd, bytes, size); });
}

bool SendAll(int fd, std::string_view data) {
    return TransferAll(data,
                       [fd](const char* bytes, std::size_t size) { return ::send(fd, bytes, size, MSG_NOSIGNAL); });
}
