#include "core/rest/curltransport.h"

// The calls go through pointers loaded at run time; the type-checking macros
// of the header would name the linked functions.
#define CURL_DISABLE_TYPECHECK
#include <curl/curl.h>

#include <memory>
#include <mutex>
#include <string_view>

#include "platform/dynlib.h"

namespace core::rest {

namespace {

// libcurl and the libraries it brings (several TLS, LDAP, SSH and Kerberos
// stacks) take megabytes of memory once mapped, and only the sales API call
// after a payment needs them: they are loaded at the first request and stay.
struct TCurlApi {
  CURLcode (*global_init)(long) = nullptr;
  CURL* (*easy_init)() = nullptr;
  CURLcode (*easy_setopt)(CURL*, CURLoption, ...) = nullptr;
  CURLcode (*easy_perform)(CURL*) = nullptr;
  CURLcode (*easy_getinfo)(CURL*, CURLINFO, ...) = nullptr;
  void (*easy_cleanup)(CURL*) = nullptr;
  const char* (*easy_strerror)(CURLcode) = nullptr;
  curl_slist* (*slist_append)(curl_slist*, const char*) = nullptr;
  void (*slist_free_all)(curl_slist*) = nullptr;
  bool loaded = false;
};

template <typename F>
bool Bind(platform::DynLibHandle lib, const char* name, F& f) {
  f = reinterpret_cast<F>(platform::SystemDynLibLoader().Symbol(lib, name));
  return f != nullptr;
}

const TCurlApi& Api() {
  static TCurlApi api;
  static std::once_flag once;
  std::call_once(once, [] {
    platform::DynLibHandle lib = platform::SystemDynLibLoader().Load("libcurl.so.4");
    if (lib == nullptr) return;
    api.loaded = Bind(lib, "curl_global_init", api.global_init) &&
                 Bind(lib, "curl_easy_init", api.easy_init) &&
                 Bind(lib, "curl_easy_setopt", api.easy_setopt) &&
                 Bind(lib, "curl_easy_perform", api.easy_perform) &&
                 Bind(lib, "curl_easy_getinfo", api.easy_getinfo) &&
                 Bind(lib, "curl_easy_cleanup", api.easy_cleanup) &&
                 Bind(lib, "curl_easy_strerror", api.easy_strerror) &&
                 Bind(lib, "curl_slist_append", api.slist_append) &&
                 Bind(lib, "curl_slist_free_all", api.slist_free_all);
    if (api.loaded) api.global_init(CURL_GLOBAL_DEFAULT);
  });
  if (!api.loaded) throw ERequestError("libcurl could not be loaded");
  return api;
}

struct TCurlDeleter {
  void operator()(CURL* h) const { Api().easy_cleanup(h); }
};
struct TSlistDeleter {
  void operator()(curl_slist* l) const { Api().slist_free_all(l); }
};

struct TReceived {
  std::string body;
  std::string statusText;
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  static_cast<TReceived*>(user)->body.append(data, size * count);
  return size * count;
}

// Keeps the reason phrase of the latest status line: a redirect or an
// interim 100 answer is followed by the final one.
size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  std::string_view line(data, size * count);
  if (line.starts_with("HTTP/")) {
    auto* received = static_cast<TReceived*>(user);
    received->statusText.clear();
    size_t code = line.find(' ');
    size_t reason = code == std::string_view::npos ? code : line.find(' ', code + 1);
    if (reason != std::string_view::npos) {
      std::string_view text = line.substr(reason + 1);
      while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.remove_suffix(1);
      received->statusText = std::string(text);
    }
  }
  return size * count;
}

void Check(CURLcode code, const char* what) {
  if (code != CURLE_OK) {
    throw ERequestError(std::string(what) + ": " + Api().easy_strerror(code));
  }
}

using TSlist = std::unique_ptr<curl_slist, TSlistDeleter>;

// The request's headers as libcurl's list, without "Expect: 100-continue".
TSlist HeaderList(const THttpRequest& request) {
  TSlist headers;
  auto add = [&headers](const std::string& line) {
    curl_slist* grown = Api().slist_append(headers.get(), line.c_str());
    if (!grown) throw ERequestError("out of memory");
    headers.release();
    headers.reset(grown);
  };
  for (const auto& [name, value] : request.Headers) {
    // "Name;" is libcurl's way of sending a header with an empty value.
    add(value.empty() ? name + ";" : name + ": " + value);
  }
  add("Expect:");  // no 100-continue round trip before the body
  return headers;
}

// Where the request goes and how: address, protocols, redirects, time-out, TLS.
void SetConnection(const TCurlApi& api, CURL* h, const THttpRequest& request) {
  Check(api.easy_setopt(h, CURLOPT_URL, request.Url.c_str()), "URL");
  Check(api.easy_setopt(h, CURLOPT_NOSIGNAL, 1L), "CURLOPT_NOSIGNAL");
  Check(api.easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https"), "CURLOPT_PROTOCOLS_STR");
  Check(api.easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https"),
        "CURLOPT_REDIR_PROTOCOLS_STR");
  // HTTP/1.1: its status line carries the reason phrase that a refusal logs.
  Check(api.easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1)),
        "CURLOPT_HTTP_VERSION");
  Check(api.easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L), "CURLOPT_FOLLOWLOCATION");
  Check(api.easy_setopt(h, CURLOPT_MAXREDIRS, TCurlTransport::kMaxRedirects), "CURLOPT_MAXREDIRS");
  Check(api.easy_setopt(h, CURLOPT_TIMEOUT_MS, request.TimeoutMs), "CURLOPT_TIMEOUT_MS");
  // Every server certificate is accepted.
  Check(api.easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 0L), "CURLOPT_SSL_VERIFYPEER");
  Check(api.easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 0L), "CURLOPT_SSL_VERIFYHOST");
  // TLS 1.0 up to 1.3. OpenSSL 3 refuses TLS 1.0 and 1.1 above security
  // level 0 (they sign with SHA-1), so the level is lowered for this request.
  Check(api.easy_setopt(h, CURLOPT_SSLVERSION,
                        static_cast<long>(CURL_SSLVERSION_TLSv1_0) |
                            static_cast<long>(CURL_SSLVERSION_MAX_TLSv1_3)),
        "CURLOPT_SSLVERSION");
  Check(api.easy_setopt(h, CURLOPT_SSL_CIPHER_LIST, "DEFAULT:@SECLEVEL=0"),
        "CURLOPT_SSL_CIPHER_LIST");
}

