#pragma once

#include <exception>
#include <stdexcept>
#include <string>
#include <utility>

namespace platform {

// An error raised by the platform layer or by a reader. It carries the class
// name that failure reports and log texts show next to the message.
class Error : public std::runtime_error {
 public:
  Error(std::string className, const std::string& message)
      : std::runtime_error(message), className_(std::move(className)) {}
  const std::string& ClassName() const { return className_; }

 private:
  std::string className_;
};

// Class names used across the project.
inline constexpr const char* kConvertError = "EConvertError";
inline constexpr const char* kInOutError = "EInOutError";
inline constexpr const char* kXmlError = "EXmlError";
inline constexpr const char* kSocketError = "ESocketError";
inline constexpr const char* kHttpError = "EHttpProtocolError";
inline constexpr const char* kTimeoutError = "ETimeoutError";

// The class name of any caught exception: ours carry one, others are named by type.
std::string ErrorClassName(const std::exception& e);

}  // namespace platform
