// Writes the seed corpus of fuzz_units into a directory: catalogue names and symbols, aliases, prefixed
// forms, constants, logarithmic scales, and unit expressions with "/", ".", digits, whitespace and
// non-ASCII text. Seeds are small files of lines (the fuzz target reads one candidate per line), taken
// from the tables themselves so that they follow the catalogue.
//
// Usage: make_corpus DIRECTORY

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "constant/constants.hpp"
#include "unit/unit_defs/log_units.hpp"
#include "unit/unit_defs/unit_defs.hpp"

using namespace tarvel;

namespace {

std::string directory;
int written = 0;

void seed(const std::string& name, const std::string& content) {
    std::ofstream out(directory + "/" + name, std::ios::binary);
    out << content;
    if (!out) {
        std::fprintf(stderr, "cannot write %s/%s\n", directory.c_str(), name.c_str());
        std::exit(1);
    }
    ++written;
}

std::string lines(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& item : items) {
        if (!out.empty()) out += '\n';
        out += item;
    }
    return out;
}

std::string number(std::size_t i) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%03zu", i);
    return buffer;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_corpus DIRECTORY\n");
        return 2;
    }
    directory = argv[1];

    // Each catalogue row: its name, its symbol, and the symbol squared in a quotient.
    for (std::size_t i = 0; i < UNITS.size(); ++i) {
        const std::string name(UNITS[i].name);
        const std::string symbol(UNITS[i].symbol);
        seed("unit-" + number(i), lines({name, symbol, symbol + "2/" + name}));
    }
    // Aliases, four to a file.
    for (std::size_t i = 0; i < UNIT_ALIASES.size(); i += 4) {
        std::vector<std::string> group;
        for (std::size_t k = i; k < i + 4 && k < UNIT_ALIASES.size(); ++k) group.emplace_back(UNIT_ALIASES[k].alias);
        seed("alias-" + number(i), lines(group));
    }
    // Every prefix before a name and before a symbol, in a product.
    for (std::size_t i = 0; i < PREFIXES.size(); ++i) {
        const std::string name(PREFIXES[i].name);
        const std::string symbol(PREFIXES[i].symbol);
        seed("prefix-" + number(i), lines({name + "meter", symbol + "m", symbol + "g.m/" + symbol + "s2"}));
    }
    // Constants by name and alias, with their unit texts.
    for (std::size_t i = 0; i < CONSTANTS.size(); ++i) {
        seed("constant-" + number(i), lines({std::string(CONSTANTS[i].name), std::string(CONSTANTS[i].unit)}));
    }
    std::vector<std::string> constant_aliases;
    for (const ConstantAlias& alias : CONSTANT_ALIASES) constant_aliases.emplace_back(alias.alias);
    seed("constant-aliases", lines(constant_aliases));
    std::vector<std::string> scales;
    for (const LogUnit& scale : LOG_UNITS) {
        scales.emplace_back(scale.name);
        scales.emplace_back(scale.symbol);
    }
    seed("log-scales", lines(scales));

    // Expressions: the parser's syntax and its edges.
    const std::vector<std::string> expressions = {
        "kg.m/s2",      "1/s",           "W/m2.K4",         "J/K.mol",        "ft.lb",
        "km2",          "m.m",           "m2/m",            "m/m",            "N.m.2",
        " m/s ",        "kg . m",        "a/b/c",           "/s",             "m/",
        "fl oz/hr",     "fl oz (food)",  "m12",             "s-2",            "m\xc2\xb2",
        "m2x",          "m0",            "\tkm/hr\xe3\x80\x80", "\xc2\xa0m/s", "m\xe2\x80\x89/s",
        "1",            "1/1",           "",                "W.s.N/J",        "N.m",
        "\xc2\xb0" "C", "\xc2\xb0" "F.m/ft", "\xce\xa9.A",  "mi/hr2",         "m2.kg/s3.A",
        "kW.hr/mi",     "\xff\xfe",      "m\x01s",          "123.456",        "9",
        "1e5",          "m.s/Hz.km",     "J.s/N.m.s",       "Pa.m3/mol.K",    "V.A.s/J",
        "kg.m2/s2.N",   "lbf.ft/s.hp",   "L/km.gal",        "\xc2\xb0" "C.\xc2\xb0" "F/K2",
    };
    for (std::size_t i = 0; i < expressions.size(); ++i) seed("expression-" + number(i), expressions[i]);
    // Several expressions at once: products, quotients and conversions between them.
    seed("mix-000", lines({"km/hr", "m/s", "mi/hr", "kn"}));
    seed("mix-001", lines({"W", "s", "N", "J"}));
    seed("mix-002", lines({"\xc2\xb0" "C", "K", "\xc2\xb0" "F", "\xc2\xb0" "R"}));
    seed("mix-003", lines({"N.m", "J", "kW.hr", "eV", "BTU"}));
    seed("mix-004", lines({"Hz", "s", "1/min", "Bq"}));

    // The first eight bytes of an input are also read as a double.
    const double doubles[] = {0.1, 1e21, 5e-324, -0.0, 1e-7, 123456789.123, 2.2250738585072014e-308};
    for (std::size_t i = 0; i < std::size(doubles); ++i) {
        std::string bytes(sizeof(double), '\0');
        std::memcpy(bytes.data(), &doubles[i], sizeof(double));
        seed("double-" + number(i), bytes + "\nm/s");
    }
    std::printf("%d seed files in %s\n", written, directory.c_str());
    return 0;
}
