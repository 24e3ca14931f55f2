#include "frame/debugging_events.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "release.h"
#include "rid.h"

using namespace brindle;
using namespace varnel;

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

const std::string stamp = "Mon Dec  7 08:19:45 2026 GMT\n";  // of the test clock's start
const std::string unjoined = "---- <<not joined>> ";

// A registry on a RID holding the given debug_flags entry and on a clock the test sets; files
// go to a temp folder. RTI_RID_FILE is left as it was found.
class DebuggingEventsTest : public ::testing::Test {
protected:
  void SetUp() override {
    char pattern[] = "/tmp/debugging_events_test_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
    if (const char* value = std::getenv("RTI_RID_FILE")) saved_ = value;
  }
  void TearDown() override {
    registry_.reset();
    saved_.empty() ? unsetenv("RTI_RID_FILE") : setenv("RTI_RID_FILE", saved_.c_str(), 1);
    std::filesystem::remove_all(folder_);
  }

  debugging_events& make(const std::string& debug_flags = "(debug_flags)") {
    std::ofstream(file("test.rid")) << "(rti (version " << rti_release
                                    << ") (federation_parameters) (federate_parameters " << debug_flags << "))";
    setenv("RTI_RID_FILE", file("test.rid").c_str(), 1);
    testing::internal::CaptureStderr();
    rid_ = std::make_unique<RID>();
    registry_ = std::make_unique<debugging_events>(*rid_, [this] { return now_; });
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");  // the RID was accepted whole
    return *registry_;
  }
  std::string file(const std::string& name) const { return folder_ + "/" + name; }
  static std::string contents(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::string folder_, saved_;
  std::unique_ptr<RID> rid_;
  std::unique_ptr<debugging_events> registry_;
  int64_t now_ = 1796631585;
};

TEST_F(DebuggingEventsTest, StreamStampsOncePerSecondAtLineStarts) {
  debugging_events& events = make();
  events.register_event("time", "time management");
  dstream& time = events.stream("time");
  time << "dropped while off, and the line is left open";
  std::ostringstream out;
  CaptureStdout();
  events.turn_on("time", &out);
  GetCapturedStdout();

  time << " tail\nfirst " << 1 << "\nsecond\n";
  now_ += 1;
  time << "third, ";  // the stamp goes before a line, never inside it
  now_ += 1;
  events.set_federation_name("Harbour");
  time << "still third\nfourth\n";
  events.set_federation_name(nullptr);
  EXPECT_EQ(out.str(), " tail\n" + unjoined + "time: " + stamp + "first 1\nsecond\n" + unjoined +
                           "time: Mon Dec  7 08:19:46 2026 GMT\nthird, still third\n" +
                           "---- <Harbour> time: Mon Dec  7 08:19:47 2026 GMT\nfourth\n");
}

TEST_F(DebuggingEventsTest, SwitchingWalksSubEventsFirstAndReportsChanges) {
  debugging_events& events = make();
  for (const char* name : {"tick", "join"}) events.register_event(name, "api");
  events.register_event("all_apis", "api", {"tick", "join"});
  events.register_event("loop", "", {"loop", "all_apis"});  // a group naming itself still ends
  std::ostringstream first, second;

  CaptureStdout();
  events.turn_on("join", &first);
  events.turn_on("loop", &second);
  events.stream("join") << "x\n";
  events.turn_off("tick");
  events.toggle("all_apis", nullptr);
  EXPECT_EQ(GetCapturedStdout(),
            "DEBUG EVENT join is now ON\n"
            "DEBUG EVENT tick is now ON\nDEBUG EVENT all_apis is now ON\nDEBUG EVENT loop is now ON\n"
            "DEBUG EVENT tick is now OFF\n"
            "DEBUG EVENT join is now OFF\nDEBUG EVENT all_apis is now OFF\n");
  EXPECT_EQ(first.str(), "");  // an event already on still moves to the new target
  EXPECT_EQ(second.str(), unjoined + "join: " + stamp + "x\n");

  // Unknown and duplicate names change nothing; an unknown name's stream swallows its text.
  testing::internal::CaptureStderr();
  events.register_event("tick", "again", {"join"});
  dstream& stray = events.stream("nonesuch");
  CaptureStdout();
  events.all_on(nullptr);
  stray << "never shown\n";
  EXPECT_EQ(GetCapturedStdout().find("never shown"), std::string::npos);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "debugging_events: attempted to register duplicate event tick\n"
            "debugging_events: could not find event nonesuch\n");
  EXPECT_EQ(events.description("tick"), "api");
  EXPECT_TRUE(events.sub_events("tick").empty());
}

