#pragma once
// Quantities read from text: an optional number in Python's float syntax, white space, then a unit
// expression, also in the text form the library prints ("9.81 [m/s2]", "[m/s2]", "5 []").

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "error/tarvel_error.hpp"
#include "quantity/log_quantity.hpp"
#include "quantity/operation_plan.hpp"
#include "quantity/quantity.hpp"
#include "unit/common_notation.hpp"

namespace tarvel {

// A whole token read as Python's float() reads it (ASCII digits, "_" between digits, "inf",
// "infinity", "nan" in any case, an optional sign); nothing otherwise.
std::optional<double> read_python_float(std::string_view token);

// Length of the decimal numeral (sign, digits, fraction, exponent) at the start of `text`; 0 when the
// text does not start with one. Never takes "inf" or "nan".
std::size_t scan_numeral(std::string_view text);

struct QuantityText {
    std::optional<double> number;  // nothing: magnitude 1
    std::string_view unit;         // the unit part, brackets removed and trimmed; empty: unitless
    bool bracketed = false;        // the unit part was written in brackets
};

// Splits a quantity text into its number and its unit part. The number is the first white-space
// separated token when it reads as a float, or a numeral written right before the unit ("36km/hr").
// UnreadableQuantity for an empty text or brackets out of place.
Result<QuantityText> split_quantity_text(std::string_view text);

// The units of a text in common notations, with the names of `vocabulary`; text of the library's own
// grammar comes from the table that Tarvel.unit shares, as fast as Tarvel.unit.
Result<SharedUnits> shared_units_from_common_notation(std::string_view text,
                                                      std::span<const NamedUnit> vocabulary = {});

// The unit part is read in common notations (with the names of `vocabulary`); UnitNotFound with it when
// it does not resolve.
Result<Quantity> parse_quantity(std::string_view text, std::span<const NamedUnit> vocabulary = {});
// The unit part names a logarithmic scale; LogUnitNotFound with it when it does not, UnreadableQuantity
// when there is none.
Result<LogQuantity> parse_log_quantity(std::string_view text);

}  // namespace tarvel

namespace tarvel {

// The unit part of each text form of q, exactly as that form shows it after the number: str() and
// repr() (fully simplified, "[m/s2]"), latex() and descriptive() (quick-simplified). q is unchanged.
Result<std::string> unit_text_of(const Quantity& q);
Result<std::string> unit_latex_of(const Quantity& q);
Result<std::string> unit_descriptive_of(const Quantity& q);

// format(): a spec ending in 'L' or 'D' asks for the LaTeX or the descriptive form, any other str()'s.
enum class TextForm { Display, Latex, Descriptive };
TextForm text_form_of(char32_t last) noexcept;
// The number format() writes and the text that follows it, for q quick-simplified (`simple`): the
// display form shows a fully simplified copy, the other two the quick-simplified units.
struct FormattedParts {
    double value;
    std::string tail;
};
Result<FormattedParts> formatted_parts(const Quantity& simple, TextForm form);

// The notebook form of an array: its magnitudes (a scalar, a row, or `rows` of `columns` for ndim 2,
// read row by row) through the Normalise plan `normalised`, the units once.
std::string array_latex(std::span<const double> magnitudes, long ndim, std::size_t rows, std::size_t columns,
                        const OperationPlan& normalised);
// The units as an array's repr shows them: the text without its brackets; nothing for a plain number.
std::optional<std::string> repr_unit_text(const UnitCollection& units);

}  // namespace tarvel
