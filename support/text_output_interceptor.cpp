#include "text_output_interceptor.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#include "diagnostic.h"

namespace brindle {

namespace {

const char* const diagnostic_tag = "text_output_interceptor";
constexpr uint64_t period_ms = 67;
// Clients get the text in blocks of at most this many captured bytes.
constexpr size_t client_block = 256;
// Captured text kept for one interceptor between two of its runs; beyond it the newest text is
// not kept for the clients (it still reaches the original destinations) and a note says so.
constexpr size_t max_pending = size_t(1) << 20;
constexpr int pipe_bytes = 262144;
constexpr size_t read_chunk = 65536;

// One diverted standard stream: the pipe that takes its place and its original descriptor.
struct stream_pipe {
  int target;      // 1 or 2
  int read_end = -1;
  int write_end = -1;
  int saved = -1;  // duplicate of the original descriptor, -1 when the stream had none
  bool readable = false;  // false after end of file or a read failure
  bool read_reported = false;
  bool write_reported = false;
};

// Moves a new descriptor above the standard ones, which may be closed and so handed out.
int above_standard(int fd) {
  if (fd < 0 || fd > 2) return fd;
  int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
  close(fd);
  return moved;
}

void close_fd(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

// Output problems are written straight to the original standard error: through the diverted
// stream they could come back to the relay that reports them.
void report(const stream_pipe& err, const char* what, int error) {
  if (err.saved >= 0) dprintf(err.saved, "%s: %s: %s\n", diagnostic_tag, what, std::strerror(error));
}

// The one diversion of the process's standard streams, shared by every interceptor that has
// clients. A relay thread empties the pipes as soon as text arrives, so a printing thread
// never waits long on a full pipe and never loses text, even when it is the thread that runs
// the interceptors; each interceptor collects its copy from its own timer.
class output_diversion {
public:
  static output_diversion& instance();

  void attach(const void* owner);
  void detach(const void* owner);
  // Empties the pipes and hands over the text captured for owner since the last collect;
  // dropped tells how much was not kept.
  std::string collect(const void* owner, size_t& dropped);
  void write_undiverted(int target, const char* bytes, size_t length);

private:
  struct sink {
    const void* owner;
    std::string pending;
    size_t dropped = 0;
  };

  bool divert();
  bool open_pipes();
  void restore();
  void relay();
  void drain();
  void drain_stream(stream_pipe& stream);
  void pass_on(stream_pipe& stream, const char* bytes, size_t length);
  void close_all();

  std::mutex config_mutex_;  // attach and detach: diverting and restoring
  std::mutex data_mutex_;    // the read ends, the saved descriptors, the sinks
  bool active_ = false;
  std::vector<sink> sinks_;
  stream_pipe streams_[2] = {{2}, {1}};  // standard error is emptied first
  stream_pipe& err_ = streams_[0];
  int wake_[2] = {-1, -1};
  std::thread relay_;
  std::vector<char> buffer_ = std::vector<char>(read_chunk);
};

output_diversion& output_diversion::instance() {
  // Never destroyed, so interceptors may still detach during the process's exit; the streams
  // are restored (and the pipes emptied) before stdio's own final flush.
  static output_diversion* diversion = [] {
    auto* made = new output_diversion;
    std::atexit([] {
      output_diversion& d = *diversion;
      std::lock_guard<std::mutex> config(d.config_mutex_);
      if (d.active_) d.restore();
      std::lock_guard<std::mutex> data(d.data_mutex_);
      d.sinks_.clear();
    });
    return made;
  }();
  return *diversion;
}

void output_diversion::attach(const void* owner) {
  std::lock_guard<std::mutex> config(config_mutex_);
  if (sinks_.empty()) active_ = divert();
  std::lock_guard<std::mutex> data(data_mutex_);
  sinks_.push_back(sink{owner, {}, 0});
}

void output_diversion::detach(const void* owner) {
  std::lock_guard<std::mutex> config(config_mutex_);
  {
    std::lock_guard<std::mutex> data(data_mutex_);
    auto found = std::find_if(sinks_.begin(), sinks_.end(),
                              [owner](const sink& s) { return s.owner == owner; });
    if (found == sinks_.end()) return;
    sinks_.erase(found);
    if (!sinks_.empty()) return;
  }
  if (active_) restore();
  active_ = false;
}

std::string output_diversion::collect(const void* owner, size_t& dropped) {
  std::lock_guard<std::mutex> data(data_mutex_);
  drain();
  std::string captured;
  dropped = 0;
  for (sink& s : sinks_) {
    if (s.owner != owner) continue;
    captured.swap(s.pending);
    std::swap(dropped, s.dropped);
  }
  return captured;
}

void output_diversion::write_undiverted(int target, const char* bytes, size_t length) {
  std::fflush(target == 1 ? stdout : stderr);
  std::lock_guard<std::mutex> data(data_mutex_);
  drain();
  stream_pipe& stream = streams_[target == 1 ? 1 : 0];
  const int fd = active_ ? stream.saved : target;
  for (size_t done = 0; fd >= 0 && done < length;) {
    const ssize_t wrote = write(fd, bytes + done, length - done);
    if (wrote > 0) {
      done += size_t(wrote);
    } else if (wrote < 0 && errno == EAGAIN) {
      pollfd room{fd, POLLOUT, 0};
      poll(&room, 1, -1);
    } else if (wrote == 0 || errno != EINTR) {
      return;
    }
  }
}

bool output_diversion::divert() {
  std::fflush(stdout);
  std::fflush(stderr);
  if (!open_pipes()) {
    std::perror("vterm_setup_output_pipes: opening pipe");
    close_all();
    return false;
  }
  for (stream_pipe& stream : streams_) {
    stream.saved = fcntl(stream.target, F_DUPFD_CLOEXEC, 3);
    stream.readable = true;
    stream.read_reported = stream.write_reported = false;
    // Larger pipes let bursts pass without the printer waiting for the relay; the system
    // may refuse the size, which only costs some waiting.
    fcntl(stream.write_end, F_SETPIPE_SZ, pipe_bytes);
    // The read ends never block, so the relay and the collectors can empty a pipe and stop.
    // The write ends block: a printer whose pipe is full waits for the relay instead of
    // losing its text.
    fcntl(stream.read_end, F_SETFL, fcntl(stream.read_end, F_GETFL) | O_NONBLOCK);
  }
  try {
    relay_ = std::thread(&output_diversion::relay, this);
  } catch (const std::system_error& e) {
    diagnostic(diagnostic_tag, "no relay thread: %s", e.what());
    close_all();
    return false;
  }
  for (stream_pipe& stream : streams_) dup2(stream.write_end, stream.target);
  std::clearerr(stdout);
  std::clearerr(stderr);
  return true;
}

bool output_diversion::open_pipes() {
  // The first pipe serves standard output, the second standard error; a third wakes the relay.
  int ends[3][2];
  for (auto& pair : ends) pair[0] = pair[1] = -1;
  bool made = pipe2(ends[0], O_CLOEXEC) == 0 && pipe2(ends[1], O_CLOEXEC) == 0 &&
              pipe2(ends[2], O_CLOEXEC | O_NONBLOCK) == 0;
  for (stream_pipe& stream : streams_) {
    int* pair = ends[stream.target == 1 ? 0 : 1];
    stream.read_end = above_standard(pair[0]);
    stream.write_end = above_standard(pair[1]);
    made = made && stream.read_end >= 0 && stream.write_end >= 0;
  }
  wake_[0] = above_standard(ends[2][0]);
  wake_[1] = above_standard(ends[2][1]);
  return made && wake_[0] >= 0 && wake_[1] >= 0;
}

void output_diversion::restore() {
  // Text that stdio still holds goes through the pipes, ahead of anything printed later.
  std::fflush(stdout);
  std::fflush(stderr);
  for (stream_pipe& stream : streams_) {
    if (stream.saved >= 0)
      dup2(stream.saved, stream.target);
    else
      close(stream.target);
  }
  char stop = 0;
  while (write(wake_[1], &stop, 1) < 0 && errno == EINTR) {
  }
  relay_.join();
  {
    std::lock_guard<std::mutex> data(data_mutex_);
    drain();
  }
  close_all();
}

void output_diversion::close_all() {
  for (stream_pipe& stream : streams_) {
    close_fd(stream.read_end);
    close_fd(stream.write_end);
    close_fd(stream.saved);
    stream.readable = false;
  }
  close_fd(wake_[0]);
  close_fd(wake_[1]);
}

void output_diversion::relay() {
  for (;;) {
    pollfd wanted[3];
    {
      std::lock_guard<std::mutex> data(data_mutex_);
      for (int i = 0; i < 2; ++i)
        wanted[i] = pollfd{streams_[i].readable ? streams_[i].read_end : -1, POLLIN, 0};
    }
    wanted[2] = pollfd{wake_[0], POLLIN, 0};
    if (poll(wanted, 3, -1) < 0) {
      if (errno == EINTR) continue;
      report(err_, "poll()", errno);
      return;
    }
    if (wanted[2].revents) return;
    std::lock_guard<std::mutex> data(data_mutex_);
    drain();
  }
}

void output_diversion::drain() {
  for (stream_pipe& stream : streams_) drain_stream(stream);
}

void output_diversion::drain_stream(stream_pipe& stream) {
  while (stream.readable) {
    ssize_t got = read(stream.read_end, buffer_.data(), buffer_.size());
    if (got > 0) {
      pass_on(stream, buffer_.data(), size_t(got));
      continue;
    }
    if (got == 0) {
      stream.readable = false;
      return;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return;
    if (errno != EINVAL && !stream.read_reported) report(err_, "bad read()", errno);
    stream.read_reported = true;
    stream.readable = false;
  }
}

void output_diversion::pass_on(stream_pipe& stream, const char* bytes, size_t length) {
  for (size_t done = 0; stream.saved >= 0 && done < length;) {
    ssize_t wrote = write(stream.saved, bytes + done, length - done);
    if (wrote >= 0) {
      done += size_t(wrote);
      continue;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      // The original destination does not block; wait for room rather than drop text.
      pollfd room{stream.saved, POLLOUT, 0};
      poll(&room, 1, -1);
      continue;
    }
    if (!stream.write_reported) report(err_, "bad write()", errno);
    stream.write_reported = true;
    break;
  }
  for (sink& s : sinks_) {
    size_t kept = std::min(length, max_pending - std::min(max_pending, s.pending.size()));
    s.pending.append(bytes, kept);
    s.dropped += length - kept;
  }
}

}  // namespace

void write_undiverted(int stream, const char* bytes, size_t length) {
  output_diversion::instance().write_undiverted(stream, bytes, length);
}

text_output_interceptor::text_output_interceptor(scheduler& on) : scheduler_(on) {}

text_output_interceptor::~text_output_interceptor() {
  if (clients_.empty()) return;
  cancel();
  output_diversion::instance().detach(this);
}

void text_output_interceptor::register_client(intercepted_text_client* client) {
  if (clients_.empty()) {
    output_diversion::instance().attach(this);
    schedule(scheduler_, period_ms);
  }
  clients_.push_back(client);
}

void text_output_interceptor::unregister_client(intercepted_text_client* client) {
  auto found = std::find(clients_.begin(), clients_.end(), client);
  if (found == clients_.end()) return;
  clients_.erase(found);
  if (!clients_.empty()) return;
  cancel();
  output_diversion::instance().detach(this);
}

void text_output_interceptor::on_timer() { drain(); }

void text_output_interceptor::drain() {
  if (clients_.empty()) return;
  // Standard output into a pipe is fully buffered by stdio; flushing each run keeps what the
  // process prints no more than one period away from the console and the clients.
  std::fflush(stdout);
  std::fflush(stderr);
  size_t dropped = 0;
  std::string captured = output_diversion::instance().collect(this, dropped);
  for (size_t at = 0; at < captured.size(); at += client_block)
    deliver(captured.data() + at, std::min(client_block, captured.size() - at));
  if (dropped == 0) return;
  char note[96];
  int length = std::snprintf(note, sizeof note,
                             "\n[text_output_interceptor: %zu bytes of output not shown]\n", dropped);
  deliver(note, size_t(length));
}

void text_output_interceptor::deliver(const char* bytes, size_t length) {
  // Terminals want a carriage return after each line feed.
  std::string block;
  block.reserve(2 * length);
  for (size_t i = 0; i < length; ++i) {
    block += bytes[i];
    if (bytes[i] == '\n') block += '\r';
  }
  // A client may unregister itself or others from inside text().
  const std::vector<intercepted_text_client*> snapshot = clients_;
  for (intercepted_text_client* client : snapshot) {
    if (std::find(clients_.begin(), clients_.end(), client) == clients_.end()) continue;
    client->text(block.size(), block.data());
  }
}

}  // namespace brindle
