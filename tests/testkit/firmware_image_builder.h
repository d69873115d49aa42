#pragma once
// The tests build their images with the builder the sample-firmware tool uses.

#include "firmware/firmware_image_builder.h"

namespace kestrune::testkit {

using kestrune::BalanceWordSum;
using kestrune::BuildFirmwareImage;
using kestrune::FirmwareImageRecipe;
using kestrune::PutFirmwareHeader;

}  // namespace kestrune::testkit
