#include "core/rest/curltransport.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>
#include <string_view>

namespace core::rest {

namespace {

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct TCurlDeleter {
  void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
struct TSlistDeleter {
  void operator()(curl_slist* l) const { curl_slist_free_all(l); }
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
    throw ERequestError(std::string(what) + ": " + curl_easy_strerror(code));
  }
}

}  // namespace

TCurlTransport::TCurlTransport() { GlobalInit(); }

TRestResponse TCurlTransport::Perform(const THttpRequest& request) {
  std::unique_ptr<CURL, TCurlDeleter> handle(curl_easy_init());
  if (!handle) throw ERequestError("libcurl handle could not be created");
  CURL* h = handle.get();

  std::unique_ptr<curl_slist, TSlistDeleter> headers;
  auto addHeader = [&headers](const std::string& line) {
    curl_slist* grown = curl_slist_append(headers.get(), line.c_str());
    if (!grown) throw ERequestError("out of memory");
    headers.release();
    headers.reset(grown);
  };
  for (const auto& [name, value] : request.Headers) {
    // "Name;" is libcurl's way of sending a header with an empty value.
    addHeader(value.empty() ? name + ";" : name + ": " + value);
  }
  addHeader("Expect:");  // no 100-continue round trip before the body

  TReceived received;
  char errorText[CURL_ERROR_SIZE] = {};
  Check(curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorText), "CURLOPT_ERRORBUFFER");
  Check(curl_easy_setopt(h, CURLOPT_URL, request.Url.c_str()), "URL");
  Check(curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L), "CURLOPT_NOSIGNAL");
  Check(curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https"), "CURLOPT_PROTOCOLS_STR");
  Check(curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https"),
        "CURLOPT_REDIR_PROTOCOLS_STR");
  // HTTP/1.1: its status line carries the reason phrase that a refusal logs.
  Check(curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1)),
        "CURLOPT_HTTP_VERSION");
  Check(curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L), "CURLOPT_FOLLOWLOCATION");
  Check(curl_easy_setopt(h, CURLOPT_MAXREDIRS, kMaxRedirects), "CURLOPT_MAXREDIRS");
  Check(curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, request.TimeoutMs), "CURLOPT_TIMEOUT_MS");
  // Every server certificate is accepted.
  Check(curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 0L), "CURLOPT_SSL_VERIFYPEER");
  Check(curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 0L), "CURLOPT_SSL_VERIFYHOST");
  // TLS 1.0 up to 1.3. OpenSSL 3 refuses TLS 1.0 and 1.1 above security
  // level 0 (they sign with SHA-1), so the level is lowered for this request.
  Check(curl_easy_setopt(h, CURLOPT_SSLVERSION,
                         static_cast<long>(CURL_SSLVERSION_TLSv1_0) |
                             static_cast<long>(CURL_SSLVERSION_MAX_TLSv1_3)),
        "CURLOPT_SSLVERSION");
  Check(curl_easy_setopt(h, CURLOPT_SSL_CIPHER_LIST, "DEFAULT:@SECLEVEL=0"),
        "CURLOPT_SSL_CIPHER_LIST");
  Check(curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get()), "CURLOPT_HTTPHEADER");
  Check(curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, OnBody), "CURLOPT_WRITEFUNCTION");
  Check(curl_easy_setopt(h, CURLOPT_WRITEDATA, &received), "CURLOPT_WRITEDATA");
  Check(curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, OnHeader), "CURLOPT_HEADERFUNCTION");
  Check(curl_easy_setopt(h, CURLOPT_HEADERDATA, &received), "CURLOPT_HEADERDATA");

  switch (request.Method) {
    case TRequestMethod::rmGET:
      Check(curl_easy_setopt(h, CURLOPT_HTTPGET, 1L), "CURLOPT_HTTPGET");
      break;
    case TRequestMethod::rmPOST:
      Check(curl_easy_setopt(h, CURLOPT_POST, 1L), "CURLOPT_POST");
      break;
    default:
      Check(curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, MethodName(request.Method)),
            "CURLOPT_CUSTOMREQUEST");
      break;
  }
  if (request.Method != TRequestMethod::rmGET &&
      (!request.Body.empty() || request.Method == TRequestMethod::rmPOST)) {
    Check(curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE,
                           static_cast<curl_off_t>(request.Body.size())),
          "CURLOPT_POSTFIELDSIZE_LARGE");
    Check(curl_easy_setopt(h, CURLOPT_POSTFIELDS, request.Body.data()), "CURLOPT_POSTFIELDS");
  }

  CURLcode result = curl_easy_perform(h);
  if (result != CURLE_OK) {
    throw ERequestError(errorText[0] != '\0' ? std::string(errorText)
                                             : std::string(curl_easy_strerror(result)));
  }
  TRestResponse response;
  Check(curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &response.StatusCode), "response code");
  response.StatusText = std::move(received.statusText);
  response.Content = std::move(received.body);
  return response;
}

}  // namespace core::rest
