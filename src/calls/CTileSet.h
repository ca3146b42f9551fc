// The four call tiles of the main window, the selected tile and the operations on it: select
// a tile (holding or dropping the call being left), hold, retrieve and hang up the selected
// call. A tile refers to its call by the call's stable id. The host paints (STileView); the
// controller draws the select and hold indicators from SelectedTile() and Shows().
#pragma once

#include "calls/CCall.h"
#include "calls/CCallContext.h"
#include "calls/CCallList.h"
#include "core/CWindowHost.h"

#include <array>
#include <cstdint>
#include <optional>

// A tile's running time: whole minutes (not capped at an hour), colon, two-digit seconds.
std::string TileRunningTime(std::int64_t seconds);

class CTileSet {
public:
    static constexpr int kTiles = 4;

    CTileSet(CCallContext& context, CCallList& calls);

    // Shows the call in the tile; tile -1 takes the first empty tile (0..3) and, when all
    // four are taken, shows the call nowhere. Repaints that tile and posts a refresh in
    // every case.
    void PlaceCallInTile(CCall& call, int tile);
    // Empties (and repaints) every tile that shows the call.
    void RemoveCallFromTiles(CCall& call);
    // Empties every tile without painting (shut-down).
    void ForgetCalls() { m_tiles = {}; }
    // The WM_RV_REFRESH_TILES handler: repaints every tile that shows a call.
    void RefreshTiles();

    CCall* CallInTile(int tile) const;
    bool TileEmpty(int tile) const { return CallInTile(tile) == nullptr; }
    int SelectedTile() const { return m_nSelected; }
    CCall* SelectedCall() const { return CallInTile(m_nSelected); }

    // The select buttons. See the .cpp for the steps.
    void SelectTile(int tile);
    // Leaving the selected tile: holds its connected call, drops any other call that is not
    // held or being held. True when a command was sent.
    bool PutSelectedTileOnHold();
    // Retrieves the selected tile's held call; true when a command was sent.
    bool RetrieveSelectedTile();
    // The hang-up button (1017) and the hold button (1049).
    void HangUpSelectedTile();
    void HoldSelectedTile();

    // What a tile shows, for its hold indicator: lit for a call, blinking for a held call.
    enum class EShows { Nothing, Call, HeldCall };
    EShows Shows(int tile) const;

    // What a tile shows for the call (nullptr: an empty tile) at time now.
    static STileView ViewOf(const CCall* call, std::int64_t now);

private:
    void Paint(int tile);

    CCallContext& m_ctx;
    CCallList& m_calls;
    std::array<std::optional<std::uint64_t>, kTiles> m_tiles;
    int m_nSelected = 0;
};
