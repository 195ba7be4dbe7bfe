#include "unit/common_notation.hpp"

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "error/notes.hpp"
#include "unit/number_format.hpp"
#include "unit/unit_algebra.hpp"
#include "unit/unit_defs/unit_defs.hpp"
#include "unit/white_space.hpp"

namespace tarvel {

namespace {

// ---- Tables -------------------------------------------------------------------------------------------

// Whole words that mean a unit expression of the library's grammar ("" is no unit: a pure number).
struct Respelling {
    std::string_view from;
    std::string_view to;
};
constexpr std::array<Respelling, 56> RESPELLINGS{{
    // "h" alone is the hour; inside a word it stays the prefix hecto ("hPa").
    {"h", "hr"},
    {"hrs", "hr"},
    {"sec", "s"},
    {"secs", "s"},
    {"mins", "min"},
    {"yrs", "yr"},
    {"lbs", "lb"},
    {"kgs", "kg"},
    {"litre", "liter"},
    {"litres", "liter"},
    {"millilitre", "milliliter"},
    {"millilitres", "milliliter"},
    {"feet", "ft"},
    {"Ohm", "ohm"},
    {"\u2126", "\u03A9"},  // the ohm sign for the letter omega
    {"\u212B", "\u00C5"},  // the angstrom sign for the letter A with ring
    {"mph", "mi/hr"},
    {"kph", "km/hr"},
    {"kmh", "km/hr"},
    {"fps", "ft/s"},
    // Temperatures, also in the spellings of the CF conventions.
    {"degC", "°C"},
    {"deg_C", "°C"},
    {"degree_C", "°C"},
    {"degree_Celsius", "°C"},
    {"degrees_Celsius", "°C"},
    {"degrees Celsius", "°C"},
    {"degree C", "°C"},
    {"degrees C", "°C"},
    {"° C", "°C"},
    {"\u2103", "°C"},
    {"degF", "°F"},
    {"deg_F", "°F"},
    {"degree_F", "°F"},
    {"degree_Fahrenheit", "°F"},
    {"degrees_Fahrenheit", "°F"},
    {"degrees Fahrenheit", "°F"},
    {"degree F", "°F"},
    {"degrees F", "°F"},
    {"° F", "°F"},
    {"\u2109", "°F"},
    {"degK", "K"},
    {"deg_K", "K"},
    {"degree_K", "K"},
    {"degree_Kelvin", "K"},
    {"°K", "K"},
    // Latitudes and longitudes of the CF conventions are angles.
    {"degrees_north", "°"},
    {"degree_north", "°"},
    {"degrees_N", "°"},
    {"degree_N", "°"},
    {"degrees_east", "°"},
    {"degree_east", "°"},
    {"degrees_E", "°"},
    {"degree_E", "°"},
    // Pure numbers: practical salinity.
    {"psu", ""},
    {"PSU", ""},
    {"percent", "%"},
}};

// Spellings with more than one common meaning; the reader refuses them rather than pick one.
constexpr std::array<std::string_view, 7> AMBIGUOUS{"ppt", "a", "kt", "mb", "Gyr", "Myr", "kyr"};
// Symbols of what the library's grammar reads for some of them ("ppt" is the picopint there).
constexpr std::array<std::string_view, 3> AMBIGUOUS_SYMBOLS{"ppt", "kt", "mb"};

bool is_ambiguous(std::string_view word) {
    for (std::string_view a : AMBIGUOUS) {
        if (a == word) return true;
    }
    return false;
}

// Symbols written differently in CF unit strings.
constexpr std::array<Respelling, 10> CF_SYMBOLS{{
    {"°C", "degree_Celsius"},
    {"°F", "degree_Fahrenheit"},
    {"°R", "degree_Rankine"},
    {"°", "degree"},
    {"hr", "h"},
    {"y", "yr"},
    {"Ω", "ohm"},
    {"Å", "angstrom"},
    {"'", "arcmin"},
    {"''", "arcsec"},
}};

// ---- Characters ---------------------------------------------------------------------------------------

bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }

// Superscript digits and signs: the value of a digit, 10 for minus, 11 for plus; -1 otherwise. Sets the
// byte length of the character.
int superscript_at(std::string_view text, std::size_t& length) noexcept {
    length = 0;
    if (text.size() >= 2 && static_cast<unsigned char>(text[0]) == 0xC2) {
        length = 2;
        switch (static_cast<unsigned char>(text[1])) {
            case 0xB2: return 2;
            case 0xB3: return 3;
            case 0xB9: return 1;
        }
    }
    if (text.size() >= 3 && static_cast<unsigned char>(text[0]) == 0xE2 &&
        static_cast<unsigned char>(text[1]) == 0x81) {
        length = 3;
        const auto c = static_cast<unsigned char>(text[2]);
        if (c == 0xB0) return 0;
        if (c >= 0xB4 && c <= 0xB9) return c - 0xB0;
        if (c == 0xBB) return 10;
        if (c == 0xBA) return 11;
    }
    length = 0;
    return -1;
}

// Byte length of a product sign at the start of `text` ("*", "·", "⋅"); 0 when there is none. "**" is an
// exponent, not a product.
std::size_t product_sign(std::string_view text) noexcept {
    if (text.starts_with("**")) return 0;
    if (text.starts_with('*')) return 1;
    if (text.starts_with("\u00B7")) return 2;
    if (text.starts_with("\u22C5")) return 3;
    return 0;
}

// Whether the character at the start of `text` can be part of a unit name.
bool is_name_char(std::string_view text) noexcept {
    if (text.empty()) return false;
    const char c = text.front();
    if (is_digit(c) || leading_space(text) > 0) return false;
    // "pound-force": a hyphen inside a name; "s-1": a sign before an exponent.
    if (c == '+') return false;
    if (c == '-') return text.size() > 1 && text[1] != '-' && is_name_char(text.substr(1));
    switch (c) {
        case '*': case '/': case '(': case ')': case '.': case '^': case '[': case ']': case ',': case ';':
        case '=': return false;
        default: break;
    }
    std::size_t length = 0;
    if (superscript_at(text, length) >= 0) return false;
    return product_sign(text) == 0;
}

bool word_is(std::string_view text, std::size_t at, std::string_view word) {
    if (!text.substr(at).starts_with(word)) return false;
    return !is_name_char(text.substr(at + word.size()));
}

// ---- Names ---------------------------------------------------------------------------------------------

std::optional<SingleUnit> prefixed(const PrefixDefinition& prefix, const SingleUnit& unit) {
    if (unit.offset() != 0.0) return std::nullopt;
    return SingleUnit::make(std::string(prefix.name) + unit.name(), std::string(prefix.symbol) + unit.symbol(), 0.0,
                            unit.factor() * prefix.factor, unit.dimensions());
}

std::optional<SingleUnit> vocabulary_unit(std::string_view name, std::span<const NamedUnit> vocabulary) {
    for (const NamedUnit& entry : vocabulary) {
        if (entry.text == name) return entry.unit;
    }
    for (const NamedUnit& entry : vocabulary) {
        if (!entry.prefixable || !name.ends_with(entry.text) || name.size() == entry.text.size()) continue;
        const std::string_view head = name.substr(0, name.size() - entry.text.size());
        for (const PrefixDefinition& prefix : PREFIXES) {
            if ((entry.is_symbol ? prefix.symbol : prefix.name) == head) return prefixed(prefix, entry.unit);
        }
    }
    return std::nullopt;
}

std::optional<UnitCollection> single_of(std::optional<SingleUnit> unit) {
    if (!unit) return std::nullopt;
    return UnitCollection::single(*unit);
}

std::optional<UnitCollection> exact_name(std::string_view name, std::span<const NamedUnit> vocabulary) {
    if (!vocabulary.empty()) {
        if (auto unit = vocabulary_unit(name, vocabulary)) return UnitCollection::single(*unit);
    }
    return single_of(search_for_unit_name(name));
}

// A prefix symbol before "l", the litre written in lower case ("ml" and "l" are aliases themselves).
std::optional<UnitCollection> lower_case_litre(std::string_view name) {
    if (name.size() < 2 || name.back() != 'l') return std::nullopt;
    const std::string_view head = name.substr(0, name.size() - 1);
    for (const PrefixDefinition& prefix : PREFIXES) {
        if (prefix.symbol == head) return single_of(search_for_unit_name(std::string(head) + "L"));
    }
    return std::nullopt;
}

// One name read leniently: the vocabulary and the catalogue as written, respellings, the micro sign,
// a lower-case litre and plurals of names.
std::optional<UnitCollection> lenient_name(std::string_view name, std::span<const NamedUnit> vocabulary,
                                           bool allow_plural = true) {
    if (auto units = exact_name(name, vocabulary)) return units;
    for (const Respelling& row : RESPELLINGS) {
        if (row.from != name) continue;
        if (row.to.empty()) return UnitCollection::empty();
        return UnitCollection::from_unit_name(row.to);
    }
    for (std::string_view mu : {std::string_view("\u00B5"), std::string_view("\u03BC")}) {
        if (name.starts_with(mu) && name.size() > mu.size()) {
            std::string micro("u");
            micro.append(name.substr(mu.size()));
            // One micro sign only: "µµm" stays unread (and the depth stays bounded).
            if (micro.find(mu) != std::string::npos) return std::nullopt;
            return lenient_name(micro, vocabulary, allow_plural);
        }
    }
    if (auto units = lower_case_litre(name)) return units;
    if (!allow_plural) return std::nullopt;
    // Plurals of names ("meters", "inches", "centuries"), never of symbols ("mins" is not "min"s).
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 3> ENDINGS{
        {{"ies", "y"}, {"es", ""}, {"s", ""}}};
    for (const auto& [ending, replacement] : ENDINGS) {
        if (!name.ends_with(ending)) continue;
        std::string singular(name.substr(0, name.size() - ending.size()));
        singular += replacement;
        if (singular.size() < 3) continue;
        std::optional<SingleUnit> unit = vocabulary.empty() ? std::nullopt : vocabulary_unit(singular, vocabulary);
        if (!unit) unit = search_for_unit_name(singular);
        if (unit && (unit->symbol() != singular || unit->name() == singular)) return UnitCollection::single(*unit);
        if (auto units = lenient_name(singular, vocabulary, false)) return units;
    }
    return std::nullopt;
}

// ---- Expressions ---------------------------------------------------------------------------------------

class Reader {
public:
    Reader(std::string_view text, std::string_view written, std::span<const NamedUnit> vocabulary)
        : text_(text), written_(written), vocabulary_(vocabulary) {}

