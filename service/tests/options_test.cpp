#include <gtest/gtest.h>

#include "core/options.h"
#include "service_test_util.h"

namespace orva::service {
namespace {

using test::ReadBytes;
using test::WriteBytes;

const char kNetwork[] = "Z:|\\\\nas\\backup|admin|s3cr#t pw|Y:|\\\\files.lan\\img\\orva|bob|hunter2|X:|\\\\half";

TEST(Options, FileRoundTripAndNetworkList) {
  test::TempFolder dir;
  OptionsRecord written{"C:\\Orvanta|E:\\Images|", kNetwork, ""};
  ASSERT_TRUE(WriteOptionsFile(dir.Path(), written, test::kQuick));
  const std::string bytes = ReadBytes(dir / kOptionsFileName);
  EXPECT_EQ(bytes, std::string("Repository Directory:\r\nC:\\Orvanta|E:\\Images|\r\n"
                               "Network Repository Directory:\r\n") +
                       kNetwork + "\r\n");
  OptionsRecord read;
  read.disconnect = "kept in memory";
  ASSERT_EQ(ReadOptionsFile(dir.Path(), read, {}, test::kQuick), OptionsStatus::kLoaded);
  EXPECT_EQ(read.repositories, written.repositories);
  EXPECT_EQ(read.network, written.network);
  EXPECT_EQ(read.disconnect, "kept in memory");
  ASSERT_TRUE(WriteOptionsFile(dir.Path(), read, test::kQuick));
  EXPECT_EQ(ReadBytes(dir / kOptionsFileName), bytes);

  std::vector<NetworkRepository> groups = ParseNetworkList(kNetwork);
  ASSERT_EQ(groups.size(), 2u);  // the incomplete third group is ignored
  EXPECT_EQ(groups[0].drive, "Z:");
  EXPECT_EQ(groups[0].password, "s3cr#t pw");
  EXPECT_EQ(groups[0].QualifiedUser(), "nas\\admin");
  EXPECT_EQ(groups[1].Host(), "files.lan");
  EXPECT_EQ(groups[1].share, "\\\\files.lan\\img\\orva");

  // Short files read as empty lists.
  WriteBytes(dir / kOptionsFileName, "Repository Directory:\r\nD:\\R|\r\n");
  ASSERT_EQ(ReadOptionsFile(dir.Path(), read, {}, test::kQuick), OptionsStatus::kLoaded);
  EXPECT_EQ(read.repositories, "D:\\R|");
  EXPECT_EQ(read.network, "");
}

struct FakeMapper : DriveMapper {
  std::vector<std::string> inUse{"C:", "z:"};
  uint32_t error = 0;
  int drivesAsked = 0;
  std::vector<std::string> connected, disconnected;
  std::vector<std::string> DrivesInUse() override {
    ++drivesAsked;
    return inUse;
  }
  uint32_t Connect(const NetworkRepository& r) override {
    connected.push_back(r.drive + " " + r.share + " " + r.QualifiedUser() + " " + r.password);
    return error;
  }
  uint32_t Disconnect(const std::string& drive) override {
    disconnected.push_back(drive);
    return 0;
  }
};

TEST(Options, ConnectSkipsDrivesInUseAndKeepsPasswordsOutOfTheLog) {
  FakeMapper mapper;
  mapper.error = 1326;  // logon failure
  auto now = std::chrono::steady_clock::time_point{};
  NetworkConnector connector(mapper, [&] { return now; });
  std::vector<std::string> log;
  LogSink sink = [&](std::string_view tag, std::string_view text) { log.push_back(FormatLogLine(tag, text)); };
  OptionsRecord options{"", kNetwork, "W:|\\\\old\\s|u|oldpass|"};
  EXPECT_EQ(connector.ConnectAll(options, sink), 0);
  now += NetworkConnector::kFirstRetryWait;
  EXPECT_EQ(connector.ConnectAll(options, sink), 0);  // same failure: not logged again
  ASSERT_EQ(mapper.connected.size(), 2u);             // Z: is in use (as "z:")
  EXPECT_EQ(mapper.connected[0], "Y: \\\\files.lan\\img\\orva files.lan\\bob hunter2");
  EXPECT_EQ(mapper.disconnected, (std::vector<std::string>{"W:", "W:"}));
  ASSERT_EQ(log.size(), 1u);
  EXPECT_NE(log[0].find("Y:"), std::string::npos);
  EXPECT_NE(log[0].find("1326"), std::string::npos);

  mapper.error = 0;
  now += 2 * NetworkConnector::kFirstRetryWait;
  EXPECT_EQ(connector.ConnectAll(options, sink), 1);
  for (const std::string& line : log) {
    for (const char* secret : {"hunter2", "s3cr#t", "oldpass"}) EXPECT_EQ(line.find(secret), std::string::npos) << line;
  }

  FakeMapper idle;
  NetworkConnector none(idle);
  EXPECT_EQ(none.ConnectAll(OptionsRecord{"C:\\Orvanta|", "", ""}, sink), 0);
  EXPECT_EQ(idle.drivesAsked, 0);
  EXPECT_TRUE(idle.connected.empty());
}

TEST(Options, AFailingMappingIsTriedAgainAfterGrowingWaits) {
  using namespace std::chrono;
  FakeMapper mapper;
  mapper.inUse = {"C:"};
  mapper.error = 1326;
  auto now = steady_clock::time_point{};
  NetworkConnector connector(mapper, [&] { return now; });
  std::vector<std::string> log;
  LogSink sink = [&](std::string_view, std::string_view text) { log.emplace_back(text); };
  OptionsRecord options{"", "Y:|\\\\nas\\img|bob|wrong|", ""};
  // The main loop asks every five seconds for two days: the tries come a
  // minute apart, then two, four ... and at most an hour apart.
  std::vector<minutes> tries;
  for (int pass = 0; pass < 2 * 24 * 720; ++pass, now += seconds(5)) {
    const size_t before = mapper.connected.size();
    connector.ConnectAll(options, sink);
    if (mapper.connected.size() > before) tries.push_back(duration_cast<minutes>(now.time_since_epoch()));
  }
  ASSERT_GE(tries.size(), 10u);
  const std::vector<int> gaps{1, 2, 4, 8, 16, 32, 60, 60};
  for (size_t i = 0; i < gaps.size(); ++i) EXPECT_EQ((tries[i + 1] - tries[i]).count(), gaps[i]) << i;
  EXPECT_LE(tries.size(), 7u + 48u);
  EXPECT_EQ(log.size(), 1u);  // one failure, one line

  // Another password is tried at once; success ends the waits.
  options.network = "Y:|\\\\nas\\img|bob|right|";
  mapper.error = 0;
  const size_t before = mapper.connected.size();
  EXPECT_EQ(connector.ConnectAll(options, sink), 1);
  EXPECT_EQ(mapper.connected.size(), before + 1);
  mapper.error = 53;  // the share went away: a new error, tried after a minute
  now += seconds(5);
  EXPECT_EQ(connector.ConnectAll(options, sink), 0);
  now += seconds(30);
  EXPECT_EQ(connector.ConnectAll(options, sink), 0);
  EXPECT_EQ(mapper.connected.size(), before + 2);
  EXPECT_EQ(log.size(), 3u);
  EXPECT_NE(log.back().find("[error 53]"), std::string::npos) << log.back();
}

TEST(Options, DefaultRepositoryChoice) {
  const struct {
    const char* what;
    std::vector<DiskInfo> disks;
    std::optional<std::string> chosen;
  } cases[] = {
      {"most free space", {{"C:", 3, 10}, {"D:", 3, 30}, {"E:", 3, 20}}, "D:\\Orvanta"},
      {"first of equals", {{"C:", 3, 50}, {"D:", 3, 50}}, "C:\\Orvanta"},
      {"only fixed disks", {{"C:", 3, 5}, {"F:", 2, 900}, {"G:", 4, 900}}, "C:\\Orvanta"},
      {"a full disk still counts", {{"C:", 3, 0}}, "C:\\Orvanta"},
      {"no fixed disk", {{"A:", 2, 1}}, std::nullopt},
      {"no disk", {}, std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ChooseDefaultRepository(c.disks), c.chosen) << c.what;
}

TEST(Options, EnsureDefaultRepositoryNeverWritesOverAnUnreadFile) {
  const std::vector<DiskInfo> disks{{"C:", 3, 1}, {"E:", 3, 2}};
  std::vector<std::string> log;
  LogSink sink = [&](std::string_view, std::string_view text) { log.emplace_back(text); };
  {
    test::TempFolder dir;
    OptionsRecord options;
    EXPECT_TRUE(EnsureDefaultRepository(dir.Path(), disks, options, sink, test::kQuick));  // no file yet
    EXPECT_EQ(options.repositories, "E:\\Orvanta|");
    EXPECT_FALSE(EnsureDefaultRepository(dir.Path(), disks, options, sink, test::kQuick));  // already there
    EXPECT_EQ(ReadBytes(dir / kOptionsFileName),
              "Repository Directory:\r\nE:\\Orvanta|\r\nNetwork Repository Directory:\r\n\r\n");
  }
  {
    test::TempFolder dir;
    std::filesystem::create_directory(dir / kOptionsFileName);  // unreadable
    OptionsRecord options;
    EXPECT_FALSE(EnsureDefaultRepository(dir.Path(), disks, options, sink, test::kQuick));
    EXPECT_TRUE(std::filesystem::is_directory(dir / kOptionsFileName));
  }
  {
    test::TempFolder dir;
    const std::string damaged = "Repository Directory:\r\n" + std::string(1100, 'x') + "\r\n";
    WriteBytes(dir / kOptionsFileName, damaged);
    OptionsRecord options;
    log.clear();
    EXPECT_TRUE(EnsureDefaultRepository(dir.Path(), disks, options, sink, test::kQuick));
    EXPECT_EQ(ReadBytes(dir / "OrvaOption.ovc.bad"), damaged);
    ASSERT_FALSE(log.empty());
    EXPECT_NE(log[0].find("OrvaOption.ovc.bad"), std::string::npos);
  }
  OptionsRecord full{std::string(kRepositoryListMax - 3, 'r'), "", ""};
  EXPECT_FALSE(AddRepository(full, "E:\\Orvanta"));
}

}  // namespace
}  // namespace orva::service
