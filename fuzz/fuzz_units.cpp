// libFuzzer target over the core: unit-expression parsing and name resolution, the text forms of what
// parses, both simplifications, the unit algebra, conversions between arbitrary results and the quantity
// operations built on them. Invariants are checked with CHECK, which aborts (a crash for libFuzzer).
//
// Input: lines separated by '\n'. Every line is tried as a unit expression, a single unit name, a
// constant name and a logarithmic scale name; the lines that parse form a pool of collections, extended
// by products, quotients, powers, base units and simplifications of its members. Numbers (magnitudes,
// powers, digits) are picked from fixed palettes by a hash of the input, so plain-text seeds explore them
// too.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "constant/constants.hpp"
#include "error/tarvel_error.hpp"
#include "quantity/log_quantity.hpp"
#include "quantity/quantity.hpp"
#include "quantity/quantity_text.hpp"
#include "unit/number_format.hpp"
#include "unit/simplify.hpp"
#include "unit/suggestions.hpp"
#include "unit/unit_collection.hpp"
#include "unit/unit_defs/log_units.hpp"
#include "unit/unit_defs/unit_defs.hpp"

using namespace tarvel;

namespace {

[[noreturn]] void invariant_failed(const char* what, int line, const std::string& detail) {
    std::fprintf(stderr, "\ninvariant failed at fuzz_units.cpp:%d: %s\n%s\n", line, what, detail.c_str());
    std::abort();
}

#define CHECK(condition, detail)                                               \
    do {                                                                       \
        if (!(condition)) invariant_failed(#condition, __LINE__, (detail));    \
    } while (false)

constexpr std::size_t MAX_LINES = 8;
constexpr std::size_t MAX_POOL = 14;

const double POWERS[] = {2, -1, 3, 0, 0.5, -2, 1.5, 1.0 / 3.0, -0.5, 7, 12, NAN, INFINITY, -INFINITY, 1e-300};
const double VALUES[] = {1,    2.5,  -7,  0.0,     -0.0,  0.1, 1e21, 1e-7, 1e308, 5e-324,
                         NAN,  INFINITY, -INFINITY, 212, 1234.5, 0.012345};
const std::int32_t DIGITS[] = {0, 2, -2, 3, 1, -1, 15, 400, -400, INT32_MAX, INT32_MIN};

// FNV-1a; decides which palette entries an input uses.
std::uint64_t hash_bytes(const std::uint8_t* data, std::size_t size) {
    std::uint64_t h = 1469598103934665603ull;
    for (std::size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 1099511628211ull;
    return h;
}

class Picker {
public:
    explicit Picker(std::uint64_t seed) : state_(seed | 1) {}
    std::uint64_t next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return state_;
    }
    template <class T, std::size_t N>
    T from(const T (&palette)[N]) {
        return palette[next() % N];
    }

private:
    std::uint64_t state_;
};

bool finite(const Dimensions& d) {
    for (double x : d) {
        if (!std::isfinite(x)) return false;
    }
    return true;
}

bool all_finite(const UnitCollection& c) {
    if (!finite(c.dimensions)) return false;
    for (const UnitEntry& e : c.unit_map) {
        if (!std::isfinite(e.exponent)) return false;
    }
    return true;
}

bool same_bits_or_nan(double a, double b) {
    if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
    return std::memcmp(&a, &b, sizeof a) == 0;
}

bool valid_utf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > s.size()) return false;
        for (std::size_t k = 1; k < n; ++k) {
            if ((static_cast<unsigned char>(s[i + k]) >> 6) != 2) return false;
        }
        i += n;
    }
    return true;
}

std::string describe(const UnitCollection& c) {
    return as_string(c) + " dims " + format_dimensions(c.dimensions) + " factor " + format_number(c.factor) +
           " entries " + std::to_string(c.unit_map.size());
}

// The shortest round-trip text without exponent notation: reads back to the very same double.
void check_number_text(double x) {
    const std::string text = format_number(x);
    CHECK(text.find_first_of("eE") == std::string::npos || text == "NaN", text);
    if (std::isnan(x)) {
        CHECK(text == "NaN", text);
        return;
    }
    if (std::isinf(x)) {
        CHECK(text == (x > 0 ? "inf" : "-inf"), text);
        return;
    }
    CHECK(!text.empty() && text.find(' ') == std::string::npos, text);
    char* end = nullptr;
    const double back = std::strtod(text.c_str(), &end);
    CHECK(end == text.c_str() + text.size(), text);
    CHECK(same_bits_or_nan(back, x), text + " reads back as " + format_number(back));
    CHECK(std::signbit(x) == (text[0] == '-'), text);
}

