#include "error/tarvel_error.hpp"

#include <utility>

#include "error/notes.hpp"

namespace tarvel {

TarvelError TarvelError::unit_not_found(std::string text) { return {ErrorKind::UnitNotFound, std::move(text), {}}; }
TarvelError TarvelError::log_unit_not_found(std::string text) {
    return {ErrorKind::LogUnitNotFound, std::move(text), {}};
}
TarvelError TarvelError::constant_not_found(std::string text) {
    return {ErrorKind::ConstantNotFound, std::move(text), {}};
}
TarvelError TarvelError::incompatible_units(std::string first, std::string second) {
    return {ErrorKind::IncompatibleUnits, std::move(first), std::move(second)};
}
TarvelError TarvelError::not_coercible_to_unit(std::string text) {
    return {ErrorKind::NotCoercibleToUnit, std::move(text), {}};
}
TarvelError TarvelError::not_coercible_to_number(std::string text) {
    return {ErrorKind::NotCoercibleToNumber, std::move(text), {}};
}

TarvelError TarvelError::invalid_power(std::string unit_text, std::string power_text) {
    return {ErrorKind::InvalidPower, std::move(unit_text), std::move(power_text)};
}

TarvelError TarvelError::unreadable_quantity(std::string text) {
    return {ErrorKind::UnreadableQuantity, std::move(text), {}};
}

std::string TarvelError::message() const {
    switch (kind) {
        case ErrorKind::UnitNotFound: return "Unit " + first + " not found";
        case ErrorKind::LogUnitNotFound: return "Logarithmic ratio unit " + first + " not found";
        case ErrorKind::ConstantNotFound: return "Constant " + first + " not found";
        case ErrorKind::IncompatibleUnits: return first + " and " + second + " are not compatible";
        case ErrorKind::NotCoercibleToUnit: return first + " cannot be coerced into a unit";
        case ErrorKind::NotCoercibleToNumber: return first + " cannot be coerced into a number";
        case ErrorKind::InvalidPower: return first + " cannot be raised to the power " + second;
        case ErrorKind::UnreadableQuantity: return "could not read a quantity from " + quoted(first);
    }
    return first;
}

}  // namespace tarvel
