#include "MessageBox.h"

#include <cstdio>
#include <memory>
#include <mutex>

namespace platform {
namespace {

std::mutex g_mutex;
MessageSink g_sink;  // guarded by g_mutex

MsgResult FirstButton(MsgButtons b) {
  switch (b) {
    case MsgButtons::YesNo:
    case MsgButtons::YesNoCancel:
      return MsgResult::Yes;
    default:
      return MsgResult::Ok;
  }
}

}  // namespace

MsgResult ShowMessage(const std::string& text, const std::string& caption, MsgIcon icon, MsgButtons buttons) {
  MessageSink sink;
  {
    std::lock_guard lock(g_mutex);
    sink = g_sink;
  }
  MessageRequest req{text, caption, icon, buttons};
  if (sink) return sink(req);
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  return FirstButton(buttons);
}

MessageSink SetMessageSink(MessageSink sink) {
  std::lock_guard lock(g_mutex);
  MessageSink old = std::move(g_sink);
  g_sink = std::move(sink);
  return old;
}

struct MessageRecorder::State {
  mutable std::mutex mutex;
  std::vector<MessageRequest> messages;
  MsgResult answer = MsgResult::Ok;
  bool answerSet = false;
};

MessageRecorder::MessageRecorder() : state_(new State) {
  State* st = state_;
  previous_ = SetMessageSink([st](const MessageRequest& req) {
    std::lock_guard lock(st->mutex);
    st->messages.push_back(req);
    return st->answerSet ? st->answer : FirstButton(req.buttons);
  });
}

MessageRecorder::~MessageRecorder() {
  SetMessageSink(std::move(previous_));
  delete state_;
}

std::vector<MessageRequest> MessageRecorder::Messages() const {
  std::lock_guard lock(state_->mutex);
  return state_->messages;
}

void MessageRecorder::SetAnswer(MsgResult answer) {
  std::lock_guard lock(state_->mutex);
  state_->answer = answer;
  state_->answerSet = true;
}

void MessageRecorder::Clear() {
  std::lock_guard lock(state_->mutex);
  state_->messages.clear();
}

}  // namespace platform
