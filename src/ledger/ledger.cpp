#include "ledger/ledger.h"

namespace kestrune {

const char* StateName(ReservationState state) {
  switch (state) {
    case ReservationState::Reserved:
      return "reserved";
    case ReservationState::Written:
      return "written";
    case ReservationState::Failed:
      return "failed";
  }
  return "reserved";
}

std::optional<ReservationState> StateFromName(const std::string& name) {
  for (ReservationState state :
       {ReservationState::Reserved, ReservationState::Written, ReservationState::Failed}) {
    if (name == StateName(state)) return state;
  }
  return std::nullopt;
}

}  // namespace kestrune
