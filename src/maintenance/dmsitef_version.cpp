// "/version": the installed version of the service or of the TEF library,
// and the recording of a newer version on offer in the INI file.
#include "core/dmsitef.h"
#include "core/frontendmessages.h"
#include "maintenance/versioncheck.h"
#include "platform/dynlib.h"
#include "platform/inifile.h"
#include "platform/paths.h"
#include "tef/ruviriduza.h"
#include "tef/ruviriduza_clisitef.h"

namespace core {
namespace {

constexpr const char* kCategoriaInvalida =
    "Categoria inválida. Valores permitidos [service_exe, clisitef_dll]";

std::string FileNameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

void TDmSitef::CheckFileVersion(const std::string& pContent, const TSessionPtr& /*pSession*/) {
  const TJsonMessage message = ReadRequest(pContent, "version", "Campo type diferente de version.");
  if (!message) return;

  try {
    const std::string category = GetJSONField(*message, "category");
    std::string file;
    if (category == "clisitef_dll") {
      // The folder session start gives the library; before the first
      // session the manager has none yet, but the library is already there.
      std::string folder = RuVirIdUza().TEFCliSiTef().PathDLL();
      if (folder.empty()) folder = fPathDLL;
      if (!folder.empty() && folder.back() != '/') folder += '/';
      file = folder + platform::SharedLibraryFileName("clisitef");
    } else if (category == "service_exe") {
      file = FileNameOf(platform::ExePath());
    } else {
      SendClientMessage(BuildErrorReply(kCategoriaInvalida));
      return;
    }
    const std::string installed = maintenance::GetFileVersionText(file);

    bool updating = false;
    const std::optional<std::string> offered = MemberText(*message, "version");
    const std::optional<std::string> url = MemberText(*message, "download_url");
    if (offered && url) {
      Log("Validando versão..");
      platform::TIniFile& ini = FHost.IniConfig();
      if (maintenance::IsNewerVersion(installed, *offered)) {
        Log("Nova versão encontrada: " + *offered);
        ini.WriteBool("sitef", "need_update", true);
        ini.WriteString("sitef", "download_url", *url);
        ini.WriteString("sitef", "version", *offered);
        updating = true;
      } else {
        Log("Nenhuma versão nova encontrada, versão atual: " + installed);
        ini.WriteBool("sitef", "need_update", false);
        ini.WriteString("sitef", "download_url", "");
        ini.WriteString("sitef", "version", "");
      }
    }

    const std::string pdv =
        maintenance::FormatPdvNumber(FHost.IniConfig().ReadInteger("sitef", "pdv_number", 0));
    SendClientMessage(frontend::VersionReply(category, installed, updating, pdv).Serialize());
  } catch (const endpoint::EConnectionClosed&) {
    throw;
  } catch (const std::exception& e) {
    SendClientMessage(BuildErrorReply(std::string("Erro ao verificar versão: ") + e.what()));
  }
}

}  // namespace core
