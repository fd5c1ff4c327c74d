#include "platform/firewall.h"

namespace platform {

std::string FirewallTableName(const std::string& rule_name) {
  std::string out;
  for (char c : rule_name) {
    const bool word =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    if (word) out += c;
  }
  return out;
}

TCommandResult ReplaceInboundFirewallRule(const std::string& rule_name, int port, int timeout_ms) {
  const std::string table = "inet " + FirewallTableName(rule_name);
  RunCommand("nft delete table " + table, timeout_ms);
  // One nft call is one transaction: the table appears whole or not at all.
  return RunCommand("nft 'add table " + table + "; add chain " + table +
                        " input { type filter hook input priority filter; policy accept; }; "
                        "add rule " +
                        table + " input tcp dport " + std::to_string(port) + " accept'",
                    timeout_ms);
}

}  // namespace platform
