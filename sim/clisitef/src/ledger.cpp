#include "ledger.h"

#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace clisitef_sim {

Transaction& Ledger::Add(Transaction t) {
  t.id = FNextId++;
  FTransactions.push_back(std::move(t));
  return FTransactions.back();
}

Transaction* Ledger::Pending() {
  for (auto it = FTransactions.rbegin(); it != FTransactions.rend(); ++it) {
    if (it->status == "pending") return &*it;
  }
  return nullptr;
}

Transaction* Ledger::Find(int id) {
  for (auto& t : FTransactions) {
    if (t.id == id) return &t;
  }
  return nullptr;
}

long Ledger::NextSequence() { return ++FSequence; }

void Ledger::Save(const std::string& path) const {
  rapidjson::StringBuffer buf;
  rapidjson::Writer<rapidjson::StringBuffer> w(buf);
  w.StartObject();
  w.Key("next_id");
  w.Int(FNextId);
  w.Key("sequence");
  w.Int64(FSequence);
  w.Key("transactions");
  w.StartArray();
  for (const auto& t : FTransactions) {
    w.StartObject();
    w.Key("id");
    w.Int(t.id);
    w.Key("function");
    w.Int(t.function);
    w.Key("kind");
    w.String(t.kind);
    w.Key("status");
    w.String(t.status);
    w.Key("cancels");
    w.Int(t.cancels);
    w.Key("cancelled");
    w.Bool(t.cancelled);
    w.Key("finished_by");
    w.String(t.finished_by);
    w.Key("finish_document");
    w.String(t.finish_document);
    w.Key("finish_date");
    w.String(t.finish_date);
    w.Key("finish_time");
    w.String(t.finish_time);
    w.Key("vars");
    w.StartObject();
    for (const auto& [k, v] : t.vars) {
      w.Key(k.c_str(), static_cast<rapidjson::SizeType>(k.size()));
      w.String(v);
    }
    w.EndObject();
    w.EndObject();
  }
  w.EndArray();
  w.EndObject();
  const std::string tmp = path + ".tmp";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    out << buf.GetString() << '\n';
    out.flush();
    if (!out) throw std::runtime_error(tmp + ": cannot be written");
  }
  std::error_code ec;
  std::filesystem::rename(tmp, path, ec);
  if (ec) throw std::runtime_error(path + ": " + ec.message());
}

void Ledger::Load(const std::string& path) {
  FTransactions.clear();
  FNextId = 1;
  FSequence = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in) return;  // no state yet
  std::ostringstream text;
  text << in.rdbuf();
  rapidjson::Document d;
  d.Parse(text.str().c_str());
  if (d.HasParseError() || !d.IsObject() || !d.HasMember("transactions") ||
      !d["transactions"].IsArray()) {
    throw std::runtime_error(path + ": not a simulator state file");
  }
  auto str = [](const rapidjson::Value& o, const char* k) {
    return o.HasMember(k) && o[k].IsString() ? std::string(o[k].GetString()) : std::string();
  };
  auto num = [](const rapidjson::Value& o, const char* k) {
    return o.HasMember(k) && o[k].IsInt() ? o[k].GetInt() : 0;
  };
  for (const auto& o : d["transactions"].GetArray()) {
    if (!o.IsObject()) continue;
    Transaction t;
    t.id = num(o, "id");
    t.function = num(o, "function");
    t.kind = str(o, "kind");
    t.status = str(o, "status");
    t.cancels = num(o, "cancels");
    t.cancelled = o.HasMember("cancelled") && o["cancelled"].IsBool() && o["cancelled"].GetBool();
    t.finished_by = str(o, "finished_by");
    t.finish_document = str(o, "finish_document");
    t.finish_date = str(o, "finish_date");
    t.finish_time = str(o, "finish_time");
    if (o.HasMember("vars") && o["vars"].IsObject()) {
      for (auto m = o["vars"].MemberBegin(); m != o["vars"].MemberEnd(); ++m) {
        if (m->value.IsString()) t.vars[m->name.GetString()] = m->value.GetString();
      }
    }
    FTransactions.push_back(std::move(t));
  }
  FNextId = d.HasMember("next_id") && d["next_id"].IsInt() ? d["next_id"].GetInt() : 1;
  for (const auto& t : FTransactions) FNextId = std::max(FNextId, t.id + 1);
  FSequence = d.HasMember("sequence") && d["sequence"].IsInt64() ? d["sequence"].GetInt64() : 0;
}

}  // namespace clisitef_sim
