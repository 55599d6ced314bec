#include "cli/cli_json.h"

#include "fleet/param_compare.h"

nlohmann::ordered_json DifferenceJson(const ParamDifference& d, const char* firstName,
                                      const char* secondName) {
    return {{"page", JsonText(d.page)},
            {"key", JsonText(d.key)},
            {firstName, JsonText(d.first)},
            {secondName, JsonText(d.second)}};
}
