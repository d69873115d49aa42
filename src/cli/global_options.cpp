#include "backend/data_folders.h"
#include "cli/cli.h"

namespace kestrune::cli {

std::string GlobalOptions::InfosFolder() const {
  return infosFolder ? *infosFolder : DefaultInfosFolder();
}

}  // namespace kestrune::cli