    Result<UnitCollection> read() {
        if (!read_expression(false)) return fail(std::move(*error_));
        skip_space();
        if (at_ != text_.size()) return refuse_at_end();
        // Applied in text order, as from_unit_name applies its terms, so that text in the library's
        // grammar gives the same factor bit for bit however it is spelt.
        UnitCollection result = UnitCollection::empty();
        for (Term& term : terms_) {
            // "s-1" divides by s, as "/s" does.
            const bool divide = term.exponent < 0.0 ? !term.divide : term.divide;
            multiply_by_unit_power_internal(result, std::move(term.unit), std::fabs(term.exponent), divide);
        }
        return result;
    }

private:
    std::string_view text_;
    std::string_view written_;
    std::span<const NamedUnit> vocabulary_;
    std::size_t at_ = 0;
    std::optional<TarvelError> error_;
    struct Term {
        SingleUnit unit;
        double exponent;
        bool divide;
    };
    std::vector<Term> terms_;
    static constexpr int MAX_DEPTH = 32;
    int depth_ = 0;

    std::string_view rest() const { return text_.substr(at_); }

    // Skips white space; whether there was any.
    bool skip_space() {
        const std::size_t start = at_;
        while (std::size_t length = leading_space(rest())) at_ += length;
        return at_ != start;
    }

