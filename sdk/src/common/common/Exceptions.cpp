#include "camsdk/Exceptions.h"

#include <utility>

namespace CamSdk {

Exception::Exception(std::string message) : message_(std::move(message)) {}

const char* Exception::what() const noexcept { return message_.c_str(); }

void throwException(ExceptionKind kind, const std::string& message) {
  switch (kind) {
    case ExceptionKind::Argument:
      throw ArgumentException(message);
    case ExceptionKind::UnauthorizedAccess:
      throw UnauthorizedAccessException(message);
    case ExceptionKind::IO:
      throw IOException(message);
    case ExceptionKind::InvalidOperation:
      throw InvalidOperationException(message);
    case ExceptionKind::Configuration:
      throw ConfigurationException(message);
    case ExceptionKind::Streaming:
      throw StreamingException(message);
    case ExceptionKind::Timeout:
      throw TimeoutException(message);
  }
  // A value outside the enumeration is the caller's mistake, reported in the family's terms.
  throw ArgumentException("unknown exception kind: " + message);
}

const char* exceptionKindName(ExceptionKind kind) noexcept {
  switch (kind) {
    case ExceptionKind::Argument:
      return "ArgumentException";
    case ExceptionKind::UnauthorizedAccess:
      return "UnauthorizedAccessException";
    case ExceptionKind::IO:
      return "IOException";
    case ExceptionKind::InvalidOperation:
      return "InvalidOperationException";
    case ExceptionKind::Configuration:
      return "ConfigurationException";
    case ExceptionKind::Streaming:
      return "StreamingException";
    case ExceptionKind::Timeout:
      return "TimeoutException";
  }
  return "UnknownException";
}

}  // namespace CamSdk
