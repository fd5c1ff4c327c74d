// Runs one scenario as the command dialogue of ContinuaFuncaoSiTefInterativo:
// every Continue() takes the automation's continuation value and answer, and
// returns either the next command or the final result. Owned by the simulator;
// called from one thread at a time.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config.h"

namespace clisitef_sim {

using Vars = std::map<std::string, std::string>;

// Replaces every ${name} in `text` by the variable (empty when unset).
std::string Substitute(const std::string& text, const Vars& vars);

// What the scenario needs from outside: the transaction ledger behind the actions
// and the clock for the pause between interruption checks.
class DialogueHost {
 public:
  virtual ~DialogueHost() = default;
  virtual void RunAction(const std::string& action, Vars& vars) = 0;
  virtual void Pause(int milliseconds) = 0;
};

struct DialogueOutput {
  bool finished = false;
  int result = 0;      // final result when finished
  std::string record;  // "payment" or "cancellation" when an approval must be recorded
  int command = 0;     // otherwise: the command for the automation
  int field = -1;
  int min = 0;
  int max = 0;
  std::string text;  // UTF-8; the buffer contents (also the final buffer)
};

class Dialogue {
 public:
  Dialogue(std::shared_ptr<const Config> config, const Scenario& scenario, Vars vars,
           DialogueHost& host);

  // `answer` is the buffer content as UTF-8. The first call starts the scenario.
  DialogueOutput Continue(int continuation, const std::string& answer);
  // Runs the scenario up to its first command; when it ends before sending
  // one, the final output (the function ends at its start). Call once, before
  // Continue.
  std::optional<DialogueOutput> EndsAtStart();

  const Vars& vars() const { return FVars; }
  const std::string& scenario_name() const { return FScenarioName; }

 private:
  struct Frame {
    const Steps* steps;
    std::size_t index;
  };
  struct Snapshot {
    std::vector<Frame> frames;
    Vars vars;
  };

  DialogueOutput Run();
  DialogueOutput Emit(const Step& step);
  DialogueOutput Finish(int result, const std::string& record = "", const std::string& buffer = "");
  DialogueOutput GoBack();
  // Refuses the answer to the current prompt: a message, then the prompt again.
  DialogueOutput Refuse(const std::string& message_key, const Step& prompt);
  // Takes the answer to a prompt; returns true when the scenario goes on.
  bool Accept(const Step& prompt, const std::string& answer, std::string& refusal);
  void Push(const Steps& steps);
  std::string Message(const std::string& key, const Step& step) const;

  std::shared_ptr<const Config> FConfig;
  std::string FScenarioName;
  DialogueHost& FHost;
  Vars FVars;
  std::vector<Frame> FFrames;
  std::vector<Snapshot> FHistory;  // one per prompt issued, for going back
  const Step* FPending = nullptr;  // the step whose answer the next call brings
  std::string FPendingText;        // its text as sent (menus are checked against it)
  int FWaitLeft = 0;
  bool FFinished = false;
  DialogueOutput FLastFinal;
  Step FRefusalStep;                     // the message sent before a refused prompt is repeated
  std::optional<DialogueOutput> FFirst;  // the first command, prepared by EndsAtStart
};

}  // namespace clisitef_sim
