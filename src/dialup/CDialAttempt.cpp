#include "dialup/CDialAttempt.h"

#include "dialup/DialUpErrors.h"

#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

CDialAttempt::CDialAttempt(IDialUpService& service, std::string entry, std::string user, std::string password)
    : m_service(service), m_ready(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    m_thread = std::thread([this, entry = std::move(entry), user = std::move(user), password = std::move(password)] {
        Run(entry, user, password);
    });
}

CDialAttempt::~CDialAttempt() {
    Cancel();
    if (m_thread.joinable()) {
        m_thread.join();
    }
    if (m_ready >= 0) {
        ::close(m_ready);
    }
}

void CDialAttempt::Run(const std::string& entry, const std::string& user, const std::string& password) {
    {
        const std::lock_guard lock(m_mutex);
        m_running = !m_cancelled;
    }
    DialUpHandle handle = 0;
    const int result = m_running ? m_service.Dial(entry, user, password, handle) : kDialUpErrCancelled;
    {
        const std::lock_guard lock(m_mutex);
        m_running = false;
        m_done = true;
        m_result = result;
        m_handle = handle;
    }
    if (m_ready >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(m_ready, &one, sizeof one);
    }
}

bool CDialAttempt::Done() const {
    const std::lock_guard lock(m_mutex);
    return m_done;
}

void CDialAttempt::Cancel() {
    const std::lock_guard lock(m_mutex);
    if (m_done || m_cancelled) {
        return;
    }
    m_cancelled = true;
    // Under the lock: the service is told only while its Dial runs, never after it returned.
    if (m_running) {
        m_service.CancelDial();
    }
}

int CDialAttempt::Finish(DialUpHandle& handle) {
    if (m_thread.joinable()) {
        m_thread.join();
    }
    const std::lock_guard lock(m_mutex);
    handle = m_handle;
    return m_result;
}
