// The inbound firewall rule that opens the service's port.
//
// On this platform a rule is an nftables table of our own, named after the
// rule without its spaces ("Zentavo TEF Server" -> ZentavoTEFServer), in
// the inet family, with one input chain that accepts TCP to the port. The
// table is deleted and created again, so a changed port replaces the old
// rule. Runs the `nft` found on PATH (tests put a fake first). A table of
// ours accepts; it cannot overrule a drop in another table's chain.
// Stateless; any thread.
#pragma once

#include <string>

#include "platform/command.h"

namespace platform {

// The nftables table that stands for the rule.
std::string FirewallTableName(const std::string& rule_name);

// Deletes the rule's table (its result is ignored) and creates it again for
// the port; gives the result of creating it.
TCommandResult ReplaceInboundFirewallRule(const std::string& rule_name, int port, int timeout_ms);

}  // namespace platform
