#pragma once
// Errors the library detects are values (TarvelError inside Result); broken internal invariants are
// thrown as InternalError and turned into PanicException at the Python boundary.

#include <expected>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tarvel {

enum class ErrorKind : unsigned char {
    UnitNotFound,
    LogUnitNotFound,
    ConstantNotFound,
    IncompatibleUnits,
    NotCoercibleToUnit,
    NotCoercibleToNumber,
    // Not one of the six documented kinds: raising a quantity with units to a power that is not finite
    // (or that makes an exponent non-finite). Raised as ValueError.
    InvalidPower,
    // A product or quotient of collections whose exponents cannot be represented: an operand's exponent
    // would vanish in rounding (1 + 1e-300 == 1) or an exponent would overflow. Raised as ValueError.
    ProductOutOfRange,
    QuotientOutOfRange,
    // Text given to parse() that is no quantity at all (empty, or brackets out of place). Raised as
    // ValueError; a unit part that does not resolve is UnitNotFound instead.
    UnreadableQuantity,
    // Unit text the common-notation reader refuses for a reason of its own (a time reference, an
    // ambiguous spelling, a number inside the units); `second` holds the reason. Raised as LookupError,
    // like a unit that is not found.
    UnitNotRead,
    // Arrays of quantities. NumPy operation without a unit rule (TypeError, naming it and why):
    UnsupportedNumpy,
    // A quantity given to a NumPy parameter that has no unit rule (TypeError, naming both):
    UnsupportedNumpyArgument,
    // A lazy array given to an operation that would read it all into memory (TypeError):
    NeedsCompute,
    // An array with units asked for plain values (TypeError):
    UnitsWouldBeDropped,
    // Magnitudes of a dtype an array cannot hold (TypeError):
    UnsupportedDtype,
    // A masked array, whose mask a quantity would drop (TypeError, naming its type):
    MaskedValues,
    // A complex number or array, whose imaginary part a quantity would drop (TypeError, naming its type):
    ComplexValues,
    // An array with units raised to an array of different exponents (ValueError):
    NonUniformPower,
    // copy=False where the magnitudes must be copied or converted (ValueError):
    CopyRequired,
    // as_preferred: no short product of the preferred units has the quantity's dimensions (TypeError):
    NoPreferredProduct,
    // A custom unit whose name or symbol already names a catalogue unit, prefixed ones included
    // (ValueError): first is the text, second the catalogue unit it names.
    CustomUnitClash,
    // An operation that reads the magnitudes of a lazy array (TypeError, naming its type):
    LazyMagnitudes,
    // del a[i] (TypeError):
    ElementDeletion,
    // __array_ufunc__ called without a ufunc, a method and inputs, or with a ufunc whose name is no
    // text (TypeError):
    MalformedUfuncCall,
    // A lazy array's attribute asked of an array in memory (AttributeError, naming it):
    NoInMemoryAttribute,
    // Operands whose shapes do not broadcast (ValueError, the shapes as NumPy writes them):
    NotBroadcastable,
};

struct TarvelError {
    ErrorKind kind;
    std::string first;   // the text, or the first unit text of IncompatibleUnits
    std::string second;  // the second unit text of IncompatibleUnits; empty otherwise

    static TarvelError unit_not_found(std::string text);
    static TarvelError log_unit_not_found(std::string text);
    static TarvelError constant_not_found(std::string text);
    static TarvelError incompatible_units(std::string first, std::string second);
    static TarvelError not_coercible_to_unit(std::string text);
    static TarvelError not_coercible_to_number(std::string text);
    static TarvelError invalid_power(std::string unit_text, std::string power_text);
    static TarvelError product_out_of_range(std::string left_units, std::string right_units);
    static TarvelError quotient_out_of_range(std::string left_units, std::string right_units);
    static TarvelError unreadable_quantity(std::string text);
    static TarvelError unit_not_read(std::string text, std::string reason);
    // "no unit rule for numpy.gcd: integer arithmetic has no units"; the name as NumPy spells it under
    // numpy ("linalg.det", "add.reduce", "ndarray.sum"); an empty reason leaves the reason out.
    static TarvelError unsupported_numpy(std::string name, std::string reason);
    // "no unit rule for the argument 'axis' of numpy.sum" (parameter: a name, or "1" for a position).
    static TarvelError unsupported_numpy_argument(std::string name, std::string parameter);
    // "numpy.sort would compute a lazy TarvelArray: call .compute() first".
    static TarvelError needs_compute(std::string operation);
    static TarvelError units_would_be_dropped(std::string unit_text);
    static TarvelError unsupported_dtype(std::string dtype_text);
    static TarvelError masked_values(std::string type_name);
    static TarvelError complex_values(std::string type_name);
    static TarvelError non_uniform_power(std::string unit_text);
    static TarvelError copy_required();
    // The quantity's unit text, and the preferred units' texts joined by ", ".
    static TarvelError no_preferred_product(std::string unit_text, std::string preferred_texts);
    static TarvelError custom_unit_clash(std::string text, std::string catalogue_unit);
    static TarvelError lazy_magnitudes(std::string type_name);
    static TarvelError element_deletion();
    static TarvelError malformed_ufunc_call(std::string what);
    static TarvelError no_in_memory_attribute(std::string name);
    static TarvelError not_broadcastable(std::string shapes);  // "(3,) (2,)"

    // The user-facing message, e.g. "Unit xyz not found" or "[m] and [s] are not compatible".
    std::string message() const;
};

// `text` between quotes as Python's repr() chooses them (single, or double for "planck's constant"), with
// control characters, the quote and backslashes escaped ('bel\x00x'), so that a message shows the whole
// text, NUL included.
std::string quoted(std::string_view text);

template <class T>
using Result = std::expected<T, TarvelError>;

// Shorthand for returning an error from a function that returns Result<T>.
inline std::unexpected<TarvelError> fail(TarvelError error) { return std::unexpected(std::move(error)); }

// A broken internal invariant. Never a user error.
class InternalError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace tarvel
