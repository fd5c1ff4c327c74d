#include "simulator.h"

#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <thread>

#include "cp1252.h"
#include "values.h"

namespace clisitef_sim {
namespace {

constexpr int kContinue = clisitef::kContinuar;
constexpr int kNotInitialised = clisitef::kModuloNaoInicializado;
constexpr int kInvalidFunction = clisitef::kModalidadeInvalida;
constexpr int kBadArguments = -20;
constexpr int kConfigurationUnusable = 8;

std::string In(const char* s) { return s == nullptr ? std::string() : Cp1252ToUtf8(s); }

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v == nullptr ? std::string() : std::string(v);
}

// Copies `text` (Windows-1252) into a caller buffer of `size` bytes, zero-terminated.
void CopyOut(char* buffer, std::size_t size, const std::string& text) {
  if (buffer == nullptr || size == 0) return;
  const std::size_t n = std::min(text.size(), size - 1);
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
}

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool HostOk(const std::string& host) {
  if (host.empty() || host.size() > 253) return false;
  // Names under the reserved ".invalid" domain stand for addresses that do not resolve.
  std::string lower = host;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (lower == "invalid" || (lower.size() > 8 && lower.ends_with(".invalid"))) return false;
  std::size_t start = 0;
  while (start <= host.size()) {
    std::size_t end = host.find('.', start);
    if (end == std::string::npos) end = host.size();
    const std::string label = host.substr(start, end - start);
    if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-') {
      return false;
    }
    for (char c : label) {
      if (!IsLetter(c) && !IsDigit(c) && c != '-') return false;
    }
    start = end + 1;
    if (end == host.size()) break;
  }
  return true;
}

// One or more "host[:port]" separated by ";".
bool AddressOk(const std::string& address) {
  const std::string t = Trim(address);
  if (t.empty()) return false;
  std::size_t start = 0;
  int items = 0;
  while (start < t.size()) {
    std::size_t end = t.find(';', start);
    if (end == std::string::npos) end = t.size();
    std::string item = Trim(t.substr(start, end - start));
    start = end + 1;
    if (item.empty()) continue;
    ++items;
    const std::size_t colon = item.find(':');
    if (colon != std::string::npos) {
      long port = 0;
      if (!ParseDigits(item.substr(colon + 1), port) || port < 1 || port > 65535) return false;
      item.resize(colon);
    }
    if (!HostOk(item)) return false;
  }
  return items > 0;
}

int DefaultConfigureResult(const std::string& address, const std::string& store,
                           const std::string& terminal) {
  if (!AddressOk(address)) return 1;
  long number = 0;
  if (store.empty() || store.size() > 8 || !ParseDigits(store, number)) return 2;
  if (terminal.size() != 8 || !IsLetter(terminal[0]) || !IsLetter(terminal[1]) ||
      !std::all_of(terminal.begin() + 2, terminal.end(), IsDigit)) {
    return 3;
  }
  return 0;
}

bool IsConfigureError(int r) {
  switch (r) {
    case 1:
    case 2:
    case 3:
    case 6:
    case 7:
    case 8:
    case 10:
    case 11:
    case 12:
    case 13:
      return true;
    default:
      return false;
  }
}

std::string Pad(long value, int width) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%0*ld", width, value);
  return buf;
}

std::string Hex64(unsigned long long v) {
  char buf[20];
  std::snprintf(buf, sizeof buf, "%016llX", v);
  return buf;
}

unsigned long long Fnv1a(const std::string& s, unsigned long long h = 1469598103934665603ULL) {
  for (unsigned char c : s) {
    h ^= c;
    h *= 1099511628211ULL;
  }
  return h;
}

std::string Tlv(const std::string& id, const std::string& value) {
  return id + Pad(static_cast<long>(value.size()), 2) + value;
}

