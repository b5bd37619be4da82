#pragma once
// "-silent": the one-click install without any window or prompt, for
// unattended deployment. Runs the same pre-checks and chain as the window and
// records the result the same way; never starts the product.
//
//   -silent               install into the default (or the earlier) folder
//   -installdir=<folder>  install into <folder>\parlomind instead (as the
//                         custom page would)
//
// Exit codes (also in the README):
enum SilentExitCode : int {
  kSilentInstalled = 0,
  kSilentDownloadFailed = 2,
  kSilentPackageFailed = 3,
  kSilentRemovalFailed = 4,
  kSilentPrecheckRefused = 5,  // product running, invalid folder, not enough space
  kSilentNetworkNegative = 6,
  // -1: another installer is running (the single-instance guard, before this runs)
};

#include <cstdint>
#include <functional>

class CommandLineOptions;

// Tests replace the network check: Wine always reports a working connection.
struct SilentInstallSeams {
  std::function<uint32_t()> checkNetwork;  // empty: the system's check
};

int RunSilentInstall(const CommandLineOptions& options, const SilentInstallSeams& seams = {});
