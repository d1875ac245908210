// HTTPS through WinHTTP against the Linux reference server (with_https_server.sh starts it with a
// certificate signed by a throw-away CA): the certificate is refused until the CA is among the
// current user's trusted roots, and then files come whole, also a large one resumed by range.

#include <windows.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "platform/http/http_request.h"
#include "platform/http/inet.h"
#include "platform/ui/scripted_ui.h"
#include "support/windows_programs.h"

namespace veltrano::http {
namespace {

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The CA among the current user's trusted roots while this lives; taken out again at the end.
// Each change is committed before the handle closes: Wine's registry-backed store writes a
// deletion back only when told to, and WinHTTP reads the store through a handle of its own.
class TrustedRoot {
 public:
  explicit TrustedRoot(const std::string& der) : cert_(decode(der)) {
    if (HCERTSTORE store = openRoot()) {
      added_ = cert_ && CertAddCertificateContextToStore(store, cert_, CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
      CertControlStore(store, 0, CERT_STORE_CTRL_COMMIT, nullptr);
      CertCloseStore(store, 0);
    }
  }
  ~TrustedRoot() {
    if (HCERTSTORE store = added_ ? openRoot() : nullptr) {
      PCCERT_CONTEXT found =
          CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, cert_, nullptr);
      if (found) CertDeleteCertificateFromStore(found);  // frees `found` as well
      CertControlStore(store, 0, CERT_STORE_CTRL_COMMIT, nullptr);
      CertCloseStore(store, 0);
    }
    if (cert_) CertFreeCertificateContext(cert_);
  }
  TrustedRoot(const TrustedRoot&) = delete;
  TrustedRoot& operator=(const TrustedRoot&) = delete;

  bool added() const { return added_; }

  // Whether the trusted roots hold the CA, as a process started now would see them.
  static bool holds(const std::string& der) {
    PCCERT_CONTEXT cert = decode(der);
    HCERTSTORE store = cert ? openRoot() : nullptr;
    PCCERT_CONTEXT found =
        store ? CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, cert, nullptr) : nullptr;
    const bool held = found != nullptr;
    if (found) CertFreeCertificateContext(found);
    if (store) CertCloseStore(store, 0);
    if (cert) CertFreeCertificateContext(cert);
    return held;
  }

 private:
  static PCCERT_CONTEXT decode(const std::string& der) {
    return CertCreateCertificateContext(X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                        static_cast<DWORD>(der.size()));
  }
  static HCERTSTORE openRoot() {
    return CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root");
  }

  PCCERT_CONTEXT cert_;
  bool added_ = false;
};

class HttpsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Wine's chain engine reads the trusted roots once per process, at the first check, and
    // keeps them: each case needs a process of its own (as CTest runs them).
    if (++casesStarted_ > 1) GTEST_SKIP() << "each case runs in a process of its own";
    ASSERT_FALSE(host_.empty()) << "run through with_https_server.sh";
    ASSERT_FALSE(ca_.empty()) << "no CA certificate at " << environment("VELTRANO_TEST_HTTPS_CA");
  }
  std::string url(const std::string& path) const { return "https://" + host_ + path; }
  std::string served(const std::string& name) const {
    return readFile(environment("VELTRANO_TEST_HTTPS_FILES") + "\\" + name);
  }

  // A GET through the request object; readyState reads are bounded, each waiting a few ms.
  HttpRequest& get(HttpRequest& req, const std::string& path) {
    req.open("GET", url(path), true);
    req.send();
    for (int i = 0; i < 10000 && req.readyState() != HttpRequest::kCompleted; ++i) ui::DoEvents();
    return req;
  }

  static inline int casesStarted_ = 0;
  ui::ScriptedUi ui_;
  ui::ScopedUi scoped_{ui_};
  std::string host_ = environment("VELTRANO_TEST_HTTPS_SERVICE");
  std::string ca_ = readFile(environment("VELTRANO_TEST_HTTPS_CA"));
};

