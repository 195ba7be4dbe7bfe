#include "unit/suggestions.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <utility>

#include "constant/constants.hpp"
#include "error/notes.hpp"
#include "unit/unit_collection.hpp"
#include "unit/unit_defs/log_units.hpp"
#include "unit/unit_defs/unit_defs.hpp"
#include "unit/white_space.hpp"

namespace tarvel {

namespace {

constexpr std::size_t MAX_SUGGESTIONS = 3;
// Longer texts get no notes: the work grows with the text, and nobody mistypes that much.
constexpr std::size_t MAX_TEXT = 200;
// edit_distance works on its own stack rows up to this length.
constexpr std::size_t MAX_COMPARED = 64;

using HintSet = std::uint32_t;
constexpr HintSet hint_bit(Hint hint) { return HintSet{1} << static_cast<unsigned>(hint); }

std::string lower_ascii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }
bool resolves(std::string_view name) { return search_for_unit_name(name).has_value(); }
bool parses(std::string_view text) { return UnitCollection::from_unit_name(text).has_value(); }

std::string replace_all(std::string_view text, std::string_view from, std::string_view to) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = text.find(from); at != std::string_view::npos; at = text.find(from)) {
        out.append(text.substr(0, at)).append(to);
        text.remove_prefix(at + from.size());
    }
    out.append(text);
    return out;
}

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> pieces;
    while (true) {
        const std::size_t at = text.find(separator);
        pieces.push_back(text.substr(0, at));
        if (at == std::string_view::npos) return pieces;
        text.remove_prefix(at + 1);
    }
}

std::vector<std::string_view> split_words(std::string_view text) {
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while (at < text.size()) {
        while (std::size_t length = leading_space(text.substr(at))) at += length;
        const std::size_t start = at;
        while (at < text.size() && leading_space(text.substr(at)) == 0) ++at;
        if (at > start) words.push_back(text.substr(start, at - start));
    }
    return words;
}

// How far a mistyped name may be from what was meant, by its length.
std::size_t distance_limit(std::size_t length) noexcept {
    if (length <= 2) return 0;
    if (length <= 4) return 1;
    if (length <= 8) return 2;
    return 3;
}

// ---- Single names ------------------------------------------------------------------------------------

struct Respelling {
    std::string_view from;
    std::string_view to;
    Hint hint;
};

// Whole names that users write for a catalogue unit.
constexpr std::array<Respelling, 16> RESPELLINGS{{
    {"h", "hr", Hint::Hour},
    {"sec", "s", Hint::TimeSymbol},
    {"secs", "s", Hint::TimeSymbol},
    {"hrs", "hr", Hint::Plural},
    {"degC", "°C", Hint::Temperature},
    {"degF", "°F", Hint::Temperature},
    {"degK", "K", Hint::Temperature},
    {"deg K", "K", Hint::Temperature},
    {"°K", "K", Hint::Temperature},
    {"\u2103", "°C", Hint::Temperature},
    {"\u2109", "°F", Hint::Temperature},
    {"degrees Celsius", "degree Celsius", Hint::Plural},
    {"degrees Fahrenheit", "degree Fahrenheit", Hint::Plural},
    {"feet", "foot", Hint::Plural},
    {"lbs", "lb", Hint::Plural},
    {"litre", "liter", Hint::Spelling},
}};

// Names that stand for a quotient of two units.
struct Quotient {
    std::string_view from;
    std::string_view numerator;
    std::string_view denominator;
};
constexpr std::array<Quotient, 5> QUOTIENTS{{
    {"mph", "mi", "hr"},
    {"kph", "km", "hr"},
    {"kmh", "km", "hr"},
    {"kmph", "km", "hr"},
    {"fps", "ft", "s"},
}};

struct Fixed {
    std::string name;
    HintSet hints = 0;
};

// Names whose nearest catalogue name (by case or by one letter) is another quantity or orders of
// magnitude off: the lookup notes say what they mean and suggest the name only where it is one unit.
// Checked before every other rule, so none of them offers the near name.
struct NearMissRow {
    std::string_view written;
    std::string_view meant;  // a name to put in its place, or empty
    NearMiss miss;
};
constexpr std::array<NearMissRow, 7> NEAR_MISSES{{
    {"Cal", "kcal", NearMiss::FoodCalorie},
    {"Calorie", "kcal", NearMiss::FoodCalorie},
    {"Calories", "kcal", NearMiss::FoodCalorie},
    {"NM", "nmi", NearMiss::NauticalMile},
    {"St", "", NearMiss::Stokes},
    {"rpm", "", NearMiss::Revolutions},
    {"dB", "", NearMiss::Decibel},
}};

