#include "print/printqueue.h"

#include <iterator>

#include "core/conversions.h"
#include "platform/paths.h"
#include "print/gdiprinter.h"
#include "print/layoutparser.h"

namespace print {
namespace {

std::string LowerExt(const std::string& path) {
  std::string ext = platform::ExtractFileExt(path);
  for (char& c : ext) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return ext;
}

// The print-settings value as the IPP scaling keyword.
std::string ScalingFor(const std::string& settings) {
  if (settings == "noscale") return "none";
  return settings;  // "fit", and anything else the destination may know
}

}  // namespace

TPrintQueue::TPrintQueue(std::string APrinterName, std::shared_ptr<platform::TPrintSpooler> spooler,
                         platform::TEnv& env)
    : FPrinterName(std::move(APrinterName)), FSpooler(std::move(spooler)), FEnv(env) {
  DoLog("Fila de impressão criada");
}

TPrintQueue::~TPrintQueue() {
  try {
    DoLog("Finalizando fila de impressão");
    {
      std::lock_guard<std::mutex> lock(FCritical);
      FTerminated.store(true);
      FSignalled = true;
    }
    FEvent.notify_one();
  } catch (...) {
  }
  if (FThread.joinable()) FThread.join();
}

void TPrintQueue::Start() {
  if (!FThread.joinable()) FThread = std::thread([this] { Execute(); });
}

void TPrintQueue::DoLog(const std::string& text) {
  if (!FOnLog) return;
  try {
    FOnLog(text);
  } catch (...) {
  }
}

void TPrintQueue::SetPrintSettings(const std::string& ASettings) {
  std::lock_guard<std::mutex> lock(FCritical);
  FPrintSettings = ASettings;
}

std::string TPrintQueue::PrintSettings() {
  std::lock_guard<std::mutex> lock(FCritical);
  return FPrintSettings;
}

void TPrintQueue::AddToQueue(const std::string& AFile) {
  try {
    if (!FEnv.FileExists(AFile)) {
      DoLog("Arquivo não encontrado: " + AFile);
      return;
    }
    {
      std::lock_guard<std::mutex> lock(FCritical);
      FQueue.push_back(AFile);
    }
    DoLog("Arquivo adicionado na fila: " + AFile);
    {
      std::lock_guard<std::mutex> lock(FCritical);
      FSignalled = true;
    }
    FEvent.notify_one();
  } catch (const std::exception& e) {
    DoLog(std::string("Erro AddToQueue: ") + e.what());
  }
}

void TPrintQueue::Execute() {
  try {
    DoLog("Thread de impressão iniciada");
    while (!Terminated()) {
      {
        std::unique_lock<std::mutex> lock(FCritical);
        FEvent.wait(lock, [this] { return FSignalled; });
        FSignalled = false;
      }
      if (Terminated()) break;
      while (!Terminated()) {
        std::string path;
        {
          std::lock_guard<std::mutex> lock(FCritical);
          if (!FQueue.empty()) {
            path = std::move(FQueue.front());
            FQueue.pop_front();
          }
        }
        if (path.empty()) break;
        try {
          DoLog("Iniciando impressão: " + path);
          ProcessFile(path);
          DoLog("Impressão concluída: " + path);
          if (FCooldownMs > 0 && !Terminated()) FEnv.SleepMillis(FCooldownMs);
        } catch (const std::exception& e) {
          DoLog("Erro ao imprimir " + path + " - " + e.what());
        }
      }
    }
    DoLog("Thread de impressão finalizada");
  } catch (const std::exception& e) {
    DoLog(std::string("Erro fatal thread: ") + e.what());
  }
}

void TPrintQueue::ProcessFile(const std::string& path) {
  const std::string ext = LowerExt(path);
  if (ext == ".pdf") {
    PrintPdf(path);
  } else if (ext == ".gdi") {
    PrintLayout(path);
  } else {
    DoLog("ERRO: Tipo de arquivo não suportado.");
  }
}

void TPrintQueue::DeleteJobFile(const std::string& path) {
  try {
    if (!FEnv.FileExists(path)) return;
    FEnv.SleepMillis(FDeleteDelayMs);
    if (!FEnv.RemoveFile(path)) {
      DoLog("Aviso: falha ao remover arquivo PDF: " + path);
    }
  } catch (const std::exception& e) {
    DoLog(std::string("Aviso: falha ao remover arquivo PDF: ") + e.what());
  }
}

void TPrintQueue::PrintPdf(const std::string& path) {
  try {
    std::string document;
    {
      if (!FEnv.ReadFile(path, document)) {
        throw platform::EPrintSpooler("Não foi possível ler o arquivo: " + path);
      }
    }
    const std::string S = core::TrimControl(PrintSettings());
    platform::TPrintOptions options;
    if (!S.empty()) options.emplace_back("print-scaling", ScalingFor(S));
    auto info = [&](const platform::TPrintOptions& opts) {
      std::string text = "Impressora: " + FPrinterName + "\r\nArquivo: " + path;
      for (const auto& [k, v] : opts) text += "\r\nOpção: " + k + "=" + v;
      return text;
    };
    const std::string title = platform::ExtractFileName(path);
    int job = 0;
    try {
      job = FSpooler->SubmitJob(FPrinterName, title, "application/pdf", options, document);
    } catch (const platform::EPrintOptionRefused&) {
      if (options.empty()) throw;
      DoLog("Aviso: a impressora recusou print-scaling (\"" + S +
            "\"). Repetindo sem print-scaling.");
      options.clear();
      job = FSpooler->SubmitJob(FPrinterName, title, "application/pdf", options, document);
    }
    const int64_t deadline = FEnv.MonotonicMillis() + FJobTimeoutMs;
    platform::TPrintJobState state = FSpooler->JobState(FPrinterName, job);
    while (state == platform::TPrintJobState::jsPending && FEnv.MonotonicMillis() < deadline) {
      FEnv.SleepMillis(FJobPollMs);
      state = FSpooler->JobState(FPrinterName, job);
    }
    if (state == platform::TPrintJobState::jsPending) {
      DoLog("Timeout aguardando a impressão.\r\n" + info(options));
      try {
        FSpooler->CancelJob(FPrinterName, job);
      } catch (const std::exception& e) {
        DoLog(std::string("Aviso: trabalho não respondeu ao cancelamento: ") + e.what());
      }
    } else if (state == platform::TPrintJobState::jsAborted ||
               state == platform::TPrintJobState::jsCanceled) {
      DoLog(std::string("Trabalho encerrado com erro (estado: ") +
            (state == platform::TPrintJobState::jsAborted ? "abortado" : "cancelado") + ")\r\n" +
            info(options));
    }
  } catch (...) {
    DeleteJobFile(path);
    throw;
  }
  DeleteJobFile(path);
}

void TPrintQueue::PrintLayout(const std::string& path) {
  auto printer = std::make_unique<TGDIPrinter>(FPrinterName, FSpooler);
  auto parser = std::make_unique<TLayoutParser>(*printer);
  try {
    DoLog("Iniciando impressao em \"" + FPrinterName + "\"...");
    printer->BeginPrint();
    printer->Initialize();
    parser->ParseFile(path);
    printer->EndPrint();
    DoLog("Impresso com sucesso em: " + FPrinterName);
  } catch (...) {
    DeleteJobFile(path);
    throw;  // the renderer, freed unprinted, submits nothing
  }
  DeleteJobFile(path);
}

}  // namespace print
