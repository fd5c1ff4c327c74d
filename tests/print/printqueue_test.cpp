#include "print/printqueue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/testenv.h"
#include "print/fakespooler.h"

namespace print {
namespace {

namespace fs = std::filesystem;
using platform::TPrintJobState;

// A queue on a fake print system, its log lines and files in a temporary folder.
class PrintQueueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FDir = fs::temp_directory_path() / ("printqueue_test_" + std::to_string(::getpid()));
    fs::remove_all(FDir);
    fs::create_directories(FDir);
    FSpooler = std::make_shared<TFakeSpooler>();
  }
  void TearDown() override {
    FQueue.reset();
    fs::remove_all(FDir);
  }

  TPrintQueue& Queue(const std::string& printer = "recibo",
                     platform::TEnv& env = platform::DefaultEnv()) {
    FQueue = std::make_unique<TPrintQueue>(printer, FSpooler, env);
    FQueue->FOnLog = [this](const std::string& line) {
      std::lock_guard<std::mutex> lock(FLock);
      FLog.push_back(line);
    };
    FQueue->FDeleteDelayMs = 0;
    FQueue->FJobPollMs = 5;
    return *FQueue;
  }
  std::string File(const std::string& name, const std::string& content) {
    const std::string p = (FDir / name).string();
    std::ofstream(p, std::ios::binary) << content;
    return p;
  }
  std::vector<std::string> Log() {
    std::lock_guard<std::mutex> lock(FLock);
    return FLog;
  }
  bool Logged(const std::string& line) {
    auto l = Log();
    return std::find(l.begin(), l.end(), line) != l.end();
  }
  // Waits until `count` items have ended (done or failed).
  void WaitItems(size_t count) {
    for (int i = 0; i < 2000; ++i) {
      size_t done = 0;
      for (const auto& l : Log()) {
        done += l.rfind("Impressão concluída: ", 0) == 0 || l.rfind("Erro ao imprimir ", 0) == 0;
      }
      if (done >= count) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    FAIL() << "items did not end";
  }

  fs::path FDir;
  platform::TManualClockEnv FClock;
  std::shared_ptr<TFakeSpooler> FSpooler;
  std::unique_ptr<TPrintQueue> FQueue;
  std::mutex FLock;
  std::vector<std::string> FLog;
};

TEST_F(PrintQueueTest, PdfJobCarriesTheScalingAndTheFileGoes) {
  TPrintQueue& q = Queue();
  q.Start();
  const std::string upper = File("1_Temp.PDF", "%PDF-a");
  q.SetPrintSettings("noscale");
  q.AddToQueue(upper);
  WaitItems(1);
  q.SetPrintSettings("fit");
  const std::string lower = File("2_Temp.pdf", "%PDF-b");
  q.AddToQueue(lower);
  WaitItems(2);
  auto jobs = FSpooler->Jobs();
  ASSERT_EQ(jobs.size(), 2u);
  EXPECT_EQ(jobs[0].title, "1_Temp.PDF");
  EXPECT_EQ(jobs[0].format, "application/pdf");
  EXPECT_EQ(jobs[0].document, "%PDF-a");
  EXPECT_EQ(jobs[0].options, (platform::TPrintOptions{{"print-scaling", "none"}}));
  EXPECT_EQ(jobs[1].options, (platform::TPrintOptions{{"print-scaling", "fit"}}));
  EXPECT_FALSE(fs::exists(upper));
  EXPECT_FALSE(fs::exists(lower));
  EXPECT_TRUE(Logged("Thread de impressão iniciada"));
}

TEST_F(PrintQueueTest, RefusedScalingIsRetriedOnceWithoutIt) {
  FSpooler->refuse_options = 1;
  TPrintQueue& q = Queue();
  q.SetPrintSettings("noscale");
  q.Start();
  q.AddToQueue(File("1_Temp.pdf", "x"));
  WaitItems(1);
  EXPECT_TRUE(Logged(
      "Aviso: a impressora recusou print-scaling (\"noscale\"). Repetindo sem print-scaling."));
  ASSERT_EQ(FSpooler->Jobs().size(), 1u);
  EXPECT_TRUE(FSpooler->Jobs()[0].options.empty());
  EXPECT_EQ(FSpooler->submissions, 2);
}

// The queue's waits (job polling, its 30 s timeout, the delay before a file
// goes) run on the test's clock: the hung job times out in no real time.
TEST_F(PrintQueueTest, JobsThatEndBadlyOrNeverAreReportedAndTheNextOnePrints) {
  TPrintQueue& q = Queue("recibo", FClock);
  q.FDeleteDelayMs = 500;
  q.FJobPollMs = 200;
  FSpooler->states = {TPrintJobState::jsPending, TPrintJobState::jsAborted};
  q.Start();
  const std::string aborted = File("1_Temp.pdf", "x");
  q.AddToQueue(aborted);
  WaitItems(1);
  EXPECT_TRUE(
      Logged("Trabalho encerrado com erro (estado: abortado)\r\nImpressora: recibo\r\nArquivo: " +
             aborted + "\r\nOpção: print-scaling=fit"));
  FSpooler->states = {TPrintJobState::jsPending};  // never ends
  FSpooler->cancel_fails = true;
  const std::string hung = File("2_Temp.pdf", "x");
  q.SetPrintSettings("");
  q.AddToQueue(hung);
  WaitItems(2);
  EXPECT_TRUE(Logged("Timeout aguardando a impressão.\r\nImpressora: recibo\r\nArquivo: " + hung));
  EXPECT_TRUE(Logged("Aviso: trabalho não respondeu ao cancelamento: Not possible"));
  EXPECT_TRUE(Logged("Impressão concluída: " + hung));
  EXPECT_GE(FClock.Slept(), 30000);
  EXPECT_FALSE(fs::exists(hung));
  FSpooler->states.clear();
  FSpooler->cancel_fails = false;
  q.AddToQueue(File("3_Temp.pdf", "x"));
  WaitItems(3);
  EXPECT_EQ(FSpooler->Jobs().size(), 3u);
}

TEST_F(PrintQueueTest, FilesThatCannotBePrinted) {
  TPrintQueue& q = Queue("Nenhuma");
  q.Start();
  q.AddToQueue((FDir / "missing.pdf").string());
  EXPECT_TRUE(Logged("Arquivo não encontrado: " + (FDir / "missing.pdf").string()));
  const std::string txt = File("1_Temp.txt", "x");
  q.AddToQueue(txt);
  const std::string gdi = File("2_Temp.gdi", "<line>x</line>");
  q.AddToQueue(gdi);
  WaitItems(2);
  EXPECT_TRUE(Logged("ERRO: Tipo de arquivo não suportado."));
  EXPECT_TRUE(fs::exists(txt));  // left alone
  EXPECT_TRUE(Logged("Iniciando impressao em \"Nenhuma\"..."));
  EXPECT_TRUE(Logged(
      "Erro ao imprimir " + gdi +
      " - Impressora nao encontrada: \"Nenhuma\"\r\nVerifique se ela esta instalada e online."));
  EXPECT_FALSE(fs::exists(gdi));
  EXPECT_TRUE(FSpooler->Jobs().empty());
}

TEST_F(PrintQueueTest, LayoutJobIsOnePdfPageNamedCupomFiscalAndABadOnePrintsNothing) {
  TPrintQueue& q = Queue("RECIBO");
  q.Start();
  q.AddToQueue(File("1_Temp.gdi", "<receipt><line>Olá</line></receipt>"));
  q.AddToQueue(File("2_Temp.gdi", "<receipt><line>sem fim</receipt>"));
  WaitItems(2);
  auto jobs = FSpooler->Jobs();
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].destination, "Recibo");
  EXPECT_EQ(jobs[0].title, "Cupom Fiscal");
  EXPECT_EQ(jobs[0].format, "application/pdf");
  EXPECT_EQ(jobs[0].document.rfind("%PDF", 0), 0u);
  EXPECT_TRUE(Logged("Impresso com sucesso em: RECIBO"));
  EXPECT_TRUE(fs::is_empty(FDir));
}