const NearMissRow* near_miss(std::string_view name) noexcept {
    for (const NearMissRow& row : NEAR_MISSES) {
        if (row.written == name) return &row;
    }
    return nullptr;
}

std::optional<Fixed> respelled(std::string_view name, HintSet hints) {
    for (const Respelling& row : RESPELLINGS) {
        if (row.from == name) return Fixed{std::string(row.to), hints | hint_bit(row.hint)};
    }
    if (resolves(name)) return Fixed{std::string(name), hints};
    return std::nullopt;
}

bool is_prefix_symbol(char c) noexcept {
    for (const PrefixDefinition& prefix : PREFIXES) {
        if (prefix.symbol.size() == 1 && prefix.symbol[0] == c) return true;
    }
    return false;
}

// Lower-casing turned a leading prefix into another one ("MM" into 'mm', mega into milli): the fixed
// name is that prefix before a unit ('meter' is no prefix before "eter").
bool lowers_a_prefix(std::string_view written, std::string_view fixed) {
    if (written.size() < 2 || fixed.size() < 2 || written[0] < 'A' || written[0] > 'Z') return false;
    const char lower = static_cast<char>(written[0] - 'A' + 'a');
    return fixed[0] == lower && is_prefix_symbol(written[0]) && is_prefix_symbol(lower) && resolves(fixed.substr(1));
}

// The forms of one name that resolve after undoing the usual slips, first the closest.
std::optional<Fixed> fix_name(std::string_view name) {
    // A near miss is fixed to what it means, or left unresolved for its note.
    if (const NearMissRow* row = near_miss(name)) {
        if (row->meant.empty() || !resolves(row->meant)) return std::nullopt;
        return Fixed{std::string(row->meant), 0};
    }
    std::vector<std::pair<std::string, HintSet>> bases{{std::string(name), 0}};
    const std::string lower = lower_ascii(name);
    if (lower != name) bases.emplace_back(lower, hint_bit(Hint::Case));
    for (auto& [base, base_hints] : bases) {
        std::string form = base;
        HintSet hints = base_hints;
        // "µ" (micro sign) and "μ" (Greek mu) for the prefix "u".
        for (std::string_view mu : {std::string_view("\u00B5"), std::string_view("\u03BC")}) {
            if (form.starts_with(mu)) {
                std::string micro("u");
                micro.append(std::string_view(form).substr(mu.size()));
                form = std::move(micro);
                hints |= hint_bit(Hint::Micro);
            }
        }
        std::vector<std::pair<std::string, HintSet>> forms{{form, hints}};
        if (std::string spelt = replace_all(form, "litre", "liter"); spelt != form) {
            forms.emplace_back(std::move(spelt), hints | hint_bit(Hint::Spelling));
        }
        for (auto& [candidate, candidate_hints] : forms) {
            if (auto fixed = respelled(candidate, candidate_hints)) {
                if (lowers_a_prefix(name, fixed->name)) fixed->hints |= hint_bit(Hint::PrefixCase);
                return fixed;
            }
            // Plurals: "meters", "inches", "centuries".
            const HintSet plural = candidate_hints | hint_bit(Hint::Plural);
            if (candidate.ends_with("ies")) {
                if (auto fixed = respelled(candidate.substr(0, candidate.size() - 3) + "y", plural))
                    return fixed;
            }
            if (candidate.ends_with("es")) {
                if (auto fixed = respelled(candidate.substr(0, candidate.size() - 2), plural)) return fixed;
            }
            if (candidate.size() > 1 && candidate.ends_with("s")) {
                if (auto fixed = respelled(candidate.substr(0, candidate.size() - 1), plural)) return fixed;
            }
        }
    }
    return std::nullopt;
}

struct Candidate {
    std::string text;
    std::size_t score;
    std::size_t order;
};

void keep_best(std::vector<Candidate>& candidates) {
    std::stable_sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
        return a.score != b.score ? a.score < b.score : a.order < b.order;
    });
    std::vector<Candidate> kept;
    for (Candidate& candidate : candidates) {
        const bool seen = std::any_of(kept.begin(), kept.end(),
                                      [&](const Candidate& k) { return k.text == candidate.text; });
        if (!seen) kept.push_back(std::move(candidate));
    }
    candidates = std::move(kept);
}

