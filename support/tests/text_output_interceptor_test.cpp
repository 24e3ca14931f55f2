#include "text_output_interceptor.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "manual_clock.h"

using namespace brindle;

namespace {

// Points the process's standard output and error at temporary files for the life of a test,
// standing in for the console; on failure their contents are copied back to the console.
class redirected_std_streams {
public:
  redirected_std_streams() {
    std::fflush(stdout);
    std::fflush(stderr);
    for (int i = 0; i < 2; ++i) {
      std::string path = (std::filesystem::temp_directory_path() / "interceptor_XXXXXX").string();
      int fd = mkstemp(path.data());
      paths_[i] = path;
      saved_[i] = dup(i + 1);
      dup2(fd, i + 1);
      close(fd);
    }
  }

  ~redirected_std_streams() {
    std::fflush(stdout);
    std::fflush(stderr);
    for (int i = 0; i < 2; ++i) {
      dup2(saved_[i], i + 1);
      close(saved_[i]);
      if (testing::Test::HasFailure()) {
        std::string text = contents(i + 1);
        (void)!write(i + 1, text.data(), text.size());
      }
      unlink(paths_[i].c_str());
    }
  }

  std::string contents(int fd) const {
    std::ifstream file(paths_[fd - 1], std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
  }

  // True when fd writes straight into the file standing in for its stream.
  bool is_direct(int fd) const {
    struct stat open_file, named_file;
    return fstat(fd, &open_file) == 0 && stat(paths_[fd - 1].c_str(), &named_file) == 0 &&
           open_file.st_dev == named_file.st_dev && open_file.st_ino == named_file.st_ino;
  }

private:
  std::string paths_[2];
  int saved_[2];
};

class recording_client : public intercepted_text_client {
public:
  void text(size_t length, const char* bytes) override {
    received.append(bytes, length);
    blocks.push_back(length);
    if (action) action();
  }

  std::string received;
  std::vector<size_t> blocks;
  std::function<void()> action;
};

void write_all(int fd, const std::string& text) {
  for (size_t done = 0; done < text.size();) {
    ssize_t wrote = write(fd, text.data() + done, std::min<size_t>(1000, text.size() - done));
    ASSERT_GT(wrote, 0);
    done += size_t(wrote);
  }
}

std::string numbered_lines(const char* tag, int count) {
  std::string text;
  char line[32];
  for (int i = 0; i < count; ++i) text.append(line, size_t(snprintf(line, sizeof line, "%s %07d\n", tag, i)));
  return text;
}

class InterceptorTest : public ::testing::Test {
protected:
  // One run of the interceptors' timers.
  void run() {
    clock.advance(67);
    sched.tick(0, 5000);
  }

