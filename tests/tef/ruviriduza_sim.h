// A private copy of the TEF library simulator per test: the library copied
// into <temp>/dll (a fresh copy is a fresh library instance with its own
// state), its configuration written beside it, and its journal read back.
#pragma once

#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include <atomic>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "platform/clock.h"

namespace tef_test {

inline std::string NovaPasta(const std::string& nome) {
  static std::atomic<int> n{0};
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string base = info ? std::string(info->test_suite_name()) + "_" + info->name() : nome;
  for (char& ch : base) {
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  }
  const auto p = std::filesystem::temp_directory_path() /
                 ("zt_" + nome + "_" + base + "_" + std::to_string(std::random_device{}()) + "_" +
                  std::to_string(n++));
  std::filesystem::remove_all(p);
  std::filesystem::create_directories(p);
  return p.string();
}

// One journal line of the simulator.
struct Registro {
  std::string call;
  std::string event;
  rapidjson::Document doc;
  int result = 0;
  // An argument in text form ("" when absent).
  std::string Arg(const char* nome) const {
    if (!doc.HasMember("args") || !doc["args"].HasMember(nome)) return "";
    const auto& v = doc["args"][nome];
    if (v.IsString()) return v.GetString();
    if (v.IsInt()) return std::to_string(v.GetInt());
    return "";
  }
};

class Simulador {
 public:
  // extraConfig: JSON members added to the configuration ("" for none).
  explicit Simulador(const std::string& extraConfig = "") {
    pasta = NovaPasta("sim");
    dll = pasta + "/dll";
    std::filesystem::create_directories(dll);
    std::filesystem::copy_file(ZENTAVO_APP_DIR "/dll/libclisitef.so", dll + "/libclisitef.so");
    journal = pasta + "/journal.jsonl";
    std::ofstream(dll + "/clisitef-sim.json")
        << "{\"interruption_delay_ms\": 0, \"journal\": \"" << journal << "\""
        << (extraConfig.empty() ? "" : ", ") << extraConfig << "}";
  }
  ~Simulador() {
    std::error_code ec;
    std::filesystem::remove_all(pasta, ec);
  }

  std::vector<Registro> Journal() const {
    std::vector<Registro> r;
    std::ifstream f(journal);
    std::string linha;
    while (std::getline(f, linha)) {
      Registro reg;
      reg.doc.Parse(linha.c_str());
      if (reg.doc.HasParseError() || !reg.doc.IsObject()) continue;
      if (reg.doc.HasMember("call")) reg.call = reg.doc["call"].GetString();
      if (reg.doc.HasMember("event")) reg.event = reg.doc["event"].GetString();
      if (reg.doc.HasMember("result") && reg.doc["result"].IsInt())
        reg.result = reg.doc["result"].GetInt();
      r.push_back(std::move(reg));
    }
    return r;
  }
  std::vector<Registro> Chamadas(const std::string& call) const {
    std::vector<Registro> r;
    for (auto& reg : Journal()) {
      if (reg.call == call) r.push_back(std::move(reg));
    }
    return r;
  }

  std::string pasta, dll, journal;
};

}  // namespace tef_test
