// Exceptions of the TEF component. Messages are UTF-8 Portuguese texts shown
// to the operator or written to the logs as they are.
#pragma once

#include <stdexcept>
#include <string>

namespace tef {

// Any failure of the TEF component.
class ERuVirIdUzaErro : public std::runtime_error {
 public:
  explicit ERuVirIdUzaErro(const std::string& msg) : std::runtime_error(msg) {}
};

// The standard manager did not answer a request in time.
class ERuVirIdUzaGPNaoResponde : public ERuVirIdUzaErro {
 public:
  using ERuVirIdUzaErro::ERuVirIdUzaErro;
};

// An operation needs an initialized manager.
class ERuVirIdUzaGPNaoInicializado : public ERuVirIdUzaErro {
 public:
  using ERuVirIdUzaErro::ERuVirIdUzaErro;
};

// The status answer of a file-exchange request was not valid.
class ERuVirIdUzaSTSInvalido : public ERuVirIdUzaErro {
 public:
  using ERuVirIdUzaErro::ERuVirIdUzaErro;
};

// A TEF file could not be read, written, renamed or deleted.
class ERuVirIdUzaArquivo : public ERuVirIdUzaErro {
 public:
  using ERuVirIdUzaErro::ERuVirIdUzaErro;
};

// The fiscal printer (through the host's ECF events) failed.
class ERuVirIdUzaECF : public ERuVirIdUzaErro {
 public:
  using ERuVirIdUzaErro::ERuVirIdUzaErro;
};

}  // namespace tef
