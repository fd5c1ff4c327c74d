// Process environment variables. Used by tests and by the few documented
// overrides; setting variables is not thread-safe against concurrent readers
// in other threads, so tests set them before starting work.
#pragma once

#include <optional>
#include <string>

namespace platform {

std::optional<std::string> GetEnv(const std::string& name);
void SetEnv(const std::string& name, const std::string& value);
void UnsetEnv(const std::string& name);

}  // namespace platform
