// Implemented by the disc-image fixture owner.
#include "common/DiscImage.h"
