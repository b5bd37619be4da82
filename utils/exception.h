#pragma once
// The program's own exception: thrown only by the child-process runner and
// caught by its owners; the installation chain itself never throws.
#include <stdexcept>
#include <string>

namespace Utils {

class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& what, unsigned long code = 0)
      : std::runtime_error(what), code_(code) {}
  // The system error code behind the failure, 0 when there is none.
  unsigned long Code() const { return code_; }

 private:
  unsigned long code_;
};

}  // namespace Utils
