// The transactions the simulated host approved in this process: pending until the
// automation confirms or undoes them, then kept for cancellations and reprints.
// Optionally saved to a state file after every change, so that a process started
// after a crash finds the pending transaction of the one before. Owned by the
// simulator; not thread-safe on its own.
#pragma once

#include <string>
#include <vector>

#include "dialogue.h"

namespace clisitef_sim {

struct Transaction {
  int id = 0;
  int function = 0;
  std::string kind;         // "payment" or "cancellation"
  std::string status;       // "pending", "confirmed" or "undone"
  int cancels = 0;          // cancellation: id of the payment it cancels
  bool cancelled = false;   // payment: a confirmed cancellation cancelled it
  Vars vars;                // what the dialogue knew: document, date, nsu, receipts...
  std::string finished_by;  // entry point or event that confirmed or undid it
  std::string finish_document;
  std::string finish_date;
  std::string finish_time;

  std::string var(const std::string& name) const {
    auto it = vars.find(name);
    return it == vars.end() ? std::string() : it->second;
  }
};

class Ledger {
 public:
  Transaction& Add(Transaction t);
  // The approved transaction not yet confirmed or undone, or null.
  Transaction* Pending();
  Transaction* Find(int id);
  std::vector<Transaction>& transactions() { return FTransactions; }
  // Sequence behind NSUs and authorization codes; never repeats within a ledger.
  long NextSequence();

  // Both throw std::runtime_error on I/O or format errors.
  void Load(const std::string& path);
  void Save(const std::string& path) const;

 private:
  std::vector<Transaction> FTransactions;
  int FNextId = 1;
  long FSequence = 0;
};

}  // namespace clisitef_sim
