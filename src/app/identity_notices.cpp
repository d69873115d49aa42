#include "app/identity_operator.h"

namespace kestrune {

OperatorMessage TextOf(IdentityNotice notice) {
  switch (notice) {
    case IdentityNotice::NoRange:
      return {"Warnung", "In ./Infos/MacList.cfg ist kein gültiger Bereich eingetragen !",
              OperatorIcon::Warning};
    case IdentityNotice::NotOpened:
      return {"Fehler", "Das Gerät konnte nicht geöffnet werden !", OperatorIcon::Stop};
    case IdentityNotice::NotRead:
      return {"Fehler", "Die Speicherplätze des Gerätes konnten nicht gelesen werden !",
              OperatorIcon::Stop};
    case IdentityNotice::AlreadyInDevice:
      return {"Information", "Diese Seriennummer ist bereits im Gerät !",
              OperatorIcon::Information};
    case IdentityNotice::AreaFull:
      return {"Fehler", "Alle Speicherplätze sind auf gebraucht !", OperatorIcon::Stop};
    case IdentityNotice::NotProgrammed:
      return {"Fehler", "Fehler beim Programmieren !", OperatorIcon::Stop};
    case IdentityNotice::NotChecked:
      return {"Fehler", "Fehler beim Prüfen !", OperatorIcon::Stop};
    case IdentityNotice::Differs:
      return {"Fehler", "Die Daten wurden nicht gültig programmiert !", OperatorIcon::Stop};
  }
  return {"Fehler", "", OperatorIcon::Stop};
}

}  // namespace kestrune
