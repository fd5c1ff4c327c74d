#include "core/rest/restclient.h"

#include "core/rest/curltransport.h"
#include "platform/environment.h"

namespace core::rest {

namespace {

bool HasLineBreak(const std::string& text) {
  return text.find_first_of("\r\n") != std::string::npos;
}

void AppendQuery(std::string& url, const std::string& query) {
  if (query.empty()) return;
  // A fragment stays last.
  size_t hash = url.find('#');
  std::string fragment;
  if (hash != std::string::npos) {
    fragment = url.substr(hash);
    url.erase(hash);
  }
  url += url.find('?') == std::string::npos ? '?' : '&';
  url += query;
  url += fragment;
}

// ZENTAVO_SALES_API_TIMEOUT_MS shortens the time-out for tests that make the
// sales API hang; anything but a positive number keeps the standard one.
long RequestTimeoutMs() {
  static const long ms = [] {
    const std::optional<std::string> v = platform::GetEnv("ZENTAVO_SALES_API_TIMEOUT_MS");
    if (!v) return kRequestTimeoutMs;
    try {
      const long n = std::stol(*v);
      return n > 0 ? n : kRequestTimeoutMs;
    } catch (...) {
      return kRequestTimeoutMs;
    }
  }();
  return ms;
}

THttpRequest BuildRequest(TRequestMethod method, const std::string& baseUrl,
                          const TArrayParamRequest& params, const std::string& body) {
  THttpRequest request;
  request.Method = method;
  request.Url = baseUrl;
  request.TimeoutMs = RequestTimeoutMs();
  request.Headers.emplace_back("Accept", kAcceptHeader);
  request.Headers.emplace_back("Accept-Charset", kAcceptCharsetHeader);

  std::string query;
  for (const TParamRequest& p : params) {
    const std::string value = p.encode ? PercentEncode(p.valor) : p.valor;
    switch (p.tipo) {
      case TRequestParamType::rpHTTPHEADER:
        // A raw line break would let a value smuggle headers of its own.
        if (p.nome.empty() || HasLineBreak(p.nome) || HasLineBreak(value) ||
            p.nome.find(':') != std::string::npos) {
          throw ERequestError("invalid header parameter '" + p.nome + "'");
        }
        request.Headers.emplace_back(p.nome, value);
        break;
      case TRequestParamType::rpURLSEGMENT: {
        const std::string placeholder = "{" + p.nome + "}";
        for (size_t at = request.Url.find(placeholder); at != std::string::npos;
             at = request.Url.find(placeholder, at + value.size())) {
          request.Url.replace(at, placeholder.size(), value);
        }
        break;
      }
      case TRequestParamType::rpGETorPOST:
        if (!query.empty()) query += '&';
        query += (p.encode ? PercentEncode(p.nome) : p.nome) + "=" + value;
        break;
      case TRequestParamType::rpREQUESTBODY:
        break;
    }
  }

  const bool hasBodyMethod = method == TRequestMethod::rmPOST || method == TRequestMethod::rmPUT ||
                             method == TRequestMethod::rmPATCH;
  if (!body.empty()) {
    request.Body = body;
    request.Headers.emplace_back("Content-Type", kJsonContentType);
    AppendQuery(request.Url, query);
  } else if (hasBodyMethod && !query.empty()) {
    request.Body = query;
    request.Headers.emplace_back("Content-Type", "application/x-www-form-urlencoded");
  } else {
    AppendQuery(request.Url, query);
  }
  return request;
}

}  // namespace

const char* MethodName(TRequestMethod method) {
  switch (method) {
    case TRequestMethod::rmPOST:
      return "POST";
    case TRequestMethod::rmPUT:
      return "PUT";
    case TRequestMethod::rmGET:
      return "GET";
    case TRequestMethod::rmDELETE:
      return "DELETE";
    case TRequestMethod::rmPATCH:
      return "PATCH";
  }
  return "GET";
}

std::string PercentEncode(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '.' || c == '_' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    }
  }
  return out;
}

TRestResponse ExecuteRequest(TRequestMethod Method, const std::string& BaseURL,
                             const TArrayParamRequest& Params, const std::string& Body,
                             IHttpTransport& transport) {
  try {
    return transport.Perform(BuildRequest(Method, BaseURL, Params, Body));
  } catch (const std::exception& e) {
    throw ERequestError(std::string("Request Error ") + e.what());
  }
}

TRestResponse ExecuteRequest(TRequestMethod Method, const std::string& BaseURL,
                             const TArrayParamRequest& Params, const std::string& Body) {
  TCurlTransport transport;
  return ExecuteRequest(Method, BaseURL, Params, Body, transport);
}

}  // namespace core::rest
