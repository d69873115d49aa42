#pragma once
// An environment variable as a test sets it, restored when the test is done.

#include <cstdlib>
#include <optional>
#include <string>

namespace kestrune::testkit {

class ScopedEnvironment {
 public:
  // `value` null: the variable is removed (on Windows: made empty, which the program reads alike).
  ScopedEnvironment(const char* name, const char* value) : m_name(name) {
    if (const char* old = std::getenv(name)) m_old = old;
    Set(value);
  }
  ~ScopedEnvironment() { Set(m_old ? m_old->c_str() : nullptr); }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  void Set(const char* value) {
#ifdef _WIN32
    _putenv_s(m_name.c_str(), value ? value : "");
#else
    if (value) {
      setenv(m_name.c_str(), value, 1);
    } else {
      unsetenv(m_name.c_str());
    }
#endif
  }

  std::string m_name;
  std::optional<std::string> m_old;
};

}  // namespace kestrune::testkit