TEST_F(PrintQueueTest, ItemsComeOutInOrderAndDestructionDropsTheRest) {
  TPrintQueue& q = Queue();
  q.FCooldownMs = 30;
  q.Start();
  std::vector<std::string> files;
  for (int i = 0; i < 3; ++i) files.push_back(File(std::to_string(i) + "_Temp.pdf", "x"));
  for (const auto& f : files) q.AddToQueue(f);
  WaitItems(3);
  auto jobs = FSpooler->Jobs();
  ASSERT_EQ(jobs.size(), 3u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(jobs[i].title, std::to_string(i) + "_Temp.pdf");

  FSpooler->states = {TPrintJobState::jsPending, TPrintJobState::jsCompleted};
  FQueue->FJobPollMs = 100;
  const std::string busy = File("a_Temp.pdf", "x"), waiting = File("b_Temp.pdf", "x");
  q.AddToQueue(busy);
  for (int i = 0; i < 1000 && !Logged("Iniciando impressão: " + busy); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  q.AddToQueue(waiting);
  FQueue.reset();  // the job in progress ends, the waiting one stays
  EXPECT_FALSE(fs::exists(busy));
  EXPECT_TRUE(fs::exists(waiting));
  EXPECT_EQ(FLog.back(), "Thread de impressão finalizada");
}

}  // namespace
}  // namespace print
