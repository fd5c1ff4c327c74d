// Measures the service against the floor (ws_floor) from outside, the way a
// front end reaches it: TLS 1.2 (ECDHE-RSA-AES128-GCM-SHA256 over X25519) on
// loopback, WebSocket frames, JSON text. Each round starts both servers
// afresh from a private copy of the application folder, runs every measure
// on both (which one goes first alternates from measure to measure and from
// round to round) and reads the servers' memory from /proc. The table holds
// the median of the rounds.
//
//   wsbench --app build/app --floor build/benchmarks/ws_floor [--rounds 3] [--quick] [--only
//   MEASURE]
//
// --quick is the CI pass: one round with few exchanges, to keep the tool
// working; its timings mean little. The exit status is non-zero only when an
// exchange fails (a server answers wrongly or not at all), never for timings.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>
#include <openssl/ssl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// --- small helpers ----------------------------------------------------------

double NowUs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1e6 + ts.tv_nsec / 1e3;
}

void SleepMs(int ms) {
  timespec ts{ms / 1000, (ms % 1000) * 1000000L};
  nanosleep(&ts, nullptr);
}

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error(what); }

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  size_t i = static_cast<size_t>(p * (v.size() - 1) + 0.5);
  return v[std::min(i, v.size() - 1)];
}

double Median(std::vector<double> v) { return Percentile(std::move(v), 0.5); }

int FreePort() {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t n = sizeof a;
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
  close(s);
  return ntohs(a.sin_port);
}

int TcpConnect(int port) {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(s);
    return -1;
  }
  const int one = 1;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  // A server that never answers fails the run instead of hanging it.
  const timeval limit{60, 0};
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  return s;
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream f(path, std::ios::binary);
  f << text;
  if (!f) Fail("cannot write " + path);
}

// --- processes ----------------------------------------------------------------

struct TProcess {
  pid_t pid = -1;
  int port = 0;
};

