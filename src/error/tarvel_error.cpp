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

TarvelError TarvelError::product_out_of_range(std::string left_units, std::string right_units) {
    return {ErrorKind::ProductOutOfRange, std::move(left_units), std::move(right_units)};
}

TarvelError TarvelError::quotient_out_of_range(std::string left_units, std::string right_units) {
    return {ErrorKind::QuotientOutOfRange, std::move(left_units), std::move(right_units)};
}

std::string quoted(std::string_view text) {
    static constexpr char HEX[] = "0123456789abcdef";
    // Python's choice: double quotes for a text with a single quote and no double quote.
    const bool has_single = text.find('\'') != std::string_view::npos;
    const char quote = has_single && text.find('"') == std::string_view::npos ? '"' : '\'';
    std::string out(1, quote);
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\' || c == quote) {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte == 0x7f) {
            out += "\\x";
            out += HEX[byte >> 4];
            out += HEX[byte & 0xf];
        } else {
            out += c;
        }
    }
    out += quote;
    return out;
}

TarvelError TarvelError::unreadable_quantity(std::string text) {
    return {ErrorKind::UnreadableQuantity, std::move(text), {}};
}

TarvelError TarvelError::unit_not_read(std::string text, std::string reason) {
    return {ErrorKind::UnitNotRead, std::move(text), std::move(reason)};
}


TarvelError TarvelError::unsupported_numpy(std::string name, std::string reason) {
    return {ErrorKind::UnsupportedNumpy, std::move(name), std::move(reason)};
}
TarvelError TarvelError::unsupported_numpy_argument(std::string name, std::string parameter) {
    return {ErrorKind::UnsupportedNumpyArgument, std::move(name), std::move(parameter)};
}
TarvelError TarvelError::needs_compute(std::string operation) {
    return {ErrorKind::NeedsCompute, std::move(operation), {}};
}
TarvelError TarvelError::units_would_be_dropped(std::string unit_text) {
    return {ErrorKind::UnitsWouldBeDropped, std::move(unit_text), {}};
}
TarvelError TarvelError::unsupported_dtype(std::string dtype_text) {
    return {ErrorKind::UnsupportedDtype, std::move(dtype_text), {}};
}
TarvelError TarvelError::masked_values(std::string type_name) {
    return {ErrorKind::MaskedValues, std::move(type_name), {}};
}
TarvelError TarvelError::complex_values(std::string type_name) {
    return {ErrorKind::ComplexValues, std::move(type_name), {}};
}
TarvelError TarvelError::non_uniform_power(std::string unit_text) {
    return {ErrorKind::NonUniformPower, std::move(unit_text), {}};
}
TarvelError TarvelError::copy_required() { return {ErrorKind::CopyRequired, {}, {}}; }
TarvelError TarvelError::no_preferred_product(std::string unit_text, std::string preferred_texts) {
    return {ErrorKind::NoPreferredProduct, std::move(unit_text), std::move(preferred_texts)};
}

TarvelError TarvelError::custom_unit_clash(std::string text, std::string catalogue_unit) {
    return {ErrorKind::CustomUnitClash, std::move(text), std::move(catalogue_unit)};
}
TarvelError TarvelError::lazy_magnitudes(std::string type_name) {
    return {ErrorKind::LazyMagnitudes, std::move(type_name), {}};
}
TarvelError TarvelError::element_deletion() { return {ErrorKind::ElementDeletion, {}, {}}; }
TarvelError TarvelError::malformed_ufunc_call(std::string what) {
    return {ErrorKind::MalformedUfuncCall, std::move(what), {}};
}
TarvelError TarvelError::no_in_memory_attribute(std::string name) {
    return {ErrorKind::NoInMemoryAttribute, std::move(name), {}};
}
TarvelError TarvelError::not_broadcastable(std::string shapes) {
    return {ErrorKind::NotBroadcastable, std::move(shapes), {}};
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
        case ErrorKind::ProductOutOfRange:
            return first + " cannot be multiplied by " + second + ": an exponent would be lost or overflow";
        case ErrorKind::QuotientOutOfRange:
            return first + " cannot be divided by " + second + ": an exponent would be lost or overflow";
        case ErrorKind::UnreadableQuantity: return "could not read a quantity from " + quoted(first);
        case ErrorKind::UnitNotRead: return "Unit " + first + " not found: " + second;
        case ErrorKind::UnsupportedNumpy:
            return "no unit rule for numpy." + first + (second.empty() ? std::string() : ": " + second);
        case ErrorKind::UnsupportedNumpyArgument:
            if (!second.empty() && second.front() >= '0' && second.front() <= '9') {
                return "no unit rule for argument " + second + " of numpy." + first;
            }
            return "no unit rule for the argument '" + second + "' of numpy." + first;
        case ErrorKind::NeedsCompute:
            return first + " would compute a lazy TarvelArray into memory: call .compute() first, or keep to "
                           "operations that stay lazy";
        case ErrorKind::UnitsWouldBeDropped:
            return "a TarvelArray in " + first +
                   " has no plain values: use as_number(unit) to get its magnitudes in a unit";
        case ErrorKind::UnsupportedDtype:
            return "a TarvelArray holds float64 or float32 magnitudes (ints and bools become float64), not " +
                   first;
        case ErrorKind::MaskedValues:
            return "a quantity has no mask, so a " + first +
                   " would lose it: give its .filled(numpy.nan) and keep the mask apart";
        case ErrorKind::ComplexValues:
            return "a quantity holds real magnitudes, not " + first +
                   " values: give their .real, .imag or abs() explicitly";
        case ErrorKind::NonUniformPower:
            return "an array in " + first + " can only be raised to a single exponent";
        case ErrorKind::CopyRequired:
            return "copy=False needs a float64 or float32 ndarray that the unit leaves unchanged";
        case ErrorKind::NoPreferredProduct:
            return first + " is no short product of " + second +
                   ": add a unit of these dimensions to the preferred units";
        case ErrorKind::CustomUnitClash:
            return "'" + first + "' already names the catalogue unit " + second +
                   ": a custom unit needs a name and a symbol of its own";
        case ErrorKind::LazyMagnitudes:
            return "this operation needs the magnitudes in memory, and these are a lazy " + first +
                   ": call .compute() first";
        case ErrorKind::ElementDeletion: return "TarvelArray elements cannot be deleted";
        case ErrorKind::MalformedUfuncCall: return first;
        case ErrorKind::NoInMemoryAttribute: return "a TarvelArray in memory has no attribute '" + first + "'";
        case ErrorKind::NotBroadcastable: return "operands could not be broadcast together with shapes " + first;
    }
    return first;
}

}  // namespace tarvel
