// Drives the TEF library simulator the way the service does: loaded with dlopen,
// configured, then each function started and its command dialogue answered until
// the final result, then finished. The journal is read back to check what the
// library was told.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <rapidjson/document.h>
#include <stdlib.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The twelve entry points, with the argument lists the service uses.
struct Library {
  int (*Configura)(const char*, const char*, const char*, short, const char*);
  int (*Inicia)(int, const char*, const char*, const char*, const char*, const char*, const char*);
  int (*LeTrilha3)(char*);
  int (*LeCartaoSeguro)();
  int (*LeCartaoDiretoSeguro)();
  int (*LeCartaoDiretoEx)(char*, char*, char*, short, int);
  int (*Continua)(int*, int*, short*, short*, char*, int, int);
  int (*FinalizaFuncao)(int, const char*, const char*, const char*, const char*);
  int (*FinalizaTransacao)(int, const char*, const char*, const char*);
  int (*EscreveMensagem)(const char*);
  int (*Pendentes)(const char*, const char*);
  int (*PinPad)();
};

template <typename T>
void Resolve(void* handle, const char* name, T& target) {
  target = reinterpret_cast<T>(dlsym(handle, name));
  ASSERT_NE(target, nullptr) << name;
}

fs::path g_dir;
Library g_lib{};

std::string DefaultConfigText() {
  return "{\"interruption_delay_ms\": 0, \"wait_checks\": 2, \"journal\": \"journal.jsonl\"}";
}

void WriteConfig(const std::string& text) {
  std::ofstream(g_dir / "clisitef-sim.json", std::ios::trunc) << text;
}

class SimEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "clisitef-sim-XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    g_dir = tmpl;
    WriteConfig(DefaultConfigText());
    setenv("CLISITEF_SIM_CONFIG", (g_dir / "clisitef-sim.json").c_str(), 1);
    unsetenv("CLISITEF_SIM_JOURNAL");
    unsetenv("CLISITEF_SIM_STATE");
    void* h = dlopen(CLISITEF_SIM_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(h, nullptr) << dlerror();
    Resolve(h, "ConfiguraIntSiTefInterativoEx", g_lib.Configura);
    Resolve(h, "IniciaFuncaoSiTefInterativo", g_lib.Inicia);
    Resolve(h, "LeTrilha3", g_lib.LeTrilha3);
    Resolve(h, "LeCartaoSeguro", g_lib.LeCartaoSeguro);
    Resolve(h, "LeCartaoDiretoSeguro", g_lib.LeCartaoDiretoSeguro);
    Resolve(h, "LeCartaoDiretoEx", g_lib.LeCartaoDiretoEx);
    Resolve(h, "ContinuaFuncaoSiTefInterativo", g_lib.Continua);
    Resolve(h, "FinalizaFuncaoSiTefInterativo", g_lib.FinalizaFuncao);
    Resolve(h, "FinalizaTransacaoSiTefInterativo", g_lib.FinalizaTransacao);
    Resolve(h, "EscreveMensagemPermanentePinPad", g_lib.EscreveMensagem);
    Resolve(h, "ObtemQuantidadeTransacoesPendentes", g_lib.Pendentes);
    Resolve(h, "VerificaPresencaPinPad", g_lib.PinPad);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(g_dir, ec);
  }
};

const auto* const g_env = ::testing::AddGlobalTestEnvironment(new SimEnvironment);

// One command the library returned.
struct Prompt {
  int command = 0;
  int field = 0;
  int min = 0;
  int max = 0;
  std::string text;  // Windows-1252, as returned
};

struct Reply {
  int continuation = 0;
  std::string answer;
};

using Answerer = std::function<Reply(const Prompt&)>;

struct Outcome {
  int result = 0;
  std::vector<Prompt> prompts;
  std::map<int, std::string> fields;  // command 0
  std::string final_buffer;
  int calls = 0;
  std::string document, date, time;

  bool Saw(int command, const std::string& text) const {
    for (const auto& p : prompts) {
      if (p.command == command && p.text.find(text) != std::string::npos) return true;
    }
    return false;
  }
  int Count(int command) const {
    int n = 0;
    for (const auto& p : prompts) n += p.command == command ? 1 : 0;
    return n;
  }
};

// Answers like an operator: menus from a list in order, data fields by field type,
// "yes" to questions, 1 after key-press messages, 0 otherwise.
struct Answers {
  std::vector<std::string> menus;
  std::map<int, std::vector<std::string>> fields;
  std::string yes_no = "0";
  std::size_t next_menu = 0;
  std::map<int, std::size_t> next_field;

  Reply operator()(const Prompt& p) {
    switch (p.command) {
      case 20:
        return {0, yes_no};
      case 21:
        // Menus the automation answers itself in the debit and credit functions.
        if (p.text == "1:Magnetico/Chip;2:Digitado;" || p.text.rfind("1:VISA ELECTRON", 0) == 0) {
          return {0, "1"};
        }
        return {0, next_menu < menus.size() ? menus[next_menu++] : "1"};
      case 22:
        return {1, ""};
      case 30:
      case 34: {
        if (p.command == 34 && p.text == "VISA ELECTRON\nSAQUE") return {0, "0,00"};
        auto it = fields.find(p.field);
        if (it == fields.end() || it->second.empty()) return {0, ""};
        std::size_t& i = next_field[p.field];
        const std::string a = it->second[std::min(i, it->second.size() - 1)];
        ++i;
        return {0, a};
      }
      default:
        return {0, ""};
    }
  }
};

struct Today {
  std::string date, time, ddmmyyyy;
  int seconds = 0;
  Today() {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    char buf[16];
    std::strftime(buf, sizeof buf, "%Y%m%d", &tm);
    date = buf;
    std::strftime(buf, sizeof buf, "%H%M%S", &tm);
    time = buf;
    std::strftime(buf, sizeof buf, "%d%m%Y", &tm);
    ddmmyyyy = buf;
    seconds = tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec;
  }
};