TProcess Spawn(const std::vector<std::string>& argv, const std::string& dir, const std::string& out,
               const std::vector<std::string>& env, int port) {
  TProcess p;
  p.port = port;
  p.pid = fork();
  if (p.pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(127);
    const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    dup2(fd, 1);
    dup2(fd, 2);
    for (const auto& e : env) putenv(const_cast<char*>(e.c_str()));
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  for (int i = 0; i < 200; ++i) {
    const int s = TcpConnect(port);
    if (s >= 0) {
      close(s);
      return p;
    }
    int status;
    if (waitpid(p.pid, &status, WNOHANG) == p.pid) Fail(argv[0] + " ended at start; see " + out);
    SleepMs(50);
  }
  kill(p.pid, SIGKILL);
  waitpid(p.pid, nullptr, 0);
  Fail(argv[0] + " did not listen on its port; see " + out);
}

void Stop(TProcess& p) {
  if (p.pid <= 0) return;
  kill(p.pid, SIGTERM);
  for (int i = 0; i < 300; ++i) {
    int status;
    if (waitpid(p.pid, &status, WNOHANG) == p.pid) {
      p.pid = -1;
      return;
    }
    SleepMs(50);
  }
  kill(p.pid, SIGKILL);
  waitpid(p.pid, nullptr, 0);
  p.pid = -1;
}

// VmRSS or VmHWM of a process, in MiB.
double ProcMiB(pid_t pid, const char* field) {
  std::ifstream f("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(f, line)) {
    if (line.rfind(field, 0) == 0) return std::atof(line.c_str() + std::strlen(field) + 1) / 1024.0;
  }
  return 0;
}

void ResetPeak(pid_t pid) {
  std::ofstream f("/proc/" + std::to_string(pid) + "/clear_refs");
  f << "5";
}

// --- WebSocket client ---------------------------------------------------------

SSL_CTX* ClientContext() {
  SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
  SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
  SSL_CTX_set_max_proto_version(ctx, TLS1_2_VERSION);
  SSL_CTX_set_cipher_list(ctx, "ECDHE-RSA-AES128-GCM-SHA256");
  SSL_CTX_set1_groups_list(ctx, "X25519");
  SSL_CTX_set_verify(ctx, SSL_VERIFY_NONE, nullptr);
  SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
  return ctx;
}

class TClient {
 public:
  // TCP connect, TLS handshake (resuming `session` when given) and upgrade.
  TClient(SSL_CTX* ctx, int port, SSL_SESSION* session = nullptr) {
    FHandle = TcpConnect(port);
    if (FHandle < 0) Fail("connect failed");
    FSsl = SSL_new(ctx);
    SSL_set_fd(FSsl, FHandle);
    if (session) SSL_set_session(FSsl, session);
    if (SSL_connect(FSsl) != 1) Fail("TLS handshake failed");
    static const char kUpgrade[] =
        "GET / HTTP/1.1\r\nHost: localhost\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
        "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n"
        "Origin: https://localhost\r\n\r\n";
    Write(kUpgrade, sizeof kUpgrade - 1);
    std::string resp;
    char buf[1024];
    while (resp.find("\r\n\r\n") == std::string::npos) {
      size_t got = 0;
      if (SSL_read_ex(FSsl, buf, sizeof buf, &got) != 1) Fail("upgrade: connection closed");
      resp.append(buf, got);
    }
    if (resp.rfind("HTTP/1.1 101", 0) != 0 ||
        resp.find("s3pPLMBiTxaQ9kYGzzhZRbK+xOo=") == std::string::npos) {
      Fail("upgrade refused: " + resp.substr(0, 40));
    }
  }
  ~TClient() {
    SSL_shutdown(FSsl);
    SSL_free(FSsl);
    close(FHandle);
  }
  TClient(const TClient&) = delete;
  TClient& operator=(const TClient&) = delete;

  bool Resumed() const { return SSL_session_reused(FSsl) == 1; }
  SSL_SESSION* Session() const { return SSL_get1_session(FSsl); }

  void Write(const void* p, size_t n) {
    size_t done = 0;
    if (SSL_write_ex(FSsl, p, n, &done) != 1 || done != n) Fail("write failed");
  }
  void Send(const std::vector<uint8_t>& frame) { Write(frame.data(), frame.size()); }
  void SendText(const std::string& text);

  // One whole message (the servers send single frames). A ping (the service
  // probes a paying front end) is answered with a pong, as a browser does,
  // and is not a message.
  std::string Receive() {
    for (;;) {
      std::string text;
      if (ReceiveFrame(text)) return text;
      static const uint8_t kPong[6] = {0x8A, 0x80, 0, 0, 0, 0};
      Write(kPong, sizeof kPong);
    }
  }

 private:
  // False for a ping.
  bool ReceiveFrame(std::string& out) {
    uint8_t h[2];
    ReadFull(h, 2);
    uint64_t len = h[1] & 0x7F;
    if (len >= 126) {
      uint8_t ext[8];
      const size_t n = len == 126 ? 2 : 8;
      ReadFull(ext, n);
      len = 0;
      for (size_t i = 0; i < n; ++i) len = (len << 8) | ext[i];
    }
    out.assign(len, '\0');
    ReadFull(out.data(), len);
    if ((h[0] & 0x0F) == 8) Fail("closed by the server");
    return (h[0] & 0x0F) != 9;
  }

  void ReadFull(void* buf, size_t n) {
    char* p = static_cast<char*>(buf);
    while (n > 0) {
      size_t got = 0;
      if (SSL_read_ex(FSsl, p, n, &got) != 1) Fail("read failed: connection closed");
      p += got;
      n -= got;
    }
  }

  int FHandle = -1;
  SSL* FSsl = nullptr;
};

// A masked client text frame.
std::vector<uint8_t> Frame(const std::string& text) {
  std::vector<uint8_t> f;
  f.reserve(text.size() + 14);
  f.push_back(0x81);
  const uint64_t n = text.size();
  if (n <= 125) {
    f.push_back(0x80 | static_cast<uint8_t>(n));
  } else if (n <= 0xFFFF) {
    f.push_back(0x80 | 126);
    f.push_back(static_cast<uint8_t>(n >> 8));
    f.push_back(static_cast<uint8_t>(n));
  } else {
    f.push_back(0x80 | 127);
    for (int s = 56; s >= 0; s -= 8) f.push_back(static_cast<uint8_t>(n >> s));
  }
  const uint8_t key[4] = {0x37, 0xFA, 0x21, 0x3D};
  f.insert(f.end(), key, key + 4);
  const size_t at = f.size();
  f.resize(at + n);
  for (size_t i = 0; i < n; ++i) f[at + i] = static_cast<uint8_t>(text[i]) ^ key[i % 4];
  return f;
}

void TClient::SendText(const std::string& text) { Send(Frame(text)); }

// --- the messages ---------------------------------------------------------------

// {"route":"/nope","pad":"…"} of exactly `size` bytes: answered with the
// missing "session_uuid" error.
std::string NoSessionMessage(size_t size, const char* member) {
  const std::string head = std::string("{\"route\":\"/nope\",\"") + member + "\":\"";
  const std::string tail = "\"}";
  static const char kB64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string body(size - head.size() - tail.size(), 'A');
  uint32_t x = 2463534242u;
  for (char& c : body) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = kB64[x & 63];
  }
  return head + body + tail;
}

