#pragma once

#include <nlohmann/json.hpp>
#include <string>

struct ParamDifference;

// JSON at qorwctl's edge. The module's and the files' texts are 8-bit (Latin-1), as the window
// shows them; JSON wants UTF-8.
std::string JsonText(const std::string& latin1);
// One object on one line.
std::string JsonLine(const nlohmann::ordered_json& object);
// A difference of verify (file, module) or diff (a, b) as one object.
nlohmann::ordered_json DifferenceJson(const ParamDifference& d, const char* firstName,
                                      const char* secondName);