  redirected_std_streams console;
  manual_clock clock;
  manual_scheduler sched{clock};
  text_output_interceptor interceptor{sched};
  recording_client client;
};

TEST_F(InterceptorTest, PrintedLinesReachTheConsoleUnchangedAndTheClientWithCarriageReturns) {
  interceptor.register_client(&client);
  EXPECT_FALSE(console.is_direct(1));
  std::printf("one\ntwo\n");
  std::fflush(stdout);
  run();
  EXPECT_EQ(client.received, "one\n\rtwo\n\r");
  EXPECT_EQ(console.contents(1), "one\ntwo\n");

  client.received.clear();
  std::fprintf(stderr, "warning\n");
  std::printf("held back by stdio\n");  // stdout into a pipe is fully buffered
  run();
  EXPECT_NE(client.received.find("warning\n\r"), std::string::npos);
  EXPECT_NE(client.received.find("held back by stdio\n\r"), std::string::npos);
  EXPECT_EQ(console.contents(2), "warning\n");
  EXPECT_EQ(console.contents(1), "one\ntwo\nheld back by stdio\n");
}

TEST_F(InterceptorTest, OutputIsDirectWithoutClientsAndAgainWhenTheLastOneLeaves) {
  write_all(1, "before\n");
  EXPECT_EQ(console.contents(1), "before\n");
  EXPECT_TRUE(console.is_direct(1));
  recording_client second;
  interceptor.register_client(&client);
  interceptor.register_client(&second);
  interceptor.unregister_client(&client);
  EXPECT_FALSE(console.is_direct(1));
  interceptor.unregister_client(&second);
  EXPECT_TRUE(console.is_direct(1));
  EXPECT_TRUE(console.is_direct(2));
  write_all(1, "after\n");
  EXPECT_EQ(console.contents(1), "before\nafter\n");
  run();
  EXPECT_EQ(client.received, "");
  EXPECT_EQ(second.received, "");
  EXPECT_FALSE(interceptor.is_scheduled());
}

TEST_F(InterceptorTest, ClientsGetTextInBlocksOfAtMost256CapturedBytes) {
  interceptor.register_client(&client);
  write_all(1, std::string(600, 'a'));
  run();
  EXPECT_EQ(client.blocks, (std::vector<size_t>{256, 256, 88}));
  EXPECT_EQ(console.contents(1), std::string(600, 'a'));
}

TEST_F(InterceptorTest, FloodIsNeitherLostNorReorderedOnTheConsoleAndBoundedForClients) {
  interceptor.register_client(&client);
  // Far more than a pipe holds, written without a single timer run in between, while another
  // thread floods standard error.
  const std::string out = numbered_lines("out", 300000);
  const std::string err = numbered_lines("err", 80000);
  std::thread other([&] { write_all(2, err); });
  write_all(1, out);
  other.join();
  run();
  interceptor.unregister_client(&client);
  EXPECT_TRUE(console.contents(1) == out);
  EXPECT_TRUE(console.contents(2) == err);
  EXPECT_LT(client.received.size(), size_t(3) << 20);
  EXPECT_NE(client.received.find("bytes of output not shown]"), std::string::npos);
}

TEST_F(InterceptorTest, RestoringPassesOnWhatIsStillInThePipesAndInStdio) {
  interceptor.register_client(&client);
  write_all(1, "in the pipe\n");
  std::printf("in stdio");
  interceptor.unregister_client(&client);
  EXPECT_EQ(console.contents(1), "in the pipe\nin stdio");
  EXPECT_EQ(client.received, "");
}

TEST_F(InterceptorTest, InterceptorsShareTheStreamsAndLeaveInAnyOrder) {
  for (bool first_leaves_first : {true, false}) {
    text_output_interceptor other(sched);
    recording_client other_client;
    interceptor.register_client(&client);
    other.register_client(&other_client);
    write_all(1, "both\n");
    run();
    EXPECT_EQ(client.received, "both\n\r");
    EXPECT_EQ(other_client.received, "both\n\r");

    text_output_interceptor& leaving = first_leaves_first ? interceptor : other;
    text_output_interceptor& staying = first_leaves_first ? other : interceptor;
    recording_client& leaving_client = first_leaves_first ? client : other_client;
    recording_client& staying_client = first_leaves_first ? other_client : client;
    leaving.unregister_client(&leaving_client);
    EXPECT_FALSE(console.is_direct(1));
    write_all(1, "one\n");
    run();
    EXPECT_EQ(leaving_client.received, "both\n\r");
    EXPECT_EQ(staying_client.received, "both\n\rone\n\r");
    staying.unregister_client(&staying_client);
    EXPECT_TRUE(console.is_direct(1));
    EXPECT_TRUE(console.is_direct(2));
    client.received.clear();
  }
  EXPECT_EQ(console.contents(1), "both\none\nboth\none\n");
}

TEST_F(InterceptorTest, DestroyingAnInterceptorWithClientsRestoresTheStreams) {
  auto owned = std::make_unique<text_output_interceptor>(sched);
  owned->register_client(&client);
  write_all(2, "last words\n");
  owned.reset();
  EXPECT_TRUE(console.is_direct(1));
  EXPECT_TRUE(console.is_direct(2));
  EXPECT_EQ(console.contents(2), "last words\n");
  run();
}

TEST_F(InterceptorTest, StreamWithoutDescriptorIsCapturedAndClosedAgain) {
  close(2);
  interceptor.register_client(&client);
  EXPECT_EQ(write(2, "x\n", 2), 2);
  run();
  EXPECT_EQ(client.received, "x\n\r");
  interceptor.unregister_client(&client);
  EXPECT_EQ(fcntl(2, F_GETFD), -1);
  EXPECT_TRUE(console.is_direct(1));
}

TEST_F(InterceptorTest, ClientMayUnregisterItselfWhileTakingText) {
  recording_client second;
  client.action = [&] { interceptor.unregister_client(&client); };
  interceptor.register_client(&client);
  interceptor.register_client(&second);
  write_all(1, "first\n");
  run();
  write_all(1, "second\n");
  run();
  EXPECT_EQ(client.received, "first\n\r");
  EXPECT_EQ(second.received, "first\n\rsecond\n\r");
}

}  // namespace