unsigned Crc16Ccitt(const std::string& s) {
  unsigned crc = 0xFFFF;
  for (unsigned char c : s) {
    crc ^= static_cast<unsigned>(c) << 8;
    for (int i = 0; i < 8; ++i) crc = (crc & 0x8000) ? ((crc << 1) ^ 0x1021) : (crc << 1);
    crc &= 0xFFFF;
  }
  return crc;
}

std::string AsciiUpper(const std::string& s, std::size_t max) {
  std::string out;
  for (unsigned char c : s) {
    if (out.size() >= max) break;
    if (c < 0x80) out += static_cast<char>(std::toupper(c));
  }
  return out;
}

// "YYYYMMDD" -> "DDMMYYYY"
std::string DayFirst(const std::string& ymd) {
  if (ymd.size() != 8) return std::string();
  return ymd.substr(6, 2) + ymd.substr(4, 2) + ymd.substr(0, 4);
}

}  // namespace

Simulator& Simulator::Instance() {
  static Simulator* instance = new Simulator();  // never destroyed: calls may come late
  return *instance;
}

std::string Simulator::ConfigPath() const {
  const std::string env = Env("CLISITEF_SIM_CONFIG");
  if (!env.empty()) return env;
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&Simulator::Instance), &info) != 0 &&
      info.dli_fname != nullptr) {
    std::error_code ec;
    const auto dir = std::filesystem::absolute(info.dli_fname, ec).parent_path();
    const auto candidate = dir / "clisitef-sim.json";
    if (std::filesystem::exists(candidate, ec)) return candidate.string();
  }
  return std::string();
}

bool Simulator::EnsureConfig(bool reload) {
  if (FConfig && !reload) return FConfigError.empty();
  const std::string path = ConfigPath();
  FConfigError.clear();
  try {
    FConfig = LoadConfig(path);
  } catch (const std::exception& e) {
    FConfigError = e.what();
    std::fprintf(stderr, "clisitef simulator: %s\n", e.what());
    if (!FConfig) FConfig = LoadConfig(std::string());
  }
  const std::string journal = Env("CLISITEF_SIM_JOURNAL");
  FJournal.SetPath(journal.empty() ? FConfig->journal : journal);
  ApplyStatePath();
  if (!FConfigError.empty()) {
    FJournal.Write([&](JsonWriter& w) {
      Member(w, "event", "config_error");
      Member(w, "message", FConfigError);
    });
  }
  return FConfigError.empty();
}

void Simulator::ApplyStatePath() {
  const std::string env = Env("CLISITEF_SIM_STATE");
  const std::string path = env.empty() ? FConfig->state_file : env;
  if (path == FStatePath) return;
  FStatePath = path;
  if (path.empty()) return;
  try {
    FLedger.Load(path);
  } catch (const std::exception& e) {
    FJournal.Write([&](JsonWriter& w) {
      Member(w, "event", "state_error");
      Member(w, "message", e.what());
    });
  }
}

void Simulator::SaveState() {
  if (FStatePath.empty()) return;
  try {
    FLedger.Save(FStatePath);
  } catch (const std::exception& e) {
    FJournal.Write([&](JsonWriter& w) {
      Member(w, "event", "state_error");
      Member(w, "message", e.what());
    });
  }
}

void Simulator::WriteTransaction(JsonWriter& w, const char* key, const Transaction& t) const {
  w.Key(key);
  w.StartObject();
  Member(w, "id", t.id);
  Member(w, "function", t.function);
  Member(w, "kind", t.kind);
  Member(w, "status", t.status);
  for (const char* name : {"document", "date", "time", "value", "value_cents", "nsu", "nsu_host",
                           "authorization", "timestamp"}) {
    Member(w, name, t.var(name));
  }
  if (t.kind == "cancellation") Member(w, "cancels", t.cancels);
  if (t.kind == "payment") {
    w.Key("cancelled");
    w.Bool(t.cancelled);
  }
  if (!t.finished_by.empty()) {
    Member(w, "finished_by", t.finished_by);
    Member(w, "finish_document", t.finish_document);
    Member(w, "finish_date", t.finish_date);
    Member(w, "finish_time", t.finish_time);
  }
  w.EndObject();
}