// A name to compare against, with its lower-case form.
struct Key {
    std::string_view text;
    std::string lower;
    std::string_view prefix;  // written before the key in a suggestion
};

// Scores `key` against the lower-cased text: twice the edit distance, one more when the case differs.
void consider(std::vector<Candidate>& out, std::string_view text, std::string_view lower_text, const Key& key,
              std::size_t order) {
    const std::size_t limit = distance_limit(lower_text.size());
    const std::size_t size = key.lower.size();
    if (size + limit < lower_text.size() || lower_text.size() + limit < size) return;
    const std::size_t distance = edit_distance(lower_text, key.lower, limit);
    if (distance > limit) return;
    const bool same_case =
        distance == 0 ? text == key.text : edit_distance(text, key.text, distance) <= distance;
    std::string suggestion(key.prefix);
    suggestion += key.text;
    out.push_back(Candidate{std::move(suggestion), distance * 2 + (same_case ? 0 : 1), order});
}

std::vector<Key> keys_of(const std::vector<std::string_view>& texts) {
    std::vector<Key> keys;
    keys.reserve(texts.size());
    for (std::string_view text : texts) keys.push_back(Key{text, lower_ascii(text), {}});
    return keys;
}

// Every name, symbol and alias of the catalogue, in table order; made on the first failed lookup.
const std::vector<Key>& unit_keys() {
    static const std::vector<Key> keys = [] {
        std::vector<std::string_view> texts;
        for (const UnitDefinition& row : UNITS) {
            texts.push_back(row.name);
            texts.push_back(row.symbol);
        }
        for (const UnitAlias& alias : UNIT_ALIASES) texts.push_back(alias.alias);
        return keys_of(texts);
    }();
    return keys;
}

// Names and aliases only: what may follow a prefix name.
const std::vector<Key>& unit_name_keys() {
    static const std::vector<Key> keys = [] {
        std::vector<std::string_view> texts;
        for (const UnitDefinition& row : UNITS) texts.push_back(row.name);
        for (const UnitAlias& alias : UNIT_ALIASES) texts.push_back(alias.alias);
        return keys_of(texts);
    }();
    return keys;
}

// Catalogue names, symbols and aliases near a name that does not resolve, nearest first.
std::vector<std::string> nearest_units(std::string_view name) {
    std::vector<Candidate> candidates;
    // One or two letters are near too many symbols to mean any of them.
    if (name.size() <= 2 || name.size() > MAX_COMPARED) return {};
    const std::string lower = lower_ascii(name);
    std::size_t order = 0;
    for (const Key& key : unit_keys()) consider(candidates, name, lower, key, order++);
    // A prefix written out in full before a mistyped name: "kilomter".
    for (const PrefixDefinition& prefix : PREFIXES) {
        if (!std::string_view(lower).starts_with(prefix.name)) continue;
        const std::string_view rest = std::string_view(name).substr(prefix.name.size());
        if (rest.size() < 3) continue;
        const std::string lower_rest = lower_ascii(rest);
        for (const Key& key : unit_name_keys()) {
            Key prefixed{key.text, key.lower, prefix.name};
            consider(candidates, rest, lower_rest, prefixed, order++);
        }
    }
    keep_best(candidates);
    std::vector<std::string> out;
    for (Candidate& candidate : candidates) {
        // Only the nearest: a farther name is rarely what was meant.
        if (out.size() == MAX_SUGGESTIONS || candidate.score / 2 > candidates.front().score / 2) break;
        if (candidate.text != name && resolves(candidate.text)) out.push_back(std::move(candidate.text));
    }
    return out;
}

// ---- Expressions -------------------------------------------------------------------------------------

struct Term {
    std::string name;
    int exponent = 1;
};

// A unit expression read leniently: "^" and "**" exponents, negative exponents, "*" and spaces between
// terms, brackets and several "/" are all taken, and every slip is recorded as a hint.
struct Expression {
    std::array<std::vector<Term>, 2> sides;  // numerator, denominator
    HintSet hints = 0;
    // Terms whose names could not be made to resolve: (side, position).
    std::vector<std::pair<std::size_t, std::size_t>> unresolved;
};

