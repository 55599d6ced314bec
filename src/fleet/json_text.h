#pragma once

#include <nlohmann/json.hpp>
#include <string>

// JSON at the program's edge. The module's and the files' texts are 8-bit (Latin-1), as the
// window shows them; JSON wants UTF-8.
std::string JsonText(const std::string& latin1);
// One object on one line.
std::string JsonLine(const nlohmann::ordered_json& object);
