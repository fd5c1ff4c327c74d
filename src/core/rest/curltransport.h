// The real HTTP transport of the REST helper, on libcurl: follows redirects
// (at most kMaxRedirects, http and https only), offers TLS 1.0 up to 1.3 and
// accepts every server certificate whatever its issuer, name or dates (the
// sales API is reached by an address the session token gives, often behind a
// self-signed certificate). Speaks HTTP/1.1; sends no User-Agent and no
// "Expect: 100-continue".
//
// One object may serve several requests one after the other; each Perform
// uses its own libcurl handle, so distinct objects may be used on distinct
// threads at once. Perform blocks the calling thread for at most the
// request's time-out.
#pragma once

#include "core/rest/restclient.h"

namespace core::rest {

class TCurlTransport : public IHttpTransport {
 public:
  static constexpr long kMaxRedirects = 10;

  TCurlTransport();
  TRestResponse Perform(const THttpRequest& request) override;
};

}  // namespace core::rest
