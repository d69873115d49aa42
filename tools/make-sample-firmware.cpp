// Writes the sample firmware image that the demonstration and the simulated device use.

#include <cstdio>

#include "testkit/firmware_image_builder.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: make-sample-firmware OUTPUT\n", stderr);
    return 2;
  }
  const auto image = kestrune::testkit::BuildFirmwareImage();
  std::FILE* file = std::fopen(argv[1], "wb");
  const bool written =
      file != nullptr && std::fwrite(image.data(), 1, image.size(), file) == image.size();
  if (file == nullptr || std::fclose(file) != 0 || !written) {
    std::fprintf(stderr, "make-sample-firmware: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
