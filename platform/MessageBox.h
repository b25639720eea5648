// The one function every area uses to show a message box. The program installs
// a Qt sink; without one the text goes to standard error. Tests install a
// recorder to assert what the user was shown.
//
// Threads: ShowMessage is meant for the UI thread; the sink and the recorder are
// guarded by a lock so a call from another thread is still safe.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace platform {

enum class MsgIcon { None, Information, Warning, Error, Question };
enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MsgResult { Ok, Cancel, Yes, No };

// Captions the player uses for its boxes.
inline constexpr const char* kCaptionConfirm = "Confirm";
inline constexpr const char* kCaptionWarning = "Warning";
inline constexpr const char* kCaptionError = "Error";

struct MessageRequest {
  std::string text;
  std::string caption;
  MsgIcon icon = MsgIcon::None;
  MsgButtons buttons = MsgButtons::Ok;
};

using MessageSink = std::function<MsgResult(const MessageRequest&)>;

MsgResult ShowMessage(const std::string& text, const std::string& caption, MsgIcon icon = MsgIcon::None,
                      MsgButtons buttons = MsgButtons::Ok);

// Installs the sink; returns the previous one (an empty function is the stderr sink).
MessageSink SetMessageSink(MessageSink sink);

// Records every message while it exists and answers with a fixed result
// (the first button unless SetAnswer was called), restoring the previous sink when destroyed.
class MessageRecorder {
 public:
  MessageRecorder();
  ~MessageRecorder();
  MessageRecorder(const MessageRecorder&) = delete;
  MessageRecorder& operator=(const MessageRecorder&) = delete;

  std::vector<MessageRequest> Messages() const;
  void SetAnswer(MsgResult answer);
  void Clear();

 private:
  struct State;
  State* state_;
  MessageSink previous_;
};

}  // namespace platform
