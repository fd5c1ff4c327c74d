#include "dialogue.h"

#include <algorithm>
#include <cctype>

#include "protocol.h"
#include "values.h"

namespace clisitef_sim {
namespace {

constexpr std::size_t kMaxDepth = 100;

bool IsPrompt(const Step& s) {
  if (s.kind != Step::Kind::kCommand) return false;
  switch (s.command) {
    case clisitef::kCmdSimNao:
    case clisitef::kCmdMenu:
    case clisitef::kCmdObterCampo:
    case clisitef::kCmdObterCheque:
    case clisitef::kCmdObterValor:
    case clisitef::kCmdObterCodigoBarras:
      return true;
    default:
      return false;
  }
}

std::size_t CountChars(const std::string& utf8) {
  std::size_t n = 0;
  for (unsigned char c : utf8) n += (c & 0xC0) != 0x80 ? 1 : 0;
  return n;
}

// The option keys of a menu text "1:A Vista;2:Parcelado;".
std::vector<std::string> MenuKeys(const std::string& text) {
  std::vector<std::string> keys;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(';', start);
    if (end == std::string::npos) end = text.size();
    const std::string option = text.substr(start, end - start);
    if (!option.empty()) keys.push_back(Trim(option.substr(0, option.find(':'))));
    start = end + 1;
  }
  return keys;
}

}  // namespace

std::string Substitute(const std::string& text, const Vars& vars) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '$' && i + 1 < text.size() && text[i + 1] == '{') {
      const std::size_t close = text.find('}', i + 2);
      if (close != std::string::npos) {
        auto it = vars.find(text.substr(i + 2, close - i - 2));
        if (it != vars.end()) out += it->second;
        i = close + 1;
        continue;
      }
    }
    out += text[i++];
  }
  return out;
}

Dialogue::Dialogue(std::shared_ptr<const Config> config, const Scenario& scenario, Vars vars,
                   DialogueHost& host)
    : FConfig(std::move(config)),
      FScenarioName(scenario.name),
      FHost(host),
      FVars(std::move(vars)) {
  FVars["scenario"] = scenario.name;
  Push(scenario.steps);
  FRefusalStep.kind = Step::Kind::kCommand;
  FRefusalStep.command = clisitef::kCmdMsgAmbos;
}

void Dialogue::Push(const Steps& steps) {
  if (!steps.empty()) FFrames.push_back(Frame{&steps, 0});
}

std::string Dialogue::Message(const std::string& key, const Step& step) const {
  auto it = FConfig->messages.find(key);
  if (it == FConfig->messages.end()) return key;
  Vars v = FVars;
  v["min"] = std::to_string(step.min);
  v["max"] = std::to_string(step.max);
  return Substitute(it->second, v);
}

DialogueOutput Dialogue::Continue(int continuation, const std::string& answer) {
  if (FFinished) return FLastFinal;
  if (FFirst) {
    // The start already ran up to the first command: that is the answer now.
    DialogueOutput out = std::move(*FFirst);
    FFirst.reset();
    if (continuation < 0) return Finish(FConfig->abort_result);
    return out;
  }
  if (FPending == nullptr) {
    if (continuation < 0) return Finish(FConfig->abort_result);
    return Run();
  }
  const Step& s = *FPending;
  if (continuation < 0) return Finish(s.abort.value_or(FConfig->abort_result));
  // After a key-press message the automation always answers 1: it means "go on".
  const bool keypress = s.kind == Step::Kind::kCommand && s.command == clisitef::kCmdAguardaTecla;
  if (continuation == clisitef::kContinuaVoltar && !keypress) return GoBack();
  if (s.kind == Step::Kind::kWait && FWaitLeft > 0) {
    --FWaitLeft;
    FHost.Pause(FConfig->interruption_delay_ms);
    return Emit(s);
  }
  if (IsPrompt(s)) {
    const std::string given = Trim(answer);
    if (s.command == clisitef::kCmdSimNao) {
      if (given == "1") {
        FPending = nullptr;
        if (!s.no_steps) return Finish(s.abort.value_or(FConfig->abort_result));
        Push(*s.no_steps);
        return Run();
      }
      if (given != "0") return Refuse("invalid_option", s);
    } else if (s.command == clisitef::kCmdMenu) {
      bool known = false;
      for (const auto& key : MenuKeys(FPendingText)) known = known || key == given;
      if (!known) return Refuse("invalid_option", s);
      FPending = nullptr;
      auto b = s.branches.find(given);
      if (b != s.branches.end()) Push(b->second);
    } else {
      const std::size_t n = CountChars(given);
      if ((s.min > 0 && n < static_cast<std::size_t>(s.min)) ||
          (s.max > 0 && n > static_cast<std::size_t>(s.max))) {
        return Refuse("invalid_size", s);
      }
      std::string kept = given;
      if (s.check == "digits") {
        // Card numbers are longer than any number kept: only a range needs the value.
        const bool all_digits =
            !given.empty() && std::all_of(given.begin(), given.end(),
                                          [](unsigned char c) { return std::isdigit(c) != 0; });
        if (!all_digits) return Refuse("invalid_value", s);
        long number = 0;
        if (s.range &&
            (!ParseDigits(given, number) || number < s.range->first || number > s.range->second)) {
          return Refuse("invalid_value", s);
        }
      } else if (s.check == "amount") {
        long cents = 0;
        if (!ParseAmount(given, cents)) return Refuse("invalid_value", s);
      } else if (s.check == "date") {
        if (!IsDateDDMMYYYY(given)) return Refuse("invalid_value", s);
      }
      if (s.pad > 0 && kept.size() < static_cast<std::size_t>(s.pad)) {
        kept.insert(0, static_cast<std::size_t>(s.pad) - kept.size(), '0');
      }
      if (!s.keep.empty()) FVars[s.keep] = kept;
    }
  }
  FPending = nullptr;
  return Run();
}

