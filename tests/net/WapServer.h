// The test server (wap_server.py) started once per test program on a free
// loopback port, and stopped by closing its standard input.
#pragma once

#include <QProcess>
#include <QTemporaryDir>
#include <memory>
#include <string>

namespace deckhand::net::testing {

class TWapServer {
 public:
  // The running server, or null when it cannot start here (why in Reason()).
  static TWapServer* Get();
  static const std::string& Reason();
  // Stops the server (at the end of the test program, before the
  // application object goes).
  static void Stop();
  // The server's log: "METHOD PATH" for each request, "GONE PATH" when the
  // client of a slow response went away before its end.
  std::string Log() const;
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(Port) + path;
  }
  ~TWapServer();

  int Port = 0;
  std::unique_ptr<QProcess> Process;
  std::unique_ptr<QTemporaryDir> Folder;  // holds the log
};

}  // namespace deckhand::net::testing

// Skips the test when the server is not running.
#define REQUIRE_WAP_SERVER(server)                                                        \
  deckhand::net::testing::TWapServer* server = deckhand::net::testing::TWapServer::Get(); \
  if (server == nullptr) GTEST_SKIP() << deckhand::net::testing::TWapServer::Reason()