// Brackets that only group terms ("J/(kg.K)", "(kg.m)/s2") can go: each pair opens at the start or after
// a separator and holds no "/" (taking away "m/(s/kg)" would change its meaning). Names with brackets
// ("degree (angle)") are left alone.
bool remove_grouping_brackets(std::string& text) {
    if (text.find('(') == std::string::npos) return false;
    std::string out;
    int depth = 0;
    bool removed = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '(') {
            std::size_t before = out.size();
            while (before > 0 && out[before - 1] == ' ') --before;
            if (before > 0 && out[before - 1] != '/' && out[before - 1] != '.') return false;
            const std::size_t close = text.find(')', i);
            if (close == std::string::npos || text.substr(i, close - i).find('/') != std::string::npos ||
                text.substr(i + 1, close - i - 1).find('(') != std::string::npos) {
                return false;
            }
            ++depth;
            removed = true;
            continue;
        }
        if (c == ')' && depth > 0) {
            --depth;
            continue;
        }
        out += c;
    }
    if (removed) text = std::move(out);
    return removed;
}

bool read_term(std::string_view word, std::size_t side, Expression& expression) {
    std::string_view name = word;
    int exponent = 1;
    if (const std::size_t caret = name.find('^'); caret != std::string_view::npos) {
        std::string_view power = name.substr(caret + 1);
        name = name.substr(0, caret);
        bool negative = false;
        if (!power.empty() && (power.front() == '-' || power.front() == '+')) {
            negative = power.front() == '-';
            power.remove_prefix(1);
        }
        if (power.empty() || power.size() > 2) return false;
        exponent = 0;
        for (char c : power) {
            if (!is_digit(c)) return false;
            exponent = exponent * 10 + (c - '0');
        }
        if (negative) exponent = -exponent;
        expression.hints |= hint_bit(Hint::Exponent);
    } else if (!name.empty() && is_digit(name.back())) {
        std::size_t digits = name.size();
        while (digits > 0 && is_digit(name[digits - 1])) --digits;
        if (digits > 1 && name[digits - 1] == '-' && name.size() - digits <= 2) {
            // "s-1", "m-2": the exponent notation of many papers.
            exponent = 0;
            for (char c : name.substr(digits)) exponent = exponent * 10 + (c - '0');
            exponent = -exponent;
            name = name.substr(0, digits - 1);
            expression.hints |= hint_bit(Hint::Exponent);
        } else {
            exponent = name.back() - '0';
            name.remove_suffix(1);
        }
    }
    name = trim_white_space(name);
    if (name.empty() || exponent == 0) return false;
    if (exponent < 0) {
        side = 1 - side;
        exponent = -exponent;
    }
    for (const Quotient& row : QUOTIENTS) {
        if (lower_ascii(name) != row.from) continue;
        expression.sides[side].push_back(Term{std::string(row.numerator), exponent});
        expression.sides[1 - side].push_back(Term{std::string(row.denominator), exponent});
        expression.hints |= hint_bit(Hint::Abbreviation);
        return true;
    }
    std::vector<Term>& terms = expression.sides[side];
    if (resolves(name)) {
        terms.push_back(Term{std::string(name), exponent});
    } else if (std::optional<Fixed> fixed = fix_name(name)) {
        terms.push_back(Term{std::move(fixed->name), exponent});
        expression.hints |= fixed->hints;
    } else {
        expression.unresolved.emplace_back(side, terms.size());
        terms.push_back(Term{std::string(name), exponent});
    }
    return true;
}

std::optional<Expression> read_leniently(std::string_view text) {
    Expression expression;
    std::string s(trim_white_space(text));
    if (s.find("**") != std::string::npos) s = replace_all(s, "**", "^");
    for (std::string_view times :
         {std::string_view("*"), std::string_view("\u00B7"), std::string_view("\u22C5")}) {
        if (s.find(times) == std::string::npos) continue;
        s = replace_all(s, times, ".");
        expression.hints |= hint_bit(Hint::Separator);
    }
    if (remove_grouping_brackets(s)) expression.hints |= hint_bit(Hint::Brackets);
    const std::vector<std::string_view> pieces = split(s, '/');
    if (pieces.size() > 2) expression.hints |= hint_bit(Hint::OneSlash);
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const std::size_t side = i == 0 ? 0 : 1;
        for (std::string_view token : split(pieces[i], '.')) {
            const std::string_view written = token;
            token = trim_white_space(token);
            // Only a space between two terms matters: pieces.size() > 1 or more than one token.
            if (token != written && !token.empty() &&
                (pieces.size() > 1 || pieces[i].find('.') != std::string_view::npos)) {
                expression.hints |= hint_bit(Hint::Spaces);
            }
            if (token.empty() || token == "1") continue;
            // Words of a name with spaces stay together ("fl oz", "deg C"); other words are terms.
            const std::vector<std::string_view> words = split_words(token);
            if (words.size() > 1 && !resolves(token) && !fix_name(token)) {
                expression.hints |= hint_bit(Hint::Separator);
                for (std::string_view word : words) {
                    if (!read_term(word, side, expression)) return std::nullopt;
                }
            } else if (!read_term(token, side, expression)) {
                return std::nullopt;
            }
        }
    }
    return expression;
}