std::optional<DialogueOutput> Dialogue::EndsAtStart() {
  DialogueOutput out = Run();
  if (out.finished) return out;
  FFirst = out;  // sent by the first Continue
  return std::nullopt;
}

DialogueOutput Dialogue::Refuse(const std::string& message_key, const Step& prompt) {
  FRefusalStep.text = Message(message_key, prompt);
  // Back to just before the prompt, so that it is sent again after the message.
  if (!FHistory.empty()) {
    Snapshot snap = std::move(FHistory.back());
    FHistory.pop_back();
    FFrames = std::move(snap.frames);
    FVars = std::move(snap.vars);
  }
  FPending = &FRefusalStep;
  DialogueOutput out;
  out.command = FRefusalStep.command;
  out.text = FRefusalStep.text;
  FPendingText = out.text;
  return out;
}

DialogueOutput Dialogue::GoBack() {
  if (FPending != nullptr && IsPrompt(*FPending) && !FHistory.empty()) FHistory.pop_back();
  FPending = nullptr;
  if (FHistory.empty()) return Finish(FConfig->abort_result);
  Snapshot snap = std::move(FHistory.back());
  FHistory.pop_back();
  FFrames = std::move(snap.frames);
  FVars = std::move(snap.vars);
  return Run();
}

DialogueOutput Dialogue::Finish(int result, const std::string& record, const std::string& buffer) {
  FFinished = true;
  FPending = nullptr;
  FLastFinal = DialogueOutput{};
  FLastFinal.finished = true;
  FLastFinal.result = result;
  FLastFinal.record = record;
  FLastFinal.text = buffer;
  return FLastFinal;
}

DialogueOutput Dialogue::Emit(const Step& step) {
  DialogueOutput out;
  out.command = step.command;
  out.field = step.field;
  out.min = step.min;
  out.max = step.max;
  out.text = Substitute(step.text, FVars);
  FPending = &step;
  FPendingText = out.text;
  return out;
}

DialogueOutput Dialogue::Run() {
  for (;;) {
    if (FFrames.size() > kMaxDepth) return Finish(kInternalError);
    if (FFrames.empty())
      return Finish(clisitef::kOk);  // a scenario without an end step approves nothing
    Frame& top = FFrames.back();
    if (top.index >= top.steps->size()) {
      FFrames.pop_back();
      continue;
    }
    const Step& s = (*top.steps)[top.index];
    switch (s.kind) {
      case Step::Kind::kCommand:
        if (IsPrompt(s)) FHistory.push_back(Snapshot{FFrames, FVars});
        ++top.index;
        return Emit(s);
      case Step::Kind::kWait: {
        ++top.index;
        const int checks = s.checks >= 0 ? s.checks : FConfig->wait_checks;
        if (checks <= 0) continue;
        FWaitLeft = checks - 1;
        return Emit(s);
      }
      case Step::Kind::kEnd: {
        long result = 0;
        const std::string text = Trim(Substitute(s.result, FVars));
        if (!ParseSigned(text, result)) result = kInternalError;
        return Finish(static_cast<int>(result), s.record, Substitute(s.buffer, FVars));
      }
      case Step::Kind::kSwitch: {
        ++top.index;
        const std::string value = Substitute(s.subject, FVars);
        auto b = s.branches.find(value);
        if (b != s.branches.end()) {
          Push(b->second);
        } else if (s.default_steps) {
          Push(*s.default_steps);
        }
        continue;
      }
      case Step::Kind::kIf: {
        ++top.index;
        const std::string left = Substitute(s.condition.left, FVars);
        const std::string right = Substitute(s.condition.right, FVars);
        bool holds = false;
        switch (s.condition.op) {
          case Condition::Op::kContains:
            holds = left.find(right) != std::string::npos;
            break;
          case Condition::Op::kEquals:
            holds = left == right;
            break;
          case Condition::Op::kNotEmpty:
            holds = !Trim(left).empty();
            break;
        }
        Push(holds ? s.then_steps : s.else_steps);
        continue;
      }
      case Step::Kind::kCall:
        ++top.index;
        Push(FConfig->scenarios.at(s.call).steps);
        continue;
      case Step::Kind::kSet:
        ++top.index;
        for (const auto& [name, value] : s.sets) FVars[name] = Substitute(value, FVars);
        continue;
      case Step::Kind::kAction:
        ++top.index;
        FHost.RunAction(s.action, FVars);
        continue;
    }
  }
}

}  // namespace clisitef_sim
