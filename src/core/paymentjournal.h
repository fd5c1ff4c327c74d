// The payment journal: one record per step of each payment, appended to a
// file beside TEF/ and on the disk before the step's effect outside the
// service (the library, the sales API, the front end). At start the service
// reads it back and resolves every payment that it does not show finished.
//
// Steps of a payment, in order:
//   started     before the library starts the function: session, sale,
//               company, request, the library configuration in force and the
//               document, date and time the function is started with
//   approved    the library approved; before the sales API is called: NSU,
//               authorization and the result message to be registered
//   registered  the sales API accepted it (payment id); before confirming
//   refused     the sales API refused it or did not answer; before undoing
//   confirmed   the library confirmed it
//   undone      the library undid it
//   ended       the function ended without an approval (the result sent)
//   delivered   the result was written to the front end
// A payment is resolved by confirmed, undone or ended.
//
// File format: one record a line, "<CRC-32 of the JSON, 8 lower-case hex
// digits> <JSON object>\n"; the object holds "id", "step", "seq", "at" and
// the step's fields. A last line that is incomplete or fails its checksum is
// a write torn by a crash: it is cut off. A bad line elsewhere is skipped.
// The file is compacted when it grows past a bound, keeping every unresolved
// payment and the latest resolved ones (the status query reads them).
//
// Thread safety: every method locks; one journal per service.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/json.h"
#include "platform/appendfile.h"

namespace core {

inline constexpr char kMsgJournalFalhou[] = "Não foi possível gravar o diário de pagamentos.";

// A record could not be made durable; the step must not go on.
class EPaymentJournal : public std::runtime_error {
 public:
  EPaymentJournal() : std::runtime_error(kMsgJournalFalhou) {}
};

namespace journalstep {
inline constexpr char kStarted[] = "started";
inline constexpr char kApproved[] = "approved";
inline constexpr char kRegistered[] = "registered";
inline constexpr char kRefused[] = "refused";
inline constexpr char kConfirmed[] = "confirmed";
inline constexpr char kUndone[] = "undone";
inline constexpr char kEnded[] = "ended";
inline constexpr char kDelivered[] = "delivered";
}  // namespace journalstep

// What the journal knows of one payment: the last record of each step.
struct TJournalledPayment {
  std::string Id;
  uint64_t Order = 0;                       // seq of its first record
  std::map<std::string, TJsonValue> Steps;  // step -> its record
  std::vector<std::string> Lines;           // its records as stored

  bool Has(const std::string& step) const { return Steps.count(step) != 0; }
  // The record of step, or nullptr.
  const TJsonValue* Step(const std::string& step) const;
  // A member of a step's record in text form, "" when absent.
  std::string Text(const std::string& step, const std::string& name) const;
  bool Resolved() const;
};

class TPaymentJournal {
 public:
  // compactAt: file size past which an append compacts; keepResolved: how
  // many of the latest resolved payments a compaction keeps.
  explicit TPaymentJournal(std::unique_ptr<platform::IAppendFile> file,
                           uint64_t compactAt = 1u << 20, size_t keepResolved = 200);

  // Reads the file into memory. Returns notes for the service log (a torn
  // record cut off, bad lines skipped). False when the file cannot be read;
  // the journal then starts empty and appends still work.
  bool Load(std::vector<std::string>& notes);

  // Appends a record of payment id; fields is a JSON object (or null) whose
  // members follow "id", "step", "seq" and "at". Throws EPaymentJournal when
  // the record did not reach the disk; the journal in memory is unchanged.
  // A record after which nothing outside depends on it (delivered) may skip
  // the flush: durable false.
  void Append(const std::string& id, const std::string& step, const TJsonValue& fields,
              bool durable = true);

  std::optional<TJournalledPayment> Find(const std::string& id) const;
  // Every unresolved payment, oldest first.
  std::vector<TJournalledPayment> Unresolved() const;
  // The latest payment of that sale and company, or nullopt.
  std::optional<TJournalledPayment> LastOfSale(long long sale, long long company) const;
  size_t Count() const;
  uint64_t FileSize() const;

  // The line of one record; exposed for tests.
  static std::string EncodeRecord(const std::string& json);
  // The JSON of a line, or nullopt when its checksum or form is wrong.
  static std::optional<std::string> DecodeRecord(std::string_view line);

 private:
  void Apply(const std::string& line, const TJsonValue& record);
  void CompactLocked();

  const uint64_t FCompactAt;
  const size_t FKeepResolved;

  mutable std::mutex FLock;
  std::unique_ptr<platform::IAppendFile> FFile;         // guarded by FLock
  std::map<std::string, TJournalledPayment> FPayments;  // guarded by FLock
  uint64_t FSeq = 0;                                    // guarded by FLock
  uint64_t FSize = 0;                                   // guarded by FLock
  uint64_t FNextCompaction;                             // guarded by FLock
  bool FNeedNewline = false;  // guarded by FLock; a failed write may have left a partial line
};

}  // namespace core