    bool not_found() {
        error_ = TarvelError::unit_not_found(std::string(written_));
        return false;
    }
    bool refuse(Refusal refusal, std::string_view term) {
        error_ = TarvelError::unit_not_read(std::string(written_), refusal_reason(refusal, term));
        return false;
    }
    Result<UnitCollection> refuse_at_end() {
        if (rest().starts_with(')')) refuse(Refusal::Unbalanced, written_);
        else not_found();
        return fail(std::move(*error_));
    }

    // The terms of `units` raised to `exponent`, multiplying or dividing.
    void add(const UnitCollection& units, double exponent, bool divide) {
        for (const UnitEntry& entry : units.unit_map) {
            terms_.push_back(Term{entry.unit, entry.exponent * exponent, divide});
        }
    }

    bool at_per() {
        return word_is(text_, at_, "per") && leading_space(text_.substr(at_ + 3)) > 0;
    }

    // expression := group (("/" | "per") group)*; every group after a "/" divides.
    bool read_expression(bool divide) {
        if (!read_group(divide, false)) return false;
        while (true) {
            skip_space();
            if (rest().starts_with('/')) {
                ++at_;
            } else if (at_per()) {
                at_ += 3;
            } else {
                return true;
            }
            if (!read_group(!divide, true)) return false;
        }
    }

