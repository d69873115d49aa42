#pragma once
// The operator that "MAC setzen" asks and tells: whether to replace an identity the device has,
// whether to go on with a serial number outside every range, whether to write the record the
// serial-number dialog made; and how the assignment ended where the operator must hear it. The
// dialog answers with its message boxes, the command line with its prompts and --yes rules, tests
// with a script. The texts are the ones the window shows; every front end uses them.

#include "app/serial_number_dialog.h"
#include "serials/operator_message.h"

namespace kestrune {

enum class IdentityNotice {
  NoRange,          // warning: the range list holds no range
  NotOpened,        // error: no device, or it could not be opened
  NotRead,          // error: the OTP area was not read at discovery
  AlreadyInDevice,  // information: the last used block holds this identity already
  AreaFull,         // error
  NotProgrammed,    // error: selecting or writing the block failed
  NotChecked,       // error: the block could not be read back
  Differs,          // error: read back, but not what was written
};

// The box that tells the operator of the notice: its caption, text and icon, for every front end.
OperatorMessage TextOf(IdentityNotice notice);

inline constexpr const char* kReplaceIdentityQuestion =
    "Das Gerät hat bereits eine Seriennummer !\n\nSoll diese ersetzt werden ?";
inline constexpr const char* kOutsideRangesQuestion =
    "Die aktuelle Seriennummer ist außerhalb des Bereiches aus ./Infos/MacList.cfg !";
inline constexpr const char* kQuestionCaption = "Warnung";

class IdentityOperator {
 public:
  virtual ~IdentityOperator() = default;
  // The device has an identity: replace it? (kReplaceIdentityQuestion)
  virtual bool ReplaceIdentity() = 0;
  // The proposed serial number lies outside every range: go on? (kOutsideRangesQuestion)
  virtual bool AcceptSerialOutsideRanges() = 0;
  // Shows the serial-number dialog; true when it ended with a record the operator confirmed.
  virtual bool ConfirmRecord(SerialNumberDialog& dialog) = 0;
  virtual void Tell(IdentityNotice notice) = 0;
  // What the identity ledger said: why it assigns nothing, or a warning after the write.
  virtual void Tell(const OperatorMessage& message) = 0;
};

}  // namespace kestrune