void check_text_forms(const UnitCollection& c, bool catalogue_only) {
    const std::string plain = as_string(c);
    const std::string latex = as_latex(c);
    const std::string descriptive = as_descriptive_string(c);
    CHECK(plain.size() >= 2 && plain.front() == '[' && plain.back() == ']', plain);
    CHECK(descriptive.size() >= 2 && descriptive.front() == '[' && descriptive.back() == ']', descriptive);
    CHECK(latex.starts_with("\\mathrm{") && latex.back() == '}', latex);
    if (catalogue_only) {
        CHECK(valid_utf8(plain) && valid_utf8(latex) && valid_utf8(descriptive), plain);
    }
    bool any_term = false;
    for (const UnitEntry& e : c.unit_map) {
        if (e.exponent != 0.0 && !std::isnan(e.exponent)) any_term = true;
    }
    CHECK(any_term == (plain != "[]"), describe(c));
}

// A collection made by the parser: no zero exponents, no unit twice, a dimension vector that matches the
// map exactly (catalogue dimensions and single-digit exponents are small integers).
void check_parsed(const UnitCollection& c, std::string_view text) {
    const std::string where = "parsing '" + std::string(text) + "': " + describe(c);
    CHECK(!c.unit_map.empty(), where);
    Dimensions sum{};
    for (std::size_t i = 0; i < c.unit_map.size(); ++i) {
        const UnitEntry& e = c.unit_map[i];
        CHECK(e.exponent != 0.0 && e.exponent == std::round(e.exponent), where);
        for (std::size_t j = i + 1; j < c.unit_map.size(); ++j) CHECK(!(e.unit == c.unit_map[j].unit), where);
        for (std::size_t k = 0; k < DIMENSION_COUNT; ++k) sum[k] += e.exponent * e.unit.dimensions()[k];
    }
    CHECK(dimensions_equal(sum, c.dimensions), where);
    // Positive, or an IEEE underflow/overflow (0, inf) or both at once (NaN): nothing checks for them.
    CHECK(!(c.factor < 0.0), where);
    // Parsing is a pure function of the text.
    std::optional<UnitCollection> again = UnitCollection::from_unit_name(text);
    CHECK(again && as_string(*again) == as_string(c) && dimensions_equal(again->dimensions, c.dimensions) &&
              same_bits_or_nan(again->factor, c.factor),
          where);
    check_text_forms(c, true);
}

// Both simplifications keep the dimension vector exactly and only use units the input holds. Broken
// invariants are allowed only for collections whose vector or exponents are not finite (NaN never equals
// itself, so such a collection always fails the consistency check).
void check_simplifications(const UnitCollection& c, std::vector<UnitCollection>& pool) {
    const bool expect_success = all_finite(c);
    try {
        UnitCollection quick = simple_simplify(c);
        CHECK(dimensions_equal(quick.dimensions, c.dimensions), describe(c) + " -> " + describe(quick));
        CHECK(quick.unit_map.size() <= c.unit_map.size(), describe(c) + " -> " + describe(quick));
        UnitCollection full = simplify(c);
        CHECK(dimensions_equal(full.dimensions, c.dimensions), describe(c) + " -> " + describe(full));
        for (const UnitEntry& e : full.unit_map) {
            CHECK(c.unit_map.find(e.unit) != UnitMap::npos, describe(c) + " -> " + describe(full));
        }
        // Deterministic: the same answer every time.
        UnitCollection again = simplify(c);
        CHECK(as_string(again) == as_string(full), describe(full) + " then " + describe(again));
        check_text_forms(quick, false);
        check_text_forms(full, false);
        if (pool.size() < MAX_POOL) pool.push_back(std::move(full));
    } catch (const InternalError& error) {
        CHECK(!expect_success, describe(c) + ": " + error.what());
    }
}

bool offsets_apply(const UnitCollection& a, const UnitCollection& b) {
    auto single = [](const UnitCollection& c) {
        return c.unit_map.size() == 1 && c.unit_map[0].exponent == 1.0 && c.unit_map[0].unit.offset() != 0.0;
    };
    return single(a) || single(b);
}

bool moderate(double x) { return std::isfinite(x) && std::fabs(x) < 1e100 && (x == 0.0 || std::fabs(x) > 1e-100); }
bool moderate_factor(double x) { return x != 0.0 && moderate(x); }

