// Host preparation, run at every server start and every continue: the
// service's CA certificate made trusted by the machine, and the firewall
// opened for its port. Both only log what happened; neither raises, so
// neither can keep the server from starting. Runs on the service thread.
#pragma once

#include <functional>
#include <string>

namespace service {

inline constexpr const char* kFirewallRuleName = "Zentavo TEF Server";
// Time limit of every command.
inline constexpr int kHostCommandTimeoutMs = 10000;

using THostLog = std::function<void(const std::string&)>;

// Whether the certificate's SHA-1 thumbprint is in the machine's trusted store.
bool IsCACertTrusted(const std::string& path);
// Checks and, when needed, installs the CA certificate at path; logs the outcome.
void EnsureCACertTrusted(const std::string& path, const THostLog& log);
// Replaces the inbound rule for the port; logs the outcome.
void EnsureFirewallRule(int port, const THostLog& log);

}  // namespace service
