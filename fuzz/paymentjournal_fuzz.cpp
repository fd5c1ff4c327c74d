// The payment journal reading back an arbitrary file: it never fails hard,
// keeps only whole records, and what it kept reads back the same after an
// append of one more record.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/paymentjournal.h"

namespace {

class TBytesFile : public platform::IAppendFile {
 public:
  explicit TBytesFile(std::string* s) : FContent(s) {}
  bool ReadAll(std::string& out) override {
    out = *FContent;
    return true;
  }
  bool Append(std::string_view b, bool) override {
    FContent->append(b);
    return true;
  }
  bool Truncate(uint64_t n) override {
    FContent->resize(n);
    return true;
  }
  bool Replace(std::string_view b) override {
    *FContent = std::string(b);
    return true;
  }

 private:
  std::string* FContent;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string content(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> notes;
  core::TPaymentJournal j(std::make_unique<TBytesFile>(&content), 4096, 2);
  j.Load(notes);
  const size_t count = j.Count();
  j.Append("fuzz", core::journalstep::kStarted, core::TJsonValue());
  core::TPaymentJournal back(std::make_unique<TBytesFile>(&content), 1u << 30, 2);
  notes.clear();
  back.Load(notes);
  if (back.Count() < 1 || back.Count() > count + 1 || !back.Find("fuzz")) abort();
  return 0;
}