void Simulator::AbandonDialogue(const std::string& reason) {
  if (!FDialogue) return;
  FJournal.Write([&](JsonWriter& w) {
    Member(w, "event", "abandoned");
    Member(w, "reason", reason);
    Member(w, "function", FDialogueFunction);
    Member(w, "scenario", FDialogue->scenario_name());
  });
  FDialogue.reset();
}

void Simulator::UndoPending(const std::string& reason) {
  Transaction* t = FLedger.Pending();
  if (t == nullptr) return;
  t->status = "undone";
  t->finished_by = reason;
  SaveState();
  FJournal.Write([&](JsonWriter& w) {
    Member(w, "event", "undone");
    Member(w, "reason", reason);
    WriteTransaction(w, "transaction", *t);
  });
}

int Simulator::Configure(const char* address, const char* store, const char* terminal,
                         short reserved, const char* parameters) {
  std::lock_guard<std::mutex> lock(FLock);
  const bool usable = EnsureConfig(true);
  AbandonDialogue("configuration");
  const std::string a = In(address);
  const std::string s = In(store);
  const std::string t = In(terminal);
  int result = kConfigurationUnusable;
  if (usable) {
    auto by_terminal = FConfig->configure_results_by_terminal.find(t);
    if (FConfig->configure_result) {
      result = *FConfig->configure_result;
    } else if (by_terminal != FConfig->configure_results_by_terminal.end()) {
      result = by_terminal->second;
    } else {
      result = DefaultConfigureResult(a, s, t);
    }
  }
  FConfigured = !IsConfigureError(result);
  if (FConfigured) {
    FConfigurationVars = {
        {"address", a}, {"store", s}, {"terminal", t}, {"parameters", In(parameters)}};
  }
  FJournal.Write([&](JsonWriter& w) {
    Member(w, "call", "ConfiguraIntSiTefInterativoEx");
    w.Key("args");
    w.StartObject();
    Member(w, "address", a);
    Member(w, "store", s);
    Member(w, "terminal", t);
    Member(w, "reserved", reserved);
    Member(w, "parameters", In(parameters));
    w.EndObject();
    Member(w, "config", FConfig->source);
    Member(w, "result", result);
  });
  return result;
}

int Simulator::Start(int function, const char* value, const char* document, const char* date,
                     const char* time, const char* op, const char* restrictions) {
  std::lock_guard<std::mutex> lock(FLock);
  EnsureConfig(false);
  int result = kContinue;
  std::string scenario_name;
  const Transaction* approved = nullptr;
  if (!FConfigured) {
    result = kNotInitialised;
  } else if (FConfig->functions.find(function) == FConfig->functions.end()) {
    result = kInvalidFunction;  // nothing starts, so nothing is abandoned or undone
  } else {
    AbandonDialogue("next_function");
    // A transaction approved but never confirmed or undone does not survive the
    // start of the next function: the host undoes it.
    UndoPending("next_function");
    scenario_name = FConfig->functions.at(function);
    Vars vars = FConfig->variables;
    for (const auto& [k, v] : FConfigurationVars) vars[k] = v;
    const std::string raw = In(value);
    long cents = 0;
    if (!ParseAmount(raw, cents)) cents = 0;
    vars["function"] = std::to_string(function);
    vars["value"] = raw;
    vars["value_cents"] = std::to_string(cents);
    vars["amount"] = FormatCents(cents);
    vars["amount_display"] = FormatCentsGrouped(cents);
    vars["cents"] = Pad(cents % 100, 2);
    vars["document"] = In(document);
    vars["date"] = In(date);
    vars["date_ddmmyyyy"] = DayFirst(In(date));
    vars["time"] = In(time);
    vars["operator"] = In(op);
    vars["restrictions"] = In(restrictions);
    FDialogue = std::make_unique<Dialogue>(FConfig, FConfig->scenarios.at(scenario_name),
                                           std::move(vars), *this);
    FDialogueFunction = function;
    // A function with nothing to ask ends here: the start returns its final
    // result and no dialogue follows.
    if (std::optional<DialogueOutput> done = FDialogue->EndsAtStart()) {
      result = done->result;
      approved = RecordIfApproved(*done);
      FDialogue.reset();
    }
  }
  FJournal.Write([&](JsonWriter& w) {
    Member(w, "call", "IniciaFuncaoSiTefInterativo");
    w.Key("args");
    w.StartObject();
    Member(w, "function", function);
    Member(w, "value", In(value));
    Member(w, "document", In(document));
    Member(w, "date", In(date));
    Member(w, "time", In(time));
    Member(w, "operator", In(op));
    Member(w, "restrictions", In(restrictions));
    w.EndObject();
    if (!scenario_name.empty()) Member(w, "scenario", scenario_name);
    Member(w, "result", result);
  });
  JournalApproval(approved);
  return result;
}

