#pragma once

// Comparing configurations moved into the core, where the provisioning engine uses it too.
#include "fleet/param_compare.h"
