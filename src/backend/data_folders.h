#pragma once
// Where the program finds its Infos folder and keeps the default simulated device's memory.
// A portable program (and every Windows one) has both beside itself; an installed one on a
// shared system has them in the user's folders: $XDG_DATA_HOME/kestrune/Infos and
// $XDG_STATE_HOME/kestrune/simulator (~/.local/share and ~/.local/state when unset).

#include <string>

namespace kestrune {

std::string DefaultInfosFolder();
std::string DefaultSimulatorFolder();

}  // namespace kestrune
