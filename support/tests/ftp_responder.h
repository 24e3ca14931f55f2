// A scripted FTP server on 127.0.0.1 for tests: it answers USER, PASS, PASV and RETR as a plain
// server would, unless the test replaces a reply, serves one document over the passive data
// connection, and records the commands it received.
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "loopback_server.h"

struct ftp_script {
  std::vector<std::string> banner{"220 ready\r\n"};  // sent piece by piece, with a pause between
  std::map<std::string, std::string> replies;  // command word -> reply sent instead of the usual
  std::string pasv_address = "127,0,0,1";      // the address the PASV reply names
  std::string document;
};

class ftp_responder {
public:
  explicit ftp_responder(ftp_script script)
      : script_(std::move(script)), control_([this](int connection) { converse(connection); }) {}

  uint16_t port() const { return control_.port(); }

  // The commands received, without their line ends; waits until the conversation is over.
  const std::vector<std::string>& commands() {
    control_.stop();
    return commands_;
  }

private:
  void converse(int connection) {
    for (const std::string& piece : script_.banner) {
      if (&piece != &script_.banner.front()) std::this_thread::sleep_for(std::chrono::milliseconds(50));
      if (!send_all(connection, piece)) return;
    }
    std::unique_ptr<loopback_server> data;
    for (;;) {
      std::string line = receive_until(connection, "\r\n");
      if (line.size() < 2 || !line.ends_with("\r\n")) return;
      line.resize(line.size() - 2);
      commands_.push_back(line);
      const std::string word = line.substr(0, line.find(' '));
      if (word == "PASV" && !data)
        data = std::make_unique<loopback_server>([this](int d) { send_all(d, script_.document); });
      const auto replaced = script_.replies.find(word);
      const std::string reply = replaced != script_.replies.end() ? replaced->second : usual_reply(word, data.get());
      if (!send_all(connection, reply)) return;
    }
  }

  std::string usual_reply(const std::string& word, const loopback_server* data) const {
    if (word == "USER") return "331 password please\r\n";
    if (word == "PASS") return "230 logged in\r\n";
    if (word == "PASV" && data) {
      const uint16_t p = data->port();
      return "227 Entering Passive Mode (" + script_.pasv_address + "," + std::to_string(p / 256) + "," +
             std::to_string(p % 256) + ")\r\n";
    }
    if (word == "RETR") return "150 opening data connection\r\n";
    return "502 not implemented\r\n";
  }

  ftp_script script_;
  std::vector<std::string> commands_;
  loopback_server control_;  // last: its thread uses the members above
};