    // group := factor (("." | "*" | "·" | "⋅" | " ") factor)*. After a "/", only "." may join factors, as
    // in the library's grammar ("J/kg.K" divides by both); another product sign there is ambiguous.
    bool read_group(bool divide, bool after_slash) {
        if (!read_factor(divide)) return false;
        while (true) {
            const bool spaced = skip_space();
            const std::string_view r = rest();
            if (r.empty() || r.starts_with(')') || r.starts_with('/') || at_per()) return true;
            if (r.starts_with('.')) {
                ++at_;
            } else if (const std::size_t sign = product_sign(r)) {
                if (after_slash) return refuse(Refusal::AfterSlash, r.substr(0, sign));
                at_ += sign;
            } else if (spaced) {
                if (after_slash) return refuse(Refusal::AfterSlash, " ");
            } else {
                return not_found();
            }
            if (!read_factor(divide)) return false;
        }
    }

    // factor := "(" expression ")" exponent? | "1" | name exponent?
    bool read_factor(bool divide) {
        skip_space();
        const std::string_view r = rest();
        if (r.empty()) return not_found();
        if (r.front() == '(') {
            // Brackets nest at most this deep: the reader recurses once per level.
            if (++depth_ > MAX_DEPTH) return refuse(Refusal::Unbalanced, written_);
            ++at_;
            const std::size_t first = terms_.size();
            if (!read_expression(divide)) return false;
            skip_space();
            if (!rest().starts_with(')')) return refuse(Refusal::Unbalanced, written_);
            ++at_;
            double exponent = 1.0;
            if (!read_exponent(exponent)) return false;
            for (std::size_t i = first; i < terms_.size(); ++i) terms_[i].exponent *= exponent;
            --depth_;
            return true;
        }
        if (is_digit(r.front())) {
            std::size_t end = 0;
            while (end < r.size() && (is_digit(r[end]) || r[end] == '.' || r[end] == 'e' || r[end] == 'E')) ++end;
            const std::string_view number = r.substr(0, end);
            // "1" stands for no unit ("1/s", the CF "1"); any other number is a quantity's, not a unit's.
            if (number != "1") return refuse(Refusal::NumberInUnits, number);
            at_ += 1;
            return true;
        }
        // "square meter", "cubic feet".
        static constexpr std::array<std::pair<std::string_view, int>, 4> POWER_WORDS{
            {{"square", 2}, {"sq", 2}, {"cubic", 3}, {"cu", 3}}};
        int power = 1;
        for (const auto& [word, value] : POWER_WORDS) {
            if (word_is(text_, at_, word) && leading_space(text_.substr(at_ + word.size())) > 0) {
                at_ += word.size();
                skip_space();
                power = value;
                break;
            }
        }
        std::optional<UnitCollection> units = read_name();
        if (!units) return false;
        double exponent = 1.0;
        if (!read_exponent(exponent)) return false;
        add(*units, exponent * power, divide);
        return true;
    }