void ExpectNoSessionReply(const std::string& reply) {
  if (reply != "{\"type\":\"error\",\"message\":\"Campo session_uuid nao encontrado.\"}") {
    Fail("unexpected reply: " + reply.substr(0, 120));
  }
}

// --- measures ---------------------------------------------------------------

struct TSettings {
  int small_count = 3000;
  int handshake_count = 200;
  int large_count = 5;
  size_t large_bytes = size_t{20} << 20;
  int payments = 20;
};

struct TResult {
  double small_p50 = 0, small_p99 = 0;
  double large_mbs = 0;
  double handshake_p50 = 0, resumed_p50 = 0;
  int resumed_of = 0, resumed = 0;
  double rss_idle = 0, rss_peak = 0, rss_after = 0;
};

void MeasureSmall(SSL_CTX* ctx, int port, const TSettings& s, TResult& r) {
  TClient c(ctx, port);
  const std::vector<uint8_t> frame = Frame(NoSessionMessage(100, "pad"));
  std::vector<double> us;
  us.reserve(s.small_count);
  for (int i = 0; i < s.small_count + 50; ++i) {
    const double t0 = NowUs();
    c.Send(frame);
    const std::string reply = c.Receive();
    const double t1 = NowUs();
    ExpectNoSessionReply(reply);
    if (i >= 50) us.push_back(t1 - t0);  // the first ones warm the caches
  }
  r.small_p50 = Percentile(us, 0.50);
  r.small_p99 = Percentile(us, 0.99);
}

void MeasureLarge(SSL_CTX* ctx, int port, const std::vector<uint8_t>& frame, size_t bytes,
                  int count, TResult& r) {
  TClient c(ctx, port);
  std::vector<double> mbs;
  for (int i = 0; i < count; ++i) {
    const double t0 = NowUs();
    c.Send(frame);
    const std::string reply = c.Receive();
    const double t1 = NowUs();
    ExpectNoSessionReply(reply);
    mbs.push_back(bytes / (t1 - t0));  // bytes per µs = MB/s
  }
  r.large_mbs = Median(mbs);
}

