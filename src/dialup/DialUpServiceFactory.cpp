#include "dialup/DialUpServiceFactory.h"

#include "core/Trace.h"
#include "dialup/CPppDialUpService.h"
#include "dialup/CSimulatedDialUpService.h"

#include <cstdlib>
#include <string>

std::unique_ptr<IDialUpService> CreateDialUpService() {
    const char* value = std::getenv("RINGVALE_DIALUP");
    const std::string choice = value != nullptr ? value : "";
    if (choice == "sim") {
        return std::make_unique<CSimulatedDialUpService>(CSimulatedDialUpService::DefaultFilePath());
    }
    if (!choice.empty() && choice != "pppd") {
        Trace("<dbg> RINGVALE_DIALUP=" + choice + " is unknown; using pppd");
    }
    auto service = std::make_unique<CPppDialUpService>();
    service->RemoveStaleOptionsFiles();
    return service;
}
