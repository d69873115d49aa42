#include "cli/cli.h"
