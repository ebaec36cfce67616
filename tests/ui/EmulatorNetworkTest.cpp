// The emulator window with "Отправлять запросы в сеть": off by default (the
// request is only shown), on it walks a site of the test server
// (tests/net/wap_server.py) on the worker thread, shows the exchange with
// the server, forgets the session's cookies at "Сначала", and the back key
// cancels a request that waits for a slow server.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

// g++ 12 sees a moved-from std::optional<QString> in the dialogs' queue as
// possibly uninitialised when inlined here (a known false positive).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include "ScriptedDialogs.h"
#pragma GCC diagnostic pop
#include "UiTestSupport.h"
#include "WapServer.h"
#include "ui/EmulatorWorker.h"
#include "ui/Unit1.h"
#include "ui/Unit7.h"
#include "wml/Phones.h"

namespace deckhand {
namespace {

using deckhand::net::testing::TWapServer;
using deckhand::testing::TScriptedDialogs;
using deckhand::testing::WaitFor;

bool Settle(TEmulator* emulator) {
  return WaitFor([&] { return emulator->Idle(); }, 20000);
}

std::string Deck(const std::string& url) {
  return "<?xml version=\"1.0\"?>\r\n<wml><card id=\"home\"><p><a href=\"" + url +
         "\">go</a></p></card></wml>\r\n";
}

class EmulatorNetworkTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    for (const char* name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy",
                             "ALL_PROXY", "no_proxy", "NO_PROXY"})
      qunsetenv(name);
  }
  static void TearDownTestSuite() { TWapServer::Stop(); }

  EmulatorNetworkTest() {
    window.SetShowSplash(false);
    window.FormCreate(&window);
    window.show();
  }
  ~EmulatorNetworkTest() override {
    window.Buffer().Clear();
    window.close();
  }

  TEmulator* Open(const std::string& text) {
    window.Buffer().SetTextStr(text);
    window.Action("N50")->trigger();
    EXPECT_TRUE(Settle(window.Emulator()));
    return window.Emulator();
  }

  TScriptedDialogs dialogs;
  TMain window;
};

TEST_F(EmulatorNetworkTest, OnALinkFetchesTheSiteAndTheExchangeIsShownOffNothingIsSent) {
  REQUIRE_WAP_SERVER(server);
  TEmulator* emulator = Open(Deck(server->Url("/site/start")));
  ASSERT_FALSE(emulator->NetworkBox()->isChecked());
  EXPECT_FALSE(emulator->ExchangeView()->isVisible());

  // Off: the request the phone would send, nothing sent.
  emulator->Press(TKeypad::TKey::Select);
  ASSERT_TRUE(Settle(emulator));
  EXPECT_EQ(emulator->CardId(), "home");
  EXPECT_TRUE(emulator->StatusLabel()->text().startsWith("Телефон отправил бы запрос"));
  emulator->Press(TKeypad::TKey::Back);
  ASSERT_TRUE(Settle(emulator));

  emulator->NetworkBox()->setChecked(true);
  ASSERT_TRUE(Settle(emulator));
  EXPECT_TRUE(emulator->ExchangeView()->isVisible());
  emulator->Press(TKeypad::TKey::Select);
  ASSERT_TRUE(Settle(emulator));
  EXPECT_EQ(emulator->CardId(), "s");
  const QString exchange = emulator->ExchangeView()->toPlainText();
  EXPECT_TRUE(exchange.contains(QString::fromStdString("> GET " + server->Url("/site/start"))))
      << exchange.toStdString();
  EXPECT_TRUE(exchange.contains("< 200")) << exchange.toStdString();
  EXPECT_TRUE(exchange.contains("> User-Agent: ")) << exchange.toStdString();
  // The deck on screen and the history name the address.
  const QString address = QString::fromStdString(server->Url("/site/start"));
  EXPECT_EQ(emulator->StatusLabel()->text(), "Адрес " + address + ". Карта #s");
  EXPECT_EQ(emulator->HistoryView()->item(1)->text(), address + "#s");

  // The form sets a cookie; "Сначала" forgets it.
  emulator->Press(TKeypad::TKey::Select);
  ASSERT_TRUE(Settle(emulator));
  EXPECT_EQ(emulator->CardId(), "f");
  EXPECT_TRUE(emulator->ExchangeView()->toPlainText().contains("Cookie: visit=1"));
  ASSERT_EQ(emulator->HistoryView()->count(), 3);
  emulator->RestartButton()->click();
  ASSERT_TRUE(Settle(emulator));
  EXPECT_EQ(emulator->CardId(), "home");
  EXPECT_EQ(emulator->ExchangeView()->toPlainText(), "");
  emulator->Press(TKeypad::TKey::Select);
  ASSERT_TRUE(Settle(emulator));
  EXPECT_TRUE(emulator->ExchangeView()->toPlainText().contains("Cookie: нет"))
      << emulator->ExchangeView()->toPlainText().toStdString();

  // The choice lasts while the program runs: a new main window's emulator
  // starts with it.
  TMain other;
  other.SetShowSplash(false);
  other.FormCreate(&other);
  other.Action("N50")->trigger();
  EXPECT_TRUE(other.Emulator()->NetworkBox()->isChecked());
  ASSERT_TRUE(Settle(other.Emulator()));
  other.Emulator()->NetworkBox()->setChecked(false);
  ASSERT_TRUE(Settle(other.Emulator()));
  other.close();
}

TEST_F(EmulatorNetworkTest, TheBackKeyCancelsARequestToASlowServer) {
  REQUIRE_WAP_SERVER(server);
  TEmulator* emulator = Open(Deck(server->Url("/slow")));
  emulator->NetworkBox()->setChecked(true);
  ASSERT_TRUE(Settle(emulator));
  emulator->Press(TKeypad::TKey::Select);
  // The window says what it waits for once the worker has been silent a
  // while; the editor stays free meanwhile.
  ASSERT_TRUE(
      WaitFor([&] { return emulator->StatusLabel()->text().startsWith("Ждём ответа"); }, 20000));
  window.Buffer().SetTextStr(Deck(server->Url("/slow")) + " ");
  emulator->Press(TKeypad::TKey::Back);
  ASSERT_TRUE(Settle(emulator));
  EXPECT_EQ(emulator->CardId(), "home");
  EXPECT_TRUE(emulator->StatusLabel()->text().contains("отменён"))
      << emulator->StatusLabel()->text().toStdString();
  emulator->NetworkBox()->setChecked(false);
  ASSERT_TRUE(Settle(emulator));
}

// The worker's end (the emulator window closed, the program ending) ends
// a request under way at once instead of at its timeout, a minute later.
TEST_F(EmulatorNetworkTest, TheWorkersEndEndsARequestUnderWay) {
  REQUIRE_WAP_SERVER(server);
  auto worker = std::make_unique<TEmulatorWorker>([](std::shared_ptr<const TEmulatorFrame>) {});
  worker->Network(true);
  worker->Text(Deck(server->Url("/slow?tag=worker")), {}, &wml::DefaultPhone());
  worker->Key(TPhoneKey::Select);
  ASSERT_TRUE(WaitFor([&] { return worker->Fetching(); }, 20000));
  worker.reset();
  EXPECT_TRUE(WaitFor(
      [&] { return server->Log().find("GONE /slow?tag=worker") != std::string::npos; }, 20000))
      << server->Log();
}

}  // namespace
}  // namespace deckhand
