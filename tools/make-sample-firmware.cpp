// Writes the sample firmware image that the demonstration and the simulated device use, or one
// of another size (the benchmark's).

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string_view>

#include "firmware/firmware_image_builder.h"

namespace {

constexpr const char* kUsage = "usage: make-sample-firmware OUTPUT [SIZE]\n";

}  // namespace

int main(int argc, char** argv) {
  // The tool knows no option: "--help" asks for the usage, any other is refused rather than taken
  // as the name of the file to write.
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--help" || argument == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (argument.size() > 1 && argument[0] == '-') {
      std::fprintf(stderr, "make-sample-firmware: unknown option %s\n%s", argv[i], kUsage);
      return 2;
    }
  }
  if (argc != 2 && argc != 3) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  kestrune::FirmwareImageRecipe recipe;
  if (argc == 3) {
    char* end = nullptr;
    const unsigned long size = std::strtoul(argv[2], &end, 10);
    if (*argv[2] == '\0' || *end != '\0' || size > 16ul * 1024 * 1024) {
      std::fprintf(stderr, "make-sample-firmware: %s is not a size in bytes\n", argv[2]);
      return 2;
    }
    recipe.size = static_cast<std::uint32_t>(size);
  }
  std::vector<std::uint8_t> image;
  try {
    image = kestrune::BuildFirmwareImage(recipe);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make-sample-firmware: %s\n", e.what());
    return 2;
  }
  std::FILE* file = std::fopen(argv[1], "wb");
  const bool written =
      file != nullptr && std::fwrite(image.data(), 1, image.size(), file) == image.size();
  if (file == nullptr || std::fclose(file) != 0 || !written) {
    std::fprintf(stderr, "make-sample-firmware: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