    // The longest run of words from here that names a unit: "fl oz", "degree Celsius", "nautical miles".
    std::optional<UnitCollection> read_name() {
        const std::size_t start = at_;
        std::array<std::size_t, 4> ends{};
        std::size_t count = 0;
        std::size_t at = start;
        while (count < ends.size()) {
            std::size_t end = at;
            if (count > 0 && text_.substr(end).starts_with('(')) {
                // A bracketed qualifier of a name: "fl oz (imp)".
                const std::size_t close = text_.find(')', end);
                if (close == std::string_view::npos) break;
                end = close + 1;
            } else {
                while (end < text_.size() && is_name_char(text_.substr(end))) ++end;
            }
            if (end == at) break;
            ends[count++] = end;
            // Only a word that ends at white space can continue into the next one.
            std::size_t next = end;
            while (std::size_t length = leading_space(text_.substr(next))) next += length;
            if (next == end || next == text_.size()) break;
            at = next;
        }
        if (count == 0) {
            not_found();
            return std::nullopt;
        }
        for (std::size_t k = count; k-- > 0;) {
            const std::string_view name = text_.substr(start, ends[k] - start);
            if (k > 0 && (name.ends_with(" per") || name.ends_with(" squared") || name.ends_with(" cubed"))) continue;
            if (is_ambiguous(name)) {
                refuse(Refusal::Ambiguous, name);
                return std::nullopt;
            }
            if (std::optional<UnitCollection> units = lenient_name(name, vocabulary_)) {
                at_ = ends[k];
                return units;
            }
        }
        error_ = TarvelError::unit_not_found(std::string(written_));
        return std::nullopt;
    }

    // Reads a signed whole number, or when `fraction` also a decimal or a/b; false when there is none.
    bool read_number(double& value, bool fraction, bool slash = false) {
        std::string_view r = rest();
        std::size_t end = 0;
        if (end < r.size() && (r[end] == '-' || r[end] == '+')) ++end;
        const std::size_t digits = end;
        while (end < r.size() && is_digit(r[end])) ++end;
        if (end == digits) return false;
        if (fraction && end + 1 < r.size() && r[end] == '.' && is_digit(r[end + 1])) {
            ++end;
            while (end < r.size() && is_digit(r[end])) ++end;
        }
        value = std::strtod(std::string(r.substr(0, end)).c_str(), nullptr);
        at_ += end;
        if (slash && rest().starts_with('/')) {
            ++at_;
            double denominator = 0.0;
            if (!read_number(denominator, false) || denominator == 0.0) return false;
            value /= denominator;
        }
        return true;
    }

