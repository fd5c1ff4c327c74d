#include "config.h"

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>
#include <utility>

namespace clisitef_sim {

extern const unsigned char kDefaultConfig[];
extern const std::size_t kDefaultConfigSize;

namespace {

using rapidjson::Value;

[[noreturn]] void Fail(const std::string& where, const std::string& what) {
  throw std::runtime_error(where + ": " + what);
}

rapidjson::Document ParseText(const std::string& text, const std::string& origin) {
  rapidjson::Document doc;
  doc.Parse<rapidjson::kParseValidateEncodingFlag>(text.data(), text.size());
  if (doc.HasParseError()) {
    Fail(origin, std::string("JSON error at offset ") + std::to_string(doc.GetErrorOffset()) +
                     ": " + rapidjson::GetParseError_En(doc.GetParseError()));
  }
  if (!doc.IsObject()) Fail(origin, "the configuration must be a JSON object");
  return doc;
}

// Keys whose objects are merged entry by entry instead of replaced whole.
const std::set<std::string> kMergedKeys = {"functions", "scenarios", "variables", "messages",
                                           "configure_results_by_terminal"};

void Overlay(rapidjson::Document& base, const Value& over) {
  auto& alloc = base.GetAllocator();
  for (auto m = over.MemberBegin(); m != over.MemberEnd(); ++m) {
    const std::string key = m->name.GetString();
    // Mutable member iterators are compared with the const end: RapidJSON's
    // mutable-to-mutable comparison is ambiguous under C++20's rewritten
    // operators (clang warns), the mixed one is not.
    auto existing = base.FindMember(m->name);
    const bool exists = existing != std::as_const(base).MemberEnd();
    if (kMergedKeys.count(key) && m->value.IsObject() && exists && existing->value.IsObject()) {
      for (auto e = m->value.MemberBegin(); e != m->value.MemberEnd(); ++e) {
        auto old = existing->value.FindMember(e->name);
        if (old != std::as_const(existing->value).MemberEnd()) {
          old->value.CopyFrom(e->value, alloc);
        } else {
          existing->value.AddMember(Value(e->name, alloc), Value(e->value, alloc), alloc);
        }
      }
    } else if (exists) {
      existing->value.CopyFrom(m->value, alloc);
    } else {
      base.AddMember(Value(m->name, alloc), Value(m->value, alloc), alloc);
    }
  }
}

int GetInt(const Value& v, const std::string& where) {
  if (!v.IsInt()) Fail(where, "must be an integer");
  return v.GetInt();
}

std::string GetString(const Value& v, const std::string& where) {
  if (!v.IsString()) Fail(where, "must be a string");
  return std::string(v.GetString(), v.GetStringLength());
}

// Texts may be given as a string or as an array of lines joined with line feeds,
// which keeps long receipts readable in the file.
std::string GetText(const Value& v, const std::string& where) {
  if (v.IsString()) return GetString(v, where);
  if (!v.IsArray()) Fail(where, "must be a string or an array of lines");
  std::string out;
  for (rapidjson::SizeType i = 0; i < v.Size(); ++i) {
    if (i) out += '\n';
    out += GetString(v[i], where + "[" + std::to_string(i) + "]");
  }
  return out;
}

Steps ParseSteps(const Value& v, const std::string& where);

void CheckKeys(const Value& v, const std::set<std::string>& allowed, const std::string& where) {
  for (auto m = v.MemberBegin(); m != v.MemberEnd(); ++m) {
    const std::string key = m->name.GetString();
    if (!allowed.count(key)) Fail(where, "unknown key \"" + key + "\"");
  }
}

const std::set<std::string> kActions = {"authorize",        "find_payment", "find_last_receipt",
                                        "find_transaction", "pix_qrcode",   "mask_card"};

Step ParseStep(const Value& v, const std::string& where) {
  if (!v.IsObject()) Fail(where, "a step must be an object");
  Step s;
  const char* kinds[] = {"cmd", "wait", "end", "switch", "if", "call", "set", "action"};
  int found = 0;
  for (const char* k : kinds) found += v.HasMember(k) ? 1 : 0;
  if (found != 1) {
    Fail(where, "a step needs exactly one of cmd, wait, end, switch, if, call, set, action");
  }
  if (v.HasMember("cmd")) {
    CheckKeys(v,
              {"cmd", "field", "min", "max", "text", "abort", "keep", "check", "range", "pad",
               "options", "no", "comment"},
              where);
    s.kind = Step::Kind::kCommand;
    s.command = GetInt(v["cmd"], where + ".cmd");
    if (v.HasMember("field")) s.field = GetInt(v["field"], where + ".field");
    if (v.HasMember("min")) s.min = GetInt(v["min"], where + ".min");
    if (v.HasMember("max")) s.max = GetInt(v["max"], where + ".max");
    if (s.min < 0 || s.max < 0 || s.min > 32767 || s.max > 32767) {
      Fail(where, "min and max must be between 0 and 32767");
    }
    if (v.HasMember("text")) s.text = GetText(v["text"], where + ".text");
    if (v.HasMember("abort")) s.abort = GetInt(v["abort"], where + ".abort");
    if (v.HasMember("keep")) s.keep = GetString(v["keep"], where + ".keep");
    if (v.HasMember("check")) {
      s.check = GetString(v["check"], where + ".check");
      if (s.check != "digits" && s.check != "amount" && s.check != "date" && !s.check.empty()) {
        Fail(where + ".check", "must be digits, amount or date");
      }
    }
    if (v.HasMember("range")) {
      const Value& r = v["range"];
      if (!r.IsArray() || r.Size() != 2 || !r[0].IsInt64() || !r[1].IsInt64()) {
        Fail(where + ".range", "must be [low, high]");
      }
      s.range =
          std::make_pair(static_cast<long>(r[0].GetInt64()), static_cast<long>(r[1].GetInt64()));
    }
    if (v.HasMember("pad")) s.pad = GetInt(v["pad"], where + ".pad");
    if (v.HasMember("options")) {
      if (s.command != clisitef::kCmdMenu) Fail(where, "options belong to a menu (cmd 21)");
      const Value& o = v["options"];
      if (!o.IsObject()) Fail(where + ".options", "must be an object");
      for (auto m = o.MemberBegin(); m != o.MemberEnd(); ++m) {
        const std::string key = m->name.GetString();
        s.branches[key] = ParseSteps(m->value, where + ".options." + key);
      }
    }
    if (v.HasMember("no")) {
      if (s.command != clisitef::kCmdSimNao)
        Fail(where, "no belongs to a yes/no question (cmd 20)");
      s.no_steps = ParseSteps(v["no"], where + ".no");
    }
  } else if (v.HasMember("wait")) {
    CheckKeys(v, {"wait", "checks", "abort", "text", "comment"}, where);
    s.kind = Step::Kind::kWait;
    s.command = clisitef::kCmdVerificaInterrupcao;
    s.wait_name = GetString(v["wait"], where + ".wait");
    if (v.HasMember("checks")) s.checks = GetInt(v["checks"], where + ".checks");
    if (v.HasMember("abort")) s.abort = GetInt(v["abort"], where + ".abort");
    if (v.HasMember("text")) s.text = GetText(v["text"], where + ".text");
  } else if (v.HasMember("end")) {
    CheckKeys(v, {"end", "record", "buffer", "comment"}, where);
    s.kind = Step::Kind::kEnd;
    const Value& e = v["end"];
    if (e.IsInt()) {
      s.result = std::to_string(e.GetInt());
    } else {
      s.result = GetString(e, where + ".end");
    }
    if (v.HasMember("record")) {
      s.record = GetString(v["record"], where + ".record");
      if (s.record != "payment" && s.record != "cancellation" && !s.record.empty()) {
        Fail(where + ".record", "must be payment or cancellation");
      }
    }
    if (v.HasMember("buffer")) s.buffer = GetText(v["buffer"], where + ".buffer");
  } else if (v.HasMember("switch")) {
    CheckKeys(v, {"switch", "cases", "default", "comment"}, where);
    s.kind = Step::Kind::kSwitch;
    s.subject = GetString(v["switch"], where + ".switch");
    if (v.HasMember("cases")) {
      const Value& c = v["cases"];
      if (!c.IsObject()) Fail(where + ".cases", "must be an object");
      for (auto m = c.MemberBegin(); m != c.MemberEnd(); ++m) {
        const std::string key = m->name.GetString();
        s.branches[key] = ParseSteps(m->value, where + ".cases." + key);
      }
    }
    if (v.HasMember("default")) s.default_steps = ParseSteps(v["default"], where + ".default");
  } else if (v.HasMember("if")) {
    CheckKeys(v, {"if", "then", "else", "comment"}, where);
    s.kind = Step::Kind::kIf;
    const Value& c = v["if"];
    if (!c.IsObject() || c.MemberCount() != 1) {
      Fail(where + ".if",
           "must be {\"contains\": [a, b]}, {\"equals\": [a, b]} or {\"not_empty\": a}");
    }
    const std::string op = c.MemberBegin()->name.GetString();
    const Value& arg = c.MemberBegin()->value;
    if (op == "not_empty") {
      s.condition.op = Condition::Op::kNotEmpty;
      s.condition.left = GetString(arg, where + ".if.not_empty");
    } else if (op == "contains" || op == "equals") {
      if (!arg.IsArray() || arg.Size() != 2) Fail(where + ".if." + op, "must be [a, b]");
      s.condition.op = op == "contains" ? Condition::Op::kContains : Condition::Op::kEquals;
      s.condition.left = GetString(arg[0], where + ".if." + op + "[0]");
      s.condition.right = GetString(arg[1], where + ".if." + op + "[1]");
    } else {
      Fail(where + ".if", "unknown condition \"" + op + "\"");
    }
    if (v.HasMember("then")) s.then_steps = ParseSteps(v["then"], where + ".then");
    if (v.HasMember("else")) s.else_steps = ParseSteps(v["else"], where + ".else");
  } else if (v.HasMember("call")) {
    CheckKeys(v, {"call", "comment"}, where);
    s.kind = Step::Kind::kCall;
    s.call = GetString(v["call"], where + ".call");
  } else if (v.HasMember("set")) {
    CheckKeys(v, {"set", "comment"}, where);
    s.kind = Step::Kind::kSet;
    const Value& o = v["set"];
    if (!o.IsObject()) Fail(where + ".set", "must be an object");
    for (auto m = o.MemberBegin(); m != o.MemberEnd(); ++m) {
      const std::string key = m->name.GetString();
      s.sets.emplace_back(key, GetText(m->value, where + ".set." + key));
    }
  } else {
    CheckKeys(v, {"action", "comment"}, where);
    s.kind = Step::Kind::kAction;
    s.action = GetString(v["action"], where + ".action");
    if (!kActions.count(s.action)) Fail(where + ".action", "unknown action \"" + s.action + "\"");
  }
  return s;
}

Steps ParseSteps(const Value& v, const std::string& where) {
  if (!v.IsArray()) Fail(where, "must be an array of steps");
  Steps steps;
  for (rapidjson::SizeType i = 0; i < v.Size(); ++i) {
    steps.push_back(ParseStep(v[i], where + "[" + std::to_string(i) + "]"));
  }
  return steps;
}

void CheckCalls(const Steps& steps, const Config& c, const std::string& where) {
  for (const Step& s : steps) {
    if (s.kind == Step::Kind::kCall && !c.scenarios.count(s.call)) {
      Fail(where, "call of unknown scenario \"" + s.call + "\"");
    }
    for (const auto& [key, b] : s.branches) CheckCalls(b, c, where);
    if (s.no_steps) CheckCalls(*s.no_steps, c, where);
    if (s.default_steps) CheckCalls(*s.default_steps, c, where);
    CheckCalls(s.then_steps, c, where);
    CheckCalls(s.else_steps, c, where);
  }
}

std::string ResolvePath(const std::string& p, const std::filesystem::path& base) {
  if (p.empty()) return p;
  std::filesystem::path path(p);
  if (path.is_relative() && !base.empty()) path = base / path;
  return path.string();
}

void ReadConfig(const rapidjson::Document& d, Config& c, const std::filesystem::path& base) {
  CheckKeys(d,
            {"configure_result", "configure_results_by_terminal", "pinpad_present",
             "interruption_delay_ms", "wait_checks", "abort_result", "journal", "state_file",
             "track3_scenario", "functions", "scenarios", "variables", "messages", "comment"},
            "configuration");
  if (d.HasMember("configure_result") && !d["configure_result"].IsNull()) {
    c.configure_result = GetInt(d["configure_result"], "configure_result");
  }
  if (d.HasMember("configure_results_by_terminal")) {
    const Value& o = d["configure_results_by_terminal"];
    if (!o.IsObject()) Fail("configure_results_by_terminal", "must be an object");
    for (auto m = o.MemberBegin(); m != o.MemberEnd(); ++m) {
      c.configure_results_by_terminal[m->name.GetString()] =
          GetInt(m->value, std::string("configure_results_by_terminal.") + m->name.GetString());
    }
  }
  if (d.HasMember("pinpad_present"))
    c.pinpad_present = GetInt(d["pinpad_present"], "pinpad_present");
  if (d.HasMember("interruption_delay_ms")) {
    c.interruption_delay_ms = GetInt(d["interruption_delay_ms"], "interruption_delay_ms");
    if (c.interruption_delay_ms < 0 || c.interruption_delay_ms > 60000) {
      Fail("interruption_delay_ms", "must be between 0 and 60000");
    }
  }
  if (d.HasMember("wait_checks")) {
    c.wait_checks = GetInt(d["wait_checks"], "wait_checks");
    if (c.wait_checks < 0 || c.wait_checks > 100000) Fail("wait_checks", "must be 0 or more");
  }
  if (d.HasMember("abort_result")) c.abort_result = GetInt(d["abort_result"], "abort_result");
  if (d.HasMember("journal") && !d["journal"].IsNull()) {
    c.journal = ResolvePath(GetString(d["journal"], "journal"), base);
  }
  if (d.HasMember("state_file") && !d["state_file"].IsNull()) {
    c.state_file = ResolvePath(GetString(d["state_file"], "state_file"), base);
  }
  if (d.HasMember("track3_scenario")) {
    c.track3_scenario = GetString(d["track3_scenario"], "track3_scenario");
  }
  for (const char* key : {"variables", "messages"}) {
    if (!d.HasMember(key)) continue;
    const Value& o = d[key];
    if (!o.IsObject()) Fail(key, "must be an object");
    auto& target = std::string(key) == "variables" ? c.variables : c.messages;
    for (auto m = o.MemberBegin(); m != o.MemberEnd(); ++m) {
      target[m->name.GetString()] = GetText(m->value, std::string(key) + "." + m->name.GetString());
    }
  }
  if (d.HasMember("scenarios")) {
    const Value& o = d["scenarios"];
    if (!o.IsObject()) Fail("scenarios", "must be an object");
    for (auto m = o.MemberBegin(); m != o.MemberEnd(); ++m) {
      const std::string name = m->name.GetString();
      const std::string where = "scenarios." + name;
      Scenario sc;
      sc.name = name;
      if (m->value.IsArray()) {
        sc.steps = ParseSteps(m->value, where);
      } else if (m->value.IsObject()) {
        CheckKeys(m->value, {"description", "steps", "comment"}, where);
        if (m->value.HasMember("description")) {
          sc.description = GetText(m->value["description"], where + ".description");
        }
        if (!m->value.HasMember("steps")) Fail(where, "needs steps");
        sc.steps = ParseSteps(m->value["steps"], where + ".steps");
      } else if (m->value.IsNull()) {
        continue;  // null removes a built-in scenario
      } else {
        Fail(where, "must be an object with steps or an array of steps");
      }
      c.scenarios[name] = std::move(sc);
    }
  }
  if (d.HasMember("functions")) {
    const Value& o = d["functions"];
    if (!o.IsObject()) Fail("functions", "must be an object");
    for (auto m = o.MemberBegin(); m != o.MemberEnd(); ++m) {
      const std::string key = m->name.GetString();
      const std::string where = "functions." + key;
      std::size_t used = 0;
      int code = 0;
      try {
        code = std::stoi(key, &used);
      } catch (const std::exception&) {
        used = 0;
      }
      if (used != key.size() || key.empty()) Fail(where, "the key must be a function code");
      if (m->value.IsNull()) {
        c.functions.erase(code);
        continue;
      }
      const std::string name = GetString(m->value, where);
      if (!c.scenarios.count(name)) Fail(where, "unknown scenario \"" + name + "\"");
      c.functions[code] = name;
    }
  }
  for (const auto& [name, sc] : c.scenarios) CheckCalls(sc.steps, c, "scenarios." + name);
  if (!c.track3_scenario.empty() && !c.scenarios.count(c.track3_scenario)) {
    Fail("track3_scenario", "unknown scenario \"" + c.track3_scenario + "\"");
  }
}

}  // namespace

std::shared_ptr<const Config> LoadConfig(const std::string& path) {
  rapidjson::Document merged =
      ParseText(std::string(reinterpret_cast<const char*>(kDefaultConfig), kDefaultConfigSize),
                "built-in configuration");
  auto config = std::make_shared<Config>();
  config->source = "built-in";
  std::filesystem::path base;
  if (!path.empty()) {
    std::ifstream in(path, std::ios::binary);
    if (!in) Fail(path, "cannot be read");
    std::ostringstream text;
    text << in.rdbuf();
    rapidjson::Document over = ParseText(text.str(), path);
    Overlay(merged, over);
    config->source = path;
    base = std::filesystem::path(path).parent_path();
  }
  ReadConfig(merged, *config, base);
  return config;
}

}  // namespace clisitef_sim
