// Downloading 256 MiB over HTTP, HTTPS and FTP (passive) from local servers through the
// retriever with its real progress dialog (the program's message pump running), against curl
// of the same URL in the same run. Also the growth of the process's peak memory over our runs.
#include "bench/benchutil.h"
#include "net/dlstatus.h"
#include "net/retriever.h"
#include "platform/qtdialogs.h"
#include "platform/winfs.h"
#include "tests/fixtures/ftpserver.h"
#include "tests/fixtures/nginxserver.h"
#include "tests/fixtures/tempprefix.h"
#include "tests/fixtures/testca.h"
#include "tests/fixtures/vsftpdserver.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>
#include <string>

using namespace dravik;
using namespace dravik::bench;
using namespace dravik::test;

namespace {

constexpr int64_t kSize = 256ll << 20;

// The process's peak resident memory so far, in MiB.
double PeakMiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.starts_with("VmHWM:")) return std::stod(line.substr(6)) / 1024;
  return 0;
}

} // namespace

int main(int argc, char** argv) {
  if (!std::getenv("DISPLAY") && !std::getenv("QT_QPA_PLATFORM"))
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication application(argc, argv);
  InstallQtMessagePump();

  TTempPrefix prefix;
  TTempDir root;
  {
    // Data that does not compress: a random MiB, each copy shifted.
    std::mt19937_64 rng(3);
    std::string block(1 << 20, '\0');
    for (char& c : block)
      c = char(rng());
    std::ofstream out(root.Path() + "/big.gob", std::ios::binary);
    for (int64_t i = 0; i < kSize / int64_t(block.size()); ++i) {
      block[size_t(i)] ^= 0x5A;
      out.write(block.data(), std::streamsize(block.size()));
    }
  }
  TTestCA ca;
  TTrustTestCA trust(ca);
  TNginxServer http(root.Path());
  TNginxServer https(root.Path(), "", WithTls(ca.Good));
  std::unique_ptr<TVsftpdServer> vsftpd;
  std::unique_ptr<TFtpServer> pyftpd;
  std::string ftpUrl;
  if (TVsftpdServer::Available()) {
    vsftpd = std::make_unique<TVsftpdServer>(root.Path(), true, false);
    ftpUrl = vsftpd->Url("/big.gob");
  } else {
    TFtpServerOptions options;
    options.Active = false;
    pyftpd = std::make_unique<TFtpServer>(root.Path(), options);
    ftpUrl = pyftpd->Url("/big.gob");
  }

  TDLStatus dialog;
  TRetriever retriever(dialog);
  retriever.ReportErrors = false;
  const std::string curlOut = prefix.Path() + "/curl.out";
  struct TCase {
    const char* Name;
    std::string Url;
    double Ours = 1e30, Curl = 1e30;
  } cases[] = {
      {"http", http.Url("/big.gob")}, {"https", https.Url("/big.gob")}, {"ftp (passive)", ftpUrl}};

  // An argument names the one protocol to run ("http", "https", "ftp").
  const std::string only = argc > 1 ? argv[1] : "";
  const double peakBefore = PeakMiB();
  for (int run = 0; run < 5; ++run) {
    for (TCase& c : cases) {
      const std::string name = c.Name;
      if (!only.empty() && name.substr(0, name.find(' ')) != only) continue;
      std::string file;
      c.Ours = std::min(c.Ours, Best(1, [&] { file = retriever.RetrieveFile(c.Url); }));
      if (file.empty() || winfs::FileSize(file) != kSize) return 1;
      (void)winfs::DeleteFile(file); // the next round writes the file anew
      const std::string curl =
          "curl -s --cacert '" + ca.CaFile() + "' -o '" + curlOut + "' '" + c.Url + "'";
      c.Curl = std::min(c.Curl, Best(1, [&] {
                          if (std::system(curl.c_str()) != 0) std::exit(1);
                        }));
      std::remove(curlOut.c_str());
    }
  }
  const double growth = PeakMiB() - peakBefore;

  double worst = 0;
  const TCase* worstCase = &cases[0];
  for (const TCase& c : cases) {
    if (c.Ours > 1e29) continue;
    PrintResult((std::string("download ") + c.Name).c_str(), c.Ours, "curl", c.Curl);
    if (c.Ours / c.Curl > worst) {
      worst = c.Ours / c.Curl;
      worstCase = &c;
    }
  }
  std::printf("peak memory growth over our downloads: %.1f MiB\n", growth);
  PrintResult((std::string("download, slowest against curl: ") + worstCase->Name).c_str(),
              worstCase->Ours, "curl", worstCase->Curl);
  return 0;
}