// Conversion succeeds exactly when the vectors are equal; without offsets it is reversible up to
// rounding.
void check_conversion(const UnitCollection& from, const UnitCollection& to, double value) {
    const Quantity q{from, value};
    Result<Quantity> r = as_unit_internal(q, to);
    const bool compatible = dimensions_equal(from.dimensions, to.dimensions);
    CHECK(r.has_value() == compatible, describe(from) + " to " + describe(to));
    if (!r) {
        CHECK(r.error().kind == ErrorKind::IncompatibleUnits, r.error().message());
        CHECK(r.error().message() == as_string(from) + " and " + as_string(to) + " are not compatible",
              r.error().message());
        return;
    }
    CHECK(as_string(r->units) == as_string(to) && same_bits_or_nan(r->units->factor, to.factor), describe(to));
    if (offsets_apply(from, to) || !moderate(value) || !moderate_factor(from.factor) || !moderate_factor(to.factor) ||
        !moderate(r->value)) {
        return;
    }
    Result<Quantity> back = as_unit_internal(*r, from);
    CHECK(back.has_value(), describe(to) + " back to " + describe(from));
    CHECK(std::fabs(back->value - value) <= 1e-12 * std::fabs(value),
          format_number(value) + " " + describe(from) + " via " + describe(to) + " came back as " +
              format_number(back->value));
    // Comparison agrees with conversion.
    Result<bool> equal = compare(Quantity{to, r->value}, q, CompareOp::Equal);
    CHECK(equal.has_value() && *equal == (r->value == r->value), describe(to));
}

// A quantity operation that may fail only with a library error, or with a broken invariant when the
// operands' vectors are not finite.
template <class F>
void guarded_operation(const char* name, bool finite_inputs, F&& operation) {
    try {
        operation();
    } catch (const InternalError& error) {
        CHECK(!finite_inputs, std::string(name) + ": " + error.what());
    }
}

void check_in_place(const char* name, Quantity& q, bool finite_inputs,
                    Result<std::string> (*operation)(Quantity&)) {
    const std::string before = as_string(q.units);
    const double value = q.value;
    guarded_operation(name, finite_inputs, [&] {
        Result<std::string> text = operation(q);
        if (!text) {
            CHECK(as_string(q.units) == before && same_bits_or_nan(q.value, value), name);
        } else {
            CHECK(!text->empty(), name);
        }
    });
}

void check_display(const Quantity& q, bool finite_inputs) {
    guarded_operation("display", finite_inputs, [&] {
        Result<std::string> text = display(q);
        CHECK(text.has_value(), describe(q.units));
        const std::size_t space = text->find(' ');
        CHECK(space != std::string::npos, *text);
        const std::string number = text->substr(0, space);
        if (number != "NaN" && number != "inf" && number != "-inf") {
            char* end = nullptr;
            std::strtod(number.c_str(), &end);
            CHECK(end == number.c_str() + number.size(), *text);
        }
        // What the text shows is the fully simplified quantity (the magnitude carried over untouched when
        // the simplified units are the same units with the same exponents).
        Result<Quantity> shown = simplified(q);
        CHECK(shown && number == format_number(shown->value) && text->substr(space + 1) == as_string(shown->units),
              *text);
    });
}