const Transaction* Simulator::RecordIfApproved(const DialogueOutput& out) {
  if (out.result != clisitef::kOk || out.record.empty()) return nullptr;
  Transaction t;
  t.function = FDialogueFunction;
  t.kind = out.record;
  t.status = "pending";
  t.vars = FDialogue->vars();
  if (t.kind == "cancellation") t.cancels = std::atoi(t.var("orig_id").c_str());
  const Transaction* added = &FLedger.Add(std::move(t));
  SaveState();
  return added;
}

void Simulator::JournalApproval(const Transaction* approved) {
  if (approved == nullptr) return;
  FJournal.Write([&](JsonWriter& w) {
    Member(w, "event", "approved");
    WriteTransaction(w, "transaction", *approved);
  });
}

int Simulator::Continue(int* command, int* field, short* min, short* max, char* buffer, int size,
                        int continuation) {
  std::lock_guard<std::mutex> lock(FLock);
  EnsureConfig(false);
  const bool args_ok = command != nullptr && field != nullptr && min != nullptr && max != nullptr &&
                       buffer != nullptr && size > 0;
  const std::string answer =
      args_ok ? Cp1252ToUtf8(std::string(buffer, strnlen(buffer, static_cast<std::size_t>(size))))
              : std::string();
  int result = kContinue;
  DialogueOutput out;
  if (!args_ok) {
    result = kBadArguments;
  } else if (!FDialogue) {
    result = kNotInitialised;
  } else {
    out = FDialogue->Continue(continuation, answer);
    if (out.finished) result = out.result;
  }
  if (args_ok) {
    if (result == kContinue) {
      *command = out.command;
      *field = out.field;
      *min = static_cast<short>(out.min);
      *max = static_cast<short>(out.max);
    } else {
      *command = 0;
      *field = clisitef::kCampoNenhum;
      *min = 0;
      *max = 0;
    }
    CopyOut(buffer, static_cast<std::size_t>(size), Utf8ToCp1252(out.text));
  }
  const Transaction* approved = nullptr;
  std::string scenario;
  if (FDialogue && out.finished) {
    scenario = FDialogue->scenario_name();
    approved = RecordIfApproved(out);
    FDialogue.reset();
  }
  FJournal.Write([&](JsonWriter& w) {
    Member(w, "call", "ContinuaFuncaoSiTefInterativo");
    w.Key("args");
    w.StartObject();
    Member(w, "continuation", continuation);
    Member(w, "buffer", answer);
    Member(w, "buffer_size", size);
    w.EndObject();
    if (result == kContinue) {
      Member(w, "command", out.command);
      Member(w, "field_type", out.field);
      Member(w, "min", out.min);
      Member(w, "max", out.max);
    }
    Member(w, "buffer", out.text);
    if (!scenario.empty()) Member(w, "scenario", scenario);
    Member(w, "result", result);
  });
  JournalApproval(approved);
  return result;
}

