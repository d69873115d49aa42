#include "app/identity_operator.h"

namespace kestrune {

NoticeText TextOf(IdentityNotice notice) {
  switch (notice) {
    case IdentityNotice::NoRange:
      return {NoticeKind::Warning, "Warnung",
              "In ./Infos/MacList.cfg ist kein gültiger Bereich eingetragen !"};
    case IdentityNotice::NotOpened:
      return {NoticeKind::Error, "Fehler", "Das Gerät konnte nicht geöffnet werden !"};
    case IdentityNotice::NotRead:
      return {NoticeKind::Error, "Fehler",
              "Die Speicherplätze des Gerätes konnten nicht gelesen werden !"};
    case IdentityNotice::AlreadyInDevice:
      return {NoticeKind::Information, "Information", "Diese Seriennummer ist bereits im Gerät !"};
    case IdentityNotice::AreaFull:
      return {NoticeKind::Error, "Fehler", "Alle Speicherplätze sind auf gebraucht !"};
    case IdentityNotice::NotProgrammed:
      return {NoticeKind::Error, "Fehler", "Fehler beim Programmieren !"};
    case IdentityNotice::NotChecked:
      return {NoticeKind::Error, "Fehler", "Fehler beim Prüfen !"};
    case IdentityNotice::Differs:
      return {NoticeKind::Error, "Fehler", "Die Daten wurden nicht gültig programmiert !"};
  }
  return {NoticeKind::Error, "Fehler", ""};
}

}  // namespace kestrune
