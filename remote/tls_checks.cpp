#include "remote/tls_checks.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <QCryptographicHash>
#include <cstring>
#include <memory>
#include <optional>

#include "config/pinned_keys.h"
#include "remote/request_url.h"

namespace wavenard {

namespace {

struct TEasyDelete {
  void operator()(CURL* AEasy) const { curl_easy_cleanup(AEasy); }
};
struct TUrlDelete {
  void operator()(CURLU* AUrl) const { curl_url_cleanup(AUrl); }
};
struct TTextDelete {
  void operator()(char* AText) const { curl_free(AText); }
};
struct TBioDelete {
  void operator()(BIO* ABio) const { BIO_free(ABio); }
};
struct TX509Delete {
  void operator()(X509* ACert) const { X509_free(ACert); }
};

// What the certificate of a station says about itself.
struct TProbedCertificate {
  QString Subject;
  QString Fingerprint;
  QByteArray PublicKeyPin;
  // The names it is for, as "station.example, 192.0.2.1".
  QString Names;
};

QString UrlPart(CURLU* AUrl, CURLUPart APart) {
  char* Text = nullptr;
  if (curl_url_get(AUrl, APart, &Text, CURLU_DEFAULT_PORT) != CURLUE_OK) {
    return {};
  }
  const std::unique_ptr<char, TTextDelete> Owned(Text);
  return QString::fromUtf8(Text);
}

QString SubjectText(X509* ACert) {
  const std::unique_ptr<BIO, TBioDelete> Bio(BIO_new(BIO_s_mem()));
  if (!Bio || X509_NAME_print_ex(Bio.get(), X509_get_subject_name(ACert), 0,
                                 XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB) < 0) {
    return {};
  }
  char* Data = nullptr;
  const long Length = BIO_get_mem_data(Bio.get(), &Data);
  return QString::fromUtf8(Data, static_cast<qsizetype>(Length));
}

QString FingerprintText(X509* ACert) {
  unsigned char Digest[EVP_MAX_MD_SIZE];
  unsigned int Length = 0;
  if (X509_digest(ACert, EVP_sha256(), Digest, &Length) != 1) {
    return {};
  }
  return QString::fromLatin1(
      QByteArray(reinterpret_cast<const char*>(Digest), static_cast<qsizetype>(Length)).toHex(':').toUpper());
}

QByteArray PublicKeyPin(X509* ACert) {
  unsigned char* Der = nullptr;
  const int Length = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(ACert), &Der);
  if (Length <= 0) {
    return {};
  }
  const QByteArray Key(reinterpret_cast<const char*>(Der), Length);
  OPENSSL_free(Der);
  return "sha256//" + QCryptographicHash::hash(Key, QCryptographicHash::Sha256).toBase64();
}

// "DNS:a, IP Address:192.0.2.1" becomes "a, 192.0.2.1".
QString NamesText(QString ASubjectAltNames) {
  ASubjectAltNames.replace(QLatin1StringView("DNS:"), QString());
  ASubjectAltNames.replace(QLatin1StringView("IP Address:"), QString());
  return ASubjectAltNames.trimmed();
}

int AbortProbe(void* AAborted, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const auto* Aborted = static_cast<const std::function<bool()>*>(AAborted);
  return *Aborted && (*Aborted)() ? 1 : 0;
}

// Connects to AURL once more with no checks, only to read the certificate the station shows;
// nothing is sent over the connection. Nothing when that fails too.
std::optional<TProbedCertificate> ProbeCertificate(const QByteArray& AURL, const THttpLimits& ALimits,
                                                   const std::function<bool()>& AAborted) {
  const std::unique_ptr<CURL, TEasyDelete> Easy(curl_easy_init());
  if (!Easy) {
    return std::nullopt;
  }
  CURL* Handle = Easy.get();
  curl_easy_setopt(Handle, CURLOPT_URL, AURL.constData());
  curl_easy_setopt(Handle, CURLOPT_CONNECT_ONLY, 1L);
  curl_easy_setopt(Handle, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(Handle, CURLOPT_QUICK_EXIT, 1L);
  curl_easy_setopt(Handle, CURLOPT_SSL_VERIFYPEER, 0L);
  curl_easy_setopt(Handle, CURLOPT_SSL_VERIFYHOST, 0L);
  curl_easy_setopt(Handle, CURLOPT_CERTINFO, 1L);
  curl_easy_setopt(Handle, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(ALimits.Connect.count()));
  curl_easy_setopt(Handle, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(Handle, CURLOPT_XFERINFOFUNCTION, AbortProbe);
  curl_easy_setopt(Handle, CURLOPT_XFERINFODATA, &AAborted);
  if (curl_easy_perform(Handle) != CURLE_OK) {
    return std::nullopt;
  }
  curl_certinfo* Info = nullptr;
  if (curl_easy_getinfo(Handle, CURLINFO_CERTINFO, &Info) != CURLE_OK || Info == nullptr ||
      Info->num_of_certs < 1) {
    return std::nullopt;
  }
  QByteArray Pem;
  QString AltNames;
  for (const curl_slist* Item = Info->certinfo[0]; Item != nullptr; Item = Item->next) {
    const QByteArray Line(Item->data);
    if (Line.startsWith("Cert:")) {
      Pem = Line.sliced(5);
    } else if (Line.startsWith("X509v3 Subject Alternative Name:")) {
      AltNames = QString::fromUtf8(Line.sliced(Line.indexOf(':') + 1));
    }
  }
  const std::unique_ptr<BIO, TBioDelete> Bio(BIO_new_mem_buf(Pem.constData(), static_cast<int>(Pem.size())));
  const std::unique_ptr<X509, TX509Delete> Cert(Bio ? PEM_read_bio_X509(Bio.get(), nullptr, nullptr, nullptr)
                                                    : nullptr);
  if (!Cert) {
    return std::nullopt;
  }
  TProbedCertificate Result;
  Result.Subject = SubjectText(Cert.get());
  Result.Fingerprint = FingerprintText(Cert.get());
  Result.PublicKeyPin = PublicKeyPin(Cert.get());
  Result.Names = NamesText(AltNames);
  if (Result.Names.isEmpty()) {
    Result.Names = Result.Subject;
  }
  return Result;
}

// The reason a certificate whose chain did not verify is not trusted, when the presenter may
// trust it all the same; nothing for the other verification results.
std::optional<QString> UntrustedReason(long AVerifyResult) {
  switch (AVerifyResult) {
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
      return QStringLiteral("self-signed certificate");
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
      return QStringLiteral("signed by a self-signed certificate");
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
      return QStringLiteral("issued by an unknown authority");
    default:
      return std::nullopt;
  }
}

[[noreturn]] void ThrowVerifyFailure(CURL* AEasy, const char* AErrorText, const QByteArray& ACurrentURL,
                                     const THttpLimits& ALimits, const std::function<bool()>& AAborted) {
  long VerifyResult = X509_V_OK;
  curl_easy_getinfo(AEasy, CURLINFO_SSL_VERIFYRESULT, &VerifyResult);
  switch (VerifyResult) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
      throw ENetworkFailure(QStringLiteral("The certificate has expired"));
    case X509_V_ERR_CERT_NOT_YET_VALID:
      throw ENetworkFailure(QStringLiteral("The certificate is not valid yet"));
    case X509_V_ERR_CERT_REVOKED:
      throw ENetworkFailure(QStringLiteral("The certificate has been revoked"));
    default:
      break;
  }
  // The chain verified, and the client's own check of the name the certificate is for failed.
  // The client leaves no result code of its own for that, only its text.
  if (std::strstr(AErrorText, "target host name") != nullptr) {
    const std::optional<TProbedCertificate> Probed = ProbeCertificate(ACurrentURL, ALimits, AAborted);
    throw ENetworkFailure(Probed && !Probed->Names.isEmpty()
                              ? QStringLiteral("The certificate is for another name (%1)").arg(Probed->Names)
                              : QStringLiteral("The certificate is for another name"));
  }
  const std::optional<QString> Reason = UntrustedReason(VerifyResult);
  if (!Reason) {
    throw ENetworkFailure(QStringLiteral("The station's certificate is not trusted (%1)")
                              .arg(QString::fromUtf8(X509_verify_cert_error_string(VerifyResult))));
  }
  const QString Message = QStringLiteral("The station's certificate is not trusted (%1)").arg(*Reason);
  const std::optional<TProbedCertificate> Probed = ProbeCertificate(ACurrentURL, ALimits, AAborted);
  const std::unique_ptr<CURLU, TUrlDelete> Url(curl_url());
  if (!Probed || Probed->PublicKeyPin.isEmpty() || !Url ||
      curl_url_set(Url.get(), CURLUPART_URL, ACurrentURL.constData(), 0) != CURLUE_OK) {
    throw ENetworkFailure(Message);
  }
  TServerCertificate Certificate;
  Certificate.Host = UrlPart(Url.get(), CURLUPART_HOST);
  Certificate.Port = UrlPart(Url.get(), CURLUPART_PORT).toInt();
  Certificate.Subject = Probed->Subject;
  Certificate.Fingerprint = Probed->Fingerprint;
  Certificate.PublicKeyPin = Probed->PublicKeyPin;
  throw EUntrustedCertificate(Message, std::move(Certificate));
}

}  // namespace

void ApplyTlsOptions(CURL* AEasy, const TRequestAddress& AAddress, const TPinnedKeys* APins) {
  // Read for every exchange, like the proxy variables are, so a change needs no new start.
  if (const QByteArray File = qgetenv("SSL_CERT_FILE"); !File.isEmpty()) {
    curl_easy_setopt(AEasy, CURLOPT_CAINFO, File.constData());
  }
  if (const QByteArray Dir = qgetenv("SSL_CERT_DIR"); !Dir.isEmpty()) {
    curl_easy_setopt(AEasy, CURLOPT_CAPATH, Dir.constData());
  }
  curl_easy_setopt(AEasy, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(AEasy, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!AAddress.Tls || APins == nullptr) {
    return;
  }
  const QByteArray Pin = APins->Find(QString::fromUtf8(AAddress.Host), AAddress.Port);
  if (Pin.isEmpty()) {
    return;
  }
  curl_easy_setopt(AEasy, CURLOPT_PINNEDPUBLICKEY, Pin.constData());
  curl_easy_setopt(AEasy, CURLOPT_SSL_VERIFYPEER, 0L);
  curl_easy_setopt(AEasy, CURLOPT_SSL_VERIFYHOST, 0L);
}

void ThrowIfTlsFailure(CURL* AEasy, CURLcode ACode, const char* AErrorText, const QByteArray& ACurrentURL,
                       const THttpLimits& ALimits, const std::function<bool()>& AAborted) {
  switch (ACode) {
    case CURLE_PEER_FAILED_VERIFICATION:
      ThrowVerifyFailure(AEasy, AErrorText, ACurrentURL, ALimits, AAborted);
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
      throw ECertificateChanged(
          QStringLiteral("The station's certificate has changed since it was trusted; the connection was "
                         "refused. If the station really has a new certificate, remove its line from %1.")
              .arg(QString::fromUtf16(TPinnedKeys::FileName)));
    case CURLE_SSL_CONNECT_ERROR:
      throw ENetworkFailure(
          QStringLiteral("The secure connection to the station could not be set up: it may not speak https "
                         "on this port."));
    case CURLE_SSL_CACERT_BADFILE:
      throw ENetworkFailure(QStringLiteral("The list of trusted certificates could not be read."));
    default:
      return;
  }
}

}  // namespace wavenard