int Simulator::Finish(const char* entry, int confirm, const char* document, const char* date,
                      const char* time, const char* parameters, bool has_parameters) {
  std::lock_guard<std::mutex> lock(FLock);
  EnsureConfig(false);
  AbandonDialogue("finish");
  Transaction* t = FLedger.Pending();
  std::string outcome = "nothing_pending";
  // The library finishes a transaction only when it is named by the document,
  // date and time its function was started with; anything else leaves it
  // pending (and the next start undoes it).
  if (t != nullptr && (t->var("document") != In(document) || t->var("date") != In(date) ||
                       t->var("time") != In(time))) {
    outcome = "mismatch";
  } else if (t != nullptr) {
    t->finished_by = entry;
    t->finish_document = In(document);
    t->finish_date = In(date);
    t->finish_time = In(time);
    if (confirm != 0) {
      t->status = "confirmed";
      outcome = "confirmed";
      if (t->kind == "cancellation") {
        if (Transaction* original = FLedger.Find(t->cancels)) original->cancelled = true;
      }
    } else {
      t->status = "undone";
      outcome = "undone";
    }
    SaveState();
  }
  FJournal.Write([&](JsonWriter& w) {
    Member(w, "call", entry);
    w.Key("args");
    w.StartObject();
    Member(w, "confirm", confirm);
    Member(w, "document", In(document));
    Member(w, "date", In(date));
    Member(w, "time", In(time));
    if (has_parameters) Member(w, "parameters", In(parameters));
    w.EndObject();
    Member(w, "outcome", outcome);
    if (t != nullptr) WriteTransaction(w, "transaction", *t);
    Member(w, "result", 0);
  });
  return 0;
}

int Simulator::ReadTrack3(char* buffer) {
  std::lock_guard<std::mutex> lock(FLock);
  EnsureConfig(false);
  int result = kContinue;
  if (!FConfigured) {
    result = kNotInitialised;
  } else if (FConfig->track3_scenario.empty()) {
    result = kInvalidFunction;
  } else {
    AbandonDialogue("next_function");
    Vars vars = FConfig->variables;
    for (const auto& [k, v] : FConfigurationVars) vars[k] = v;
    FDialogue = std::make_unique<Dialogue>(FConfig, FConfig->scenarios.at(FConfig->track3_scenario),
                                           std::move(vars), *this);
    FDialogueFunction = -1;
  }
  if (buffer != nullptr) buffer[0] = '\0';
  FJournal.Write([&](JsonWriter& w) {
    Member(w, "call", "LeTrilha3");
    Member(w, "result", result);
  });
  return result;
}

int Simulator::ReadCardSecure(const char* entry) {
  std::lock_guard<std::mutex> lock(FLock);
  EnsureConfig(false);
  const int result = FConfigured ? 0 : kNotInitialised;
  FJournal.Write([&](JsonWriter& w) {
    Member(w, "call", entry);
    Member(w, "result", result);
  });
  return result;
}

int Simulator::ReadCardDirectEx(char* number, char* track2, char* track1, short timeout,
                                int reserved) {
  std::lock_guard<std::mutex> lock(FLock);
  EnsureConfig(false);
  auto var = [&](const char* name) {
    auto it = FConfig->variables.find(name);
    return it == FConfig->variables.end() ? std::string() : it->second;
  };
  int result = kNotInitialised;
  std::string n;
  std::string t2;
  std::string t1;
  if (FConfigured) {
    result = 0;
    n = var("reader_card_number");
    t2 = var("reader_track2");
    t1 = var("reader_track1");
  }
  CopyOut(number, 25, Utf8ToCp1252(n));
  CopyOut(track2, 129, Utf8ToCp1252(t2));
  CopyOut(track1, 129, Utf8ToCp1252(t1));
  FJournal.Write([&](JsonWriter& w) {
    Member(w, "call", "LeCartaoDiretoEx");
    w.Key("args");
    w.StartObject();
    Member(w, "timeout", timeout);
    Member(w, "reserved", reserved);
    w.EndObject();
    Member(w, "number", n);
    Member(w, "track2", t2);
    Member(w, "track1", t1);
    Member(w, "result", result);
  });
  return result;
}

