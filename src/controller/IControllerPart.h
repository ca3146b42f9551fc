// A subsystem the controller routes to (call control, the dial-up manager): it gets the
// command ids and private messages the controller does not handle itself, and the timer tick.
#pragma once

#include "core/Messages.h"

class IControllerPart {
public:
    virtual ~IControllerPart() = default;
    // True when the part handled the command.
    virtual bool OnCommand(int id) = 0;
    // True when the part handled the message.
    virtual bool OnMessage(CMessage& msg) = 0;
    // Every 200 ms timer tick, after the controller's own steps.
    virtual void OnTimerTick() {}
    // True while the part needs those ticks; the controller stops the timer when nothing does.
    virtual bool NeedsTimer() const { return false; }
    // Shut-down, after the line monitor has stopped: drop what the part holds.
    virtual void OnShutDown() {}
};
