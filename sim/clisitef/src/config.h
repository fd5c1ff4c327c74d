// The simulator's configuration: built-in defaults (default-config.json, compiled
// in) overlaid by an optional JSON file. Immutable once loaded; a running dialogue
// keeps the configuration it started with alive through a shared_ptr.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "protocol.h"

namespace clisitef_sim {

struct Step;
using Steps = std::vector<Step>;

// A condition of an "if" step. Operands are texts with ${variables}.
struct Condition {
  enum class Op { kContains, kEquals, kNotEmpty };
  Op op = Op::kNotEmpty;
  std::string left;
  std::string right;
};

// One step of a scenario. The kind decides which members are meaningful.
struct Step {
  enum class Kind { kCommand, kWait, kEnd, kSwitch, kIf, kCall, kSet, kAction };
  Kind kind = Kind::kCommand;

  // kCommand: what ContinuaFuncaoSiTefInterativo returns.
  int command = 0;
  int field = clisitef::kCampoNenhum;
  int min = 0;
  int max = 0;
  std::string text;
  std::optional<int> abort;  // final result when the automation aborts here (also kWait)
  std::string keep;          // data prompts: variable that keeps the answer
  std::string check;         // data prompts: "", "digits", "amount", "date"
  std::optional<std::pair<long, long>> range;  // data prompts with check "digits"
  int pad = 0;                                 // data prompts: left-pad the kept answer with zeros
  std::map<std::string, Steps> branches;       // menu (21): option key -> steps; switch cases
  std::optional<Steps> no_steps;               // yes/no (20): steps when answered "no"

  // kWait: a run of command 23.
  std::string wait_name;
  int checks = -1;  // -1: the configured wait_checks

  // kEnd
  std::string result;  // text, ${variables} allowed
  std::string record;  // "", "payment", "cancellation"
  std::string buffer;  // text left in the buffer with the final result

  // kSwitch (text in `subject`, cases in `branches`)
  std::string subject;
  std::optional<Steps> default_steps;

  // kIf
  Condition condition;
  Steps then_steps;
  Steps else_steps;

  // kCall
  std::string call;

  // kSet: assignments in order
  std::vector<std::pair<std::string, std::string>> sets;

  // kAction
  std::string action;
};

struct Scenario {
  std::string name;
  std::string description;
  Steps steps;
};

struct Config {
  std::optional<int> configure_result;  // forces every configuration result
  std::map<std::string, int> configure_results_by_terminal;
  int pinpad_present = 1;
  int interruption_delay_ms = 300;
  int wait_checks = 3;
  int abort_result = clisitef::kCanceladaPeloOperador;
  std::string journal;
  std::string state_file;
  std::string track3_scenario;
  std::map<int, std::string> functions;  // function code -> scenario name
  std::map<std::string, Scenario> scenarios;
  std::map<std::string, std::string> variables;
  std::map<std::string, std::string> messages;
  std::string source;  // file the configuration came from, or "built-in"
};

// Loads the built-in defaults and overlays `path` when it is not empty. Relative
// paths inside the file (journal, state_file) are taken from the file's folder.
// Throws std::runtime_error with a readable message on a bad file.
std::shared_ptr<const Config> LoadConfig(const std::string& path);

}  // namespace clisitef_sim