int Simulator::WritePermanentMessage(const char* message) {
  std::lock_guard<std::mutex> lock(FLock);
  EnsureConfig(false);
  const int result = FConfigured ? 0 : kNotInitialised;
  if (FConfigured) FPermanentMessage = In(message);
  FJournal.Write([&](JsonWriter& w) {
    Member(w, "call", "EscreveMensagemPermanentePinPad");
    w.Key("args");
    w.StartObject();
    Member(w, "message", In(message));
    w.EndObject();
    Member(w, "result", result);
  });
  return result;
}

int Simulator::PendingCount(const char* date, const char* document) {
  std::lock_guard<std::mutex> lock(FLock);
  EnsureConfig(false);
  const std::string d = Trim(In(date));
  int count = 0;
  for (const auto& t : FLedger.transactions()) {
    if (t.status == "pending" && (d.empty() || t.var("date") == d)) ++count;
  }
  FJournal.Write([&](JsonWriter& w) {
    Member(w, "call", "ObtemQuantidadeTransacoesPendentes");
    w.Key("args");
    w.StartObject();
    Member(w, "date", In(date));
    Member(w, "document", In(document));
    w.EndObject();
    Member(w, "result", count);
  });
  return count;
}

int Simulator::PinPadPresence() {
  std::lock_guard<std::mutex> lock(FLock);
  EnsureConfig(false);
  const int result = FConfig->pinpad_present;
  FJournal.Write([&](JsonWriter& w) {
    Member(w, "call", "VerificaPresencaPinPad");
    Member(w, "result", result);
  });
  return result;
}

void Simulator::Fault(const char* entry, long call_number, int result) {
  try {
    std::lock_guard<std::mutex> lock(FLock);
    EnsureConfig(false);
    FJournal.Write([&](JsonWriter& w) {
      Member(w, "event", "fault");
      Member(w, "call", entry);
      Member(w, "call_number", static_cast<int>(call_number));
      Member(w, "result", result);
    });
  } catch (...) {
  }
}

void Simulator::InternalError(const char* entry, const char* what) {
  std::fprintf(stderr, "clisitef simulator: %s: %s\n", entry, what);
  try {
    std::lock_guard<std::mutex> lock(FLock);
    FJournal.Write([&](JsonWriter& w) {
      Member(w, "event", "internal_error");
      Member(w, "call", entry);
      Member(w, "message", what);
      Member(w, "result", kInternalError);
    });
  } catch (...) {
  }
}

