#include "calls/CCallContext.h"

#include "core/Trace.h"

#include <utility>

CCallContext::CCallContext(CWindowHost& host, const IClock& clock, CSettings& settings, SCallHooks hooks)
    : m_host(host), m_clock(clock), m_settings(settings), m_hooks(std::move(hooks)),
      m_commands([this](const std::string& command) {
          if (m_hooks.sendCommand) {
              m_hooks.sendCommand(command);
          }
      }) {}

void CCallContext::Log(const std::string& text) const {
    if (m_hooks.log) {
        m_hooks.log(text);
    } else {
        Trace(text);
    }
}

void CCallContext::WriteCommand(const std::string& command) const {
    if (m_hooks.writeCommand) {
        m_hooks.writeCommand(command);
    } else if (m_hooks.sendCommand) {
        m_hooks.sendCommand(command);
    }
}

void CCallContext::RefreshTiles() const {
    if (m_hooks.post) {
        m_hooks.post(CMessage::Make(WM_RV_REFRESH_TILES));
    } else if (m_refreshFallback) {
        m_refreshFallback();
    }
}

void CCallContext::Post(CMessage msg) const {
    if (m_hooks.post) {
        m_hooks.post(std::move(msg));
    }
}

void CCallContext::PhoneBookEntryUpdated(std::uint64_t entryId) const {
    if (m_hooks.phoneBookEntryUpdated) {
        m_hooks.phoneBookEntryUpdated(entryId);
    }
}

void CCallContext::AnnounceNewCall() const {
    if (m_hooks.announceNewCall) {
        m_hooks.announceNewCall();
    }
}

void CCallContext::ShowSelectedTile(int tile) const {
    if (m_hooks.showSelectedTile) {
        m_hooks.showSelectedTile(tile);
    }
}
