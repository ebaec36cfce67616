// Error types shared by every layer of Deckhand.
//
// Commands never catch errors themselves: an error travels up to the command
// guard of the main window, which drops a cancellation silently and shows any
// other error in the error box. Messages are UTF-8.
#pragma once

#include <stdexcept>
#include <string>

namespace deckhand {

// The message of the EInvalidOperation raised when a text is longer than a
// buffer can hold, whichever buffer or file raises it.
inline constexpr char kTextExceedsCapacityMessage[] = "Text exceeds memo capacity";

// Base of every error the program reports to the user.
class EDeckhandError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The silent abort: the user cancelled; nothing is reported.
class EAbort : public EDeckhandError {
 public:
  EAbort() : EDeckhandError("Operation aborted") {}
};

// An operation that cannot be carried out in the current state
// (kTextExceedsCapacityMessage, a gauge value out of range, ...).
class EInvalidOperation : public EDeckhandError {
 public:
  using EDeckhandError::EDeckhandError;
};

// A file cannot be created or emptied for writing.
class EFCreateError : public EDeckhandError {
 public:
  using EDeckhandError::EDeckhandError;
};

// A file cannot be opened for reading.
class EFOpenError : public EDeckhandError {
 public:
  using EDeckhandError::EDeckhandError;
};

// Fewer bytes could be written (or read) than asked for.
class EWriteError : public EDeckhandError {
 public:
  EWriteError() : EDeckhandError("Stream write error") {}
  using EDeckhandError::EDeckhandError;
};

// A failure of the printer or of a print job.
class EPrinter : public EDeckhandError {
 public:
  using EDeckhandError::EDeckhandError;
};

// The text of the error box for a message: a full stop is appended when the
// message is not empty and its last byte has a higher code than '.', so
// "abc" becomes "abc." while "abc.", "abc!" and "f(x)" stay as they are.
std::string ErrorBoxText(const std::string& message);

// The platform's description of an errno value, with trailing blanks, line
// breaks and full stops removed, ready to be embedded into a message.
std::string SystemErrorText(int errorNumber);

// "Cannot create file "<path>". <reason>" and "Cannot open file ..." with the
// reason taken from errorNumber as SystemErrorText gives it, or given as it is
// (for failures without an errno of their own).
std::string CannotCreateFileMessage(const std::string& path, int errorNumber);
std::string CannotCreateFileMessage(const std::string& path, const std::string& reason);
std::string CannotOpenFileMessage(const std::string& path, int errorNumber);
std::string CannotOpenFileMessage(const std::string& path, const std::string& reason);

}  // namespace deckhand
