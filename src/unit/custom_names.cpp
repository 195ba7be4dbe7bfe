#include "unit/custom_names.hpp"

#include <optional>
#include <string>

#include "unit/unit_collection.hpp"
#include "unit/unit_defs/unit_defs.hpp"

namespace tarvel {

Result<void> check_custom_unit_names(std::string_view name, std::string_view symbol) {
    for (std::string_view text : {name, symbol}) {
        if (std::optional<SingleUnit> unit = search_for_unit_name(text)) {
            return fail(TarvelError::custom_unit_clash(std::string(text), as_string(UnitCollection::single(*unit))));
        }
    }
    return {};
}

}  // namespace tarvel
