// The "/print" route's job preparation: the document arrives as base64 text,
// is decoded into a new temporary file beside the executable and handed to
// the print queue. TDmSitef::Print (printroute.cpp) validates the request
// and answers only on failure.
#pragma once

#include <string>
#include <string_view>

namespace core {
class TDmSitef;
}

namespace print {

// Drops every LF, CR and space, then everything up to and including the
// first comma (a data-URL header): the text the decoder reads, which passes
// over these characters instead of copying the text without them.
std::string CleanBase64(const std::string& text);

enum class TSaveResult { srSaved, srExists, srFailed };

// Decodes the base64 text, read as CleanBase64 would leave it, into a file
// that must not exist yet:
// srExists leaves an existing file alone, so a queued document is never
// overwritten. srFailed sets `failure` to "Erro na conversão do arquivo: " +
// the reason and leaves no file.
TSaveResult SaveBase64ToFile(std::string_view text, const std::string& file, std::string& failure);

// Checks the printer setting, writes the temporary file "<N>_Temp.<type>" in
// `folder` and queues it. Replies to the front end go through dm.
void PrintData(core::TDmSitef& dm, const std::string& FileType, std::string_view Data,
               const std::string& folder);

}  // namespace print
