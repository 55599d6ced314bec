#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "fleet/json_text.h"

struct ParamDifference;

// A difference of verify (file, module) or diff (a, b) as one object.
nlohmann::ordered_json DifferenceJson(const ParamDifference& d, const char* firstName,
                                      const char* secondName);