void MeasureHandshakes(SSL_CTX* ctx, int port, const TSettings& s, TResult& r) {
  std::vector<double> full, resumed;
  SSL_SESSION* session = nullptr;
  for (int i = 0; i < s.handshake_count; ++i) {
    const double t0 = NowUs();
    TClient c(ctx, port);
    full.push_back(NowUs() - t0);
    if (session) SSL_SESSION_free(session);
    session = c.Session();
  }
  for (int i = 0; i < s.handshake_count; ++i) {
    const double t0 = NowUs();
    TClient c(ctx, port, session);
    const double t = NowUs() - t0;
    ++r.resumed_of;
    if (c.Resumed()) {
      ++r.resumed;
      resumed.push_back(t);
    }
    // A browser keeps the newest ticket.
    SSL_SESSION_free(session);
    session = c.Session();
  }
  SSL_SESSION_free(session);
  r.handshake_p50 = Median(full);
  r.resumed_p50 = Median(resumed);
}

// Idle before any connection; peak and after around one large message.
void MeasureMemory(SSL_CTX* ctx, const TProcess& p, const std::vector<uint8_t>& frame, TResult& r) {
  r.rss_idle = ProcMiB(p.pid, "VmRSS:");
  ResetPeak(p.pid);
  {
    TClient c(ctx, p.port);
    c.Send(frame);
    ExpectNoSessionReply(c.Receive());
    r.rss_peak = ProcMiB(p.pid, "VmHWM:");
  }
  SleepMs(1000);
  r.rss_after = ProcMiB(p.pid, "VmRSS:");
}

// --- payment prompts ----------------------------------------------------------

std::string Base64Url(const unsigned char* p, size_t n) {
  std::vector<unsigned char> out(4 * ((n + 2) / 3) + 1);
  const int k = EVP_EncodeBlock(out.data(), p, static_cast<int>(n));
  std::string s(reinterpret_cast<char*>(out.data()), k);
  for (char& c : s) c = c == '+' ? '-' : c == '/' ? '_' : c;
  while (!s.empty() && s.back() == '=') s.pop_back();
  return s;
}

std::string SessionToken() {
  static const char kKey[] = "Hq4Lw8ZtNc2Vy6Rb1Xk9Pm3Ds7Gf5Ju0";
  const std::string header = "{\"alg\":\"HS256\",\"typ\":\"JWT\"}";
  const std::string claims =
      "{\"secctional_code\":\"0012\",\"ip_address\":\"127.0.0.1\",\"store_code\":\"00000000\","
      "\"additional_parameters\":\"\",\"operator\":\"CAIXA01\",\"sale_id\":1001,\"company_id\":7,"
      "\"callback_url\":\"https://127.0.0.1:9/api\"}";
  const std::string input =
      Base64Url(reinterpret_cast<const unsigned char*>(header.data()), header.size()) + "." +
      Base64Url(reinterpret_cast<const unsigned char*>(claims.data()), claims.size());
  unsigned char mac[32];
  unsigned int mac_len = 0;
  HMAC(EVP_sha256(), kKey, sizeof kKey - 1, reinterpret_cast<const unsigned char*>(input.data()),
       input.size(), mac, &mac_len);
  return input + "." + Base64Url(mac, mac_len);
}

// The text of a string member (escapes left as written) or "".
std::string StringMember(const std::string& json, const std::string& name) {
  const std::string key = "\"" + name + "\":\"";
  size_t at = json.find(key);
  if (at == std::string::npos) return "";
  at += key.size();
  size_t end = at;
  while (end < json.size() && json[end] != '"') end += json[end] == '\\' ? 2 : 1;
  return json.substr(at, end - at);
}

std::string FirstOption(const std::string& json) {
  const size_t at = json.find("\"options\":[\"");
  if (at == std::string::npos) return "";
  size_t b = at + 12, e = b;
  while (e < json.size() && json[e] != '"') e += json[e] == '\\' ? 2 : 1;
  return json.substr(b, e - b);
}

struct TPaymentTimes {
  // From an answer leaving the client to the next message of the dialogue.
  std::vector<double> prompts;
  // From the last answer to the payment's result (or error): the service
  // then writes its journal durably, confirms or undoes with the library and
  // calls the sales API, so this is mostly disk and peer time, not the
  // service's own.
  std::vector<double> closing;
};

