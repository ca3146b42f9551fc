#include "calls/CTileSet.h"

#include "core/Format.h"

CTileSet::CTileSet(CCallContext& context, CCallList& calls) : m_ctx(context), m_calls(calls) {}

STileView CTileSet::ViewOf(const CCall* call, std::int64_t now) {
    STileView view;
    if (call == nullptr) {
        return view;
    }
    view.call = true;
    view.port = call->m_nPort + 1;
    view.name = call->m_strName;
    view.number = call->m_strRemoteNumber;
    view.runningTime = TileRunningTime(now - call->m_timeStart);
    return view;
}

CCall* CTileSet::CallInTile(int tile) const {
    if (tile < 0 || tile >= kTiles || !m_tiles[tile]) {
        return nullptr;
    }
    return m_calls.Get(*m_tiles[tile]);
}

void CTileSet::Paint(int tile) {
    m_ctx.Host().SetTile(tile, ViewOf(CallInTile(tile), m_ctx.Now()));
}

void CTileSet::PlaceCallInTile(CCall& call, int tile) {
    if (tile < 0 || tile >= kTiles) {
        tile = -1;
        for (int i = 0; i < kTiles; ++i) {
            if (TileEmpty(i)) {
                tile = i;
                break;
            }
        }
    }
    if (tile >= 0) {
        m_tiles[tile] = call.m_id;
        call.m_nTile = tile;
        Paint(tile);
    }
    m_ctx.RefreshTiles();
}

void CTileSet::RemoveCallFromTiles(CCall& call) {
    for (int i = 0; i < kTiles; ++i) {
        if (m_tiles[i] == call.m_id) {
            m_tiles[i].reset();
            Paint(i);
        }
    }
    call.m_nTile = -1;
}

void CTileSet::RefreshTiles() {
    for (int i = 0; i < kTiles; ++i) {
        if (!TileEmpty(i)) {
            Paint(i);
        }
    }
}

// 1. Log the request. 2. When another tile is chosen: leave the old one (hold or drop its
// call), select the new one and, when it shows a call, take that call back after 500 ms.
// 3. When the selected tile is empty, start a new call on the first port without an active
// call (after 500 ms). 4. Show the selection (the select indicators).
void CTileSet::SelectTile(int tile) {
    if (tile < 0 || tile >= kTiles) {
        return;
    }
    m_ctx.Log(StrFormat("SelectTile(%d)", tile));
    if (tile != m_nSelected) {
        m_ctx.Log(StrFormat("  new tile(old=%d)", m_nSelected));
        PutSelectedTileOnHold();
        m_nSelected = tile;
        if (!TileEmpty(m_nSelected)) {
            m_ctx.WaitInPlace(500);
            RetrieveSelectedTile();
        }
    }
    if (TileEmpty(m_nSelected)) {
        for (int port = 0; port < CCallList::kPorts; ++port) {
            if (m_calls.FindActiveCallOnPort(port) == nullptr) {
                m_ctx.WaitInPlace(500);
                m_ctx.Commands().NewCall(port);
                break;
            }
        }
    }
    m_ctx.ShowSelectedTile(m_nSelected);
}

bool CTileSet::PutSelectedTileOnHold() {
    m_ctx.Log(StrFormat("PutSelectedTileOnHold(%d)", m_nSelected));
    CCall* call = SelectedCall();
    if (call == nullptr) {
        return false;
    }
    m_ctx.Log("   Call Not Null");
    if (call->m_nState == CS_Connected) {
        m_ctx.Log("   Call CS_Connected - putting on hold");
        m_ctx.Commands().Hold(call->m_nPort, call->m_nCallId);
        call->m_bHoldPending = true;
        return true;
    }
    if (call->m_nState != CS_Hold && !call->m_bHoldPending) {
        m_ctx.Log("   Call not CS_Hold, not hold pending - disconnecting");
        m_ctx.Commands().HangUp(call->m_nPort, call->m_nCallId);
        call->m_bHangUpPending = true;
        return true;
    }
    return false;
}

bool CTileSet::RetrieveSelectedTile() {
    CCall* call = SelectedCall();
    if (call == nullptr || call->m_nState != CS_Hold) {
        return false;
    }
    m_ctx.Commands().Retrieve(call->m_nPort, call->m_nCallId);
    call->m_bRetrievePending = true;
    return true;
}

void CTileSet::HangUpSelectedTile() {
    CCall* call = SelectedCall();
    if (call != nullptr && !call->m_bHangUpPending) {
        m_ctx.Commands().HangUp(call->m_nPort, call->m_nCallId);
        call->m_bHangUpPending = true;
    }
}

void CTileSet::HoldSelectedTile() {
    CCall* call = SelectedCall();
    if (call != nullptr && call->m_nState != CS_Hold && !call->m_bHoldPending) {
        m_ctx.Commands().Hold(call->m_nPort, call->m_nCallId);
        call->m_bHoldPending = true;
    }
}

CTileSet::EShows CTileSet::Shows(int tile) const {
    const CCall* call = CallInTile(tile);
    if (call == nullptr) {
        return EShows::Nothing;
    }
    return call->m_nState == CS_Hold ? EShows::HeldCall : EShows::Call;
}

std::string TileRunningTime(std::int64_t seconds) {
    return StrFormat("%lld:%2.2lld", static_cast<long long>(seconds / 60), static_cast<long long>(seconds % 60));
}