int Configure() {
  return g_lib.Configura("127.0.0.1", "00000000", "SE000001", 0, "[];{ValorIncluiTaxa=0;};");
}

Outcome Drive(int function, const std::string& value, Answerer answer,
              const std::string& restrictions = "[10];", int limit = 500) {
  static int counter = 0;
  Outcome o;
  Today now;
  o.document = std::to_string(now.seconds * 10 + (++counter % 10));
  o.date = now.date;
  o.time = now.time;
  int rc = g_lib.Inicia(function, value.c_str(), o.document.c_str(), o.date.c_str(), o.time.c_str(),
                        "CAIXA", restrictions.c_str());
  if (rc != 10000) {
    o.result = rc;
    return o;
  }
  std::vector<char> buffer(20001, '\0');
  int continuation = 0;
  for (int i = 0; i < limit; ++i) {
    Prompt p;
    short mn = 0;
    short mx = 0;
    rc = g_lib.Continua(&p.command, &p.field, &mn, &mx, buffer.data(), 20001, continuation);
    ++o.calls;
    if (rc != 10000) {
      o.result = rc;
      o.final_buffer = buffer.data();
      return o;
    }
    p.min = mn;
    p.max = mx;
    p.text = buffer.data();
    if (p.command == 0) o.fields[p.field] = p.text;
    o.prompts.push_back(p);
    const Reply r = answer(p);
    continuation = r.continuation;
    std::snprintf(buffer.data(), buffer.size(), "%s", r.answer.c_str());
  }
  ADD_FAILURE() << "the dialogue did not end";
  o.result = 99999;
  return o;
}

int Confirm(const Outcome& o, int confirm = 1) {
  return g_lib.FinalizaFuncao(confirm, o.document.c_str(), o.date.c_str(), o.time.c_str(), "");
}

// Journal lines as parsed JSON objects.
std::vector<std::shared_ptr<rapidjson::Document>> Journal() {
  std::vector<std::shared_ptr<rapidjson::Document>> lines;
  std::ifstream in(g_dir / "journal.jsonl");
  std::string line;
  while (std::getline(in, line)) {
    auto d = std::make_shared<rapidjson::Document>();
    d->Parse(line.c_str());
    EXPECT_FALSE(d->HasParseError()) << line;
    lines.push_back(d);
  }
  return lines;
}

std::string Str(const rapidjson::Value& v, const char* key) {
  return v.IsObject() && v.HasMember(key) && v[key].IsString() ? v[key].GetString() : "";
}

// The last journal line whose "call" or "event" is `name`.
std::shared_ptr<rapidjson::Document> Last(const std::string& name) {
  auto lines = Journal();
  for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
    if (Str(**it, "call") == name || Str(**it, "event") == name) return *it;
  }
  return nullptr;
}

class SimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteConfig(DefaultConfigText());
    ASSERT_EQ(Configure(), 0);
  }
  void TearDown() override {
    WriteConfig(DefaultConfigText());
    Configure();
  }

  // An approved and confirmed payment.
  Outcome Pay(int function, const std::string& value, Answers answers = {}) {
    Outcome o = Drive(function, value, std::ref(answers));
    EXPECT_EQ(o.result, 0);
    EXPECT_EQ(Confirm(o), 0);
    return o;
  }
};

