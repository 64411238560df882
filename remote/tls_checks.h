#pragma once

#include <curl/curl.h>

#include <QByteArray>
#include <QString>
#include <functional>

#include "remote/http_exchange.h"

namespace wavenard {

class TPinnedKeys;
struct TRequestAddress;

// A station's certificate as the presenter is shown it before trusting it.
struct TServerCertificate {
  QString Host;
  int Port = 0;
  // The subject's distinguished name, as "CN=station.example,O=Radio".
  QString Subject;
  // SHA-256 of the whole certificate, upper-case hexadecimal in pairs joined by ":".
  QString Fingerprint;
  // SHA-256 of its public key, as "sha256//<Base64>".
  QByteArray PublicKeyPin;
};

// The station's certificate is not signed by an authority the system trusts; the presenter may
// choose to trust this one.
class EUntrustedCertificate final : public ENetworkFailure {
 public:
  EUntrustedCertificate(const QString& AMessage, TServerCertificate ACertificate)
      : ENetworkFailure(AMessage), FCertificate(std::move(ACertificate)) {}
  const TServerCertificate& Certificate() const { return FCertificate; }

 private:
  TServerCertificate FCertificate;
};

// The station shows another key than the one the presenter trusted for it.
class ECertificateChanged final : public ENetworkFailure {
 public:
  using ENetworkFailure::ENetworkFailure;
};

// The TLS settings of a transfer to AAddress. The peer and its name are always checked against
// the trust store; SSL_CERT_FILE and SSL_CERT_DIR name another one, as for every program on
// OpenSSL. A station whose key APins holds is checked against that key alone: it is the
// certificate the presenter chose to trust, whoever signed it and whatever name it bears.
void ApplyTlsOptions(CURL* AEasy, const TRequestAddress& AAddress, const TPinnedKeys* APins);

// Raises the failure in words when ACode, the result of the transfer on AEasy to ACurrentURL
// (with the client's AErrorText), is a failure of the secure connection; returns otherwise. For a certificate
// that is not trusted or names another host, the certificate is fetched once more, unchecked, to show what it
// is.
void ThrowIfTlsFailure(CURL* AEasy, CURLcode ACode, const char* AErrorText, const QByteArray& ACurrentURL,
                       const THttpLimits& ALimits, const std::function<bool()>& AAborted);

}  // namespace wavenard
