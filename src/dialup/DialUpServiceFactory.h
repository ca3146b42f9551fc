// Chooses the dial-up service: RINGVALE_DIALUP=sim gives the simulated one (entries from
// $RINGVALE_DIALUP_SIM_FILE or dialup-sim.txt), anything else pppd. Create it before the
// adapter link is opened, so that the simulated service's foreign connections already hold
// their devices. The pppd service first removes the options files a crashed run left behind.
#pragma once

#include "dialup/IDialUpService.h"

#include <memory>

std::unique_ptr<IDialUpService> CreateDialUpService();
