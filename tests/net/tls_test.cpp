#include "net/nmhttp.h"
#include "nettest.h"
#include "tests/fixtures/nginxserver.h"
#include "tests/fixtures/testca.h"

#include <gtest/gtest.h>
#include <random>

using namespace dravik;
using namespace dravik::test;

namespace {

class Tls : public ::testing::Test {
protected:
  static void SetUpTestSuite() { CA = new TTestCA(); }
  static void TearDownTestSuite() {
    delete CA;
    CA = nullptr;
  }
  Tls() {
    std::mt19937 rng(5);
    Data.resize(3 << 20);
    for (char& c : Data)
      c = char(rng());
    WriteHostFile(Root.Path() + "/x.gob", Data);
    Http.InputFileMode = false;
  }
  std::string Get(const std::string& url) {
    return MessageOf<ESockError>([&] { Http.Get(url); });
  }

  static TTestCA* CA;
  TTempPrefix Prefix;
  TTempDir Root;
  std::string Data;
  TNMHTTP Http;
};
TTestCA* Tls::CA = nullptr;

} // namespace

TEST_F(Tls, TrustedCertificateByAddressAndByName) {
  TTrustTestCA trust(*CA);
  TFakeResolver resolver; // "localhost" is 127.0.0.1
  TNginxServer server(Root.Path(), "", WithTls(CA->Good));
  for (const std::string host : {"127.0.0.1", "localhost"}) {
    Http.Get("https://" + host + ":" + std::to_string(server.Port()) + "/x.gob");
    EXPECT_EQ(Http.StatusCode(), 200) << host;
    EXPECT_TRUE(Http.Body == Data) << host;
  }
}

TEST_F(Tls, CertificatesThatFailSayWhy) {
  struct TCase {
    const TCertificate TTestCA::*Certificate;
    bool Trusted;
    std::string Reason;
  } cases[] = {
      {&TTestCA::Expired, true, "the certificate has expired"},
      {&TTestCA::OtherHost, true, "the certificate is for another host"},
      {&TTestCA::Good, false, "the certificate was issued by an unknown authority"},
  };
  for (const auto& c : cases) {
    std::optional<TTrustTestCA> trust;
    if (c.Trusted) trust.emplace(*CA);
    TNginxServer server(Root.Path(), "", WithTls(CA->*c.Certificate));
    EXPECT_EQ(Get(server.Url("/x.gob")), "Secure connection to 127.0.0.1 failed: " + c.Reason);
    EXPECT_EQ(server.AccessLog(), "") << c.Reason; // no request went out
  }
}