// Runs payments against the simulator (no configured delays) and times each
// answer to the message that follows it.
TPaymentTimes MeasurePayments(SSL_CTX* ctx, int port, int payments) {
  TClient c(ctx, port);
  c.SendText("{\"route\":\"/session/start\",\"type\":\"session\",\"token\":\"" + SessionToken() +
             "\"}");
  std::string session;
  for (;;) {
    const std::string m = c.Receive();
    if (StringMember(m, "type") == "message") continue;
    session = StringMember(m, "session_uuid");
    if (session.empty()) Fail("session not created: " + m);
    break;
  }
  TPaymentTimes times;
  for (int p = 0; p < payments; ++p) {
    c.SendText("{\"route\":\"/transaction\",\"session_uuid\":\"" + session +
               "\",\"type\":\"transaction\",\"operation\":0,\"transaction_value\":\"12,50\","
               "\"sale_id\":4321,\"payer_name\":\"Fulano de Tal\"}");
    double answered = -1;
    std::string last_answer;
    for (int n = 0;; ++n) {
      if (n > 500) Fail("the payment dialogue does not end");
      const std::string m = c.Receive();
      const double t = NowUs();
      const std::string type = StringMember(m, "type");
      const bool last = type == "result" || type == "error";
      if (answered >= 0) {
        (last ? times.closing : times.prompts).push_back(t - answered);
        if (getenv("WSBENCH_VERBOSE")) {
          std::printf("prompt %.0f µs: %s -> %s\n", t - answered, last_answer.c_str(),
                      m.substr(0, 100).c_str());
        }
      }
      answered = -1;
      std::string answer;
      if (last) break;
      if (type == "menu") {
        answer = "\"type\":\"menu\",\"response\":\"" + FirstOption(m) + "\"";
      } else if (type == "collect") {
        const bool installments = m.find("\"field_type\":505") != std::string::npos;
        answer = std::string("\"type\":\"collect\",\"typed\":true,\"response\":\"") +
                 (installments ? "3" : "1") + "\"";
      } else if (type == "question") {
        answer = "\"type\":\"question\",\"response\":\"Sim\"";
      } else if (type == "confirmation") {
        answer = "\"type\":\"confirmation\"";
      }
      if (answer.empty()) continue;
      last_answer = answer;
      answered = NowUs();
      c.SendText("{\"route\":\"/transaction\"," + answer + "}");
    }
  }
  return times;
}

// --- the run ----------------------------------------------------------------

struct TOptions {
  std::string app, floor;
  int rounds = 3;
  bool quick = false;
  std::string only;  // one measure by name, for working on it
};