// The expression as the parser reads it: terms in their order, a repeated unit written once with the
// sum of its exponents; nothing when an exponent does not fit one digit.
std::optional<std::string> render(const Expression& expression) {
    std::array<std::string, 2> texts;
    for (std::size_t side = 0; side < 2; ++side) {
        std::vector<Term> merged;
        for (const Term& term : expression.sides[side]) {
            auto same = std::find_if(merged.begin(), merged.end(),
                                     [&](const Term& m) { return m.name == term.name; });
            if (same == merged.end()) {
                merged.push_back(term);
            } else {
                same->exponent += term.exponent;
            }
        }
        for (const Term& term : merged) {
            if (term.exponent > 9) return std::nullopt;
            if (!texts[side].empty()) texts[side] += '.';
            texts[side] += term.name;
            if (term.exponent != 1) texts[side] += static_cast<char>('0' + term.exponent);
        }
    }
    if (texts[1].empty()) {
        if (texts[0].empty()) return std::nullopt;
        return texts[0];
    }
    return (texts[0].empty() ? std::string("1") : texts[0]) + "/" + texts[1];
}

// The terms that the parser itself cannot read, as written.
std::vector<std::string_view> failing_terms(std::string_view text, std::size_t& term_count) {
    std::vector<std::string_view> failing;
    term_count = 0;
    const std::vector<std::string_view> pieces = split(trim_white_space(text), '/');
    if (pieces.size() > 2) return failing;
    for (std::string_view piece : pieces) {
        for (std::string_view term : split(piece, '.')) {
            if (term.empty() || term == "1") continue;
            ++term_count;
            // A term that only has spaces around it is a slip of layout, told by a hint of its own.
            const std::string_view bare = trim_white_space(term);
            std::size_t bare_count = 0;
            if (bare != term && !bare.empty() && failing_terms(bare, bare_count).empty()) continue;
            std::string_view name = term;
            if (is_digit(name.back())) name.remove_suffix(1);
            const bool digits = std::any_of(name.begin(), name.end(), is_digit);
            if (name.empty() || digits || !resolves(name)) failing.push_back(term);
        }
    }
    return failing;
}

void add_hint_notes(std::vector<std::string>& notes, HintSet hints) {
    for (unsigned bit = 0; bit < 32; ++bit) {
        if (hints & (HintSet{1} << bit)) notes.push_back(note_hint(static_cast<Hint>(bit)));
    }
}

// Candidates scored against a whole name (constants, logarithmic scales); words of the text that are
// names by themselves come after the near spellings.
std::vector<std::string> nearest_names(std::string_view text, const std::vector<Key>& keys) {
    std::vector<Candidate> candidates;
    if (text.size() > MAX_COMPARED) return {};
    const std::string lower = lower_ascii(text);
    std::string singular = lower;
    if (singular.size() > 1 && singular.ends_with('s')) singular.pop_back();
    const std::vector<std::string_view> words = split_words(lower);
    const std::size_t word_score = 2 * distance_limit(lower.size()) + 2;
    std::size_t order = 0;
    for (const Key& key : keys) {
        const std::size_t at = order++;
        if (key.lower == singular && singular != lower) {
            candidates.push_back(Candidate{std::string(key.text), 1, at});
            continue;
        }
        consider(candidates, text, lower, key, at);
        if (words.size() < 2) continue;
        for (std::string_view word : words) {
            if (word.size() >= 3 && word == key.lower) {
                candidates.push_back(Candidate{std::string(key.text), word_score, at});
            }
        }
    }
    keep_best(candidates);
    std::vector<std::string> out;
    for (Candidate& candidate : candidates) {
        if (out.size() == MAX_SUGGESTIONS) break;
        // The nearest spellings, and the words that are names.
        if (candidate.score != word_score && candidate.score / 2 > candidates.front().score / 2) continue;
        if (candidate.text != text) out.push_back(std::move(candidate.text));
    }
    return out;
}

}  // namespace

