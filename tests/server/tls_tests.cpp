// HTTPS on the listening address, with a certificate authority and a server certificate the
// test makes itself; curl checks the chain and the name.

#include <gtest/gtest.h>

#include "platform/text/ansi.h"
#include "server/query_service.h"
#include "server_fixture.h"

using namespace veltrano::test;
namespace fs = std::filesystem;

namespace {

// A CA, and a certificate for 127.0.0.1 signed by it: ca.pem, cert.pem, key.pem in `dir`.
void makeCertificates(const fs::path& dir) {
  const std::string d = "'" + dir.string() + "'";
  const std::string script =
      "set -e; cd " + d + "; "
      "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=test-ca -keyout ca.key -out ca.pem; "
      "openssl req -newkey rsa:2048 -nodes -subj /CN=127.0.0.1 -keyout key.pem -out cert.csr; "
      "printf 'subjectAltName=IP:127.0.0.1\\n' > ext.cnf; "
      "openssl x509 -req -in cert.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 "
      "-extfile ext.cnf -out cert.pem";
  const auto r = run("(" + script + ") 2>&1");
  ASSERT_EQ(r.exitCode, 0) << r.out;
}

}  // namespace

TEST(Tls, ServesFilesAndQueriesOverHttps) {
  TempDir dir;
  const fs::path certs = dir.path() / "certs";
  fs::create_directories(certs);
  makeCertificates(certs);
  ServerProcess server({"--data", dir.path().string(), "--tls-cert", (certs / "cert.pem").string(),
                        "--tls-key", (certs / "key.pem").string()});
  ASSERT_TRUE(server.started()) << server.errorOutput();
  makeSampleData(dir.path(), server.hostPort());
  std::string content(300000, '\0');
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 % 251);
  writeFile(dir.path() / "files" / "big.bin", content);

  const std::string base = "https://" + server.hostPort();
  const std::string curl = "curl -sS --fail -m 20 --cacert '" + (certs / "ca.pem").string() + "' ";
  const fs::path out = dir.path() / "out.bin";
  ASSERT_EQ(run(curl + "-o '" + out.string() + "' " + base + "/BIG.BIN").exitCode, 0);
  EXPECT_TRUE(readFile(out) == content);
  ASSERT_EQ(run(curl + "-r 70000- -o '" + out.string() + "' " + base + "/big.bin").exitCode, 0);
  EXPECT_TRUE(readFile(out) == content.substr(70000));

  writeFile(dir.path() / "form.txt", queryForm("select 1 where 0", "qz_update"));
  const auto q = run(curl + "--data-binary @'" + (dir.path() / "form.txt").string() + "' " + base +
                     "/client/mysqlservice.asp");
  ASSERT_EQ(q.exitCode, 0);
  EXPECT_EQ(q.out, veltrano::text::toAnsiString(veltrano::server::kNoRowsText));

  // Plain HTTP on the TLS address is not served, and a client that does not trust the
  // certificate refuses it.
  EXPECT_EQ(rawGet(server.port(), "/BIG.BIN").status, 0);
  EXPECT_NE(run("curl -sS --fail -m 10 -o /dev/null " + base + "/BIG.BIN 2>&1").exitCode, 0);
}
