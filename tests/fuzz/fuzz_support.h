#pragma once
// What every fuzz target needs besides its code under test: files that the product reads by
// path, and a check that stops the fuzzer with a message when a promise of the code is broken.

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrune::fuzz {

// Writes `bytes` to `name` in a folder of this process, replacing it, and returns the path.
std::string WriteScratchFile(const std::string& name, std::string_view bytes);
// The scratch folder itself (created on first use, removed when the process ends).
const std::string& ScratchFolder();

// A broken promise is a finding: libFuzzer keeps the input that led to it.
void Require(bool condition, const char* promise);

inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

}  // namespace kestrune::fuzz
