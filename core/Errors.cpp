#include "core/Errors.h"

#include <cstring>

namespace deckhand {

std::string ErrorBoxText(const std::string& message) {
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') {
    return message + ".";
  }
  return message;
}

std::string SystemErrorText(int errorNumber) {
  std::string text = std::strerror(errorNumber);
  while (!text.empty()) {
    const char last = text.back();
    if (last == ' ' || last == '\t' || last == '\r' || last == '\n' || last == '.') {
      text.pop_back();
    } else {
      break;
    }
  }
  return text;
}

std::string CannotCreateFileMessage(const std::string& path, const std::string& reason) {
  return "Cannot create file \"" + path + "\". " + reason;
}

std::string CannotCreateFileMessage(const std::string& path, int errorNumber) {
  return CannotCreateFileMessage(path, SystemErrorText(errorNumber));
}

std::string CannotOpenFileMessage(const std::string& path, const std::string& reason) {
  return "Cannot open file \"" + path + "\". " + reason;
}

std::string CannotOpenFileMessage(const std::string& path, int errorNumber) {
  return CannotOpenFileMessage(path, SystemErrorText(errorNumber));
}

}  // namespace deckhand
