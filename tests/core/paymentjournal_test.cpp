#include "core/paymentjournal.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace core {
namespace {

// An append file in memory that fails from its N-th write on (appends,
// truncations and replacements all count), as a full or broken disk would.
class TMemoryAppendFile : public platform::IAppendFile {
 public:
  explicit TMemoryAppendFile(std::string* content, long failAt = 0)
      : FContent(content), FFailAt(failAt) {}

  bool ReadAll(std::string& out) override {
    out = *FContent;
    return true;
  }
  bool Append(std::string_view bytes, bool) override {
    if (Fails()) {
      FContent->append(bytes.substr(0, bytes.size() / 2));  // a partial write
      return false;
    }
    FContent->append(bytes);
    return true;
  }
  bool Truncate(uint64_t size) override {
    if (Fails()) return false;
    FContent->resize(size);
    return true;
  }
  bool Replace(std::string_view bytes) override {
    if (Fails()) return false;
    *FContent = std::string(bytes);
    ++replacements;
    return true;
  }
  int replacements = 0;

 private:
  bool Fails() { return FFailAt > 0 && ++FWrites >= FFailAt; }
  std::string* FContent;
  long FFailAt;
  long FWrites = 0;
};

TJsonValue Fields(std::initializer_list<std::pair<const char*, const char*>> kv) {
  TJsonValue f = TJsonValue::MakeObject();
  for (const auto& [k, v] : kv) f.AddString(k, v);
  return f;
}

class PaymentJournalTest : public ::testing::Test {
 protected:
  std::unique_ptr<TPaymentJournal> Open(long failAt = 0, uint64_t compactAt = 1u << 20,
                                        size_t keep = 200) {
    auto file = std::make_unique<TMemoryAppendFile>(&FContent, failAt);
    FFile = file.get();
    auto j = std::make_unique<TPaymentJournal>(std::move(file), compactAt, keep);
    FNotes.clear();
    EXPECT_TRUE(j->Load(FNotes));
    return j;
  }
  // A payment of sale through the given steps.
  static void Pay(TPaymentJournal& j, const std::string& id, const std::string& sale,
                  std::initializer_list<const char*> steps) {
    j.Append(id, journalstep::kStarted, Fields({{"sale_id", sale.c_str()}, {"company_id", "7"}}));
    for (const char* s : steps) j.Append(id, s, TJsonValue());
  }

