#include "app/discovery_display.h"

#include "app/control_ids.h"
#include "app/discovery_texts.h"

namespace kestrune {
namespace {

// The hidden identity group in the order its fields are emptied and repainted.
constexpr int kIdentityControls[] = {kIdSerialNumber, kIdAssignmentDate, kIdMacA, kIdMacB};
// The fields that describe a device, emptied when the last one left.
constexpr int kDeviceControls[] = {kIdVendorId,  kIdProductId,     kIdDfuVersion,   kIdDeviceBcd,
                                   kIdFlashSize, kIdUniqueId,      kIdSerialNumber, kIdMacA,
                                   kIdMacB,      kIdAssignmentDate};

class EffectList {
 public:
  void Add(ControlEffectKind kind, int control, std::string text = {}) {
    m_effects.push_back({kind, control, std::move(text)});
  }
  void Text(int control, const std::string& text) {
    Add(ControlEffectKind::SetText, control, text);
  }
  ControlEffects Take() { return std::move(m_effects); }

 private:
  ControlEffects m_effects;
};

// The fields of the device that was opened, in the order they were found out.
void ShowDevice(const Discovery& found, const DiscoveryTexts& shown, EffectList& effects) {
  if (shown.descriptors) {
    const DescriptorTexts& texts = *shown.descriptors;
    effects.Add(ControlEffectKind::UpdateControls, 0);
    effects.Text(kIdVendorId, texts.vendorId);
    effects.Text(kIdProductId, texts.productId);
    effects.Text(kIdDfuVersion, texts.dfuVersion);
    effects.Text(kIdDeviceBcd, texts.deviceBcd);
  }
  if (shown.flashSize) effects.Text(kIdFlashSize, *shown.flashSize);
  if (!found.otpReadStarted) return;  // the OTP area was not tried
  if (!shown.identity) {
    effects.Add(ControlEffectKind::Empty, kIdUniqueId);
    for (int control : kIdentityControls) effects.Add(ControlEffectKind::Empty, control);
    return;
  }
  const IdentityDisplay& identity = *shown.identity;
  effects.Text(kIdUniqueId, identity.uniqueId);
  if (identity.state == IdentityState::Present) {
    effects.Text(kIdMacA, identity.macA);
    effects.Text(kIdMacB, identity.macB);
    effects.Text(kIdAssignmentDate, identity.assignmentDate);
    effects.Text(kIdSerialNumber, identity.serialNumber);
  } else {
    effects.Text(kIdSerialNumber, identity.serialNumber);
    effects.Text(kIdAssignmentDate, identity.assignmentDate);
    effects.Text(kIdMacA, identity.macA);
    effects.Text(kIdMacB, identity.macB);
  }
}

}  // namespace

ControlEffects DiscoveryEffects(const Discovery& found, const DiscoveryState& shown,
                                CalendarConversion local) {
  EffectList effects;
  ShowDevice(found, DescribeDiscovery(found, local), effects);
  if (found.deviceCount != shown.deviceCount) {
    effects.Add(ControlEffectKind::RepaintNow, kIdDeviceCount);
    effects.Text(kIdDeviceCount, std::to_string(found.deviceCount));
    if (found.deviceCount == 0) {
      for (int control : kDeviceControls) effects.Add(ControlEffectKind::Empty, control);
      effects.Add(ControlEffectKind::EmptyLogTexts, 0);
    }
  }
  // The error flag as the window's member holds it by now: showing a device's descriptors
  // resets it.
  const bool memberError = found.descriptors ? false : shown.deviceError;
  if (found.deviceError != memberError) {
    effects.Add(ControlEffectKind::Repaint, kIdDeviceCount);
    if (found.deviceError) {
      effects.Add(ControlEffectKind::Empty, kIdFlashSize);
      effects.Add(ControlEffectKind::Empty, kIdUniqueId);
    }
  } else if (found.deviceError != shown.deviceError) {
    // The flag was cleared for a device shown anew: the count field must lose its error
    // colours even when the count itself did not change.
    effects.Add(ControlEffectKind::Repaint, kIdDeviceCount);
  }
  if (found.identityState != shown.identityState) {
    for (int control : kIdentityControls) effects.Add(ControlEffectKind::Repaint, control);
  }
  return effects.Take();
}

}  // namespace kestrune