    // exponent := ("^" | "**") (number | "(" number ")") | signed digits | superscripts | " squared" | " cubed"
    bool read_exponent(double& exponent) {
        std::string_view r = rest();
        if (r.starts_with('^') || r.starts_with("**")) {
            at_ += r.starts_with('^') ? 1 : 2;
            const bool bracket = rest().starts_with('(');
            if (bracket) ++at_;
            const std::size_t start = at_;
            if (!read_number(exponent, true, bracket) || (bracket && !rest().starts_with(')'))) {
                return refuse(Refusal::Exponent, text_.substr(start, at_ - start + 1));
            }
            if (bracket) ++at_;
            return true;
        }
        if (!r.empty() && (is_digit(r.front()) || ((r.front() == '-' || r.front() == '+') && r.size() > 1 && is_digit(r[1])))) {
            return read_number(exponent, false);
        }
        std::size_t length = 0;
        int sign = 1;
        bool any = false;
        double value = 0.0;
        for (int digit = superscript_at(r, length); digit >= 0; digit = superscript_at(r, length)) {
            if (digit >= 10) {
                if (any || sign == -1) return refuse(Refusal::Exponent, r.substr(0, length));
                if (digit == 10) sign = -1;
            } else {
                value = value * 10 + digit;
                any = true;
            }
            at_ += length;
            r = rest();
        }
        if (any) {
            exponent = sign * value;
            return true;
        }
        if (sign == -1) return refuse(Refusal::Exponent, "\u207B");
        // "meters squared", "feet cubed".
        const std::size_t before = at_;
        if (skip_space()) {
            if (word_is(text_, at_, "squared")) {
                at_ += 7;
                exponent = 2.0;
                return true;
            }
            if (word_is(text_, at_, "cubed")) {
                at_ += 5;
                exponent = 3.0;
                return true;
            }
        }
        at_ = before;
        return true;
    }
};

}  // namespace

bool has_ambiguous_symbol(const UnitCollection& units) {
    for (const UnitEntry& entry : units.unit_map) {
        for (std::string_view symbol : AMBIGUOUS_SYMBOLS) {
            if (entry.unit.symbol() == symbol) return true;
        }
    }
    return false;
}

bool is_time_reference(std::string_view text) {
    // "<unit> since <date>", with any spacing; CF allows "after" and "from" too.
    for (std::string_view word : {std::string_view("since"), std::string_view("after"), std::string_view("from")}) {
        const std::size_t at = text.find(word);
        if (at == std::string_view::npos || at == 0) continue;
        const bool space_before = trailing_space(text.substr(0, at)) > 0;
        const bool space_after = at + word.size() < text.size() && leading_space(text.substr(at + word.size())) > 0;
        if (space_before && space_after) return true;
    }
    return false;
}

Result<UnitCollection> read_common_notation(std::string_view text, std::span<const NamedUnit> vocabulary) {
    // The library's own grammar first: it is fast, and its meaning wins.
    if (std::optional<UnitCollection> units = UnitCollection::from_unit_name(text)) {
        if (!has_ambiguous_symbol(*units)) return std::move(*units);
    }
    const std::string_view trimmed = trim_white_space(text);
    if (trimmed.empty()) return fail(TarvelError::unit_not_found(std::string(text)));
    if (is_time_reference(trimmed)) {
        return fail(TarvelError::unit_not_read(std::string(text), refusal_reason(Refusal::TimeReference, trimmed)));
    }
    return Reader(trimmed, text, vocabulary).read();
}

std::optional<std::string> common_notation_reading(std::string_view text) {
    Result<UnitCollection> units = read_common_notation(text);
    // Text that cancels to a pure number ("m/m") is refused by Tarvel.unit on purpose: no note.
    if (!units || units->unit_map.empty()) return std::nullopt;
    std::string shown = as_string(*units);
    return shown.substr(1, shown.size() - 2);
}

std::string as_cf_string(const UnitCollection& units) {
    std::string out;
    for (const UnitEntry& entry : units.unit_map) {
        if (entry.exponent == 0.0) continue;
        std::string_view symbol = entry.unit.symbol();
        for (const Respelling& row : CF_SYMBOLS) {
            if (row.from == symbol) symbol = row.to;
        }
        if (!out.empty()) out += ' ';
        out += symbol;
        if (entry.exponent == 1.0) continue;
        // Whole exponents follow the symbol ("s-1"); others need the caret to be read back ("m^0.5").
        if (entry.exponent != std::trunc(entry.exponent)) out += '^';
        append_number(out, entry.exponent);
    }
    return out.empty() ? std::string("1") : out;
}

}  // namespace tarvel
