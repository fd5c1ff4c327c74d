// The REST call helper: one synchronous HTTP(S) request with the fixed
// options of the service's outgoing calls (accept headers, no user agent,
// redirects followed, TLS 1.0 to 1.3, every server certificate accepted,
// 60 s time-out).
//
// ExecuteRequest turns a method, a base URL and parameters into a fully
// resolved THttpRequest and hands it to an IHttpTransport; the transport owns
// the network work (TCurlTransport in curltransport.h; tests put their own).
// Functions and values here hold no shared state: any thread may call them
// with its own transport.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace core::rest {

enum class TRequestMethod { rmPOST, rmPUT, rmGET, rmDELETE, rmPATCH };

// "POST", "PUT", "GET", "DELETE", "PATCH".
const char* MethodName(TRequestMethod method);

enum class TRequestParamType { rpGETorPOST, rpURLSEGMENT, rpREQUESTBODY, rpHTTPHEADER };

// One request parameter. encode false sends the value as given (a header
// that must not be encoded, a URL segment that is already encoded).
struct TParamRequest {
  std::string nome;
  std::string valor;
  TRequestParamType tipo = TRequestParamType::rpGETorPOST;
  bool encode = true;
};
using TArrayParamRequest = std::vector<TParamRequest>;

// What the transport is asked to perform.
struct THttpRequest {
  TRequestMethod Method = TRequestMethod::rmGET;
  std::string Url;
  std::vector<std::pair<std::string, std::string>> Headers;  // in order
  std::string Body;                                          // sent when not empty
  long TimeoutMs = 0;                                        // whole transfer
};

// An answer of any status (a 500 is an answer like any other).
struct TRestResponse {
  long StatusCode = 0;
  std::string StatusText;  // reason phrase of the final status line; may be empty
  std::string Content;     // body bytes as received
};

// The request failed before an answer arrived (no connection, TLS failure,
// time-out, too many redirects, an unusable URL or parameter).
class ERequestError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Performs requests. Perform throws ERequestError carrying the reason alone
// (ExecuteRequest adds the "Request Error " prefix).
class IHttpTransport {
 public:
  virtual ~IHttpTransport() = default;
  virtual TRestResponse Perform(const THttpRequest& request) = 0;
};

inline constexpr long kRequestTimeoutMs = 60000;
inline constexpr char kAcceptHeader[] = "*/*";
inline constexpr char kAcceptCharsetHeader[] = "UTF-8, *;q=0.8";
inline constexpr char kJsonContentType[] = "application/json";

// Builds the request (headers Accept and Accept-Charset, then the header
// parameters in order, then Content-Type application/json when Body is not
// empty; time-out kRequestTimeoutMs) and performs it on transport:
// - rpURLSEGMENT replaces every "{nome}" in BaseURL with the value
//   (percent-encoded unless encode is false);
// - rpGETorPOST goes into the query string, or for POST/PUT/PATCH without a
//   Body into an application/x-www-form-urlencoded body;
// - rpHTTPHEADER adds a header (value percent-encoded unless encode is false);
// - rpREQUESTBODY is ignored.
// Every failure is an ERequestError whose message is "Request Error " + reason.
TRestResponse ExecuteRequest(TRequestMethod Method, const std::string& BaseURL,
                             const TArrayParamRequest& Params, const std::string& Body,
                             IHttpTransport& transport);

// The same on a TCurlTransport of its own.
TRestResponse ExecuteRequest(TRequestMethod Method, const std::string& BaseURL,
                             const TArrayParamRequest& Params, const std::string& Body);

// Percent-encodes everything but the unreserved characters of RFC 3986.
std::string PercentEncode(const std::string& text);

}  // namespace core::rest
