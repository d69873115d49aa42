// Writes the sample firmware image that the demonstration and the simulated device use, or one
// of another size (the benchmark's).

#include <cstdio>
#include <cstdlib>
#include <exception>

#include "testkit/firmware_image_builder.h"

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::fputs("usage: make-sample-firmware OUTPUT [SIZE]\n", stderr);
    return 2;
  }
  kestrune::testkit::FirmwareImageRecipe recipe;
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
    image = kestrune::testkit::BuildFirmwareImage(recipe);
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
