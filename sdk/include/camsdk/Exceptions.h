// The SDK's exception family. Every failure the SDK reports is one of the seven kinds below,
// all derived from CamSdk::Exception so that a caller who does not care about the kind can
// still name the family.
#pragma once

#include <exception>
#include <string>

namespace CamSdk {

enum class ExceptionKind {
  Argument,
  UnauthorizedAccess,
  IO,
  InvalidOperation,
  Configuration,
  Streaming,
  Timeout,
};

class Exception : public std::exception {
 public:
  explicit Exception(std::string message);
  const char* what() const noexcept override;
  // The class name, for diagnostics ("ArgumentException", ...).
  virtual const char* kindName() const noexcept = 0;
  virtual ExceptionKind kind() const noexcept = 0;

 private:
  std::string message_;
};

#define CAMSDK_DECLARE_EXCEPTION(Name, Kind)                                     \
  class Name : public Exception {                                                \
   public:                                                                       \
    using Exception::Exception;                                                  \
    const char* kindName() const noexcept override { return #Name; }             \
    ExceptionKind kind() const noexcept override { return ExceptionKind::Kind; } \
  }

CAMSDK_DECLARE_EXCEPTION(ArgumentException, Argument);
CAMSDK_DECLARE_EXCEPTION(UnauthorizedAccessException, UnauthorizedAccess);
CAMSDK_DECLARE_EXCEPTION(IOException, IO);
CAMSDK_DECLARE_EXCEPTION(InvalidOperationException, InvalidOperation);
CAMSDK_DECLARE_EXCEPTION(ConfigurationException, Configuration);
CAMSDK_DECLARE_EXCEPTION(StreamingException, Streaming);
CAMSDK_DECLARE_EXCEPTION(TimeoutException, Timeout);

#undef CAMSDK_DECLARE_EXCEPTION

// Throws the exception of the given kind with the given message.
[[noreturn]] void throwException(ExceptionKind kind, const std::string& message);

// "ArgumentException", ... for a kind; used by the scenario parser and diagnostics.
const char* exceptionKindName(ExceptionKind kind) noexcept;

}  // namespace CamSdk