int Run(const TOptions& o) {
  TSettings s;
  if (o.quick) {
    s.small_count = 300;
    s.handshake_count = 10;
    s.large_count = 1;
    s.payments = 1;
  }
  char tmpl[] = "/tmp/wsbench.XXXXXX";
  if (!mkdtemp(tmpl)) Fail("mkdtemp failed");
  const std::string tmp = tmpl;
  const std::string app = tmp + "/app";
  if (system(("cp -a '" + o.app + "' '" + app + "' && rm -rf '" + app + "/Log' '" + app +
              "/TEF' && mkdir -p '" + app + "/Log' '" + app + "/TEF'")
                 .c_str()) != 0) {
    Fail("cannot copy " + o.app);
  }
  WriteFile(app + "/dll/clisitef-sim.json", "{\"interruption_delay_ms\": 0}\n");
  const std::string control = "ZENTAVO_CLISITEF_CONTROL_DIR=" + tmp + "/control";
  const std::vector<std::string> env = {"TZ=America/Sao_Paulo", control};

  SSL_CTX* ctx = ClientContext();
  std::printf("building a %zu-byte message...\n", s.large_bytes);
  const std::vector<uint8_t> large = Frame(NoSessionMessage(s.large_bytes, "data"));

  std::vector<TResult> svc_rounds, floor_rounds;
  std::vector<double> prompts, closing;
  for (int round = 0; round < o.rounds; ++round) {
    const int svc_port = FreePort();
    WriteFile(app + "/SvcZentavoSiTef.ini", "[sitef]\r\nserver_port=" + std::to_string(svc_port) +
                                                "\r\npdv_number=3\r\nqrcode_on_pinpad=0\r\n");
    TProcess svc, flo;
    TResult rs, rf;
    struct TTarget {
      TProcess* p;
      TResult* r;
    };
    TTarget targets[2] = {{&svc, &rs}, {&flo, &rf}};
    std::vector<std::function<void(TTarget&)>> measures;
    const auto wanted = [&](const char* name) { return o.only.empty() || o.only == name; };
    if (wanted("memory"))
      measures.push_back([&](TTarget& t) { MeasureMemory(ctx, *t.p, large, *t.r); });
    if (wanted("small"))
      measures.push_back([&](TTarget& t) { MeasureSmall(ctx, t.p->port, s, *t.r); });
    if (wanted("large")) {
      measures.push_back([&](TTarget& t) {
        MeasureLarge(ctx, t.p->port, large, s.large_bytes, s.large_count, *t.r);
      });
    }
    if (wanted("handshakes"))
      measures.push_back([&](TTarget& t) { MeasureHandshakes(ctx, t.p->port, s, *t.r); });
    try {
      svc = Spawn({app + "/SvcZentavoSiTef"}, app, tmp + "/service.out", env, svc_port);
      const int floor_port = FreePort();
      flo = Spawn({o.floor, std::to_string(floor_port), app + "/Certificado/server_cert.pem",
                   app + "/Certificado/server_key.pem", app + "/Certificado/ca_cert.pem"},
                  tmp, tmp + "/floor.out", {}, floor_port);
      SleepMs(500);
      for (size_t m = 0; m < measures.size(); ++m) {
        const size_t first = (round + m) % 2;
        measures[m](targets[first]);
        // Each server sees its closed connections end before the next measure.
        SleepMs(300);
        measures[m](targets[1 - first]);
        SleepMs(300);
      }
      if (wanted("payment")) {
        const TPaymentTimes p = MeasurePayments(ctx, svc_port, s.payments);
        prompts.insert(prompts.end(), p.prompts.begin(), p.prompts.end());
        closing.insert(closing.end(), p.closing.begin(), p.closing.end());
      }
    } catch (...) {
      Stop(svc);
      Stop(flo);
      throw;
    }
    Stop(svc);
    Stop(flo);
    std::printf(
        "round %d: service %.1f/%.1f µs, %.0f MB/s, hs %.0f/%.0f µs (%d/%d resumed), RSS "
        "%.1f/%.1f/%.1f MiB"
        " | floor %.1f/%.1f µs, %.0f MB/s, hs %.0f/%.0f µs (%d/%d resumed), RSS %.1f/%.1f/%.1f "
        "MiB\n",
        round + 1, rs.small_p50, rs.small_p99, rs.large_mbs, rs.handshake_p50, rs.resumed_p50,
        rs.resumed, rs.resumed_of, rs.rss_idle, rs.rss_peak, rs.rss_after, rf.small_p50,
        rf.small_p99, rf.large_mbs, rf.handshake_p50, rf.resumed_p50, rf.resumed, rf.resumed_of,
        rf.rss_idle, rf.rss_peak, rf.rss_after);
    std::fflush(stdout);
    svc_rounds.push_back(rs);
    floor_rounds.push_back(rf);
  }

  const auto med = [](const std::vector<TResult>& v, double TResult::*f) {
    std::vector<double> x;
    for (const auto& r : v) x.push_back(r.*f);
    return Median(x);
  };
  const auto row = [&](const char* name, double TResult::*f, const char* unit, bool higher_better,
                       const char* goal) {
    const double a = med(svc_rounds, f), b = med(floor_rounds, f);
    const double ratio = b > 0 ? a / b : 0;
    std::printf("| %s | %.1f %s | %.1f %s | %.2f | %s |\n", name, a, unit, b, unit, ratio, goal);
    (void)higher_better;
  };
  const double mb = s.large_bytes / 1048576.0;
  std::printf(
      "\n%d round(s), medians; %d small round trips, %d handshakes of each kind, %d x %.0f MiB per "
      "round\n\n",
      o.rounds, s.small_count, s.handshake_count, s.large_count, mb);
  std::printf("| measure | service | floor | ratio | goal |\n|---|---|---|---|---|\n");
  row("100-byte request → error reply, p50", &TResult::small_p50, "µs", false, "≤ 1.10");
  row("same, p99", &TResult::small_p99, "µs", false, "≤ 1.50");
  row("20 MiB text message in (send → reply)", &TResult::large_mbs, "MB/s", true, "≥ 0.85");
  row("TCP + TLS + upgrade, p50", &TResult::handshake_p50, "µs", false, "≤ 1.00");
  row("resumed handshake, p50", &TResult::resumed_p50, "µs", false, "≤ 1.00");
  const double idle = med(svc_rounds, &TResult::rss_idle);
  std::printf(
      "| RSS idle / peak with one %.0f MiB message / after | %.1f / %.1f / %.1f MiB | %.1f / %.1f "
      "/ %.1f MiB | — | ≤ 8 / ≤ %.1f / ≈ idle |\n",
      mb, idle, med(svc_rounds, &TResult::rss_peak), med(svc_rounds, &TResult::rss_after),
      med(floor_rounds, &TResult::rss_idle), med(floor_rounds, &TResult::rss_peak),
      med(floor_rounds, &TResult::rss_after), idle + 3 * mb);
  std::printf(
      "| payment prompt: answer in → next message out, p50 / p99 (%zu prompts, no simulator "
      "delays) | %.0f / %.0f µs | — | — | p99 ≤ 1000 µs |\n",
      prompts.size(), Percentile(prompts, 0.5), Percentile(prompts, 0.99));
  std::printf(
      "| payment closing: last answer in → result out, p50 / max (%zu payments; journal syncs, "
      "library, sales API) | %.0f / %.0f µs | — | — | — |\n",
      closing.size(), Percentile(closing, 0.5), Percentile(closing, 1.0));
  int unresumed = 0;
  for (const auto& r : svc_rounds) unresumed += r.resumed_of - r.resumed;
  if (unresumed)
    std::printf("\nnote: %d of the service's resumption attempts made a full handshake\n",
                unresumed);
  SSL_CTX_free(ctx);
  system(("rm -rf '" + tmp + "'").c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  signal(SIGPIPE, SIG_IGN);
  TOptions o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--app" && i + 1 < argc)
      o.app = argv[++i];
    else if (a == "--floor" && i + 1 < argc)
      o.floor = argv[++i];
    else if (a == "--rounds" && i + 1 < argc)
      o.rounds = std::max(1, std::atoi(argv[++i]));
    else if (a == "--quick")
      o.quick = true;
    else if (a == "--only" && i + 1 < argc)
      o.only = argv[++i];
    else {
      std::fprintf(stderr,
                   "usage: %s --app DIR --floor PATH [--rounds N] [--quick] [--only "
                   "memory|small|large|handshakes|payment]\n",
                   argv[0]);
      return 2;
    }
  }
  if (o.app.empty() || o.floor.empty()) {
    std::fprintf(stderr,
                 "usage: %s --app DIR --floor PATH [--rounds N] [--quick] [--only "
                 "memory|small|large|handshakes|payment]\n",
                 argv[0]);
    return 2;
  }
  if (o.quick && o.rounds == 3) o.rounds = 1;
  // The servers run in other folders.
  for (std::string* path : {&o.app, &o.floor}) {
    char resolved[PATH_MAX];
    if (realpath(path->c_str(), resolved) == nullptr) {
      std::fprintf(stderr, "wsbench: %s not found\n", path->c_str());
      return 2;
    }
    *path = resolved;
  }
  try {
    return Run(o);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "wsbench: %s\n", e.what());
    return 1;
  }
}