TEST(SimExports, OnlyTheTwelveEntryPointsWithCLinkage) {
  std::FILE* p = popen(("nm -D --defined-only " + std::string(CLISITEF_SIM_LIBRARY)).c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::set<std::string> names;
  char line[512];
  while (std::fgets(line, sizeof line, p)) {
    std::istringstream in(line);
    std::string address, type, name;
    in >> address >> type >> name;
    if (name.empty()) name = type;  // lines without an address
    names.insert(name);
  }
  const int status = pclose(p);
  if (status != 0) GTEST_SKIP() << "nm is not available";
  const std::set<std::string> expected = {"ConfiguraIntSiTefInterativoEx",
                                          "IniciaFuncaoSiTefInterativo",
                                          "LeTrilha3",
                                          "LeCartaoSeguro",
                                          "LeCartaoDiretoSeguro",
                                          "LeCartaoDiretoEx",
                                          "ContinuaFuncaoSiTefInterativo",
                                          "FinalizaFuncaoSiTefInterativo",
                                          "FinalizaTransacaoSiTefInterativo",
                                          "EscreveMensagemPermanentePinPad",
                                          "ObtemQuantidadeTransacoesPendentes",
                                          "VerificaPresencaPinPad"};
  EXPECT_EQ(names, expected);
}

TEST_F(SimTest, ConfigurationResults) {
  struct Case {
    const char* address;
    const char* store;
    const char* terminal;
    int expected;
  } cases[] = {
      {"127.0.0.1", "00000000", "SE000001", 0},
      {"sitef.example.com:4096;10.0.0.2", "1", "AB123456", 0},
      {"", "00000000", "SE000001", 1},
      {"   ", "00000000", "SE000001", 1},
      {"host.invalid", "00000000", "SE000001", 1},
      {"bad_host!", "00000000", "SE000001", 1},
      {"10.0.0.1:99999", "00000000", "SE000001", 1},
      {"127.0.0.1", "", "SE000001", 2},
      {"127.0.0.1", "123456789", "SE000001", 2},
      {"127.0.0.1", "12a", "SE000001", 2},
      {"127.0.0.1", "00000000", "SE00001", 3},
      {"127.0.0.1", "00000000", "12000001", 3},
      {"127.0.0.1", "00000000", "SE0000012", 3},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(g_lib.Configura(c.address, c.store, c.terminal, 0, ""), c.expected)
        << c.address << " / " << c.store << " / " << c.terminal;
  }
  // A refused configuration leaves the library unconfigured.
  EXPECT_EQ(g_lib.Configura("", "1", "SE000001", 0, ""), 1);
  EXPECT_EQ(g_lib.Inicia(2, "1,00", "1", "20240101", "120000", "", ""), -1);
  auto line = Last("IniciaFuncaoSiTefInterativo");
  ASSERT_TRUE(line);
  EXPECT_EQ((*line)["result"].GetInt(), -1);
}

TEST_F(SimTest, DebitPaymentApprovedAndConfirmed) {
  Outcome o = Drive(2, "25,00", Answers{});
  ASSERT_EQ(o.result, 0);
  // Card messages with "@" line breaks, the method menu, the question, PIN and waits.
  EXPECT_TRUE(o.Saw(2, "INSIRA, PASSE OU@APROXIME O CARTAO"));
  EXPECT_TRUE(
      o.Saw(21, "1:A Vista;2:Parcelado pelo Estabelecimento;3:Parcelado pela Administradora;"));
  EXPECT_TRUE(o.Saw(20, "R$ 25,00"));
  EXPECT_TRUE(o.Saw(2, "DIGITE A SENHA"));
  EXPECT_EQ(o.Count(23), 6);  // card, PIN and host, two checks each
  EXPECT_EQ(o.fields[100], "0100");
  EXPECT_EQ(o.fields[505], "01");
  EXPECT_EQ(o.fields[2021], "555555******4444");
  for (int code : {101, 102, 105, 121, 122, 131, 132, 133, 134, 135, 156, 157, 800}) {
    EXPECT_FALSE(o.fields[code].empty()) << code;
  }
  EXPECT_EQ(o.fields[105].size(), 14u);
  EXPECT_EQ(o.fields[105].substr(0, 8), o.date);
  EXPECT_NE(o.fields[121].find("VIA DO CLIENTE"), std::string::npos);
  EXPECT_NE(o.fields[122].find("VIA DO ESTABELECIMENTO"), std::string::npos);
  EXPECT_NE(o.fields[121].find('\n'), std::string::npos);
  EXPECT_NE(o.fields[121].find("D\xC9"
                               "BITO"),
            std::string::npos);  // Windows-1252 accent
  EXPECT_NE(o.fields[121].find("R$ 25,00"), std::string::npos);
  EXPECT_EQ(g_lib.Pendentes(o.date.c_str(), ""), 1);

  auto start = Last("IniciaFuncaoSiTefInterativo");
  ASSERT_TRUE(start);
  EXPECT_EQ((*start)["args"]["function"].GetInt(), 2);
  EXPECT_EQ(Str((*start)["args"], "value"), "25,00");
  EXPECT_EQ(Str((*start)["args"], "restrictions"), "[10];");
  EXPECT_EQ(Str(*start, "scenario"), "debit");

  ASSERT_EQ(Confirm(o), 0);
  EXPECT_EQ(g_lib.Pendentes(o.date.c_str(), ""), 0);
  auto fin = Last("FinalizaFuncaoSiTefInterativo");
  ASSERT_TRUE(fin);
  EXPECT_EQ((*fin)["args"]["confirm"].GetInt(), 1);
  EXPECT_EQ(Str((*fin)["args"], "document"), o.document);
  EXPECT_EQ(Str((*fin)["args"], "date"), o.date);
  EXPECT_EQ(Str((*fin)["args"], "time"), o.time);
  EXPECT_EQ(Str(*fin, "outcome"), "confirmed");
  const auto& t = (*fin)["transaction"];
  EXPECT_EQ(Str(t, "document"), o.document);  // the start's document, date and time
  EXPECT_EQ(Str(t, "date"), o.date);
  EXPECT_EQ(Str(t, "time"), o.time);
  EXPECT_EQ(Str(t, "nsu"), o.fields[133]);
  EXPECT_EQ(Str(t, "status"), "confirmed");
}

TEST_F(SimTest, EveryCallIsJournalled) {
  const std::size_t before = Journal().size();
  Outcome o = Drive(111, "", Answers{});
  ASSERT_EQ(o.result, 0);
  auto lines = Journal();
  int continues = 0;
  for (std::size_t i = before; i < lines.size(); ++i) {
    continues += Str(*lines[i], "call") == "ContinuaFuncaoSiTefInterativo" ? 1 : 0;
  }
  EXPECT_EQ(continues, o.calls);
  auto last = Last("ContinuaFuncaoSiTefInterativo");
  EXPECT_EQ((*last)["result"].GetInt(), 0);
  EXPECT_EQ((*last)["args"]["buffer_size"].GetInt(), 20001);
}

TEST_F(SimTest, CreditInInstallmentsChecksTheAnswer) {
  Answers a;
  a.menus = {"2"};
  a.fields[505] = {"123", "1", "x", "3"};  // too long, out of range, not a number, good
  Outcome o = Drive(3, "300,00", std::ref(a));
  ASSERT_EQ(o.result, 0);
  int asked = 0;
  for (const auto& p : o.prompts) {
    if (p.command == 30 && p.field == 505) {
      ++asked;
      EXPECT_EQ(p.min, 1);
      EXPECT_EQ(p.max, 2);
    }
  }
  EXPECT_EQ(asked, 4);
  EXPECT_TRUE(o.Saw(3, "Tamanho invalido@Informe de 1 a 2 caracteres"));
  EXPECT_TRUE(o.Saw(3, "Valor invalido"));
  EXPECT_EQ(o.fields[100], "0202");
  EXPECT_EQ(o.fields[505], "03");
  EXPECT_NE(o.fields[121].find("PARCELADO EM 03 VEZES"), std::string::npos);
  EXPECT_NE(o.fields[121].find("CR\xC9"
                               "DITO"),
            std::string::npos);
  EXPECT_EQ(Confirm(o), 0);

  Answers adm;
  adm.menus = {"3"};
  adm.fields[505] = {"12"};
  Outcome o2 = Drive(3, "300,00", std::ref(adm));
  ASSERT_EQ(o2.result, 0);
  EXPECT_EQ(o2.fields[100], "0203");
  EXPECT_EQ(o2.fields[505], "12");
  EXPECT_NE(o2.fields[133], o.fields[133]);
  EXPECT_EQ(Confirm(o2), 0);
}

TEST_F(SimTest, InvalidMenuAnswerRepeatsTheMenu) {
  Answers a;
  a.menus = {"7", "1"};
  Outcome o = Drive(3, "10,00", std::ref(a));
  ASSERT_EQ(o.result, 0);
  EXPECT_EQ(o.Count(21), 3);  // reading mode, then the method menu twice
  EXPECT_TRUE(o.Saw(3, "Opcao invalida"));
  EXPECT_EQ(o.fields[100], "0200");
  Confirm(o, 0);
}

TEST_F(SimTest, AmountChoosesTheOutcome) {
  struct Case {
    const char* value;
    int expected;
    int command;
    const char* text;
  } cases[] = {
      {"10,05", 5, 3, "Transacao negada"},
      {"10,06", -6, 3, "cancelada@pelo cliente"},
      {"10,13", -5, 3, "Sem conexao"},
      {"10,22", 57, 22, "Unauthorized"},
      {"10,23", 94, 22, "Transacao ja efetuada"},
      {"10,43", -43, 3, "fora do ar"},
      {"10,51", 51, 3, "Saldo insuficiente"},
  };
  for (int function : {2, 3, 300}) {
    for (const auto& c : cases) {
      Outcome o = Drive(function, c.value, Answers{});
      EXPECT_EQ(o.result, c.expected) << function << " " << c.value;
      EXPECT_TRUE(o.Saw(c.command, c.text)) << function << " " << c.value;
      EXPECT_TRUE(o.fields.empty()) << function << " " << c.value;
      EXPECT_EQ(g_lib.Pendentes("", ""), 0);
    }
  }
}

TEST_F(SimTest, PaymentMenuOffersDebitCreditAndPix) {
  struct Case {
    const char* option;
    const char* method;
  } cases[] = {{"1", "0100"}, {"2", "0200"}, {"3", "0400"}};
  for (const auto& c : cases) {
    Answers a;
    a.menus = {c.option, "1"};
    Outcome o = Drive(0, "5,00", std::ref(a));
    ASSERT_EQ(o.result, 0) << c.option;
    ASSERT_FALSE(o.prompts.empty());
    EXPECT_TRUE(o.Saw(21, "1:Cartao de Debito;2:Cartao de Credito;3:PIX;"));
    EXPECT_EQ(o.fields[100], c.method);
    Confirm(o);
  }
}

TEST_F(SimTest, PixQrCodeGoesToTheAutomationOnlyWhenAsked) {
  Outcome o = Drive(300, "42,00", Answers{}, "{DevolveStringQRCode=1}");
  ASSERT_EQ(o.result, 0);
  ASSERT_EQ(o.Count(50), 1);
  for (const auto& p : o.prompts) {
    if (p.command != 50) continue;
    EXPECT_EQ(p.field, 584);
    EXPECT_EQ(p.text.rfind("000201", 0), 0u);
    EXPECT_NE(p.text.find("br.gov.bcb.pix"), std::string::npos);
    EXPECT_NE(p.text.find("540542.00"), std::string::npos);
    EXPECT_EQ(p.text.substr(p.text.size() - 8, 4), "6304");
  }
  EXPECT_FALSE(o.Saw(3, "Leia o QR Code"));
  for (int code : {100, 105, 107, 121, 122, 133, 134, 135}) {
    EXPECT_FALSE(o.fields[code].empty()) << code;
  }
  Confirm(o);

  Outcome pad = Drive(300, "42,00", Answers{}, "[10];");
  ASSERT_EQ(pad.result, 0);
  EXPECT_EQ(pad.Count(50), 0);
  EXPECT_TRUE(pad.Saw(3, "Leia o QR Code@no PIN pad"));
  Confirm(pad);
}

TEST_F(SimTest, CancellationChecksTheApprovedPayments) {
  Outcome paid = Pay(3, "77,10", Answers{});
  const std::string nsu = paid.fields[133];
  Today now;
  auto cancel = [&](const std::string& value, const std::string& date, const std::string& n) {
    Answers a;
    a.fields[146] = {value};
    a.fields[515] = {date};
    a.fields[516] = {n};
    return Drive(200, value, std::ref(a));
  };

  EXPECT_EQ(cancel("77,11", now.ddmmyyyy, nsu).result, 25);       // wrong amount
  EXPECT_EQ(cancel("77,10", "01011999", nsu).result, 25);         // wrong date
  EXPECT_EQ(cancel("77,10", now.ddmmyyyy, "999999").result, 25);  // wrong NSU

  Outcome ok = cancel("77.10", now.ddmmyyyy, nsu);
  ASSERT_EQ(ok.result, 0);
  EXPECT_EQ(ok.fields[515], now.ddmmyyyy);
  EXPECT_EQ(ok.fields[516], nsu);
  EXPECT_EQ(ok.fields[2021], paid.fields[2021]);
  EXPECT_NE(ok.fields[133], nsu);
  EXPECT_NE(ok.fields[121].find("CANCELAMENTO"), std::string::npos);
  int asked146 = 0;
  for (const auto& p : ok.prompts) asked146 += (p.command == 30 && p.field == 146) ? 1 : 0;
  EXPECT_EQ(asked146, 1);

  ASSERT_EQ(Confirm(ok), 0);
  auto fin = Last("FinalizaFuncaoSiTefInterativo");
  EXPECT_EQ(Str((*fin)["transaction"], "kind"), "cancellation");
  const int payment_id = (*Last("approved"))["transaction"]["cancels"].GetInt();
  EXPECT_GT(payment_id, 0);

  // Cancelled once; the host NSU identifies it as well.
  Outcome again = cancel("77,10", now.ddmmyyyy, paid.fields[134]);
  EXPECT_EQ(again.result, 94);
  EXPECT_TRUE(again.Saw(3, "Transacao ja cancelada"));
}

TEST_F(SimTest, CancellationUndoneLeavesThePaymentActive) {
  Outcome paid = Pay(2, "12,34", Answers{});
  Today now;
  Answers a;
  a.fields[146] = {"12,34"};
  a.fields[515] = {now.ddmmyyyy};
  a.fields[516] = {paid.fields[133]};
  Outcome first = Drive(200, "12,34", a);
  ASSERT_EQ(first.result, 0);
  ASSERT_EQ(Confirm(first, 0), 0);
  EXPECT_EQ(Str(*Last("FinalizaFuncaoSiTefInterativo"), "outcome"), "undone");
  Outcome second = Drive(200, "12,34", a);
  EXPECT_EQ(second.result, 0);
  Confirm(second);
}

TEST_F(SimTest, UnfinishedApprovalIsUndoneWhenTheNextFunctionStarts) {
  Outcome paid = Drive(3, "19,90", Answers{});
  ASSERT_EQ(paid.result, 0);
  EXPECT_EQ(g_lib.Pendentes(paid.date.c_str(), "123"), 1);
  EXPECT_EQ(g_lib.Pendentes("19990101", ""), 0);

  ASSERT_EQ(Drive(111, "", Answers{}).result, 0);
  auto undone = Last("undone");
  ASSERT_TRUE(undone);
  EXPECT_EQ(Str(*undone, "reason"), "next_function");
  const auto& t = (*undone)["transaction"];
  EXPECT_EQ(Str(t, "document"), paid.document);
  EXPECT_EQ(Str(t, "date"), paid.date);
  EXPECT_EQ(Str(t, "time"), paid.time);
  EXPECT_EQ(Str(t, "nsu"), paid.fields[133]);
  EXPECT_EQ(Str(t, "status"), "undone");
  EXPECT_EQ(g_lib.Pendentes("", ""), 0);

  // Nothing is left to finish, and an undone payment cannot be cancelled.
  EXPECT_EQ(Confirm(paid), 0);
  EXPECT_EQ(Str(*Last("FinalizaFuncaoSiTefInterativo"), "outcome"), "nothing_pending");
  Today now;
  Answers a;
  a.fields[146] = {"19,90"};
  a.fields[515] = {now.ddmmyyyy};
  a.fields[516] = {paid.fields[133]};
  EXPECT_EQ(Drive(200, "19,90", a).result, 25);
}

TEST_F(SimTest, OlderFinishEntryPointUndoes) {
  Outcome paid = Drive(2, "8,00", Answers{});
  ASSERT_EQ(paid.result, 0);
  ASSERT_EQ(g_lib.FinalizaTransacao(0, paid.document.c_str(), paid.date.c_str(), paid.time.c_str()),
            0);
  auto fin = Last("FinalizaTransacaoSiTefInterativo");
  ASSERT_TRUE(fin);
  EXPECT_EQ(Str(*fin, "outcome"), "undone");
  EXPECT_EQ(Str((*fin)["args"], "document"), paid.document);
  EXPECT_FALSE((*fin)["args"].HasMember("parameters"));
}

TEST_F(SimTest, OnlyTheStartsDocumentDateAndTimeFinishATransaction) {
  Outcome paid = Drive(3, "17,00", Answers{});
  ASSERT_EQ(paid.result, 0);
  const std::string other_time = paid.time == "000000" ? "000001" : "000000";
  struct Wrong {
    std::string document, date, time;
  };
  for (const Wrong& w :
       {Wrong{"999", paid.date, paid.time}, Wrong{paid.document, "19990101", paid.time},
        Wrong{paid.document, paid.date, other_time}}) {
    ASSERT_EQ(g_lib.FinalizaFuncao(1, w.document.c_str(), w.date.c_str(), w.time.c_str(), ""), 0);
    auto fin = Last("FinalizaFuncaoSiTefInterativo");
    ASSERT_TRUE(fin);
    EXPECT_EQ(Str(*fin, "outcome"), "mismatch");
    EXPECT_EQ(Str((*fin)["transaction"], "status"), "pending");
    EXPECT_EQ(g_lib.Pendentes("", ""), 1);
  }
  ASSERT_EQ(g_lib.FinalizaTransacao(0, "1", paid.date.c_str(), paid.time.c_str()), 0);
  EXPECT_EQ(Str(*Last("FinalizaTransacaoSiTefInterativo"), "outcome"), "mismatch");
  ASSERT_EQ(Confirm(paid), 0);
  EXPECT_EQ(Str(*Last("FinalizaFuncaoSiTefInterativo"), "outcome"), "confirmed");
  EXPECT_EQ(g_lib.Pendentes("", ""), 0);
}

TEST_F(SimTest, AFunctionThatEndsAtItsStart) {
  Outcome o = Drive(313, "9,00", Answers{});
  EXPECT_EQ(o.result, 0);
  EXPECT_EQ(o.calls, 0);  // no dialogue
  EXPECT_EQ(g_lib.Pendentes("", ""), 1);
  auto start = Last("IniciaFuncaoSiTefInterativo");
  ASSERT_TRUE(start);
  EXPECT_EQ((*start)["result"].GetInt(), 0);
  auto approved = Last("approved");
  ASSERT_TRUE(approved);
  EXPECT_EQ(Str((*approved)["transaction"], "document"), o.document);
  int command = 0, field = 0;
  short mn = 0, mx = 0;
  char buffer[64] = "";
  EXPECT_EQ(g_lib.Continua(&command, &field, &mn, &mx, buffer, sizeof buffer, 0), -1);
  ASSERT_EQ(Confirm(o), 0);
  EXPECT_EQ(Str(*Last("FinalizaFuncaoSiTefInterativo"), "outcome"), "confirmed");
}

TEST_F(SimTest, DebitAndCreditSendTheMenusTheAutomationAnswersItself) {
  Outcome debit = Drive(2, "5,00", Answers{});
  ASSERT_EQ(debit.result, 0);
  EXPECT_TRUE(debit.Saw(21, "1:Magnetico/Chip;2:Digitado;"));
  EXPECT_TRUE(debit.Saw(21, "1:VISA ELECTRON;"));
  EXPECT_TRUE(debit.Saw(34, "VISA ELECTRON\nSAQUE"));
  EXPECT_TRUE(debit.Saw(21, "1:A Vista;"));
  Confirm(debit);
  Outcome credit = Drive(3, "5,00", Answers{});
  ASSERT_EQ(credit.result, 0);
  EXPECT_TRUE(credit.Saw(21, "1:Magnetico/Chip;2:Digitado;"));
  EXPECT_FALSE(credit.Saw(21, "VISA ELECTRON"));
  Confirm(credit);
  // Function 0 lets the operator choose and sends none of them.
  Answers a;
  a.menus = {"2"};
  Outcome chosen = Drive(0, "5,00", std::ref(a));
  EXPECT_FALSE(chosen.Saw(21, "Magnetico"));
  Confirm(chosen);
}

TEST_F(SimTest, TypedCardAsksNumberExpiryAndSecurityCode) {
  Answers a;
  a.fields[512] = {"12", "4111111111111111"};  // too short: refused and asked again
  a.fields[513] = {"1230"};
  a.fields[514] = {"123"};
  Outcome o = Drive(310, "20,00", std::ref(a));
  ASSERT_EQ(o.result, 0);
  EXPECT_TRUE(o.Saw(3, "Tamanho invalido"));
  for (int field : {512, 513, 514}) {
    bool asked = false;
    for (const auto& p : o.prompts) asked = asked || (p.command == 30 && p.field == field);
    EXPECT_TRUE(asked) << field;
  }
  EXPECT_FALSE(o.Saw(2, "DIGITE A SENHA"));  // no PIN for a typed card
  EXPECT_EQ(o.fields[2021], "411111******1111");
  EXPECT_EQ(o.fields[100].substr(0, 2), "02");
  Confirm(o);
}

TEST_F(SimTest, BillPaymentCommandsAndReturn) {
  Answers a;
  a.fields[530] = {std::string(47, '8')};
  a.fields[531] = {"12,50"};
  Outcome o = Drive(311, "12,50", [&](const Prompt& p) -> Reply {
    if (p.command == 35 || p.command == 31) return {0, p.field == 530 ? std::string(47, '8') : ""};
    return a(p);
  });
  ASSERT_EQ(o.result, 0);
  EXPECT_EQ(o.Count(35), 1);
  EXPECT_EQ(o.Count(34), 1);
  EXPECT_EQ(o.Count(31), 2);
  bool qr = false, message = false;
  for (const auto& p : o.prompts) {
    qr = qr || (p.command == 52 && p.field == 4128);
    message = message || (p.command == 52 && p.field != 4128);
  }
  EXPECT_TRUE(qr && message);
  EXPECT_NE(o.fields[122].find("12,50"), std::string::npos);
  Confirm(o);

  Outcome ret = Drive(312, "30,00", Answers{});
  ASSERT_EQ(ret.result, 0);
  EXPECT_EQ(ret.fields[110], "1");
  EXPECT_FALSE(ret.fields[121].empty());
  Confirm(ret);
  EXPECT_EQ(g_lib.Pendentes("", ""), 0);
}

TEST_F(SimTest, ReprintsOfTheLastAndOfAGivenReceipt) {
  Outcome paid = Pay(3, "66,00", Answers{});
  Outcome last = Drive(113, "1,00", Answers{});
  ASSERT_EQ(last.result, 0);
  Today now;
  EXPECT_EQ(last.fields[56], now.ddmmyyyy);
  EXPECT_EQ(last.fields[57], paid.fields[133]);
  EXPECT_EQ(last.fields[58], "6600");
  EXPECT_EQ(last.fields[121], "REIMPRESS\xC3O\n" + paid.fields[121]);
  EXPECT_EQ(last.fields[122], "REIMPRESS\xC3O\n" + paid.fields[122]);
  EXPECT_EQ(g_lib.Pendentes("", ""), 0);  // a reprint leaves nothing to finish

  Outcome other = Pay(2, "3,00", Answers{});
  Answers a;
  a.fields[515] = {now.ddmmyyyy};
  a.fields[516] = {paid.fields[133]};
  Outcome given = Drive(114, "1,00", a);
  ASSERT_EQ(given.result, 0);
  EXPECT_EQ(given.fields[57], paid.fields[133]);
  EXPECT_EQ(given.fields[121], "REIMPRESS\xC3O\n" + paid.fields[121]);
  a.fields[516] = {"424242"};
  a.next_field.clear();
  EXPECT_EQ(Drive(114, "1,00", a).result, 25);
  EXPECT_EQ(Drive(113, "1,00", Answers{}).fields[57], other.fields[133]);
}

TEST_F(SimTest, AdministrativeMenuAndTest) {
  Answers a;
  a.menus = {"1"};
  Outcome adm = Drive(110, "", std::ref(a));
  ASSERT_EQ(adm.result, 0);
  EXPECT_TRUE(adm.Saw(21, "1:Teste de comunicacao;"));
  EXPECT_TRUE(adm.Saw(3, "servidor OK"));
  Outcome test = Drive(111, "", Answers{});
  EXPECT_EQ(test.result, 0);
  EXPECT_EQ(test.Count(23), 2);
}

TEST_F(SimTest, UnknownFunctionAndNoOpenDialogue) {
  Outcome paid = Drive(2, "2,00", Answers{});
  ASSERT_EQ(paid.result, 0);
  EXPECT_EQ(Drive(4242, "1,00", Answers{}).result, -3);
  EXPECT_EQ(g_lib.Pendentes("", ""), 1);  // a function that did not start undoes nothing
  Confirm(paid, 0);
  int c = 0, f = 0;
  short mn = 0, mx = 0;
  char buf[16] = "";
  EXPECT_EQ(g_lib.Continua(&c, &f, &mn, &mx, buf, sizeof buf, 0), -1);
  EXPECT_EQ(g_lib.Continua(nullptr, &f, &mn, &mx, buf, sizeof buf, 0), -20);
}

TEST_F(SimTest, GoingBack) {
  // Function 0 -> credit -> installments by the shop; back from the installments to
  // the method menu, back from the method menu to the payment menu, then on.
  std::vector<std::string> seen;
  int step = 0;
  auto answer = [&](const Prompt& p) -> Reply {
    if (p.command == 21 || (p.command == 30 && p.field == 505)) seen.push_back(p.text);
    if (p.command == 22) return {1, ""};
    if (p.command == 20) return {0, "0"};
    if (p.command == 21 && p.text.rfind("1:Cartao", 0) == 0) return {0, "2"};
    if (p.command == 21) {
      ++step;
      if (step == 1) return {0, "2"};
      if (step == 2) return {1, ""};  // back to the payment menu
      return {0, "3"};
    }
    if (p.command == 30 && p.field == 505) {
      if (step == 1) return {1, ""};  // back to the method menu
      return {0, "04"};
    }
    return {0, ""};
  };
  Outcome o = Drive(0, "99,00", answer);
  ASSERT_EQ(o.result, 0);
  ASSERT_EQ(seen.size(), 7u);
  EXPECT_EQ(seen[0].rfind("1:Cartao", 0), 0u);
  EXPECT_EQ(seen[1].rfind("1:A Vista", 0), 0u);
  EXPECT_EQ(seen[2], "Numero de parcelas (2 a 12)");
  EXPECT_EQ(seen[3].rfind("1:A Vista", 0), 0u);
  EXPECT_EQ(seen[4].rfind("1:Cartao", 0), 0u);
  EXPECT_EQ(seen[5].rfind("1:A Vista", 0), 0u);
  EXPECT_EQ(seen[6], "Numero de parcelas (2 a 12)");
  EXPECT_EQ(o.fields[100], "0203");
  EXPECT_EQ(o.fields[505], "04");
  Confirm(o, 0);

  // Back at the first prompt ends the function as cancelled by the operator.
  auto back_at_menu = [](const Prompt& p) -> Reply { return {p.command == 21 ? 1 : 0, ""}; };
  EXPECT_EQ(Drive(0, "1,00", back_at_menu).result, -2);
  EXPECT_EQ(Drive(3, "1,00", back_at_menu).result, -2);
}

TEST_F(SimTest, AbortPaths) {
  struct Case {
    const char* name;
    std::function<bool(const Prompt&, int)> abort_here;  // (prompt, index of that 23)
    int expected;
  };
  int checks = 0;
  auto at_check = [&checks](int n) {
    return [&checks, n](const Prompt& p, int) { return p.command == 23 && ++checks == n; };
  };
  const Case cases[] = {
      {"waiting for the card", at_check(1), -2},
      {"waiting for the PIN", at_check(3), -6},
      {"waiting for the host", at_check(5), -2},
      {"at the method menu", [](const Prompt& p, int) { return p.command == 21; }, -2},
      {"at the question", [](const Prompt& p, int) { return p.command == 20; }, -2},
  };
  for (const auto& c : cases) {
    checks = 0;
    auto answer = [&](const Prompt& p) -> Reply {
      if (c.abort_here(p, checks)) return {-1, ""};
      return Answers{}(p);
    };
    Outcome o = Drive(2, "50,00", answer);
    EXPECT_EQ(o.result, c.expected) << c.name;
    EXPECT_TRUE(o.fields.empty()) << c.name;
  }
  // "No" to the confirmation question cancels too.
  Answers no;
  no.yes_no = "1";
  EXPECT_EQ(Drive(3, "50,00", std::ref(no)).result, -2);
  EXPECT_EQ(g_lib.Pendentes("", ""), 0);
}

TEST_F(SimTest, NewStartAbandonsAnOpenDialogue) {
  int c = 0, f = 0;
  short mn = 0, mx = 0;
  char buf[20001] = "";
  ASSERT_EQ(g_lib.Inicia(3, "5,00", "1", "20240101", "100000", "", ""), 10000);
  ASSERT_EQ(g_lib.Continua(&c, &f, &mn, &mx, buf, sizeof buf, 0), 10000);
  Outcome o = Drive(2, "5,00", Answers{});
  EXPECT_EQ(o.result, 0);
  auto abandoned = Last("abandoned");
  ASSERT_TRUE(abandoned);
  EXPECT_EQ((*abandoned)["function"].GetInt(), 3);
  Confirm(o, 0);
}

TEST_F(SimTest, UtilitiesOfTheLibrary) {
  EXPECT_EQ(g_lib.PinPad(), 1);
  EXPECT_EQ(g_lib.EscreveMensagem("** BOA VIAGEM **"), 0);
  EXPECT_EQ(Str((*Last("EscreveMensagemPermanentePinPad"))["args"], "message"), "** BOA VIAGEM **");
  char number[25], track2[129], track1[129];
  EXPECT_EQ(g_lib.LeCartaoDiretoEx(number, track2, track1, 30, 0), 0);
  EXPECT_NE(std::string(number).find("****"), std::string::npos);
  EXPECT_NE(std::string(track2).find('='), std::string::npos);
  EXPECT_EQ(track1[0], 'B');
  EXPECT_EQ(g_lib.LeCartaoSeguro(), 0);
  EXPECT_EQ(g_lib.LeCartaoDiretoSeguro(), 0);

  // LeTrilha3 opens a capture dialogue whose final buffer holds the track.
  char small[8] = "xxxxxxx";
  ASSERT_EQ(g_lib.LeTrilha3(small), 10000);
  EXPECT_EQ(small[0], '\0');
  int c = 0, f = 0;
  short mn = 0, mx = 0;
  std::vector<char> buf(20001, '\0');
  int rc = 10000;
  for (int i = 0; i < 20 && rc == 10000; ++i) {
    rc = g_lib.Continua(&c, &f, &mn, &mx, buf.data(), 20001, 0);
  }
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(std::string(buf.data()).substr(0, 10), "0123456789");
}

TEST_F(SimTest, ConfigurationFileOverlaysTheDefaults) {
  WriteConfig(R"({
    "interruption_delay_ms": 0, "journal": "journal.jsonl", "pinpad_present": 0,
    "configure_results_by_terminal": {"XX000009": 6},
    "variables": {"store_name": "OUTRA LOJA"},
    "functions": {"999": "custom", "111": null},
    "scenarios": {"custom": {"steps": [
      {"cmd": 30, "field": 512, "min": 4, "max": 4, "text": "Codigo", "keep": "code"},
      {"switch": "${code}", "cases": {"0000": [{"end": 7}]}},
      {"cmd": 0, "field": 999, "text": "${store_name}/${code}/${terminal}"},
      {"end": 0}
    ]}}
  })");
  EXPECT_EQ(g_lib.Configura("127.0.0.1", "1", "XX000009", 0, ""), 6);
  ASSERT_EQ(Configure(), 0);
  EXPECT_EQ(g_lib.PinPad(), 0);
  Answers a;
  a.fields[512] = {"12", "4321"};
  Outcome o = Drive(999, "", std::ref(a));
  EXPECT_EQ(o.result, 0);
  EXPECT_EQ(o.fields[999], "OUTRA LOJA/4321/SE000001");
  a.fields[512] = {"0000"};
  a.next_field.clear();
  EXPECT_EQ(Drive(999, "", std::ref(a)).result, 7);
  EXPECT_EQ(Drive(111, "", Answers{}).result, -3);   // removed by null
  EXPECT_EQ(Drive(2, "1,00", Answers{}).result, 0);  // the other defaults stay

  // A forced result, and an unusable file, which the configuration reports.
  WriteConfig(R"({"journal": "journal.jsonl", "configure_result": -7})");
  EXPECT_EQ(g_lib.Configura("", "", "", 0, ""), -7);
  WriteConfig(R"({"journal": "journal.jsonl", "scenarios": {"x": [{"cmd": 1, "bogus": 2}]}})");
  EXPECT_EQ(Configure(), 8);
  auto error = Last("config_error");
  ASSERT_TRUE(error);
  EXPECT_NE(Str(*error, "message").find("bogus"), std::string::npos);
}

