// The simulated TEF client library behind the exported entry points: one
// instance per process, holding the configuration, the open dialogue, the ledger
// of approved transactions and the journal. Every public method takes the lock,
// so calls from different threads are serialised (the automation calls from one
// thread at a time anyway). Strings in and out are Windows-1252.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "config.h"
#include "dialogue.h"
#include "journal.h"
#include "ledger.h"

namespace clisitef_sim {

class Simulator : public DialogueHost {
 public:
  static Simulator& Instance();

  int Configure(const char* address, const char* store, const char* terminal, short reserved,
                const char* parameters);
  int Start(int function, const char* value, const char* document, const char* date,
            const char* time, const char* op, const char* restrictions);
  int Continue(int* command, int* field, short* min, short* max, char* buffer, int size,
               int continuation);
  int Finish(const char* entry, int confirm, const char* document, const char* date,
             const char* time, const char* parameters, bool has_parameters);
  int ReadTrack3(char* buffer);
  int ReadCardSecure(const char* entry);
  int ReadCardDirectEx(char* number, char* track2, char* track1, short timeout, int reserved);
  int WritePermanentMessage(const char* message);
  int PendingCount(const char* date, const char* document);
  int PinPadPresence();
  // Journals an exception that escaped an entry point.
  void InternalError(const char* entry, const char* what);
  // Journals a call failed on purpose by the fault switch (see exports.cpp).
  void Fault(const char* entry, long call_number, int result);

  void RunAction(const std::string& action, Vars& vars) override;
  void Pause(int milliseconds) override;

 private:
  Simulator() = default;

  // Loads the configuration on first use (or again when `reload`); returns false
  // when the file is unusable: the configuration in force until then (at first the
  // built-in one) stays.
  bool EnsureConfig(bool reload);
  std::string ConfigPath() const;
  void ApplyStatePath();
  void SaveState();
  void AbandonDialogue(const std::string& reason);
  void UndoPending(const std::string& reason);
  void FindTransaction(Vars& vars, const std::string& want);
  static void CopyAsOriginal(const Transaction& t, Vars& vars);
  void WriteTransaction(JsonWriter& w, const char* key, const Transaction& t) const;
  // Adds an approval the dialogue ended with to the ledger as pending; null
  // when the function approved nothing.
  const Transaction* RecordIfApproved(const DialogueOutput& out);
  void JournalApproval(const Transaction* approved);

  std::mutex FLock;
  std::shared_ptr<const Config> FConfig;
  std::string FConfigError;
  bool FConfigured = false;
  Vars FConfigurationVars;
  std::unique_ptr<Dialogue> FDialogue;
  int FDialogueFunction = 0;
  Ledger FLedger;
  std::string FStatePath;
  Journal FJournal;
  std::string FPermanentMessage;
};

}  // namespace clisitef_sim
