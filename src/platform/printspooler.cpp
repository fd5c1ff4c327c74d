#include "platform/printspooler.h"

#include <cups/cups.h>

#include <algorithm>

#include "platform/text.h"

namespace platform {
namespace {

std::string LastCupsError() {
  const char* text = cupsLastErrorString();
  return text && *text ? text : ippErrorString(cupsLastError());
}

// cupsGetDests2 gives a list that must be freed whatever happens.
class TDestList {
 public:
  TDestList() { FCount = cupsGetDests2(CUPS_HTTP_DEFAULT, &FDests); }
  ~TDestList() { cupsFreeDests(FCount, FDests); }
  TDestList(const TDestList&) = delete;
  TDestList& operator=(const TDestList&) = delete;
  cups_dest_t* Find(const std::string& name) {
    for (int i = 0; i < FCount; ++i) {
      if (FDests[i].instance == nullptr && IgualSemCaixa(FDests[i].name, name)) return &FDests[i];
    }
    return nullptr;
  }

 private:
  int FCount = 0;
  cups_dest_t* FDests = nullptr;
};

class TCupsSpooler : public TPrintSpooler {
 public:
  std::optional<TPrintDestination> FindDestination(const std::string& name) override {
    TDestList list;
    cups_dest_t* dest = list.Find(name);
    if (dest == nullptr) return std::nullopt;
    TPrintDestination out;
    out.name = dest->name;
    cups_dinfo_t* info = cupsCopyDestInfo(CUPS_HTTP_DEFAULT, dest);
    if (info != nullptr) {
      ipp_attribute_t* res =
          cupsFindDestDefault(CUPS_HTTP_DEFAULT, dest, info, "printer-resolution");
      if (res != nullptr && ippGetValueTag(res) == IPP_TAG_RESOLUTION) {
        int yres = 0;
        ipp_res_t units = IPP_RES_PER_INCH;
        ippGetResolution(res, 0, &yres, &units);
        out.dpi = units == IPP_RES_PER_CM ? (yres * 254 + 50) / 100 : yres;
      }
      cups_size_t size{};
      if (cupsGetDestMediaDefault(CUPS_HTTP_DEFAULT, dest, info, 0, &size) && size.width > 0) {
        int printable = size.width - size.left - size.right;
        if (printable > 0) out.printable_width_mm100 = printable;
      }
      cupsFreeDestInfo(info);
    }
    return out;
  }

  int SubmitJob(const std::string& destination, const std::string& title, const std::string& format,
                const TPrintOptions& options, const std::string& document) override {
    TDestList list;
    cups_dest_t* dest = list.Find(destination);
    if (dest == nullptr) throw EPrintSpooler("Impressora nao encontrada: \"" + destination + "\"");
    cups_dinfo_t* info = cupsCopyDestInfo(CUPS_HTTP_DEFAULT, dest);
    if (info == nullptr) throw EPrintSpooler(LastCupsError());
    cups_option_t* opts = nullptr;
    int num = 0;
    for (const auto& [k, v] : options) num = cupsAddOption(k.c_str(), v.c_str(), num, &opts);
    int job_id = 0;
    ipp_status_t st =
        cupsCreateDestJob(CUPS_HTTP_DEFAULT, dest, info, &job_id, title.c_str(), num, opts);
    std::string error;
    bool refused = false;
    if (st > IPP_STATUS_OK_EVENTS_COMPLETE || job_id <= 0) {
      refused = st == IPP_STATUS_ERROR_ATTRIBUTES_OR_VALUES;
      error = LastCupsError();
    } else if (cupsStartDestDocument(CUPS_HTTP_DEFAULT, dest, info, job_id, title.c_str(),
                                     format.c_str(), 0, nullptr, 1) != HTTP_STATUS_CONTINUE) {
      error = LastCupsError();
    } else {
      bool written = true;
      for (size_t off = 0; off < document.size() && written; off += 65536) {
        size_t n = std::min<size_t>(65536, document.size() - off);
        written = cupsWriteRequestData(CUPS_HTTP_DEFAULT, document.data() + off, n) ==
                  HTTP_STATUS_CONTINUE;
      }
      ipp_status_t fin = cupsFinishDestDocument(CUPS_HTTP_DEFAULT, dest, info);
      if (!written || fin > IPP_STATUS_OK_EVENTS_COMPLETE) {
        refused = fin == IPP_STATUS_ERROR_ATTRIBUTES_OR_VALUES;
        error = LastCupsError();
      }
    }
    cupsFreeOptions(num, opts);
    if (!error.empty() && job_id > 0) cupsCancelDestJob(CUPS_HTTP_DEFAULT, dest, job_id);
    cupsFreeDestInfo(info);
    if (!error.empty()) {
      if (refused) throw EPrintOptionRefused(error);
      throw EPrintSpooler(error);
    }
    return job_id;
  }

  TPrintJobState JobState(const std::string& destination, int job_id) override {
    cups_job_t* jobs = nullptr;
    int n = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, destination.c_str(), 0, CUPS_WHICHJOBS_ALL);
    TPrintJobState state = TPrintJobState::jsUnknown;
    for (int i = 0; i < n; ++i) {
      if (jobs[i].id != job_id) continue;
      switch (jobs[i].state) {
        case IPP_JSTATE_COMPLETED:
          state = TPrintJobState::jsCompleted;
          break;
        case IPP_JSTATE_ABORTED:
          state = TPrintJobState::jsAborted;
          break;
        case IPP_JSTATE_CANCELED:
          state = TPrintJobState::jsCanceled;
          break;
        default:
          state = TPrintJobState::jsPending;
          break;
      }
    }
    cupsFreeJobs(n, jobs);
    return state;
  }

  void CancelJob(const std::string& destination, int job_id) override {
    if (cupsCancelJob2(CUPS_HTTP_DEFAULT, destination.c_str(), job_id, 0) >
        IPP_STATUS_OK_EVENTS_COMPLETE)
      throw EPrintSpooler(LastCupsError());
  }
};

}  // namespace

std::shared_ptr<TPrintSpooler> CupsSpooler() {
  static std::shared_ptr<TPrintSpooler> spooler = std::make_shared<TCupsSpooler>();
  return spooler;
}

}  // namespace platform