// What is sent (method, headers, body) and where the answer is collected.
void SetExchange(const TCurlApi& api, CURL* h, const THttpRequest& request, curl_slist* headers,
                 TReceived& received) {
  Check(api.easy_setopt(h, CURLOPT_HTTPHEADER, headers), "CURLOPT_HTTPHEADER");
  Check(api.easy_setopt(h, CURLOPT_WRITEFUNCTION, OnBody), "CURLOPT_WRITEFUNCTION");
  Check(api.easy_setopt(h, CURLOPT_WRITEDATA, &received), "CURLOPT_WRITEDATA");
  Check(api.easy_setopt(h, CURLOPT_HEADERFUNCTION, OnHeader), "CURLOPT_HEADERFUNCTION");
  Check(api.easy_setopt(h, CURLOPT_HEADERDATA, &received), "CURLOPT_HEADERDATA");

  switch (request.Method) {
    case TRequestMethod::rmGET:
      Check(api.easy_setopt(h, CURLOPT_HTTPGET, 1L), "CURLOPT_HTTPGET");
      break;
    case TRequestMethod::rmPOST:
      Check(api.easy_setopt(h, CURLOPT_POST, 1L), "CURLOPT_POST");
      break;
    default:
      Check(api.easy_setopt(h, CURLOPT_CUSTOMREQUEST, MethodName(request.Method)),
            "CURLOPT_CUSTOMREQUEST");
      break;
  }
  if (request.Method != TRequestMethod::rmGET &&
      (!request.Body.empty() || request.Method == TRequestMethod::rmPOST)) {
    Check(api.easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE,
                          static_cast<curl_off_t>(request.Body.size())),
          "CURLOPT_POSTFIELDSIZE_LARGE");
    Check(api.easy_setopt(h, CURLOPT_POSTFIELDS, request.Body.data()), "CURLOPT_POSTFIELDS");
  }
}

}  // namespace

TCurlTransport::TCurlTransport() = default;

TRestResponse TCurlTransport::Perform(const THttpRequest& request) {
  const TCurlApi& api = Api();
  std::unique_ptr<CURL, TCurlDeleter> handle(api.easy_init());
  if (!handle) throw ERequestError("libcurl handle could not be created");
  CURL* h = handle.get();

  const TSlist headers = HeaderList(request);
  TReceived received;
  char errorText[CURL_ERROR_SIZE] = {};
  Check(api.easy_setopt(h, CURLOPT_ERRORBUFFER, errorText), "CURLOPT_ERRORBUFFER");
  SetConnection(api, h, request);
  SetExchange(api, h, request, headers.get(), received);

  CURLcode result = api.easy_perform(h);
  if (result != CURLE_OK) {
    throw ERequestError(errorText[0] != '\0' ? std::string(errorText)
                                             : std::string(api.easy_strerror(result)));
  }
  TRestResponse response;
  Check(api.easy_getinfo(h, CURLINFO_RESPONSE_CODE, &response.StatusCode), "response code");
  response.StatusText = std::move(received.statusText);
  response.Content = std::move(received.body);
  return response;
}

}  // namespace core::rest
