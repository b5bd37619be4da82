#pragma once
// Whether the machine can reach the internet, asked of the system's network
// list manager. The calling thread must have initialised COM.
//
// Result: bits 0-15 the NLM_CONNECTIVITY flags (0 when they could not be
// asked), bits 16-31 the reason: 0 connected to the internet (or no network
// list manager on this system), 1 no connectivity at all, 2 connectivity but
// not to the internet. A result of 0x10000 or more means no usable network.
#include <cstdint>

struct INetworkListManager;

namespace Utils {

constexpr uint32_t kNetworkReasonShift = 16;
constexpr uint32_t kNetworkNoConnectivity = 1;
constexpr uint32_t kNetworkNoInternet = 2;

uint32_t CheckNetwork();

// The same evaluation over a given manager; null stands for a manager that
// could not be created. Lets tests present every answer a system can give.
uint32_t CheckNetworkWith(INetworkListManager* manager);

}  // namespace Utils
