#pragma once

#include <string>
#include <string_view>

namespace aurex {

// What code outside the window asks of it: modal message boxes and the status line. The Qt
// window, the console front end and the tests' recording fake each implement it.

inline constexpr std::string_view kApplicationTitle = "Aurex Code Updater";

enum class MessageIcon { Error, Information, Question };
enum class MessageButtons { Ok, YesNo };
enum class MessageAnswer { Ok, Yes, No };

struct MessageRequest {
  std::string caption;
  MessageIcon icon = MessageIcon::Error;
  std::string text;
  MessageButtons buttons = MessageButtons::Ok;

  friend bool operator==(const MessageRequest&, const MessageRequest&) = default;
};

class WindowRequests {
 public:
  virtual ~WindowRequests() = default;
  // Shows a modal box owned by the main window and returns how the user closed it.
  virtual MessageAnswer ShowMessage(const MessageRequest& request) = 0;
  // Sets the text of the status line.
  virtual void ShowStatus(const std::string& text) = 0;
};

}  // namespace aurex
