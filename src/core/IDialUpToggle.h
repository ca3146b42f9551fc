// What call control asks of the dial-up connection manager: start the chosen dial-up
// connection when it is not connected, end it otherwise (a remote-control trigger does this).
#pragma once

class IDialUpToggle {
public:
    virtual ~IDialUpToggle() = default;
    virtual void ToggleDialUpConnection() = 0;
};
