// The phone table carried in the program against the shared table of real
// phones' limits it was written from.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "wml/Phones.h"

using namespace deckhand::wml;

namespace {

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream in(line);
  std::string field;
  while (std::getline(in, field, '\t')) fields.push_back(field);
  return fields;
}

}  // namespace

TEST(Phones, TableEqualsTheSharedListOfRealPhones) {
  std::ifstream tsv(DECKHAND_SHARED_DIR "/phones.tsv");
  if (!tsv) GTEST_SKIP() << "no " DECKHAND_SHARED_DIR "/phones.tsv";
  std::string line;
  std::vector<std::vector<std::string>> rows;
  bool header = true;
  while (std::getline(tsv, line)) {
    if (line.empty() || line[0] == '#') continue;
    if (header) {
      header = false;
      continue;
    }
    rows.push_back(SplitTabs(line));
  }
  ASSERT_EQ(rows.size(), PhoneProfiles().size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const auto& row = rows[i];
    const TPhoneProfile& phone = PhoneProfiles()[i];
    ASSERT_EQ(row.size(), 5u) << line;
    EXPECT_EQ(phone.Name, row[0]);
    EXPECT_EQ(std::to_string(phone.MaxCompiledDeckBytes), row[1]) << row[0];
    EXPECT_EQ(phone.LimitSource, row[2]) << row[0];
    const std::string screen = phone.HasScreen() ? std::to_string(phone.ScreenWidth) + "x" +
                                                       std::to_string(phone.ScreenHeight)
                                                 : "-";
    EXPECT_EQ(screen, row[3]) << row[0];
    const std::map<TTableSupport, std::string> tables{
        {TTableSupport::Yes, "yes"}, {TTableSupport::No, "no"}, {TTableSupport::Unknown, "-"}};
    EXPECT_EQ(tables.at(phone.Tables), row[4]) << row[0];
  }
}

TEST(Phones, OrderedByLimitAndTheDefaultIsThePicturedPhone) {
  const auto phones = PhoneProfiles();
  for (std::size_t i = 1; i < phones.size(); ++i) {
    EXPECT_LE(phones[i - 1].MaxCompiledDeckBytes, phones[i].MaxCompiledDeckBytes) << phones[i].Name;
  }
  EXPECT_EQ(DefaultPhone().Name, "Motorola C380");
  EXPECT_EQ(DefaultPhone().ScreenWidth, 128);
  EXPECT_EQ(DefaultPhone().ScreenHeight, 128);
  ASSERT_NE(FindPhone("Nokia 7110"), nullptr);
  EXPECT_TRUE(FindPhone("Nokia 7110")->Accepts(1397));
  EXPECT_FALSE(FindPhone("Nokia 7110")->Accepts(1398));
  EXPECT_EQ(FindPhone("Nokia"), nullptr);
}

// A request header value is one line of visible ASCII (RFC 7230 §3.2: field
// content is VCHAR with single spaces between): a control character would
// end or forge a header. Each phone's User-Agent names its own model, so two
// phones never share one, and the browser profiles that stand for many
// phones carry none.
TEST(Phones, RequestHeadersAreSingleLinesOfTheirOwnPhone) {
  std::map<std::string_view, std::string_view> seen;
  for (const TPhoneProfile& phone : PhoneProfiles()) {
    for (std::string_view value : {phone.UserAgent, phone.AcceptCharset}) {
      if (value.empty()) continue;
      EXPECT_NE(value.front(), ' ') << phone.Name;
      EXPECT_NE(value.back(), ' ') << phone.Name;
      for (char c : value) {
        EXPECT_TRUE(c >= 0x20 && c < 0x7f) << phone.Name << ": byte " << int(c);
      }
      EXPECT_EQ(value.find("  "), std::string_view::npos) << phone.Name;
    }
    if (phone.UserAgent.empty()) continue;
    const auto [it, inserted] = seen.emplace(phone.UserAgent, phone.Name);
    EXPECT_TRUE(inserted) << phone.Name << " and " << it->second << " send the same User-Agent";
    // A gateway's suffix is not the phone's.
    EXPECT_EQ(phone.UserAgent.find("UP.Link"), std::string_view::npos) << phone.Name;
  }
  for (const char* profile : {"UP.Browser 3.2", "UP.Browser 4.x", "Openwave 6 (generic)"}) {
    ASSERT_NE(FindPhone(profile), nullptr) << profile;
    EXPECT_TRUE(FindPhone(profile)->UserAgent.empty()) << profile;
  }
  EXPECT_EQ(DefaultPhone().UserAgent,
            "MOT-C380/0B.D1.09R MIB/2.2.1 Profile/MIDP-2.0 Configuration/CLDC-1.0");
  EXPECT_EQ(FindPhone("Nokia 7110")->UserAgent, "Nokia7110/1.0 (04.67)");
}