  std::string FContent;
  TMemoryAppendFile* FFile = nullptr;
  std::vector<std::string> FNotes;
};

TEST_F(PaymentJournalTest, ReadsBackEveryPaymentAndWhichAreUnresolved) {
  {
    auto j = Open();
    Pay(*j, "a", "1",
        {journalstep::kApproved, journalstep::kRegistered, journalstep::kConfirmed,
         journalstep::kDelivered});
    Pay(*j, "b", "2", {journalstep::kApproved, journalstep::kRegistered});
    Pay(*j, "c", "2", {});
    Pay(*j, "d", "3", {journalstep::kEnded});
  }
  auto j = Open();
  EXPECT_TRUE(FNotes.empty());
  EXPECT_EQ(j->Count(), 4u);
  std::vector<TJournalledPayment> open = j->Unresolved();
  ASSERT_EQ(open.size(), 2u);
  EXPECT_EQ(open[0].Id, "b");  // oldest first
  EXPECT_EQ(open[1].Id, "c");
  EXPECT_EQ(j->LastOfSale(2, 7)->Id, "c");
  EXPECT_FALSE(j->LastOfSale(2, 8));
  EXPECT_EQ(j->Find("a")->Text(journalstep::kStarted, "sale_id"), "1");
  // Sequence numbers go on from the file.
  j->Append("e", journalstep::kStarted, TJsonValue());
  EXPECT_EQ(j->Find("e")->Text(journalstep::kStarted, "seq"), "12");
}

TEST_F(PaymentJournalTest, ATornLastRecordIsCutOffAndTheNextAppendIsWhole) {
  {
    auto j = Open();
    Pay(*j, "a", "1", {journalstep::kApproved});
  }
  const std::string whole = FContent;
  for (size_t cut = 1; cut < 40; ++cut) {  // every way the last write can be torn
    FContent =
        whole +
        TPaymentJournal::EncodeRecord("{\"id\":\"a\",\"step\":\"registered\"}").substr(0, cut);
    auto j = Open();
    ASSERT_EQ(FNotes.size(), 1u) << cut;
    EXPECT_EQ(FContent, whole) << cut;
    EXPECT_FALSE(j->Find("a")->Has(journalstep::kRegistered));
    j->Append("a", journalstep::kRegistered, TJsonValue());
    auto again = Open();
    EXPECT_TRUE(FNotes.empty());
    EXPECT_TRUE(again->Find("a")->Has(journalstep::kRegistered));
  }
}

TEST_F(PaymentJournalTest, ABadRecordInTheMiddleIsSkipped) {
  {
    auto j = Open();
    Pay(*j, "a", "1", {journalstep::kApproved, journalstep::kRegistered});
  }
  const size_t second = FContent.find('\n') + 1;
  FContent[second + 12] ^= 0x20;  // one flipped bit in the approved record
  auto j = Open();
  ASSERT_EQ(FNotes.size(), 1u);
  EXPECT_FALSE(j->Find("a")->Has(journalstep::kApproved));
  EXPECT_TRUE(j->Find("a")->Has(journalstep::kRegistered));
}

TEST_F(PaymentJournalTest, AFailedWriteAtEachStepLeavesAReadableJournal) {
  // The disk fails at its n-th write; every record made before stays, the
  // failed one is reported and the journal reads back whole.
  const char* steps[] = {journalstep::kStarted, journalstep::kApproved, journalstep::kRegistered,
                         journalstep::kConfirmed, journalstep::kDelivered};
  for (long n = 1; n <= 5; ++n) {
    FContent.clear();
    auto j = Open(n);
    int written = 0;
    for (const char* s : steps) {
      try {
        j->Append("p", s, Fields({{"sale_id", "9"}, {"company_id", "7"}}));
        ++written;
      } catch (const EPaymentJournal& e) {
        EXPECT_STREQ(e.what(), kMsgJournalFalhou);
        break;
      }
    }
    EXPECT_EQ(written, n - 1);
    auto back = Open();
    if (n == 1) {
      EXPECT_EQ(back->Count(), 0u);
    } else {
      EXPECT_EQ(back->Find("p")->Steps.size(), static_cast<size_t>(n - 1)) << n;
      EXPECT_EQ(back->Find("p")->Resolved(), n > 4);  // the fourth record confirms it
      back->Append("p", journalstep::kDelivered, TJsonValue());
      EXPECT_TRUE(Open()->Find("p")->Has(journalstep::kDelivered));
    }
  }
}

TEST_F(PaymentJournalTest, CompactionKeepsUnresolvedPaymentsAndTheLatestResolved) {
  auto j = Open(0, /*compactAt=*/4000, /*keep=*/3);
  Pay(*j, "open", "1", {journalstep::kApproved, journalstep::kRegistered});
  for (int i = 0; i < 40; ++i) {
    Pay(*j, "done" + std::to_string(i), std::to_string(100 + i),
        {journalstep::kApproved, journalstep::kRegistered, journalstep::kConfirmed});
  }
  EXPECT_GT(FFile->replacements, 0);
  EXPECT_LE(FContent.size(), 4000u + 600u);
  auto back = Open();
  EXPECT_TRUE(FNotes.empty());
  ASSERT_TRUE(back->Find("open"));
  EXPECT_EQ(back->Unresolved().size(), 1u);
  EXPECT_TRUE(back->Find("done39"));
  EXPECT_FALSE(back->Find("done0"));
  EXPECT_LT(back->Count(), 20u);
}

TEST(PaymentJournalFileTest, TheRealFileSurvivesReopeningAndIsPrivate) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("journal_test_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string path = (dir / "payments.journal").string();
  {
    TPaymentJournal j(platform::OpenAppendFile(path), 2000, 1);
    std::vector<std::string> notes;
    EXPECT_TRUE(j.Load(notes));
    for (int i = 0; i < 30; ++i) {
      j.Append("p" + std::to_string(i), journalstep::kStarted, Fields({{"sale_id", "5"}}));
    }
    j.Append("p29", journalstep::kEnded, TJsonValue());
  }
  EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  TPaymentJournal j(platform::OpenAppendFile(path));
  std::vector<std::string> notes;
  EXPECT_TRUE(j.Load(notes));
  EXPECT_TRUE(notes.empty());
  EXPECT_EQ(j.Unresolved().size(), 29u);  // compaction never drops an unresolved payment
  EXPECT_TRUE(j.Find("p29")->Resolved());
  fs::remove_all(dir);
}

}  // namespace
}  // namespace core