void Simulator::Pause(int milliseconds) {
  if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void Simulator::CopyAsOriginal(const Transaction& t, Vars& vars) {
  for (const auto& [k, v] : t.vars) {
    if (k.rfind("orig_", 0) == 0 || k.rfind("cancel_", 0) == 0) continue;
    vars["orig_" + k] = v;
  }
  vars["orig_id"] = std::to_string(t.id);
  vars["orig_kind"] = t.kind;
}

void Simulator::FindTransaction(Vars& vars, const std::string& want) {
  const bool cancellation = want == "find_payment";
  const std::string prefix = cancellation ? "cancel_" : "reprint_";
  long cents = -1;
  if (cancellation && !ParseAmount(vars[prefix + "value"], cents)) cents = -1;
  const std::string date = Trim(vars[prefix + "date"]);
  const std::string nsu = vars[prefix + "nsu"];
  auto& all = FLedger.transactions();
  for (auto it = all.rbegin(); it != all.rend(); ++it) {
    const Transaction& t = *it;
    if (t.status != "confirmed") continue;
    if (cancellation && t.kind != "payment") continue;
    if (cancellation && t.var("value_cents") != std::to_string(cents)) continue;
    if (date != t.var("auth_date") && date != DayFirst(t.var("date"))) continue;
    if (!SameNumber(nsu, t.var("nsu")) && !SameNumber(nsu, t.var("nsu_host"))) continue;
    CopyAsOriginal(t, vars);
    vars["found"] = cancellation && t.cancelled ? "cancelled" : "yes";
    return;
  }
  vars["found"] = "no";
}

void Simulator::RunAction(const std::string& action, Vars& vars) {
  if (action == "authorize") {
    const long seq = FLedger.NextSequence();
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    char ts[32];
    std::strftime(ts, sizeof ts, "%Y%m%d%H%M%S", &tm);
    char day[16];
    std::strftime(day, sizeof day, "%d%m%Y", &tm);
    char slash[16];
    std::strftime(slash, sizeof slash, "%d/%m/%Y", &tm);
    char hm[16];
    std::strftime(hm, sizeof hm, "%H:%M", &tm);
    char hms[16];
    std::strftime(hms, sizeof hms, "%H:%M:%S", &tm);
    vars["sequence"] = std::to_string(seq);
    vars["nsu"] = Pad(seq % 1000000, 6);
    vars["nsu_host"] = Pad((500000000L + seq * 7919L) % 1000000000L, 9);
    vars["authorization"] = Pad((104729L + seq * 15485863L) % 1000000L, 6);
    vars["timestamp"] = ts;
    vars["auth_date"] = day;
    vars["auth_date_slash"] = slash;
    vars["auth_time"] = hm;
    vars["auth_time_full"] = hms;
    const std::string seed = vars["nsu"] + ts + vars["value_cents"] + vars["terminal"];
    vars["hash"] = Hex64(Fnv1a(seed)) + Hex64(Fnv1a(seed, Fnv1a(ts)));
  } else if (action == "find_payment" || action == "find_transaction") {
    FindTransaction(vars, action);
  } else if (action == "find_last_receipt") {
    auto& all = FLedger.transactions();
    for (auto it = all.rbegin(); it != all.rend(); ++it) {
      if (it->status == "confirmed" && !it->var("receipt_customer").empty()) {
        CopyAsOriginal(*it, vars);
        vars["found"] = "yes";
        return;
      }
    }
    vars["found"] = "no";
  } else if (action == "mask_card") {
    // A typed number as a host prints it: first six and last four digits.
    const std::string number = vars["typed_card"];
    vars["card"] = number.size() > 10 ? number.substr(0, 6) + std::string(number.size() - 10, '*') +
                                            number.substr(number.size() - 4)
                                      : std::string(number.size(), '*');
  } else if (action == "pix_qrcode") {
    long cents = 0;
    if (!ParseDigits(vars["value_cents"], cents)) cents = 0;
    const std::string amount = std::to_string(cents / 100) + "." + Pad(cents % 100, 2);
    const std::string account =
        Tlv("00", "br.gov.bcb.pix") + Tlv("01", vars["pix_key"].empty() ? "sim" : vars["pix_key"]);
    const std::string txid = AsciiUpper("SIM" + vars["terminal"] + vars["nsu"], 25);
    std::string payload =
        Tlv("00", "01") + Tlv("26", account) + Tlv("52", "0000") + Tlv("53", "986") +
        Tlv("54", amount) + Tlv("58", "BR") + Tlv("59", AsciiUpper(vars["store_name"], 25)) +
        Tlv("60", AsciiUpper(vars["pix_city"], 15)) + Tlv("62", Tlv("05", txid)) + "6304";
    char crc[8];
    std::snprintf(crc, sizeof crc, "%04X", Crc16Ccitt(payload));
    vars["pix_qrcode"] = payload + crc;
    vars["pix_txid"] = txid;
  }
}

}  // namespace clisitef_sim