TEST_F(SimTest, ExampleConfigurationOfTheReadme) {
  std::ifstream in(CLISITEF_SIM_SOURCE_DIR "/examples/clisitef-sim.example.json");
  std::stringstream text;
  text << in.rdbuf();
  ASSERT_FALSE(text.str().empty());
  WriteConfig(text.str());
  ASSERT_EQ(Configure(), 0);
  Answers a;
  a.menus = {"1"};
  a.fields[512] = {"12345678"};
  Outcome o = Drive(500, "20,00", a);
  EXPECT_EQ(o.result, 0);
  EXPECT_NE(o.fields[121].find("VALE-PRESENTE 12345678"), std::string::npos);
  EXPECT_NE(o.fields[121].find("LOJA DE EXEMPLO"), std::string::npos);
  Confirm(o);
  a.fields[512] = {"0000"};
  Outcome refused = Drive(500, "20,00", a);
  EXPECT_EQ(refused.result, 14);
  EXPECT_TRUE(refused.Saw(22, "Vale invalido"));
  a.menus = {"2"};
  EXPECT_EQ(Drive(500, "20,00", a).result, -2);
  EXPECT_TRUE(fs::exists(g_dir / "clisitef-journal.jsonl"));
}

TEST_F(SimTest, StateFileCarriesAPendingApprovalToTheNextProcess) {
  WriteConfig(DefaultConfigText().substr(0, DefaultConfigText().size() - 1) +
              R"(, "state_file": "state-a.json"})");
  ASSERT_EQ(Configure(), 0);
  Outcome paid = Drive(3, "31,00", Answers{});
  ASSERT_EQ(paid.result, 0);
  // What a fresh process would find: the same file under another name.
  fs::copy_file(g_dir / "state-a.json", g_dir / "state-b.json");
  Confirm(paid, 0);
  WriteConfig(DefaultConfigText().substr(0, DefaultConfigText().size() - 1) +
              R"(, "state_file": "state-b.json"})");
  ASSERT_EQ(Configure(), 0);
  EXPECT_EQ(g_lib.Pendentes("", ""), 1);
  ASSERT_EQ(
      g_lib.FinalizaFuncao(1, paid.document.c_str(), paid.date.c_str(), paid.time.c_str(), ""), 0);
  auto fin = Last("FinalizaFuncaoSiTefInterativo");
  EXPECT_EQ(Str(*fin, "outcome"), "confirmed");
  EXPECT_EQ(Str((*fin)["transaction"], "document"), paid.document);
}

}  // namespace
