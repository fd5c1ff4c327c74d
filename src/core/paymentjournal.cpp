#include "core/paymentjournal.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>

#include "platform/clock.h"
#include "platform/regional.h"

namespace core {
namespace {

// A record far larger than any payment's (receipts included) is not ours.
constexpr size_t kMaxRecordBytes = size_t{1} << 20;

uint32_t Crc32(std::string_view s) {
  return static_cast<uint32_t>(
      ::crc32(0L, reinterpret_cast<const Bytef*>(s.data()), static_cast<uInt>(s.size())));
}

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

}  // namespace

const TJsonValue* TJournalledPayment::Step(const std::string& step) const {
  auto it = Steps.find(step);
  return it == Steps.end() ? nullptr : &it->second;
}

std::string TJournalledPayment::Text(const std::string& step, const std::string& name) const {
  const TJsonValue* r = Step(step);
  if (r == nullptr) return std::string();
  return MemberText(*r, name).value_or(std::string());
}

bool TJournalledPayment::Resolved() const {
  return Has(journalstep::kConfirmed) || Has(journalstep::kUndone) || Has(journalstep::kEnded);
}

TPaymentJournal::TPaymentJournal(std::unique_ptr<platform::IAppendFile> file, uint64_t compactAt,
                                 size_t keepResolved)
    : FCompactAt(compactAt),
      FKeepResolved(keepResolved),
      FFile(std::move(file)),
      FNextCompaction(compactAt) {}

std::string TPaymentJournal::EncodeRecord(const std::string& json) {
  char crc[16];
  std::snprintf(crc, sizeof crc, "%08x", Crc32(json));
  return std::string(crc) + " " + json + "\n";
}

std::optional<std::string> TPaymentJournal::DecodeRecord(std::string_view line) {
  if (line.size() < 11 || line.size() > kMaxRecordBytes || line[8] != ' ') return std::nullopt;
  uint32_t want = 0;
  for (size_t i = 0; i < 8; ++i) {
    const char c = line[i];
    if (!IsHex(c)) return std::nullopt;
    want = want * 16 + static_cast<uint32_t>(c <= '9' ? c - '0' : c - 'a' + 10);
  }
  const std::string_view json = line.substr(9);
  if (Crc32(json) != want) return std::nullopt;
  return std::string(json);
}

bool TPaymentJournal::Load(std::vector<std::string>& notes) {
  std::lock_guard<std::mutex> lock(FLock);
  FPayments.clear();
  FSeq = 0;
  FSize = 0;
  std::string content;
  if (!FFile->ReadAll(content)) {
    notes.push_back("Diário de pagamentos ilegível; começando vazio.");
    FNeedNewline = true;
    return false;
  }
  size_t pos = 0, valid_end = 0;
  size_t skipped = 0;
  while (pos < content.size()) {
    const size_t nl = content.find('\n', pos);
    const bool last = nl == std::string::npos || nl + 1 == content.size();
    const std::string_view line(content.data() + pos,
                                (nl == std::string::npos ? content.size() : nl) - pos);
    std::optional<TJsonValue> record;
    if (nl != std::string::npos) {
      if (std::optional<std::string> json = DecodeRecord(line)) {
        record = ParseJson(*json);
        if (record && !record->IsObject()) record.reset();
      }
    }
    if (record) {
      Apply(std::string(line), *record);
      valid_end = nl + 1;
    } else if (last) {
      break;  // torn by a crash mid-write: cut off below
    } else {
      ++skipped;
      valid_end = nl + 1;
    }
    if (nl == std::string::npos) break;
    pos = nl + 1;
  }
  if (skipped > 0) {
    notes.push_back("Diário de pagamentos: " + std::to_string(skipped) +
                    " registro(s) inválido(s) ignorado(s).");
  }
  FSize = valid_end;
  if (valid_end < content.size()) {
    notes.push_back("Diário de pagamentos: último registro incompleto descartado.");
    if (!FFile->Truncate(valid_end)) FNeedNewline = true;
  }
  return true;
}

void TPaymentJournal::Apply(const std::string& line, const TJsonValue& record) {
  const std::string id = MemberText(record, "id").value_or(std::string());
  const std::string step = MemberText(record, "step").value_or(std::string());
  if (const std::optional<std::string> s = MemberText(record, "seq")) {
    try {
      FSeq = std::max<uint64_t>(FSeq, std::stoull(*s));
    } catch (...) {
      // a record without a usable sequence still counts
    }
  }
  if (id.empty() || step.empty()) return;
  auto it = FPayments.find(id);
  if (it == FPayments.end()) {
    if (step != journalstep::kStarted) return;  // its start was compacted away or lost
    TJournalledPayment p;
    p.Id = id;
    p.Order = FSeq;
    it = FPayments.emplace(id, std::move(p)).first;
  }
  it->second.Steps[step] = record;
  it->second.Lines.push_back(line);
}

void TPaymentJournal::Append(const std::string& id, const std::string& step,
                             const TJsonValue& fields, bool durable) {
  std::lock_guard<std::mutex> lock(FLock);
  TJsonValue record = TJsonValue::MakeObject();
  record.AddString("id", id)
      .AddString("step", step)
      .AddInteger("seq", static_cast<long long>(FSeq + 1))
      .AddString("at", platform::FormatDateTime("yyyy-mm-dd hh:nn:ss", platform::Now()));
  if (fields.IsObject()) {
    for (const TJsonMember& m : fields.Members()) record.Add(m.Name, m.Value);
  }
  const std::string json = record.Serialize();
  const std::string line = EncodeRecord(json);
  const std::string bytes = FNeedNewline ? "\n" + line : line;
  if (!FFile->Append(bytes, durable)) {
    FNeedNewline = true;
    throw EPaymentJournal();
  }
  FNeedNewline = false;
  FSize += bytes.size();
  ++FSeq;
  Apply(line.substr(0, line.size() - 1), record);
  if (FSize > FNextCompaction) CompactLocked();
}

void TPaymentJournal::CompactLocked() {
  std::vector<const TJournalledPayment*> resolved;
  for (const auto& [id, p] : FPayments) {
    if (p.Resolved()) resolved.push_back(&p);
  }
  std::sort(
      resolved.begin(), resolved.end(),
      [](const TJournalledPayment* a, const TJournalledPayment* b) { return a->Order > b->Order; });
  std::vector<std::string> drop;
  for (size_t i = FKeepResolved; i < resolved.size(); ++i) drop.push_back(resolved[i]->Id);

  std::vector<const TJournalledPayment*> kept;
  for (const auto& [id, p] : FPayments) {
    if (std::find(drop.begin(), drop.end(), id) == drop.end()) kept.push_back(&p);
  }
  std::sort(kept.begin(), kept.end(), [](const TJournalledPayment* a, const TJournalledPayment* b) {
    return a->Order < b->Order;
  });
  std::string content;
  for (const TJournalledPayment* p : kept) {
    for (const std::string& l : p->Lines) content += l + "\n";
  }
  // A failed compaction leaves the longer file, which is still whole.
  if (!FFile->Replace(content)) return;
  for (const std::string& id : drop) FPayments.erase(id);
  FSize = content.size();
  FNeedNewline = false;
  // Many unresolved payments must not make every append rewrite the file.
  FNextCompaction = std::max<uint64_t>(FCompactAt, FSize * 2);
}

std::optional<TJournalledPayment> TPaymentJournal::Find(const std::string& id) const {
  std::lock_guard<std::mutex> lock(FLock);
  auto it = FPayments.find(id);
  if (it == FPayments.end()) return std::nullopt;
  return it->second;
}

std::vector<TJournalledPayment> TPaymentJournal::Unresolved() const {
  std::lock_guard<std::mutex> lock(FLock);
  std::vector<TJournalledPayment> out;
  for (const auto& [id, p] : FPayments) {
    if (!p.Resolved()) out.push_back(p);
  }
  std::sort(out.begin(), out.end(), [](const TJournalledPayment& a, const TJournalledPayment& b) {
    return a.Order < b.Order;
  });
  return out;
}

std::optional<TJournalledPayment> TPaymentJournal::LastOfSale(long long sale,
                                                              long long company) const {
  std::lock_guard<std::mutex> lock(FLock);
  const std::string s = std::to_string(sale), c = std::to_string(company);
  const TJournalledPayment* best = nullptr;
  for (const auto& [id, p] : FPayments) {
    if (p.Text(journalstep::kStarted, "sale_id") != s ||
        p.Text(journalstep::kStarted, "company_id") != c) {
      continue;
    }
    if (best == nullptr || p.Order > best->Order) best = &p;
  }
  if (best == nullptr) return std::nullopt;
  return *best;
}

size_t TPaymentJournal::Count() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FPayments.size();
}

uint64_t TPaymentJournal::FileSize() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FSize;
}

}  // namespace core
