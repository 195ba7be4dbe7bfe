#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>
#include <vector>

#include "unit/number_format.hpp"
#include "unit/unit_collection.hpp"

namespace tarvel {

namespace {

enum class Form { Plain, Latex, Descriptive };

struct Span {
    std::size_t begin;
    std::size_t length;
};

// Term positions inside one scratch string; inline room for the usual handful of terms.
class TermList {
public:
    explicit TermList(std::size_t capacity) {
        if (capacity > inline_.size()) heap_.resize(capacity);
    }
    void push(Span span) { data()[size_++] = span; }
    Span* begin() { return data(); }
    Span* end() { return data() + size_; }
    // Whether the terms joined with a separator give the empty string (one empty term does).
    bool joins_to_empty() { return size_ == 0 || (size_ == 1 && data()[0].length == 0); }

private:
    Span* data() { return heap_.empty() ? inline_.data() : heap_.data(); }
    std::array<Span, 8> inline_;
    std::vector<Span> heap_;
    std::size_t size_ = 0;
};

void append_joined(std::string& out, const std::string& scratch, TermList& terms, char separator) {
    const auto view = [&scratch](const Span& span) {
        return std::string_view(scratch).substr(span.begin, span.length);
    };
    // string_view compares through char_traits<char>, which orders bytes as unsigned char (UTF-8 order).
    // Most sides hold a single term, which needs no sorting.
    if (terms.end() - terms.begin() > 1) {
        std::sort(terms.begin(), terms.end(),
                  [&view](const Span& a, const Span& b) { return view(a) < view(b); });
    }
    bool first = true;
    for (const Span& span : terms) {
        if (!first) out += separator;
        out.append(view(span));
        first = false;
    }
}

void render(const UnitCollection& units, Form form, std::string& out) {
    const std::size_t count = units.unit_map.size();
    TermList numerator(count);
    TermList denominator(count);
    std::string scratch;
    for (const UnitEntry& entry : units.unit_map) {
        const double exponent = entry.exponent;
        // Zero (of either sign) and NaN exponents make no term.
        if (!(exponent > 0.0) && !(exponent < 0.0)) continue;
        const double magnitude = exponent > 0.0 ? exponent : -exponent;
        const std::size_t begin = scratch.size();
        scratch += form == Form::Descriptive ? entry.unit.name() : entry.unit.symbol();
        if (magnitude != 1.0) {
            if (form == Form::Latex) scratch += '^';
            append_number(scratch, magnitude);
        }
        const Span span{begin, scratch.size() - begin};
        (exponent > 0.0 ? numerator : denominator).push(span);
    }

    const char separator = form == Form::Latex ? '~' : '.';
    // Terms, separators and the template.
    out.reserve(out.size() + scratch.size() + count + (form == Form::Latex ? 20 : 3));
    if (form == Form::Latex) {
        if (denominator.joins_to_empty()) {
            out += "\\mathrm{";
            append_joined(out, scratch, numerator, separator);
            out += '}';
        } else {
            out += "\\mathrm{\\frac{";
            if (numerator.joins_to_empty()) {
                out += '1';
            } else {
                append_joined(out, scratch, numerator, separator);
            }
            out += "}{";
            append_joined(out, scratch, denominator, separator);
            out += "}}";
        }
        return;
    }
    out += '[';
    if (denominator.joins_to_empty()) {
        append_joined(out, scratch, numerator, separator);
    } else {
        if (numerator.joins_to_empty()) {
            out += '1';
        } else {
            append_joined(out, scratch, numerator, separator);
        }
        out += '/';
        append_joined(out, scratch, denominator, separator);
    }
    out += ']';
}

std::string rendered(const UnitCollection& units, Form form) {
    std::string out;
    render(units, form, out);
    return out;
}

}  // namespace

std::string as_string(const UnitCollection& units) { return rendered(units, Form::Plain); }

void append_as_string(std::string& out, const UnitCollection& units) { render(units, Form::Plain, out); }

std::string as_latex(const UnitCollection& units) { return rendered(units, Form::Latex); }

std::string as_descriptive_string(const UnitCollection& units) { return rendered(units, Form::Descriptive); }

}  // namespace tarvel
