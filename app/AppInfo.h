// The program's name, version and maker; they live in platform/, where core
// units reach them too.
#pragma once

#include "platform/AppInfo.h"