void check_quantities(const Quantity& s, const Quantity& o, Picker& pick) {
    const bool finite_inputs = all_finite(s.units) && all_finite(o.units);
    const bool same_dims = dimensions_equal(s.units->dimensions, o.units->dimensions);
    using Binary = Result<Quantity> (*)(const Quantity&, const Quantity&);
    struct Named {
        const char* name;
        Binary op;
    };
    const Named additive[] = {{"add", add}, {"subtract", subtract}, {"subtract_from", subtract_from}};
    for (const Named& op : additive) {
        guarded_operation(op.name, finite_inputs, [&] {
            Result<Quantity> r = op.op(s, o);
            CHECK(r.has_value() == same_dims, op.name);
            if (r) CHECK(dimensions_equal(r->units->dimensions, s.units->dimensions), op.name);
        });
    }
    const Named multiplicative[] = {{"multiply", multiply}, {"divide", divide}, {"divide_into", divide_into}};
    for (const Named& op : multiplicative) {
        guarded_operation(op.name, finite_inputs, [&] {
            Result<Quantity> r = op.op(s, o);
            if (!r) return;
            Dimensions expected{};
            for (std::size_t k = 0; k < DIMENSION_COUNT; ++k) {
                const double a = s.units->dimensions[k];
                const double b = o.units->dimensions[k];
                expected[k] = op.op == multiply ? a + b : op.op == divide ? a - b : b - a;
            }
            // Each component is the arithmetic one, or what the map carries where the algebra found the two
            // apart (a fractional exponent that cancels within a rounding); never anything else.
            bool as_expected = first_inconsistent_dimension(r->units->unit_map, r->units->dimensions) == DIMENSION_COUNT;
            for (std::size_t k = 0; k < DIMENSION_COUNT; ++k) {
                const double got = r->units->dimensions[k];
                as_expected = as_expected && (got == expected[k] || got == carried_dimension(r->units->unit_map, k));
            }
            CHECK(as_expected, std::string(op.name) + " " +
                                                                       describe(s.units) + " " +
                                                                       describe(o.units) + " -> " +
                                                                       describe(r->units));
        });
    }
    guarded_operation("power", finite_inputs, [&] {
        Result<Quantity> r = power(s, unitless_quantity(pick.from(POWERS)));
        // A power that would make the units non-finite is refused, never carried into a result.
        if (r && finite_inputs) CHECK(all_finite(r->units), describe(s.units) + " -> " + describe(r->units));
        Result<Quantity> dimensioned = power(s, o);
        CHECK(dimensioned.has_value() || !dimensions_equal(o.units->dimensions, NO_DIMENSIONS) ||
                  dimensioned.error().kind == ErrorKind::InvalidPower,
              "power by a unitless quantity");
        (void)power_of(s, o);
    });
    guarded_operation("compare", finite_inputs, [&] {
        for (int op = 0; op < 6; ++op) {
            Result<bool> r = compare(s, o, static_cast<CompareOp>(op));
            CHECK(r.has_value() == same_dims, "compare");
        }
    });
    guarded_operation("unary", finite_inputs, [&] {
        (void)negate(s);
        (void)positive(s);
        Quantity a = absolute(s);
        CHECK(!std::signbit(a.value), "absolute");
        (void)as_unitless(s);
        (void)quantity_exp(s);
        (void)quantity_log(s);
        (void)quantity_log10(s);
        Result<Quantity> base = as_base_units(s);
        CHECK(base.has_value() && base->units->unit_map.size() == DIMENSION_COUNT, describe(s.units));
        Result<Quantity> simple = simplified(s);
        CHECK(simple.has_value(), describe(s.units));
    });
    check_display(s, finite_inputs);

    Quantity copy = s;
    check_in_place("display_in_place", copy, finite_inputs, display_in_place);
    copy = s;
    check_in_place("latex_in_place", copy, finite_inputs, latex_in_place);
    copy = s;
    check_in_place("descriptive_in_place", copy, finite_inputs, descriptive_in_place);
    copy = s;
    guarded_operation("round", finite_inputs, [&] {
        const std::int32_t digits = pick.from(DIGITS);
        Result<Quantity> r = round_in_place(copy, digits);
        if (r) {
            const double v = r->value;
            CHECK(std::isnan(v) == std::isnan(copy.value), "round keeps NaN-ness");
        }
        (void)round_in_place(copy, std::nullopt);
        (void)round_sfig_in_place(copy, pick.from(DIGITS));
        (void)simplify_in_place(copy);
    });
}

