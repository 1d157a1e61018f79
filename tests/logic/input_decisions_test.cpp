// The window's decisions on what comes in, without a window: which command a
// datagram is, what it shows and in which colour, what a key does.
#include <gtest/gtest.h>

#include <string>

#include "config/kiosk_settings.h"
#include "kiosk/kiosk_logic.h"

namespace {

using namespace kiosk;

TEST(RemoteCommandParsing, ExactTextsOnly) {
  struct Case {
    std::string text;
    RemoteCommand command;
    std::int32_t capCode;
  } cases[] = {
      {"CMD:SCREEN0", RemoteCommand::Screen0, 0},
      {"CMD:SCREEN0\r\n", RemoteCommand::None, 0},
      {"cmd:screen0", RemoteCommand::None, 0},
      {"CMD:SCREEN1", RemoteCommand::Screen1, 0},
      {"CMD:SCROLL", RemoteCommand::Scroll, 0},
      {"CMD:TOGGLECFS", RemoteCommand::ToggleCFS, 0},
      {"CMD:TOGGLEMFS", RemoteCommand::ToggleMFS, 0},
      {"CMD:TOGGLEMSC", RemoteCommand::ToggleMSC, 0},
      {"CMD:TOGGLESAAS", RemoteCommand::ToggleSAAS, 0},
      {"CMD:TOGGLERVU", RemoteCommand::ToggleRVU, 0},
      {"CMD:TOGGLEUNKNOWN", RemoteCommand::ToggleUnknown, 0},
      {"CMD:TOGGLEHEARTBEAT", RemoteCommand::ToggleHeartBeat, 0},
      {"CMD:CAPCODE=1234", RemoteCommand::CapCode, 1234},
      {"CMD:CAPCODE=-5", RemoteCommand::CapCode, -5},
      {"CMD:CAPCODE=$10", RemoteCommand::CapCode, 16},
      {"CMD:CAPCODE= 7", RemoteCommand::CapCode, 7},
      {"CMD:CAPCODE=", RemoteCommand::BadCapCode, 0},
      {"CMD:CAPCODE=abc", RemoteCommand::BadCapCode, 0},
      {"CMD:CAPCODE=12 ", RemoteCommand::BadCapCode, 0},
      {"CMD:CAPCODE=99999999999", RemoteCommand::BadCapCode, 0},
      {"CMD:TOGGLEBROWSER", RemoteCommand::ToggleBrowser, 0},
      {"CMD:TOGGLESCREENSAVER", RemoteCommand::ToggleScreenSaver, 0},
      {"CMD:SCREENSAVER=OFF", RemoteCommand::ScreenSaverOff, 0},
      {"CMD:TERMINATE", RemoteCommand::Terminate, 0},
      {"CMD:TERMINATE ", RemoteCommand::None, 0},
      {"[RVU:1] CMD:TERMINATE", RemoteCommand::None, 0},
      {std::string("CMD:SCROLL\0", 11), RemoteCommand::None, 0},
  };
  for (const auto& c : cases) {
    const ParsedCommand parsed = ParseRemoteCommand(c.text);
    EXPECT_EQ(parsed.command, c.command) << c.text;
    EXPECT_EQ(parsed.capCode, c.capCode) << c.text;
  }
}

TEST(DatagramDecision, FiltersColoursAndOwnCapcode) {
  config::tKioskSettings all;
  all.ShowCFS = all.ShowMFS = all.ShowMSC = all.ShowSAAS = all.ShowRVU = all.ShowUnknown = all.ShowHeartBeat = true;
  all.CapCode = 1234;
  config::tKioskSettings none;
  none.CapCode = 1234;
  config::tKioskSettings heartbeatOnly = none;
  heartbeatOnly.ShowHeartBeat = true;
  config::tKioskSettings mscOnly = none;
  mscOnly.ShowMSC = true;
  config::tKioskSettings capcodeZero = none;
  capcodeZero.CapCode = 0;
  config::tKioskSettings negative = all;
  negative.CapCode = -5;

  struct Case {
    const char* name;
    const config::tKioskSettings& settings;
    std::string text;
    bool show;
    std::uint32_t colour;
    bool own;
  } cases[] = {
      {"CFS line", all, "[CFS:0451002] GRASS FIRE", true, kWhite, false},
      {"MFS line", all, "[MFS:0123456] ALARM", true, kWhite, false},
      {"SAAS line", all, "[SAAS:0771234] P1", true, kWhite, false},
      {"Unknown line", all, "[Unknown:0000000] ?", true, kWhite, false},
      {"RVU line is yellow", all, "[RVU:9999] RESCUE", true, kYellow, false},
      {"own capcode is green before yellow", all, "[RVU:1234] RESCUE P1", true, kGreen, true},
      {"own capcode in another tag", all, "[CFS:1234] FIRE", true, kGreen, true},
      {"no tag is never shown", all, "hello :1234] there", false, kGreen, true},
      {"filters off", none, "[CFS:0451002] GRASS FIRE", false, kWhite, false},
      {"own page with its switch off still counts", none, "[RVU:1234] RESCUE", false, kGreen, true},
      {"heartbeat by its own switch", heartbeatOnly, "[MSC:HEARTBEAT] 13:45", true, kWhite, false},
      {"heartbeat through MSC", mscOnly, "[MSC:HEARTBEAT] 13:45", true, kWhite, false},
      {"a command is never shown", all, "CMD:[CFS:1234]", false, kGreen, true},
      {"lower-case command is a pager line", all, "cmd:SCROLL [CFS", true, kWhite, false},
      {"CMD: inside a line", all, "[CFS:1] CMD:SCROLL", true, kWhite, false},
      {"empty datagram", all, "", false, kWhite, false},
      {"capcode 0 marker", capcodeZero, "[X:0] 10:0] y", false, kGreen, true},
      {"negative capcode", negative, "[RVU:-5] x", true, kGreen, true},
      {"case counts", all, "[cfs:1] [rvu:1]", false, kWhite, false},
  };
  for (const auto& c : cases) {
    const DatagramView view = DecideDatagram(c.text, c.settings);
    EXPECT_EQ(view.show, c.show) << c.name;
    EXPECT_EQ(view.colour, c.colour) << c.name;
    EXPECT_EQ(view.ownCapcode, c.own) << c.name;
  }
}

TEST(KeyDecision, KeysAndTheirActions) {
  struct Case {
    char key;
    KeyAction action;
  } cases[] = {{'0', KeyAction::ShowMap},         {'1', KeyAction::ShowWeather},    {'b', KeyAction::ToggleBrowser},
               {'B', KeyAction::ToggleBrowser},   {'c', KeyAction::ToggleCFS},      {'C', KeyAction::ToggleCFS},
               {'e', KeyAction::ToggleRVU},       {'h', KeyAction::ToggleHeartBeat}, {'m', KeyAction::ToggleMFS},
               {'q', KeyAction::AskQuit},         {'Q', KeyAction::AskQuit},        {' ', KeyAction::AskQuit},
               {'s', KeyAction::ToggleSAAS},      {'t', KeyAction::StartTimer},     {'u', KeyAction::ToggleUnknown},
               {'?', KeyAction::Help},            {'2', KeyAction::None},           {')', KeyAction::None},
               {'\xE9', KeyAction::None},         {'x', KeyAction::None}};
  for (const auto& c : cases) EXPECT_EQ(DecideKey(c.key), c.action) << c.key;
}

// The remote toggles and the toggle keys switch the same settings; only the
// keys say the new value, MSC has no key, and the browser says nothing.
TEST(Toggles, CommandsAndKeysShareOneTable) {
  using config::tKioskSettings;
  struct Case {
    RemoteCommand command;
    KeyAction key;
    bool tKioskSettings::*setting;
    const char* said;
  } cases[] = {
      {RemoteCommand::ToggleCFS, KeyAction::ToggleCFS, &tKioskSettings::ShowCFS, "Display CFS pages: "},
      {RemoteCommand::ToggleMFS, KeyAction::ToggleMFS, &tKioskSettings::ShowMFS, "Display MFS pages: "},
      {RemoteCommand::ToggleMSC, KeyAction::None, &tKioskSettings::ShowMSC, nullptr},
      {RemoteCommand::ToggleSAAS, KeyAction::ToggleSAAS, &tKioskSettings::ShowSAAS, "Display SAAS pages: "},
      {RemoteCommand::ToggleRVU, KeyAction::ToggleRVU, &tKioskSettings::ShowRVU, "Display RVU pages: "},
      {RemoteCommand::ToggleUnknown, KeyAction::ToggleUnknown, &tKioskSettings::ShowUnknown,
       "Display unknown pages: "},
      {RemoteCommand::ToggleHeartBeat, KeyAction::ToggleHeartBeat, &tKioskSettings::ShowHeartBeat,
       "Display HeartBeat pages: "},
      {RemoteCommand::ToggleBrowser, KeyAction::ToggleBrowser, &tKioskSettings::BrowserVisible, nullptr},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ToggleOf(c.command).setting, c.setting);
    EXPECT_EQ(ToggleOf(c.command).browser(), c.setting == &tKioskSettings::BrowserVisible);
    if (c.key == KeyAction::None) continue;
    const Toggle key = ToggleOf(c.key);
    EXPECT_EQ(key.setting, c.setting);
    EXPECT_STREQ(key.said ? key.said : "", c.said ? c.said : "");
  }
  for (RemoteCommand none : {RemoteCommand::None, RemoteCommand::Scroll, RemoteCommand::CapCode,
                             RemoteCommand::ToggleScreenSaver, RemoteCommand::Terminate})
    EXPECT_EQ(ToggleOf(none).setting, nullptr);
  for (KeyAction none : {KeyAction::None, KeyAction::ShowMap, KeyAction::Help, KeyAction::StartTimer})
    EXPECT_EQ(ToggleOf(none).setting, nullptr);
}

}  // namespace