TEST_F(HttpsTest, RefusesTheCertificateUntilItsCaIsTrusted) {
  HttpRequest req;
  get(req, "/small.txt");
  EXPECT_EQ(req.readyState(), HttpRequest::kCompleted);
  EXPECT_EQ(req.status(), 0);
  EXPECT_TRUE(req.responseBody().empty());
  EXPECT_NE(req.transportError().find("certificate"), std::string::npos) << req.transportError();

  // The same GET with the CA trusted, in a process of its own (see SetUp).
  {
    TrustedRoot root(ca_);
    ASSERT_TRUE(root.added()) << GetLastError();
    ASSERT_TRUE(TrustedRoot::holds(ca_));
    SetEnvironmentVariableW(L"VELTRANO_TEST_HTTPS_CA_TRUSTED", L"1");
    std::wstring self(MAX_PATH, L'\0');
    self.resize(GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())));
    const long code =
        test::runAndWait(L"\"" + self + L"\" --gtest_filter=HttpsTest.FetchesTheFileWholeOnceTheCaIsTrusted", 120000);
    SetEnvironmentVariableW(L"VELTRANO_TEST_HTTPS_CA_TRUSTED", nullptr);
    EXPECT_EQ(code, 0);
  }
  EXPECT_FALSE(TrustedRoot::holds(ca_)) << "the CA stayed among the trusted roots";
}

TEST_F(HttpsTest, FetchesTheFileWholeOnceTheCaIsTrusted) {
  // Trusted here, unless the case above started this process with the CA already trusted.
  std::optional<TrustedRoot> root;
  if (environment("VELTRANO_TEST_HTTPS_CA_TRUSTED").empty()) {
    root.emplace(ca_);
    ASSERT_TRUE(root->added()) << GetLastError();
  }
  HttpRequest req;
  get(req, "/SMALL.TXT");
  ASSERT_EQ(req.readyState(), HttpRequest::kCompleted);
  EXPECT_EQ(req.transportError(), "");
  EXPECT_EQ(req.status(), 200);
  const Bytes body = req.responseBody();
  EXPECT_EQ(std::string(body.begin(), body.end()), served("small.txt"));
}

TEST_F(HttpsTest, ResumesALargeDownloadWithARange) {
  const std::string expected = served("big.bin");
  ASSERT_EQ(expected.size(), 4u * 1024 * 1024);
  TrustedRoot root(ca_);
  ASSERT_TRUE(root.added()) << GetLastError();
  Inet inet;
  // Reads chunks until `stopAt` bytes or the end of the body; bounded by the body's size.
  auto read = [&](std::string& into, std::size_t stopAt) {
    for (std::size_t n = 0; n <= expected.size() / 1024 + 1 && into.size() < stopAt; ++n) {
      const Bytes chunk = inet.GetChunk(64 * 1024);
      into.append(chunk.begin(), chunk.end());
      if (chunk.size() <= 1) break;  // the end of the body
    }
  };
  auto waitForHeaders = [&] {
    for (int i = 0; i < 10000 && inet.StillExecuting(); ++i) {
    }
    return !inet.StillExecuting();
  };

  std::string got;
  inet.Execute(url("/big.bin"), "GET");
  ASSERT_TRUE(waitForHeaders()) << inet.ResponseInfo();
  ASSERT_EQ(inet.GetHeader().substr(0, 15), "HTTP/1.1 200 OK") << inet.ResponseInfo();
  read(got, 1500 * 1024);
  inet.Cancel();
  ASSERT_GE(got.size(), 1500u * 1024);
  ASSERT_LT(got.size(), expected.size());

  inet.Execute(url("/big.bin"), "GET", "", "Range: bytes=" + std::to_string(got.size()) + "-\r\n");
  ASSERT_TRUE(waitForHeaders()) << inet.ResponseInfo();
  ASSERT_EQ(inet.GetHeader().substr(0, 12), "HTTP/1.1 206") << inet.GetHeader();
  read(got, expected.size() + 1);
  EXPECT_EQ(inet.ResponseInfo(), "");
  EXPECT_EQ(got.size(), expected.size());
  EXPECT_TRUE(got == expected);  // not EXPECT_EQ: a failure would print 4 MiB
}

}  // namespace
}  // namespace veltrano::http
