#pragma once
// A message box the core asks its front end to show: the core never shows anything itself.

#include <string>

namespace kestrune {

enum class OperatorIcon { Stop, Warning, Information };

struct OperatorMessage {
  std::string caption;
  std::string text;
  OperatorIcon icon = OperatorIcon::Warning;
  bool operator==(const OperatorMessage&) const = default;
};

}  // namespace kestrune