std::size_t edit_distance(std::string_view a, std::string_view b, std::size_t limit) {
    if (a.size() > MAX_COMPARED || b.size() > MAX_COMPARED) return limit + 1;
    // Three rows in turn: the one before the previous, the previous and the current.
    std::array<std::array<std::size_t, MAX_COMPARED + 1>, 3> rows;
    for (std::size_t j = 0; j <= b.size(); ++j) rows[0][j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        const auto& before = rows[(i + 1) % 3];
        const auto& previous = rows[(i + 2) % 3];
        auto& current = rows[i % 3];
        current[0] = i;
        std::size_t row_best = current[0];
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t substitution = previous[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1);
            std::size_t best = std::min({previous[j] + 1, current[j - 1] + 1, substitution});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
                best = std::min(best, before[j - 2] + 1);
            }
            current[j] = best;
            row_best = std::min(row_best, best);
        }
        if (row_best > limit) return limit + 1;
    }
    return std::min(rows[a.size() % 3][b.size()], limit + 1);
}

std::vector<std::string> unit_lookup_notes(std::string_view text) {
    std::vector<std::string> notes;
    const std::string_view trimmed = trim_white_space(text);
    if (trimmed.empty() || trimmed.size() > MAX_TEXT) return notes;
    // The near misses the text holds, each said once, whatever else is suggested.
    auto add_near_misses = [&] {
        for (std::string_view word : split_words(trimmed)) {
            for (std::string_view piece : split(word, '/')) {
                for (std::string_view term : split(piece, '.')) {
                    while (!term.empty() && is_digit(term.back())) term.remove_suffix(1);
                    const NearMissRow* row = near_miss(term);
                    const std::string note = row ? note_near_miss(row->miss) : std::string();
                    if (row && std::find(notes.begin(), notes.end(), note) == notes.end()) notes.push_back(note);
                }
            }
        }
    };

    std::size_t term_count = 0;
    const std::vector<std::string_view> failing = failing_terms(trimmed, term_count);
    if (term_count > 1) {
        for (std::size_t i = 0; i < failing.size() && i < MAX_SUGGESTIONS; ++i) {
            notes.push_back(note_not_a_unit(failing[i]));
        }
    }

    std::optional<Expression> expression = read_leniently(trimmed);
    if (!expression) {
        add_near_misses();
        return notes;
    }
    if (expression->unresolved.empty()) {
        const std::optional<std::string> corrected = render(*expression);
        if (corrected && *corrected != trimmed && parses(*corrected)) {
            notes.push_back(note_did_you_mean({*corrected}));
            add_hint_notes(notes, expression->hints);
        }
        add_near_misses();
        return notes;
    }
    add_near_misses();
    if (expression->unresolved.size() != 1) return notes;
    // One name is no unit, even respelt: the nearest names in its place.
    const auto [side, position] = expression->unresolved.front();
    const std::string written = expression->sides[side][position].name;
    if (near_miss(written)) return notes;
    std::vector<std::string> suggestions;
    for (std::string& name : nearest_units(written)) {
        expression->sides[side][position].name = std::move(name);
        const std::optional<std::string> corrected = render(*expression);
        if (corrected && *corrected != trimmed && parses(*corrected) &&
            std::find(suggestions.begin(), suggestions.end(), *corrected) == suggestions.end()) {
            suggestions.push_back(*corrected);
        }
    }
    if (!suggestions.empty()) {
        notes.push_back(note_did_you_mean(suggestions));
        add_hint_notes(notes, expression->hints);
    }
    return notes;
}

std::vector<std::string> constant_lookup_notes(std::string_view text) {
    std::vector<std::string_view> keys;
    for (const Constant& constant : CONSTANTS) keys.push_back(constant.name);
    for (const ConstantAlias& alias : CONSTANT_ALIASES) keys.push_back(alias.alias);
    std::vector<std::string> suggestions;
    for (std::string& name : nearest_names(trim_white_space(text), keys_of(keys))) {
        if (search_for_constant_name(name) != nullptr) suggestions.push_back(std::move(name));
    }
    if (suggestions.empty()) return {};
    return {note_did_you_mean(suggestions)};
}

std::vector<std::string> log_unit_lookup_notes(std::string_view text) {
    std::vector<std::string_view> keys;
    for (const LogUnit& unit : LOG_UNITS) {
        keys.push_back(unit.name);
        keys.push_back(unit.symbol);
    }
    std::vector<std::string> suggestions;
    for (std::string& name : nearest_names(trim_white_space(text), keys_of(keys))) {
        if (search_for_log_unit_name(name)) suggestions.push_back(std::move(name));
    }
    if (suggestions.empty()) return {};
    return {note_did_you_mean(suggestions)};
}

}  // namespace tarvel
