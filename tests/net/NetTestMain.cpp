// The network tests need a QCoreApplication (the fetcher runs an event loop)
// and must reach the loopback server directly, whatever proxy the machine's
// environment names.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "WapServer.h"

int main(int argc, char** argv) {
  for (const char* name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy",
                           "ALL_PROXY", "no_proxy", "NO_PROXY"}) {
    qunsetenv(name);
  }
  QCoreApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  const int status = RUN_ALL_TESTS();
  deckhand::net::testing::TWapServer::Stop();
  return status;
}