TEST_F(DebuggingEventsTest, DebugFlagsSwitchEventsOnAtRegistration) {
  const std::string log = file("updates.log");
  debugging_events& events = make("(debug_flags (time \"-\") (updates \"" + log + "\") (objects 3) (ownership))");
  CaptureStdout();
  for (const char* name : {"time", "updates", "objects", "ownership", "federation"})
    events.register_event(name, "");
  events.stream("time") << "to the terminal\n";
  EXPECT_EQ(GetCapturedStdout(), "DEBUG EVENT time is now ON\nDEBUG EVENT updates is now ON\n" + unjoined +
                                     "time: " + stamp + "to the terminal\n");
  for (const char* name : {"objects", "ownership", "federation"}) EXPECT_FALSE(events.is_on(name)) << name;
  events.stream("updates") << "O>> update" << std::endl;
  EXPECT_EQ(contents(log), unjoined + "updates: " + stamp + "O>> update\n");
}

TEST_F(DebuggingEventsTest, LogFileStaysOpenWhileAnyEventWritesToIt) {
  debugging_events& events = make();
  for (const char* name : {"time", "updates", "reflectAttributeValues"}) events.register_event(name, "");
  const std::string log = file("shared.log");
  CaptureStdout();
  events.console_command({"time", "on", log});
  events.console_command({"updates", "on", log});
  events.stream("time") << "t\n";
  events.stream("updates") << "u\n";
  events.console_command({"time", "off"});
  EXPECT_EQ(events.open_log_files(), 1u);
  events.console_command({"updates", "on", "-"});
  EXPECT_EQ(events.open_log_files(), 0u);
  EXPECT_EQ(contents(log), unjoined + "time: " + stamp + "t\n" + unjoined + "updates: " + stamp + "u\n");

  // Unregistering lets go of the file too; the name can be registered again, off.
  events.console_command({"reflectAttributeValues", "on", file("cb.log")});
  events.unregister_event("reflectAttributeValues");
  EXPECT_EQ(events.open_log_files(), 0u);
  events.register_event("reflectAttributeValues", "");
  EXPECT_FALSE(events.is_on("reflectAttributeValues"));

  // A file that cannot be opened loses the output quietly.
  events.console_command({"time", "on", folder_ + "/no/such/dir.log"});
  events.stream("time") << "lost\n";
  EXPECT_EQ(GetCapturedStdout().find("lost"), std::string::npos);
}

TEST_F(DebuggingEventsTest, ConsoleCommandForms) {
  debugging_events& events = make();
  for (const char* name : {"tick", "join", "updates"}) events.register_event(name, "");
  events.register_event("all_apis", "", {"tick", "join"});
  CaptureStdout();

  EXPECT_TRUE(events.console_command({"updates"}));
  EXPECT_TRUE(events.is_on("updates"));
  EXPECT_TRUE(events.console_command({"updates"}));  // toggled back off
  EXPECT_FALSE(events.is_on("updates"));
  EXPECT_TRUE(events.console_command({"all_apis", "join", "on"}));  // the sub-event alone
  EXPECT_TRUE(events.is_on("join") && !events.is_on("all_apis"));
  EXPECT_TRUE(events.console_command({"all"}));
  EXPECT_TRUE(events.is_on("tick") && events.is_on("updates"));
  EXPECT_TRUE(events.console_command({"all", "off"}));
  EXPECT_FALSE(events.is_on("tick"));
  EXPECT_TRUE(events.console_command({"all", "toggle"}));
  EXPECT_TRUE(events.is_on("tick"));
  EXPECT_TRUE(events.console_command({"clear"}));
  EXPECT_FALSE(events.is_on("updates"));
  for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
           {}, {"clear", "now"}, {"updates", "maybe"}, {"updates", "on", "a.log", "extra"}})
    EXPECT_FALSE(events.console_command(bad));
  GetCapturedStdout();

  EXPECT_EQ(events.event_names(), (std::vector<std::string>{"all_apis", "join", "tick", "updates"}));
  EXPECT_EQ(events.sub_events("all_apis"), (std::vector<std::string>{"tick", "join"}));
}

}  // namespace
