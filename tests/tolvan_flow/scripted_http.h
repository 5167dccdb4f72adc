// A scripted HTTP client for the update run: each request is answered from a table the test
// fills, without any server, socket or TLS, and every request is recorded. Lets a test say
// plainly "this HEAD answers 503", "this body breaks off after 1000 bytes" or "the user
// closes the window in the middle of this body".
#ifndef TESTS_TOLVAN_FLOW_SCRIPTED_HTTP_H_
#define TESTS_TOLVAN_FLOW_SCRIPTED_HTTP_H_

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tolvan/http_client.h"

namespace tolvan_test {

// The base address the scripted server answers for.
inline constexpr char kScriptedBase[] = "https://update.test/data/QX/";

// The answers of the scripted server and the requests it received; shared by the clients it
// makes (one per flow).
class HttpScript {
 public:
  struct Answer {
    bool answered = true;         // false: no HTTP answer at all (the connection failed)
    int32_t status = 200;
    std::string body{};           // GET: the body of a 2xx answer
    int64_t last_modified = -1;   // seconds since 1970 UTC; -1: no Last-Modified
    size_t cut_after = SIZE_MAX;  // GET: the connection breaks after this many body bytes
    std::function<void()> during_body{};  // GET: runs once the first part of the body is written
  };

  // Answers requests `method` ("HEAD" or "GET") for kScriptedBase + `name` with `answers` in
  // turn, the last one for every later request. A name without answers gets a 404.
  void Set(const std::string& method, const std::string& name, std::deque<Answer> answers) {
    std::lock_guard<std::mutex> lock(mutex_);
    answers_[method + " " + name] = std::move(answers);
  }
  void Set(const std::string& method, const std::string& name, Answer answer) {
    Set(method, name, std::deque<Answer>{std::move(answer)});
  }

  // Forgets the answers and the requests, for the next window.
  void Reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    answers_.clear();
    requests_.clear();
  }

  // "HEAD UList", "GET MST.FDB"... in the order received (names relative to kScriptedBase).
  std::vector<std::string> Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }

  // The HttpClientFactory of an UpdateContext.
  tolvan::HttpClientFactory Factory();

 private:
  friend class ScriptedHttp;
  Answer Next(const std::string& method, const std::string& url) {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::string name =
        url.rfind(kScriptedBase, 0) == 0 ? url.substr(std::string(kScriptedBase).size()) : url;
    requests_.push_back(method + " " + name);
    auto it = answers_.find(method + " " + name);
    if (it == answers_.end() || it->second.empty()) return Answer{.status = 404};
    Answer answer = it->second.front();
    if (it->second.size() > 1) it->second.pop_front();
    return answer;
  }

  mutable std::mutex mutex_;
  std::map<std::string, std::deque<Answer>> answers_;
  std::vector<std::string> requests_;
};

class ScriptedHttp final : public tolvan::HttpClient {
 public:
  ScriptedHttp(HttpScript& script, tolvan::HttpEvents& events) : script_(script), events_(events) {}

  tolvan::HttpReply Head(const std::string& url) override {
    return Reply(script_.Next("HEAD", url));
  }

  tolvan::HttpReply Get(const std::string& url, tolvan::BodySink& sink) override {
    const HttpScript::Answer answer = script_.Next("GET", url);
    tolvan::HttpReply reply = Reply(answer);
    if (!reply.ok) return reply;
    reply.ok = false;
    if (!sink.Begin(static_cast<int64_t>(answer.body.size()))) {
      reply.sink_failed = true;
      return reply;
    }
    // The body in a few parts, as a network delivers it.
    const size_t end = std::min(answer.body.size(), answer.cut_after);
    constexpr size_t kPart = 4096;
    for (size_t at = 0; at < end; at += kPart) {
      if (!sink.Write(answer.body.data() + at, std::min(kPart, end - at))) {
        reply.sink_failed = true;
        return reply;
      }
      if (at == 0 && answer.during_body) answer.during_body();
      if (cancelled_.load()) {
        reply.cancelled = true;
        reply.error = "cancelled";
        return reply;
      }
    }
    if (end < answer.body.size()) {
      reply.error = "通信エラー: 接続が切れました";
      connected_ = false;
      return reply;
    }
    reply.ok = true;
    return reply;
  }

  void Disconnect() override {
    if (!connected_) return;
    connected_ = false;
    events_.IdHTTP1Disconnected();
  }

  void Cancel() override { cancelled_.store(true); }

 private:
  tolvan::HttpReply Reply(const HttpScript::Answer& answer) {
    tolvan::HttpReply reply;
    if (cancelled_.load()) {
      reply.cancelled = true;
      reply.error = "cancelled";
      return reply;
    }
    if (!answer.answered) {
      reply.error = "通信エラー: 接続できません";
      return reply;
    }
    connected_ = true;
    reply.answered = true;
    reply.status = answer.status;
    reply.status_line = "HTTP/1.1 " + std::to_string(answer.status);
    reply.ok = answer.status >= 200 && answer.status <= 299;
    if (!reply.ok) reply.error = reply.status_line;
    reply.last_modified = answer.last_modified;
    return reply;
  }

  HttpScript& script_;
  tolvan::HttpEvents& events_;
  std::atomic<bool> cancelled_{false};
  bool connected_ = false;
};

inline tolvan::HttpClientFactory HttpScript::Factory() {
  return [this](tolvan::HttpEvents& events, const tolvan::HttpSettings&) {
    return std::make_unique<ScriptedHttp>(*this, events);
  };
}

}  // namespace tolvan_test

#endif  // TESTS_TOLVAN_FLOW_SCRIPTED_HTTP_H_