std::vector<std::string_view> split_lines(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string_view> lines;
    std::string_view all(reinterpret_cast<const char*>(data), size);
    while (lines.size() < MAX_LINES) {
        const std::size_t nl = all.find('\n');
        lines.push_back(all.substr(0, nl));
        if (nl == std::string_view::npos) break;
        all.remove_prefix(nl + 1);
    }
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 1024) return -1;
    Picker pick(hash_bytes(data, size));

    // Numbers: the palettes, and the first eight bytes read as a double.
    for (double x : VALUES) check_number_text(x);
    if (size >= sizeof(double)) {
        double raw = 0.0;
        std::memcpy(&raw, data, sizeof raw);
        check_number_text(raw);
    }

    std::vector<UnitCollection> pool;
    for (std::string_view line : split_lines(data, size)) {
        if (std::optional<SingleUnit> unit = search_for_unit_name(line)) {
            // A name that resolves resolves to itself again, and its own name and symbol resolve.
            std::optional<SingleUnit> again = search_for_unit_name(line);
            CHECK(again && *again == *unit, std::string(line));
            CHECK(search_for_unit_name(unit->name()).has_value(), unit->name());
            CHECK(unit->factor() > 0.0 && std::isfinite(unit->factor()), unit->name());
            std::optional<UnitCollection> whole = UnitCollection::from_unit_name(line);
            CHECK(whole && whole->unit_map.size() == 1 && whole->unit_map[0].unit == *unit, std::string(line));
        }
        if (std::optional<LogUnit> scale = search_for_log_unit_name(line)) {
            Result<LogQuantity> log = log_quantity_from_unit_text(line);
            CHECK(log.has_value(), std::string(line));
            LogQuantity scaled{log->scale, pick.from(VALUES)};
            (void)log_display(scaled);
            (void)log_round(scaled, pick.from(DIGITS));
            (void)log_round_sfig(scaled, pick.from(DIGITS));
            (void)in_scale(scaled, LOG_UNITS[pick.next() % LOG_UNITS.size()]);
        }
        if (search_for_constant_name(line) != nullptr) {
            Result<Quantity> constant = quantity_from_constant(line);
            CHECK(constant.has_value(), std::string(line));
            check_display(*constant, true);
        }
        // A quantity text: its printed form reads back to the same text.
        if (Result<Quantity> read = parse_quantity(line)) {
            // As str() shows it: the quick simplification in place, then the display.
            if (Result<std::string> shown = display_in_place(*read)) {
                // Only where the text names these units: the darcy prints with the day's symbol "d".
                Result<Quantity> again = parse_quantity(*shown);
                if (again && dimensions_equal(again->units->dimensions, read->units->dimensions)) {
                    const Result<std::string> shown_again = display_in_place(*again);
                    CHECK(shown_again && *shown_again == *shown, *shown);
                }
            }
        }
        std::optional<UnitCollection> parsed = UnitCollection::from_unit_name(line);
        Result<Quantity> quantity = quantity_from_unit_text(line);
        CHECK(parsed.has_value() == quantity.has_value(), std::string(line));
        if (!parsed) {
            // Every expression a note suggests parses.
            for (const std::string& note : unit_lookup_notes(line)) {
                if (!note.starts_with("did you mean ")) continue;
                // Each suggestion is in single quotes, or in double quotes when it holds a single one.
                for (std::size_t open = note.find_first_of("'\""); open != std::string::npos;) {
                    const std::size_t close = note.find(note[open], open + 1);
                    if (close == std::string::npos) break;
                    const std::string suggestion = note.substr(open + 1, close - open - 1);
                    CHECK(UnitCollection::from_unit_name(suggestion).has_value(), suggestion);
                    open = note.find_first_of("'\"", close + 1);
                }
            }
            CHECK(quantity.error().kind == ErrorKind::UnitNotFound &&
                      quantity.error().message() == "Unit " + std::string(line) + " not found",
                  std::string(line));
            continue;
        }
        check_parsed(*parsed, line);
        if (pool.size() < MAX_POOL) pool.push_back(std::move(*parsed));
    }
    if (pool.empty()) return 0;

    // Algebra over the pool: products, quotients, powers and base units, with their cached vectors.
    const std::size_t parsed_count = pool.size();
    UnitCollection product = pool[0];
    UnitCollection quotient = pool[0];
    for (std::size_t i = 1; i < parsed_count; ++i) {
        Dimensions before = product.dimensions;
        product = mul(product, pool[i]);
        for (std::size_t k = 0; k < DIMENSION_COUNT; ++k) before[k] += pool[i].dimensions[k];
        CHECK(dimensions_equal(before, product.dimensions), describe(product));
        quotient = (pick.next() & 1) ? div(quotient, pool[i]) : mul(quotient, pow(pool[i], pick.from(POWERS)));
    }
    const UnitCollection self_quotient = div(pool[0], pool[0]);
    CHECK(self_quotient.unit_map.empty() && dimensions_equal(self_quotient.dimensions, NO_DIMENSIONS),
          describe(self_quotient));
    const UnitCollection base = get_base_units(pool[0]);
    CHECK(base.unit_map.size() == DIMENSION_COUNT && base.factor == 1.0 &&
              dimensions_equal(base.dimensions, pool[0].dimensions),
          describe(base));
    pool.push_back(std::move(product));
    pool.push_back(std::move(quotient));
    pool.push_back(pow(pool[0], pick.from(POWERS)));
    pool.push_back(base);

    const std::size_t before_simplification = pool.size();
    for (std::size_t i = 0; i < before_simplification; ++i) check_simplifications(pool[i], pool);

    for (const UnitCollection& c : pool) check_text_forms(c, true);

    // Conversions between every pair of the pool.
    for (const UnitCollection& from : pool) {
        for (const UnitCollection& to : pool) check_conversion(from, to, pick.from(VALUES));
    }

    // Quantity operations on a few pairs, custom units among them.
    const Quantity custom =
        custom_quantity(std::string(split_lines(data, size)[0]), "x", Quantity{pool.back(), pick.from(VALUES)});
    for (std::size_t n = 0; n < 4; ++n) {
        const Quantity s{pool[pick.next() % pool.size()], pick.from(VALUES)};
        const Quantity o = (n == 3) ? custom : Quantity{pool[pick.next() % pool.size()], pick.from(VALUES)};
        check_quantities(s, o, pick);
    }
    return 0;
}
