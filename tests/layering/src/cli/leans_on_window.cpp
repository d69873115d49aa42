#include "win32/window.h"
